// DecodeDriverPublicKey on arbitrary certificate messages (OpenSSL backend),
// the provider's key blob built from what it decodes, and the whole import.
// Every path must give back the task memory it took.
#include <cstring>

#include "fuzz/fuzz_check.h"
#include "opm/key_exchange.h"
#include "platform/sim/backend.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace monctl;
  using namespace monctl::platform;
  if (size > UINT32_MAX) return 0;
  const auto length = static_cast<uint32_t>(size);
  const size_t blocks_before = sim::LiveTaskMemBlocks();

  opm::DecodedPublicKey decoded;
  const HRESULT result = opm::DecodeDriverPublicKey(data, length, &decoded);
  FUZZ_CHECK(Failed(result) ? decoded.data == nullptr
                             : result == kOk && decoded.data != nullptr &&
                                   decoded.size >= sizeof(PublicKeyStruc) + sizeof(RsaPubKey));
  opm::UniqueTaskMemory blob;
  uint32_t blob_size = 0;
  if (Succeeded(result) && Succeeded(opm::BuildRsaPublicBlob(decoded, &blob, &blob_size))) {
    // The blob's header agrees with the decoded PUBLICKEYSTRUC and RSAPUBKEY.
    RsaPubKey rsa;
    BcryptRsaKeyBlob header;
    std::memcpy(&rsa, decoded.data.get() + sizeof(PublicKeyStruc), sizeof(rsa));
    std::memcpy(&header, blob.get(), sizeof(header));
    FUZZ_CHECK(header.Magic == kBcryptRsaPublicMagic && header.BitLength == rsa.bitlen);
    FUZZ_CHECK(header.cbPublicExp >= 1 && header.cbPublicExp <= 4 && header.cbPrime1 == 0 && header.cbPrime2 == 0);
    FUZZ_CHECK(header.cbModulus == (uint64_t{rsa.bitlen} + 7) / 8);
    FUZZ_CHECK(blob_size == sizeof(header) + header.cbPublicExp + uint64_t{header.cbModulus});
  }
  blob.reset();

  // A message read again (the backend keeps the last one) gives the same key.
  opm::DecodedPublicKey again;
  FUZZ_CHECK(opm::DecodeDriverPublicKey(data, length, &again) == result && again.size == decoded.size);
  FUZZ_CHECK(decoded.data == nullptr || std::memcmp(again.data.get(), decoded.data.get(), decoded.size) == 0);

  // The import takes the key that the decoding picked, or fails as it did.
  opm::UniqueKey key;
  const HRESULT imported = opm::ImportDriverPublicKey(&key, data, length);
  FUZZ_CHECK(Succeeded(imported) == static_cast<bool>(key) && (Succeeded(result) || imported == result));
  key.reset();
  FUZZ_CHECK(sim::LiveTaskMemBlocks() == blocks_before);
  return 0;
}
