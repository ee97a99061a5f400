// COpmSession against the simulated driver, which decrypts the handshake
// with its own key and checks and signs requests and answers with OpenSSL's
// CMAC; and the driver's own checks of what it is sent.
#include "opm/opm_session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "opm/opm_session_testing.h"
#include "platform/sim/driver/driver_crypto.h"
#include "platform/sim/driver/opm_driver.h"

namespace monctl::opm {
namespace {

using namespace platform;
using enum sim::OpmFault;

std::unique_ptr<TestOutput> Driver(sim::OpmFault fault = kNone, uint32_t status_flags = 0) {
  return std::make_unique<TestOutput>(sim::CreateOpmOutput({10, status_flags, fault}, "\\\\.\\DISPLAY1#0", nullptr));
}

TEST(OpmSessionTest, QueriesEveryVariantOfTheDriverTwice) {
  const HRESULT kInternal = sim::kOpmDriverInternalError, kRefused = sim::kOpmInvalidInformationRequest;
  const struct {
    sim::OpmFault fault;
    uint32_t status_flags;
    HRESULT first, second;
    const char* calls;
    uint32_t advance;    // from the first request's sequence number to the second's
    uint32_t connector;  // handed out by the first answer
  } rows[] = {
      {kNone, 0, kOk, kOk, "SFGG", 1, 10},
      {kEkuOnSecondCert, 0, kOk, kOk, "SFGG", 1, 10},
      {kLongAnswer, 0, kOk, kOk, "SFGG", 1, 10},  // only 32 bytes copied
      {kNone, 1, kFail, kFail, "SFGG", 1, 10},    // link lost
      {kWrongRandom, 0, kFail, kFail, "SFGG", 1, 10},
      {kEmptyAnswer, 0, kFail, kFail, "SFGG", 1, 0},
      {kBadTag, 0, kFail, kRefused, "SFGG", 0, 0},  // the driver counted it, the session not
      {kWrongSequence, 0, kRefused, kRefused, "SFGG", 0, 0},
      {kStartFails, 0, kInternal, kInternal, "SS", 0, 0},
      {kFinishFails, 0, kInternal, kInternal, "SFSF", 0, 0},
      {kNoEku, 0, kFail, kFail, "SS", 0, 0},
      {kTwoEkus, 0, kFail, kFail, "SS", 0, 0},
      {kKey1024, 0, kFail, kFail, "SS", 0, 0},  // ciphertext of 128 or 512 bytes: not sent
      {kKey4096, 0, kFail, kFail, "SS", 0, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "fault " << static_cast<int>(row.fault) << ", flags " << row.status_flags);
    auto output = Driver(row.fault, row.status_flags);
    COpmSession session;
    COpmSessionPeer::SetOutputs(session, {output.get()});
    struct {
      OpmStandardInformation information;
      uint8_t guard[16];
    } first = {};
    OpmStandardInformation second = {};
    EXPECT_EQ(session.QueryConnectorType(0, &first.information), row.first);
    EXPECT_EQ(session.QueryConnectorType(0, &second), row.second);
    EXPECT_EQ(output->calls, row.calls);
    EXPECT_EQ(output->sequences.size() == 2 ? output->sequences[1] - output->sequences[0] : 0, row.advance);
    EXPECT_EQ(first.information.ulInformation, row.connector);
    EXPECT_EQ(first.information.ulStatusFlags, row.connector == 0 ? 0 : row.status_flags);
    EXPECT_EQ(std::vector<uint8_t>(first.guard, first.guard + 16), std::vector<uint8_t>(16));
    session.Close();
    EXPECT_EQ(output->references, 0u);
  }
}

// A failed handshake keeps the current output, with the keys it chose.
TEST(OpmSessionTest, HandshakesWithTheOutputAsked) {
  std::unique_ptr<TestOutput> outputs[] = {Driver(), Driver(kFinishFails), Driver()};
  COpmSession session;
  COpmSessionPeer::SetOutputs(session, {outputs[0].get(), outputs[1].get(), outputs[2].get(), nullptr});
  OpmStandardInformation information = {};
  const std::pair<uint32_t, HRESULT> queries[] = {{0, kOk}, {1, sim::kOpmDriverInternalError},
                                                  {0, sim::kOpmInvalidInformationRequest}, {2, kOk}, {0, kOk},
                                                  {3, kPointer}, {4, kInvalidArg}};
  for (const auto& [index, result] : queries) EXPECT_EQ(session.QueryConnectorType(index, &information), result) << index;
  EXPECT_EQ(outputs[0]->calls + outputs[2]->calls, "SFGGSFG" "SFG");
  EXPECT_EQ(outputs[0]->references + outputs[2]->references, 3u);  // the array's and the current output's
  session.Close();
  for (const auto& output : outputs) EXPECT_EQ(output->references, 0u);
}

// A request with one byte changed before it is signed or after is refused;
// so is one that was answered already.
TEST(SimulatedDriverTest, AnswersOnlyTheRequestItExpects) {
  auto output = Driver();
  COpmSession session;
  COpmSessionPeer::SetOutputs(session, {output.get()});
  ASSERT_EQ(session.SelectOutput(0), kOk);
  std::vector<uint8_t> plain;
  ASSERT_EQ(sim::DecryptWithDriverKey(sim::MainDriverKey(), output->parameters.abEncryptedInitializationParameters,
                                      256, &plain), kOk);
  auto send = [&](size_t changed, bool before) {
    OpmGetInfoParameters request = {};
    request.guidInformation = kOpmGetConnectorType;
    std::memcpy(&request.ulSequenceNumber, plain.data() + 32, 4);
    auto* bytes = reinterpret_cast<uint8_t*>(&request);
    if (before && changed < sizeof(request)) bytes[changed] ^= 1;
    EXPECT_EQ(sim::ComputeCmac(plain.data() + 16, bytes + 16, 4096, request.omac.abOMAC), kOk);
    if (!before && changed < sizeof(request)) bytes[changed] ^= 1;
    OpmRequestedInformation answer;
    return output->GetInformation(&request, &answer);
  };
  const std::pair<size_t, bool> changes[] = {
      {0, false}, {sizeof(OpmGetInfoParameters) - 1, false}, {offsetof(OpmGetInfoParameters, ulSequenceNumber), true},
      {offsetof(OpmGetInfoParameters, guidInformation), true}, {offsetof(OpmGetInfoParameters, guidInformation) + 15, true},
      {offsetof(OpmGetInfoParameters, cbParametersSize), true}};
  for (const auto& [changed, before] : changes) EXPECT_EQ(send(changed, before), sim::kOpmInvalidInformationRequest) << changed;
  EXPECT_EQ(send(SIZE_MAX, false), kOk);
  EXPECT_EQ(send(SIZE_MAX, false), sim::kOpmInvalidInformationRequest);
  EXPECT_EQ(output->inner->AddRef(), 2u);  // the driver's own count
  EXPECT_EQ(output->inner->Release(), 1u);
}

}  // namespace
}  // namespace monctl::opm
