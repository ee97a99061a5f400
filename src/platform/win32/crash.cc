// The crash handler's system services on Windows: the unhandled-exception
// filter, dbghelp's minidump writer, the local application data folder,
// folders and files, and the local time.
#include "platform/crash.h"

#include <windows.h>
#include <dbghelp.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdlib>
#include <exception>

#include "platform/win32/wide.h"

namespace monctl::platform {

// The crash handler's pointers are the platform's own.
struct ExceptionPointers : EXCEPTION_POINTERS {};

static_assert(sizeof(SystemTime) == sizeof(SYSTEMTIME));
static_assert(sizeof(FileHandle) == sizeof(HANDLE));

namespace {

// MiniDumpScanMemory | MiniDumpWithIndirectlyReferencedMemory.
constexpr MINIDUMP_TYPE kDumpType = static_cast<MINIDUMP_TYPE>(0x50);
constexpr DWORD kStatusBreakpoint = 0x80000003;

UnhandledExceptionFilter g_filter = nullptr;
std::terminate_handler g_previous_terminate = nullptr;

HANDLE AsHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

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

HRESULT SHGetFolderPathW(uint32_t csidl, uint32_t type, char16_t* path) {
  return ::SHGetFolderPathW(nullptr, static_cast<int>(csidl), nullptr, type, AsWide(path));
}

bool PathAppendW(char16_t* path, const char16_t* more) {
  return ::PathAppendW(AsWide(path), AsWide(more)) != FALSE;
}

bool CreateDirectoryW(const char16_t* path) {
  return ::CreateDirectoryW(AsWide(path), nullptr) != FALSE;
}

FileHandle CreateFileW(const char16_t* path, uint32_t access, uint32_t disposition,
                       uint32_t attributes) {
  HANDLE file = ::CreateFileW(AsWide(path), access, 0, nullptr, disposition, attributes, nullptr);
  return file == INVALID_HANDLE_VALUE ? kInvalidFileHandle : reinterpret_cast<FileHandle>(file);
}

bool CloseHandle(FileHandle handle) { return ::CloseHandle(AsHandle(handle)) != FALSE; }

bool DeleteFileW(const char16_t* path) { return ::DeleteFileW(AsWide(path)) != FALSE; }

void GetLocalTime(SystemTime* time) { ::GetLocalTime(reinterpret_cast<SYSTEMTIME*>(time)); }

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
  if (pointers != nullptr) return WriteMiniDump(AsHandle(file), pointers);
  PVOID guard = ::AddVectoredExceptionHandler(1, &GuardedDumpHandler);
  if (guard == nullptr) return false;
  g_guarded_file = AsHandle(file);
  g_guarded_result = false;
  ::RaiseException(kStatusBreakpoint, 0, 0, nullptr);
  g_guarded_file = INVALID_HANDLE_VALUE;
  ::RemoveVectoredExceptionHandler(guard);
  return g_guarded_result;
}

// Windows builds the dump's path when the filter runs.
void SetCrashDumpPlan(const CrashDumpPlan&) {}

}  // namespace monctl::platform
