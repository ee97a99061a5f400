// The provider's key blob that the handshake builds from a decoded public
// key, and the import of the driver's key from its certificate message.
#include "opm/key_exchange.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/sim/driver/driver_material.h"

namespace monctl::opm {
namespace {

using namespace platform;

TEST(BuildRsaPublicBlobTest, WritesTheNumbersMostSignificantByteFirst) {
  const struct {
    uint32_t bits, exponent;
    std::vector<uint8_t> numbers;  // exponent in as few bytes as it needs, modulus
  } rows[] = {
      {16, 3, {3, 2, 1}},
      {16, 0xFF, {0xFF, 2, 1}},
      {9, 0x100, {1, 0, 2, 1}},
      {16, 65537, {1, 0, 1, 2, 1}},
      {16, 0xFFFFFF, {0xFF, 0xFF, 0xFF, 2, 1}},
      {16, 0x1000000, {1, 0, 0, 0, 2, 1}},
      {16, 0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 2, 1}},
      {17, 3, {}},  // three modulus bytes announced, two decoded: refused
  };
  for (const auto& row : rows) {
    // The decoded key: PUBLICKEYSTRUC, RSAPUBKEY, modulus 1, 2 least
    // significant byte first.
    DecodedPublicKey decoded;
    decoded.size = 22;
    decoded.data.reset(new uint8_t[22]{kPublicKeyBlob, kCurBlobVersion});
    const RsaPubKey rsa = {kRsa1Magic, row.bits, row.exponent};
    std::memcpy(decoded.data.get() + sizeof(PublicKeyStruc), &rsa, sizeof(rsa));
    decoded.data[20] = 1;
    decoded.data[21] = 2;
    UniqueTaskMemory blob;
    uint32_t size = 0;
    const HRESULT result = BuildRsaPublicBlob(decoded, &blob, &size);
    ASSERT_EQ(result, row.numbers.empty() ? kFail : kOk) << row.exponent;
    if (Failed(result)) continue;
    const uint32_t exponent_size = static_cast<uint32_t>(row.numbers.size()) - 2;
    const BcryptRsaKeyBlob header = {kBcryptRsaPublicMagic, row.bits, exponent_size, 2, 0, 0};
    EXPECT_EQ(std::memcmp(blob.get(), &header, sizeof(header)), 0) << row.exponent;
    EXPECT_EQ(std::vector<uint8_t>(blob.get() + sizeof(header), blob.get() + size), row.numbers) << row.exponent;
  }
}

TEST(ImportDriverPublicKeyTest, ReplacesTheKey) {
  const sim::Bytes standard = sim::StandardCertificateMessage(), two = sim::TwoUsagesCertificateMessage();
  UniqueKey key;
  EXPECT_EQ(ImportDriverPublicKey(&key, standard.data, static_cast<uint32_t>(standard.size)), kOk);
  EXPECT_TRUE(key);
  // A failed import leaves no key: the old one is destroyed first.
  EXPECT_EQ(ImportDriverPublicKey(&key, two.data, static_cast<uint32_t>(two.size)), kFail);
  EXPECT_FALSE(key);
  EXPECT_EQ(ImportDriverPublicKey(&key, nullptr, 0), kInvalidArg);
  EXPECT_EQ(GetRandomUInt32(nullptr), kInvalidArg);
  // A certificate function's failure is never success.
  EXPECT_EQ(FailureFromLastError(0), kFail);
  EXPECT_EQ(FailureFromLastError(kErrorInvalidParameter), kInvalidArg);
  EXPECT_EQ(FailureFromLastError(kCryptEAsn1BadTag), static_cast<HRESULT>(kCryptEAsn1BadTag));
}

}  // namespace
}  // namespace monctl::opm
