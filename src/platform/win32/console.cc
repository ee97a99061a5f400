// The run-time library's console services on Windows.
#include "platform/console.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <string>

#include "platform/win32/wide.h"

namespace monctl::platform {
namespace {

FILE* File(Stream stream) { return stream == Stream::kOutput ? stdout : stderr; }

// Each stream's translation mode as last set; the run-time library starts
// both in text mode.
uint32_t g_modes[2] = {kModeText, kModeText};
uint32_t& Mode(Stream stream) { return g_modes[stream == Stream::kOutput ? 0 : 1]; }

// The text in the ANSI code page, one character at a time: a character that
// the code page cannot hold becomes one '?' and the rest of the text is
// kept. The run-time library's own conversion would end the write there.
std::string ToAnsiCodePage(const std::u16string& text) {
  const UINT code_page = ::GetACP();
  // UTF-8 holds every character and takes neither the flag nor the report
  // of a default character.
  const bool utf8 = code_page == CP_UTF8;
  std::string bytes;
  bytes.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const bool pair = IS_HIGH_SURROGATE(text[i]) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1]);
    const int units = pair ? 2 : 1;
    char buffer[8];
    BOOL defaulted = FALSE;
    const int length = ::WideCharToMultiByte(code_page, utf8 ? 0 : WC_NO_BEST_FIT_CHARS,
                                             AsWide(text.data() + i), units, buffer, sizeof(buffer),
                                             nullptr, utf8 ? nullptr : &defaulted);
    if (length <= 0 || defaulted) {
      bytes += '?';
    } else {
      bytes.append(buffer, static_cast<size_t>(length));
    }
    i += units;
  }
  return bytes;
}

}  // namespace

bool IsConsole(Stream stream) { return _isatty(_fileno(File(stream))) != 0; }

int SetTranslationMode(Stream stream, uint32_t mode) {
  const int previous = _setmode(_fileno(File(stream)), static_cast<int>(mode));
  if (previous != -1) Mode(stream) = mode;
  return previous;
}

void WriteConsoleText(Stream stream, const std::u16string& text) {
  FILE* file = File(stream);
  // A failed write is not reported, as with fputws.
  if (Mode(stream) == kModeText) {
    const std::string bytes = ToAnsiCodePage(text);
    fwrite(bytes.data(), 1, bytes.size(), file);
  } else {
    fputws(AsWide(text.c_str()), file);
  }
  fflush(file);
}

}  // namespace monctl::platform
