// The program's own file and resources: the executable's path, its version
// resource and its string table.
#pragma once

#include <cstdint>

namespace monctl::platform {

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

}  // namespace monctl::platform
