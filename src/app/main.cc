#include "app/main.h"

#include "app/console.h"
#include "framework/process/crash_handler.h"
#include "platform/system.h"

namespace monctl {

// The application object, constructed by static initialisation before the
// entry point runs.
CConsole g_console;

CConsole& TheConsole() { return g_console; }

int wmain(int argc, char16_t* argv[]) {
  CConsole& console = TheConsole();

  InstallCrashHandler();
  platform::EnableHeapTerminationOnCorruption();
  platform::EnableLowFragmentationHeap();
  SetCrashReportWriter(&console);

  console.ParseCommandLine(argc, argv);
  console.ShowBanner();
  if (console.IsUsageRequired()) {
    console.ShowUsage();
    return kExitUsage;
  }
  return kExitSuccess;
}

}  // namespace monctl
