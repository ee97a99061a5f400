// The monitor listing as one JSON document, for scripts: each physical
// monitor with its identity, its display settings and, with /properties,
// what the properties report shows. A value that cannot be read leaves its
// key out.
#include <nlohmann/json.hpp>

#include "app/ddc.h"
#include "app/identity.h"
#include "app/physical_monitor.h"
#include "app/steps.h"
#include "framework/output/message_writer.h"
#include "platform/display_config.h"
#include "platform/opm.h"
#include "platform/text.h"

namespace monctl {
namespace {

using Json = nlohmann::ordered_json;

struct JsonPass {
  CEnumPhysicalMonitors* monitors;
  CDisplayTargets targets;
  bool properties;
  Json list = Json::array();
};

std::string Text(std::u16string_view text) { return Utf16ToUtf8(text); }

Json Range(uint32_t minimum, uint32_t current, uint32_t maximum) {
  return Json{{"minimum", minimum}, {"current", current}, {"maximum", maximum}};
}

// The output technology by the connector names where the values agree.
const char16_t* OutputName(int32_t technology) {
  if (technology == platform::kOutputTechnologyOther) return u"Other";
  if (technology == platform::kOutputTechnologyInternal) return u"Internal";
  if (technology < 0 || technology > 15) return nullptr;
  return ConnectorName(static_cast<uint32_t>(technology));
}

void AddIdentity(Json& monitor, const MonitorIdentity& identity) {
  if (identity.edid) {
    const EdidIdentity& edid = *identity.edid;
    if (!edid.model.empty()) monitor["model"] = Text(edid.model);
    monitor["manufacturer"] = Text(edid.manufacturer);
    monitor["product_code"] = edid.product_code;
    monitor["id"] = Text(edid.Id());
    if (!edid.serial.empty()) monitor["serial"] = Text(edid.serial);
    if (edid.year != 0) monitor["year"] = edid.year;
    if (edid.week != 0) monitor["week"] = edid.week;
    if (edid.width_cm != 0) monitor["image_size_cm"] = {edid.width_cm, edid.height_cm};
  }
  if (identity.output_technology) {
    if (const char16_t* name = OutputName(*identity.output_technology)) monitor["output"] = Text(name);
  }
}

void AddMode(Json& monitor, const platform::DisplayMode& mode) {
  const uint32_t fields = mode.dmFields;
  if ((fields & platform::kDmPosition) != 0) monitor["position"] = {mode.dmPosition.x, mode.dmPosition.y};
  if ((fields & platform::kDmPelsWidth) != 0 && (fields & platform::kDmPelsHeight) != 0) {
    monitor["resolution"] = {mode.dmPelsWidth, mode.dmPelsHeight};
  }
  if ((fields & platform::kDmBitsPerPel) != 0) monitor["bits_per_pixel"] = mode.dmBitsPerPel;
  if ((fields & platform::kDmDisplayFrequency) != 0) monitor["frequency"] = mode.dmDisplayFrequency;
  if ((fields & platform::kDmDisplayOrientation) != 0) {
    monitor["orientation"] = OrientationDegrees(mode.dmDisplayOrientation);
  }
  if ((fields & platform::kDmDisplayFlags) != 0) {
    monitor["interlaced"] = (mode.dmDisplayFlags & platform::kDmInterlaced) != 0;
  }
}

// The rows of the properties report that query the monitor, with the same
// calls under the same conditions.
void AddProperties(Json& monitor, platform::PhysicalMonitorHandle handle, opm::COpmSession& opm, uint32_t index) {
  uint32_t capabilities = 0;
  uint32_t temperatures = 0;
  if (!Retried(platform::GetMonitorCapabilities, handle, &capabilities, &temperatures)) capabilities = temperatures = 0;
  uint32_t minimum = 0;
  uint32_t current = 0;
  uint32_t maximum = 0;
  if ((capabilities & platform::kMcCapsBrightness) != 0 &&
      Retried(platform::GetMonitorBrightness, handle, &minimum, &current, &maximum)) {
    monitor["brightness"] = Range(minimum, current, maximum);
  }
  if ((capabilities & platform::kMcCapsContrast) != 0 &&
      Retried(platform::GetMonitorContrast, handle, &minimum, &current, &maximum)) {
    monitor["contrast"] = Range(minimum, current, maximum);
  }
  if ((capabilities & platform::kMcCapsColorTemperature) != 0) {
    Json kelvins = Json::array();
    for (uint32_t bit = 0; bit < std::size(kColorTemperatureKelvins); ++bit) {
      if ((temperatures & (1u << bit)) != 0) kelvins.push_back(kColorTemperatureKelvins[bit]);
    }
    monitor["color_temperatures"] = std::move(kelvins);
  }
  if ((capabilities & platform::kMcCapsDisplayAreaSize) != 0) {
    Json area = Json::object();
    if (Retried(platform::GetMonitorDisplayAreaSize, handle, platform::kMcWidth, &minimum, &current, &maximum)) {
      area["width"] = Range(minimum, current, maximum);
    }
    if (Retried(platform::GetMonitorDisplayAreaSize, handle, platform::kMcHeight, &minimum, &current, &maximum)) {
      area["height"] = Range(minimum, current, maximum);
    }
    monitor["display_area"] = std::move(area);
  }
  int32_t technology = 0;
  if ((capabilities & platform::kMcCapsMonitorTechnologyType) != 0 &&
      Retried(platform::GetMonitorTechnologyType, handle, &technology)) {
    if (const char16_t* name = TechnologyName(technology)) monitor["technology"] = Text(name);
  }
  platform::OpmStandardInformation information = {};
  if (platform::Succeeded(opm.QueryConnectorType(index, &information))) {
    if (const char16_t* name = ConnectorName(information.ulInformation & 0xFFFF)) monitor["connector"] = Text(name);
  }
}

int JsonListProc(platform::MonitorHandle hMonitor, platform::DeviceContext, platform::Rect*, intptr_t object) {
  auto* pass = reinterpret_cast<JsonPass*>(object);
  CEnumPhysicalMonitors& monitors = *pass->monitors;
  if (!monitors.Attach(hMonitor)) return 1;
  const CPhysicalMonitor::CDisplayDeviceName* device = monitors.FindDisplayDevice(monitors.m_MonitorInfo.szDevice);
  for (uint32_t i = 0; i < monitors.m_nCount; ++i) {
    Json monitor;
    monitor["index"] = ++monitors.m_nCounter;
    monitor["description"] = Text(monitors.m_pMonitors[i].szPhysicalMonitorDescription);
    if (device != nullptr) monitor["adapter"] = Text(device->m_strString);
    monitor["display"] = Text(monitors.m_MonitorInfo.szDevice);
    monitor["primary"] = device != nullptr ? (device->m_dwStateFlags & platform::kDisplayDevicePrimaryDevice) != 0
                               : (monitors.m_MonitorInfo.dwFlags & platform::kMonitorInfoFPrimary) != 0;
    AddIdentity(monitor, pass->targets.Identify(monitors.m_MonitorInfo.szDevice, i));
    platform::DisplayMode mode = {};
    if (platform::EnumDisplaySettingsW(monitors.m_MonitorInfo.szDevice, platform::kEnumCurrentSettings, &mode)) {
      AddMode(monitor, mode);
    }
    if (pass->properties) AddProperties(monitor, monitors.m_pMonitors[i].hPhysicalMonitor, monitors.m_Opm, i);
    pass->list.push_back(std::move(monitor));
  }
  return 1;
}

}  // namespace

void CEnumPhysicalMonitors::ListJson(bool properties) {
  JsonPass pass{this, {}, properties};
  pass.targets.Load();
  m_nCounter = 0;
  platform::EnumDisplayMonitors(nullptr, nullptr, JsonListProc, reinterpret_cast<intptr_t>(&pass));
  const Json document = {{"monitors", std::move(pass.list)}};
  m_Writer.WriteText(Utf8ToUtf16(document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n"));
}

}  // namespace monctl
