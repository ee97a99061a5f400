// Inputs that fuzzing the scenario loader (fuzz/scenario_fuzzer.cc) found
// to fail, kept so that the fault stays mended.
#include <gtest/gtest.h>

#include <string>

#include "platform/sim/scenario_loader.h"

namespace monctl::sim {
namespace {

// A number beyond the range of a double made the JSON library throw an
// exception other than its parse error, which ended the process instead of
// refusing the scenario.
TEST(ScenarioLoaderRegressionTest, ANumberBeyondADoubleIsInvalidJson) {
  for (const char* text : {"1e34294967295", "1e400", "-1e400",
                           R"({"displays": [{"device": "\\\\.\\DISPLAY1", "physical": [],
                               "change_result": 1e400}]})"}) {
    SCOPED_TRACE(text);
    Scenario scenario;
    std::string error;
    EXPECT_FALSE(ParseScenario(text, &scenario, &error));
    EXPECT_TRUE(error.starts_with("invalid JSON: number overflow parsing '")) << error;
    EXPECT_TRUE(scenario.displays.empty());
  }
}

// A key or a name with a control character in it was copied into the
// message as it was, so that the one-line message of monctl-sim ran over
// several lines.
TEST(ScenarioLoaderRegressionTest, ControlCharactersInKeysAndNamesAreEscaped) {
  const struct {
    const char* json;
    const char* error;
  } cases[] = {
      {R"({"displays": [{"device": "D1", "physical": [], "a\nb\u0001": 1}]})",
       "displays[0].a\\nb\\u0001: unknown key"},
      {R"({"displays": [{"device": "D1", "physical": [], "mode": {"fields": ["x\ty"]}}]})",
       "displays[0].mode.fields[0]: unknown field \"x\\ty\""},
      {R"({"displays": [{"device": "D1", "physical": [], "opm": [{"connector": 1, "fault": "\r"}]}]})",
       "displays[0].opm[0].fault: unknown fault \"\\r\""},
      {R"({"displays": [{"device": "a\nb", "physical": []}, {"device": "A\nB", "physical": []}]})",
       "displays[1].device: \"A\\nB\" is already the device of displays[0]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    Scenario scenario;
    std::string error;
    EXPECT_FALSE(ParseScenario(c.json, &scenario, &error));
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_TRUE(error.starts_with(c.error)) << error;
  }
}

}  // namespace
}  // namespace monctl::sim
