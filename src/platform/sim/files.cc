// The local application data folder of the native build: the real
// function of posix/files.cc, behind the fault layer.
#include "platform/files.h"

#include "platform/posix/files.h"
#include "platform/sim/faults.h"

namespace monctl::platform {

HRESULT SHGetFolderPathW(uint32_t csidl, uint32_t type, char16_t* path) {
  if (const uint32_t error = sim::InjectedError(sim::Call::kSHGetFolderPathW)) return HresultFromWin32(error);
  return posix::SHGetFolderPathW(csidl, type, path);
}

}  // namespace monctl::platform
