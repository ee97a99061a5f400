// System services for the native build: a thread-local last error, the
// executable's real path, the program's version resource and string table
// embedded at build time, and a message table for the codes the tool meets.
#include "platform/system.h"

#include <ctime>
#include <limits.h>
#include <string>
#include <unistd.h>

#include "platform/posix/call_gate.h"
#include "platform/text.h"

namespace monctl::platform {
namespace {

thread_local uint32_t t_last_error = 0;

}  // namespace

uint32_t GetLastError() { return t_last_error; }

void SetLastError(uint32_t error) { t_last_error = error; }

uint32_t GetModuleFileNameW(char16_t* buffer, uint32_t size) {
  if (GatedFailure("GetModuleFileNameW")) return 0;
  if (size == 0) {
    SetLastError(kErrorInsufficientBuffer);
    return 0;
  }
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0) {
    SetLastError(kErrorFileNotFound);
    return 0;
  }
  std::u16string wide = Utf8ToUtf16(std::string_view(path, static_cast<size_t>(n)));
  if (wide.size() >= size) {
    // As on Windows: cut to the buffer, terminated, with the size returned.
    wide.copy(buffer, size - 1);
    buffer[size - 1] = 0;
    SetLastError(kErrorInsufficientBuffer);
    return size;
  }
  wide.copy(buffer, wide.size());
  buffer[wide.size()] = 0;
  return static_cast<uint32_t>(wide.size());
}

void PathStripPathW(char16_t* path) {
  char16_t* name = path;
  for (char16_t* p = path; *p != 0; ++p) {
    if (*p == u'/' || *p == u'\\') name = p + 1;
  }
  if (name == path) return;
  char16_t* out = path;
  while ((*out++ = *name++) != 0) {
  }
}

void PathRemoveExtensionW(char16_t* path) {
  char16_t* dot = nullptr;
  for (char16_t* p = path; *p != 0; ++p) {
    if (*p == u'.') dot = p;
    else if (*p == u'/' || *p == u'\\' || *p == u' ') dot = nullptr;
  }
  if (dot != nullptr) *dot = 0;
}

bool StringToLower(char16_t* text, size_t size) {
  size_t i = 0;
  for (; i < size && text[i] != 0; ++i) text[i] = AsciiToLower(text[i]);
  if (i == size) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  return true;
}

const char16_t* CharNextW(const char16_t* position) {
  return *position == 0 ? position : position + 1;
}

namespace {

int LocalTimeText(const char* format, char16_t* buffer, int size) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return 0;
  char text[128];
  size_t n = std::strftime(text, sizeof(text), format, &local);
  if (n == 0) return 0;
  std::u16string wide = Utf8ToUtf16(std::string_view(text, n));
  if (size <= 0 || wide.size() + 1 > static_cast<size_t>(size)) {
    SetLastError(kErrorInsufficientBuffer);
    return 0;
  }
  wide.copy(buffer, wide.size());
  buffer[wide.size()] = 0;
  return static_cast<int>(wide.size() + 1);
}

}  // namespace

int GetLocalDateText(char16_t* buffer, int size) { return LocalTimeText("%x", buffer, size); }

int GetLocalTimeText(char16_t* buffer, int size) { return LocalTimeText("%X", buffer, size); }

// glibc's allocator already ends the process when it detects heap
// corruption, and has no low-fragmentation mode to switch on.
void EnableHeapTerminationOnCorruption() {}

void EnableLowFragmentationHeap() {}

}  // namespace monctl::platform
