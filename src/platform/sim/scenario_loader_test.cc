// A scenario that cannot be used: the loader's message for each kind of
// problem (how monctl-sim refuses it is an end-to-end case).
#include "platform/sim/scenario_loader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <string>

namespace monctl::sim {
namespace {

// A scenario whose one display has the further `keys`, or whose one
// physical monitor is `monitor`.
std::string WithDisplay(std::string_view keys) {
  return std::string(R"({"displays": [{"device": "D1", "physical": [])") + std::string(keys) + "}]}";
}
std::string WithMonitor(std::string_view monitor) {
  return std::string(R"({"displays": [{"device": "D1", "physical": [)") + std::string(monitor) + "]}]}";
}

TEST(ScenarioLoaderTest, EachProblemIsNamedWithItsKeyPath) {
  std::string clefs;  // 64 characters outside the basic plane: 128 UTF-16 units
  for (int i = 0; i < 64; ++i) clefs += "\xF0\x9D\x84\x9E";
  struct Case {
    std::string json;
    std::string error;
  } cases[] = {
      {"{\"displays\": [}", "invalid JSON: parse error at line 1, column 15: syntax error while parsing value - "
                            "unexpected '}'; expected '[', '{', or a literal"},
      // A number beyond a double is the JSON library's range error (found
      // by fuzzing, as were the control characters below).
      {"1e34294967295", "invalid JSON: number overflow parsing '1e34294967295'"},
      // The JSON library would stop at a NUL byte.
      {std::string("{\"displays\": []}\n") + '\0' + "trailing", "invalid JSON: parse error at line 2, column 1: NUL byte"},
      {"[]", "top level: expected an object, got an array of 0 elements"},
      {"{}", "displays: missing (this key is required)"},
      {R"({"displays": [], "a\nb\u0001": 1})", "a\\nb\\u0001: unknown key (expected one of: admin, ddc_timing, displays)"},
      {R"({"ddc_timing": "yes", "displays": []})", "ddc_timing: expected true or false, got a string"},
      {R"({"admin": 1, "displays": []})", "admin: expected true or false, got 1"},
      {R"({"displays": {}})", "displays: expected an array of display monitors, got an object"},
      {R"({"displays": [5]})", "displays[0]: expected an object, got 5"},
      {R"({"displays": [{"physical": []}]})", "displays[0].device: missing (this key is required)"},
      {R"({"displays": [{"device": "", "physical": []}]})", "displays[0].device: must not be empty"},
      {R"({"displays": [{"device": "A\u0000B", "physical": []}]})",
       "displays[0].device: must not contain a NUL character"},
      {WithMonitor(R"({"description": ")" + clefs + "\"}"),
       "displays[0].physical[0].description: too long: 128 UTF-16 units, at most 127 fit"},
      {WithDisplay(R"(, "rect": [0, 0, 2147483648, 1080])"),
       "displays[0].rect[2]: 2147483648 does not fit a signed 32-bit integer"},
      {WithDisplay(R"(, "change_result": -2147483649)"),
       "displays[0].change_result: -2147483649 does not fit a signed 32-bit integer"},
      {WithDisplay(R"(, "fail": [])"),
       "displays[0].fail: expected an object from function names to error values, got an array of 0 elements"},
      {WithDisplay(R"(, "mode": {"orientation": 4})"),
       "displays[0].mode.orientation: 4 is out of range (expected 0 to 3)"},
      {WithDisplay(R"(, "mode": {"width": -1})"), "displays[0].mode.width: expected an unsigned 32-bit integer, got -1"},
      {WithDisplay(R"(, "mode": {"position": [1]})"),
       "displays[0].mode.position: expected an array of 2 signed 32-bit integers, got an array of 1 element"},
      {WithDisplay(R"(, "mode": {"fields": ["position", "x\ty"]})"),
       "displays[0].mode.fields[1]: unknown field \"x\\ty\" (expected one of: position, orientation, bitsperpel, "
       "pelswidth, pelsheight, frequency, displayflags)"},
      {WithDisplay(R"(, "mode": {"fields": [1]})"), "displays[0].mode.fields[0]: expected a field name, got 1"},
      {WithDisplay(R"(, "mode": {"fields": "position"})"),
       "displays[0].mode.fields: expected an array of field names, got a string"},
      {WithDisplay(R"(, "mode": {"width": 4294967295, "position": [2147483647, 0]})"),
       "displays[0].rect: missing, and the mode's position and size do not give one in 32 bits"},
      {WithMonitor(R"({"brightness": {"min": 0, "cur": 5, "max": 9}})"),  // as many members as levels
       "displays[0].physical[0].brightness: expected an array of 3 numbers [minimum, current, maximum], got an object"},
      {WithMonitor(R"({"height": [0, 50, 4294967296]})"),
       "displays[0].physical[0].height[2]: 4294967296 does not fit an unsigned 32-bit integer"},
      {WithMonitor(R"({"technology": null})"),
       "displays[0].physical[0].technology: expected a signed 32-bit integer, got null"},
      {WithMonitor(R"({"description": 7})"), "displays[0].physical[0].description: expected a string, got 7"},
      {WithMonitor(R"({"edid": "00F"})"), "displays[0].physical[0].edid: 3 hexadecimal digits, expected an even number"},
      {WithMonitor(R"({"edid": "00FG"})"), "displays[0].physical[0].edid: \"FG\" at digit 3 is not a hexadecimal byte"},
      {WithMonitor(R"({"edid": ")" + std::string(2050, '0') + "\"}"),
       "displays[0].physical[0].edid: too long: 1025 bytes, at most 1024 fit"},
      {WithMonitor(R"({"fail": {"GetMonitorInfoW": 1}})"),
       "displays[0].physical[0].fail.GetMonitorInfoW: not a function that can fail here (expected one of: "
       "GetMonitorCapabilities, GetMonitorBrightness, SetMonitorBrightness, GetMonitorContrast, SetMonitorContrast, "
       "GetMonitorDisplayAreaSize, GetMonitorTechnologyType, SaveCurrentMonitorSettings, "
       "GetVCPFeatureAndVCPFeatureReply, SetVCPFeature, GetCapabilitiesStringLength, "
       "CapabilitiesRequestAndCapabilitiesReply, GetMonitorEdid)"},
      {WithMonitor(R"({"fail": {"SetVCPFeature": [5]}})"),
       "displays[0].physical[0].fail.SetVCPFeature: expected an error value or [error value, times], got an array of 1 element"},
      {WithMonitor(R"({"vcp": {"12": [1, 2]}})"), "displays[0].physical[0].vcp.12: is the monitor's brightness or contrast"},
      {WithMonitor(R"({"vcp": {"6a": [1, 2], "6A": [1, 2, "momentary"]}})"), "displays[0].physical[0].vcp.6a: the code is given twice"},
      {WithDisplay(R"(, "opm": [{"connector": 5}, {"connector": 5, "fault": "\r"}])"),
       "displays[0].opm[1].fault: unknown fault \"\\r\""},
      {WithDisplay(R"(, "opm": [{"connector": 5, "fault": 1}])"), "displays[0].opm[0].fault: expected a fault name, got 1"},
      // Rules across displays.
      {R"({"displays": [{"device": "a\tb", "physical": []}, {"device": "A\tB", "physical": []}]})",
       "displays[1].device: \"A\\tB\" is already the device of displays[0]"},
      {R"({"displays": [{"device": "A", "primary": true, "physical": []}, {"device": "B", "physical": []},
                        {"device": "C", "primary": true, "physical": []}]})",
       "displays[2].primary: displays[0] is already the primary display"},
      // A key given twice would otherwise silently keep the last value.
      {R"({"displays": [{"device": "A", "physical": [{}, {}, {"fail": {"SetMonitorContrast": 1,
          "SetMonitorContrast": 2}}]}]})",
       "displays[0].physical[2].fail.SetMonitorContrast: duplicate key"},
  };
  for (const Case& c : cases) {
    Scenario scenario;
    std::string error;
    EXPECT_FALSE(ParseScenario(c.json, &scenario, &error)) << c.json;
    EXPECT_EQ(error, c.error) << c.json;
  }
}

// monctl-sim refuses what it could read for ever, or that would block, or
// that is too large: one line on standard error, nothing on standard output,
// and exit status 125, which the tool never returns. (The refusals of a
// missing file, a folder and a log it cannot open are end-to-end cases.)
TEST(ScenarioLoaderTest, MonctlSimRefusesAScenarioItCannotUse) {
  char folder[] = "/tmp/monctl-sim-scenario-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string dir = folder, good = dir + "/good.json";
  std::ofstream(good) << R"({"displays": []})";
  // Past the size limit by one byte, and at it (where the zeros are what is wrong).
  const std::string large = dir + "/large.json", limit = dir + "/limit.json", fifo = dir + "/fifo";
  std::ofstream{large} << ' ';
  std::ofstream{limit} << ' ';
  ASSERT_EQ(truncate(large.c_str(), kMaxScenarioSize + 1) | truncate(limit.c_str(), kMaxScenarioSize), 0);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::string scenario, log, error;
  } cases[] = {
      // Neither a device nor a FIFO: they could be read for ever or block.
      {"/dev/zero", "", "scenario /dev/zero: cannot read the file: not a regular file"},
      {good, fifo, "call log " + fifo + ": cannot open the file: not a regular file"},
      {large, "", "scenario " + large + ": cannot read the file: larger than 16777216 bytes"},
      {limit, "", "scenario " + limit + ": invalid JSON: parse error at line 1, column 2: NUL byte"},
  };
  for (const auto& c : cases) {
    const std::string command = "MONCTL_SIM_SCENARIO='" + c.scenario + "' MONCTL_SIM_LOG='" + c.log + "' '" +
                                MONCTL_SIM_PROGRAM "' /listdevices >'" + dir + "/out' 2>'" + dir + "/err'";
    const int status = std::system(command.c_str());
    std::stringstream out, err;
    out << std::ifstream(dir + "/out").rdbuf();
    err << std::ifstream(dir + "/err").rdbuf();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 125) << c.error;
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "monctl-sim: " + c.error + "\n");
  }
  for (const char* name : {"/good.json", "/large.json", "/limit.json", "/fifo", "/out", "/err"}) {
    std::remove((dir + name).c_str());
  }
  rmdir(folder);
}

}  // namespace
}  // namespace monctl::sim
