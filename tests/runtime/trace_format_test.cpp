#include "runtime/core/trace_format.h"

#include <gtest/gtest.h>

namespace {

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = arjrt::FormatTrace(format, &args);
  va_end(args);
  return text;
}

TEST(TraceFormat, ConversionsThePlugInUses) {
  EXPECT_EQ(Format("arj\tvolumes count %d", 3), "arj\tvolumes count 3");
  EXPECT_EQ(Format("[error=0x%08x]", static_cast<int>(0x800000C5u)), "[error=0x800000c5]");
  EXPECT_EQ(Format("%s - %d", "data.arj", -1), "data.arj - -1");
  EXPECT_EQ(Format("open volume %d result %terr", 4, static_cast<int>(0x800000C5u)),
            "open volume 4 result 0x800000C5 (not found)");
  EXPECT_EQ(Format("100%% %s", static_cast<const char*>(nullptr)), "100% (null)");
  EXPECT_EQ(Format("%5d|%05u|%q", 42, 7u), "   42|00007|%q");
  EXPECT_EQ(Format("dangling %"), "dangling ");
}

}  // namespace
