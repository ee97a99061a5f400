// The content of a native crash dump.
#pragma once

#include <csignal>

#include "platform/system.h"

namespace monctl::platform {

// The signal, its information and the interrupted context.
struct ExceptionPointers {
  int signal;
  siginfo_t* info;
  void* context;
};

// Writes the dump to `fd`: a header with `program`, the process and `time`;
// for a signal its details and the registers, otherwise the exception that
// std::terminate was called for; then the stack and the memory map.
// Async-signal-safe for a signal once PreloadBacktrace has run. False when
// a write failed.
bool WriteDump(int fd, const ExceptionPointers* pointers, const SystemTime& time, const char* program);

// The unwinder's first use binds its symbols and reads this program's
// unwind tables; done before a signal, so that the handler does not.
void PreloadBacktrace();

}  // namespace monctl::platform
