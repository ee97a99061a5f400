// A check that stops the fuzzer with a message (assert() is compiled out in
// the fuzz build); standard output, where the console writes, sent away.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition) \
  ((condition) ? void() : (std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition), std::abort()))

inline void DiscardStandardOutput() { ::dup2(::open("/dev/null", O_WRONLY), STDOUT_FILENO); }
