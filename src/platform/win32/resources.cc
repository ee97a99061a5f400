// The program's own file and resources on Windows: kernel32's module path,
// version.dll and the string table through user32.
#include "platform/resources.h"

#include <windows.h>

#include "platform/win32/system_library.h"
#include "platform/win32/wide.h"

namespace monctl::platform {

static_assert(sizeof(FixedFileInfo) == sizeof(VS_FIXEDFILEINFO));

namespace {

// version.dll's functions.
const SystemFunction<decltype(::GetFileVersionInfoSizeW)> kGetFileVersionInfoSizeW{
    SystemLibrary::kVersion, "GetFileVersionInfoSizeW"};
const SystemFunction<decltype(::GetFileVersionInfoW)> kGetFileVersionInfoW{
    SystemLibrary::kVersion, "GetFileVersionInfoW"};
const SystemFunction<decltype(::VerQueryValueW)> kVerQueryValueW{
    SystemLibrary::kVersion, "VerQueryValueW"};

}  // namespace

uint32_t GetModuleFileNameW(char16_t* buffer, uint32_t size) {
  return ::GetModuleFileNameW(nullptr, AsWide(buffer), size);
}

uint32_t GetFileVersionInfoSizeW(const char16_t* path) {
  return kGetFileVersionInfoSizeW(AsWide(path), nullptr);
}

bool GetFileVersionInfoW(const char16_t* path, uint32_t size, void* block) {
  return kGetFileVersionInfoW(AsWide(path), 0, size, block) != FALSE;
}

bool VerQueryValueW(const void* block, const char16_t* sub_block, void** value, uint32_t* length) {
  UINT n = 0;
  if (!kVerQueryValueW(block, AsWide(sub_block), value, &n)) return false;
  *length = n;
  return true;
}

ResourceString LoadStringW(uint32_t id) {
  const wchar_t* text = nullptr;
  // With a size of 0 the call hands out a pointer to the resource itself,
  // which is not zero-terminated.
  int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || text == nullptr) return {nullptr, 0};
  return {AsUtf16(text), static_cast<uint32_t>(length)};
}

}  // namespace monctl::platform
