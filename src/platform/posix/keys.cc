// Single-key console input and path shortening for the native build.
#include <unistd.h>

#include "platform/console.h"
#include "platform/system.h"

namespace monctl::platform {

int ReadWideKey() {
  unsigned char byte = 0;
  ssize_t n = ::read(STDIN_FILENO, &byte, 1);
  return n == 1 ? byte : -1;
}

bool PathCompactPathExW(char16_t*, const char16_t*, uint32_t, uint32_t) {
  SetLastError(kErrorNotSupported);
  return false;
}

}  // namespace monctl::platform
