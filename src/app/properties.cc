// The properties report of one physical monitor.
#include <cstdlib>
#include <mutex>

#include "app/ddc.h"
#include "app/physical_monitor.h"
#include "app/steps.h"
#include "framework/output/message_writer.h"
#include "platform/opm.h"
#include "platform/system.h"

namespace monctl {
namespace {

constexpr const char16_t* kTechnologies[] = {
    u"Shadow-mask cathode ray tube (CRT)",
    u"Aperture-grill cathode ray tube (CRT)",
    u"Thin-film transistor (TFT)",
    u"Liquid crystal on silicon (LCOS)",
    u"Plasma",
    u"Organic light emitting diode (OLED)",
    u"Electroluminescent",
    u"Microelectromechanical",
    u"Field emission device (FED)",
};

constexpr const char16_t* kConnectors[] = {
    u"Video Graphics Array (VGA)",
    u"S-Video",
    u"Composite video",
    u"Component video",
    u"Digital video interface (DVI)",
    u"High-definition multimedia interface (HDMI)",
    u"Low voltage differential signaling (LVDS)",
    u"Reserved",
    u"Japanese D",
    u"Serial Digital Image (SDI)",
    u"DisplayPort (DP)",
    u"Embedded DisplayPort (DP)",
    u"Unified Display Interface (UDI)",
    u"Embedded Unified Display Interface (UDI)",
    u"Reserved",
    u"Miracast",
};

constexpr const char16_t* kColorTemperatures[] = {
    u"4000K ", u"5000K ", u"6500K ", u"7500K ", u"8200K ", u"9300K ", u"10000K ", u"11500K",
};

}  // namespace

const char16_t* TechnologyName(int32_t technology) {
  return technology >= 0 && technology < static_cast<int32_t>(std::size(kTechnologies)) ? kTechnologies[technology]
                                                                                        : nullptr;
}

const char16_t* ConnectorName(uint32_t connector) {
  return connector < std::size(kConnectors) ? kConnectors[connector] : nullptr;
}

bool CPhysicalMonitor::ShowProperties(uint32_t index) {
  if (!ShowMonitorProperties(index)) return false;
  ShowConnectorType(index);
  return true;
}

bool CPhysicalMonitor::ShowMonitorProperties(uint32_t index) {
  CMessageWriter& out = m_Writer;
  const platform::PhysicalMonitor* record = GetMonitor(index);
  if (record == nullptr) return false;
  platform::PhysicalMonitorHandle handle = record->hPhysicalMonitor;

  platform::DisplayMode mode = {};
  if (!platform::EnumDisplaySettingsW(m_MonitorInfo.szDevice, platform::kEnumCurrentSettings, &mode)) {
    out.WriteError(u"could not get current display settings.");
    return false;
  }

  uint32_t capabilities = 0;
  uint32_t temperatures = 0;
  if (!Retried(platform::GetMonitorCapabilities, handle, &capabilities, &temperatures)) {
    out.WriteLastError(u"could not get monitor capabilities.");
    capabilities = 0;
    temperatures = 0;
  }

  uint32_t minimum = 0;
  uint32_t current = 0;
  uint32_t maximum = 0;
  if ((capabilities & platform::kMcCapsBrightness) != 0) {
    if (Retried(platform::GetMonitorBrightness, handle, &minimum, &current, &maximum)) {
      out.WriteLine(u"  %-17s: %lu (%lu-%lu)", u"Brightness", current, minimum, maximum);
    } else {
      out.WriteLastError(u"could not get brightness information.");
    }
  }
  if ((capabilities & platform::kMcCapsContrast) != 0) {
    if (Retried(platform::GetMonitorContrast, handle, &minimum, &current, &maximum)) {
      out.WriteLine(u"  %-17s: %lu (%lu-%lu)", u"Contrast", current, minimum, maximum);
    } else {
      out.WriteLastError(u"could not get contrast information.");
    }
  }
  if ((capabilities & platform::kMcCapsColorTemperature) != 0) {
    out.Write(u"  %-17s: ", u"Color Temperatures");
    if (temperatures == 0) {
      out.WriteLine(u"None");
    } else {
      for (uint32_t bit = 0; bit < 8; ++bit) {
        if ((temperatures & (1u << bit)) != 0) out.Write(u"%s", kColorTemperatures[bit]);
      }
      out.NewLine();
    }
  }
  if ((mode.dmFields & platform::kDmPosition) != 0) {
    out.WriteLine(u"  %-17s: %ld,%ld", u"Display Position", mode.dmPosition.x, mode.dmPosition.y);
  }
  const platform::Rect& rc = m_MonitorInfo.rcMonitor;
  auto extent = [](int32_t from, int32_t to) {
    return static_cast<uint32_t>(std::llabs(static_cast<int64_t>(to) - from));
  };
  out.WriteLine(u"  %-17s: %ld,%ld - %ld,%ld (%lu x %lu)", u"Display Area Size", rc.left, rc.top,
                rc.right, rc.bottom, extent(rc.left, rc.right), extent(rc.top, rc.bottom));
  if ((capabilities & platform::kMcCapsDisplayAreaSize) != 0) {
    if (Retried(platform::GetMonitorDisplayAreaSize, handle, platform::kMcWidth, &minimum, &current, &maximum)) {
      out.WriteLine(u"  %-17s: %lu (%lu-%lu)", u"Display Area Width", current, minimum, maximum);
    } else {
      out.WriteLastError(u"could not get display area width information.");
    }
    if (Retried(platform::GetMonitorDisplayAreaSize, handle, platform::kMcHeight, &minimum, &current, &maximum)) {
      out.WriteLine(u"  %-17s: %lu (%lu-%lu)", u"Display Area Height", current, minimum, maximum);
    } else {
      out.WriteLastError(u"could not get display area height information.");
    }
  }
  if ((mode.dmFields & platform::kDmBitsPerPel) != 0) {
    out.WriteLine(u"  %-17s: %lu", u"Bits per Pixel", mode.dmBitsPerPel);
  }
  if ((mode.dmFields & platform::kDmDisplayFrequency) != 0) {
    out.WriteLine(u"  %-17s: %luHz", u"Frequency", mode.dmDisplayFrequency);
  }
  if ((mode.dmFields & platform::kDmDisplayOrientation) != 0) {
    out.WriteLine(u"  %-17s: %lu°", u"Orientation",
                  static_cast<uint32_t>(OrientationDegrees(mode.dmDisplayOrientation)));
  }
  if ((mode.dmFields & platform::kDmDisplayFlags) != 0) {
    out.WriteLine(u"  %-17s: %s", u"Display Mode",
                  (mode.dmDisplayFlags & platform::kDmInterlaced) != 0 ? u"Interlaced" : u"Progressive");
  }
  if ((capabilities & platform::kMcCapsMonitorTechnologyType) != 0) {
    int32_t technology = 0;
    if (!Retried(platform::GetMonitorTechnologyType, handle, &technology)) {
      out.WriteLastError(u"could not get device technology.");
    } else if (const char16_t* name = TechnologyName(technology)) {
      out.WriteLine(u"  %-17s: %s", u"Technology", name);
    }
  }
  return true;
}

void CPhysicalMonitor::ShowConnectorType(uint32_t index) {
  platform::OpmStandardInformation information = {};
  // One output protection query at a time: the physical monitors of a
  // display monitor share its session, and the query costs little time.
  static std::mutex opm_query;
  std::unique_lock<std::mutex> opm_lock(opm_query);
  const platform::HRESULT queried = m_Opm.QueryConnectorType(index, &information);
  opm_lock.unlock();
  if (platform::Succeeded(queried)) {
    if (const char16_t* name = ConnectorName(information.ulInformation & 0xFFFF)) {
      m_Writer.WriteLine(u"  %-17s: %s", u"Connector Type", name);
    }
  }
  m_Writer.NewLine();
}

}  // namespace monctl
