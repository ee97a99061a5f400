// RSAES-OAEP of the OpenSSL backend: what it encrypts, the driver's private
// key decrypts with SHA-512 for both the hash and MGF1. And the certificate
// message that the backend keeps between calls.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/bcrypt.h"
#include "platform/crypt32.h"
#include "platform/sim/driver/driver_crypto.h"
#include "platform/sim/driver/driver_material.h"
#include "platform/system.h"

namespace monctl::platform {
namespace {

using Bytes = std::vector<uint8_t>;

class OaepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(BCryptOpenAlgorithmProvider(&algorithm_, kBcryptRsaAlgorithm, kMsPrimitiveProvider,
                                          0),
              kStatusSuccess);
  }
  void TearDown() override {
    if (key_ != nullptr) {
      EXPECT_EQ(BCryptDestroyKey(key_), kStatusSuccess);
    }
    EXPECT_EQ(BCryptCloseAlgorithmProvider(algorithm_, 0), kStatusSuccess);
  }

  void Import(const sim::DriverKey& driver_key) {
    const BcryptRsaKeyBlob header = {kBcryptRsaPublicMagic, driver_key.bits,
                                     static_cast<uint32_t>(driver_key.exponent.size),
                                     static_cast<uint32_t>(driver_key.modulus.size), 0, 0};
    Bytes blob;
    blob.reserve(sizeof(header) + driver_key.exponent.size + driver_key.modulus.size);
    blob.insert(blob.end(), reinterpret_cast<const uint8_t*>(&header),
                reinterpret_cast<const uint8_t*>(&header) + sizeof(header));
    blob.insert(blob.end(), driver_key.exponent.data,
                driver_key.exponent.data + driver_key.exponent.size);
    blob.insert(blob.end(), driver_key.modulus.data,
                driver_key.modulus.data + driver_key.modulus.size);
    ASSERT_EQ(BCryptImportKeyPair(algorithm_, nullptr, kBcryptRsaPublicBlob, &key_, blob.data(),
                                  static_cast<uint32_t>(blob.size()), 0),
              kStatusSuccess);
  }

  BcryptAlgHandle algorithm_ = nullptr;
  BcryptKeyHandle key_ = nullptr;
};

TEST_F(OaepTest, DriverKeyDecryptsWhatThePublicKeyEncrypts) {
  Import(sim::MainDriverKey());
  Bytes plaintext(40);
  for (size_t i = 0; i < plaintext.size(); ++i) plaintext[i] = static_cast<uint8_t>(i + 1);
  BcryptOaepPaddingInfo padding = {kBcryptSha512Algorithm, nullptr, 0};
  uint32_t size = 0;
  ASSERT_EQ(BCryptEncrypt(key_, plaintext.data(), 40, &padding, nullptr, 0, nullptr, 0, &size,
                          kBcryptPadOaep),
            kStatusSuccess);
  ASSERT_EQ(size, 256u);
  Bytes ciphertext(size);
  ASSERT_EQ(BCryptEncrypt(key_, plaintext.data(), 40, &padding, nullptr, 0, ciphertext.data(),
                          size, &size, kBcryptPadOaep),
            kStatusSuccess);
  ASSERT_EQ(size, 256u);

  Bytes decrypted;
  ASSERT_EQ(sim::DecryptWithDriverKey(sim::MainDriverKey(), ciphertext.data(), ciphertext.size(),
                                      &decrypted),
            kOk);
  EXPECT_EQ(decrypted, plaintext);

  // OAEP is randomised: the same plaintext encrypts differently each time.
  Bytes again(size);
  ASSERT_EQ(BCryptEncrypt(key_, plaintext.data(), 40, &padding, nullptr, 0, again.data(), size,
                          &size, kBcryptPadOaep),
            kStatusSuccess);
  EXPECT_NE(again, ciphertext);
}

TEST_F(OaepTest, ShortKeyTellsItsSizeButCannotHoldTheParameters) {
  // 1024 bits: 128 bytes, less than the 2 * 64 + 2 that OAEP with SHA-512
  // needs before any message byte.
  Import(sim::ShortDriverKey());
  Bytes plaintext(40);
  BcryptOaepPaddingInfo padding = {kBcryptSha512Algorithm, nullptr, 0};
  uint32_t size = 0;
  ASSERT_EQ(BCryptEncrypt(key_, plaintext.data(), 40, &padding, nullptr, 0, nullptr, 0, &size,
                          kBcryptPadOaep),
            kStatusSuccess);
  EXPECT_EQ(size, 128u);
  Bytes ciphertext(size);
  EXPECT_NE(BCryptEncrypt(key_, plaintext.data(), 40, &padding, nullptr, 0, ciphertext.data(),
                          size, &size, kBcryptPadOaep),
            kStatusSuccess);
}

TEST_F(OaepTest, RefusesMissingPaddingAndSmallBuffers) {
  Import(sim::MainDriverKey());
  Bytes plaintext(40);
  Bytes ciphertext(256);
  uint32_t size = 0;
  EXPECT_NE(BCryptEncrypt(key_, plaintext.data(), 40, nullptr, nullptr, 0, ciphertext.data(), 256,
                          &size, kBcryptPadOaep),
            kStatusSuccess);
  BcryptOaepPaddingInfo padding = {kBcryptSha512Algorithm, nullptr, 0};
  EXPECT_EQ(BCryptEncrypt(key_, plaintext.data(), 40, &padding, nullptr, 0, ciphertext.data(), 255,
                          &size, kBcryptPadOaep),
            kStatusBufferTooSmall);
}

// The backend keeps the last certificate message it read. An empty message
// once matched the kept message while nothing was kept yet, and gave a
// store without certificates. The check runs in a new process (gtest's
// "threadsafe" death tests run the test binary again), where nothing has
// been read.
TEST(KeptMessageDeathTest, AnEmptyMessageIsRefusedWhenNothingIsKept) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const uint8_t byte = 0x30;
        SetLastError(0);
        const CertStoreHandle store =
            CryptGetMessageCertificates(kPkcs7AsnEncoding | kX509AsnEncoding, 0, 0, &byte, 0);
        std::exit(store == nullptr && GetLastError() != 0 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace monctl::platform
