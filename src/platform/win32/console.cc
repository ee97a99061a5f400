// The run-time library's console services on Windows.
#include "platform/console.h"

#include <fcntl.h>
#include <io.h>
#include <locale.h>
#include <stdio.h>

#include "platform/win32/wide.h"

namespace monctl::platform {
namespace {

FILE* File(Stream stream) { return stream == Stream::kOutput ? stdout : stderr; }

}  // namespace

bool IsConsole(Stream stream) { return _isatty(_fileno(File(stream))) != 0; }

int SetTranslationMode(Stream stream, uint32_t mode) {
  return _setmode(_fileno(File(stream)), static_cast<int>(mode));
}

void WriteConsoleText(Stream stream, const std::u16string& text) {
  // In text mode the run-time library converts to the code page of the
  // locale; the user's, rather than the "C" locale's Latin-1 subset.
  static const bool locale_set = setlocale(LC_CTYPE, "") != nullptr;
  (void)locale_set;
  fputws(AsWide(text.c_str()), File(stream));
  fflush(File(stream));
}

}  // namespace monctl::platform
