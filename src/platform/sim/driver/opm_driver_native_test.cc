// The simulated driver's keys and its checks of signed requests, natively,
// where the tool's side of the handshake can run.
#include <openssl/bn.h>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "opm/omac.h"
#include "opm/opm_session.h"
#include "opm/opm_session_testing.h"
#include "platform/sim/driver/cmac_testing.h"
#include "platform/sim/driver/driver_crypto.h"
#include "platform/sim/driver/driver_material.h"
#include "platform/sim/driver/opm_driver.h"

namespace monctl::sim {
namespace {

using namespace platform;

std::unique_ptr<BIGNUM, decltype(&BN_free)> Number(const Bytes& bytes) {
  return {BN_bin2bn(bytes.data, static_cast<int>(bytes.size), nullptr), BN_free};
}

TEST(DriverMaterialTest, KeysAreWhatTheyClaim) {
  std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)> context(BN_CTX_new(), BN_CTX_free);
  for (const DriverKey* key :
       {&MainDriverKey(), &DecoyDriverKey(), &ShortDriverKey(), &LongDriverKey()}) {
    SCOPED_TRACE(key->bits);
    auto modulus = Number(key->modulus);
    EXPECT_EQ(BN_num_bits(modulus.get()), static_cast<int>(key->bits));
    auto product = Number({nullptr, 0});
    product.reset(BN_new());
    ASSERT_EQ(BN_mul(product.get(), Number(key->prime1).get(), Number(key->prime2).get(),
                     context.get()),
              1);
    EXPECT_EQ(BN_cmp(product.get(), modulus.get()), 0);
    EXPECT_EQ(BN_get_word(Number(key->exponent).get()), 65537u);
  }
  EXPECT_NE(std::memcmp(MainDriverKey().modulus.data, DecoyDriverKey().modulus.data, 256), 0);
}

TEST(DriverMaterialTest, DecryptsWhatTheOpensslCommandEncrypted) {
  const Bytes ciphertext = SampleCiphertext();
  const Bytes plaintext = SamplePlaintext();
  std::vector<uint8_t> decrypted;
  ASSERT_EQ(DecryptWithDriverKey(MainDriverKey(), ciphertext.data, ciphertext.size, &decrypted),
            kOk);
  EXPECT_EQ(decrypted, std::vector<uint8_t>(plaintext.data, plaintext.data + plaintext.size));
  // Not with another key.
  EXPECT_TRUE(
      Failed(DecryptWithDriverKey(DecoyDriverKey(), ciphertext.data, ciphertext.size, &decrypted)));
}

TEST(DriverMaterialTest, TagsAreAesCmac) {
  for (const CmacExample& example : kCmacExamples) {
    std::array<uint8_t, 16> tag{};
    ASSERT_EQ(ComputeCmac(kCmacExampleKey, kCmacExampleMessage, example.length, tag.data()), kOk);
    EXPECT_EQ(tag, example.tag) << example.length << " bytes";
  }
}

// A driver output after a completed handshake, and requests signed with
// the session's key.
class SignedRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OpmOutputConfig config;
    config.connector = 8;
    output_ = std::make_unique<opm::TestOutput>(CreateOpmOutput(
        config, "\\\\.\\DISPLAY1#0", [this](const std::string& line) { log_.push_back(line); }));
    opm::COpmSessionPeer::SetOutputs(session_, {output_.get()});
    OpmStandardInformation information = {};
    ASSERT_EQ(session_.QueryConnectorType(0, &information), kOk);
    key_ = opm::COpmSessionPeer::SessionKey(session_);
    sequence_ = opm::COpmSessionPeer::StatusSequence(session_);
  }
  void TearDown() override { session_.Close(); }

  OpmGetInfoParameters Request() {
    OpmGetInfoParameters request = {};
    request.rnRandomNumber.abRandomNumber[3] = 0x33;
    request.guidInformation = kOpmGetConnectorType;
    request.ulSequenceNumber = sequence_;
    return request;
  }
  void Sign(OpmGetInfoParameters* request) {
    ASSERT_EQ(opm::ComputeOmac(key_.data(), reinterpret_cast<const uint8_t*>(&request->rnRandomNumber),
                               4096, request->omac.abOMAC),
              kOk);
  }
  HRESULT Send(const OpmGetInfoParameters& request, OpmRequestedInformation* answer) {
    std::memset(answer, 0, sizeof(*answer));
    return output_->GetInformation(&request, answer);
  }

  std::vector<std::string> log_;
  std::unique_ptr<opm::TestOutput> output_;
  opm::COpmSession session_;
  std::array<uint8_t, 16> key_{};
  uint32_t sequence_ = 0;
};

TEST_F(SignedRequestTest, AnswersASignedRequestWithASignedAnswer) {
  OpmGetInfoParameters request = Request();
  Sign(&request);
  OpmRequestedInformation answer;
  ASSERT_EQ(Send(request, &answer), kOk);
  uint8_t tag[16];
  ASSERT_EQ(opm::ComputeOmac(key_.data(),
                             reinterpret_cast<const uint8_t*>(&answer.cbRequestedInformationSize),
                             4080, tag),
            kOk);
  EXPECT_EQ(std::memcmp(tag, answer.omac.abOMAC, 16), 0);
  EXPECT_EQ(answer.cbRequestedInformationSize, 32u);
  OpmStandardInformation information;
  std::memcpy(&information, answer.abRequestedInformation, sizeof(information));
  EXPECT_EQ(std::memcmp(&information.rnRandomNumber, &request.rnRandomNumber, 16), 0);
  EXPECT_EQ(information.ulInformation, 8u);
  EXPECT_EQ(log_.back(), "OPM GetInformation \\\\.\\DISPLAY1#0 seq=" + std::to_string(sequence_));
}

TEST_F(SignedRequestTest, RefusesAnyChangeAfterSigning) {
  OpmRequestedInformation answer;
  // A byte of the parameters, the sequence number, the tag itself.
  for (int change = 0; change < 3; ++change) {
    SCOPED_TRACE(change);
    OpmGetInfoParameters request = Request();
    Sign(&request);
    if (change == 0) request.abParameters[4055] ^= 1;
    if (change == 1) request.ulSequenceNumber ^= 1;
    if (change == 2) request.omac.abOMAC[0] ^= 1;
    EXPECT_EQ(Send(request, &answer), kOpmInvalidInformationRequest);
  }
  // Nothing was counted: the untouched request is still the next one.
  OpmGetInfoParameters request = Request();
  Sign(&request);
  EXPECT_EQ(Send(request, &answer), kOk);
}

TEST_F(SignedRequestTest, RefusesOtherSequenceNumbersAndInformation) {
  OpmRequestedInformation answer;
  OpmGetInfoParameters request = Request();
  request.ulSequenceNumber = sequence_ + 1;
  Sign(&request);
  EXPECT_EQ(Send(request, &answer), kOpmInvalidInformationRequest);

  request = Request();
  request.guidInformation.Data1 ^= 1;
  Sign(&request);
  EXPECT_EQ(Send(request, &answer), kOpmInvalidInformationRequest);

  request = Request();
  Sign(&request);
  EXPECT_EQ(Send(request, &answer), kOk);
  // The same number again: already used.
  EXPECT_EQ(Send(request, &answer), kOpmInvalidInformationRequest);
}

}  // namespace
}  // namespace monctl::sim
