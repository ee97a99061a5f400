// A test-only dxva2.dll for running monctl.exe under Wine, whose own dxva2
// has no monitor configuration: the monitor configuration and OPM functions
// that monctl.exe loads, served by the simulated display stack from the
// scenario that MONCTL_SIM_SCENARIO names. The window manager (user32) stays
// Wine's own: the n-th display monitor that Wine enumerates has the physical
// monitors and OPM outputs of the scenario's n-th display. Each monitor
// configuration export is the simulated stack's own function of
// platform/display.h, so every call fails and sets the last error exactly
// as monctl-sim's does, and the calls that change something go to the call
// log (MONCTL_SIM_LOG).
//
// The product never ships this library; tests put it beside a copy of
// monctl.exe and prefer it with WINEDLLOVERRIDES=dxva2=n,b.
#include <windows.h>
#include <d3d9.h>
#include <highlevelmonitorconfigurationapi.h>
#include <objbase.h>
#include <opmapi.h>
#include <physicalmonitorenumerationapi.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "display_stack.h"
#include "platform/display.h"
#include "platform/opm.h"
#include "platform/sim/backend.h"
#include "platform/sim/simulator.h"
#include "video_output.h"

namespace {

namespace platform = monctl::platform;

// The portable structures have the Win32 layout, and DWORD is 32 bits.
static_assert(sizeof(PHYSICAL_MONITOR) == sizeof(platform::PhysicalMonitor));
static_assert(offsetof(PHYSICAL_MONITOR, szPhysicalMonitorDescription) ==
              offsetof(platform::PhysicalMonitor, szPhysicalMonitorDescription));
static_assert(sizeof(DWORD) == sizeof(uint32_t));
static_assert(sizeof(MC_DISPLAY_TECHNOLOGY_TYPE) == sizeof(int32_t));

platform::MonitorHandle Monitor(HMONITOR monitor) { return reinterpret_cast<platform::MonitorHandle>(monitor); }

platform::PhysicalMonitorHandle Handle(HANDLE monitor) {
  return reinterpret_cast<platform::PhysicalMonitorHandle>(monitor);
}

platform::PhysicalMonitor* Monitors(LPPHYSICAL_MONITOR monitors) {
  return reinterpret_cast<platform::PhysicalMonitor*>(monitors);
}

uint32_t* Value(LPDWORD value) { return reinterpret_cast<uint32_t*>(value); }

BOOL Win32(bool ok) { return ok ? TRUE : FALSE; }

}  // namespace

// The simulated driver hands out its certificate message in task memory, as
// the real one does; the caller frees it with ole32's CoTaskMemFree.
namespace monctl::platform {

void* CoTaskMemAlloc(size_t size) { return ::CoTaskMemAlloc(size); }

void CoTaskMemFree(void* block) { ::CoTaskMemFree(block); }

}  // namespace monctl::platform

// The monitor configuration functions are the simulated stack's own
// (platform/sim/display.cc), on the display monitors of display_stack.cc.
extern "C" {

BOOL WINAPI GetNumberOfPhysicalMonitorsFromHMONITOR(HMONITOR monitor, LPDWORD count) {
  return Win32(platform::GetNumberOfPhysicalMonitorsFromHMONITOR(Monitor(monitor), Value(count)));
}

BOOL WINAPI GetPhysicalMonitorsFromHMONITOR(HMONITOR monitor, DWORD count, LPPHYSICAL_MONITOR monitors) {
  return Win32(platform::GetPhysicalMonitorsFromHMONITOR(Monitor(monitor), count, Monitors(monitors)));
}

BOOL WINAPI DestroyPhysicalMonitors(DWORD count, LPPHYSICAL_MONITOR monitors) {
  return Win32(platform::DestroyPhysicalMonitors(count, Monitors(monitors)));
}

BOOL WINAPI DestroyPhysicalMonitor(HANDLE monitor) {
  PHYSICAL_MONITOR one = {monitor, {}};
  return DestroyPhysicalMonitors(1, &one);
}

BOOL WINAPI GetMonitorCapabilities(HANDLE monitor, LPDWORD capabilities, LPDWORD color_temperatures) {
  return Win32(platform::GetMonitorCapabilities(Handle(monitor), Value(capabilities), Value(color_temperatures)));
}

BOOL WINAPI GetMonitorBrightness(HANDLE monitor, LPDWORD minimum, LPDWORD current, LPDWORD maximum) {
  return Win32(platform::GetMonitorBrightness(Handle(monitor), Value(minimum), Value(current), Value(maximum)));
}

BOOL WINAPI SetMonitorBrightness(HANDLE monitor, DWORD level) {
  return Win32(platform::SetMonitorBrightness(Handle(monitor), level));
}

BOOL WINAPI GetMonitorContrast(HANDLE monitor, LPDWORD minimum, LPDWORD current, LPDWORD maximum) {
  return Win32(platform::GetMonitorContrast(Handle(monitor), Value(minimum), Value(current), Value(maximum)));
}

BOOL WINAPI SetMonitorContrast(HANDLE monitor, DWORD level) {
  return Win32(platform::SetMonitorContrast(Handle(monitor), level));
}

BOOL WINAPI GetMonitorDisplayAreaSize(HANDLE monitor, MC_SIZE_TYPE size_type, LPDWORD minimum, LPDWORD current,
                                      LPDWORD maximum) {
  return Win32(platform::GetMonitorDisplayAreaSize(Handle(monitor), static_cast<int32_t>(size_type),
                                                   Value(minimum), Value(current), Value(maximum)));
}

BOOL WINAPI GetMonitorTechnologyType(HANDLE monitor, LPMC_DISPLAY_TECHNOLOGY_TYPE technology) {
  return Win32(platform::GetMonitorTechnologyType(Handle(monitor), reinterpret_cast<int32_t*>(technology)));
}

BOOL WINAPI SaveCurrentMonitorSettings(HANDLE monitor) {
  return Win32(platform::SaveCurrentMonitorSettings(Handle(monitor)));
}

// MC_VCP_CODE_TYPE is a 32-bit enumeration; mingw-w64 lacks its header.
BOOL WINAPI GetVCPFeatureAndVCPFeatureReply(HANDLE monitor, BYTE code, LPDWORD type, LPDWORD current,
                                            LPDWORD maximum) {
  return Win32(platform::GetVCPFeatureAndVCPFeatureReply(Handle(monitor), code, reinterpret_cast<int32_t*>(type),
                                                         Value(current), Value(maximum)));
}

BOOL WINAPI SetVCPFeature(HANDLE monitor, BYTE code, DWORD value) {
  return Win32(platform::SetVCPFeature(Handle(monitor), code, value));
}

BOOL WINAPI GetCapabilitiesStringLength(HANDLE monitor, LPDWORD length) {
  return Win32(platform::GetCapabilitiesStringLength(Handle(monitor), Value(length)));
}

BOOL WINAPI CapabilitiesRequestAndCapabilitiesReply(HANDLE monitor, LPSTR text, DWORD length) {
  return Win32(platform::CapabilitiesRequestAndCapabilitiesReply(Handle(monitor), text, length));
}

HRESULT WINAPI OPMGetVideoOutputsFromHMONITOR(HMONITOR monitor, OPM_VIDEO_OUTPUT_SEMANTICS semantics,
                                              ULONG* count, IOPMVideoOutput*** outputs) {
  if (count == nullptr || outputs == nullptr) return E_POINTER;
  *count = 0;
  *outputs = nullptr;
  if (semantics != OPM_VOS_OPM_SEMANTICS) return E_INVALIDARG;
  const auto display = monctl::sim::DisplayOf(Monitor(monitor));
  if (!display) return HRESULT_FROM_WIN32(ERROR_INVALID_MONITOR_HANDLE);

  std::vector<platform::OpmVideoOutput*> made;
  if (const HRESULT hr = monctl::sim::Current().GetOpmOutputs(*display, &made); FAILED(hr)) return hr;
  if (made.empty()) return S_OK;

  auto** array = static_cast<IOPMVideoOutput**>(::CoTaskMemAlloc(made.size() * sizeof(IOPMVideoOutput*)));
  size_t wrapped = 0;
  if (array != nullptr) {
    for (; wrapped < made.size(); ++wrapped) {
      // A null entry stays null.
      array[wrapped] = made[wrapped] != nullptr ? monctl::wine::WrapVideoOutput(made[wrapped]) : nullptr;
      if (array[wrapped] == nullptr && made[wrapped] != nullptr) break;
    }
  }
  if (array == nullptr || wrapped < made.size()) {
    // The COM objects made so far own their outputs; the rest are released here.
    for (size_t i = 0; i < wrapped; ++i) {
      if (array[i] != nullptr) array[i]->Release();
    }
    for (size_t i = wrapped; i < made.size(); ++i) {
      if (made[i] != nullptr) made[i]->Release();
    }
    ::CoTaskMemFree(array);
    return E_OUTOFMEMORY;
  }
  *count = static_cast<ULONG>(made.size());
  *outputs = array;
  return S_OK;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  switch (reason) {
    case DLL_PROCESS_ATTACH: {
      DisableThreadLibraryCalls(instance);
      // The scenario is read before the program runs, as monctl-sim reads
      // it: a scenario that cannot be used ends the process at once with
      // one line on standard error.
      std::string error;
      if (!monctl::wine::LoadFromEnvironment(&error)) {
        const std::string line = "dxva2.dll (test): " + error + "\n";
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
                  nullptr);
        TerminateProcess(GetCurrentProcess(), monctl::wine::kScenarioErrorStatus);
      }
      break;
    }
    case DLL_PROCESS_DETACH:
      monctl::wine::ReportUnreleased();
      break;
    default:
      break;
  }
  return TRUE;
}

}  // extern "C"
