#include "app/identity.h"

#include <algorithm>

#include "app/physical_monitor.h"
#include "platform/display_config.h"
#include "platform/system.h"
#include "platform/text.h"

namespace monctl {
namespace {

// The largest EDID: 256 blocks of 128 bytes.
constexpr uint32_t kMaxEdidSize = 256 * 128;

bool ContainsNoCase(std::u16string_view text, std::u16string_view part) {
  return std::search(text.begin(), text.end(), part.begin(), part.end(), [](char16_t a, char16_t b) {
           return AsciiToLower(a) == AsciiToLower(b);
         }) != text.end();
}

struct MatchPass {
  CEnumPhysicalMonitors* monitors;
  CDisplayTargets targets;
  std::u16string_view text;
  std::vector<uint32_t> numbers;
};

int MatchProc(platform::MonitorHandle hMonitor, platform::DeviceContext, platform::Rect*, intptr_t object) {
  auto* pass = reinterpret_cast<MatchPass*>(object);
  CEnumPhysicalMonitors& monitors = *pass->monitors;
  if (!monitors.Attach(hMonitor)) return 1;
  for (uint32_t i = 0; i < monitors.m_nCount; ++i) {
    ++monitors.m_nCounter;
    const MonitorIdentity identity = pass->targets.Identify(monitors.m_MonitorInfo.szDevice, i);
    if (identity.edid && MatchesIdentity(*identity.edid, pass->text)) pass->numbers.push_back(monitors.m_nCounter);
  }
  return 1;
}

}  // namespace

void CDisplayTargets::Load() {
  m_Targets.clear();
  std::vector<platform::DisplayConfigPathInfo> paths;
  std::vector<platform::DisplayConfigModeInfo> modes;
  uint32_t path_count = 0;
  // The configuration may change between the two calls: then the sizes
  // are asked for again.
  for (int attempt = 0;; ++attempt) {
    uint32_t mode_count = 0;
    if (!platform::GetDisplayConfigBufferSizes(platform::kQdcOnlyActivePaths, &path_count, &mode_count)) return;
    paths.assign(std::max(path_count, 1u), {});
    modes.assign(std::max(mode_count, 1u), {});
    if (platform::QueryDisplayConfig(platform::kQdcOnlyActivePaths, &path_count, paths.data(), &mode_count,
                                     modes.data())) {
      break;
    }
    if (attempt == 2 || platform::GetLastError() != platform::kErrorInsufficientBuffer) return;
  }
  paths.resize(std::min<size_t>(path_count, paths.size()));

  for (const platform::DisplayConfigPathInfo& path : paths) {
    platform::DisplayConfigSourceDeviceName source = {};
    source.header = {platform::kDisplayConfigDeviceInfoGetSourceName, sizeof(source), path.sourceInfo.adapterId,
                     path.sourceInfo.id};
    // Without every source the pairing in order cannot be trusted.
    if (!platform::DisplayConfigGetDeviceInfo(&source.header)) {
      m_Targets.clear();
      return;
    }
    source.viewGdiDeviceName[std::size(source.viewGdiDeviceName) - 1] = u'\0';
    Target target;
    target.source = source.viewGdiDeviceName;
    target.output_technology = path.targetInfo.outputTechnology;

    platform::DisplayConfigTargetDeviceName name = {};
    name.header = {platform::kDisplayConfigDeviceInfoGetTargetName, sizeof(name), path.targetInfo.adapterId,
                   path.targetInfo.id};
    if (platform::DisplayConfigGetDeviceInfo(&name.header)) {
      name.monitorDevicePath[std::size(name.monitorDevicePath) - 1] = u'\0';
      target.output_technology = name.outputTechnology;
      target.ids_valid = (name.flags & platform::kDisplayConfigTargetEdidIdsValid) != 0;
      target.manufacturer_id = name.edidManufactureId;
      target.product_code = name.edidProductCodeId;
      target.device_path = name.monitorDevicePath;
    }
    m_Targets.push_back(std::move(target));
  }
}

MonitorIdentity CDisplayTargets::Identify(std::u16string_view device, uint32_t index) const {
  MonitorIdentity identity;
  uint32_t n = 0;
  const auto target = std::find_if(m_Targets.begin(), m_Targets.end(), [&](const Target& t) {
    return EqualNoCase(t.source, device) && n++ == index;
  });
  if (target == m_Targets.end()) return identity;
  identity.output_technology = target->output_technology;

  std::vector<uint8_t> edid(kMaxEdidSize);
  uint32_t size = 0;
  if (!target->device_path.empty() &&
      platform::GetMonitorEdid(target->device_path.c_str(), edid.data(), kMaxEdidSize, &size)) {
    EdidIdentity parsed;
    if (ParseEdid(std::span<const uint8_t>(edid.data(), std::min(size, kMaxEdidSize)), &parsed)) {
      identity.edid = std::move(parsed);
    }
  } else if (target->ids_valid) {
    // The display configuration gives the EDID's manufacturer word with its
    // bytes swapped.
    EdidIdentity ids;
    ids.manufacturer =
        ManufacturerLetters(static_cast<uint16_t>(target->manufacturer_id >> 8 | target->manufacturer_id << 8));
    ids.product_code = target->product_code;
    identity.edid = std::move(ids);
  }
  return identity;
}

bool MatchesIdentity(const EdidIdentity& identity, std::u16string_view text) {
  if (!identity.serial.empty() && EqualNoCase(identity.serial, text)) return true;
  if (!identity.manufacturer.empty() && EqualNoCase(identity.Id(), text)) return true;
  return !identity.model.empty() && ContainsNoCase(identity.model, text);
}

std::vector<uint32_t> FindMonitors(CEnumPhysicalMonitors& monitors, std::u16string_view text) {
  MatchPass pass{&monitors, {}, text, {}};
  pass.targets.Load();
  monitors.m_nCounter = 0;
  platform::EnumDisplayMonitors(nullptr, nullptr, MatchProc, reinterpret_cast<intptr_t>(&pass));
  return pass.numbers;
}

}  // namespace monctl
