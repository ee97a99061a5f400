// What the crash handler needs from the system: the user's local
// application data folder, folders and files, the local time, the
// minidump writer and the installation of the unhandled-exception filter.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"
#include "platform/unique_handle.h"

namespace monctl::platform {

// SHGetFolderPathW: the folder `csidl` (with optional kCsidlFlagCreate)
// into `path` (kMaxPath characters). Natively the local application data
// folder is the user's local state folder: $XDG_STATE_HOME when it is an
// absolute path, otherwise $HOME/.local/state.
constexpr uint32_t kCsidlLocalAppData = 0x001C;
constexpr uint32_t kCsidlFlagCreate = 0x8000;
constexpr uint32_t kShgfpTypeCurrent = 0;
HRESULT SHGetFolderPathW(uint32_t csidl, uint32_t type, char16_t* path);

// PathAppendW: appends `more` to `path` (kMaxPath characters) with one
// separator between them. Fails, leaving `path` unchanged, when the result
// would not fit.
bool PathAppendW(char16_t* path, const char16_t* more);

// CreateDirectoryW without security attributes. An existing folder (or
// file) fails with kErrorAlreadyExists.
bool CreateDirectoryW(const char16_t* path);

// A file handle: a HANDLE on Windows, a file descriptor natively.
using FileHandle = intptr_t;
constexpr FileHandle kInvalidFileHandle = -1;

constexpr uint32_t kGenericWrite = 0x40000000;
constexpr uint32_t kCreateAlways = 2;
constexpr uint32_t kFileAttributeNormal = 0x80;

// CreateFileW without sharing, security attributes or template. Natively
// only kGenericWrite with kCreateAlways is supported; the file is readable
// by its owner only.
FileHandle CreateFileW(const char16_t* path, uint32_t access, uint32_t disposition,
                       uint32_t attributes);
bool CloseHandle(FileHandle handle);
bool DeleteFileW(const char16_t* path);

namespace detail {
inline void CloseFile(FileHandle file) { CloseHandle(file); }
}  // namespace detail

// A file handle that is closed when it goes out of scope.
using UniqueFile = UniqueHandle<FileHandle, &detail::CloseFile, kInvalidFileHandle>;

// SYSTEMTIME and GetLocalTime.
struct SystemTime {
  uint16_t wYear;
  uint16_t wMonth;
  uint16_t wDayOfWeek;
  uint16_t wDay;
  uint16_t wHour;
  uint16_t wMinute;
  uint16_t wSecond;
  uint16_t wMilliseconds;
};
void GetLocalTime(SystemTime* time);

// The faulting thread's exception information: EXCEPTION_POINTERS on
// Windows; natively the signal, its information and the interrupted
// context. Null when a dump is asked for outside an exception.
struct ExceptionPointers;

// Results of an unhandled-exception filter.
constexpr int32_t kExceptionContinueSearch = 0;
constexpr int32_t kExceptionExecuteHandler = 1;

using UnhandledExceptionFilter = int32_t (*)(ExceptionPointers* pointers);

// SetUnhandledExceptionFilter. The filter also runs, without exception
// pointers, when std::terminate is called (an exception that nobody
// catches); when it answers kExceptionContinueSearch the run-time
// library's own handling follows. Natively the filter itself is not run
// for a fatal signal (see SetCrashDumpPlan). Returns the previous filter.
UnhandledExceptionFilter SetUnhandledExceptionFilter(UnhandledExceptionFilter filter);

// Writes a dump of the process into `file`: with MiniDumpWriteDump on
// Windows, as a text report of the signal, the registers, the faulting
// thread's stack and the memory map natively. Without exception pointers
// the dump shows the calling thread where it is.
bool WriteCrashDump(FileHandle file, ExceptionPointers* pointers);

// Everything the dump of a fatal signal needs that cannot be computed in a
// signal handler: a handler may only make async-signal-safe calls, so it
// can neither read the version resource nor format or allocate text. The
// crash handler prepares this while the process is sound; the signal path
// then only creates the folders, takes the time, writes the dump and the
// report with write(2) and ends with _exit. Windows runs its filter in an
// ordinary context, builds everything when the exception occurs, and
// ignores the plan.
struct CrashDumpPlan {
  std::u16string folder;       // local application data folder
  std::u16string company;      // folder level, empty when left out
  std::u16string product;      // folder level
  std::u16string file_prefix;  // executable name and version part
  std::u16string report_head;  // the report as the writer prints it, up to the path
  std::u16string report_tail;  // the rest of the report after the path
  bool report = false;         // a report routine is installed
  // The writer's display level (top bit ignored); the report is written
  // only at 4 or above. Null: always written.
  const uint32_t* display_level = nullptr;
};
void SetCrashDumpPlan(const CrashDumpPlan& plan);

}  // namespace monctl::platform
