// DecodeDriverPublicKey on arbitrary certificate messages, with the native
// cryptography backend, then the provider's key blob built from what it
// decoded and the whole import. Every path must give back what it took.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_check.h"
#include "opm/crypto_handles.h"
#include "opm/key_exchange.h"
#include "platform/bcrypt.h"
#include "platform/crypt32.h"
#include "platform/sim/backend.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace monctl;
  using namespace monctl::platform;
  if (size > UINT32_MAX) return 0;
  const uint32_t length = static_cast<uint32_t>(size);
  const size_t blocks_before = sim::LiveTaskMemBlocks();

  opm::DecodedPublicKey decoded;
  const HRESULT result = opm::DecodeDriverPublicKey(data, length, &decoded);
  if (Succeeded(result)) {
    FUZZ_CHECK(result == kOk);
    FUZZ_CHECK(decoded.data != nullptr);
    // PUBLICKEYSTRUC and RSAPUBKEY, then the modulus.
    FUZZ_CHECK(decoded.size >= sizeof(PublicKeyStruc) + sizeof(RsaPubKey));
    RsaPubKey rsa;
    std::memcpy(&rsa, decoded.data.get() + sizeof(PublicKeyStruc), sizeof(rsa));

    opm::UniqueTaskMemory blob;
    uint32_t blob_size = 0;
    if (Succeeded(opm::BuildRsaPublicBlob(decoded, &blob, &blob_size))) {
      FUZZ_CHECK(blob);
      BcryptRsaKeyBlob header;
      FUZZ_CHECK(blob_size >= sizeof(header));
      std::memcpy(&header, blob.get(), sizeof(header));
      FUZZ_CHECK(header.Magic == kBcryptRsaPublicMagic);
      FUZZ_CHECK(header.BitLength == rsa.bitlen);
      FUZZ_CHECK(header.cbPublicExp >= 1 && header.cbPublicExp <= 4);
      FUZZ_CHECK(header.cbModulus == (uint64_t{rsa.bitlen} + 7) / 8);
      FUZZ_CHECK(header.cbPrime1 == 0 && header.cbPrime2 == 0);
      FUZZ_CHECK(uint64_t{blob_size} == sizeof(header) + header.cbPublicExp + uint64_t{header.cbModulus});
    }
  } else {
    FUZZ_CHECK(decoded.data == nullptr);
  }

  // A message read again gives what it gave the first time.
  opm::DecodedPublicKey again;
  FUZZ_CHECK(opm::DecodeDriverPublicKey(data, length, &again) == result);
  FUZZ_CHECK((again.data == nullptr) == (decoded.data == nullptr));
  FUZZ_CHECK(again.size == decoded.size);
  FUZZ_CHECK(decoded.data == nullptr ||
             std::memcmp(again.data.get(), decoded.data.get(), decoded.size) == 0);

  opm::UniqueKey key;
  const HRESULT imported = opm::ImportDriverPublicKey(&key, data, length);
  FUZZ_CHECK(Succeeded(imported) == static_cast<bool>(key));
  // The key comes from the certificate that the decoding picked.
  if (Failed(result)) FUZZ_CHECK(imported == result);
  key.reset();

  FUZZ_CHECK(sim::LiveTaskMemBlocks() == blocks_before);
  return 0;
}
