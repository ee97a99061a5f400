// The crash handler: an unhandled fault leaves a dump file in the user's
// local application data folder and a report of its name, and the process
// ends with exit code -1.
#pragma once

#include <cstdint>

#include "platform/crash.h"

namespace monctl {

class CMessageWriter;

// Installs the handler for unhandled exceptions (and, natively, fatal
// signals). Called first thing by the entry point.
void InstallCrashHandler();
// Installs the report routine and the writer through which it reports the
// dump's path.
void SetCrashReportWriter(CMessageWriter* writer);

// The unhandled-exception filter: writes the dump and reports it.
int32_t CrashFilter(platform::ExceptionPointers* pointers);
// The dump's full path into `path` (kMaxPath characters) for the
// executable at `module_path`, which is reduced to its file name in place.
// Creates the dump's folders. False when a folder cannot be created or the
// path does not fit.
bool GetCrashDumpPath(char16_t* path, char16_t* module_path);
// The product's folder under the local application data folder into
// `path` (kMaxPath characters), created when missing.
bool GetAppDataFolder(char16_t* path);
// The crash report routine: writes string 27009 with the dump's path as an
// error through the writer, then ends the process with exit(-1).
[[noreturn]] void ReportCrash(const char16_t* path);

}  // namespace monctl
