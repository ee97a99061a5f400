// The real functions of platform/console.h for the native build that a
// test can make fail (the platform's own forward to them from
// sim/console.cc), and what the crash handler knows of standard output.
#pragma once

#include <string>
#include <string_view>

#include "platform/console.h"

namespace monctl::platform {

namespace posix {

decltype(platform::IsConsole) IsConsole;
decltype(platform::SetTranslationMode) SetTranslationMode;

}  // namespace posix

// `text` as WriteConsoleText puts it on a stream: UTF-16LE, or UTF-8.
std::string EncodeText(std::u16string_view text, bool utf16);

// For the fatal-signal path, async-signal-safe: whether standard output
// takes UTF-16LE now (UTF-16 mode and not a terminal), and whether the last
// text written to it left its line unfinished.
bool OutputIsUtf16();
bool OutputIsMidLine();

}  // namespace monctl::platform
