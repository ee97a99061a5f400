// The simulated driver's own checks, which need no completed handshake.
#include "platform/sim/driver/opm_driver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/driver/driver_material.h"

namespace monctl::sim {
namespace {

using namespace platform;

class DriverTest : public ::testing::Test {
 protected:
  OpmVideoOutput* Make(OpmFault fault = OpmFault::kNone) {
    OpmOutputConfig config;
    config.connector = 10;
    config.fault = fault;
    output_ = CreateOpmOutput(config, "\\\\.\\DISPLAY3#1",
                              [this](const std::string& line) { log_.push_back(line); });
    return output_;
  }
  void TearDown() override {
    if (output_ != nullptr) {
      EXPECT_EQ(output_->Release(), 0u);
    }
  }

  OpmVideoOutput* output_ = nullptr;
  std::vector<std::string> log_;
};

// The names a scenario may give are checked against the documentation in
// the simulator's scenario loader tests; here, what must not be taken.
TEST(ParseOpmFaultTest, TakesNamesExactlyOnly) {
  OpmFault parsed = OpmFault::kBadTag;
  ASSERT_TRUE(ParseOpmFault("none", &parsed));
  EXPECT_EQ(parsed, OpmFault::kNone);
  EXPECT_FALSE(ParseOpmFault("None", &parsed));
  EXPECT_FALSE(ParseOpmFault("", &parsed));
  EXPECT_FALSE(ParseOpmFault("bad-tag", &parsed));
  EXPECT_FALSE(ParseOpmFault("bad_tag ", &parsed));
  EXPECT_EQ(parsed, OpmFault::kNone);
}

TEST_F(DriverTest, StartHandsOutTheCertificateMessageOfTheVariant) {
  struct Case {
    OpmFault fault;
    Bytes message;
  };
  const Case cases[] = {
      {OpmFault::kNone, StandardCertificateMessage()},
      {OpmFault::kBadTag, StandardCertificateMessage()},
      {OpmFault::kNoEku, NoUsageCertificateMessage()},
      {OpmFault::kTwoEkus, TwoUsagesCertificateMessage()},
      {OpmFault::kKey1024, ShortKeyCertificateMessage()},
      {OpmFault::kKey4096, LongKeyCertificateMessage()},
      {OpmFault::kEkuOnSecondCert, UsageOnSecondCertificateMessage()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.fault));
    if (output_ != nullptr) output_->Release();
    OpmVideoOutput* output = Make(c.fault);
    OpmRandomNumber random = {};
    uint8_t* certificate = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(output->StartInitialization(&random, &certificate, &length), kOk);
    ASSERT_NE(certificate, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(certificate, certificate + length),
              std::vector<uint8_t>(c.message.data, c.message.data + c.message.size));
    EXPECT_NE(random.abRandomNumber[0] | random.abRandomNumber[5] | random.abRandomNumber[15], 0)
        << "a random number of zeros";
    CoTaskMemFree(certificate);
  }
  EXPECT_EQ(log_.back(), "OPM StartInitialization \\\\.\\DISPLAY3#1");
}

TEST_F(DriverTest, StartFaultFailsAndHandsOutNothing) {
  OpmVideoOutput* output = Make(OpmFault::kStartFails);
  OpmRandomNumber random = {};
  uint8_t* certificate = nullptr;
  uint32_t length = 0;
  EXPECT_EQ(output->StartInitialization(&random, &certificate, &length), kOpmDriverInternalError);
  EXPECT_EQ(certificate, nullptr);
  EXPECT_EQ(log_, std::vector<std::string>{"OPM StartInitialization \\\\.\\DISPLAY3#1"});
}

TEST_F(DriverTest, RefusesParametersItCannotDecrypt) {
  OpmVideoOutput* output = Make();
  OpmEncryptedInitializationParameters parameters = {};
  // Before StartInitialization.
  EXPECT_EQ(output->FinishInitialization(&parameters), kOpmInvalidEncryptedParameters);

  OpmRandomNumber random = {};
  uint8_t* certificate = nullptr;
  uint32_t length = 0;
  ASSERT_EQ(output->StartInitialization(&random, &certificate, &length), kOk);
  CoTaskMemFree(certificate);
  std::memset(parameters.abEncryptedInitializationParameters, 0x42, 256);
  EXPECT_EQ(output->FinishInitialization(&parameters), kOpmInvalidEncryptedParameters);
}

TEST_F(DriverTest, RefusesRequestsBeforeTheHandshake) {
  OpmVideoOutput* output = Make();
  OpmGetInfoParameters request = {};
  request.ulSequenceNumber = 77;
  request.guidInformation = kOpmGetConnectorType;
  OpmRequestedInformation answer = {};
  EXPECT_EQ(output->GetInformation(&request, &answer), kOpmInvalidInformationRequest);
  // Logged all the same, with the number the request carried.
  EXPECT_EQ(log_, std::vector<std::string>{"OPM GetInformation \\\\.\\DISPLAY3#1 seq=77"});
}

TEST_F(DriverTest, CountsReferences) {
  OpmVideoOutput* output = Make();
  EXPECT_EQ(output->AddRef(), 2u);
  EXPECT_EQ(output->Release(), 1u);
}

}  // namespace
}  // namespace monctl::sim
