// The OpenSSL backend and the simulated driver's OpenSSL decryption.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/crypt32.h"
#include "platform/sim/driver/driver_crypto.h"
#include "platform/system.h"

namespace monctl::platform {
namespace {

// The driver's key decrypts what the openssl command encrypted (RSAES-OAEP,
// SHA-512), and no other key does: the driver cannot accept what the tool
// gets wrong.
TEST(DriverCryptoTest, DecryptsTheSampleOfTheOpensslCommand) {
  const sim::Bytes sample = sim::SampleCiphertext(), plaintext = sim::SamplePlaintext();
  std::vector<uint8_t> decrypted;
  EXPECT_EQ(sim::DecryptWithDriverKey(sim::MainDriverKey(), sample.data, sample.size, &decrypted), kOk);
  EXPECT_EQ(decrypted, std::vector<uint8_t>(plaintext.data, plaintext.data + plaintext.size));
  EXPECT_TRUE(Failed(sim::DecryptWithDriverKey(sim::DecoyDriverKey(), sample.data, sample.size, &decrypted)));
}

// The backend keeps the last certificate message it read. An empty message
// once matched it while nothing was kept yet and gave a store without
// certificates. In a new process (gtest's "threadsafe" death tests run the
// test binary again), where nothing has been read.
TEST(KeptMessageDeathTest, AnEmptyMessageIsRefusedWhenNothingIsKept) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const uint8_t byte = 0x30;
        SetLastError(0);
        const CertStoreHandle store = CryptGetMessageCertificates(kPkcs7AsnEncoding | kX509AsnEncoding, 0, 0, &byte, 0);
        std::exit(store == nullptr && GetLastError() != 0 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace monctl::platform
