// The contracts of platform/bcrypt.h and platform/crypt32.h that the output
// protection query relies on, run against the backend of the build (OpenSSL
// natively, bcrypt and crypt32 on Windows). The certificate messages are the
// simulated driver's.
#include "platform/bcrypt.h"
#include "platform/crypt32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/driver/driver_material.h"
#include "platform/system.h"

namespace monctl::platform {
namespace {

using Bytes = std::vector<uint8_t>;

void Append(Bytes* bytes, const void* data, size_t size) {
  const auto* begin = static_cast<const uint8_t*>(data);
  bytes->insert(bytes->end(), begin, begin + size);
}

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

// NIST SP 800-38A, F.2.1 CBC-AES128.Encrypt.
const Bytes kAesKey = FromHex("2b7e151628aed2a6abf7158809cf4f3c");
const Bytes kIv = FromHex("000102030405060708090a0b0c0d0e0f");
const Bytes kPlaintext = FromHex(
    "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
const Bytes kCiphertext = FromHex(
    "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
    "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7");
// F.1.1 ECB-AES128: the first block alone, which is CBC from a zero chain.
const Bytes kFirstBlockEcb = FromHex("3ad77bb40d7a3660a89ecaf32466ef97");

class AesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(BCryptOpenAlgorithmProvider(&algorithm_, kBcryptAesAlgorithm, kMsPrimitiveProvider,
                                          0),
              kStatusSuccess);
    uint32_t written = 0;
    ASSERT_EQ(BCryptGetProperty(algorithm_, kBcryptObjectLength,
                                reinterpret_cast<uint8_t*>(&object_length_),
                                sizeof(object_length_), &written, 0),
              kStatusSuccess);
    ASSERT_EQ(written, sizeof(object_length_));
    ASSERT_GT(object_length_, 0u);
    ASSERT_EQ(BCryptSetProperty(algorithm_, kBcryptChainingMode,
                                reinterpret_cast<const uint8_t*>(kBcryptChainModeCbc),
                                sizeof(kBcryptChainModeCbc), 0),
              kStatusSuccess);
  }
  void TearDown() override {
    for (BcryptKeyHandle key : keys_) EXPECT_EQ(BCryptDestroyKey(key), kStatusSuccess);
    EXPECT_EQ(BCryptCloseAlgorithmProvider(algorithm_, 0), kStatusSuccess);
  }

  BcryptKeyHandle Import() {
    Bytes blob(sizeof(BcryptKeyDataBlobHeader));
    const BcryptKeyDataBlobHeader header = {kBcryptKeyDataBlobMagic, kBcryptKeyDataBlobVersion1,
                                            16};
    std::memcpy(blob.data(), &header, sizeof(header));
    blob.insert(blob.end(), kAesKey.begin(), kAesKey.end());
    objects_.emplace_back(object_length_);
    BcryptKeyHandle key = nullptr;
    EXPECT_EQ(BCryptImportKey(algorithm_, nullptr, kBcryptKeyDataBlob, &key,
                              objects_.back().data(), object_length_, blob.data(),
                              static_cast<uint32_t>(blob.size()), 0),
              kStatusSuccess);
    if (key != nullptr) keys_.push_back(key);
    return key;
  }

  Bytes Encrypt(BcryptKeyHandle key, const uint8_t* input, uint32_t size, uint8_t* iv = nullptr) {
    Bytes output(size);
    uint32_t written = 0;
    EXPECT_EQ(BCryptEncrypt(key, input, size, nullptr, iv, iv == nullptr ? 0 : 16, output.data(),
                            size, &written, 0),
              kStatusSuccess);
    EXPECT_EQ(written, size);
    return output;
  }

  BcryptAlgHandle algorithm_ = nullptr;
  uint32_t object_length_ = 0;
  std::vector<Bytes> objects_;  // outlive the keys
  std::vector<BcryptKeyHandle> keys_;
};

TEST_F(AesTest, EncryptsCbcWithTheGivenInitialisationVector) {
  // What the vector holds afterwards differs: Windows documents the last
  // ciphertext block, Wine 8 leaves it as it was.
  BcryptKeyHandle key = Import();
  Bytes iv = kIv;
  EXPECT_EQ(Encrypt(key, kPlaintext.data(), 64, iv.data()), kCiphertext);
}

TEST_F(AesTest, KeepsTheChainingValueBetweenCallsWithoutVector) {
  // A fresh key chains from zero: its first block is the plain block
  // encryption.
  BcryptKeyHandle whole = Import();
  const Bytes all = Encrypt(whole, kPlaintext.data(), 64);
  EXPECT_EQ(Bytes(all.begin(), all.begin() + 16), kFirstBlockEcb);

  // Four single-block calls on one key give the same four blocks.
  BcryptKeyHandle single = Import();
  Bytes pieces;
  for (uint32_t i = 0; i < 4; ++i) {
    const Bytes block = Encrypt(single, kPlaintext.data() + 16 * i, 16);
    pieces.insert(pieces.end(), block.begin(), block.end());
  }
  EXPECT_EQ(pieces, all);

  // In place, as ComputeOmac encrypts.
  BcryptKeyHandle in_place = Import();
  Bytes buffer(kPlaintext.begin(), kPlaintext.begin() + 16);
  uint32_t written = 0;
  ASSERT_EQ(BCryptEncrypt(in_place, buffer.data(), 16, nullptr, nullptr, 0, buffer.data(), 16,
                          &written, 0),
            kStatusSuccess);
  EXPECT_EQ(buffer, kFirstBlockEcb);
}

TEST_F(AesTest, TellsTheOutputSizeAndRefusesPartialBlocks) {
  BcryptKeyHandle key = Import();
  uint32_t written = 0;
  ASSERT_EQ(BCryptEncrypt(key, kPlaintext.data(), 32, nullptr, nullptr, 0, nullptr, 0, &written,
                          0),
            kStatusSuccess);
  EXPECT_EQ(written, 32u);
  Bytes output(32);
  EXPECT_NE(BCryptEncrypt(key, kPlaintext.data(), 15, nullptr, nullptr, 0, output.data(), 32,
                          &written, 0),
            kStatusSuccess);
}

TEST(ProviderTest, RefusesUnknownAlgorithmsAndProviders) {
  BcryptAlgHandle algorithm = nullptr;
  EXPECT_NE(BCryptOpenAlgorithmProvider(&algorithm, u"NO-SUCH-ALGORITHM", kMsPrimitiveProvider, 0),
            kStatusSuccess);
  EXPECT_NE(BCryptOpenAlgorithmProvider(&algorithm, kBcryptAesAlgorithm, u"No Such Provider", 0),
            kStatusSuccess);
}

TEST(RandomTest, FillsTheBufferFromTheSystemGenerator) {
  std::array<uint8_t, 64> first{};
  std::array<uint8_t, 64> second{};
  ASSERT_EQ(BCryptGenRandom(nullptr, first.data(), 64, kBcryptUseSystemPreferredRng),
            kStatusSuccess);
  ASSERT_EQ(BCryptGenRandom(nullptr, second.data(), 64, kBcryptUseSystemPreferredRng),
            kStatusSuccess);
  EXPECT_NE(first, second);
  EXPECT_NE(first, (std::array<uint8_t, 64>{}));
}

// ---------------------------------------------------------------------------
// Certificates
// ---------------------------------------------------------------------------

class MessageTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (store_ != nullptr) {
      EXPECT_TRUE(CertCloseStore(store_, kCertCloseStoreForceFlag));
    }
  }

  // The certificates of `message`, in store order, each freed again.
  struct Certificate {
    uint32_t usage_count = 0;
    bool usage_read = false;
    uint32_t usage_error = 0;
    std::vector<std::string> usages;
    Bytes decoded_key;
  };
  std::vector<Certificate> Read(const sim::Bytes& message) {
    store_ = CryptGetMessageCertificates(kPkcs7AsnEncoding | kX509AsnEncoding, 0, 0, message.data,
                                         static_cast<uint32_t>(message.size));
    EXPECT_NE(store_, nullptr) << GetLastError();
    std::vector<Certificate> certificates;
    if (store_ == nullptr) return certificates;
    CertContextHandle context = nullptr;
    while ((context = CertEnumCertificatesInStore(store_, context)) != nullptr) {
      certificates.push_back(Describe(context));
    }
    EXPECT_EQ(GetLastError(), kCryptENotFound);
    return certificates;
  }

  static Certificate Describe(CertContextHandle context) {
    Certificate certificate;
    uint32_t size = 0;
    if (CertGetEnhancedKeyUsage(context, 0, nullptr, &size)) {
      std::vector<void*> buffer((size + sizeof(void*) - 1) / sizeof(void*));
      auto* usage = reinterpret_cast<CertEnhKeyUsage*>(buffer.data());
      SetLastError(0);
      certificate.usage_read = CertGetEnhancedKeyUsage(context, 0, usage, &size);
      certificate.usage_error = GetLastError();
      if (certificate.usage_read) {
        certificate.usage_count = usage->cUsageIdentifier;
        for (uint32_t i = 0; i < usage->cUsageIdentifier; ++i) {
          certificate.usages.emplace_back(usage->rgpszUsageIdentifier[i]);
        }
      }
    }
    const CryptBitBlob* key = CertSubjectPublicKey(context);
    uint32_t decoded_size = 0;
    if (key != nullptr &&
        CryptDecodeObjectEx(kX509AsnEncoding, kRsaCspPublicKeyBlob, key->pbData, key->cbData, 0,
                            nullptr, nullptr, &decoded_size)) {
      certificate.decoded_key.resize(decoded_size);
      if (!CryptDecodeObjectEx(kX509AsnEncoding, kRsaCspPublicKeyBlob, key->pbData, key->cbData,
                               0, nullptr, certificate.decoded_key.data(), &decoded_size)) {
        certificate.decoded_key.clear();
      }
    }
    return certificate;
  }

  CertStoreHandle store_ = nullptr;
};

constexpr char kOpmUsage[] = "1.3.6.1.4.1.311.10.5.8";
constexpr char kServerAuthentication[] = "1.3.6.1.5.5.7.3.1";

// RSA_CSP_PUBLICKEYBLOB of a driver key: header, then the modulus least
// significant byte first.
Bytes ExpectedBlob(const sim::DriverKey& key) {
  const PublicKeyStruc head = {kPublicKeyBlob, kCurBlobVersion, 0, kCalgRsaKeyx};
  const RsaPubKey rsa = {kRsa1Magic, key.bits, 65537};
  Bytes blob;
  blob.reserve(sizeof(head) + sizeof(rsa) + key.modulus.size);
  Append(&blob, &head, sizeof(head));
  Append(&blob, &rsa, sizeof(rsa));
  blob.insert(blob.end(), std::make_reverse_iterator(key.modulus.data + key.modulus.size),
              std::make_reverse_iterator(key.modulus.data));
  return blob;
}

TEST_F(MessageTest, ReadsTheCertificateAndItsUsage) {
  const auto certificates = Read(sim::StandardCertificateMessage());
  ASSERT_EQ(certificates.size(), 1u);
  EXPECT_EQ(certificates[0].usages, std::vector<std::string>{kOpmUsage});
  EXPECT_EQ(certificates[0].decoded_key, ExpectedBlob(sim::MainDriverKey()));
}

TEST_F(MessageTest, EachReadOfAMessageGivesAStoreOfItsOwn) {
  const sim::Bytes standard = sim::StandardCertificateMessage();
  // The same message read again: closing the first store leaves the
  // second one whole.
  const CertStoreHandle first = CryptGetMessageCertificates(
      kPkcs7AsnEncoding | kX509AsnEncoding, 0, 0, standard.data, static_cast<uint32_t>(standard.size));
  ASSERT_NE(first, nullptr);
  const CertContextHandle held = CertEnumCertificatesInStore(first, nullptr);
  ASSERT_NE(held, nullptr);
  const auto again = Read(standard);
  EXPECT_TRUE(CertCloseStore(first, 0));
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].decoded_key, ExpectedBlob(sim::MainDriverKey()));
  EXPECT_EQ(Describe(held).decoded_key, ExpectedBlob(sim::MainDriverKey()));
  EXPECT_TRUE(CertFreeCertificateContext(held));
  EXPECT_TRUE(CertCloseStore(store_, kCertCloseStoreForceFlag));
  store_ = nullptr;

  // A message of the same length that differs in one byte of the key is
  // read for what it holds.
  const sim::DriverKey& key = sim::MainDriverKey();
  Bytes changed(standard.data, standard.data + standard.size);
  const auto modulus = std::search(changed.begin(), changed.end(), key.modulus.data,
                                   key.modulus.data + key.modulus.size);
  ASSERT_NE(modulus, changed.end());
  modulus[key.modulus.size - 1] ^= 0x02;
  store_ = CryptGetMessageCertificates(kPkcs7AsnEncoding | kX509AsnEncoding, 0, 0, changed.data(),
                                       static_cast<uint32_t>(changed.size()));
  ASSERT_NE(store_, nullptr);
  const CertContextHandle context = CertEnumCertificatesInStore(store_, nullptr);
  ASSERT_NE(context, nullptr);
  Bytes expected = ExpectedBlob(key);
  expected[sizeof(PublicKeyStruc) + sizeof(RsaPubKey)] ^= 0x02;  // least significant byte first
  EXPECT_EQ(Describe(context).decoded_key, expected);
  EXPECT_TRUE(CertFreeCertificateContext(context));
}

TEST_F(MessageTest, ListsTheLastCertificateOfTheMessageFirst) {
  const auto certificates = Read(sim::UsageOnSecondCertificateMessage());
  ASSERT_EQ(certificates.size(), 2u);
  EXPECT_EQ(certificates[0].decoded_key, ExpectedBlob(sim::MainDriverKey()));
  EXPECT_EQ(certificates[0].usages, std::vector<std::string>{kOpmUsage});
  EXPECT_EQ(certificates[1].decoded_key, ExpectedBlob(sim::DecoyDriverKey()));
}

TEST_F(MessageTest, CertificateWithoutUsageIsValidForAllUses) {
  const auto certificates = Read(sim::NoUsageCertificateMessage());
  ASSERT_EQ(certificates.size(), 2u);
  EXPECT_EQ(certificates[0].usages, std::vector<std::string>{kServerAuthentication});
  // No extension: the call succeeds with no identifier and says so in the
  // last-error value.
  EXPECT_TRUE(certificates[1].usage_read);
  EXPECT_EQ(certificates[1].usage_count, 0u);
  EXPECT_EQ(certificates[1].usage_error, kCryptENotFound);
}

TEST_F(MessageTest, ListsEveryUsageInOrder) {
  const auto certificates = Read(sim::TwoUsagesCertificateMessage());
  ASSERT_EQ(certificates.size(), 1u);
  EXPECT_EQ(certificates[0].usages,
            (std::vector<std::string>{kOpmUsage, kServerAuthentication}));
}

TEST_F(MessageTest, DecodesKeysOfEveryLength) {
  const auto short_key = Read(sim::ShortKeyCertificateMessage());
  ASSERT_EQ(short_key.size(), 1u);
  EXPECT_EQ(short_key[0].decoded_key, ExpectedBlob(sim::ShortDriverKey()));
  EXPECT_TRUE(CertCloseStore(store_, kCertCloseStoreForceFlag));
  store_ = nullptr;
  const auto long_key = Read(sim::LongKeyCertificateMessage());
  ASSERT_EQ(long_key.size(), 1u);
  EXPECT_EQ(long_key[0].decoded_key, ExpectedBlob(sim::LongDriverKey()));
}

TEST_F(MessageTest, BuffersTooSmallAskForMoreData) {
  const sim::Bytes message = sim::StandardCertificateMessage();
  store_ = CryptGetMessageCertificates(kPkcs7AsnEncoding | kX509AsnEncoding, 0, 0, message.data,
                                       static_cast<uint32_t>(message.size));
  ASSERT_NE(store_, nullptr);
  CertContextHandle context = CertEnumCertificatesInStore(store_, nullptr);
  ASSERT_NE(context, nullptr);

  uint32_t size = 0;
  ASSERT_TRUE(CertGetEnhancedKeyUsage(context, 0, nullptr, &size));
  std::vector<void*> buffer(size);
  uint32_t small = size - 1;
  EXPECT_FALSE(CertGetEnhancedKeyUsage(context, 0, reinterpret_cast<CertEnhKeyUsage*>(buffer.data()),
                                       &small));
  EXPECT_EQ(GetLastError(), kErrorMoreData);
  EXPECT_EQ(small, size);

  const CryptBitBlob* key = CertSubjectPublicKey(context);
  ASSERT_NE(key, nullptr);
  ASSERT_TRUE(CryptDecodeObjectEx(kX509AsnEncoding, kRsaCspPublicKeyBlob, key->pbData,
                                  key->cbData, 0, nullptr, nullptr, &size));
  EXPECT_EQ(size, sizeof(PublicKeyStruc) + sizeof(RsaPubKey) + 256);
  Bytes decoded(size);
  small = size - 1;
  EXPECT_FALSE(CryptDecodeObjectEx(kX509AsnEncoding, kRsaCspPublicKeyBlob, key->pbData,
                                   key->cbData, 0, nullptr, decoded.data(), &small));
  EXPECT_EQ(GetLastError(), kErrorMoreData);
  EXPECT_TRUE(CertFreeCertificateContext(context));
}

TEST_F(MessageTest, RefusesWhatIsNotAMessage) {
  const uint8_t garbage[] = {0x30, 0x03, 0x02, 0x01, 0x05};
  SetLastError(0);
  EXPECT_EQ(CryptGetMessageCertificates(kPkcs7AsnEncoding | kX509AsnEncoding, 0, 0, garbage,
                                        sizeof(garbage)),
            nullptr);
  EXPECT_NE(GetLastError(), 0u);

  const sim::Bytes message = sim::StandardCertificateMessage();
  SetLastError(0);
  EXPECT_EQ(CryptGetMessageCertificates(kPkcs7AsnEncoding | kX509AsnEncoding, 0, 0, message.data,
                                        static_cast<uint32_t>(message.size / 2)),
            nullptr);
  EXPECT_NE(GetLastError(), 0u);
}

TEST_F(MessageTest, RefusesAKeyThatIsNotRsa) {
  const uint8_t not_a_key[] = {0x04, 0x02, 0x01, 0x02};
  uint32_t size = 0;
  SetLastError(0);
  EXPECT_FALSE(CryptDecodeObjectEx(kX509AsnEncoding, kRsaCspPublicKeyBlob, not_a_key,
                                   sizeof(not_a_key), 0, nullptr, nullptr, &size));
  EXPECT_NE(GetLastError(), 0u);
}

// ---------------------------------------------------------------------------
// RSA public keys
// ---------------------------------------------------------------------------

Bytes RsaPublicBlob(const sim::DriverKey& key) {
  const BcryptRsaKeyBlob header = {kBcryptRsaPublicMagic, key.bits,
                                   static_cast<uint32_t>(key.exponent.size),
                                   static_cast<uint32_t>(key.modulus.size), 0, 0};
  Bytes blob;
  blob.reserve(sizeof(header) + key.exponent.size + key.modulus.size);
  Append(&blob, &header, sizeof(header));
  Append(&blob, key.exponent.data, key.exponent.size);
  Append(&blob, key.modulus.data, key.modulus.size);
  return blob;
}

TEST(RsaTest, ImportsPublicKeyBlobs) {
  BcryptAlgHandle algorithm = nullptr;
  ASSERT_EQ(BCryptOpenAlgorithmProvider(&algorithm, kBcryptRsaAlgorithm, kMsPrimitiveProvider, 0),
            kStatusSuccess);
  for (const sim::DriverKey* driver_key :
       {&sim::MainDriverKey(), &sim::ShortDriverKey(), &sim::LongDriverKey()}) {
    SCOPED_TRACE(driver_key->bits);
    const Bytes blob = RsaPublicBlob(*driver_key);
    BcryptKeyHandle key = nullptr;
    ASSERT_EQ(BCryptImportKeyPair(algorithm, nullptr, kBcryptRsaPublicBlob, &key, blob.data(),
                                  static_cast<uint32_t>(blob.size()), 0),
              kStatusSuccess);
    EXPECT_EQ(BCryptDestroyKey(key), kStatusSuccess);
  }
  // A blob cut short.
  const Bytes blob = RsaPublicBlob(sim::MainDriverKey());
  BcryptKeyHandle key = nullptr;
  EXPECT_NE(BCryptImportKeyPair(algorithm, nullptr, kBcryptRsaPublicBlob, &key, blob.data(),
                                static_cast<uint32_t>(blob.size() - 10), 0),
            kStatusSuccess);
  EXPECT_EQ(BCryptCloseAlgorithmProvider(algorithm, 0), kStatusSuccess);
}

}  // namespace
}  // namespace monctl::platform
