// The session against the simulated driver, which decrypts the handshake
// with its private key and checks and signs every request and answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "opm/omac.h"
#include "opm/opm_session.h"
#include "opm/opm_session_testing.h"
#include "platform/sim/backend.h"
#include "platform/sim/driver/opm_driver.h"

namespace monctl::opm {
namespace {

using namespace platform;

const std::string kName0 = "\\\\.\\DISPLAY2#0";
const std::string kName1 = "\\\\.\\DISPLAY2#1";

class HandshakeTest : public ::testing::Test {
 protected:
  // An output of the simulated driver, wrapped to count references.
  TestOutput* Add(sim::OpmFault fault = sim::OpmFault::kNone, uint32_t connector = 10,
                  uint32_t status_flags = 0) {
    sim::OpmOutputConfig config;
    config.connector = connector;
    config.status_flags = status_flags;
    config.fault = fault;
    const std::string name = outputs_.empty() ? kName0 : kName1;
    outputs_.push_back(std::make_unique<TestOutput>(
        sim::CreateOpmOutput(config, name, [this](const std::string& line) { log_.push_back(line); })));
    return outputs_.back().get();
  }

  // Hands the outputs added so far to the session.
  void Bind() {
    std::vector<OpmVideoOutput*> outputs;
    for (auto& output : outputs_) outputs.push_back(output.get());
    COpmSessionPeer::SetOutputs(session_, outputs);
  }

  HRESULT Query(uint32_t index, OpmStandardInformation* information) {
    std::memset(information, 0, sizeof(*information));
    return session_.QueryConnectorType(index, information);
  }

  std::string Request(const std::string& name, uint32_t sequence) const {
    return "OPM GetInformation " + name + " seq=" + std::to_string(sequence);
  }
  std::string Start(const std::string& name) const { return "OPM StartInitialization " + name; }

  // Closes the session; every reference it held must be given back.
  void Reset() {
    session_.Close();
    for (auto& output : outputs_) EXPECT_EQ(output->references(), 0);
    outputs_.clear();
    log_.clear();
  }

  void TearDown() override { Reset(); }

  std::vector<std::string> log_;
  std::vector<std::unique_ptr<TestOutput>> outputs_;  // outlive the session
  COpmSession session_;
};

TEST_F(HandshakeTest, AnswersTheConnectorType) {
  Add(sim::OpmFault::kNone, 0x80000005u);
  Bind();
  const size_t blocks = sim::LiveTaskMemBlocks();
  OpmStandardInformation information;
  ASSERT_EQ(Query(0, &information), kOk);
  // Passed on whole: the report looks at the low 16 bits.
  EXPECT_EQ(information.ulInformation, 0x80000005u);
  EXPECT_EQ(information.ulStatusFlags, 0u);
  EXPECT_TRUE(COpmSessionPeer::HasDriverKey(session_));
  EXPECT_EQ(COpmSessionPeer::CurrentOutput(session_), outputs_[0].get());
  // The certificate message is given back.
  EXPECT_EQ(sim::LiveTaskMemBlocks(), blocks);
  ASSERT_EQ(log_.size(), 2u);
  EXPECT_EQ(log_[0], Start(kName0));
  EXPECT_EQ(log_[1], Request(kName0, outputs_[0]->sequences()[0]));
}

TEST_F(HandshakeTest, SecondQueryOfAnOutputCarriesTheNextSequenceNumber) {
  Add();
  Bind();
  OpmStandardInformation information;
  ASSERT_EQ(Query(0, &information), kOk);
  const auto key = COpmSessionPeer::SessionKey(session_);
  const uint32_t first = outputs_[0]->sequences()[0];
  EXPECT_EQ(COpmSessionPeer::StatusSequence(session_), first + 1);
  ASSERT_EQ(Query(0, &information), kOk);
  EXPECT_EQ(information.ulInformation, 10u);
  EXPECT_EQ(log_, (std::vector<std::string>{Start(kName0), Request(kName0, first),
                                           Request(kName0, first + 1)}));
  EXPECT_EQ(COpmSessionPeer::SessionKey(session_), key);
}

TEST_F(HandshakeTest, TwoOutputsRunTwoHandshakes) {
  Add(sim::OpmFault::kNone, 10);
  Add(sim::OpmFault::kNone, 4);
  Bind();
  OpmStandardInformation information;
  ASSERT_EQ(Query(0, &information), kOk);
  EXPECT_EQ(information.ulInformation, 10u);
  const auto first_key = COpmSessionPeer::SessionKey(session_);
  const uint32_t first_command = COpmSessionPeer::CommandSequence(session_);

  ASSERT_EQ(Query(1, &information), kOk);
  EXPECT_EQ(information.ulInformation, 4u);
  EXPECT_EQ(COpmSessionPeer::CurrentOutput(session_), outputs_[1].get());
  EXPECT_NE(COpmSessionPeer::SessionKey(session_), first_key);
  EXPECT_NE(COpmSessionPeer::CommandSequence(session_), first_command);
  // The first output is no longer held as the current one.
  EXPECT_EQ(outputs_[0]->references(), 1);
  EXPECT_EQ(outputs_[1]->references(), 2);

  // Back to the first output: a third handshake.
  ASSERT_EQ(Query(0, &information), kOk);
  EXPECT_EQ(log_.size(), 6u);
  EXPECT_EQ(log_[0], Start(kName0));
  EXPECT_EQ(log_[2], Start(kName1));
  EXPECT_EQ(log_[3], Request(kName1, outputs_[1]->sequences()[0]));
  EXPECT_EQ(log_[4], Start(kName0));
}

TEST_F(HandshakeTest, RefusesEveryFaultyDriver) {
  struct Case {
    sim::OpmFault fault;
    HRESULT result;
    bool handshake_done;
  };
  const Case cases[] = {
      {sim::OpmFault::kStartFails, sim::kOpmDriverInternalError, false},
      {sim::OpmFault::kFinishFails, sim::kOpmDriverInternalError, false},
      {sim::OpmFault::kNoEku, kFail, false},
      {sim::OpmFault::kTwoEkus, kFail, false},
      // Ciphertexts of 128 and 512 bytes: never handed to the driver.
      {sim::OpmFault::kKey1024, kFail, false},
      {sim::OpmFault::kKey4096, kFail, false},
      {sim::OpmFault::kBadTag, kFail, true},
      {sim::OpmFault::kWrongRandom, kFail, true},
      {sim::OpmFault::kEmptyAnswer, kFail, true},
      {sim::OpmFault::kWrongSequence, sim::kOpmInvalidInformationRequest, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.fault));
    Reset();
    TestOutput* output = Add(c.fault);
    Bind();
    OpmStandardInformation information;
    EXPECT_EQ(Query(0, &information), c.result);
    EXPECT_EQ(COpmSessionPeer::CurrentOutput(session_) != nullptr, c.handshake_done);
    const bool finished = std::find(output->calls().begin(), output->calls().end(),
                                    "FinishInitialization") != output->calls().end();
    if (c.fault == sim::OpmFault::kKey1024 || c.fault == sim::OpmFault::kKey4096) {
      EXPECT_FALSE(finished);
    }
  }
}

TEST_F(HandshakeTest, EmptyAnswerLeavesTheInformationZero) {
  Add(sim::OpmFault::kEmptyAnswer);
  Bind();
  OpmStandardInformation information;
  EXPECT_EQ(Query(0, &information), kFail);
  const OpmStandardInformation zero = {};
  EXPECT_EQ(std::memcmp(&information, &zero, sizeof(zero)), 0);
  // The tag verified: the sequence number has advanced.
  EXPECT_EQ(COpmSessionPeer::StatusSequence(session_), outputs_[0]->sequences()[0] + 1);
}

TEST_F(HandshakeTest, AcceptsTheTolerableVariants) {
  Add(sim::OpmFault::kEkuOnSecondCert, 10);
  Add(sim::OpmFault::kLongAnswer, 5);
  Bind();
  OpmStandardInformation information;
  EXPECT_EQ(Query(0, &information), kOk);
  EXPECT_EQ(information.ulInformation, 10u);

  // Only the 32 bytes of the standard information are copied.
  struct {
    OpmStandardInformation information;
    uint8_t guard[32];
  } padded;
  std::memset(&padded, 0x5A, sizeof(padded));
  std::memset(&padded.information, 0, sizeof(padded.information));
  ASSERT_EQ(session_.QueryConnectorType(1, &padded.information), kOk);
  EXPECT_EQ(padded.information.ulInformation, 5u);
  for (uint8_t byte : padded.guard) ASSERT_EQ(byte, 0x5A);
}

TEST_F(HandshakeTest, StatusFlagsFailAfterTheSequenceNumberAdvanced) {
  Add(sim::OpmFault::kNone, 10, 0x1);  // OPM_STATUS_LINK_LOST
  Bind();
  OpmStandardInformation information;
  EXPECT_EQ(Query(0, &information), kFail);
  EXPECT_EQ(information.ulStatusFlags, 1u);
  EXPECT_EQ(Query(0, &information), kFail);
  const auto& sequences = outputs_[0]->sequences();
  ASSERT_EQ(sequences.size(), 2u);
  EXPECT_EQ(sequences[1], sequences[0] + 1);
}

TEST_F(HandshakeTest, RejectedRequestDoesNotAdvanceTheSequenceNumber) {
  Add(sim::OpmFault::kWrongSequence);
  Bind();
  OpmStandardInformation information;
  EXPECT_EQ(Query(0, &information), sim::kOpmInvalidInformationRequest);
  EXPECT_EQ(Query(0, &information), sim::kOpmInvalidInformationRequest);
  const auto& sequences = outputs_[0]->sequences();
  ASSERT_EQ(sequences.size(), 2u);
  EXPECT_EQ(sequences[1], sequences[0]);
}

// Signs answers with the session's key, as a driver that agrees with any
// sequence number would.
TestOutput::Answer SignedAnswer(const COpmSession* session, uint32_t connector) {
  return [session, connector](const OpmGetInfoParameters* request,
                              OpmRequestedInformation* answer) {
    std::memset(answer, 0, sizeof(*answer));
    OpmStandardInformation information = {};
    information.rnRandomNumber = request->rnRandomNumber;
    information.ulInformation = connector;
    std::memcpy(answer->abRequestedInformation, &information, sizeof(information));
    answer->cbRequestedInformationSize = sizeof(information);
    const auto key = COpmSessionPeer::SessionKey(*session);
    return ComputeOmac(key.data(), reinterpret_cast<const uint8_t*>(&answer->cbRequestedInformationSize),
                       4080, answer->omac.abOMAC);
  };
}

TEST_F(HandshakeTest, SequenceNumberWrapsAfterAllOnes) {
  TestOutput* output = Add();
  Bind();
  OpmStandardInformation information;
  ASSERT_EQ(Query(0, &information), kOk);
  output->set_answer(SignedAnswer(&session_, 3));
  COpmSessionPeer::SetStatusSequence(session_, 0xFFFFFFFFu);
  ASSERT_EQ(Query(0, &information), kOk);
  EXPECT_EQ(COpmSessionPeer::StatusSequence(session_), 0u);
  ASSERT_EQ(Query(0, &information), kOk);
  EXPECT_EQ(information.ulInformation, 3u);
  ASSERT_EQ(output->sequences().size(), 3u);
  EXPECT_EQ(output->sequences()[1], 0xFFFFFFFFu);
  EXPECT_EQ(output->sequences()[2], 0u);
}

TEST_F(HandshakeTest, FailedInformationRequestIsTheResult) {
  TestOutput* output = Add();
  Bind();
  OpmStandardInformation information;
  ASSERT_EQ(Query(0, &information), kOk);
  output->set_answer([](const OpmGetInfoParameters*, OpmRequestedInformation*) {
    return static_cast<HRESULT>(0xC0262519u);
  });
  const uint32_t sequence = COpmSessionPeer::StatusSequence(session_);
  EXPECT_EQ(Query(0, &information), static_cast<HRESULT>(0xC0262519u));
  EXPECT_EQ(COpmSessionPeer::StatusSequence(session_), sequence);
}

TEST_F(HandshakeTest, FailedHandshakeKeepsTheCurrentOutput) {
  Add();
  Add(sim::OpmFault::kFinishFails);
  Bind();
  OpmStandardInformation information;
  ASSERT_EQ(Query(0, &information), kOk);
  EXPECT_EQ(Query(1, &information), sim::kOpmDriverInternalError);
  EXPECT_EQ(COpmSessionPeer::CurrentOutput(session_), outputs_[0].get());
  EXPECT_EQ(outputs_[1]->references(), 1);
}

TEST_F(HandshakeTest, CloseKeepsOnlyTheSessionKey) {
  Add();
  Bind();
  OpmStandardInformation information;
  ASSERT_EQ(Query(0, &information), kOk);
  const auto key = COpmSessionPeer::SessionKey(session_);
  session_.Close();
  EXPECT_EQ(outputs_[0]->references(), 0);
  EXPECT_EQ(COpmSessionPeer::CurrentOutput(session_), nullptr);
  EXPECT_FALSE(COpmSessionPeer::HasDriverKey(session_));
  EXPECT_EQ(COpmSessionPeer::StatusSequence(session_), 0u);
  EXPECT_EQ(COpmSessionPeer::CommandSequence(session_), 0u);
  EXPECT_EQ(session_.OutputCount(), 0u);
  EXPECT_EQ(COpmSessionPeer::SessionKey(session_), key);
}

}  // namespace
}  // namespace monctl::opm
