// The Windows build of the simulated driver decrypts with bcrypt. Wine 8's
// bcrypt imports the private key but does not implement OAEP decryption.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "platform/bcrypt.h"
#include "platform/sim/driver/driver_material.h"
#include "platform/sim/driver/key_decryption.h"

namespace monctl::sim {
namespace {

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST(BcryptKeyDecryptionTest, DecryptsWhatTheOpensslCommandEncrypted) {
  const Bytes ciphertext = SampleCiphertext();
  const Bytes plaintext = SamplePlaintext();
  std::vector<uint8_t> decrypted;
  const platform::HRESULT result =
      DecryptWithDriverKey(MainDriverKey(), ciphertext.data, ciphertext.size, &decrypted);
  if (RunningUnderWine()) {
    EXPECT_EQ(result, platform::HresultFromNt(platform::kStatusNotImplemented));
    EXPECT_TRUE(decrypted.empty());
    return;
  }
  ASSERT_EQ(result, platform::kOk);
  EXPECT_EQ(decrypted, std::vector<uint8_t>(plaintext.data, plaintext.data + plaintext.size));
}

}  // namespace
}  // namespace monctl::sim
