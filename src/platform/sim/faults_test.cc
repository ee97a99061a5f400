// The fault layer: the record of the calls that a test can make fail, and
// how the chosen call fails where a run of the tool does not show it.
#include "platform/sim/faults.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
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
    uint32_t count = 2;
    ASSERT_TRUE(GetPhysicalMonitorsFromHMONITOR(MonitorHandleOf(0), count, monitors_));
  }
  void TearDown() override {
    ArmFaults(nullptr);
    Install(nullptr);
  }

  CallRecorder recorder_;
  PhysicalMonitor monitors_[2];
};

// FailCall counts only the calls that the scenario lets succeed; SetUp's
// call is the first.
TEST_F(FaultsTest, RecordsEachCallAndFailsTheChosenOneOnce) {
  recorder_.FailCall(4, kError);
  uint32_t a, b, c;
  MonitorInfo info = {};
  DisplayDevice device = {};
  EXPECT_FALSE(GetMonitorInfoW(MonitorHandleOf(1), &info));                      // the scenario's
  EXPECT_TRUE(GetMonitorBrightness(monitors_[1].hPhysicalMonitor, &a, &b, &c));  // 2nd
  EXPECT_FALSE(GetMonitorContrast(monitors_[0].hPhysicalMonitor, &a, &b, &c));   // the scenario's
  EXPECT_EQ(GetLastError(), 5u);
  EXPECT_TRUE(EnumDisplayDevicesW(nullptr, 1, &device, 0));  // 3rd
  EXPECT_FALSE(EnumDisplayDevicesW(u"D1", 1, &device, 0));   // 4th: fails
  EXPECT_EQ(GetLastError(), kError);
  EXPECT_TRUE(EnumDisplayDevicesW(u"D1", 1, &device, 0));  // only once
  // Not recorded: a handle that the stack never handed out.
  EXPECT_FALSE(GetMonitorBrightness(reinterpret_cast<PhysicalMonitorHandle>(uintptr_t{1} << 40), &a, &b, &c));
  // A call of the rest of the run, on the display of the call before it.
  uint8_t bytes[4];
  EXPECT_EQ(BCryptGenRandom(nullptr, bytes, sizeof(bytes), kBcryptUseSystemPreferredRng), kStatusSuccess);

  const std::vector<CallRecord> expected = {
      {Call::kGetPhysicalMonitorsFromHMONITOR, 0, {}, false}, {Call::kGetMonitorInfoW, 1, {}, true},
      {Call::kGetMonitorBrightness, 0, 1, false},             {Call::kGetMonitorContrast, 0, 0, true},
      {Call::kEnumDisplayDevicesW, 1, {}, false},             {Call::kEnumDisplayDevicesW, 0, 1, true},
      {Call::kEnumDisplayDevicesW, 0, 1, false},              {Call::kBCryptGenRandom, 0, {}, false},
  };
  ASSERT_EQ(recorder_.calls().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const CallRecord& call = recorder_.calls()[i];
    EXPECT_EQ(std::tuple(call.call, call.display, call.index, call.failed),
              std::tuple(expected[i].call, expected[i].display, expected[i].index, expected[i].failed))
        << i;
  }
  EXPECT_EQ(recorder_.succeeding_calls(), 6u);
}

TEST_F(FaultsTest, FailsTheChosenCallAsThePlatformWould) {
  size_t next = 2;
  recorder_.FailCall(next++, kError);
  const MonitorEnumProc visit = [](MonitorHandle, DeviceContext, Rect*, intptr_t) { return 1; };
  EXPECT_FALSE(EnumDisplayMonitors(nullptr, nullptr, visit, 0));
  EXPECT_EQ(GetLastError(), kError);
  recorder_.FailCall(next++, kError);
  uint8_t bytes[4];
  EXPECT_EQ(BCryptGenRandom(nullptr, bytes, sizeof(bytes), kBcryptUseSystemPreferredRng),
            static_cast<NTSTATUS>(kError));
  // A failed set and a refused mode change change nothing.
  recorder_.FailCall(next++, kError);
  EXPECT_FALSE(SetMonitorBrightness(monitors_[1].hPhysicalMonitor, 70));
  EXPECT_EQ(Current().state().displays[0].physical[1].brightness.current, 50u);
  recorder_.FailCall(next++, kError);
  DisplayMode mode = {};
  mode.dmFields = kDmPosition;
  mode.dmPosition = {100, 0};
  EXPECT_EQ(ChangeDisplaySettingsExW(u"D1", &mode, 0), kDispChangeFailed);
  EXPECT_EQ(Current().state().displays[0].mode.dmPosition.x, 0);
  // Handles are destroyed even when their release is made to fail.
  recorder_.FailCall(next++, kError);
  EXPECT_FALSE(DestroyPhysicalMonitors(2, monitors_));
  EXPECT_EQ(Current().live_physical_monitors(), 0u);

  // The OPM calls fail with HRESULT_FROM_WIN32 of the error, on their
  // display and output; the driver's own calls (its random number, its
  // certificate's task memory) are neither recorded nor failed.
  uint32_t count = 0;
  OpmVideoOutput** outputs = nullptr;
  ASSERT_EQ(OPMGetVideoOutputsFromHMONITOR(MonitorHandleOf(0), kOpmVosOpmSemantics, &count, &outputs), kOk);
  recorder_.FailCall(next + 1, kError);
  OpmRandomNumber random = {};
  uint8_t* certificate = nullptr;
  uint32_t length = 0;
  EXPECT_EQ(outputs[0]->StartInitialization(&random, &certificate, &length), HresultFromWin32(kError));
  EXPECT_EQ(certificate, nullptr);
  ASSERT_EQ(recorder_.calls().size(), next + 1);
  EXPECT_EQ(recorder_.calls().back().call, Call::kStartInitialization);
  EXPECT_EQ(recorder_.calls().back().index, 0u);
  ASSERT_EQ(outputs[0]->StartInitialization(&random, &certificate, &length), kOk);
  EXPECT_EQ(recorder_.calls().size(), next + 2);
  CoTaskMemFree(certificate);
  outputs[0]->Release();
  CoTaskMemFree(outputs);
}

}  // namespace
}  // namespace monctl::sim
