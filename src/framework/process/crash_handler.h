// The crash handler: an unhandled fault leaves a dump file and a report.
#pragma once

namespace monctl {

class CMessageWriter;

// Installs the handler for unhandled exceptions (and, natively, fatal
// signals). Called first thing by the entry point.
void InstallCrashHandler();
// Installs the report routine and the writer through which it reports the
// dump's path.
void SetCrashReportWriter(CMessageWriter* writer);

}  // namespace monctl
