// The run-time library's console services, as the core uses them: standard
// stream translation modes and wide-text output.
#pragma once

#include <cstdint>
#include <string>

namespace monctl::platform {

enum class Stream { kOutput, kError };

// Translation modes of _setmode.
constexpr uint32_t kModeText = 0x4000;      // _O_TEXT
constexpr uint32_t kModeUtf16 = 0x20000;    // _O_U16TEXT
constexpr uint32_t kModeUtf8 = 0x40000;     // _O_U8TEXT

// _isatty(_fileno(stream)).
bool IsConsole(Stream stream);
// _setmode(_fileno(stream), mode); returns the previous mode or -1.
int SetTranslationMode(Stream stream, uint32_t mode);
// fputws then fflush: the text is written whole in the mode in force.
void WriteConsoleText(Stream stream, const std::u16string& text);

}  // namespace monctl::platform
