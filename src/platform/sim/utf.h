// Conversions between the UTF-8 of scenario files and call logs and the
// UTF-16 text of the display interfaces.
#pragma once

#include <string>
#include <string_view>

namespace monctl::sim {

// Invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace monctl::sim
