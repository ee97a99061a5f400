// The window manager and monitor configuration functions served by the
// simulated display stack: monctl-sim's, and under Wine those that the
// test-only dxva2.dll exports (sim/dxva2/), each on its own HMONITOR
// values (MonitorHandleOf and DisplayOf of backend.h).
#include "platform/display.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "platform/sim/backend.h"
#include "platform/sim/faults.h"
#include "platform/sim/simulator.h"
#include "platform/system.h"

namespace monctl::platform {
namespace {

using sim::Current;
using sim::DisplayOf;
using sim::Levels;
using sim::Setting;

constexpr uint32_t kEnumRegistrySettings = 0xFFFFFFFEu;

// Hands a simulator result to the caller the platform's way.
bool Result(sim::Status status) {
  if (!status.ok) SetLastError(status.error);
  return status.ok;
}

bool Fail(uint32_t error) { return Result(sim::Status::Failure(error)); }

bool Intersect(const Rect& a, const Rect& b) {
  return std::max(a.left, b.left) < std::min(a.right, b.right) &&
         std::max(a.top, b.top) < std::min(a.bottom, b.bottom);
}

bool GetLevels(PhysicalMonitorHandle monitor, Setting setting, uint32_t* minimum, uint32_t* current,
               uint32_t* maximum) {
  if (minimum == nullptr || current == nullptr || maximum == nullptr) return Fail(kErrorInvalidParameter);
  Levels levels;
  if (!Result(Current().GetLevels(monitor, setting, &levels))) return false;
  *minimum = levels.minimum;
  *current = levels.current;
  *maximum = levels.maximum;
  return true;
}

}  // namespace

bool EnumDisplayMonitors(DeviceContext /*dc*/, const Rect* clip, MonitorEnumProc proc, intptr_t data) {
  if (proc == nullptr) return Fail(kErrorInvalidParameter);
  if (sim::InjectLastError(sim::Call::kEnumDisplayMonitors)) return false;
  for (size_t i = 0; i < Current().display_count(); ++i) {
    Rect rect = Current().state().displays[i].rect;
    if (clip != nullptr && !Intersect(rect, *clip)) continue;
    if (!proc(sim::MonitorHandleOf(i), nullptr, &rect, data)) break;
  }
  return true;
}

bool GetMonitorInfoW(MonitorHandle monitor, MonitorInfo* info) {
  if (info == nullptr) return Fail(kErrorInvalidParameter);
  const auto display = DisplayOf(monitor);
  if (!display) return Fail(sim::kErrorInvalidMonitorHandle);
  return Result(Current().GetMonitorInfoW(*display, info));
}

bool GetNumberOfPhysicalMonitorsFromHMONITOR(MonitorHandle monitor, uint32_t* count) {
  if (count == nullptr) return Fail(kErrorInvalidParameter);
  const auto display = DisplayOf(monitor);
  if (!display) return Fail(sim::kErrorInvalidMonitorHandle);
  return Result(Current().GetPhysicalMonitorCount(*display, count));
}

bool GetPhysicalMonitorsFromHMONITOR(MonitorHandle monitor, uint32_t count, PhysicalMonitor* monitors) {
  if (count != 0 && monitors == nullptr) return Fail(kErrorInvalidParameter);
  const auto display = DisplayOf(monitor);
  if (!display) return Fail(sim::kErrorInvalidMonitorHandle);
  return Result(Current().GetPhysicalMonitors(*display, count, monitors));
}

bool DestroyPhysicalMonitors(uint32_t count, PhysicalMonitor* monitors) {
  if (count != 0 && monitors == nullptr) return Fail(kErrorInvalidParameter);
  // Every handle of the array is destroyed; the first invalid one is reported.
  sim::Status status;
  for (uint32_t i = 0; i < count; ++i) {
    const sim::Status destroyed = Current().DestroyPhysicalMonitor(monitors[i].hPhysicalMonitor);
    if (status.ok) status = destroyed;
  }
  // A failure that a test asks for comes after the handles are gone: what
  // is tested is how the caller takes the result.
  if (const uint32_t error = sim::InjectedError(sim::Call::kDestroyPhysicalMonitors); error != 0 && status.ok) {
    status = sim::Status::Failure(error);
  }
  return Result(status);
}

bool EnumDisplayDevicesW(const char16_t* device, uint32_t index, DisplayDevice* display_device,
                         uint32_t /*flags*/) {
  if (display_device == nullptr) return Fail(kErrorInvalidParameter);
  if (device == nullptr || *device == u'\0') {
    if (index >= Current().display_count()) return Fail(kErrorNoMoreItems);
    return Result(Current().GetDisplayDevice(index, display_device));
  }
  const auto display = Current().FindDisplay(device);
  if (!display) return Fail(kErrorInvalidParameter);
  return Result(Current().GetMonitorDevice(*display, index, display_device));
}

bool GetMonitorCapabilities(PhysicalMonitorHandle monitor, uint32_t* capabilities,
                            uint32_t* color_temperatures) {
  if (capabilities == nullptr || color_temperatures == nullptr) return Fail(kErrorInvalidParameter);
  return Result(Current().GetCapabilities(monitor, capabilities, color_temperatures));
}

bool GetMonitorBrightness(PhysicalMonitorHandle monitor, uint32_t* minimum, uint32_t* current,
                          uint32_t* maximum) {
  return GetLevels(monitor, Setting::kBrightness, minimum, current, maximum);
}

bool SetMonitorBrightness(PhysicalMonitorHandle monitor, uint32_t level) {
  return Result(Current().SetLevel(monitor, Setting::kBrightness, level));
}

bool GetMonitorContrast(PhysicalMonitorHandle monitor, uint32_t* minimum, uint32_t* current,
                        uint32_t* maximum) {
  return GetLevels(monitor, Setting::kContrast, minimum, current, maximum);
}

bool SetMonitorContrast(PhysicalMonitorHandle monitor, uint32_t level) {
  return Result(Current().SetLevel(monitor, Setting::kContrast, level));
}

bool GetMonitorDisplayAreaSize(PhysicalMonitorHandle monitor, int32_t size_type, uint32_t* minimum,
                               uint32_t* current, uint32_t* maximum) {
  if (size_type != kMcWidth && size_type != kMcHeight) return Fail(kErrorInvalidParameter);
  return GetLevels(monitor, size_type == kMcWidth ? Setting::kWidth : Setting::kHeight, minimum, current,
                   maximum);
}

bool GetMonitorTechnologyType(PhysicalMonitorHandle monitor, int32_t* technology) {
  if (technology == nullptr) return Fail(kErrorInvalidParameter);
  return Result(Current().GetTechnology(monitor, technology));
}

bool SaveCurrentMonitorSettings(PhysicalMonitorHandle monitor) {
  return Result(Current().SaveSettings(monitor));
}

bool GetVCPFeatureAndVCPFeatureReply(PhysicalMonitorHandle monitor, uint8_t code, int32_t* type, uint32_t* current,
                                     uint32_t* maximum) {
  if (current == nullptr || maximum == nullptr) return Fail(kErrorInvalidParameter);
  sim::VcpFeature feature;
  if (!Result(Current().GetVcp(monitor, code, &feature))) return false;
  if (type != nullptr) *type = feature.momentary ? kMcMomentary : kMcSetParameter;
  *current = feature.current;
  *maximum = feature.maximum;
  return true;
}

bool SetVCPFeature(PhysicalMonitorHandle monitor, uint8_t code, uint32_t value) {
  return Result(Current().SetVcp(monitor, code, value));
}

bool GetCapabilitiesStringLength(PhysicalMonitorHandle monitor, uint32_t* length) {
  if (length == nullptr) return Fail(kErrorInvalidParameter);
  std::string_view text;
  if (!Result(Current().GetCapabilitiesString(monitor, sim::Call::kGetCapabilitiesStringLength, &text))) return false;
  *length = static_cast<uint32_t>(text.size() + 1);
  return true;
}

bool CapabilitiesRequestAndCapabilitiesReply(PhysicalMonitorHandle monitor, char* text, uint32_t length) {
  if (text == nullptr) return Fail(kErrorInvalidParameter);
  std::string_view string;
  if (!Result(Current().GetCapabilitiesString(monitor, sim::Call::kCapabilitiesRequestAndCapabilitiesReply, &string))) {
    return false;
  }
  if (length <= string.size()) return Fail(kErrorInvalidParameter);
  std::copy(string.begin(), string.end(), text);
  text[string.size()] = '\0';
  return true;
}

// Not while a test's fault plan is armed: it counts the calls of a run in
// order, and calls side by side have no order.
bool CanCallMonitorsSideBySide() { return !sim::FaultsArmed(); }

bool EnumDisplaySettingsW(const char16_t* device, uint32_t mode_number, DisplayMode* mode) {
  if (mode == nullptr) return Fail(kErrorInvalidParameter);
  const auto display = device == nullptr ? Current().PrimaryDisplay() : Current().FindDisplay(device);
  if (!display) return Fail(kErrorInvalidParameter);
  // The current mode is the only one: it is also mode 0 and the mode
  // stored in the registry.
  if (mode_number != kEnumCurrentSettings && mode_number != kEnumRegistrySettings && mode_number != 0) {
    return Fail(kErrorNoMoreItems);
  }
  return Result(Current().GetDisplayMode(*display, mode));
}

int32_t ChangeDisplaySettingsExW(const char16_t* device, DisplayMode* mode, uint32_t flags) {
  if (mode == nullptr) return kDispChangeBadParam;
  std::u16string name;
  if (device != nullptr) {
    name = device;
  } else if (const auto primary = Current().PrimaryDisplay()) {
    name = Current().state().displays[*primary].device;
  }
  // A test makes the change fail as a display whose change_result is
  // DISP_CHANGE_FAILED does.
  std::optional<int32_t> result;
  if (sim::InjectedError(sim::Call::kChangeDisplaySettingsExW) != 0) result = kDispChangeFailed;
  return Current().ChangeDisplayMode(name, *mode, flags, result);
}

intptr_t SendMessageTimeoutW(uintptr_t window, uint32_t message, uintptr_t wparam, intptr_t lparam,
                             uint32_t /*flags*/, uint32_t /*timeout_ms*/, uintptr_t* result) {
  // The simulated window manager carries out system commands broadcast to
  // all windows and nothing else.
  if (window != kHwndBroadcast || message != kWmSysCommand) {
    SetLastError(kErrorInvalidParameter);
    return 0;
  }
  if (sim::InjectLastError(sim::Call::kSendMessageTimeoutW)) return 0;
  Current().Broadcast(wparam, lparam);
  if (result != nullptr) *result = 0;
  return 1;
}

}  // namespace monctl::platform
