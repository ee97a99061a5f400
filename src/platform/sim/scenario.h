// The simulated display stack as a scenario describes it: display monitors
// in enumeration order, their display devices and modes, their physical
// monitors and OPM video outputs, and the calls that are made to fail.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/display.h"
#include "platform/sim/driver/opm_driver.h"
#include "platform/sim/faults.h"
#include "platform/text.h"

namespace monctl::sim {

// A call that fails with the last-error value `error`: the first `times`
// times it is made (on its display or monitor), or every time.
struct FailEntry {
  static constexpr uint32_t kEveryTime = 0;
  uint32_t error = 0;
  uint32_t times = kEveryTime;
};

// The calls that fail (failable_calls.inc).
using FailMap = std::map<Call, FailEntry>;

// Minimum, current and maximum of a DDC/CI setting, in the order the
// monitor configuration functions return them. No order among the three
// is assumed: a monitor may report odd ranges.
struct Levels {
  uint32_t minimum = 0;
  uint32_t current = 0;
  uint32_t maximum = 0;
};

// A VCP feature besides brightness (0x10) and contrast (0x12), which are
// the monitor's `brightness` and `contrast`.
struct VcpFeature {
  uint32_t current = 0;
  uint32_t maximum = 0;
  bool momentary = false;
};

struct PhysicalMonitorConfig {
  std::u16string description = u"Generic PnP Monitor";
  uint32_t capabilities = platform::kMcCapsMonitorTechnologyType | platform::kMcCapsBrightness |
                          platform::kMcCapsContrast | platform::kMcCapsColorTemperature |
                          platform::kMcCapsDisplayAreaSize;
  uint32_t color_temperatures = 0x04 | 0x20;  // 6500K and 9300K
  Levels brightness{0, 50, 100};
  Levels contrast{0, 50, 100};
  Levels width{0, 50, 100};
  Levels height{0, 50, 100};
  int32_t technology = 2;  // thin-film transistor
  // The display configuration's target of this monitor, by its
  // DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY; absent: no target.
  std::optional<int32_t> output_technology;
  // The bytes of the registry's "EDID" value; absent: no value.
  std::optional<std::vector<uint8_t>> edid;
  std::map<uint8_t, VcpFeature> vcp;
  // The capabilities string the monitor sends; absent: it sends none.
  std::optional<std::string> capabilities_string;
  FailMap fail;
};

constexpr uint32_t kAllModeFields = platform::kDmPosition | platform::kDmDisplayOrientation |
                                    platform::kDmBitsPerPel | platform::kDmPelsWidth |
                                    platform::kDmPelsHeight | platform::kDmDisplayFlags |
                                    platform::kDmDisplayFrequency;

inline constexpr platform::DisplayMode kDefaultMode = {
    kAllModeFields, {0, 0}, platform::kDmdoDefault, 32, 1920, 1080, 0, 60};

struct DisplayConfig {
  std::u16string device;  // \\.\DISPLAYn
  std::u16string adapter = u"Simulated Display Adapter";
  bool primary = false;
  platform::Rect rect{0, 0, 1920, 1080};
  platform::DisplayMode mode = kDefaultMode;
  int32_t change_result = platform::kDispChangeSuccessful;
  std::vector<PhysicalMonitorConfig> physical;
  FailMap fail;
  // Absent: OPMGetVideoOutputsFromHMONITOR fails for this display.
  std::optional<std::vector<OpmOutputConfig>> opm;
};

// A device name as the window manager compares it: ASCII letters in lower
// case.
inline std::u16string DeviceKey(std::u16string_view device) {
  std::u16string key(device);
  for (char16_t& c : key) c = AsciiToLower(c);
  return key;
}

struct Scenario {
  bool admin = false;
  // Every DDC/CI call on a physical monitor takes its protocol time.
  bool ddc_timing = false;
  std::vector<DisplayConfig> displays;
};

}  // namespace monctl::sim
