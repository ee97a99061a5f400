// Path and text helpers (shlwapi, user32 and the run-time library). All
// work in place on zero-terminated text.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/types.h"

namespace monctl::platform {

// PathStripPathW, PathRemoveExtensionW, _wcslwr_s and CharNextW.
void PathStripPathW(char16_t* path);
void PathRemoveExtensionW(char16_t* path);
bool StringToLower(char16_t* text, size_t size);
const char16_t* CharNextW(const char16_t* position);

// PathCompactPathExW: shortens `path` into `out` (kMaxPath characters) so
// that it fits in `max_chars` characters including the terminator, by
// replacing path components with an ellipsis.
bool PathCompactPathExW(char16_t* out, const char16_t* path, uint32_t max_chars, uint32_t flags);

// PathAppendW: appends `more` to `path` (kMaxPath characters) with one
// separator between them. Fails, leaving `path` unchanged, when the result
// would not fit.
bool PathAppendW(char16_t* path, const char16_t* more);

}  // namespace monctl::platform
