#include "opm/key_exchange.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/bcrypt.h"
#include "platform/crypt32.h"
#include "platform/sim/driver/driver_material.h"
#include "platform/system.h"

namespace monctl::opm {
namespace {

using namespace platform;

std::vector<uint8_t> Reversed(const sim::Bytes& bytes) {
  return std::vector<uint8_t>(std::make_reverse_iterator(bytes.data + bytes.size),
                              std::make_reverse_iterator(bytes.data));
}

// The modulus of a decoded RSA_CSP_PUBLICKEYBLOB, least significant first.
std::vector<uint8_t> DecodedModulus(const DecodedPublicKey& decoded) {
  constexpr size_t kHeader = sizeof(PublicKeyStruc) + sizeof(RsaPubKey);
  return std::vector<uint8_t>(decoded.data.get() + kHeader, decoded.data.get() + decoded.size);
}

HRESULT Decode(const sim::Bytes& message, DecodedPublicKey* decoded) {
  return DecodeDriverPublicKey(message.data, static_cast<uint32_t>(message.size), decoded);
}

TEST(DecodeDriverPublicKeyTest, DecodesTheKeyOfTheCertificateWithTheOpmUsage) {
  DecodedPublicKey decoded;
  ASSERT_EQ(Decode(sim::StandardCertificateMessage(), &decoded), kOk);
  ASSERT_EQ(decoded.size, sizeof(PublicKeyStruc) + sizeof(RsaPubKey) + 256);
  PublicKeyStruc head;
  RsaPubKey rsa;
  std::memcpy(&head, decoded.data.get(), sizeof(head));
  std::memcpy(&rsa, decoded.data.get() + sizeof(head), sizeof(rsa));
  EXPECT_EQ(head.bType, kPublicKeyBlob);
  EXPECT_EQ(head.bVersion, kCurBlobVersion);
  EXPECT_EQ(head.aiKeyAlg, kCalgRsaKeyx);
  EXPECT_EQ(rsa.magic, kRsa1Magic);
  EXPECT_EQ(rsa.bitlen, 2048u);
  EXPECT_EQ(rsa.pubexp, 65537u);
  EXPECT_EQ(DecodedModulus(decoded), Reversed(sim::MainDriverKey().modulus));
}

TEST(DecodeDriverPublicKeyTest, TakesTheCertificateWithTheUsageWhereverItIs) {
  // The other certificate, without usage, carries another key.
  for (const sim::Bytes& message :
       {sim::UsageOnSecondCertificateMessage(), sim::UsageOnFirstCertificateMessage()}) {
    DecodedPublicKey decoded;
    ASSERT_EQ(Decode(message, &decoded), kOk);
    EXPECT_EQ(DecodedModulus(decoded), Reversed(sim::MainDriverKey().modulus));
  }
}

TEST(DecodeDriverPublicKeyTest, RefusesMessagesWithoutACertificateOfTheUsageAlone) {
  DecodedPublicKey decoded;
  // No usage, then another usage only.
  EXPECT_EQ(Decode(sim::NoUsageCertificateMessage(), &decoded), kFail);
  // The usage together with a second one.
  EXPECT_EQ(Decode(sim::TwoUsagesCertificateMessage(), &decoded), kFail);
  EXPECT_EQ(decoded.data, nullptr);
}

TEST(DecodeDriverPublicKeyTest, ReportsAMessageThatCannotBeOpened) {
  const uint8_t garbage[] = {0x04, 0x03, 0x01, 0x02, 0x03};
  DecodedPublicKey decoded;
  const HRESULT result = DecodeDriverPublicKey(garbage, sizeof(garbage), &decoded);
  EXPECT_TRUE(Failed(result));
  EXPECT_EQ(result, FailureFromLastError(GetLastError()));
  EXPECT_EQ(decoded.data, nullptr);

  // A message cut short.
  const sim::Bytes message = sim::StandardCertificateMessage();
  EXPECT_TRUE(Failed(DecodeDriverPublicKey(message.data, 100, &decoded)));
}

TEST(DecodeDriverPublicKeyTest, RequiresMessageAndResult) {
  DecodedPublicKey decoded;
  const sim::Bytes message = sim::StandardCertificateMessage();
  EXPECT_EQ(DecodeDriverPublicKey(nullptr, 10, &decoded), kInvalidArg);
  EXPECT_EQ(DecodeDriverPublicKey(message.data, static_cast<uint32_t>(message.size), nullptr),
            kInvalidArg);
}

TEST(FailureFromLastErrorTest, NeverReportsSuccess) {
  EXPECT_EQ(FailureFromLastError(0), kFail);
  EXPECT_EQ(FailureFromLastError(kErrorInvalidParameter), kInvalidArg);
  EXPECT_EQ(FailureFromLastError(kErrorMoreData), static_cast<HRESULT>(0x800700EAu));
  // Certificate errors are already result codes.
  EXPECT_EQ(FailureFromLastError(kCryptEAsn1BadTag), static_cast<HRESULT>(kCryptEAsn1BadTag));
}

// A decoded key with the given head and `modulus_size` modulus bytes
// 1, 2, 3, ... (least significant first).
DecodedPublicKey MakeDecoded(uint32_t bitlen, uint32_t exponent, uint32_t modulus_size) {
  DecodedPublicKey decoded;
  decoded.size = static_cast<uint32_t>(sizeof(PublicKeyStruc) + sizeof(RsaPubKey)) + modulus_size;
  decoded.data.reset(new uint8_t[decoded.size]);
  const PublicKeyStruc head = {kPublicKeyBlob, kCurBlobVersion, 0, kCalgRsaKeyx};
  const RsaPubKey rsa = {kRsa1Magic, bitlen, exponent};
  std::memcpy(decoded.data.get(), &head, sizeof(head));
  std::memcpy(decoded.data.get() + sizeof(head), &rsa, sizeof(rsa));
  for (uint32_t i = 0; i < modulus_size; ++i) {
    decoded.data[sizeof(head) + sizeof(rsa) + i] = static_cast<uint8_t>(i + 1);
  }
  return decoded;
}

struct Blob {
  BcryptRsaKeyBlob header;
  std::vector<uint8_t> numbers;  // exponent, then modulus
};

Blob Build(const DecodedPublicKey& decoded) {
  UniqueTaskMemory memory;
  uint32_t size = 0;
  Blob blob{};
  EXPECT_EQ(BuildRsaPublicBlob(decoded, &memory, &size), kOk);
  if (!memory) return blob;
  EXPECT_GE(size, sizeof(BcryptRsaKeyBlob));
  std::memcpy(&blob.header, memory.get(), sizeof(blob.header));
  blob.numbers.assign(memory.get() + sizeof(blob.header), memory.get() + size);
  return blob;
}

TEST(BuildRsaPublicBlobTest, WritesTheExponentInAsFewBytesAsItNeeds) {
  struct Case {
    uint32_t exponent;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {3, {0x03}},
      {0xFF, {0xFF}},
      {0x100, {0x01, 0x00}},
      {65537, {0x01, 0x00, 0x01}},
      {0xFFFFFF, {0xFF, 0xFF, 0xFF}},
      {0x1000000, {0x01, 0x00, 0x00, 0x00}},
      {0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0xFF}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exponent);
    const Blob blob = Build(MakeDecoded(64, c.exponent, 8));
    EXPECT_EQ(blob.header.Magic, kBcryptRsaPublicMagic);
    EXPECT_EQ(blob.header.cbPublicExp, c.bytes.size());
    ASSERT_EQ(blob.numbers.size(), c.bytes.size() + 8);
    EXPECT_EQ(std::vector<uint8_t>(blob.numbers.begin(), blob.numbers.begin() + c.bytes.size()),
              c.bytes);
  }
}

TEST(BuildRsaPublicBlobTest, WritesTheModulusMostSignificantByteFirst) {
  for (uint32_t bitlen : {2047u, 2048u}) {
    SCOPED_TRACE(bitlen);
    const Blob blob = Build(MakeDecoded(bitlen, 65537, 256));
    EXPECT_EQ(blob.header.BitLength, bitlen);
    EXPECT_EQ(blob.header.cbModulus, 256u);
    EXPECT_EQ(blob.header.cbPrime1, 0u);
    EXPECT_EQ(blob.header.cbPrime2, 0u);
    ASSERT_EQ(blob.numbers.size(), 3u + 256u);
    // Decoded bytes 1, 2, ..., 256 (least significant first) in reverse.
    EXPECT_EQ(blob.numbers[3], 0);  // 256 as a byte
    EXPECT_EQ(blob.numbers[4], 255);
    EXPECT_EQ(blob.numbers[3 + 255], 1);
  }
}

TEST(BuildRsaPublicBlobTest, RefusesADecodedKeyShorterThanItsBitLength) {
  UniqueTaskMemory memory;
  uint32_t size = 0;
  EXPECT_EQ(BuildRsaPublicBlob(MakeDecoded(2048, 65537, 255), &memory, &size), kFail);
  EXPECT_FALSE(memory);
}

TEST(ImportDriverPublicKeyTest, ImportsAndReplacesTheKey) {
  const sim::Bytes standard = sim::StandardCertificateMessage();
  UniqueKey key;
  ASSERT_EQ(ImportDriverPublicKey(&key, standard.data, static_cast<uint32_t>(standard.size)), kOk);
  EXPECT_TRUE(key);
  ASSERT_EQ(ImportDriverPublicKey(&key, standard.data, static_cast<uint32_t>(standard.size)), kOk);
  EXPECT_TRUE(key);

  // A failed import leaves no key: the old one is destroyed first.
  const sim::Bytes two = sim::TwoUsagesCertificateMessage();
  EXPECT_EQ(ImportDriverPublicKey(&key, two.data, static_cast<uint32_t>(two.size)), kFail);
  EXPECT_FALSE(key);

  EXPECT_EQ(ImportDriverPublicKey(&key, nullptr, 0), kInvalidArg);
}

TEST(GetRandomUInt32Test, FillsTheValue) {
  EXPECT_EQ(GetRandomUInt32(nullptr), kInvalidArg);
  // Eight draws that are all equal would mean the value is not filled.
  uint32_t first = 0;
  ASSERT_EQ(GetRandomUInt32(&first), kOk);
  bool differs = false;
  for (int i = 0; i < 8; ++i) {
    uint32_t value = first;
    ASSERT_EQ(GetRandomUInt32(&value), kOk);
    differs = differs || value != first;
  }
  EXPECT_TRUE(differs);
}

}  // namespace
}  // namespace monctl::opm
