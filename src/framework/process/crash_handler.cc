#include "framework/process/crash_handler.h"

namespace monctl {

// Filled in with the crash handler.
void InstallCrashHandler() {}

void SetCrashReportWriter(CMessageWriter*) {}

}  // namespace monctl
