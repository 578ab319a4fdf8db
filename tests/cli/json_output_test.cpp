// --json on every command that reports: one document on stdout with the
// fields a script needs.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/output/failure_json.h"
#include "cli/output/messages.h"
#include "tests/support/bytes.h"
#include "tests/support/files.h"
#include "tests/support/tool_runner.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

TEST(JsonOutput, TestAndExtractReportEachEntryAndASummary) {
  std::string out;
  EXPECT_EQ(RunToolStdout("test --json " + Data("method1.arj"), &out), 0);
  EXPECT_TRUE(JsonSatisfies(out, "d['summary'] == {'entries': 6, 'ok': 6, 'failed': 0, 'skipped': 0, 'bytes': 26991} and "
                                 "all(e['result'] == 'ok' for e in d['entries']) and "
                                 "sum(e['size'] for e in d['entries']) == 26991 and d['skipped'] == []"))
      << out;
  EXPECT_EQ(RunToolStdout("test --json " + Data("garbled.arj"), &out), 1);
  EXPECT_TRUE(JsonSatisfies(out, "any(e['result'].startswith('garbled') for e in d['entries'])")) << out;
  EXPECT_EQ(RunToolStdout("test --json " + Data("method1.arj") + " nosuch", &out), 1);
  EXPECT_TRUE(JsonSatisfies(out, "d['missing'] == ['nosuch'] and d['summary']['failed'] == 1")) << out;
  TempDir dir;
  EXPECT_EQ(RunToolStdout("extract --json " + Data("method1.arj") + " -C " + dir.path(), &out), 0);
  EXPECT_TRUE(JsonSatisfies(out, "d['summary']['ok'] == 6 and d['archive'].endswith('method1.arj') and "
                                 "{'name', 'result', 'size'} <= set(d['entries'][0])"))
      << out;
}

// The failure document names the error the command failed with, as it was
// said: not a notice said after it, and not cut at a line break inside it.
TEST(JsonOutput, FailureDocumentTakesTheErrorAsSaid) {
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  cli::SayError("add", "%s: cannot be read: %s", "gone.txt", "No such file or directory");
  cli::Say("arjhost add: a.arj: a notice after the error\n");
  cli::PrintFailureJson("add", "a.arj", cli::LastError());
  cli::SayError("", "plug-in refused:\nsecond line");
  const std::string later = cli::LastError();
  const std::string document = testing::internal::GetCapturedStdout();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said.substr(0, said.find('\n') + 1), "arjhost add: gone.txt: cannot be read: No such file or directory\n");
  EXPECT_TRUE(JsonSatisfies(document, "d == {'command': 'add', 'archive': 'a.arj', "
                                      "'error': 'gone.txt: cannot be read: No such file or directory'}"))
      << document;
  EXPECT_EQ(later, "plug-in refused:\nsecond line");
}

TEST(JsonOutput, PluginInfo) {
  std::string out;
  EXPECT_EQ(RunToolStdout("plugin-info --json", &out), 0);
  EXPECT_TRUE(JsonSatisfies(out, "d['manifest']['ok'] and len(d['implementations']) >= 1 and "
                                 "len(d['implementations'][0]['properties']) > 0"))
      << out;
}

TEST(JsonOutput, RewritesSayWhatWasWritten) {
  TempDir dir;
  const std::string archive = dir.File("a.arj");
  WriteFile(dir.File("new.txt"), ToBytes("new content"));
  std::string out;
  ASSERT_EQ(RunToolStdout("create --json " + archive + " " + dir.File("new.txt") + "=one.txt", &out), 0);
  EXPECT_TRUE(JsonSatisfies(out, "d['written'] and d['output'] == '" + archive +
                                     "' and d['added'] == [{'name': 'one.txt', 'file': '" + dir.File("new.txt") +
                                     "'}] and d['kept'] == []"))
      << out;
  ASSERT_EQ(RunToolStdout("add --json " + archive + " " + dir.File("new.txt") + "=two.txt", &out), 0);
  EXPECT_TRUE(JsonSatisfies(out, "d['kept'] == ['one.txt'] and d['added'][0]['name'] == 'two.txt'")) << out;
  ASSERT_EQ(RunToolStdout("replace --json " + archive + " one.txt=" + dir.File("new.txt"), &out), 0);
  EXPECT_TRUE(JsonSatisfies(out, "d['kept'] == ['two.txt'] and d['replaced'][0]['name'] == 'one.txt'")) << out;
  ASSERT_EQ(RunToolStdout("delete --json " + archive + " two.txt -o " + dir.File("b.arj"), &out), 0);
  EXPECT_TRUE(JsonSatisfies(out, "d['dropped'] == ['two.txt'] and d['kept'] == ['one.txt'] and d['output'] == '" +
                                     dir.File("b.arj") + "'"))
      << out;
  EXPECT_TRUE(fs::exists(dir.File("b.arj")));
}

}  // namespace
