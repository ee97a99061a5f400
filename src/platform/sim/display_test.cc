// The display functions of the native backend against scenarios.
#include "platform/display.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/backend.h"
#include "platform/sim/scenario_loader.h"
#include "platform/sim/simulator.h"
#include "platform/system.h"

namespace monctl::sim {
namespace {

using namespace monctl::platform;

constexpr std::string_view kThreeDisplays = R"({
  "admin": true,
  "displays": [
    {"device": "\\\\.\\DISPLAY1", "adapter": "Adapter One", "rect": [0, 0, 1920, 1080],
     "mode": {"width": 1920, "height": 1080, "position": [0, 0]},
     "physical": [{"description": "Left Monitor", "capabilities": 271, "color_temperatures": 36,
                   "brightness": [0, 30, 100], "contrast": [10, 40, 90], "width": [1, 2, 3], "height": [4, 5, 6],
                   "technology": 5}]},
    {"device": "\\\\.\\DISPLAY2", "adapter": "Adapter Two", "primary": true, "rect": [1920, -100, 4480, 1340],
     "mode": {"width": 2560, "height": 1440, "bpp": 24, "frequency": 144, "position": [1920, -100],
              "interlaced": true},
     "physical": [{"description": "Middle Monitor"}, {"description": "Right Monitor", "capabilities": 6}]},
    {"device": "\\\\.\\DISPLAY3", "adapter": "Adapter Two", "change_result": 1,
     "mode": {"fields": ["pelswidth", "pelsheight"], "position": [5000, 0], "orientation": 2},
     "physical": []}
  ]
})";

std::u16string Text(const char16_t* text) { return text; }

class SimulatedDisplayTest : public testing::Test {
 protected:
  void SetUp() override { Load(kThreeDisplays); }
  void TearDown() override { Install(nullptr); }

  void Load(std::string_view json, std::string log_path = {}) {
    std::string error;
    ASSERT_TRUE(InstallScenarioText(json, &error, std::move(log_path))) << error;
  }

  static const std::vector<std::string>& Log() { return Current().call_log().lines(); }

  // The physical monitors of the display at `index`, as the tool obtains them.
  static std::vector<PhysicalMonitor> Physical(size_t index) {
    uint32_t count = 0;
    EXPECT_TRUE(GetNumberOfPhysicalMonitorsFromHMONITOR(MonitorHandleOf(index), &count));
    std::vector<PhysicalMonitor> monitors(count);
    EXPECT_TRUE(GetPhysicalMonitorsFromHMONITOR(MonitorHandleOf(index), count, monitors.data()));
    return monitors;
  }

  static void Destroy(std::vector<PhysicalMonitor>& monitors) {
    EXPECT_TRUE(DestroyPhysicalMonitors(static_cast<uint32_t>(monitors.size()), monitors.data()));
  }

  // Expects `call` to fail with `error` as the last error.
  static void ExpectFailure(const std::function<bool()>& call, uint32_t error) {
    SetLastError(0);
    EXPECT_FALSE(call());
    EXPECT_EQ(GetLastError(), error);
  }
};

struct Visit {
  MonitorHandle monitor;
  Rect rect;
};

struct Visits {
  std::vector<Visit> seen;
  size_t stop_after = SIZE_MAX;
};

int Record(MonitorHandle monitor, DeviceContext dc, Rect* rect, intptr_t data) {
  EXPECT_EQ(dc, nullptr);
  auto* visits = reinterpret_cast<Visits*>(data);
  visits->seen.push_back({monitor, *rect});
  return visits->seen.size() < visits->stop_after;
}

TEST_F(SimulatedDisplayTest, DisplayMonitorsAreVisitedInScenarioOrder) {
  Visits visits;
  EXPECT_TRUE(EnumDisplayMonitors(nullptr, nullptr, Record, reinterpret_cast<intptr_t>(&visits)));
  ASSERT_EQ(visits.seen.size(), 3u);
  const char16_t* devices[] = {u"\\\\.\\DISPLAY1", u"\\\\.\\DISPLAY2", u"\\\\.\\DISPLAY3"};
  // The third display has no rect: it lies where its mode puts it.
  const Rect rects[] = {{0, 0, 1920, 1080}, {1920, -100, 4480, 1340}, {5000, 0, 6920, 1080}};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(visits.seen[i].monitor, MonitorHandleOf(i));
    EXPECT_EQ(visits.seen[i].rect.left, rects[i].left);
    EXPECT_EQ(visits.seen[i].rect.top, rects[i].top);
    EXPECT_EQ(visits.seen[i].rect.right, rects[i].right);
    EXPECT_EQ(visits.seen[i].rect.bottom, rects[i].bottom);

    MonitorInfo info{};
    ASSERT_TRUE(GetMonitorInfoW(visits.seen[i].monitor, &info));
    EXPECT_EQ(Text(info.szDevice), devices[i]);
    EXPECT_EQ(info.rcMonitor.left, rects[i].left);
    EXPECT_EQ(info.rcMonitor.bottom, rects[i].bottom);
    EXPECT_EQ(info.rcWork.right, rects[i].right);
    EXPECT_EQ(info.dwFlags, i == 1 ? kMonitorInfoFPrimary : 0u);
  }
}

TEST_F(SimulatedDisplayTest, EnumerationStopsWhenTheCallbackSaysSoAndHonoursTheClip) {
  Visits first_only;
  first_only.stop_after = 1;
  EXPECT_TRUE(EnumDisplayMonitors(nullptr, nullptr, Record, reinterpret_cast<intptr_t>(&first_only)));
  EXPECT_EQ(first_only.seen.size(), 1u);

  Visits clipped;
  const Rect clip{2000, 0, 2100, 10};
  EXPECT_TRUE(EnumDisplayMonitors(nullptr, &clip, Record, reinterpret_cast<intptr_t>(&clipped)));
  ASSERT_EQ(clipped.seen.size(), 1u);
  EXPECT_EQ(clipped.seen[0].monitor, MonitorHandleOf(1));
}

TEST_F(SimulatedDisplayTest, DisplayDevicesFollowTheDisplaysWithOnlyThePrimaryFlagged) {
  const char16_t* names[] = {u"\\\\.\\DISPLAY1", u"\\\\.\\DISPLAY2", u"\\\\.\\DISPLAY3"};
  const char16_t* adapters[] = {u"Adapter One", u"Adapter Two", u"Adapter Two"};
  for (uint32_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    DisplayDevice device{};
    ASSERT_TRUE(EnumDisplayDevicesW(nullptr, i, &device, 0));
    EXPECT_EQ(Text(device.DeviceName), names[i]);
    EXPECT_EQ(Text(device.DeviceString), adapters[i]);
    EXPECT_EQ((device.StateFlags & kDisplayDevicePrimaryDevice) != 0, i == 1);
  }
  DisplayDevice device{};
  ExpectFailure([&] { return EnumDisplayDevicesW(nullptr, 3, &device, 0); }, kErrorNoMoreItems);

  // With a device name: the monitors of that display device.
  ASSERT_TRUE(EnumDisplayDevicesW(u"\\\\.\\DISPLAY2", 1, &device, 0));
  EXPECT_EQ(Text(device.DeviceName), u"\\\\.\\DISPLAY2\\Monitor1");
  EXPECT_EQ(Text(device.DeviceString), u"Right Monitor");
  ExpectFailure([&] { return EnumDisplayDevicesW(u"\\\\.\\DISPLAY2", 2, &device, 0); }, kErrorNoMoreItems);
  ExpectFailure([&] { return EnumDisplayDevicesW(u"\\\\.\\DISPLAY9", 0, &device, 0); },
                kErrorInvalidParameter);
}

TEST_F(SimulatedDisplayTest, UnknownMonitorHandlesAreRefused) {
  MonitorInfo info{};
  uint32_t count = 0;
  for (MonitorHandle monitor : {MonitorHandle{nullptr}, MonitorHandleOf(3)}) {
    ExpectFailure([&] { return GetMonitorInfoW(monitor, &info); }, kErrorInvalidMonitorHandle);
    ExpectFailure([&] { return GetNumberOfPhysicalMonitorsFromHMONITOR(monitor, &count); },
                  kErrorInvalidMonitorHandle);
  }
}

TEST_F(SimulatedDisplayTest, PhysicalMonitorsComeInScenarioOrderWithNewHandlesEachTime) {
  std::vector<PhysicalMonitor> monitors = Physical(1);
  ASSERT_EQ(monitors.size(), 2u);
  EXPECT_EQ(Text(monitors[0].szPhysicalMonitorDescription), u"Middle Monitor");
  EXPECT_EQ(Text(monitors[1].szPhysicalMonitorDescription), u"Right Monitor");
  EXPECT_NE(monitors[0].hPhysicalMonitor, nullptr);
  EXPECT_NE(monitors[0].hPhysicalMonitor, monitors[1].hPhysicalMonitor);
  uint32_t capabilities = 0, temperatures = 0;
  ASSERT_TRUE(GetMonitorCapabilities(monitors[1].hPhysicalMonitor, &capabilities, &temperatures));
  EXPECT_EQ(capabilities, 6u);

  std::vector<PhysicalMonitor> again = Physical(1);
  EXPECT_NE(again[0].hPhysicalMonitor, monitors[0].hPhysicalMonitor);
  EXPECT_EQ(Current().live_physical_monitors(), 4u);

  // The array must have room for exactly the display's monitors.
  PhysicalMonitor three[3];
  ExpectFailure([&] { return GetPhysicalMonitorsFromHMONITOR(MonitorHandleOf(1), 3, three); },
                kErrorInvalidParameter);
  EXPECT_EQ(Current().live_physical_monitors(), 4u);

  Destroy(monitors);
  Destroy(again);
  EXPECT_EQ(Current().live_physical_monitors(), 0u);
  EXPECT_TRUE(Physical(2).empty());
}

TEST_F(SimulatedDisplayTest, MonitorValuesComeBackInMinimumCurrentMaximumOrder) {
  std::vector<PhysicalMonitor> monitors = Physical(0);
  ASSERT_EQ(monitors.size(), 1u);
  const PhysicalMonitorHandle handle = monitors[0].hPhysicalMonitor;
  uint32_t capabilities = 0, temperatures = 0;
  ASSERT_TRUE(GetMonitorCapabilities(handle, &capabilities, &temperatures));
  EXPECT_EQ(capabilities, 271u);
  EXPECT_EQ(temperatures, 36u);

  uint32_t minimum = 0, current = 0, maximum = 0;
  ASSERT_TRUE(GetMonitorBrightness(handle, &minimum, &current, &maximum));
  EXPECT_EQ((std::vector<uint32_t>{minimum, current, maximum}), (std::vector<uint32_t>{0, 30, 100}));
  ASSERT_TRUE(GetMonitorContrast(handle, &minimum, &current, &maximum));
  EXPECT_EQ((std::vector<uint32_t>{minimum, current, maximum}), (std::vector<uint32_t>{10, 40, 90}));
  ASSERT_TRUE(GetMonitorDisplayAreaSize(handle, kMcWidth, &minimum, &current, &maximum));
  EXPECT_EQ((std::vector<uint32_t>{minimum, current, maximum}), (std::vector<uint32_t>{1, 2, 3}));
  ASSERT_TRUE(GetMonitorDisplayAreaSize(handle, kMcHeight, &minimum, &current, &maximum));
  EXPECT_EQ((std::vector<uint32_t>{minimum, current, maximum}), (std::vector<uint32_t>{4, 5, 6}));
  ExpectFailure([&] { return GetMonitorDisplayAreaSize(handle, 2, &minimum, &current, &maximum); },
                kErrorInvalidParameter);
  int32_t technology = -1;
  ASSERT_TRUE(GetMonitorTechnologyType(handle, &technology));
  EXPECT_EQ(technology, 5);
  Destroy(monitors);
}

TEST_F(SimulatedDisplayTest, LevelsSetAreReadBackAndLogged) {
  std::vector<PhysicalMonitor> left = Physical(0);
  std::vector<PhysicalMonitor> pair = Physical(1);
  ASSERT_TRUE(SetMonitorBrightness(left[0].hPhysicalMonitor, 55));
  ASSERT_TRUE(SetMonitorContrast(pair[1].hPhysicalMonitor, 80));
  // The monitor takes a level outside its range as it is.
  ASSERT_TRUE(SetMonitorBrightness(pair[0].hPhysicalMonitor, 4000));
  ASSERT_TRUE(SaveCurrentMonitorSettings(pair[1].hPhysicalMonitor));

  uint32_t minimum = 0, current = 0, maximum = 0;
  ASSERT_TRUE(GetMonitorBrightness(left[0].hPhysicalMonitor, &minimum, &current, &maximum));
  EXPECT_EQ((std::vector<uint32_t>{minimum, current, maximum}), (std::vector<uint32_t>{0, 55, 100}));
  ASSERT_TRUE(GetMonitorContrast(left[0].hPhysicalMonitor, &minimum, &current, &maximum));
  EXPECT_EQ(current, 40u);
  ASSERT_TRUE(GetMonitorContrast(pair[1].hPhysicalMonitor, &minimum, &current, &maximum));
  EXPECT_EQ((std::vector<uint32_t>{minimum, current, maximum}), (std::vector<uint32_t>{0, 80, 100}));

  // The level belongs to the monitor, not to the handle.
  Destroy(pair);
  std::vector<PhysicalMonitor> pair_again = Physical(1);
  ASSERT_TRUE(GetMonitorBrightness(pair_again[0].hPhysicalMonitor, &minimum, &current, &maximum));
  EXPECT_EQ(current, 4000u);

  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "SetMonitorBrightness \\\\.\\DISPLAY1#0 55",
                       "SetMonitorContrast \\\\.\\DISPLAY2#1 80",
                       "SetMonitorBrightness \\\\.\\DISPLAY2#0 4000",
                       "SaveCurrentMonitorSettings \\\\.\\DISPLAY2#1",
                   }));
  Destroy(left);
  Destroy(pair_again);
}

TEST_F(SimulatedDisplayTest, AMonitorsFailMapFailsEachNamedCallWithItsError) {
  Load(R"({"displays": [{"device": "D", "physical": [
      {"fail": {"GetMonitorCapabilities": 3223725441, "GetMonitorBrightness": 3223725442,
                "SetMonitorBrightness": 3223725443, "GetMonitorContrast": 3223725444,
                "SetMonitorContrast": 3223725445, "GetMonitorDisplayAreaSize": 3223725446,
                "GetMonitorTechnologyType": 3223725447, "SaveCurrentMonitorSettings": 0}},
      {}]}]})");
  std::vector<PhysicalMonitor> monitors = Physical(0);
  ASSERT_EQ(monitors.size(), 2u);
  uint32_t a = 0, b = 0, c = 0;
  int32_t technology = 0;
  struct Call {
    const char* name;
    std::function<bool(PhysicalMonitorHandle)> call;
    uint32_t error;
  };
  const Call calls[] = {
      {"GetMonitorCapabilities", [&](auto h) { return GetMonitorCapabilities(h, &a, &b); }, 0xC0262581},
      {"GetMonitorBrightness", [&](auto h) { return GetMonitorBrightness(h, &a, &b, &c); }, 0xC0262582},
      {"SetMonitorBrightness", [&](auto h) { return SetMonitorBrightness(h, 70); }, 0xC0262583},
      {"GetMonitorContrast", [&](auto h) { return GetMonitorContrast(h, &a, &b, &c); }, 0xC0262584},
      {"SetMonitorContrast", [&](auto h) { return SetMonitorContrast(h, 70); }, 0xC0262585},
      {"GetMonitorDisplayAreaSize width",
       [&](auto h) { return GetMonitorDisplayAreaSize(h, kMcWidth, &a, &b, &c); }, 0xC0262586},
      {"GetMonitorDisplayAreaSize height",
       [&](auto h) { return GetMonitorDisplayAreaSize(h, kMcHeight, &a, &b, &c); }, 0xC0262586},
      {"GetMonitorTechnologyType", [&](auto h) { return GetMonitorTechnologyType(h, &technology); },
       0xC0262587},
      {"SaveCurrentMonitorSettings", [&](auto h) { return SaveCurrentMonitorSettings(h); }, 0},
  };
  for (const Call& call : calls) {
    SCOPED_TRACE(call.name);
    SetLastError(12345);
    EXPECT_FALSE(call.call(monitors[0].hPhysicalMonitor));
    EXPECT_EQ(GetLastError(), call.error);
    EXPECT_TRUE(call.call(monitors[1].hPhysicalMonitor));
  }
  // The failed calls changed nothing and are not in the log; the calls on
  // the other monitor are.
  EXPECT_EQ(Current().state().displays[0].physical[0].brightness.current, 50u);
  EXPECT_EQ(Current().state().displays[0].physical[0].contrast.current, 50u);
  EXPECT_EQ(Log(), (std::vector<std::string>{"SetMonitorBrightness D#1 70", "SetMonitorContrast D#1 70",
                                             "SaveCurrentMonitorSettings D#1"}));
  Destroy(monitors);
}

TEST_F(SimulatedDisplayTest, ADisplaysFailMapFailsTheCallsOnThatDisplayOnly) {
  Load(R"({"displays": [
      {"device": "A", "physical": [{}], "fail": {"GetNumberOfPhysicalMonitorsFromHMONITOR": 1}},
      {"device": "B", "physical": [{}, {}], "fail": {"GetPhysicalMonitorsFromHMONITOR": 2}},
      {"device": "C", "physical": [{}],
       "fail": {"GetMonitorInfoW": 3, "EnumDisplaySettingsW": 4, "EnumDisplayDevicesW": 5}},
      {"device": "D", "physical": [{}]}]})");
  uint32_t count = 0;
  ExpectFailure([&] { return GetNumberOfPhysicalMonitorsFromHMONITOR(MonitorHandleOf(0), &count); }, 1);
  PhysicalMonitor two[2];
  ASSERT_TRUE(GetNumberOfPhysicalMonitorsFromHMONITOR(MonitorHandleOf(1), &count));
  EXPECT_EQ(count, 2u);
  ExpectFailure([&] { return GetPhysicalMonitorsFromHMONITOR(MonitorHandleOf(1), 2, two); }, 2);
  EXPECT_EQ(Current().live_physical_monitors(), 0u);

  MonitorInfo info{};
  DisplayMode mode{};
  DisplayDevice device{};
  ExpectFailure([&] { return GetMonitorInfoW(MonitorHandleOf(2), &info); }, 3);
  ExpectFailure([&] { return EnumDisplaySettingsW(u"C", kEnumCurrentSettings, &mode); }, 4);
  ExpectFailure([&] { return EnumDisplayDevicesW(nullptr, 2, &device, 0); }, 5);
  ExpectFailure([&] { return EnumDisplayDevicesW(u"C", 0, &device, 0); }, 5);
  // The displays before and after answer.
  EXPECT_TRUE(EnumDisplayDevicesW(nullptr, 1, &device, 0));
  EXPECT_TRUE(EnumDisplayDevicesW(nullptr, 3, &device, 0));
  EXPECT_TRUE(GetMonitorInfoW(MonitorHandleOf(3), &info));
  EXPECT_TRUE(EnumDisplaySettingsW(u"D", kEnumCurrentSettings, &mode));
  std::vector<PhysicalMonitor> monitors = Physical(2);
  EXPECT_EQ(monitors.size(), 1u);
  Destroy(monitors);
}

TEST_F(SimulatedDisplayTest, DestroyedAndUnknownHandlesAreInvalid) {
  std::vector<PhysicalMonitor> monitors = Physical(1);
  const PhysicalMonitorHandle kept = monitors[1].hPhysicalMonitor;
  const PhysicalMonitorHandle destroyed = monitors[0].hPhysicalMonitor;
  ASSERT_TRUE(DestroyPhysicalMonitors(1, monitors.data()));
  EXPECT_EQ(Current().live_physical_monitors(), 1u);

  uint32_t a = 0, b = 0, c = 0;
  for (PhysicalMonitorHandle handle : {destroyed, PhysicalMonitorHandle{nullptr}}) {
    ExpectFailure([&] { return GetMonitorBrightness(handle, &a, &b, &c); },
                  kErrorInvalidPhysicalMonitorHandle);
    ExpectFailure([&] { return SetMonitorContrast(handle, 1); }, kErrorInvalidPhysicalMonitorHandle);
    ExpectFailure([&] { return SaveCurrentMonitorSettings(handle); }, kErrorInvalidPhysicalMonitorHandle);
  }
  EXPECT_TRUE(Log().empty());

  // An array with a destroyed handle: the valid handles are destroyed all
  // the same and the call reports the invalid one.
  ExpectFailure([&] { return DestroyPhysicalMonitors(2, monitors.data()); },
                kErrorInvalidPhysicalMonitorHandle);
  EXPECT_EQ(Current().live_physical_monitors(), 0u);
  ExpectFailure([&] { return GetMonitorBrightness(kept, &a, &b, &c); }, kErrorInvalidPhysicalMonitorHandle);

  // Handles do not outlive the simulator that handed them out.
  std::vector<PhysicalMonitor> old = Physical(0);
  Load(kThreeDisplays);
  ExpectFailure([&] { return GetMonitorBrightness(old[0].hPhysicalMonitor, &a, &b, &c); },
                kErrorInvalidPhysicalMonitorHandle);
}

TEST_F(SimulatedDisplayTest, DisplaySettingsReportTheModeWithItsMarkedFields) {
  DisplayMode mode{};
  ASSERT_TRUE(EnumDisplaySettingsW(u"\\\\.\\DISPLAY2", kEnumCurrentSettings, &mode));
  EXPECT_EQ(mode.dmFields, 0x007C00A0u);
  EXPECT_EQ(mode.dmPelsWidth, 2560u);
  EXPECT_EQ(mode.dmPelsHeight, 1440u);
  EXPECT_EQ(mode.dmBitsPerPel, 24u);
  EXPECT_EQ(mode.dmDisplayFrequency, 144u);
  EXPECT_EQ(mode.dmDisplayFlags, kDmInterlaced);
  EXPECT_EQ(mode.dmPosition.x, 1920);
  EXPECT_EQ(mode.dmPosition.y, -100);

  // Device names compare without case; no name means the primary display.
  DisplayMode same{};
  ASSERT_TRUE(EnumDisplaySettingsW(u"\\\\.\\display2", kEnumCurrentSettings, &same));
  EXPECT_EQ(same.dmPelsWidth, 2560u);
  DisplayMode primary{};
  ASSERT_TRUE(EnumDisplaySettingsW(nullptr, kEnumCurrentSettings, &primary));
  EXPECT_EQ(primary.dmPelsWidth, 2560u);

  // Unmarked fields still carry their values.
  ASSERT_TRUE(EnumDisplaySettingsW(u"\\\\.\\DISPLAY3", kEnumCurrentSettings, &mode));
  EXPECT_EQ(mode.dmFields, kDmPelsWidth | kDmPelsHeight);
  EXPECT_EQ(mode.dmPosition.x, 5000);
  EXPECT_EQ(mode.dmDisplayOrientation, kDmdo180);

  ExpectFailure([&] { return EnumDisplaySettingsW(u"\\\\.\\DISPLAY4", kEnumCurrentSettings, &mode); },
                kErrorInvalidParameter);
  ExpectFailure([&] { return EnumDisplaySettingsW(u"\\\\.\\DISPLAY2", 1, &mode); }, kErrorNoMoreItems);
}

TEST_F(SimulatedDisplayTest, AModeChangeAppliesOnlyTheMarkedFieldsAndIsSeenLater) {
  DisplayMode mode{};
  ASSERT_TRUE(EnumDisplaySettingsW(u"\\\\.\\DISPLAY2", kEnumCurrentSettings, &mode));
  mode.dmFields = kDmDisplayOrientation | kDmPelsWidth | kDmPelsHeight | kDmPosition;
  mode.dmDisplayOrientation = kDmdo90;
  mode.dmPelsWidth = 1440;
  mode.dmPelsHeight = 2560;
  mode.dmPosition = {100, 200};
  // Not marked: must stay as they are.
  mode.dmBitsPerPel = 8;
  mode.dmDisplayFrequency = 30;
  mode.dmDisplayFlags = 0;
  EXPECT_EQ(ChangeDisplaySettingsExW(u"\\\\.\\DISPLAY2", &mode, kCdsUpdateRegistry | kCdsGlobal),
            kDispChangeSuccessful);

  DisplayMode now{};
  ASSERT_TRUE(EnumDisplaySettingsW(u"\\\\.\\DISPLAY2", kEnumCurrentSettings, &now));
  EXPECT_EQ(now.dmFields, 0x007C00A0u);
  EXPECT_EQ(now.dmDisplayOrientation, kDmdo90);
  EXPECT_EQ(now.dmPelsWidth, 1440u);
  EXPECT_EQ(now.dmPelsHeight, 2560u);
  EXPECT_EQ(now.dmPosition.x, 100);
  EXPECT_EQ(now.dmPosition.y, 200);
  EXPECT_EQ(now.dmBitsPerPel, 24u);
  EXPECT_EQ(now.dmDisplayFrequency, 144u);
  EXPECT_EQ(now.dmDisplayFlags, kDmInterlaced);

  // The display moved and took its new size on the desktop.
  MonitorInfo info{};
  ASSERT_TRUE(GetMonitorInfoW(MonitorHandleOf(1), &info));
  EXPECT_EQ(info.rcMonitor.left, 100);
  EXPECT_EQ(info.rcMonitor.top, 200);
  EXPECT_EQ(info.rcMonitor.right, 1540);
  EXPECT_EQ(info.rcMonitor.bottom, 2760);

  EXPECT_EQ(Log(),
            (std::vector<std::string>{"ChangeDisplaySettingsExW \\\\.\\DISPLAY2 fields=0x001800A0 "
                                      "orientation=1 width=1440 height=2560 position=100,200 flags=9"}));
}

TEST_F(SimulatedDisplayTest, AFieldSetByAChangeIsReportedFromThenOn) {
  Load(R"({"displays": [{"device": "A", "physical": [], "mode": {"fields": ["pelswidth", "pelsheight"]}}]})");
  DisplayMode mode{};
  ASSERT_TRUE(EnumDisplaySettingsW(u"A", kEnumCurrentSettings, &mode));
  mode.dmFields = kDmPosition;
  mode.dmPosition = {-1920, 0};
  ASSERT_EQ(ChangeDisplaySettingsExW(u"A", &mode, kCdsUpdateRegistry), kDispChangeSuccessful);
  ASSERT_TRUE(EnumDisplaySettingsW(u"A", kEnumCurrentSettings, &mode));
  EXPECT_EQ(mode.dmFields, kDmPelsWidth | kDmPelsHeight | kDmPosition);
  EXPECT_EQ(mode.dmPosition.x, -1920);
  EXPECT_EQ(mode.dmDisplayOrientation, 0u);
}

TEST_F(SimulatedDisplayTest, AModeChangeThatDoesNotSucceedIsLoggedButNotApplied) {
  DisplayMode mode{};
  ASSERT_TRUE(EnumDisplaySettingsW(u"\\\\.\\DISPLAY3", kEnumCurrentSettings, &mode));
  mode.dmFields = kDmDisplayOrientation;
  mode.dmDisplayOrientation = kDmdoDefault;
  EXPECT_EQ(ChangeDisplaySettingsExW(u"\\\\.\\DISPLAY3", &mode, kCdsUpdateRegistry), kDispChangeRestart);
  ASSERT_TRUE(EnumDisplaySettingsW(u"\\\\.\\DISPLAY3", kEnumCurrentSettings, &mode));
  EXPECT_EQ(mode.dmDisplayOrientation, kDmdo180);

  EXPECT_EQ(ChangeDisplaySettingsExW(u"\\\\.\\DISPLAY9", &mode, kCdsUpdateRegistry), kDispChangeBadParam);
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "ChangeDisplaySettingsExW \\\\.\\DISPLAY3 fields=0x00000080 orientation=0 width=1920 "
                       "height=1080 position=5000,0 flags=1",
                       "ChangeDisplaySettingsExW \\\\.\\DISPLAY9 fields=0x00180000 orientation=2 width=1920 "
                       "height=1080 position=5000,0 flags=1",
                   }));
}

TEST_F(SimulatedDisplayTest, BroadcastSleepAndAdministrator) {
  EXPECT_NE(
      SendMessageTimeoutW(kHwndBroadcast, kWmSysCommand, kScMonitorPower, -1, kSmtoAbortIfHung, 500, nullptr),
      0);
  uintptr_t result = 7;
  EXPECT_NE(
      SendMessageTimeoutW(kHwndBroadcast, kWmSysCommand, kScScreenSave, 0, kSmtoAbortIfHung, 500, &result),
      0);
  EXPECT_EQ(result, 0u);
  // Only system commands broadcast to all windows are carried out.
  EXPECT_EQ(SendMessageTimeoutW(0x1234, kWmSysCommand, kScMonitorPower, 2, kSmtoAbortIfHung, 500, nullptr),
            0);
  EXPECT_EQ(SendMessageTimeoutW(kHwndBroadcast, 0x0010, 0, 0, kSmtoAbortIfHung, 500, nullptr), 0);
  Sleep(1000);
  EXPECT_EQ(Log(), (std::vector<std::string>{"SendMessageTimeoutW 0xF170 -1", "SendMessageTimeoutW 0xF140 0",
                                             "Sleep 1000"}));

  EXPECT_TRUE(IsUserAdmin());
  Load(R"({"displays": []})");
  EXPECT_FALSE(IsUserAdmin());
}

TEST_F(SimulatedDisplayTest, TheCallLogIsAppendedToItsFile) {
  char path[] = "/tmp/monctl-sim-log-XXXXXX";
  const int descriptor = mkstemp(path);
  ASSERT_GE(descriptor, 0);
  ASSERT_EQ(write(descriptor, "earlier\n", 8), 8);
  close(descriptor);

  Load(kThreeDisplays, path);
  std::vector<PhysicalMonitor> monitors = Physical(0);
  ASSERT_TRUE(SetMonitorBrightness(monitors[0].hPhysicalMonitor, 0));
  Sleep(1);
  Destroy(monitors);

  std::ifstream file(path);
  std::stringstream contents;
  contents << file.rdbuf();
  std::remove(path);
  EXPECT_EQ(contents.str(), "earlier\nSetMonitorBrightness \\\\.\\DISPLAY1#0 0\nSleep 1\n");
}

TEST_F(SimulatedDisplayTest, WithoutAScenarioTheDemoIsServed) {
  Install(nullptr);
  EXPECT_EQ(Current().display_count(), DemoScenario().displays.size());
  Visits visits;
  EXPECT_TRUE(EnumDisplayMonitors(nullptr, nullptr, Record, reinterpret_cast<intptr_t>(&visits)));
  EXPECT_EQ(visits.seen.size(), DemoScenario().displays.size());
}

}  // namespace
}  // namespace monctl::sim
