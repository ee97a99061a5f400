// The crash handler's hold on the system: the unhandled-exception filter,
// the dump writer and, natively, what the dump of a fatal signal needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/files.h"
#include "platform/system.h"

namespace monctl::platform {

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
// library's own handling follows (natively, once a plan is set, the report
// that no dump could be written and exit status 255 instead). Natively the
// filter itself is not run for a fatal signal (see SetCrashDumpPlan).
// Returns the previous filter.
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
// ignores the plan. The dump's file name is the prefix and the time part
// (FormatDumpTimePart).
struct CrashDumpPlan {
  std::u16string folder;       // local application data folder
  std::u16string company;      // folder level, empty when left out
  std::u16string product;      // folder level
  std::u16string file_prefix;  // executable name and version part
  std::u16string report_head;  // the report as the writer prints it, up to the path
  std::u16string report_tail;  // the rest of the report after the path
  std::u16string report_no_dump;  // the report when no dump can be written
  bool report = false;         // a report routine is installed
  // The writer's display level (top bit ignored); the report is written
  // only at 4 or above. Null: always written.
  const uint32_t* display_level = nullptr;
};
void SetCrashDumpPlan(const CrashDumpPlan& plan);
// Whether the platform uses the plan at all: natively, not on Windows.
bool NeedsCrashDumpPlan();

// The end of a dump's file name, "_x64_YYYY-MM-DD_HHMMSS_mmm.dmp", from the
// local time of the crash, into `text` (kDumpTimePartSize units, terminator
// included); returns its length. The crash handler and the native
// fatal-signal path both name a dump with it, so it is async-signal-safe:
// it neither allocates nor reads the locale.
constexpr size_t kDumpTimePartSize = 64;
template <typename Char>
size_t FormatDumpTimePart(const SystemTime& time, Char (&text)[kDumpTimePartSize]) {
  size_t n = 0;
  const auto put = [&](const char* part) {
    while (*part != 0) text[n++] = static_cast<Char>(*part++);
  };
  // At least `width` digits, padded with `pad`.
  const auto number = [&](unsigned value, int width, char pad) {
    char digits[5];
    int count = 0;
    do {
      digits[count++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    for (int i = count; i < width; ++i) text[n++] = static_cast<Char>(pad);
    while (count > 0) text[n++] = static_cast<Char>(digits[--count]);
  };
  put("_x64_");
  number(time.wYear, 4, ' ');
  put("-");
  number(time.wMonth, 2, '0');
  put("-");
  number(time.wDay, 2, '0');
  put("_");
  number(time.wHour, 2, '0');
  number(time.wMinute, 2, '0');
  number(time.wSecond, 2, '0');
  put("_");
  number(time.wMilliseconds, 3, '0');
  put(".dmp");
  text[n] = 0;
  return n;
}

}  // namespace monctl::platform
