// The time part of a crash dump's file name, as the crash handler and the
// native fatal-signal path both form it.
#include <gtest/gtest.h>

#include <string>

#include "platform/crash.h"

namespace monctl::platform {
namespace {

TEST(DumpNameTest, TimePartHasFixedWidthFields) {
  const struct {
    SystemTime time;
    std::string part;
  } cases[] = {
      {{2026, 3, 6, 7, 9, 5, 4, 7}, "_x64_2026-03-07_090504_007.dmp"},
      {{2026, 12, 4, 31, 23, 59, 58, 999}, "_x64_2026-12-31_235958_999.dmp"},
      {{999, 1, 0, 1, 0, 0, 0, 0}, "_x64_ 999-01-01_000000_000.dmp"},  // the year padded with a space
  };
  for (const auto& c : cases) {
    char narrow[kDumpTimePartSize];
    EXPECT_EQ(std::string(narrow, FormatDumpTimePart(c.time, narrow)), c.part);
    char16_t wide[kDumpTimePartSize];
    EXPECT_EQ(std::u16string(wide, FormatDumpTimePart(c.time, wide)), std::u16string(c.part.begin(), c.part.end()));
  }
}

}  // namespace
}  // namespace monctl::platform
