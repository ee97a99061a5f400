// OPMGetVideoOutputsFromHMONITOR and the task memory of the native backend.
#include "platform/opm.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/backend.h"
#include "platform/sim/simulator.h"

namespace monctl::sim {
namespace {

using namespace monctl::platform;

class SimulatedOpmTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(InstallScenarioText(R"({"displays": [
        {"device": "\\\\.\\DISPLAY1", "physical": [{}]},
        {"device": "\\\\.\\DISPLAY2", "physical": [{}, {}],
         "opm": [{"connector": 5}, {"connector": 10, "fault": "start_fails"}]},
        {"device": "\\\\.\\DISPLAY3", "physical": [{}], "opm": []}]})",
                                    &error))
        << error;
    blocks_before_ = LiveTaskMemBlocks();
  }

  void TearDown() override {
    EXPECT_EQ(LiveTaskMemBlocks(), blocks_before_);
    Install(nullptr);
  }

  size_t blocks_before_ = 0;
};

TEST_F(SimulatedOpmTest, ADisplayWithoutOutputsFails) {
  uint32_t count = 7;
  OpmVideoOutput** outputs = reinterpret_cast<OpmVideoOutput**>(this);
  EXPECT_EQ(OPMGetVideoOutputsFromHMONITOR(MonitorHandleOf(0), kOpmVosOpmSemantics, &count, &outputs),
            kOpmNotSupported);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(outputs, nullptr);
}

TEST_F(SimulatedOpmTest, BadArgumentsAreRefused) {
  uint32_t count = 0;
  OpmVideoOutput** outputs = nullptr;
  EXPECT_EQ(OPMGetVideoOutputsFromHMONITOR(MonitorHandleOf(1), 0, &count, &outputs), kInvalidArg);
  EXPECT_EQ(OPMGetVideoOutputsFromHMONITOR(MonitorHandleOf(1), kOpmVosOpmSemantics, nullptr, &outputs),
            kPointer);
  EXPECT_EQ(OPMGetVideoOutputsFromHMONITOR(MonitorHandleOf(3), kOpmVosOpmSemantics, &count, &outputs),
            HresultFromWin32(kErrorInvalidMonitorHandle));
  EXPECT_EQ(OPMGetVideoOutputsFromHMONITOR(nullptr, kOpmVosOpmSemantics, &count, &outputs),
            HresultFromWin32(kErrorInvalidMonitorHandle));
  EXPECT_EQ(Current().live_opm_outputs(), 0u);
}

TEST_F(SimulatedOpmTest, AnEmptyListGivesNoOutputs) {
  uint32_t count = 7;
  OpmVideoOutput** outputs = nullptr;
  EXPECT_EQ(OPMGetVideoOutputsFromHMONITOR(MonitorHandleOf(2), kOpmVosOpmSemantics, &count, &outputs), kOk);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(outputs, nullptr);
}

TEST_F(SimulatedOpmTest, OutputsAreCountedUntilTheirLastReferenceIsReleased) {
  uint32_t count = 0;
  OpmVideoOutput** outputs = nullptr;
  ASSERT_EQ(OPMGetVideoOutputsFromHMONITOR(MonitorHandleOf(1), kOpmVosOpmSemantics, &count, &outputs), kOk);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(Current().live_opm_outputs(), 2u);
  EXPECT_EQ(LiveTaskMemBlocks(), blocks_before_ + 1);  // the array

  EXPECT_EQ(outputs[0]->AddRef(), 2u);
  EXPECT_EQ(outputs[0]->Release(), 1u);
  EXPECT_EQ(Current().live_opm_outputs(), 2u);
  EXPECT_EQ(outputs[0]->Release(), 0u);
  EXPECT_EQ(Current().live_opm_outputs(), 1u);
  EXPECT_EQ(outputs[1]->Release(), 0u);
  EXPECT_EQ(Current().live_opm_outputs(), 0u);
  CoTaskMemFree(outputs);
}

TEST_F(SimulatedOpmTest, OutputNOfADisplayIsTheDriverOutputForItsPhysicalMonitorN) {
  uint32_t count = 0;
  OpmVideoOutput** outputs = nullptr;
  ASSERT_EQ(OPMGetVideoOutputsFromHMONITOR(MonitorHandleOf(1), kOpmVosOpmSemantics, &count, &outputs), kOk);
  ASSERT_EQ(count, 2u);

  OpmRandomNumber random{};
  uint8_t* certificate = nullptr;
  uint32_t length = 0;
  ASSERT_EQ(outputs[0]->StartInitialization(&random, &certificate, &length), kOk);
  EXPECT_GT(length, 0u);
  EXPECT_EQ(LiveTaskMemBlocks(), blocks_before_ + 2);  // the array and the certificate
  CoTaskMemFree(certificate);
  // The second output carries the second entry's fault.
  EXPECT_TRUE(Failed(outputs[1]->StartInitialization(&random, &certificate, &length)));
  EXPECT_EQ(Current().call_log().lines(),
            (std::vector<std::string>{"OPM StartInitialization \\\\.\\DISPLAY2#0",
                                      "OPM StartInitialization \\\\.\\DISPLAY2#1"}));

  outputs[0]->Release();
  outputs[1]->Release();
  CoTaskMemFree(outputs);
  EXPECT_EQ(Current().live_opm_outputs(), 0u);
}

}  // namespace
}  // namespace monctl::sim
