// The time part of a crash dump's file name, as the crash handler and the
// native fatal-signal path both form it.
#include <gtest/gtest.h>

#include <string>

#include "platform/crash.h"

namespace monctl::platform {
namespace {

TEST(DumpNameTest, TimePartHasFixedWidthFields) {
  struct Case {
    SystemTime time;
    std::string part;
  };
  const Case cases[] = {
      {{2026, 3, 6, 7, 9, 5, 4, 7}, "_x64_2026-03-07_090504_007.dmp"},
      {{2026, 12, 4, 31, 23, 59, 58, 999}, "_x64_2026-12-31_235958_999.dmp"},
      {{999, 1, 0, 1, 0, 0, 0, 0}, "_x64_ 999-01-01_000000_000.dmp"},  // the year padded with a space
  };
  for (const Case& c : cases) {
    char narrow[kDumpTimePartSize];
    EXPECT_EQ(std::string(narrow, FormatDumpTimePart(c.time, narrow)), c.part);
    char16_t wide[kDumpTimePartSize];
    const std::u16string expected(c.part.begin(), c.part.end());
    EXPECT_EQ(std::u16string(wide, FormatDumpTimePart(c.time, wide)), expected);
  }
}

}  // namespace
}  // namespace monctl::platform
