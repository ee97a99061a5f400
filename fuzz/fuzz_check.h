// What the fuzz targets share: a check that stops the fuzzer with a message
// (assert() is compiled out in the fuzz build), and standard output sent
// away, since the console writes there.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (false)

namespace monctl::fuzz {

// Standard output to /dev/null; libFuzzer reports on standard error.
inline void DiscardStandardOutput() {
  const int null = ::open("/dev/null", O_WRONLY);
  if (null >= 0) {
    ::dup2(null, STDOUT_FILENO);
    ::close(null);
  }
}

}  // namespace monctl::fuzz
