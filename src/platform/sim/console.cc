// The console modes of the native build: the real functions of
// posix/console.cc, behind the fault layer. A failed IsConsole answers
// "not a console"; a failed SetTranslationMode fails as for a mode that
// does not exist.
#include "platform/console.h"

#include <cerrno>

#include "platform/posix/console.h"
#include "platform/sim/faults.h"

namespace monctl::platform {

bool IsConsole(Stream stream) {
  if (sim::InjectedError(sim::Call::kIsConsole) != 0) return false;
  return posix::IsConsole(stream);
}

int SetTranslationMode(Stream stream, uint32_t mode) {
  if (sim::InjectedError(sim::Call::kSetTranslationMode) != 0) {
    errno = EINVAL;
    return -1;
  }
  return posix::SetTranslationMode(stream, mode);
}

}  // namespace monctl::platform
