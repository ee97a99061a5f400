// The running simulated display stack: the state of a scenario as calls
// change it, and the physical monitor handles and OPM outputs handed out.
// Portable C++ with no system calls, so that both the native backend
// (display.cc, opm.cc) and a Windows build can serve from it.
//
// Every operation that stands for a platform call returns a Status: success,
// or failure with the last-error value that the caller hands to its
// platform's SetLastError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/display.h"
#include "platform/opm.h"
#include "platform/sim/call_log.h"
#include "platform/sim/scenario.h"

namespace monctl::sim {

// ERROR_GRAPHICS_INVALID_PHYSICAL_MONITOR_HANDLE: a physical monitor handle
// that was never handed out or has been destroyed.
constexpr uint32_t kErrorInvalidPhysicalMonitorHandle = 0xC026258Cu;
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

// One call that a test may make fail (see Simulator::FailCall): the
// functions that a scenario's `fail` maps name, OPMGetVideoOutputsFromHMONITOR
// and the three calls of an OPM video output, and with a call gate the
// rest of the native platform layer's calls that can fail
// (Simulator::GateCall).
struct CallRecord {
  // e.g. "GetMonitorBrightness", "IOPMVideoOutput::GetInformation"; the
  // names are the callers' string literals.
  std::string_view function;
  // The display monitor, by index; for EnumDisplayDevicesW without a device
  // name, the display that the enumeration index stands for.
  size_t display = 0;
  // The physical monitor or OPM output, or for EnumDisplayDevicesW with a
  // device name the monitor index asked for; none for the other calls on a
  // display.
  std::optional<size_t> index;
  bool failed = false;           // failed by the scenario or by FailCall
};

// The record of those calls and the one failure a test has asked for.
class CallRecorder {
 public:
  void FailCall(size_t ordinal, uint32_t error) {
    ordinal_ = ordinal;
    error_ = error;
  }
  // Records one call. `scenario_fails`: the scenario makes it fail anyway.
  // True when this is the call that FailCall chose.
  bool Record(std::string_view function, size_t display, std::optional<size_t> index,
              bool scenario_fails);
  // Records a call seen through a test's call gate (Simulator::GateCall),
  // on the display of the call recorded before it. Returns the error to
  // fail it with, or 0.
  uint32_t RecordGated(std::string_view function);
  // While suspended, gated calls are neither recorded nor failed: the
  // simulated driver's own use of the platform is not the caller's.
  void Suspend() { ++suspended_; }
  void Resume() { --suspended_; }
  uint32_t error() const { return error_; }
  const std::vector<CallRecord>& calls() const { return calls_; }
  size_t succeeding_calls() const { return succeeding_; }

 private:
  std::vector<CallRecord> calls_;
  size_t succeeding_ = 0;  // calls recorded that the scenario lets succeed
  size_t ordinal_ = 0;     // 0: no failure asked for
  uint32_t error_ = 0;
  size_t suspended_ = 0;
  size_t last_display_ = 0;
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
  const Scenario& state() const { return state_; }
  const CallLog& call_log() const { return *log_; }
  // Physical monitor handles handed out and not yet destroyed.
  size_t live_physical_monitors() const { return handles_.size(); }
  // OPM video outputs handed out whose last reference is not yet released.
  size_t live_opm_outputs() const { return *live_outputs_; }

  // Fault injection for tests. The calls that a scenario's `fail` maps can
  // name, OPMGetVideoOutputsFromHMONITOR and StartInitialization,
  // FinishInitialization and GetInformation of the OPM outputs are recorded
  // in the order they reach the stack (calls on an unknown handle are not).
  // FailCall(n, error) makes the n-th of them (from 1) among those that the
  // scenario lets succeed fail as a `fail` entry would: with `error` as the
  // last error, or HRESULT_FROM_WIN32(error) for the OPM calls. Counting the
  // calls of an undisturbed run, then failing each in turn, fails every
  // call of the run once.
  void FailCall(size_t ordinal, uint32_t error) { recorder_->FailCall(ordinal, error); }
  // The other calls of a run (EnumDisplayMonitors, DestroyPhysicalMonitors,
  // ChangeDisplaySettingsExW, SendMessageTimeoutW, CoTaskMemAlloc, the
  // cryptography functions and the console and system services of the
  // native layer) are counted too when a test installs a call gate of the
  // native platform layer that calls GateCall: the function returns the
  // error to fail the call with, or 0 to run it. Calls that the simulated
  // driver makes are not counted.
  uint32_t GateCall(std::string_view function) { return recorder_->RecordGated(function); }
  const std::vector<CallRecord>& recorded_calls() const { return recorder_->calls(); }
  size_t succeeding_calls() const { return recorder_->succeeding_calls(); }

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

  // OPMGetVideoOutputsFromHMONITOR: one output per entry of the display's
  // `opm` list, each holding one reference, made by the simulated driver.
  platform::HRESULT GetOpmOutputs(size_t display, std::vector<platform::OpmVideoOutput*>* outputs);

 private:
  struct Location {
    size_t display;
    size_t index;
  };

  // The error with which `function` fails on a display, if any. `index`:
  // the display's monitor that the call asks about, for the call record.
  std::optional<Status> DisplayFailure(size_t display, std::string_view function,
                                       std::optional<size_t> index = std::nullopt) const;
  // Resolves a handle and applies the monitor's fail entry for `function`.
  Status Resolve(platform::PhysicalMonitorHandle handle, std::string_view function, Location* location) const;
  const PhysicalMonitorConfig& Monitor(Location location) const;
  std::string Name(Location location) const;

  Scenario state_;
  std::shared_ptr<CallLog> log_;
  std::shared_ptr<size_t> live_outputs_;
  std::shared_ptr<CallRecorder> recorder_;
  std::map<uintptr_t, Location> handles_;
};

// The simulator that the platform functions act on. Current() installs the
// built-in demo scenario when nothing has been installed.
Simulator& Current();
void Install(std::unique_ptr<Simulator> simulator);

// Parses `json` and installs a simulator for it; on failure returns false
// with ParseScenario's error and leaves the current simulator in place.
bool InstallScenarioText(std::string_view json, std::string* error, std::string log_path = {});

}  // namespace monctl::sim
