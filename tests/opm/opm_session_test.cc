// Session behaviour that needs no completed handshake: argument checks,
// failed handshakes and the references the session holds.
#include "opm/opm_session.h"

#include <gtest/gtest.h>

#include <memory>

#include "opm/opm_session_testing.h"
#include "platform/sim/driver/opm_driver.h"

namespace monctl::opm {
namespace {

using namespace platform;

platform::OpmVideoOutput* SimulatedOutput(sim::OpmFault fault, std::vector<std::string>* log) {
  sim::OpmOutputConfig config;
  config.connector = 5;
  config.fault = fault;
  return sim::CreateOpmOutput(config, "\\\\.\\DISPLAY1#0",
                              [log](const std::string& line) { log->push_back(line); });
}

TEST(OpmSessionTest, WithoutOutputsEveryQueryIsAnInvalidArgument) {
  COpmSession session;
  OpmStandardInformation information = {};
  EXPECT_EQ(session.QueryConnectorType(0, &information), kInvalidArg);
  EXPECT_EQ(session.SelectOutput(0), kInvalidArg);
  session.Close();  // nothing to release
  EXPECT_EQ(session.OutputCount(), 0u);
}

TEST(OpmSessionTest, MonitorWithoutOutputsLeavesTheSessionEmpty) {
  COpmSession session;
  EXPECT_TRUE(Failed(session.GetVideoOutputs(nullptr)));
  EXPECT_EQ(session.OutputCount(), 0u);
  EXPECT_FALSE(COpmSessionPeer::HasOutputs(session));
  OpmStandardInformation information = {};
  EXPECT_EQ(session.QueryConnectorType(0, &information), kInvalidArg);
}

TEST(OpmSessionTest, ChecksTheIndexAndTheEntries) {
  TestOutput output;
  COpmSession session;
  COpmSessionPeer::SetOutputs(session, {&output, nullptr});
  OpmStandardInformation information = {};
  EXPECT_EQ(session.QueryConnectorType(0, nullptr), kInvalidArg);
  EXPECT_EQ(session.QueryConnectorType(2, &information), kInvalidArg);
  EXPECT_EQ(session.QueryConnectorType(1, &information), kPointer);
  EXPECT_TRUE(output.calls().empty());
  session.Close();
  EXPECT_EQ(output.references(), 0);
}

TEST(OpmSessionTest, StartFailureIsTheResult) {
  TestOutput output;
  output.set_start_result(static_cast<HRESULT>(0xC0262500u));
  COpmSession session;
  COpmSessionPeer::SetOutputs(session, {&output});
  OpmStandardInformation information = {};
  EXPECT_EQ(session.QueryConnectorType(0, &information), static_cast<HRESULT>(0xC0262500u));
  EXPECT_EQ(output.calls(), std::vector<std::string>{"StartInitialization"});
  EXPECT_EQ(COpmSessionPeer::CurrentOutput(session), nullptr);
  // The reference held for the call is given back.
  EXPECT_EQ(output.references(), 1);
  session.Close();
  EXPECT_EQ(output.references(), 0);
}

TEST(OpmSessionTest, DriverWithoutTheRightCertificateIsRefused) {
  for (sim::OpmFault fault : {sim::OpmFault::kNoEku, sim::OpmFault::kTwoEkus}) {
    std::vector<std::string> log;
    TestOutput output(SimulatedOutput(fault, &log));
    COpmSession session;
    COpmSessionPeer::SetOutputs(session, {&output});
    OpmStandardInformation information = {};
    EXPECT_EQ(session.QueryConnectorType(0, &information), kFail);
    // The key exchange stops before anything is sent to the driver.
    EXPECT_EQ(output.calls(), std::vector<std::string>{"StartInitialization"});
    EXPECT_FALSE(COpmSessionPeer::HasDriverKey(session));
    EXPECT_EQ(COpmSessionPeer::CurrentOutput(session), nullptr);
  }
}

TEST(OpmSessionTest, StartFailureOfTheSimulatedDriverIsTheResult) {
  std::vector<std::string> log;
  TestOutput output(SimulatedOutput(sim::OpmFault::kStartFails, &log));
  COpmSession session;
  COpmSessionPeer::SetOutputs(session, {&output});
  OpmStandardInformation information = {};
  EXPECT_EQ(session.QueryConnectorType(0, &information), sim::kOpmDriverInternalError);
  EXPECT_EQ(log, std::vector<std::string>{"OPM StartInitialization \\\\.\\DISPLAY1#0"});
}

TEST(OpmSessionTest, InitializeOutputNeedsAnOutput) {
  COpmSession session;
  EXPECT_EQ(session.InitializeOutput(nullptr), kInvalidArg);
}

TEST(OpmSessionTest, CloseReleasesEveryOutputOnce) {
  TestOutput first;
  TestOutput second;
  {
    COpmSession session;
    COpmSessionPeer::SetOutputs(session, {&first, &second});
    session.Close();
    EXPECT_EQ(first.references(), 0);
    EXPECT_EQ(second.references(), 0);
    EXPECT_EQ(session.OutputCount(), 0u);
    EXPECT_FALSE(COpmSessionPeer::HasOutputs(session));
    // Closing again, and destroying, release nothing more.
    session.Close();
  }
  EXPECT_EQ(first.references(), 0);
  EXPECT_EQ(second.references(), 0);

  TestOutput third;
  {
    COpmSession session;
    COpmSessionPeer::SetOutputs(session, {&third});
  }
  EXPECT_EQ(third.references(), 0);
}

}  // namespace
}  // namespace monctl::opm
