// The fault layer: the record of the calls that a test can make fail, and
// how the chosen call fails.
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

constexpr uint32_t kError = 0xC0262582;

class FaultsTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(InstallScenarioText(R"({"displays": [
        {"device": "D1", "physical": [{"fail": {"GetMonitorContrast": 5}}, {}], "opm": [{"connector": 5}]},
        {"device": "D2", "physical": [{}], "fail": {"GetMonitorInfoW": 31}}]})",
                                    &error))
        << error;
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

  static bool Brightness(PhysicalMonitorHandle monitor) {
    uint32_t minimum, current, maximum;
    return GetMonitorBrightness(monitor, &minimum, &current, &maximum);
  }
  static bool Contrast(PhysicalMonitorHandle monitor) {
    uint32_t minimum, current, maximum;
    return GetMonitorContrast(monitor, &minimum, &current, &maximum);
  }

  CallRecorder recorder_;
  std::vector<PhysicalMonitor> monitors_;
};

// The calls so far are SetUp's two; FailCall counts only the calls that
// the scenario lets succeed.
TEST_F(FaultsTest, RecordsEachCallAndFailsTheChosenOneOnce) {
  recorder_.FailCall(5, kError);
  MonitorInfo info = {};
  EXPECT_FALSE(GetMonitorInfoW(MonitorHandleOf(1), &info));  // the scenario's
  EXPECT_TRUE(Brightness(monitors_[0].hPhysicalMonitor));     // 3rd
  EXPECT_FALSE(Contrast(monitors_[0].hPhysicalMonitor));      // the scenario's
  EXPECT_EQ(GetLastError(), 5u);
  DisplayDevice device = {};
  EXPECT_TRUE(EnumDisplayDevicesW(nullptr, 1, &device, 0));  // 4th
  EXPECT_FALSE(EnumDisplayDevicesW(u"D1", 1, &device, 0));   // 5th: fails
  EXPECT_EQ(GetLastError(), kError);
  EXPECT_TRUE(EnumDisplayDevicesW(u"D1", 1, &device, 0));  // only once
  // Not recorded: a handle that the stack never handed out.
  EXPECT_FALSE(Brightness(reinterpret_cast<PhysicalMonitorHandle>(uintptr_t{1} << 40)));
  // A call of the rest of the run, on the display of the call before it.
  uint8_t bytes[4];
  EXPECT_EQ(BCryptGenRandom(nullptr, bytes, sizeof(bytes), kBcryptUseSystemPreferredRng), kStatusSuccess);

  const std::vector<CallRecord>& calls = recorder_.calls();
  const std::vector<CallRecord> expected = {
      {Call::kGetNumberOfPhysicalMonitorsFromHMONITOR, 0, {}, false},
      {Call::kGetPhysicalMonitorsFromHMONITOR, 0, {}, false},
      {Call::kGetMonitorInfoW, 1, {}, true},
      {Call::kGetMonitorBrightness, 0, 0, false},
      {Call::kGetMonitorContrast, 0, 0, true},
      {Call::kEnumDisplayDevicesW, 1, {}, false},
      {Call::kEnumDisplayDevicesW, 0, 1, true},
      {Call::kEnumDisplayDevicesW, 0, 1, false},
      {Call::kBCryptGenRandom, 0, {}, false},
  };
  ASSERT_EQ(calls.size(), expected.size());
  for (size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(NameOf(calls[i].call), NameOf(expected[i].call));
    EXPECT_EQ(calls[i].display, expected[i].display);
    EXPECT_EQ(calls[i].index, expected[i].index);
    EXPECT_EQ(calls[i].failed, expected[i].failed);
  }
  EXPECT_EQ(recorder_.succeeding_calls(), 7u);
}

// Each failure as the platform's own: calls 3, 4, ... are the ones below.
TEST_F(FaultsTest, FailsTheChosenCallAsThePlatformWould) {
  size_t next = 3;
  auto fail_next = [&] { recorder_.FailCall(next++, kError); };
  fail_next();
  const MonitorEnumProc visit = [](MonitorHandle, DeviceContext, Rect*, intptr_t) { return 1; };
  EXPECT_FALSE(EnumDisplayMonitors(nullptr, nullptr, visit, 0));
  EXPECT_EQ(GetLastError(), kError);
  fail_next();
  uint8_t bytes[4];
  EXPECT_EQ(BCryptGenRandom(nullptr, bytes, sizeof(bytes), kBcryptUseSystemPreferredRng),
            static_cast<NTSTATUS>(kError));
  // A failed set changes nothing and logs nothing.
  fail_next();
  EXPECT_FALSE(SetMonitorBrightness(monitors_[1].hPhysicalMonitor, 70));
  EXPECT_EQ(Current().state().displays[0].physical[1].brightness.current, 50u);
  // A refused mode change is logged and changes nothing.
  fail_next();
  DisplayMode mode = {};
  mode.dmFields = kDmPosition;
  mode.dmPosition = {100, 0};
  EXPECT_EQ(ChangeDisplaySettingsExW(u"D1", &mode, 0), kDispChangeFailed);
  EXPECT_EQ(Current().state().displays[0].mode.dmPosition.x, 0);
  fail_next();
  EXPECT_EQ(SendMessageTimeoutW(kHwndBroadcast, kWmSysCommand, 0xF170, 2, 2, 500, nullptr), 0);
  EXPECT_EQ(Current().call_log().lines().size(), 1u);  // the mode change only
  fail_next();
  EXPECT_EQ(CoTaskMemAlloc(16), nullptr);
  EXPECT_EQ(LiveTaskMemBlocks(), 0u);
  // Handles are destroyed even when their release is made to fail.
  fail_next();
  EXPECT_FALSE(DestroyPhysicalMonitors(static_cast<uint32_t>(monitors_.size()), monitors_.data()));
  monitors_.clear();
  EXPECT_EQ(Current().live_physical_monitors(), 0u);

  // The OPM calls fail with HRESULT_FROM_WIN32 of the error, by display and
  // output; what the simulated driver calls itself (its random number, its
  // certificate's task memory) is neither recorded nor failed.
  fail_next();
  uint32_t count = 0;
  OpmVideoOutput** outputs = nullptr;
  EXPECT_EQ(OPMGetVideoOutputsFromHMONITOR(MonitorHandleOf(0), kOpmVosOpmSemantics, &count, &outputs),
            HresultFromWin32(kError));
  EXPECT_EQ(Current().live_opm_outputs(), 0u);
  ASSERT_EQ(OPMGetVideoOutputsFromHMONITOR(MonitorHandleOf(0), kOpmVosOpmSemantics, &count, &outputs), kOk);
  OpmRandomNumber random = {};
  uint8_t* certificate = nullptr;
  uint32_t length = 0;
  ASSERT_EQ(outputs[0]->StartInitialization(&random, &certificate, &length), kOk);
  CoTaskMemFree(certificate);
  certificate = nullptr;
  recorder_.FailCall(next + 2, kError);  // after the outputs and the first start
  EXPECT_EQ(outputs[0]->StartInitialization(&random, &certificate, &length), static_cast<HRESULT>(kError));
  EXPECT_EQ(certificate, nullptr);
  const std::vector<CallRecord>& calls = recorder_.calls();
  ASSERT_EQ(calls.size(), next + 2);
  EXPECT_EQ(NameOf(calls.back().call), "IOPMVideoOutput::StartInitialization");
  EXPECT_EQ(calls.back().display, 0u);
  EXPECT_EQ(calls.back().index, 0u);
  outputs[0]->Release();
  CoTaskMemFree(outputs);
}

}  // namespace
}  // namespace monctl::sim
