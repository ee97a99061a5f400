// What Wine's bcrypt lacks: RSAES-OAEP encryption. Under Wine the tool's
// handshake therefore ends at the key exchange, before the driver is asked
// to finish it; on Windows the encryption succeeds.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "opm/opm_session.h"
#include "opm/opm_session_testing.h"
#include "platform/bcrypt.h"
#include "platform/sim/driver/driver_material.h"
#include "platform/sim/driver/opm_driver.h"

namespace monctl::platform {
namespace {

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The status of an OAEP encryption of the 40 bytes of initialisation
// parameters under the driver's public key.
NTSTATUS EncryptWithDriverKey(uint32_t* size) {
  BcryptAlgHandle algorithm = nullptr;
  NTSTATUS status =
      BCryptOpenAlgorithmProvider(&algorithm, kBcryptRsaAlgorithm, kMsPrimitiveProvider, 0);
  if (status != kStatusSuccess) return status;
  const sim::DriverKey& driver_key = sim::MainDriverKey();
  const BcryptRsaKeyBlob header = {kBcryptRsaPublicMagic, driver_key.bits,
                                   static_cast<uint32_t>(driver_key.exponent.size),
                                   static_cast<uint32_t>(driver_key.modulus.size), 0, 0};
  std::vector<uint8_t> blob;
  blob.reserve(sizeof(header) + driver_key.exponent.size + driver_key.modulus.size);
  blob.insert(blob.end(), reinterpret_cast<const uint8_t*>(&header),
              reinterpret_cast<const uint8_t*>(&header) + sizeof(header));
  blob.insert(blob.end(), driver_key.exponent.data,
              driver_key.exponent.data + driver_key.exponent.size);
  blob.insert(blob.end(), driver_key.modulus.data,
              driver_key.modulus.data + driver_key.modulus.size);
  BcryptKeyHandle key = nullptr;
  status = BCryptImportKeyPair(algorithm, nullptr, kBcryptRsaPublicBlob, &key, blob.data(),
                               static_cast<uint32_t>(blob.size()), 0);
  if (status == kStatusSuccess) {
    uint8_t plaintext[40] = {};
    std::vector<uint8_t> ciphertext(256);
    BcryptOaepPaddingInfo padding = {kBcryptSha512Algorithm, nullptr, 0};
    status = BCryptEncrypt(key, plaintext, sizeof(plaintext), &padding, nullptr, 0,
                           ciphertext.data(), static_cast<uint32_t>(ciphertext.size()), size,
                           kBcryptPadOaep);
    BCryptDestroyKey(key);
  }
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return status;
}

TEST(Win32OaepTest, EncryptionFailsOnlyUnderWine) {
  uint32_t size = 0;
  const NTSTATUS status = EncryptWithDriverKey(&size);
  if (RunningUnderWine()) {
    EXPECT_EQ(status, kStatusNotImplemented);
  } else {
    EXPECT_EQ(status, kStatusSuccess);
    EXPECT_EQ(size, 256u);
  }
}

TEST(Win32OaepTest, HandshakeStopsAtTheKeyExchangeUnderWine) {
  if (!RunningUnderWine()) GTEST_SKIP() << "Windows completes the handshake";
  uint32_t size = 0;
  const NTSTATUS status = EncryptWithDriverKey(&size);

  opm::TestOutput output(sim::CreateOpmOutput({}, "\\\\.\\DISPLAY1#0", nullptr));
  opm::COpmSession session;
  opm::COpmSessionPeer::SetOutputs(session, {&output});
  OpmStandardInformation information = {};
  const HRESULT result = session.QueryConnectorType(0, &information);
  EXPECT_TRUE(Failed(result));
  // The certificate was read and the key imported: the failure is the
  // encryption's, and FinishInitialization is never called.
  EXPECT_TRUE(opm::COpmSessionPeer::HasDriverKey(session));
  EXPECT_EQ(output.calls(), std::vector<std::string>{"StartInitialization"});
  EXPECT_EQ(result, HresultFromNt(status));
  session.Close();
  EXPECT_EQ(output.references(), 0);
}

}  // namespace
}  // namespace monctl::platform
