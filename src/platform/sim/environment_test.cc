#include "platform/sim/environment.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/sim/scenario_loader.h"
#include "platform/sim/simulator.h"

namespace monctl::sim {
namespace {

class EnvironmentTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/monctl-sim-env-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
  }

  void TearDown() override {
    unsetenv("MONCTL_SIM_SCENARIO");
    unsetenv("MONCTL_SIM_LOG");
    std::remove((directory_ + "/scenario.json").c_str());
    std::remove((directory_ + "/calls.log").c_str());
    rmdir(directory_.c_str());
    Install(nullptr);
  }

  std::string WriteScenario(const std::string& text) {
    const std::string path = directory_ + "/scenario.json";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fputs(text.c_str(), file);
    std::fclose(file);
    return path;
  }

  std::string directory_;
};

TEST_F(EnvironmentTest, WithoutAScenarioFileTheDemoIsInstalled) {
  std::string ignored;
  ASSERT_TRUE(InstallScenarioText(R"({"displays": []})", &ignored));
  EXPECT_EQ(Current().display_count(), 0u);
  setenv("MONCTL_SIM_SCENARIO", "", 1);
  std::string error;
  ASSERT_TRUE(InstallFromEnvironment(&error)) << error;
  EXPECT_EQ(Current().display_count(), DemoScenario().displays.size());
  EXPECT_EQ(Current().call_log().path(), "");
}

TEST_F(EnvironmentTest, TheNamedScenarioAndLogAreUsed) {
  const std::string scenario =
      WriteScenario(R"({"admin": true, "displays": [{"device": "X", "physical": []}]})");
  const std::string log = directory_ + "/calls.log";
  setenv("MONCTL_SIM_SCENARIO", scenario.c_str(), 1);
  setenv("MONCTL_SIM_LOG", log.c_str(), 1);
  std::string error;
  ASSERT_TRUE(InstallFromEnvironment(&error)) << error;
  EXPECT_TRUE(Current().IsUserAdmin());
  EXPECT_EQ(Current().display_count(), 1u);
  EXPECT_EQ(Current().call_log().path(), log);
  // The log file exists from the start, empty until a call is logged.
  EXPECT_EQ(access(log.c_str(), F_OK), 0);
}

TEST_F(EnvironmentTest, ProblemsNameTheFileAndLeaveTheSimulatorAlone) {
  std::string error;
  ASSERT_TRUE(InstallScenarioText(R"({"displays": [{"device": "KEEP", "physical": []}]})", &error));

  const std::string missing = directory_ + "/missing.json";
  setenv("MONCTL_SIM_SCENARIO", missing.c_str(), 1);
  EXPECT_FALSE(InstallFromEnvironment(&error));
  EXPECT_EQ(error, "scenario " + missing + ": cannot read the file: No such file or directory");

  const std::string bad =
      WriteScenario(R"({"displays": [{"device": "A", "physical": [{"brightness": 7}]}]})");
  setenv("MONCTL_SIM_SCENARIO", bad.c_str(), 1);
  EXPECT_FALSE(InstallFromEnvironment(&error));
  EXPECT_EQ(error,
            "scenario " + bad +
                ": displays[0].physical[0].brightness: expected an array of 3 numbers [minimum, current, "
                "maximum], got 7");

  WriteScenario("{\"displays\": [");
  EXPECT_FALSE(InstallFromEnvironment(&error));
  EXPECT_EQ(error.rfind("scenario " + bad + ": invalid JSON: parse error at line 1, column 15:", 0), 0u)
      << error;

  WriteScenario(R"({"displays": []})");
  const std::string log = directory_ + "/no/such/folder/calls.log";
  setenv("MONCTL_SIM_LOG", log.c_str(), 1);
  EXPECT_FALSE(InstallFromEnvironment(&error));
  EXPECT_EQ(error, "call log " + log + ": cannot open the file: No such file or directory");

  ASSERT_EQ(Current().display_count(), 1u);
  EXPECT_EQ(Current().state().displays[0].device, u"KEEP");
}

}  // namespace
}  // namespace monctl::sim
