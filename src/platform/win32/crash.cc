// The crash handler's system services on Windows: the unhandled-exception
// filter and dbghelp's minidump writer.
#include "platform/crash.h"

#include <windows.h>
#include <dbghelp.h>

#include <cstdlib>
#include <exception>

#include "platform/win32/dump_callback.h"
#include "platform/win32/system_library.h"

namespace monctl::platform {

// The crash handler's pointers are the platform's own.
struct ExceptionPointers : EXCEPTION_POINTERS {};

namespace {

// MiniDumpScanMemory | MiniDumpWithIndirectlyReferencedMemory.
constexpr MINIDUMP_TYPE kDumpType = static_cast<MINIDUMP_TYPE>(0x50);
constexpr DWORD kStatusBreakpoint = 0x80000003;

UnhandledExceptionFilter g_filter = nullptr;
std::terminate_handler g_previous_terminate = nullptr;
// The thread whose exception the top-level filter handles; 0 outside it.
DWORD g_faulting_thread = 0;

const SystemFunction<decltype(::MiniDumpWriteDump)> kMiniDumpWriteDump{SystemLibrary::kDbghelp,
                                                                       "MiniDumpWriteDump"};

bool WriteMiniDump(HANDLE file, EXCEPTION_POINTERS* pointers, DWORD thread) {
  MINIDUMP_EXCEPTION_INFORMATION exception{};
  exception.ThreadId = thread;
  exception.ExceptionPointers = pointers;
  exception.ClientPointers = FALSE;
  MINIDUMP_CALLBACK_INFORMATION callback{};
  callback.CallbackRoutine = &CrashDumpCallback;
  callback.CallbackParam = nullptr;
  return kMiniDumpWriteDump(::GetCurrentProcess(), ::GetCurrentProcessId(), file, kDumpType,
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
  g_guarded_result = WriteMiniDump(g_guarded_file, pointers, ::GetCurrentThreadId());
  g_guarded_file = INVALID_HANDLE_VALUE;
  return EXCEPTION_CONTINUE_EXECUTION;
}

void CloseThread(HANDLE thread) { CloseHandle(reinterpret_cast<FileHandle>(thread)); }
using UniqueThread = UniqueHandle<HANDLE, &CloseThread>;

struct FilterWork {
  ExceptionPointers* pointers;
  LONG result;
};

DWORD WINAPI FilterThread(void* parameter) {
  auto* work = static_cast<FilterWork*>(parameter);
  work->result = g_filter(work->pointers);
  return 0;
}

// The filter's work runs on a thread of its own while the faulting thread
// waits: after a stack overflow the faulting thread has about one page of
// stack left, too little for the dump and the report. When no thread can
// be started, the work is done here.
LONG WINAPI TopLevelFilter(EXCEPTION_POINTERS* pointers) {
  if (g_filter == nullptr) return EXCEPTION_CONTINUE_SEARCH;
  g_faulting_thread = ::GetCurrentThreadId();
  FilterWork work{static_cast<ExceptionPointers*>(pointers), EXCEPTION_CONTINUE_SEARCH};
  UniqueThread thread(::CreateThread(nullptr, 0, &FilterThread, &work, 0, nullptr));
  if (!thread) return g_filter(work.pointers);
  if (::WaitForSingleObject(thread.get(), INFINITE) != WAIT_OBJECT_0) return EXCEPTION_CONTINUE_SEARCH;
  return work.result;
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
  if (pointers != nullptr) {
    const DWORD thread = g_faulting_thread != 0 ? g_faulting_thread : ::GetCurrentThreadId();
    return WriteMiniDump(reinterpret_cast<HANDLE>(file), pointers, thread);
  }
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
bool NeedsCrashDumpPlan() { return false; }
void SetCrashDumpPlan(const CrashDumpPlan&) {}

// Modules that no memory of the dump refers to are left out, and memory
// that cannot be read is skipped; threads and modules are otherwise taken
// as they come.
BOOL CALLBACK CrashDumpCallback(PVOID, PMINIDUMP_CALLBACK_INPUT input, PMINIDUMP_CALLBACK_OUTPUT output) {
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
    case ReadMemoryFailureCallback:
      // Any other answer fails the whole dump. Status is the union's first
      // member, as ModuleWriteFlags is; mingw-w64's dbghelp.h wrongly puts
      // it after the union.
      static_assert(sizeof(output->ModuleWriteFlags) == sizeof(HRESULT));
      output->ModuleWriteFlags = static_cast<ULONG>(S_OK);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace monctl::platform
