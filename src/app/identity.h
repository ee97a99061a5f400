// Which physical monitor is which: the display configuration's targets,
// paired in order with the physical monitors of each display device, and
// what their EDIDs say.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/edid.h"

namespace monctl {

class CEnumPhysicalMonitors;

struct MonitorIdentity {
  // From the EDID; without one, the manufacturer and product code that the
  // display configuration read from it, when it has them.
  std::optional<EdidIdentity> edid;
  // DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY; none without a target.
  std::optional<int32_t> output_technology;
};

class CDisplayTargets {
 public:
  // Reads the active paths and the names of their source and target. When
  // the paths or the name of a source cannot be read there are no targets;
  // a target whose name cannot be read has no EDID.
  void Load();
  // The identity of physical monitor `index` of the display device `device`:
  // it is paired with the `index`-th target of the paths from that device.
  MonitorIdentity Identify(std::u16string_view device, uint32_t index) const;

 private:
  struct Target {
    std::u16string source;  // \\.\DISPLAYn
    int32_t output_technology = 0;
    bool ids_valid = false;
    uint16_t manufacturer_id = 0;
    uint16_t product_code = 0;
    std::u16string device_path;
  };
  std::vector<Target> m_Targets;
};

// The serial number equals `text`, or the id does, or the model name
// contains it; letters without regard to case.
bool MatchesIdentity(const EdidIdentity& identity, std::u16string_view text);

// One pass over all physical monitors: the numbers of those that match.
std::vector<uint32_t> FindMonitors(CEnumPhysicalMonitors& monitors, std::u16string_view text);

}  // namespace monctl
