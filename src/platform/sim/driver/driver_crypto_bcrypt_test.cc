// The Windows build of the simulated driver decrypts and signs with bcrypt.
// Wine 8's bcrypt imports the private key but does not implement OAEP
// decryption, and has no AES-CMAC.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/bcrypt.h"
#include "platform/sim/driver/cmac_testing.h"
#include "platform/sim/driver/driver_crypto.h"
#include "platform/sim/driver/driver_material.h"

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

TEST(BcryptCmacTest, SignsTheRfcExamples) {
  for (const CmacExample& example : kCmacExamples) {
    std::array<uint8_t, 16> tag{};
    const platform::HRESULT result =
        ComputeCmac(kCmacExampleKey, kCmacExampleMessage, example.length, tag.data());
    if (RunningUnderWine()) {
      EXPECT_TRUE(platform::Failed(result));
      continue;
    }
    ASSERT_EQ(result, platform::kOk);
    EXPECT_EQ(tag, example.tag) << example.length << " bytes";
  }
}

}  // namespace
}  // namespace monctl::sim
