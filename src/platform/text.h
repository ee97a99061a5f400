// Small helpers for the UTF-16 text that the core and the backends work
// with. Portable: no system call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace monctl {

// Length of a zero-terminated UTF-16 text.
size_t TextLength(const char16_t* text);

// Conversions between UTF-8 and UTF-16. Ill-formed input becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// ASCII-only case folding, as the C locale does it.
constexpr char16_t AsciiToLower(char16_t c) { return c >= u'A' && c <= u'Z' ? c + 32 : c; }
constexpr char16_t AsciiToUpper(char16_t c) { return c >= u'a' && c <= u'z' ? c - 32 : c; }
constexpr bool IsAsciiDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
constexpr bool IsAsciiUpper(char16_t c) { return c >= u'A' && c <= u'Z'; }

// _wcsnicmp over `count` characters: 0 when equal without regard to the
// case of ASCII letters.
int CompareNoCase(const char16_t* a, const char16_t* b, size_t count);

// Equal texts without regard to the case of ASCII letters, as the window
// manager compares display device names and the system compares resource
// and algorithm names.
bool EqualNoCase(std::u16string_view a, std::u16string_view b);

// iswspace in the C locale.
bool IsSpace(char16_t c);

// _wtol: skips leading white space, reads an optional sign and decimal
// digits up to the first other character. A value outside the signed 32-bit
// range gives INT32_MAX or INT32_MIN and sets `overflow`.
int32_t TextToLong(const char16_t* text, bool* overflow);

}  // namespace monctl
