#include "platform/sim/utf.h"

#include <gtest/gtest.h>

namespace monctl::sim {
namespace {

TEST(UtfTest, ConvertsEveryEncodingLengthBothWays) {
  // One, two, three and four UTF-8 bytes; the last is a surrogate pair.
  const std::string utf8 = "A\xC3\xA9\xE2\x80\xB3\xF0\x9D\x84\x9E";
  const std::u16string utf16 = u"A\u00E9\u2033\U0001D11E";
  EXPECT_EQ(Utf8ToUtf16(utf8), utf16);
  EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
}

TEST(UtfTest, BrokenInputBecomesReplacementCharacters) {
  // A lone continuation byte, a truncated sequence, an overlong encoding
  // of '/', an encoded surrogate.
  EXPECT_EQ(Utf8ToUtf16("\x80x"), u"\uFFFDx");
  EXPECT_EQ(Utf8ToUtf16("\xE2\x80"), u"\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD");
  // Unpaired surrogates in either order.
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'a', 0xD800, u'b'}),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDC00, 0xD800}), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace monctl::sim
