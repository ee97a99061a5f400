// The OpenSSL backend offers RSAES-OAEP, and keeps the last certificate
// message it read.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/crypt32.h"
#include "platform/system.h"

namespace monctl::platform {

bool ProviderHasOaep() { return true; }

namespace {

// An empty message once matched the kept message while nothing was kept yet
// and gave a store without certificates. The check runs in a new process
// (gtest's "threadsafe" death tests run the test binary again), where
// nothing has been read.
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
