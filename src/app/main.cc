#include "app/main.h"

#include "app/console.h"
#include "app/physical_monitor.h"
#include "app/steps.h"
#include "framework/process/crash_handler.h"
#include "platform/system.h"

namespace monctl {

// The application object, constructed by static initialisation before the
// entry point runs.
CConsole g_console;

CConsole& TheConsole() { return g_console; }

namespace {

// The actions on one selected monitor, in their fixed order.
int RunSelected(CConsole& console, CEnumPhysicalMonitors& monitors) {
  uint32_t options = console.m_dwParameters;
  if (!monitors.Select(static_cast<uint32_t>(console.m_nDevice))) {
    console.WriteError(u"invalid device index");
    return kExitSelection;
  }
  const platform::PhysicalMonitor* record = monitors.GetMonitor(monitors.m_nSelected);
  if (record == nullptr) return kExitSelection;

  console.Write(u"Selected device: ");
  monitors.WriteName(record);
  console.NewLine();

  if ((options & kOptionProperties) != 0) monitors.ShowProperties(monitors.m_nSelected);
  if ((options & kOptionBrightness) != 0 && !BrightnessStep(console, monitors)) return kExitBrightness;
  if ((options & kOptionContrast) != 0 && !ContrastStep(console, monitors)) return kExitContrast;
  if ((options & kOptionSave) != 0 && !SaveStep(console, monitors)) return kExitSelection;
  if ((options & (kOptionRotate | kOptionPosition)) != 0 && !OrientationStep(console, monitors)) {
    return kExitDisplaySettings;
  }
  return kExitSuccess;
}

}  // namespace

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

  // Released on every path out, also when an exception unwinds through it.
  CEnumPhysicalMonitors monitors(console);
  if ((console.m_dwParameters & kOptionListDevices) != 0) {
    monitors.List((console.m_dwParameters & kOptionProperties) != 0);
    return kExitSuccess;
  }
  if ((console.m_dwParameters & kOptionPower) != 0) {
    PowerStep(console);
    return kExitSuccess;
  }
  return RunSelected(console, monitors);
}

}  // namespace monctl
