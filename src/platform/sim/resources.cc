// The program's own file and resources in the native build: the real
// functions of posix/resources.cc, behind the fault layer.
#include "platform/resources.h"

#include "platform/posix/resources.h"
#include "platform/sim/faults.h"

namespace monctl::platform {

using sim::Call;
using sim::InjectLastError;

uint32_t GetModuleFileNameW(char16_t* buffer, uint32_t size) {
  if (InjectLastError(Call::kGetModuleFileNameW)) return 0;
  return posix::GetModuleFileNameW(buffer, size);
}

uint32_t GetFileVersionInfoSizeW(const char16_t* path) {
  if (InjectLastError(Call::kGetFileVersionInfoSizeW)) return 0;
  return posix::GetFileVersionInfoSizeW(path);
}

bool GetFileVersionInfoW(const char16_t* path, uint32_t size, void* block) {
  if (InjectLastError(Call::kGetFileVersionInfoW)) return false;
  return posix::GetFileVersionInfoW(path, size, block);
}

bool VerQueryValueW(const void* block, const char16_t* sub_block, void** value, uint32_t* length) {
  if (InjectLastError(Call::kVerQueryValueW)) return false;
  return posix::VerQueryValueW(block, sub_block, value, length);
}

ResourceString LoadStringW(uint32_t id) {
  if (InjectLastError(Call::kLoadStringW)) return {nullptr, 0};
  return posix::LoadStringW(id);
}

}  // namespace monctl::platform
