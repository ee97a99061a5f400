// The running simulated display stack: the state of a scenario as calls
// change it, and the physical monitor handles and OPM outputs handed out.
// Portable C++ with no system calls, so that both the native backend
// (display.cc, opm.cc) and a Windows build can serve from it.
//
// Every operation that stands for a platform call returns a Status: success,
// or failure with the last-error value that the caller hands to its
// platform's SetLastError.
//
// Operations may be called from several threads at once: each takes the
// simulator's lock. With the scenario's ddc_timing, a DDC/CI operation
// first holds its monitor's bus for the call's protocol time, outside the
// lock, so that the calls of different monitors overlap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "platform/display.h"
#include "platform/opm.h"
#include "platform/sim/call_log.h"
#include "platform/sim/faults.h"
#include "platform/sim/scenario.h"

namespace monctl::sim {

// ERROR_GRAPHICS_INVALID_PHYSICAL_MONITOR_HANDLE: a physical monitor handle
// that was never handed out or has been destroyed.
constexpr uint32_t kErrorInvalidPhysicalMonitorHandle = 0xC026258Cu;
// ERROR_GRAPHICS_DDCCI_VCP_NOT_SUPPORTED: a VCP code the monitor lacks.
constexpr uint32_t kErrorVcpNotSupported = 0xC0262584u;
// ERROR_INVALID_MONITOR_HANDLE: an HMONITOR the stack does not know.
constexpr uint32_t kErrorInvalidMonitorHandle = 1461;
// ERROR_GRAPHICS_OPM_NOT_SUPPORTED: a display monitor without OPM outputs.
constexpr platform::HRESULT kOpmNotSupported = static_cast<platform::HRESULT>(0xC0262500u);

// How a simulated call ends. A scenario may make a call fail with any
// last-error value, 0 included, so failure is not told by the value.
struct Status {
  bool ok = true;
  uint32_t error = 0;

  static Status Success() { return {}; }
  static Status Failure(uint32_t error) { return {false, error}; }
};

// The four DDC/CI settings with a minimum, current and maximum.
enum class Setting { kBrightness, kContrast, kWidth, kHeight };

class Simulator {
 public:
  // `log_path`: the file that the call log is appended to; none when empty.
  explicit Simulator(Scenario scenario, std::string log_path = {});
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // The scenario with every change made so far (levels set, modes changed).
  // Not to be read while other threads make calls.
  const Scenario& state() const { return state_; }
  const CallLog& call_log() const { return *log_; }
  // Physical monitor handles handed out and not yet destroyed.
  size_t live_physical_monitors() const {
    std::lock_guard lock(mutex_);
    return handles_.size();
  }
  // OPM video outputs handed out whose last reference is not yet released.
  size_t live_opm_outputs() const {
    std::lock_guard lock(mutex_);
    return *live_outputs_;
  }

  // Display monitors, by index in enumeration order.
  size_t display_count() const { return state_.displays.size(); }
  // The display whose device name is `device` (letters compared without
  // case, as the window manager does).
  std::optional<size_t> FindDisplay(std::u16string_view device) const;
  // The primary display, or the first when none is marked primary.
  std::optional<size_t> PrimaryDisplay() const;

  // GetMonitorInfoW.
  Status GetMonitorInfoW(size_t display, platform::MonitorInfo* info) const;
  // EnumDisplayDevicesW without a device name: the display's adapter.
  Status GetDisplayDevice(size_t display, platform::DisplayDevice* device) const;
  // EnumDisplayDevicesW with the display's device name: its monitors.
  Status GetMonitorDevice(size_t display, size_t index, platform::DisplayDevice* device) const;
  // EnumDisplaySettingsW: the current mode.
  Status GetDisplayMode(size_t display, platform::DisplayMode* mode) const;
  // ChangeDisplaySettingsExW: logs the call and returns the display's
  // change_result (DISP_CHANGE_BADPARAM for an unknown device), or `result`
  // when given. Only on DISP_CHANGE_SUCCESSFUL are the marked fields of
  // `mode` applied.
  int32_t ChangeDisplayMode(std::u16string_view device, const platform::DisplayMode& mode, uint32_t flags,
                            std::optional<int32_t> result = std::nullopt);
  // SendMessageTimeoutW's system command broadcast and Sleep: logged only.
  void Broadcast(uintptr_t command, intptr_t parameter);
  void Sleep(uint32_t milliseconds);
  bool IsUserAdmin() const { return state_.admin; }

  // GetNumberOfPhysicalMonitorsFromHMONITOR.
  Status GetPhysicalMonitorCount(size_t display, uint32_t* count) const;
  // GetPhysicalMonitorsFromHMONITOR: `count` must be the display's number of
  // physical monitors. Each call hands out new handles.
  Status GetPhysicalMonitors(size_t display, uint32_t count, platform::PhysicalMonitor* monitors);
  // Destroys one handle (DestroyPhysicalMonitors destroys each of its array).
  Status DestroyPhysicalMonitor(platform::PhysicalMonitorHandle handle);

  Status GetCapabilities(platform::PhysicalMonitorHandle handle, uint32_t* capabilities,
                         uint32_t* color_temperatures) const;
  Status GetLevels(platform::PhysicalMonitorHandle handle, Setting setting, Levels* levels) const;
  // Brightness and contrast only; the level is taken as it is.
  Status SetLevel(platform::PhysicalMonitorHandle handle, Setting setting, uint32_t level);
  Status GetTechnology(platform::PhysicalMonitorHandle handle, int32_t* technology) const;
  Status SaveSettings(platform::PhysicalMonitorHandle handle);
  // GetVCPFeatureAndVCPFeatureReply and SetVCPFeature: codes 0x10 and 0x12
  // are the brightness and contrast, the others the monitor's `vcp`.
  Status GetVcp(platform::PhysicalMonitorHandle handle, uint8_t code, VcpFeature* feature) const;
  Status SetVcp(platform::PhysicalMonitorHandle handle, uint8_t code, uint32_t value);
  // The capabilities string, for `call` (its length or its reply).
  Status GetCapabilitiesString(platform::PhysicalMonitorHandle handle, Call call, std::string_view* text) const;

  // The error with which the entry of `fail` for `call` fails this call of
  // it on `display` (and its monitor `index`), if it does; counts the call.
  std::optional<uint32_t> ScenarioFailure(const FailMap& fail, Call call, size_t display,
                                          std::optional<size_t> index) const;

  // OPMGetVideoOutputsFromHMONITOR: one output per entry of the display's
  // `opm` list, each holding one reference, made by the simulated driver;
  // a null entry for the fault "null_output".
  platform::HRESULT GetOpmOutputs(size_t display, std::vector<platform::OpmVideoOutput*>* outputs);

 private:
  struct Location {
    size_t display;
    size_t index;
  };

  // The error with which `call` fails on a display, if any: its fail entry
  // or a test's failure (faults.h). `index`: the display's monitor that the
  // call asks about, for the call record.
  std::optional<Status> DisplayFailure(size_t display, Call call,
                                       std::optional<size_t> index = std::nullopt) const;
  // With ddc_timing: waits for the bus of the handle's monitor, then holds
  // it for the protocol time of `call`; the returned lock keeps holding it.
  // Nothing for a handle that is not valid. Must not be called under the
  // simulator's lock.
  std::unique_lock<std::mutex> TakeBus(platform::PhysicalMonitorHandle handle, Call call) const;
  // Resolves a handle and applies the monitor's fail entry for `call`.
  Status Resolve(platform::PhysicalMonitorHandle handle, Call call, Location* location) const;
  const PhysicalMonitorConfig& Monitor(Location location) const;
  std::string Name(Location location) const;

  // Operations call each other, so the lock may be taken again.
  mutable std::recursive_mutex mutex_;
  // One bus per physical monitor, by display.
  mutable std::vector<std::vector<std::mutex>> buses_;
  Scenario state_;
  std::shared_ptr<CallLog> log_;
  std::shared_ptr<size_t> live_outputs_;
  std::map<uintptr_t, Location> handles_;
  // The first display of each device name, letters in lower case; device
  // names and the primary flag never change.
  std::unordered_map<std::u16string, size_t> displays_by_device_;
  std::optional<size_t> primary_;
  // The failures made so far by the fail entries that fail a number of times.
  mutable std::map<std::tuple<size_t, std::optional<size_t>, Call>, uint32_t> failures_;
};

// The simulator that the platform functions act on. Current() installs the
// built-in demo scenario when nothing has been installed.
Simulator& Current();
void Install(std::unique_ptr<Simulator> simulator);

// Parses `json` and installs a simulator for it; on failure returns false
// with ParseScenario's error and leaves the current simulator in place.
bool InstallScenarioText(std::string_view json, std::string* error, std::string log_path = {});

}  // namespace monctl::sim
