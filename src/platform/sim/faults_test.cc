// The fault layer: the record of the calls that a test can make fail, and
// FailCall.
#include "platform/sim/faults.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/bcrypt.h"
#include "platform/display.h"
#include "platform/opm.h"
#include "platform/sim/backend.h"
#include "platform/sim/simulator.h"
#include "platform/system.h"

namespace monctl::sim {
namespace {

using namespace monctl::platform;

constexpr std::string_view kScenario = R"({
  "displays": [
    {"device": "\\\\.\\DISPLAY1", "physical": [{"fail": {"GetMonitorContrast": 5}}, {}],
     "opm": [{"connector": 5}]},
    {"device": "\\\\.\\DISPLAY2", "physical": [{}], "fail": {"GetMonitorInfoW": 31}}
  ]
})";

class CallRecordTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(InstallScenarioText(kScenario, &error)) << error;
    ArmFaults(&recorder_);
    uint32_t count = 0;
    ASSERT_TRUE(GetNumberOfPhysicalMonitorsFromHMONITOR(MonitorHandleOf(0), &count));
    monitors_.resize(count);
    ASSERT_TRUE(GetPhysicalMonitorsFromHMONITOR(MonitorHandleOf(0), count, monitors_.data()));
  }

  void TearDown() override {
    DestroyPhysicalMonitors(static_cast<uint32_t>(monitors_.size()), monitors_.data());
    ArmFaults(nullptr);
    Install(nullptr);
  }

  static bool Brightness(const PhysicalMonitor& monitor) {
    uint32_t minimum, current, maximum;
    return GetMonitorBrightness(monitor.hPhysicalMonitor, &minimum, &current, &maximum);
  }

  static bool Contrast(const PhysicalMonitor& monitor) {
    uint32_t minimum, current, maximum;
    return GetMonitorContrast(monitor.hPhysicalMonitor, &minimum, &current, &maximum);
  }

  CallRecorder recorder_;
  std::vector<PhysicalMonitor> monitors_;
};

TEST_F(CallRecordTest, RecordsEachCallWithWhatItAsked) {
  MonitorInfo info = {};
  EXPECT_FALSE(GetMonitorInfoW(MonitorHandleOf(1), &info));
  EXPECT_TRUE(Brightness(monitors_[1]));
  EXPECT_FALSE(Contrast(monitors_[0]));
  DisplayDevice device = {};
  EXPECT_TRUE(EnumDisplayDevicesW(nullptr, 1, &device, 0));
  EXPECT_TRUE(EnumDisplayDevicesW(u"\\\\.\\DISPLAY1", 1, &device, 0));
  // Not recorded: a handle that the stack never handed out.
  EXPECT_FALSE(Brightness(PhysicalMonitor{reinterpret_cast<PhysicalMonitorHandle>(uintptr_t{1} << 40), {}}));
  // A call of the rest of the run, on the display of the call before it.
  DisplayMode mode = {};
  EXPECT_EQ(ChangeDisplaySettingsExW(u"\\\\.\\DISPLAY2", &mode, 0), kDispChangeSuccessful);

  const std::vector<CallRecord>& calls = recorder_.calls();
  ASSERT_EQ(calls.size(), 8u);
  auto expect = [&](size_t i, Call call, size_t display, std::optional<size_t> index, bool failed) {
    SCOPED_TRACE(i);
    EXPECT_EQ(NameOf(calls[i].call), NameOf(call));
    EXPECT_EQ(calls[i].display, display);
    EXPECT_EQ(calls[i].index, index);
    EXPECT_EQ(calls[i].failed, failed);
  };
  expect(0, Call::kGetNumberOfPhysicalMonitorsFromHMONITOR, 0, std::nullopt, false);
  expect(1, Call::kGetPhysicalMonitorsFromHMONITOR, 0, std::nullopt, false);
  expect(2, Call::kGetMonitorInfoW, 1, std::nullopt, true);
  expect(3, Call::kGetMonitorBrightness, 0, 1, false);
  expect(4, Call::kGetMonitorContrast, 0, 0, true);
  expect(5, Call::kEnumDisplayDevicesW, 1, std::nullopt, false);
  expect(6, Call::kEnumDisplayDevicesW, 0, 1, false);
  expect(7, Call::kChangeDisplaySettingsExW, 0, std::nullopt, false);
  EXPECT_EQ(recorder_.succeeding_calls(), 6u);
}

TEST_F(CallRecordTest, FailsTheChosenCallAmongThoseThatWouldSucceed) {
  // Two calls so far; the scenario's own failure of the contrast of monitor
  // 0 does not count, so the 4th is the brightness of monitor 1.
  recorder_.FailCall(4, 0xC0262582);
  EXPECT_TRUE(Brightness(monitors_[0]));  // 3rd
  EXPECT_FALSE(Contrast(monitors_[0]));   // the scenario's
  EXPECT_EQ(GetLastError(), 5u);
  SetLastError(0);
  EXPECT_FALSE(Brightness(monitors_[1]));  // 4th: fails
  EXPECT_EQ(GetLastError(), 0xC0262582u);
  EXPECT_TRUE(Brightness(monitors_[1]));  // 5th: only once
  const std::vector<CallRecord>& calls = recorder_.calls();
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_FALSE(calls[2].failed);
  EXPECT_TRUE(calls[3].failed);
  EXPECT_TRUE(calls[4].failed);
  EXPECT_FALSE(calls[5].failed);
}

TEST_F(CallRecordTest, AFailedSetChangesNothingAndLogsNothing) {
  recorder_.FailCall(3, 31);
  EXPECT_FALSE(SetMonitorBrightness(monitors_[0].hPhysicalMonitor, 70));
  EXPECT_EQ(GetLastError(), 31u);
  EXPECT_TRUE(Current().call_log().lines().empty());
  EXPECT_EQ(Current().state().displays[0].physical[0].brightness.current, 50u);
}

TEST_F(CallRecordTest, OpmCallsFailWithTheErrorAsResult) {
  uint32_t count = 0;
  OpmVideoOutput** outputs = nullptr;
  recorder_.FailCall(3, 31);
  EXPECT_EQ(OPMGetVideoOutputsFromHMONITOR(MonitorHandleOf(0), kOpmVosOpmSemantics, &count, &outputs),
            HresultFromWin32(31));
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(Current().live_opm_outputs(), 0u);

  // The outputs' own calls, by display and output.
  ASSERT_EQ(OPMGetVideoOutputsFromHMONITOR(MonitorHandleOf(0), kOpmVosOpmSemantics, &count, &outputs), kOk);
  ASSERT_EQ(count, 1u);
  recorder_.FailCall(5, 0xC0262582);
  OpmRandomNumber random = {};
  uint8_t* certificate = nullptr;
  uint32_t length = 0;
  EXPECT_EQ(outputs[0]->StartInitialization(&random, &certificate, &length),
            static_cast<HRESULT>(0xC0262582));
  EXPECT_EQ(certificate, nullptr);
  const CallRecord& call = recorder_.calls().back();
  EXPECT_EQ(NameOf(call.call), "IOPMVideoOutput::StartInitialization");
  EXPECT_EQ(call.display, 0u);
  EXPECT_EQ(call.index, 0u);
  EXPECT_TRUE(call.failed);
  outputs[0]->Release();
  CoTaskMemFree(outputs);
  EXPECT_EQ(Current().live_opm_outputs(), 0u);
}

// The calls that no scenario can fail are recorded too, on the display of
// the call before them, and can be failed in turn; what the simulated
// driver calls on its own is left out.
TEST_F(CallRecordTest, RecordsTheRestOfTheRunButNotTheDriver) {
  uint32_t count = 0;
  OpmVideoOutput** outputs = nullptr;
  ASSERT_EQ(OPMGetVideoOutputsFromHMONITOR(MonitorHandleOf(0), kOpmVosOpmSemantics, &count, &outputs), kOk);
  ASSERT_EQ(count, 1u);
  const size_t before = recorder_.calls().size();
  // The driver draws its random number and allocates its certificate
  // message itself.
  OpmRandomNumber random = {};
  uint8_t* certificate = nullptr;
  uint32_t length = 0;
  ASSERT_EQ(outputs[0]->StartInitialization(&random, &certificate, &length), kOk);
  ASSERT_EQ(recorder_.calls().size(), before + 1);
  CoTaskMemFree(certificate);

  uint8_t bytes[4];
  EXPECT_EQ(BCryptGenRandom(nullptr, bytes, sizeof(bytes), kBcryptUseSystemPreferredRng), kStatusSuccess);
  const std::vector<CallRecord>& calls = recorder_.calls();
  ASSERT_EQ(calls.size(), before + 2);
  EXPECT_EQ(NameOf(calls.back().call), "BCryptGenRandom");
  EXPECT_EQ(calls.back().display, 0u);
  EXPECT_EQ(calls.back().index, std::nullopt);
  outputs[0]->Release();
  CoTaskMemFree(outputs);
}

TEST_F(CallRecordTest, FailsTheChosenCallAsThePlatformWould) {
  // Two calls so far (SetUp's); the 3rd, 4th, ... are the ones below.
  recorder_.FailCall(3, 0xC0262582);
  const MonitorEnumProc visit = [](MonitorHandle, DeviceContext, Rect*, intptr_t) { return 1; };
  EXPECT_FALSE(EnumDisplayMonitors(nullptr, nullptr, visit, 0));
  EXPECT_EQ(GetLastError(), 0xC0262582u);

  recorder_.FailCall(4, 0xC0262582);
  uint8_t bytes[4];
  EXPECT_EQ(BCryptGenRandom(nullptr, bytes, sizeof(bytes), kBcryptUseSystemPreferredRng),
            static_cast<NTSTATUS>(0xC0262582));

  // A refused mode change is logged and changes nothing.
  recorder_.FailCall(5, 0xC0262582);
  DisplayMode mode = {};
  mode.dmFields = kDmPosition;
  mode.dmPosition = {100, 0};
  EXPECT_EQ(ChangeDisplaySettingsExW(u"\\\\.\\DISPLAY1", &mode, 0), kDispChangeFailed);
  EXPECT_EQ(Current().call_log().lines().size(), 1u);
  EXPECT_EQ(Current().state().displays[0].mode.dmPosition.x, 0);

  // Handles are destroyed even when their release is made to fail.
  recorder_.FailCall(6, 0xC0262582);
  EXPECT_FALSE(DestroyPhysicalMonitors(static_cast<uint32_t>(monitors_.size()), monitors_.data()));
  monitors_.clear();
  EXPECT_EQ(Current().live_physical_monitors(), 0u);

  recorder_.FailCall(7, 0xC0262582);
  EXPECT_EQ(SendMessageTimeoutW(kHwndBroadcast, kWmSysCommand, 0xF170, 2, 2, 500, nullptr), 0);
  EXPECT_EQ(Current().call_log().lines().size(), 1u);  // the change only

  recorder_.FailCall(8, 0xC0262582);
  EXPECT_EQ(CoTaskMemAlloc(16), nullptr);
  EXPECT_EQ(LiveTaskMemBlocks(), 0u);
}

}  // namespace
}  // namespace monctl::sim
