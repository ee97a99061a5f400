// The crash handler's system services on Windows: the unhandled-exception
// filter and dbghelp's minidump writer.
#include "platform/crash.h"

#include <windows.h>
#include <dbghelp.h>

#include <cstdlib>
#include <exception>

namespace monctl::platform {

// The crash handler's pointers are the platform's own.
struct ExceptionPointers : EXCEPTION_POINTERS {};

namespace {

// MiniDumpScanMemory | MiniDumpWithIndirectlyReferencedMemory.
constexpr MINIDUMP_TYPE kDumpType = static_cast<MINIDUMP_TYPE>(0x50);
constexpr DWORD kStatusBreakpoint = 0x80000003;

UnhandledExceptionFilter g_filter = nullptr;
std::terminate_handler g_previous_terminate = nullptr;

// The minidump writer's callback: modules that no memory of the dump
// refers to are left out; threads and modules are otherwise taken as they
// come.
BOOL CALLBACK CrashDumpCallback(PVOID, const PMINIDUMP_CALLBACK_INPUT input,
                                PMINIDUMP_CALLBACK_OUTPUT output) {
  if (input == nullptr || output == nullptr) return FALSE;
  switch (input->CallbackType) {
    case ModuleCallback:
      if ((output->ModuleWriteFlags & ModuleReferencedByMemory) == 0) {
        output->ModuleWriteFlags &= ~static_cast<ULONG>(ModuleWriteModule);
      }
      return TRUE;
    case ThreadCallback:
    case ThreadExCallback:
    case IncludeThreadCallback:
    case IncludeModuleCallback:
      return TRUE;
    default:
      return FALSE;
  }
}

bool WriteMiniDump(HANDLE file, EXCEPTION_POINTERS* pointers) {
  MINIDUMP_EXCEPTION_INFORMATION exception{};
  exception.ThreadId = ::GetCurrentThreadId();
  exception.ExceptionPointers = pointers;
  exception.ClientPointers = FALSE;
  MINIDUMP_CALLBACK_INFORMATION callback{};
  callback.CallbackRoutine = &CrashDumpCallback;
  callback.CallbackParam = nullptr;
  return ::MiniDumpWriteDump(::GetCurrentProcess(), ::GetCurrentProcessId(), file, kDumpType,
                             &exception, nullptr, &callback) != FALSE;
}

// A dump asked for outside an exception is written from the handler of a
// breakpoint exception raised for that purpose, which then lets the
// program continue.
HANDLE g_guarded_file = INVALID_HANDLE_VALUE;
bool g_guarded_result = false;

LONG CALLBACK GuardedDumpHandler(EXCEPTION_POINTERS* pointers) {
  if (pointers->ExceptionRecord->ExceptionCode != kStatusBreakpoint ||
      g_guarded_file == INVALID_HANDLE_VALUE) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  g_guarded_result = WriteMiniDump(g_guarded_file, pointers);
  g_guarded_file = INVALID_HANDLE_VALUE;
  return EXCEPTION_CONTINUE_EXECUTION;
}

LONG WINAPI TopLevelFilter(EXCEPTION_POINTERS* pointers) {
  if (g_filter == nullptr) return EXCEPTION_CONTINUE_SEARCH;
  return g_filter(static_cast<ExceptionPointers*>(pointers));
}

// std::terminate: an exception that no frame catches where the unwinder
// cannot pass it to the filter (a noexcept function, a destructor during
// unwinding), or a direct call.
[[noreturn]] void OnTerminate() {
  static LONG entered = 0;
  if (g_filter != nullptr && ::InterlockedExchange(&entered, 1) == 0) {
    // The filter reports and exits when it has written a dump.
    if (g_filter(nullptr) == kExceptionExecuteHandler) ::ExitProcess(static_cast<UINT>(-1));
  }
  if (g_previous_terminate != nullptr) g_previous_terminate();
  std::abort();
}

}  // namespace

UnhandledExceptionFilter SetUnhandledExceptionFilter(UnhandledExceptionFilter filter) {
  static bool terminate_set = false;
  UnhandledExceptionFilter previous = g_filter;
  g_filter = filter;
  ::SetUnhandledExceptionFilter(filter != nullptr ? &TopLevelFilter : nullptr);
  if (!terminate_set) {
    terminate_set = true;
    g_previous_terminate = std::set_terminate(&OnTerminate);
  }
  return previous;
}

bool WriteCrashDump(FileHandle file, ExceptionPointers* pointers) {
  if (pointers != nullptr) return WriteMiniDump(reinterpret_cast<HANDLE>(file), pointers);
  PVOID guard = ::AddVectoredExceptionHandler(1, &GuardedDumpHandler);
  if (guard == nullptr) return false;
  g_guarded_file = reinterpret_cast<HANDLE>(file);
  g_guarded_result = false;
  ::RaiseException(kStatusBreakpoint, 0, 0, nullptr);
  g_guarded_file = INVALID_HANDLE_VALUE;
  ::RemoveVectoredExceptionHandler(guard);
  return g_guarded_result;
}

// Windows builds the dump's path when the filter runs.
void SetCrashDumpPlan(const CrashDumpPlan&) {}

}  // namespace monctl::platform
