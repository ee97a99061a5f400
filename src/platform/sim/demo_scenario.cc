// The display stack that monctl-sim shows when no scenario file is named:
// a primary display on DisplayPort with a fully featured monitor, and a
// second display that mirrors to two monitors, one with only brightness and
// contrast over DDC/CI.
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
          "technology": 2
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
          "technology": 2
        },
        {
          "description": "HP E24 G4 FHD Monitor",
          "capabilities": 15,
          "color_temperatures": 36,
          "brightness": [0, 90, 100],
          "contrast": [0, 80, 100],
          "technology": 2
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
