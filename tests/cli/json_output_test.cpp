// --json on every command that reports: one document on stdout with the
// fields a script needs.
#include <gtest/gtest.h>

#include <algorithm>
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

// --json-lines output as one array, each line an element: it parses only
// when every line is a whole document.
std::string LinesAsArray(const std::string& lines) {
  std::string array = "[";
  for (size_t at = 0, end; at < lines.size(); at = end + 1) {
    end = lines.find('\n', at);
    if (end == std::string::npos) end = lines.size();
    array += (array.size() > 1 ? "," : "") + lines.substr(at, end - at);
  }
  return array + "]";
}

// One compact line for each archive, in the order named, with its path and
// the verdict on it; one that cannot be opened gets its line too, and so
// does a command that fails before any archive is read.
TEST(JsonOutput, JsonLinesGiveEachArchiveALineWithItsVerdict) {
  const std::string archives = Data("method1.arj") + " " + Data("truncated.arj") + " /nonexistent.arj " +
                               Data("garbled.arj") + " " + Data("split.a02");
  const struct {
    const char* words;
    int code;
    const char* check;  // on the array of the lines
  } cases[] = {
      {"test --json-lines -j 2", 2,
       "[(l['archive'].split('/')[-1], l['ok']) for l in d] == [('method1.arj', True), ('truncated.arj', False), "
       "('nonexistent.arj', False), ('garbled.arj', False), ('split.a02', True)] and "
       "d[0]['summary']['ok'] == 6 and d[2] == {'archive': '/nonexistent.arj', "
       "'error': '/nonexistent.arj: cannot be opened: not found', 'ok': False} and "
       "d[3]['entries'][0]['result'] == 'garbled, and no password was given' and list(d[1])[-1] == 'ok'"},
      {"list --json-lines", 2,
       "[l['ok'] for l in d] == [True, False, False, True, True] and len(d[4]['entries']) == 2 and "
       "d[1]['damaged'] and 'error' in d[2]"},
      {"list --json-lines --single-volume", 2, "[l['ok'] for l in d] == [True, False, False, True, False]"},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(RunToolStdout(std::string(c.words) + " " + archives, &out), c.code) << c.words;
    EXPECT_TRUE(JsonSatisfies(LinesAsArray(out), std::string("len(d) == 5 and ") + c.check)) << c.words << "\n" << out;
    EXPECT_EQ(out.find("\n "), std::string::npos) << "compact lines\n" << out;
  }
  const struct {
    std::string words;
    int code;
    const char* check;
  } alone[] = {
      {"list --json-lines " + Data("method1.arj"), 0, "d['ok'] and len(d['entries']) == 6"},
      {"test --json-lines /nonexistent.arj", 2, "d['archive'] == '/nonexistent.arj' and not d['ok']"},
      {"test --json-lines --jobs 9999 " + Data("method1.arj"), 2,
       "d['command'] == 'test' and d['error'].startswith('--jobs takes') and not d['ok']"},
      {"list --json --json-lines " + Data("method1.arj"), 2,
       "d['command'] == 'list' and 'choose one' in d['error'] and not d['ok']"},
  };
  for (const auto& c : alone) {
    std::string out;
    EXPECT_EQ(RunToolStdout(c.words, &out), c.code) << c.words;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << c.words << "\n" << out;
    EXPECT_TRUE(JsonSatisfies(out, c.check)) << c.words << "\n" << out;
  }
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
