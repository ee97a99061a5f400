// System services on Windows: kernel32, version.dll, shlwapi and the
// run-time library, called as the core expects them.
#include "platform/system.h"

#include <windows.h>
#include <shlwapi.h>
#include <wchar.h>

#include "platform/win32/wide.h"

namespace monctl::platform {

static_assert(sizeof(FixedFileInfo) == sizeof(VS_FIXEDFILEINFO));

uint32_t GetLastError() { return ::GetLastError(); }

void SetLastError(uint32_t error) { ::SetLastError(error); }

uint32_t GetModuleFileNameW(char16_t* buffer, uint32_t size) {
  return ::GetModuleFileNameW(nullptr, AsWide(buffer), size);
}

uint32_t GetFileVersionInfoSizeW(const char16_t* path) {
  return ::GetFileVersionInfoSizeW(AsWide(path), nullptr);
}

bool GetFileVersionInfoW(const char16_t* path, uint32_t size, void* block) {
  return ::GetFileVersionInfoW(AsWide(path), 0, size, block) != FALSE;
}

bool VerQueryValueW(const void* block, const char16_t* sub_block, void** value, uint32_t* length) {
  UINT n = 0;
  if (!::VerQueryValueW(block, AsWide(sub_block), value, &n)) return false;
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

uint32_t FormatSystemMessage(uint32_t message_id, char16_t* buffer, uint32_t size) {
  return ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                          message_id, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), AsWide(buffer), size,
                          nullptr);
}

void PathStripPathW(char16_t* path) { ::PathStripPathW(AsWide(path)); }

void PathRemoveExtensionW(char16_t* path) { ::PathRemoveExtensionW(AsWide(path)); }

bool StringToLower(char16_t* text, size_t size) { return _wcslwr_s(AsWide(text), size) == 0; }

const char16_t* CharNextW(const char16_t* position) {
  return AsUtf16(::CharNextW(AsWide(position)));
}

bool PathCompactPathExW(char16_t* out, const char16_t* path, uint32_t max_chars, uint32_t flags) {
  return ::PathCompactPathExW(AsWide(out), AsWide(path), max_chars, flags) != FALSE;
}

int GetLocalDateText(char16_t* buffer, int size) {
  return ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, 0, nullptr, nullptr, AsWide(buffer), size,
                           nullptr);
}

int GetLocalTimeText(char16_t* buffer, int size) {
  return ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, nullptr, nullptr, AsWide(buffer), size);
}

void EnableHeapTerminationOnCorruption() {
  ::HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
}

void EnableLowFragmentationHeap() {
  ULONG low_fragmentation = 2;
  ::HeapSetInformation(::GetProcessHeap(), HeapCompatibilityInformation, &low_fragmentation,
                       sizeof(low_fragmentation));
}

}  // namespace monctl::platform
