#include "app/main.h"

#include "app/all_monitors.h"
#include "app/console.h"
#include "app/identity.h"
#include "app/physical_monitor.h"
#include "app/steps.h"
#include "framework/output/format.h"
#include "framework/process/crash_handler.h"
#include "platform/display.h"
#include "platform/system.h"

namespace monctl {

// The application object, constructed by static initialisation before the
// entry point runs.
CConsole g_console;

CConsole& TheConsole() { return g_console; }

namespace {

// /monitor: the number of the one monitor whose identity matches, into
// m_nDevice; false, with the error written, when none or several match.
bool SelectByIdentity(CConsole& console, CEnumPhysicalMonitors& monitors) {
  const std::vector<uint32_t> numbers = FindMonitors(monitors, console.m_strMonitor);
  if (numbers.empty()) {
    console.WriteError(u"no monitor matches \"%s\".", console.m_strMonitor.c_str());
    return false;
  }
  if (numbers.size() > 1) {
    std::u16string list;
    for (const uint32_t number : numbers) list += (list.empty() ? u"" : u", ") + Format(u"%lu", number);
    console.WriteError(u"\"%s\" matches more than one monitor (%s).", console.m_strMonitor.c_str(), list.c_str());
    return false;
  }
  console.m_nDevice = static_cast<int32_t>(numbers.front());
  return true;
}

// The actions on one selected monitor.
int RunSelected(CConsole& console, CEnumPhysicalMonitors& monitors) {
  if ((console.m_dwParameters & kOptionMonitor) != 0 && !SelectByIdentity(console, monitors)) return kExitSelection;
  if (!monitors.Select(static_cast<uint32_t>(console.m_nDevice))) {
    console.WriteError(u"invalid device index");
    return kExitSelection;
  }
  if (monitors.GetMonitor(monitors.m_nSelected) == nullptr) return kExitSelection;

  WriteSelected(console, monitors, monitors, monitors.m_nSelected);
  return RunSteps(console, monitors, monitors.m_nSelected);
}

}  // namespace

void WriteSelected(CConsole& console, CEnumPhysicalMonitors& monitors, const CPhysicalMonitor& display,
                   uint32_t index) {
  console.Write(u"Selected device: ");
  monitors.WriteName(display, index);
  console.NewLine();
}

int RunSteps(CConsole& console, CPhysicalMonitor& monitor, uint32_t index) {
  const uint32_t options = console.m_dwParameters;
  if ((options & kOptionProperties) != 0) monitor.ShowProperties(index);
  if ((options & kOptionCapabilities) != 0 && !CapabilitiesStep(console, monitor, index)) return kExitDdc;
  if ((options & kOptionBrightness) != 0 && !BrightnessStep(console, monitor, index)) return kExitBrightness;
  if ((options & kOptionContrast) != 0 && !ContrastStep(console, monitor, index)) return kExitContrast;
  if ((options & kOptionVcp) != 0 && !VcpStep(console, monitor, index)) return kExitDdc;
  if ((options & kOptionInput) != 0 && !InputStep(console, monitor, index)) return kExitDdc;
  if ((options & kOptionSave) != 0 && !SaveStep(console, monitor, index)) return kExitSelection;
  if ((options & (kOptionRotate | kOptionPosition)) != 0 && !OrientationStep(console, monitor)) {
    return kExitDisplaySettings;
  }
  return kExitSuccess;
}

int wmain(int argc, char16_t* argv[]) {
  CConsole& console = TheConsole();

  InstallCrashHandler();
  platform::EnableHeapTerminationOnCorruption();
  platform::EnableLowFragmentationHeap();
  SetCrashReportWriter(&console);

  console.ParseCommandLine(argc, argv);
  // The JSON listing is the whole output, so that it parses as a document.
  const bool json = (console.m_dwParameters & kOptionJson) != 0 && !console.IsUsageRequired();
  if (!json) console.ShowBanner();
  if (console.IsUsageRequired()) {
    console.ShowUsage();
    return kExitUsage;
  }

  // Released on every path out, also when an exception unwinds through it.
  CEnumPhysicalMonitors monitors(console);
  if ((console.m_dwParameters & kOptionListDevices) != 0) {
    const bool properties = (console.m_dwParameters & kOptionProperties) != 0;
    if (json) {
      monitors.ListJson(properties);
    } else if (properties && platform::CanCallMonitorsSideBySide()) {
      ListSideBySide(console, monitors);
    } else {
      monitors.List(properties);
    }
    return kExitSuccess;
  }
  if ((console.m_dwParameters & kOptionPower) != 0) {
    PowerStep(console);
    return kExitSuccess;
  }
  return console.m_bAllDevices ? RunAllMonitors(console, monitors) : RunSelected(console, monitors);
}

}  // namespace monctl
