// The display configuration and the EDIDs of the simulated display stack.
// Display i is source i of one adapter; each physical monitor with an
// output technology is the target of one active path, in display order and
// then monitor order, and its device path names it.
#include "platform/display_config.h"

#include <algorithm>
#include <optional>
#include <string>

#include "platform/sim/faults.h"
#include "platform/sim/simulator.h"
#include "platform/system.h"
#include "platform/text.h"

namespace monctl::platform {
namespace {

using sim::Call;
using sim::Current;

constexpr Luid kAdapter = {0x5349, 0};
constexpr uint32_t kErrorMoreData = 234;
constexpr uint32_t kErrorNoSuchDeviceInterface = 0xE000020Bu;

struct Location {
  size_t display;
  size_t index;
};

bool Fail(uint32_t error) {
  SetLastError(error);
  return false;
}

// A call of scope kRun that a test fails.
bool Injected(Call call) { return sim::InjectLastError(call); }

uint32_t TargetId(Location at) { return static_cast<uint32_t>(at.display << 16 | at.index); }

const sim::PhysicalMonitorConfig* MonitorAt(Location at) {
  const auto& displays = Current().state().displays;
  if (at.display >= displays.size() || at.index >= displays[at.display].physical.size()) return nullptr;
  return &displays[at.display].physical[at.index];
}

std::u16string DevicePath(Location at) {
  return Utf8ToUtf16("\\\\?\\DISPLAY#SIM0000#" + std::to_string(at.display) + "&" + std::to_string(at.index) +
                     "#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}");
}

// The monitors that are targets, in path order.
std::vector<Location> Targets() {
  std::vector<Location> targets;
  const auto& displays = Current().state().displays;
  for (size_t d = 0; d < displays.size(); ++d) {
    for (size_t i = 0; i < displays[d].physical.size(); ++i) {
      if (displays[d].physical[i].output_technology) targets.push_back({d, i});
    }
  }
  return targets;
}

template <size_t N>
void CopyText(char16_t (&to)[N], std::u16string_view text) {
  const size_t length = std::min(text.size(), N - 1);
  std::copy_n(text.begin(), length, to);
  to[length] = u'\0';
}

}  // namespace

bool GetDisplayConfigBufferSizes(uint32_t flags, uint32_t* path_count, uint32_t* mode_count) {
  if (path_count == nullptr || mode_count == nullptr || flags != kQdcOnlyActivePaths) {
    return Fail(kErrorInvalidParameter);
  }
  if (Injected(Call::kGetDisplayConfigBufferSizes)) return false;
  *path_count = static_cast<uint32_t>(Targets().size());
  *mode_count = 0;  // the modes are not simulated
  return true;
}

bool QueryDisplayConfig(uint32_t flags, uint32_t* path_count, DisplayConfigPathInfo* paths, uint32_t* mode_count,
                        DisplayConfigModeInfo* modes) {
  if (path_count == nullptr || mode_count == nullptr || paths == nullptr || modes == nullptr ||
      flags != kQdcOnlyActivePaths) {
    return Fail(kErrorInvalidParameter);
  }
  if (Injected(Call::kQueryDisplayConfig)) return false;
  const std::vector<Location> targets = Targets();
  if (targets.size() > *path_count) return Fail(kErrorInsufficientBuffer);
  for (size_t n = 0; n < targets.size(); ++n) {
    paths[n] = {};
    paths[n].sourceInfo = {kAdapter, static_cast<uint32_t>(targets[n].display), 0, 1};
    paths[n].targetInfo.adapterId = kAdapter;
    paths[n].targetInfo.id = TargetId(targets[n]);
    paths[n].targetInfo.outputTechnology = *MonitorAt(targets[n])->output_technology;
    paths[n].targetInfo.targetAvailable = 1;
    paths[n].flags = 1;  // DISPLAYCONFIG_PATH_ACTIVE
  }
  *path_count = static_cast<uint32_t>(targets.size());
  *mode_count = 0;
  return true;
}

bool DisplayConfigGetDeviceInfo(DisplayConfigDeviceInfoHeader* request) {
  if (request == nullptr) return Fail(kErrorInvalidParameter);
  if (Injected(Call::kDisplayConfigGetDeviceInfo)) return false;
  const bool adapter = request->adapterId.LowPart == kAdapter.LowPart && request->adapterId.HighPart == 0;
  const auto& displays = Current().state().displays;
  const uint32_t type = request->type;
  if (type == kDisplayConfigDeviceInfoGetSourceName && request->size == sizeof(DisplayConfigSourceDeviceName)) {
    if (!adapter || request->id >= displays.size()) return Fail(kErrorInvalidParameter);
    CopyText(reinterpret_cast<DisplayConfigSourceDeviceName*>(request)->viewGdiDeviceName,
             displays[request->id].device);
    return true;
  }
  if (type == kDisplayConfigDeviceInfoGetTargetName && request->size == sizeof(DisplayConfigTargetDeviceName)) {
    const Location at{request->id >> 16, request->id & 0xFFFF};
    const sim::PhysicalMonitorConfig* monitor = MonitorAt(at);
    if (!adapter || monitor == nullptr || !monitor->output_technology) return Fail(kErrorInvalidParameter);
    auto* name = reinterpret_cast<DisplayConfigTargetDeviceName*>(request);
    name->flags = 0;
    name->outputTechnology = *monitor->output_technology;
    name->edidManufactureId = name->edidProductCodeId = 0;
    // The ids are read from the EDID as it is, as the system does.
    if (monitor->edid && monitor->edid->size() >= 12) {
      const std::vector<uint8_t>& edid = *monitor->edid;
      name->flags = kDisplayConfigTargetEdidIdsValid;
      name->edidManufactureId = static_cast<uint16_t>(edid[8] | edid[9] << 8);
      name->edidProductCodeId = static_cast<uint16_t>(edid[10] | edid[11] << 8);
    }
    name->connectorInstance = 0;
    CopyText(name->monitorFriendlyDeviceName, u"");
    CopyText(name->monitorDevicePath, DevicePath(at));
    return true;
  }
  return Fail(kErrorInvalidParameter);
}

bool GetMonitorEdid(const char16_t* device_path, uint8_t* buffer, uint32_t buffer_size, uint32_t* size) {
  if (device_path == nullptr || size == nullptr || (buffer == nullptr && buffer_size != 0)) {
    return Fail(kErrorInvalidParameter);
  }
  for (const Location at : Targets()) {
    if (!EqualNoCase(DevicePath(at), device_path)) continue;
    const sim::PhysicalMonitorConfig& monitor = *MonitorAt(at);
    const auto scenario = sim::Current().ScenarioFailure(monitor.fail, Call::kGetMonitorEdid, at.display, at.index);
    if (const auto error = sim::InjectedFailure(Call::kGetMonitorEdid, at.display, at.index, scenario.has_value())) {
      return Fail(*error);
    }
    if (scenario) return Fail(*scenario);
    if (!monitor.edid) return Fail(kErrorFileNotFound);  // the key has no value "EDID"
    *size = static_cast<uint32_t>(monitor.edid->size());
    if (monitor.edid->size() > buffer_size) return Fail(kErrorMoreData);
    std::copy(monitor.edid->begin(), monitor.edid->end(), buffer);
    return true;
  }
  return Fail(kErrorNoSuchDeviceInterface);
}

}  // namespace monctl::platform
