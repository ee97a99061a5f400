// The display stack that monctl-sim shows when no scenario file is named:
// a primary display on DisplayPort with a fully featured monitor, and a
// second display that mirrors to two monitors, one with only brightness and
// contrast over DDC/CI. Each monitor has a display configuration target and
// an EDID: a DELL U2720Q (serial ABC123), an LG ULTRAGEAR with only the
// EDID's numeric serial, an HP E24 G4 without a week of manufacture.
#include <cstdio>
#include <cstdlib>

#include "platform/sim/scenario_loader.h"

namespace monctl::sim {
namespace {

constexpr std::string_view kDemoScenario = R"json({
  "admin": false,
  "displays": [
    {
      "device": "\\\\.\\DISPLAY1",
      "adapter": "NVIDIA GeForce RTX 3060",
      "primary": true,
      "rect": [0, 0, 2560, 1440],
      "mode": {
        "width": 2560, "height": 1440, "bpp": 32, "frequency": 144,
        "orientation": 0, "position": [0, 0], "interlaced": false
      },
      "physical": [
        {
          "description": "Generic PnP Monitor",
          "capabilities": 271,
          "color_temperatures": 63,
          "brightness": [0, 75, 100],
          "contrast": [0, 50, 100],
          "width": [0, 50, 100],
          "height": [0, 50, 100],
          "technology": 2,
          "output_technology": 10,
          "edid": "00FFFFFFFFFFFF0010ACB741000000000C1F0104003C2200000000000000000000000000000000000000000000000000000000000000565E00000000000000000000000000000000000000FF004142433132330A202020202020000000FC0044454C4C205532373230510A200000001000000000000000000000000000000003"
        }
      ],
      "opm": [ { "connector": 10 } ]
    },
    {
      "device": "\\\\.\\DISPLAY2",
      "adapter": "NVIDIA GeForce RTX 3060",
      "rect": [2560, 180, 4480, 1260],
      "mode": {
        "width": 1920, "height": 1080, "bpp": 32, "frequency": 60,
        "orientation": 0, "position": [2560, 180], "interlaced": false
      },
      "physical": [
        {
          "description": "Generic PnP Monitor",
          "capabilities": 6,
          "color_temperatures": 0,
          "brightness": [0, 40, 100],
          "contrast": [0, 70, 100],
          "technology": 2,
          "output_technology": 5,
          "edid": "00FFFFFFFFFFFF001E6D7F5B01010101001D010400351E00000000000000000000000000000000000000000000000000000000000000565E00000000000000000000000000000000000000FC004C4720554C545241474541520A00000010000000000000000000000000000000000010000000000000000000000000000000F4"
        },
        {
          "description": "HP E24 G4 FHD Monitor",
          "capabilities": 15,
          "color_temperatures": 36,
          "brightness": [0, 90, 100],
          "contrast": [0, 80, 100],
          "technology": 2,
          "output_technology": 4,
          "edid": "00FFFFFFFFFFFF00220E933300000000FF20010400351E00000000000000000000000000000000000000000000000000000000000000565E00000000000000000000000000000000000000FF00434E4B313233343536370A2020000000FC004850204532342047340A20202000000010000000000000000000000000000000E0"
        }
      ],
      "opm": [ { "connector": 5 }, { "connector": 4 } ]
    }
  ]
})json";

}  // namespace

std::string_view DemoScenarioText() { return kDemoScenario; }

Scenario DemoScenario() {
  Scenario scenario;
  std::string error;
  if (!ParseScenario(kDemoScenario, &scenario, &error)) {
    // Only a broken build gets here; the tests load the demo.
    std::fprintf(stderr, "monctl-sim: built-in demo scenario: %s\n", error.c_str());
    std::abort();
  }
  return scenario;
}

}  // namespace monctl::sim
