// The simulated display stack where a run of the tool cannot show it: the
// handles it hands out and takes back, calls the tool never makes, and
// state that outlives one call.
#include "platform/display.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/opm.h"
#include "platform/sim/backend.h"
#include "platform/sim/scenario_loader.h"
#include "platform/sim/simulator.h"
#include "platform/system.h"

namespace monctl::sim {
namespace {

using namespace monctl::platform;
using Lines = std::vector<std::string>;

constexpr std::string_view kScenario = R"({"displays": [
    {"device": "\\\\.\\DISPLAY1", "mode": {"fields": ["pelswidth", "pelsheight"]}, "physical": [{}]},
    {"device": "\\\\.\\DISPLAY2", "primary": true, "rect": [1920, -100, 4480, 1340],
     "mode": {"width": 2560, "height": 1440, "bpp": 24, "position": [1920, -100]}, "physical": [{}, {}],
     "opm": [{"connector": 5}, {"connector": 10}]},
    {"device": "\\\\.\\DISPLAY3", "change_result": 1, "physical": [], "opm": [], "mode": {"orientation": 2}}]})";

class SimulatedDisplayTest : public testing::Test {
 protected:
  void SetUp() override { Load(kScenario); }
  void TearDown() override { Install(nullptr); }

  static void Load(std::string_view json, std::string log_path = {}) {
    std::string error;
    ASSERT_TRUE(InstallScenarioText(json, &error, std::move(log_path))) << error;
  }
  static const Lines& Log() { return Current().call_log().lines(); }
  static std::vector<PhysicalMonitor> Physical(size_t display) {
    uint32_t count = 0;
    EXPECT_TRUE(GetNumberOfPhysicalMonitorsFromHMONITOR(MonitorHandleOf(display), &count));
    std::vector<PhysicalMonitor> monitors(count);
    EXPECT_TRUE(GetPhysicalMonitorsFromHMONITOR(MonitorHandleOf(display), count, monitors.data()));
    return monitors;
  }
};

// Each row's call fails with its error: the last error, or the HRESULT.
TEST_F(SimulatedDisplayTest, CallsOnWhatTheStackDoesNotServeFail) {
  std::vector<PhysicalMonitor> old = Physical(0);
  Load(kScenario);  // handles do not outlive the simulator that handed them out
  std::vector<PhysicalMonitor> destroyed = Physical(1);
  ASSERT_TRUE(DestroyPhysicalMonitors(2, destroyed.data()));
  DisplayDevice device{};
  DisplayMode mode{};
  PhysicalMonitor three[3];
  uint32_t a = 0, b = 0, c = 0;
  OpmVideoOutput** outputs = nullptr;
  const PhysicalMonitorHandle valid = Physical(0)[0].hPhysicalMonitor;
  const auto error = [](bool ok) { return ok ? 0u : GetLastError(); };
  const auto opm = [&](size_t display, uint32_t semantics, uint32_t* count) {
    return static_cast<uint32_t>(OPMGetVideoOutputsFromHMONITOR(MonitorHandleOf(display), semantics, count, &outputs));
  };
  const struct {
    const char* what;
    std::function<uint32_t()> call;
    uint32_t error;
  } cases[] = {
      {"HMONITOR past the last", [&] { return error(GetNumberOfPhysicalMonitorsFromHMONITOR(MonitorHandleOf(3), &a)); },
       kErrorInvalidMonitorHandle},
      {"adapter past the last", [&] { return error(EnumDisplayDevicesW(nullptr, 3, &device, 0)); }, kErrorNoMoreItems},
      {"monitor past the last", [&] { return error(EnumDisplayDevicesW(u"\\\\.\\DISPLAY2", 2, &device, 0)); },
       kErrorNoMoreItems},
      {"monitors of no device", [&] { return error(EnumDisplayDevicesW(u"\\\\.\\DISPLAY9", 0, &device, 0)); },
       kErrorInvalidParameter},
      {"mode of no device", [&] { return error(EnumDisplaySettingsW(u"\\\\.\\DISPLAY9", 0, &mode)); },
       kErrorInvalidParameter},
      {"mode 1", [&] { return error(EnumDisplaySettingsW(u"\\\\.\\DISPLAY2", 1, &mode)); }, kErrorNoMoreItems},
      {"array too long", [&] { return error(GetPhysicalMonitorsFromHMONITOR(MonitorHandleOf(1), 3, three)); },
       kErrorInvalidParameter},
      {"size type 2", [&] { return error(GetMonitorDisplayAreaSize(valid, 2, &a, &b, &c)); }, kErrorInvalidParameter},
      {"destroyed handle", [&] { return error(SetMonitorContrast(destroyed[1].hPhysicalMonitor, 1)); },
       kErrorInvalidPhysicalMonitorHandle},
      {"earlier simulator's handle", [&] { return error(SaveCurrentMonitorSettings(old[0].hPhysicalMonitor)); },
       kErrorInvalidPhysicalMonitorHandle},
      {"broadcast to one window",
       [&] { return error(SendMessageTimeoutW(0x1234, kWmSysCommand, kScMonitorPower, 2, 0, 500, nullptr) != 0); },
       kErrorInvalidParameter},
      {"other broadcast", [&] { return error(SendMessageTimeoutW(kHwndBroadcast, 0x10, 0, 0, 0, 500, nullptr) != 0); },
       kErrorInvalidParameter},
      {"OPM without outputs", [&] { return opm(0, kOpmVosOpmSemantics, &a); }, uint32_t(kOpmNotSupported)},
      {"OPM, other semantics", [&] { return opm(1, 0, &a); }, uint32_t(kInvalidArg)},
      {"OPM, HMONITOR past the last", [&] { return opm(3, kOpmVosOpmSemantics, &a); },
       uint32_t(HresultFromWin32(kErrorInvalidMonitorHandle))},
  };
  for (const auto& c : cases) {
    SetLastError(0);
    EXPECT_EQ(c.call(), c.error) << c.what;
  }
  EXPECT_EQ(Log(), Lines{});
  EXPECT_EQ(Current().live_opm_outputs(), 0u);
}

TEST_F(SimulatedDisplayTest, HandlesAreNewEachTimeAndLevelsAreTheMonitors) {
  std::vector<PhysicalMonitor> monitors = Physical(1), again = Physical(1);
  EXPECT_NE(monitors[0].hPhysicalMonitor, again[0].hPhysicalMonitor);
  EXPECT_NE(monitors[0].hPhysicalMonitor, monitors[1].hPhysicalMonitor);
  EXPECT_EQ(Current().live_physical_monitors(), 4u);
  // Valid handles in an array with a destroyed one are destroyed all the same.
  EXPECT_TRUE(DestroyPhysicalMonitors(1, again.data()));
  SetLastError(0);
  EXPECT_FALSE(DestroyPhysicalMonitors(2, again.data()));
  EXPECT_EQ(GetLastError(), kErrorInvalidPhysicalMonitorHandle);
  EXPECT_EQ(Current().live_physical_monitors(), 2u);
  // A level set whatever the range, seen through every handle.
  uint32_t a = 0, b = 0, c = 0;
  ASSERT_TRUE(SetMonitorBrightness(monitors[0].hPhysicalMonitor, 4000));
  ASSERT_TRUE(GetMonitorBrightness(Physical(1)[0].hPhysicalMonitor, &a, &b, &c));
  EXPECT_EQ(std::vector({a, b, c}), std::vector<uint32_t>({0, 4000, 100}));
  EXPECT_EQ(Log(), Lines{"SetMonitorBrightness \\\\.\\DISPLAY2#0 4000"});
}

TEST_F(SimulatedDisplayTest, ModesChangeInTheMarkedFieldsOnly) {
  DisplayMode mode{}, other{};
  // No name: the primary display; names compare without case.
  ASSERT_TRUE(EnumDisplaySettingsW(nullptr, kEnumCurrentSettings, &mode));
  ASSERT_TRUE(EnumDisplaySettingsW(u"\\\\.\\display2", 0, &other));
  EXPECT_EQ(std::vector({mode.dmPelsWidth, other.dmPelsWidth, mode.dmFields}),
            std::vector<uint32_t>({2560, 2560, 0x007C00A0}));
  mode.dmFields = kDmDisplayOrientation | kDmPelsWidth | kDmPelsHeight | kDmPosition;
  mode.dmDisplayOrientation = kDmdo90;
  mode.dmPelsWidth = 1440;
  mode.dmPelsHeight = 2560;
  mode.dmPosition = {100, 200};
  mode.dmBitsPerPel = 8;  // not marked: stays
  EXPECT_EQ(ChangeDisplaySettingsExW(u"\\\\.\\DISPLAY2", &mode, 0), kDispChangeSuccessful);
  ASSERT_TRUE(EnumDisplaySettingsW(u"\\\\.\\DISPLAY2", kEnumCurrentSettings, &other));
  EXPECT_EQ(std::vector({other.dmDisplayOrientation, other.dmPelsWidth, other.dmPelsHeight, other.dmBitsPerPel}),
            std::vector<uint32_t>({kDmdo90, 1440, 2560, 24}));
  // The display moved and took its new size on the desktop.
  MonitorInfo info{};
  ASSERT_TRUE(GetMonitorInfoW(MonitorHandleOf(1), &info));
  EXPECT_EQ(std::vector({info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right, info.rcMonitor.bottom}),
            std::vector({100, 200, 1540, 2760}));

  // A field set by a change is marked from then on.
  ASSERT_TRUE(EnumDisplaySettingsW(u"\\\\.\\DISPLAY1", kEnumCurrentSettings, &mode));
  EXPECT_EQ(mode.dmFields, kDmPelsWidth | kDmPelsHeight);
  mode.dmFields = kDmPosition;
  EXPECT_EQ(ChangeDisplaySettingsExW(u"\\\\.\\DISPLAY1", &mode, 0), kDispChangeSuccessful);
  ASSERT_TRUE(EnumDisplaySettingsW(u"\\\\.\\DISPLAY1", kEnumCurrentSettings, &other));
  EXPECT_EQ(other.dmFields, kDmPelsWidth | kDmPelsHeight | kDmPosition);
  // A change that does not succeed, or of an unknown device, is logged and
  // not applied.
  mode.dmFields = kDmDisplayOrientation;
  mode.dmDisplayOrientation = kDmdoDefault;
  EXPECT_EQ(ChangeDisplaySettingsExW(u"\\\\.\\DISPLAY3", &mode, 0), kDispChangeRestart);
  ASSERT_TRUE(EnumDisplaySettingsW(u"\\\\.\\DISPLAY3", kEnumCurrentSettings, &other));
  EXPECT_EQ(other.dmDisplayOrientation, kDmdo180);
  EXPECT_EQ(ChangeDisplaySettingsExW(u"\\\\.\\DISPLAY9", &mode, 0), kDispChangeBadParam);
  EXPECT_EQ(Log().size(), 4u);
}

TEST_F(SimulatedDisplayTest, TheCallLogIsAppendedToItsFileAndTheDemoIsTheDefault) {
  char path[] = "/tmp/monctl-sim-log-XXXXXX";
  const int file = mkstemp(path);
  ASSERT_EQ(write(file, "earlier\n", 8), 8);
  close(file);
  Load(kScenario, path);
  Sleep(1);
  Sleep(2);
  std::stringstream contents;
  contents << std::ifstream(path).rdbuf();
  std::remove(path);
  EXPECT_EQ(contents.str(), "earlier\nSleep 1\nSleep 2\n");
  Install(nullptr);
  EXPECT_EQ(Current().display_count(), DemoScenario().displays.size());
}

TEST_F(SimulatedDisplayTest, OpmOutputsLiveUntilTheirLastReferenceIsReleased) {
  const size_t blocks = LiveTaskMemBlocks();
  uint32_t count = 7;
  OpmVideoOutput** outputs = reinterpret_cast<OpmVideoOutput**>(this);
  EXPECT_EQ(OPMGetVideoOutputsFromHMONITOR(MonitorHandleOf(2), kOpmVosOpmSemantics, &count, &outputs), kOk);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(outputs, nullptr);  // no outputs, no array
  ASSERT_EQ(OPMGetVideoOutputsFromHMONITOR(MonitorHandleOf(1), kOpmVosOpmSemantics, &count, &outputs), kOk);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(LiveTaskMemBlocks(), blocks + 1);
  EXPECT_EQ(outputs[0]->AddRef(), 2u);
  EXPECT_EQ(outputs[0]->Release(), 1u);
  EXPECT_EQ(Current().live_opm_outputs(), 2u);
  EXPECT_EQ(outputs[0]->Release(), 0u);
  EXPECT_EQ(Current().live_opm_outputs(), 1u);
  EXPECT_EQ(outputs[1]->Release(), 0u);
  EXPECT_EQ(Current().live_opm_outputs(), 0u);
  CoTaskMemFree(outputs);
  EXPECT_EQ(LiveTaskMemBlocks(), blocks);
}

}  // namespace
}  // namespace monctl::sim
