// A test-only dxva2.dll for running monctl.exe under Wine, whose own dxva2
// has no monitor configuration: the monitor configuration and OPM functions
// that monctl.exe imports, served by the simulated display stack from the
// scenario that MONCTL_SIM_SCENARIO names. The window manager (user32) stays
// Wine's own: the n-th display monitor that Wine enumerates has the physical
// monitors and OPM outputs of the scenario's n-th display. Every call fails
// and sets the last error exactly as the simulator reports, and the calls
// that change something go to the call log (MONCTL_SIM_LOG).
//
// The product never ships this library; tests put it beside a copy of
// monctl.exe and prefer it with WINEDLLOVERRIDES=dxva2=n,b.
#include <windows.h>
#include <d3d9.h>
#include <highlevelmonitorconfigurationapi.h>
#include <objbase.h>
#include <opmapi.h>
#include <physicalmonitorenumerationapi.h>

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "display_stack.h"
#include "platform/display.h"
#include "platform/opm.h"
#include "platform/sim/simulator.h"
#include "video_output.h"

namespace {

using monctl::sim::Current;
using monctl::sim::Levels;
using monctl::sim::Setting;
using monctl::sim::Status;
namespace platform = monctl::platform;

static_assert(sizeof(PHYSICAL_MONITOR) == sizeof(platform::PhysicalMonitor));
static_assert(offsetof(PHYSICAL_MONITOR, szPhysicalMonitorDescription) ==
              offsetof(platform::PhysicalMonitor, szPhysicalMonitorDescription));

BOOL Result(Status status) {
  if (!status.ok) SetLastError(status.error);
  return status.ok ? TRUE : FALSE;
}

BOOL Fail(DWORD error) { return Result(Status::Failure(error)); }

platform::PhysicalMonitorHandle Handle(HANDLE monitor) {
  return reinterpret_cast<platform::PhysicalMonitorHandle>(monitor);
}

BOOL GetLevels(HANDLE monitor, Setting setting, DWORD* minimum, DWORD* current, DWORD* maximum) {
  if (minimum == nullptr || current == nullptr || maximum == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  Levels levels;
  if (!Result(Current().GetLevels(Handle(monitor), setting, &levels))) return FALSE;
  *minimum = levels.minimum;
  *current = levels.current;
  *maximum = levels.maximum;
  return TRUE;
}

}  // namespace

// The simulated driver hands out its certificate message in task memory, as
// the real one does; the caller frees it with ole32's CoTaskMemFree.
namespace monctl::platform {

void* CoTaskMemAlloc(size_t size) { return ::CoTaskMemAlloc(size); }

void CoTaskMemFree(void* block) { ::CoTaskMemFree(block); }

}  // namespace monctl::platform

extern "C" {

BOOL WINAPI GetNumberOfPhysicalMonitorsFromHMONITOR(HMONITOR monitor, LPDWORD count) {
  if (count == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  const auto display = monctl::wine::DisplayOf(monitor);
  if (!display) return Fail(ERROR_INVALID_MONITOR_HANDLE);
  uint32_t n = 0;
  if (!Result(Current().GetPhysicalMonitorCount(*display, &n))) return FALSE;
  *count = n;
  return TRUE;
}

BOOL WINAPI GetPhysicalMonitorsFromHMONITOR(HMONITOR monitor, DWORD count, LPPHYSICAL_MONITOR monitors) {
  if (count != 0 && monitors == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  const auto display = monctl::wine::DisplayOf(monitor);
  if (!display) return Fail(ERROR_INVALID_MONITOR_HANDLE);
  return Result(
      Current().GetPhysicalMonitors(*display, count, reinterpret_cast<platform::PhysicalMonitor*>(monitors)));
}

BOOL WINAPI DestroyPhysicalMonitor(HANDLE monitor) {
  return Result(Current().DestroyPhysicalMonitor(Handle(monitor)));
}

BOOL WINAPI DestroyPhysicalMonitors(DWORD count, LPPHYSICAL_MONITOR monitors) {
  if (count != 0 && monitors == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  // Every handle of the array is destroyed; the first invalid one is reported.
  Status status;
  for (DWORD i = 0; i < count; ++i) {
    const Status destroyed = Current().DestroyPhysicalMonitor(Handle(monitors[i].hPhysicalMonitor));
    if (status.ok) status = destroyed;
  }
  return Result(status);
}

BOOL WINAPI GetMonitorCapabilities(HANDLE monitor, LPDWORD capabilities, LPDWORD color_temperatures) {
  if (capabilities == nullptr || color_temperatures == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  uint32_t caps = 0;
  uint32_t temperatures = 0;
  if (!Result(Current().GetCapabilities(Handle(monitor), &caps, &temperatures))) return FALSE;
  *capabilities = caps;
  *color_temperatures = temperatures;
  return TRUE;
}

BOOL WINAPI GetMonitorBrightness(HANDLE monitor, LPDWORD minimum, LPDWORD current, LPDWORD maximum) {
  return GetLevels(monitor, Setting::kBrightness, minimum, current, maximum);
}

BOOL WINAPI SetMonitorBrightness(HANDLE monitor, DWORD level) {
  return Result(Current().SetLevel(Handle(monitor), Setting::kBrightness, level));
}

BOOL WINAPI GetMonitorContrast(HANDLE monitor, LPDWORD minimum, LPDWORD current, LPDWORD maximum) {
  return GetLevels(monitor, Setting::kContrast, minimum, current, maximum);
}

BOOL WINAPI SetMonitorContrast(HANDLE monitor, DWORD level) {
  return Result(Current().SetLevel(Handle(monitor), Setting::kContrast, level));
}

BOOL WINAPI GetMonitorDisplayAreaSize(HANDLE monitor, MC_SIZE_TYPE size_type, LPDWORD minimum, LPDWORD current,
                                      LPDWORD maximum) {
  if (size_type != MC_WIDTH && size_type != MC_HEIGHT) return Fail(ERROR_INVALID_PARAMETER);
  return GetLevels(monitor, size_type == MC_WIDTH ? Setting::kWidth : Setting::kHeight, minimum, current,
                   maximum);
}

BOOL WINAPI GetMonitorTechnologyType(HANDLE monitor, LPMC_DISPLAY_TECHNOLOGY_TYPE technology) {
  if (technology == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  int32_t value = 0;
  if (!Result(Current().GetTechnology(Handle(monitor), &value))) return FALSE;
  *technology = static_cast<MC_DISPLAY_TECHNOLOGY_TYPE>(value);
  return TRUE;
}

BOOL WINAPI SaveCurrentMonitorSettings(HANDLE monitor) {
  return Result(Current().SaveSettings(Handle(monitor)));
}

HRESULT WINAPI OPMGetVideoOutputsFromHMONITOR(HMONITOR monitor, OPM_VIDEO_OUTPUT_SEMANTICS semantics,
                                              ULONG* count, IOPMVideoOutput*** outputs) {
  if (count == nullptr || outputs == nullptr) return E_POINTER;
  *count = 0;
  *outputs = nullptr;
  if (semantics != OPM_VOS_OPM_SEMANTICS) return E_INVALIDARG;
  const auto display = monctl::wine::DisplayOf(monitor);
  if (!display) return HRESULT_FROM_WIN32(ERROR_INVALID_MONITOR_HANDLE);

  std::vector<platform::OpmVideoOutput*> made;
  if (const HRESULT hr = Current().GetOpmOutputs(*display, &made); FAILED(hr)) return hr;
  if (made.empty()) return S_OK;

  auto** array = static_cast<IOPMVideoOutput**>(::CoTaskMemAlloc(made.size() * sizeof(IOPMVideoOutput*)));
  size_t wrapped = 0;
  if (array != nullptr) {
    for (; wrapped < made.size(); ++wrapped) {
      array[wrapped] = monctl::wine::WrapVideoOutput(made[wrapped]);
      if (array[wrapped] == nullptr) break;
    }
  }
  if (array == nullptr || wrapped < made.size()) {
    // The COM objects made so far own their outputs; the rest are released here.
    for (size_t i = 0; i < wrapped; ++i) array[i]->Release();
    for (size_t i = wrapped; i < made.size(); ++i) made[i]->Release();
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
