// The cryptography of the OPM handshake on the backend of the build (OpenSSL
// natively, bcrypt and crypt32 under Wine) and the driver's key that the
// handshake takes through it, with the simulated driver's keys and messages.
// Wine's bcrypt has no RSAES-OAEP: there the handshake ends at the key exchange.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "opm/key_exchange.h"
#include "platform/sim/driver/driver_material.h"
#include "platform/system.h"

namespace monctl::platform {

namespace {

using Bytes = std::vector<uint8_t>;
Bytes Of(sim::Bytes bytes) { return Bytes(bytes.data, bytes.data + bytes.size); }
template <typename T>
void Append(Bytes* bytes, const T& value) {
  bytes->insert(bytes->end(), reinterpret_cast<const uint8_t*>(&value), reinterpret_cast<const uint8_t*>(&value + 1));
}
Bytes FromHex(std::string_view hex) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return bytes;
}

// With an initialisation vector (NIST SP 800-38A, F.2.1). The tag's tests
// check the chain that the key keeps between calls without one.
TEST(AesTest, EncryptsCbcWithAnInitialisationVector) {
  Bytes blob, output(32), iv = FromHex("000102030405060708090a0b0c0d0e0f");
  Append(&blob, BcryptKeyDataBlobHeader{kBcryptKeyDataBlobMagic, kBcryptKeyDataBlobVersion1, 16});
  for (const uint8_t byte : FromHex("2b7e151628aed2a6abf7158809cf4f3c")) blob.push_back(byte);
  const Bytes plaintext = FromHex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51");
  BcryptAlgHandle algorithm = nullptr;
  BcryptKeyHandle key = nullptr;
  uint32_t size = 0, written = 0;
  ASSERT_EQ(BCryptOpenAlgorithmProvider(&algorithm, kBcryptAesAlgorithm, kMsPrimitiveProvider, 0), kStatusSuccess);
  ASSERT_EQ(BCryptGetProperty(algorithm, kBcryptObjectLength, reinterpret_cast<uint8_t*>(&size), 4, &written, 0), 0);
  ASSERT_EQ(BCryptSetProperty(algorithm, kBcryptChainingMode, reinterpret_cast<const uint8_t*>(kBcryptChainModeCbc),
                              sizeof(kBcryptChainModeCbc), 0), 0);
  Bytes object(size);
  ASSERT_EQ(BCryptImportKey(algorithm, nullptr, kBcryptKeyDataBlob, &key, object.data(), size, blob.data(), 28, 0), 0);
  EXPECT_EQ(BCryptEncrypt(key, plaintext.data(), 32, nullptr, iv.data(), 16, output.data(), 32, &written, 0), 0);
  EXPECT_EQ(output, FromHex("7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"));
  EXPECT_EQ(BCryptDestroyKey(key), kStatusSuccess);
  EXPECT_EQ(BCryptCloseAlgorithmProvider(algorithm, 0), kStatusSuccess);

  Bytes first(32), second(32);
  ASSERT_EQ(BCryptGenRandom(nullptr, first.data(), 32, kBcryptUseSystemPreferredRng), kStatusSuccess);
  ASSERT_EQ(BCryptGenRandom(nullptr, second.data(), 32, kBcryptUseSystemPreferredRng), kStatusSuccess);
  EXPECT_NE(first, second);
}

// RSA_CSP_PUBLICKEYBLOB: the modulus least significant byte first.
Bytes DecodedBlob(const sim::DriverKey& key) {
  Bytes blob;
  Append(&blob, PublicKeyStruc{kPublicKeyBlob, kCurBlobVersion, 0, kCalgRsaKeyx});
  Append(&blob, RsaPubKey{kRsa1Magic, key.bits, 65537});
  blob.insert(blob.end(), std::make_reverse_iterator(key.modulus.data + key.modulus.size),
              std::make_reverse_iterator(key.modulus.data));
  return blob;
}

struct Certificate {
  std::vector<std::string> usages;
  uint32_t error_without_usage;  // the last-error value when there is none
  Bytes key;
  bool operator==(const Certificate&) const = default;
};

// Each call first for the size; the usage also with a byte less.
Certificate Describe(CertContextHandle context) {
  Certificate certificate = {};
  uint32_t size = 0, small = 0;
  EXPECT_TRUE(CertGetEnhancedKeyUsage(context, 0, nullptr, &size));
  std::vector<void*> buffer(size);
  auto* usage = reinterpret_cast<CertEnhKeyUsage*>(buffer.data());
  EXPECT_FALSE(CertGetEnhancedKeyUsage(context, 0, usage, &(small = size - 1)));
  EXPECT_EQ(GetLastError(), kErrorMoreData);
  SetLastError(0);
  EXPECT_TRUE(CertGetEnhancedKeyUsage(context, 0, usage, &size));
  if (usage->cUsageIdentifier == 0) certificate.error_without_usage = GetLastError();
  for (uint32_t i = 0; i < usage->cUsageIdentifier; ++i) certificate.usages.emplace_back(usage->rgpszUsageIdentifier[i]);
  const CryptBitBlob* key = CertSubjectPublicKey(context);
  EXPECT_TRUE(CryptDecodeObjectEx(kX509AsnEncoding, kRsaCspPublicKeyBlob, key->pbData, key->cbData, 0, nullptr, nullptr,
                                  &size));
  certificate.key.resize(size);
  EXPECT_TRUE(CryptDecodeObjectEx(kX509AsnEncoding, kRsaCspPublicKeyBlob, key->pbData, key->cbData, 0, nullptr,
                                  certificate.key.data(), &size));
  return certificate;
}

CertStoreHandle Open(const Bytes& message) {
  return CryptGetMessageCertificates(kPkcs7AsnEncoding | kX509AsnEncoding, 0, 0, message.data(),
                                     static_cast<uint32_t>(message.size()));
}

std::vector<Certificate> Read(const Bytes& message) {
  std::vector<Certificate> certificates;
  const CertStoreHandle store = Open(message);
  CertContextHandle context = nullptr;
  while (store != nullptr && (context = CertEnumCertificatesInStore(store, context)) != nullptr) {
    certificates.push_back(Describe(context));
  }
  EXPECT_EQ(GetLastError(), kCryptENotFound);
  EXPECT_TRUE(CertFreeCertificateContext(CertEnumCertificatesInStore(store, nullptr)));
  EXPECT_TRUE(store != nullptr && CertCloseStore(store, kCertCloseStoreForceFlag));
  return certificates;
}

// In store order, the message's last first; and the key that the handshake
// takes: that of the first certificate whose only usage is the OPM one.
TEST(CertificateTest, ListsTheCertificatesTheirUsagesAndKeys) {
  const std::vector<std::string> opm = {"1.3.6.1.4.1.311.10.5.8"};
  const std::string server = "1.3.6.1.5.5.7.3.1";
  const Bytes main = DecodedBlob(sim::MainDriverKey()), decoy = DecodedBlob(sim::DecoyDriverKey());
  const struct {
    sim::Bytes message;
    std::vector<Certificate> certificates;
  } rows[] = {
      {sim::StandardCertificateMessage(), {{opm, 0, main}}},
      {sim::UsageOnSecondCertificateMessage(), {{opm, 0, main}, {{}, kCryptENotFound, decoy}}},
      {sim::UsageOnFirstCertificateMessage(), {{{}, kCryptENotFound, decoy}, {opm, 0, main}}},
      {sim::NoUsageCertificateMessage(), {{{server}, 0, main}, {{}, kCryptENotFound, main}}},
      {sim::TwoUsagesCertificateMessage(), {{{opm[0], server}, 0, main}}},
      {sim::ShortKeyCertificateMessage(), {{opm, 0, DecodedBlob(sim::ShortDriverKey())}}},
      {sim::LongKeyCertificateMessage(), {{opm, 0, DecodedBlob(sim::LongDriverKey())}}},
  };
  opm::UniqueKey imported;  // a failed import leaves none: the previous key goes first
  for (const auto& row : rows) {
    const Bytes message = Of(row.message);
    const auto size = static_cast<uint32_t>(message.size());
    EXPECT_TRUE(Read(message) == row.certificates) << size;
    const auto taken = std::find_if(row.certificates.begin(), row.certificates.end(),
                                    [&](const Certificate& certificate) { return certificate.usages == opm; });
    const bool found = taken != row.certificates.end();
    opm::DecodedPublicKey decoded;
    EXPECT_EQ(opm::DecodeDriverPublicKey(message.data(), size, &decoded), found ? kOk : kFail);
    EXPECT_EQ(Bytes(decoded.data.get(), decoded.data.get() + decoded.size), found ? taken->key : Bytes());
    EXPECT_EQ(opm::DecodeDriverPublicKey(message.data(), size, nullptr), kInvalidArg);
    EXPECT_EQ(opm::ImportDriverPublicKey(&imported, message.data(), size), found ? kOk : kFail);
    EXPECT_EQ(static_cast<bool>(imported), found);
  }
}

TEST(CertificateTest, ReadsEachMessageForWhatItHolds) {
  // A message that differs from the one read before in a byte of the key
  // gives that key.
  Bytes message = Of(sim::StandardCertificateMessage()), key = DecodedBlob(sim::MainDriverKey());
  EXPECT_EQ(Read(message)[0].key, key);
  const Bytes modulus = Of(sim::MainDriverKey().modulus);
  std::search(message.begin(), message.end(), modulus.begin(), modulus.end())[modulus.size() - 1] ^= 2;
  key[sizeof(PublicKeyStruc) + sizeof(RsaPubKey)] ^= 2;
  EXPECT_EQ(Read(message)[0].key, key);

  // Not a message, a message cut short; a key that is not RSA.
  for (const Bytes& refused : {FromHex("3003020105"), Bytes(message.begin(), message.begin() + message.size() / 2)}) {
    SetLastError(0);
    EXPECT_EQ(Open(refused), nullptr);
    EXPECT_NE(GetLastError(), 0u);
    opm::DecodedPublicKey decoded;
    const HRESULT result = opm::DecodeDriverPublicKey(refused.data(), static_cast<uint32_t>(refused.size()), &decoded);
    EXPECT_TRUE(Failed(result));
    EXPECT_EQ(result, opm::FailureFromLastError(GetLastError()));
  }
  uint32_t size = 0;
  SetLastError(0);
  EXPECT_FALSE(CryptDecodeObjectEx(kX509AsnEncoding, kRsaCspPublicKeyBlob, FromHex("04020102").data(), 4, 0, nullptr,
                                   nullptr, &size));
  EXPECT_NE(GetLastError(), 0u);
  EXPECT_EQ(opm::FailureFromLastError(0), kFail);
  EXPECT_EQ(opm::FailureFromLastError(kErrorInvalidParameter), kInvalidArg);
  EXPECT_EQ(opm::DecodeDriverPublicKey(nullptr, 10, nullptr), kInvalidArg);
  EXPECT_EQ(opm::ImportDriverPublicKey(nullptr, message.data(), 10), kInvalidArg);
}

TEST(RsaTest, BuildsTheKeyBlobMostSignificantByteFirst) {
  const struct {
    uint32_t bits, exponent;
    Bytes numbers;  // exponent in as few bytes as it needs, modulus
  } rows[] = {
      {16, 3, {3, 2, 1}},
      {9, 0x100, {1, 0, 2, 1}},
      {16, 65537, {1, 0, 1, 2, 1}},
      {16, 0x1000000, {1, 0, 0, 0, 2, 1}},
      {16, 0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 2, 1}},
      {17, 3, {}},  // three modulus bytes announced, two decoded: refused
  };
  for (const auto& row : rows) {
    const struct {
      PublicKeyStruc head;
      RsaPubKey rsa;
      uint8_t modulus[2];
    } key = {{kPublicKeyBlob, kCurBlobVersion, 0, kCalgRsaKeyx}, {kRsa1Magic, row.bits, row.exponent}, {1, 2}};
    opm::DecodedPublicKey decoded = {std::make_unique<uint8_t[]>(sizeof(key)), 22};  // not the padding after it
    std::memcpy(decoded.data.get(), &key, sizeof(key));
    opm::UniqueTaskMemory blob;
    uint32_t size = 0;
    ASSERT_EQ(opm::BuildRsaPublicBlob(decoded, &blob, &size), row.numbers.empty() ? kFail : kOk) << row.exponent;
    Bytes expected;
    Append(&expected, BcryptRsaKeyBlob{kBcryptRsaPublicMagic, row.bits, uint32_t(row.numbers.size() - 2), 2, 0, 0});
    expected.insert(expected.end(), row.numbers.begin(), row.numbers.end());
    EXPECT_EQ(Bytes(blob.get(), blob.get() + size), row.numbers.empty() ? Bytes() : expected) << row.exponent;
  }
}

}  // namespace
}  // namespace monctl::platform
