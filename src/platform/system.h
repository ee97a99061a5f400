// System services the portable core relies on: the thread's last-error
// value, the program's own path and version resource, system message texts,
// path and text helpers, and local time. Win32 provides these natively; the
// native build has a small implementation of its own for each.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/types.h"

namespace monctl::platform {

// The calling thread's last-error value.
uint32_t GetLastError();
void SetLastError(uint32_t error);

// GetModuleFileNameW for the process's executable: copies at most `size`
// UTF-16 units including the terminator. Returns the number of characters
// copied without the terminator, `size` (and ERROR_INSUFFICIENT_BUFFER)
// when the path was cut, or 0 on failure.
uint32_t GetModuleFileNameW(char16_t* buffer, uint32_t size);

// Version resource of a program file (GetFileVersionInfoSizeW,
// GetFileVersionInfoW, VerQueryValueW). Sizes are in bytes.
uint32_t GetFileVersionInfoSizeW(const char16_t* path);
bool GetFileVersionInfoW(const char16_t* path, uint32_t size, void* block);
// `sub_block` is "\\", "\\VarFileInfo\\Translation" or
// "\\StringFileInfo\\llllcccc\\Name". For strings `length` is in characters
// (terminator included), otherwise in bytes.
bool VerQueryValueW(const void* block, const char16_t* sub_block, void** value, uint32_t* length);

// Fixed part of a version resource (VS_FIXEDFILEINFO).
struct FixedFileInfo {
  uint32_t dwSignature;
  uint32_t dwStrucVersion;
  uint32_t dwFileVersionMS;
  uint32_t dwFileVersionLS;
  uint32_t dwProductVersionMS;
  uint32_t dwProductVersionLS;
  uint32_t dwFileFlagsMask;
  uint32_t dwFileFlags;
  uint32_t dwFileOS;
  uint32_t dwFileType;
  uint32_t dwFileSubtype;
  uint32_t dwFileDateMS;
  uint32_t dwFileDateLS;
};
constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr uint32_t kVsFfPrerelease = 0x2;

// A string of the program's string table (LoadStringW); an empty view when
// the string does not exist.
struct ResourceString {
  const char16_t* text;
  uint32_t length;
};
ResourceString LoadStringW(uint32_t id);

// FormatMessageW with FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS
// in the user's default language. Returns the number of characters written
// without the terminator, 0 when there is no text or it does not fit.
uint32_t FormatSystemMessage(uint32_t message_id, char16_t* buffer, uint32_t size);

// Path and text helpers (PathStripPathW, PathRemoveExtensionW, _wcslwr_s,
// CharNextW). All work in place on zero-terminated text.
void PathStripPathW(char16_t* path);
void PathRemoveExtensionW(char16_t* path);
bool StringToLower(char16_t* text, size_t size);
const char16_t* CharNextW(const char16_t* position);
// PathCompactPathExW: shortens `path` into `out` (kMaxPath characters) so
// that it fits in `max_chars` characters including the terminator, by
// replacing path components with an ellipsis.
bool PathCompactPathExW(char16_t* out, const char16_t* path, uint32_t max_chars, uint32_t flags);

// Local date and time in the user's default short date and time formats
// (GetDateFormatEx / GetTimeFormatEx with the current local time). Return
// the characters written including the terminator, 0 on failure.
int GetLocalDateText(char16_t* buffer, int size);
int GetLocalTimeText(char16_t* buffer, int size);

// Process start-up hardening (HeapSetInformation): the process ends on heap
// corruption; the low-fragmentation heap. Failures are ignored.
void EnableHeapTerminationOnCorruption();
void EnableLowFragmentationHeap();

}  // namespace monctl::platform
