#include "platform/sim/scenario_loader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace monctl::sim {
namespace {

std::string ErrorOf(std::string_view json) {
  Scenario scenario;
  std::string error;
  EXPECT_FALSE(ParseScenario(json, &scenario, &error)) << json;
  return error;
}

Scenario Parse(std::string_view json) {
  Scenario scenario;
  std::string error;
  EXPECT_TRUE(ParseScenario(json, &scenario, &error)) << error;
  return scenario;
}

void ExpectMode(const platform::DisplayMode& mode, uint32_t fields, platform::Point position,
                uint32_t orientation, uint32_t bpp, uint32_t width, uint32_t height, uint32_t flags,
                uint32_t frequency) {
  EXPECT_EQ(mode.dmFields, fields);
  EXPECT_EQ(mode.dmPosition.x, position.x);
  EXPECT_EQ(mode.dmPosition.y, position.y);
  EXPECT_EQ(mode.dmDisplayOrientation, orientation);
  EXPECT_EQ(mode.dmBitsPerPel, bpp);
  EXPECT_EQ(mode.dmPelsWidth, width);
  EXPECT_EQ(mode.dmPelsHeight, height);
  EXPECT_EQ(mode.dmDisplayFlags, flags);
  EXPECT_EQ(mode.dmDisplayFrequency, frequency);
}

void ExpectRect(const platform::Rect& rect, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  EXPECT_EQ(rect.left, left);
  EXPECT_EQ(rect.top, top);
  EXPECT_EQ(rect.right, right);
  EXPECT_EQ(rect.bottom, bottom);
}

void ExpectLevels(const Levels& levels, uint32_t minimum, uint32_t current, uint32_t maximum) {
  EXPECT_EQ(levels.minimum, minimum);
  EXPECT_EQ(levels.current, current);
  EXPECT_EQ(levels.maximum, maximum);
}

// A scenario with one display whose physical monitor has `monitor` as its
// keys, to reach the monitor's schema.
std::string WithMonitor(std::string_view monitor) {
  return std::string(R"({"displays": [{"device": "D1", "physical": [)") + std::string(monitor) + "]}]}";
}

std::string WithDisplay(std::string_view keys) {
  return std::string(R"({"displays": [{"device": "D1", "physical": [])") + std::string(keys) + "}]}";
}

TEST(ScenarioLoaderTest, SchemaErrorsNameTheKeyPathAndTheProblem) {
  struct Case {
    std::string json;
    std::string error;
  };
  const std::vector<Case> cases = {
      // Shape of the document.
      {"[]", "top level: expected an object, got an array of 0 elements"},
      {"{}", "displays: missing (this key is required)"},
      {R"({"displays": [], "admn": true})", "admn: unknown key (expected one of: admin, displays)"},
      {R"({"admin": 1, "displays": []})", "admin: expected true or false, got 1"},
      {R"({"displays": {}})", "displays: expected an array of display monitors, got an object"},
      {R"({"displays": [5]})", "displays[0]: expected an object, got 5"},
      // Displays.
      {R"({"displays": [{"physical": []}]})", "displays[0].device: missing (this key is required)"},
      {R"({"displays": [{"device": "D1"}]})", "displays[0].physical: missing (this key is required)"},
      {R"({"displays": [{"device": "", "physical": []}]})", "displays[0].device: must not be empty"},
      {R"({"displays": [{"device": "\\\\.\\DISPLAY123456789012345678901", "physical": []}]})",
       "displays[0].device: too long: 32 UTF-16 units, at most 31 fit"},
      {WithDisplay(R"(, "primary": "yes")"), "displays[0].primary: expected true or false, got a string"},
      {WithDisplay(R"(, "rect": [0, 0, 1920])"),
       "displays[0].rect: expected an array of 4 signed 32-bit integers, got an array of 3 elements"},
      {WithDisplay(R"(, "rect": [0, 0, 2147483648, 1080])"),
       "displays[0].rect[2]: 2147483648 does not fit a signed 32-bit integer"},
      {WithDisplay(R"(, "change_result": -2147483649)"),
       "displays[0].change_result: -2147483649 does not fit a signed 32-bit integer"},
      {R"({"displays": [{"device": "D1", "physical": {}}]})",
       "displays[0].physical: expected an array of physical monitors, got an object"},
      {WithDisplay(R"(, "monitors": [])"),
       "displays[0].monitors: unknown key (expected one of: device, adapter, primary, rect, mode, "
       "change_result, "
       "physical, fail, opm)"},
      {WithDisplay(R"(, "fail": {"GetMonitorBrightness": 1})"),
       "displays[0].fail.GetMonitorBrightness: not a function that can fail here (expected one of: "
       "GetNumberOfPhysicalMonitorsFromHMONITOR, GetPhysicalMonitorsFromHMONITOR, GetMonitorInfoW, "
       "EnumDisplaySettingsW, EnumDisplayDevicesW)"},
      {WithDisplay(R"(, "fail": [])"),
       "displays[0].fail: expected an object from function names to error values, got an array of 0 "
       "elements"},
      // Modes.
      {WithDisplay(R"(, "mode": {"orientation": 4})"),
       "displays[0].mode.orientation: 4 is out of range (expected 0 to 3)"},
      {WithDisplay(R"(, "mode": {"width": -1})"),
       "displays[0].mode.width: expected an unsigned 32-bit integer, got -1"},
      {WithDisplay(R"(, "mode": {"position": [1]})"),
       "displays[0].mode.position: expected an array of 2 signed 32-bit integers, got an array of 1 element"},
      {WithDisplay(R"(, "mode": {"interlaced": 0})"),
       "displays[0].mode.interlaced: expected true or false, got 0"},
      {WithDisplay(R"(, "mode": {"fields": ["position", "size"]})"),
       "displays[0].mode.fields[1]: unknown field \"size\" (expected one of: position, orientation, "
       "bitsperpel, "
       "pelswidth, pelsheight, frequency, displayflags)"},
      {WithDisplay(R"(, "mode": {"fields": "position"})"),
       "displays[0].mode.fields: expected an array of field names, got a string"},
      {WithDisplay(R"(, "mode": {"refresh": 60})"),
       "displays[0].mode.refresh: unknown key (expected one of: width, height, bpp, frequency, orientation, "
       "position, interlaced, fields)"},
      {WithDisplay(R"(, "mode": {"width": 4294967295, "position": [2147483647, 0]})"),
       "displays[0].rect: missing, and the mode's position and size do not give one in 32 bits"},
      // Physical monitors.
      {WithMonitor(R"({"brightness": 5})"),
       "displays[0].physical[0].brightness: expected an array of 3 numbers [minimum, current, maximum], got "
       "5"},
      {WithMonitor(R"({"contrast": [0, 50]})"),
       "displays[0].physical[0].contrast: expected an array of 3 numbers [minimum, current, maximum], got an "
       "array of 2 "
       "elements"},
      {WithMonitor(R"({"width": [0, -1, 100]})"),
       "displays[0].physical[0].width[1]: expected an unsigned 32-bit integer, got -1"},
      {WithMonitor(R"({"height": [0, 50, 4294967296]})"),
       "displays[0].physical[0].height[2]: 4294967296 does not fit an unsigned 32-bit integer"},
      {WithMonitor(R"({"capabilities": 1.5})"),
       "displays[0].physical[0].capabilities: expected an unsigned 32-bit integer, got 1.5"},
      {WithMonitor(R"({"color_temperatures": null})"),
       "displays[0].physical[0].color_temperatures: expected an unsigned 32-bit integer, got null"},
      {WithMonitor(R"({"technology": 2147483648})"),
       "displays[0].physical[0].technology: 2147483648 does not fit a signed 32-bit integer"},
      {WithMonitor(R"({"description": 7})"), "displays[0].physical[0].description: expected a string, got 7"},
      {WithMonitor(R"({"brigthness": [0, 50, 100]})"),
       "displays[0].physical[0].brigthness: unknown key (expected one of: description, capabilities, "
       "color_temperatures, brightness, contrast, width, height, technology, fail)"},
      {WithMonitor(R"({"fail": {"GetMonitorBrightnes": 1}})"),
       "displays[0].physical[0].fail.GetMonitorBrightnes: not a function that can fail here (expected one "
       "of: "
       "GetMonitorCapabilities, GetMonitorBrightness, SetMonitorBrightness, GetMonitorContrast, "
       "SetMonitorContrast, "
       "GetMonitorDisplayAreaSize, GetMonitorTechnologyType, SaveCurrentMonitorSettings)"},
      {WithMonitor(R"({"fail": {"GetMonitorInfoW": 1}})"),
       "displays[0].physical[0].fail.GetMonitorInfoW: not a function that can fail here (expected one of: "
       "GetMonitorCapabilities, GetMonitorBrightness, SetMonitorBrightness, GetMonitorContrast, "
       "SetMonitorContrast, "
       "GetMonitorDisplayAreaSize, GetMonitorTechnologyType, SaveCurrentMonitorSettings)"},
      {WithMonitor(R"({"fail": {"SaveCurrentMonitorSettings": "0xC0262585"}})"),
       "displays[0].physical[0].fail.SaveCurrentMonitorSettings: expected an unsigned 32-bit integer, got a "
       "string"},
      // OPM outputs.
      {WithDisplay(R"(, "opm": {"connector": 5})"),
       "displays[0].opm: expected an array of OPM outputs, got an object"},
      {WithDisplay(R"(, "opm": [{"status_flags": 0}])"),
       "displays[0].opm[0].connector: missing (this key is required)"},
      {WithDisplay(R"(, "opm": [{"connector": 5}, {"connector": 5, "fault": "sometimes"}])"),
       "displays[0].opm[1].fault: unknown fault \"sometimes\""},
      {WithDisplay(R"(, "opm": [{"connector": 5, "fault": 1}])"),
       "displays[0].opm[0].fault: expected a fault name, got 1"},
      {WithDisplay(R"(, "opm": [{"connector": 5, "type": "HDMI"}])"),
       "displays[0].opm[0].type: unknown key (expected one of: connector, status_flags, fault)"},
      // Rules across displays.
      {R"({"displays": [{"device": "\\\\.\\DISPLAY1", "physical": []},
                        {"device": "\\\\.\\display1", "physical": []}]})",
       R"(displays[1].device: "\\.\display1" is already the device of displays[0])"},
      {R"({"displays": [{"device": "A", "primary": true, "physical": []},
                        {"device": "B", "physical": []},
                        {"device": "C", "primary": true, "physical": []}]})",
       "displays[2].primary: displays[0] is already the primary display"},
      // A key given twice would otherwise silently keep the last value.
      {WithMonitor(R"({"brightness": [0, 1, 2], "contrast": [0, 1, 2], "brightness": [0, 1, 2]})"),
       "displays[0].physical[0].brightness: duplicate key"},
      {R"({"displays": [], "admin": true, "admin": false})", "admin: duplicate key"},
      {R"({"displays": [{"device": "A", "physical": [{}, {}, {"fail": {"SetMonitorContrast": 1,
          "SetMonitorContrast": 2}}]}]})",
       "displays[0].physical[2].fail.SetMonitorContrast: duplicate key"},
  };
  for (const Case& test : cases) {
    EXPECT_EQ(ErrorOf(test.json), test.error) << test.json;
  }
}

TEST(ScenarioLoaderTest, InvalidJsonIsReportedWithItsPosition) {
  EXPECT_EQ(
      ErrorOf("{\"displays\": [}"),
      "invalid JSON: parse error at line 1, column 15: syntax error while parsing value - unexpected '}'; "
      "expected '[', '{', or a literal");
  EXPECT_EQ(
      ErrorOf(""),
      "invalid JSON: parse error at line 1, column 1: syntax error while parsing value - unexpected end of "
      "input; expected '[', '{', or a literal");
  EXPECT_EQ(ErrorOf("{\"displays\": []}\n{}").rfind("invalid JSON: parse error at line 2, column 1:", 0), 0u);
}

TEST(ScenarioLoaderTest, AFailedParseLeavesTheScenarioAlone) {
  Scenario scenario;
  scenario.admin = true;
  std::string error;
  EXPECT_FALSE(ParseScenario(R"({"admin": false})", &scenario, &error));
  EXPECT_TRUE(scenario.admin);
}

// Every driver fault that docs/simulator.md lists is a name the loader
// takes, each for a fault of its own.
TEST(ScenarioLoaderTest, TakesEveryDocumentedDriverFault) {
  std::ifstream file(MONCTL_DOCS_DIR "/simulator.md");
  ASSERT_TRUE(file) << MONCTL_DOCS_DIR "/simulator.md";
  std::string row;
  for (std::string line; std::getline(file, line);) {
    if (line.rfind("| `fault` |", 0) == 0) row = line;
  }
  ASSERT_FALSE(row.empty()) << "no row for `fault` in the documentation";
  const std::string names = row.substr(row.find("misbehaves:"));
  static const std::regex kName("`([a-z0-9_]+)`");
  std::set<OpmFault> faults;
  size_t count = 0;
  for (auto it = std::sregex_iterator(names.begin(), names.end(), kName); it != std::sregex_iterator(); ++it) {
    const std::string name = (*it)[1];
    SCOPED_TRACE(name);
    const Scenario scenario =
        Parse(R"({"displays": [{"device": "D", "physical": [], "opm": [{"connector": 5, "fault": ")" + name +
              R"("}]}]})");
    ASSERT_EQ(scenario.displays.size(), 1u);
    faults.insert((*scenario.displays[0].opm)[0].fault);
    ++count;
  }
  ASSERT_GT(count, 1u) << "no fault names found in: " << row;
  EXPECT_EQ(faults.size(), count);
  EXPECT_EQ(faults.count(OpmFault::kNone), 1u);
}

TEST(ScenarioLoaderTest, OptionalKeysTakeTheirDefaults) {
  const Scenario scenario = Parse(R"({"displays": [{"device": "\\\\.\\DISPLAY1", "physical": [{}]}]})");
  EXPECT_FALSE(scenario.admin);
  ASSERT_EQ(scenario.displays.size(), 1u);
  const DisplayConfig& display = scenario.displays[0];
  EXPECT_EQ(display.device, u"\\\\.\\DISPLAY1");
  EXPECT_EQ(display.adapter, u"Simulated Display Adapter");
  EXPECT_FALSE(display.primary);
  ExpectMode(display.mode, 0x007C00A0, {0, 0}, 0, 32, 1920, 1080, 0, 60);
  ExpectRect(display.rect, 0, 0, 1920, 1080);
  EXPECT_EQ(display.change_result, 0);
  EXPECT_TRUE(display.fail.empty());
  EXPECT_FALSE(display.opm.has_value());

  ASSERT_EQ(display.physical.size(), 1u);
  const PhysicalMonitorConfig& monitor = display.physical[0];
  EXPECT_EQ(monitor.description, u"Generic PnP Monitor");
  EXPECT_EQ(monitor.capabilities, 0x10Fu);
  EXPECT_EQ(monitor.color_temperatures, 0x24u);
  ExpectLevels(monitor.brightness, 0, 50, 100);
  ExpectLevels(monitor.contrast, 0, 50, 100);
  ExpectLevels(monitor.width, 0, 50, 100);
  ExpectLevels(monitor.height, 0, 50, 100);
  EXPECT_EQ(monitor.technology, 2);
  EXPECT_TRUE(monitor.fail.empty());
}

TEST(ScenarioLoaderTest, PartialModesAndOutputsFillTheRestWithDefaults) {
  const Scenario scenario = Parse(R"({"displays": [
      {"device": "A", "physical": [], "mode": {"width": 800, "height": 600, "position": [-800, 100]}},
      {"device": "B", "physical": [], "mode": {"fields": [], "interlaced": true}, "opm": []},
      {"device": "C", "physical": [], "mode": {"fields": ["orientation", "position", "orientation"]},
       "opm": [{"connector": 10}]}]})");
  ASSERT_EQ(scenario.displays.size(), 3u);
  // Without `rect`, the display lies where its mode puts it.
  ExpectMode(scenario.displays[0].mode, kAllModeFields, {-800, 100}, 0, 32, 800, 600, 0, 60);
  ExpectRect(scenario.displays[0].rect, -800, 100, 0, 700);
  ExpectMode(scenario.displays[1].mode, 0, {0, 0}, 0, 32, 1920, 1080, platform::kDmInterlaced, 60);
  ASSERT_TRUE(scenario.displays[1].opm.has_value());
  EXPECT_TRUE(scenario.displays[1].opm->empty());
  EXPECT_EQ(scenario.displays[2].mode.dmFields, platform::kDmDisplayOrientation | platform::kDmPosition);
  ASSERT_EQ(scenario.displays[2].opm->size(), 1u);
  EXPECT_EQ((*scenario.displays[2].opm)[0].connector, 10u);
  EXPECT_EQ((*scenario.displays[2].opm)[0].status_flags, 0u);
  EXPECT_EQ((*scenario.displays[2].opm)[0].fault, OpmFault::kNone);
}

TEST(ScenarioLoaderTest, EveryKeyIsRead) {
  const Scenario scenario = Parse(R"({
    "admin": true,
    "displays": [{
      "device": "\\\\.\\DISPLAY7",
      "adapter": "Adaptateur d’affichage",
      "primary": true,
      "rect": [-1080, -200, 0, 1720],
      "mode": {"width": 1080, "height": 1920, "bpp": 16, "frequency": 75, "orientation": 3,
               "position": [-1080, -200], "interlaced": true, "fields": ["pelswidth", "pelsheight", "displayflags",
               "bitsperpel", "frequency"]},
      "change_result": -2,
      "fail": {"EnumDisplaySettingsW": 87, "GetMonitorInfoW": 4294967295},
      "physical": [{
        "description": "Écran 27″ 𝄞",
        "capabilities": 4294967295,
        "color_temperatures": 132,
        "brightness": [100, 0, 10],
        "contrast": [1, 2, 3],
        "width": [4, 5, 6],
        "height": [7, 8, 9],
        "technology": -1,
        "fail": {"GetMonitorBrightness": 3223725445, "SaveCurrentMonitorSettings": 0}
      }],
      "opm": [{"connector": 2147483653, "status_flags": 4, "fault": "bad_tag"}]
    }]})");
  EXPECT_TRUE(scenario.admin);
  ASSERT_EQ(scenario.displays.size(), 1u);
  const DisplayConfig& display = scenario.displays[0];
  EXPECT_EQ(display.device, u"\\\\.\\DISPLAY7");
  EXPECT_EQ(display.adapter, u"Adaptateur d\u2019affichage");
  EXPECT_TRUE(display.primary);
  ExpectRect(display.rect, -1080, -200, 0, 1720);
  ExpectMode(display.mode, 0x007C0000, {-1080, -200}, 3, 16, 1080, 1920, platform::kDmInterlaced, 75);
  EXPECT_EQ(display.change_result, platform::kDispChangeBadMode);
  EXPECT_EQ(display.fail, (FailMap{{Call::kEnumDisplaySettingsW, 87}, {Call::kGetMonitorInfoW, 0xFFFFFFFF}}));

  ASSERT_EQ(display.physical.size(), 1u);
  const PhysicalMonitorConfig& monitor = display.physical[0];
  EXPECT_EQ(monitor.description, u"\u00C9cran 27\u2033 \U0001D11E");
  EXPECT_EQ(monitor.capabilities, 0xFFFFFFFFu);
  EXPECT_EQ(monitor.color_temperatures, 0x84u);
  ExpectLevels(monitor.brightness, 100, 0, 10);
  ExpectLevels(monitor.contrast, 1, 2, 3);
  ExpectLevels(monitor.width, 4, 5, 6);
  ExpectLevels(monitor.height, 7, 8, 9);
  EXPECT_EQ(monitor.technology, -1);
  EXPECT_EQ(monitor.fail,
            (FailMap{{Call::kGetMonitorBrightness, 0xC0262585}, {Call::kSaveCurrentMonitorSettings, 0}}));

  ASSERT_TRUE(display.opm.has_value());
  ASSERT_EQ(display.opm->size(), 1u);
  EXPECT_EQ((*display.opm)[0].connector, 0x80000005u);
  EXPECT_EQ((*display.opm)[0].status_flags, 4u);
  EXPECT_EQ((*display.opm)[0].fault, OpmFault::kBadTag);
}

TEST(ScenarioLoaderTest, TextLengthsAreCountedInUtf16Units) {
  // 63 characters outside the basic plane are 126 units and fit the
  // 127 units of a description; one more does not.
  std::string description;
  for (int i = 0; i < 63; ++i) description += "\xF0\x9D\x84\x9E";
  const Scenario scenario = Parse(WithMonitor(R"({"description": ")" + description + "\"}"));
  EXPECT_EQ(scenario.displays[0].physical[0].description.size(), 126u);
  EXPECT_EQ(ErrorOf(WithMonitor(R"({"description": ")" + description + "\xF0\x9D\x84\x9E\"}")),
            "displays[0].physical[0].description: too long: 128 UTF-16 units, at most 127 fit");
}

TEST(ScenarioLoaderTest, TheDemoScenarioLoadsAndShowsEveryKindOfMonitor) {
  Scenario demo;
  std::string error;
  ASSERT_TRUE(ParseScenario(DemoScenarioText(), &demo, &error)) << error;
  ASSERT_GE(demo.displays.size(), 2u);
  size_t primaries = 0;
  bool two_monitors = false, full = false, partial = false, hdmi = false, displayport = false;
  for (const DisplayConfig& display : demo.displays) {
    primaries += display.primary;
    two_monitors |= display.physical.size() >= 2;
    for (const PhysicalMonitorConfig& monitor : display.physical) {
      full |= (monitor.capabilities & 0x10F) == 0x10F;
      partial |= (monitor.capabilities & 0x10F) != 0x10F;
    }
    ASSERT_TRUE(display.opm.has_value());
    for (const OpmOutputConfig& output : *display.opm) {
      hdmi |= (output.connector & 0xFFFF) == 5;
      displayport |= (output.connector & 0xFFFF) == 10;
    }
  }
  EXPECT_EQ(primaries, 1u);
  EXPECT_TRUE(two_monitors);
  EXPECT_TRUE(full);
  EXPECT_TRUE(partial);
  EXPECT_TRUE(hdmi);
  EXPECT_TRUE(displayport);
  EXPECT_EQ(DemoScenario().displays.size(), demo.displays.size());
}

class ScenarioFileTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/monctl-sim-scenario-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
  }
  void TearDown() override {
    std::remove((directory_ + "/scenario.json").c_str());
    rmdir(directory_.c_str());
  }

  std::string Write(const std::string& text) {
    const std::string path = directory_ + "/scenario.json";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    return path;
  }

  std::string directory_;
};

TEST_F(ScenarioFileTest, ReadsTheFile) {
  Scenario scenario;
  std::string error;
  ASSERT_TRUE(LoadScenarioFile(Write(R"({"admin": true, "displays": []})"), &scenario, &error)) << error;
  EXPECT_TRUE(scenario.admin);
}

TEST_F(ScenarioFileTest, ReportsWhyTheFileCannotBeRead) {
  Scenario scenario;
  std::string error;
  EXPECT_FALSE(LoadScenarioFile(directory_ + "/missing.json", &scenario, &error));
  EXPECT_EQ(error, "cannot read the file: No such file or directory");
  EXPECT_FALSE(LoadScenarioFile(directory_, &scenario, &error));
  EXPECT_EQ(error, "cannot read the file: Is a directory");
}

TEST_F(ScenarioFileTest, ReportsTheContentsProblem) {
  Scenario scenario;
  std::string error;
  EXPECT_FALSE(LoadScenarioFile(Write(R"({"displays": [{"device": 1}]})"), &scenario, &error));
  EXPECT_EQ(error, "displays[0].device: expected a string, got 1");
}

}  // namespace
}  // namespace monctl::sim
