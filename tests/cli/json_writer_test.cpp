#include "cli/output/json_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <utility>

#include "runtime/common/codepage.h"

namespace cli {
namespace {

std::string Quoted(std::string_view text) {
  std::string out;
  AppendJsonString(text, &out);
  return out;
}

TEST(JsonString, EscapesEveryControlCharacter) {
  static const char kHex[] = "0123456789ABCDEF";
  for (int c = 0; c < 0x20; ++c) {
    const std::string expected = std::string("\"\\u00") + kHex[c >> 4] + kHex[c & 15] + "\"";
    EXPECT_EQ(Quoted(std::string(1, static_cast<char>(c))), expected) << c;
  }
  EXPECT_EQ(Quoted("say \"hi\" \\ bye"), R"("say \"hi\" \\ bye")");
  EXPECT_EQ(Quoted("a/b\x7F"), "\"a/b\x7F\"");  // neither needs escaping
  EXPECT_EQ(Quoted(""), "\"\"");
}

TEST(JsonString, KeepsUtf8AndReplacesMalformedBytes) {
  EXPECT_EQ(Quoted("gr\u00FC\u00DF \u20AC \U0001F600"), "\"gr\u00FC\u00DF \u20AC \U0001F600\"");
  EXPECT_EQ(Quoted("a\x81z"), "\"a\uFFFDz\"");
  EXPECT_EQ(Quoted("\xE2\x82\""), "\"\uFFFD\\\"\"");  // truncated, then a quote
  EXPECT_EQ(Quoted("\xC0\x80\xED\xA0\x80"), "\"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\"");
  EXPECT_EQ(Quoted("end\xF0\x9F\x98"), "\"end\uFFFD\"");

  // Whatever the bytes, the result is a JSON string: valid UTF-8, no raw
  // control character, and every quote inside escaped.
  std::string every_byte;
  for (int b = 0; b < 256; ++b) every_byte += static_cast<char>(b);
  for (int b = 255; b >= 0; --b) every_byte += static_cast<char>(b);
  const std::string quoted = Quoted(every_byte);
  EXPECT_TRUE(arjrt::IsValidUtf8(quoted));
  for (size_t i = 1; i + 1 < quoted.size(); ++i) {
    ASSERT_GE(static_cast<uint8_t>(quoted[i]), 0x20u) << i;
    if (quoted[i] == '\\') ++i;
    else ASSERT_NE(quoted[i], '"') << i;
  }
}

TEST(JsonWriter, CompactNesting) {
  std::ostringstream out;
  JsonWriter json(out);
  json.BeginObject();
  json.Key("name");
  json.String("a.txt");
  json.Key("sizes");
  json.BeginArray();
  json.Unsigned(0);
  json.Unsigned(std::numeric_limits<uint64_t>::max());
  json.Signed(std::numeric_limits<int64_t>::min());
  json.Signed(-1);
  json.EndArray();
  json.Key("empty");
  json.BeginObject();
  json.EndObject();
  json.Key("none");
  json.BeginArray();
  json.EndArray();
  json.Key("flags");
  json.BeginArray();
  json.Bool(true);
  json.Bool(false);
  json.Null();
  json.BeginArray();
  json.BeginObject();
  json.Key("k\n");
  json.Signed(7);
  json.EndObject();
  json.EndArray();
  json.EndArray();
  json.EndObject();
  EXPECT_TRUE(json.ok());
  EXPECT_TRUE(json.complete());
  EXPECT_EQ(out.str(),
            R"({"name":"a.txt","sizes":[0,18446744073709551615,-9223372036854775808,-1],)"
            R"("empty":{},"none":[],"flags":[true,false,null,[{"k\u000A":7}]]})");
}

TEST(JsonWriter, PrettyIndentsByTwoSpaces) {
  std::ostringstream out;
  JsonWriter json(out, true);
  json.BeginObject();
  json.Key("entries");
  json.BeginArray();
  json.BeginObject();
  json.Key("name");
  json.String("x");
  json.Key("dir");
  json.Bool(false);
  json.EndObject();
  json.BeginArray();
  json.EndArray();
  json.EndArray();
  json.Key("count");
  json.Unsigned(1);
  json.EndObject();
  EXPECT_TRUE(json.ok());
  EXPECT_EQ(out.str(),
            "{\n"
            "  \"entries\": [\n"
            "    {\n"
            "      \"name\": \"x\",\n"
            "      \"dir\": false\n"
            "    },\n"
            "    []\n"
            "  ],\n"
            "  \"count\": 1\n"
            "}");
}

TEST(JsonWriter, TopLevelScalar) {
  std::ostringstream out;
  JsonWriter json(out);
  EXPECT_FALSE(json.complete());
  json.String("only");
  EXPECT_TRUE(json.complete());
  EXPECT_EQ(out.str(), "\"only\"");
}

// Calls that would break the grammar write nothing and mark the writer.
TEST(JsonWriter, RejectsMisuse) {
  const auto run = [](auto&& calls) {
    std::ostringstream out;
    JsonWriter json(out);
    calls(json);
    return std::make_pair(json.ok(), out.str());
  };
  EXPECT_EQ(run([](JsonWriter& j) { j.BeginObject(); j.Unsigned(1); }),
            std::make_pair(false, std::string("{")));
  EXPECT_EQ(run([](JsonWriter& j) { j.BeginArray(); j.Key("k"); }),
            std::make_pair(false, std::string("[")));
  EXPECT_EQ(run([](JsonWriter& j) { j.BeginObject(); j.Key("a"); j.Key("b"); }),
            std::make_pair(false, std::string("{\"a\":")));
  EXPECT_EQ(run([](JsonWriter& j) { j.BeginObject(); j.Key("a"); j.EndObject(); }),
            std::make_pair(false, std::string("{\"a\":")));
  EXPECT_EQ(run([](JsonWriter& j) { j.BeginArray(); j.EndObject(); }),
            std::make_pair(false, std::string("[")));
  EXPECT_EQ(run([](JsonWriter& j) { j.EndArray(); }), std::make_pair(false, std::string()));
  EXPECT_EQ(run([](JsonWriter& j) { j.Null(); j.Null(); }),
            std::make_pair(false, std::string("null")));
  // Once failed, later calls write nothing either.
  EXPECT_EQ(run([](JsonWriter& j) { j.BeginArray(); j.Key("k"); j.Unsigned(1); j.EndArray(); }),
            std::make_pair(false, std::string("[")));
}

}  // namespace
}  // namespace cli
