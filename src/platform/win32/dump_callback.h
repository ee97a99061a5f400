// The crash dump's callback for dbghelp's minidump writer (crash.cc).
#pragma once

#include <windows.h>
#include <dbghelp.h>

namespace monctl::platform {

BOOL CALLBACK CrashDumpCallback(PVOID parameter, PMINIDUMP_CALLBACK_INPUT input,
                                PMINIDUMP_CALLBACK_OUTPUT output);

}  // namespace monctl::platform
