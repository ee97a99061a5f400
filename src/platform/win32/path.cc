// Path and text helpers on Windows: shlwapi, user32 and the run-time
// library.
#include "platform/path.h"

#include <windows.h>
#include <shlwapi.h>
#include <wchar.h>

#include "platform/win32/wide.h"

namespace monctl::platform {

void PathStripPathW(char16_t* path) { ::PathStripPathW(AsWide(path)); }

void PathRemoveExtensionW(char16_t* path) { ::PathRemoveExtensionW(AsWide(path)); }

bool StringToLower(char16_t* text, size_t size) { return _wcslwr_s(AsWide(text), size) == 0; }

const char16_t* CharNextW(const char16_t* position) {
  return AsUtf16(::CharNextW(AsWide(position)));
}

bool PathCompactPathExW(char16_t* out, const char16_t* path, uint32_t max_chars, uint32_t flags) {
  return ::PathCompactPathExW(AsWide(out), AsWide(path), max_chars, flags) != FALSE;
}

bool PathAppendW(char16_t* path, const char16_t* more) {
  return ::PathAppendW(AsWide(path), AsWide(more)) != FALSE;
}

}  // namespace monctl::platform
