// Benchmarks of the output protection query: the tag of one OPM request
// (4096 bytes) beside OpenSSL's own CMAC over the same bytes, one handshake
// with the simulated driver, the driver's share of it, and the reading of
// the driver's certificate message.
#include <benchmark/benchmark.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <array>
#include <cstdlib>
#include <vector>

#include "opm/key_exchange.h"
#include "opm/omac.h"
#include "opm/opm_session.h"
#include "platform/sim/driver/driver_crypto.h"
#include "platform/sim/driver/driver_material.h"
#include "platform/sim/driver/opm_driver.h"

namespace {

using namespace monctl;

constexpr size_t kRequestBytes = 4096;  // OPM_GET_INFO_PARAMETERS after its tag

const std::array<uint8_t, 16> kKey = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                                      0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};

std::vector<uint8_t> Request() {
  std::vector<uint8_t> bytes(kRequestBytes);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 31 + 7);
  return bytes;
}

void BM_ComputeOmac(benchmark::State& state) {
  const std::vector<uint8_t> message = Request();
  std::array<uint8_t, 16> tag{};
  for (auto _ : state) {
    if (opm::ComputeOmac(kKey.data(), message.data(), kRequestBytes, tag.data()) != 0) {
      state.SkipWithError("ComputeOmac failed");
      break;
    }
    benchmark::DoNotOptimize(tag);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kRequestBytes);
}
BENCHMARK(BM_ComputeOmac);

// OpenSSL's CMAC (EVP_MAC "CMAC", AES-128-CBC). With `rekey` every tag sets
// the key, as ComputeOmac does; without, the key of the first tag is kept.
void OpenSslCmac(benchmark::State& state, bool rekey) {
  const std::vector<uint8_t> message = Request();
  EVP_MAC* mac = EVP_MAC_fetch(nullptr, "CMAC", nullptr);
  EVP_MAC_CTX* context = EVP_MAC_CTX_new(mac);
  char cipher[] = "AES-128-CBC";
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_CIPHER, cipher, 0),
      OSSL_PARAM_construct_end(),
  };
  if (EVP_MAC_init(context, kKey.data(), kKey.size(), params) != 1) {
    state.SkipWithError("EVP_MAC_init failed");
  }
  std::array<uint8_t, 16> tag{};
  size_t written = 0;
  for (auto _ : state) {
    const int keyed = rekey ? EVP_MAC_init(context, kKey.data(), kKey.size(), params)
                            : EVP_MAC_init(context, nullptr, 0, nullptr);
    if (keyed != 1 || EVP_MAC_update(context, message.data(), message.size()) != 1 ||
        EVP_MAC_final(context, tag.data(), &written, tag.size()) != 1) {
      state.SkipWithError("CMAC failed");
      break;
    }
    benchmark::DoNotOptimize(tag);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kRequestBytes);
  EVP_MAC_CTX_free(context);
  EVP_MAC_free(mac);
}
void BM_OpenSslCmac(benchmark::State& state) { OpenSslCmac(state, true); }
void BM_OpenSslCmacSameKey(benchmark::State& state) { OpenSslCmac(state, false); }
BENCHMARK(BM_OpenSslCmac);
BENCHMARK(BM_OpenSslCmacSameKey);

// The tool's side and the driver's side of one OPM handshake: certificate
// selection, key import, RSAES-OAEP encryption, and the driver's RSA
// decryption with its private key.
void BM_Handshake(benchmark::State& state) {
  platform::OpmVideoOutput* output =
      sim::CreateOpmOutput({}, "\\\\.\\DISPLAY1#0", [](const std::string&) {});
  opm::COpmSession session;
  for (auto _ : state) {
    if (session.InitializeOutput(output) != 0) {
      state.SkipWithError("handshake failed");
      break;
    }
  }
  output->Release();
}
BENCHMARK(BM_Handshake)->Unit(benchmark::kMicrosecond);

// The driver's side alone: the RSAES-OAEP decryption of 256 bytes with its
// private key. The rest of BM_Handshake is the tool's side.
void BM_DriverDecryption(benchmark::State& state) {
  const sim::Bytes ciphertext = sim::SampleCiphertext();
  std::vector<uint8_t> plaintext;
  for (auto _ : state) {
    if (sim::DecryptWithDriverKey(sim::MainDriverKey(), ciphertext.data, ciphertext.size,
                                  &plaintext) != 0) {
      state.SkipWithError("decryption failed");
      break;
    }
    benchmark::DoNotOptimize(plaintext);
  }
}
BENCHMARK(BM_DriverDecryption)->Unit(benchmark::kMicrosecond);

// The tool's reading of the driver's certificate message: the public key of
// the certificate with the OPM usage, as the handshake takes it. "Same" reads
// one message each time, as the handshakes with the outputs of one driver
// do; "Alternating" reads two messages in turn, so each read is a new one.
void DecodeMessages(benchmark::State& state, const std::vector<sim::Bytes>& messages) {
  size_t next = 0;
  for (auto _ : state) {
    const sim::Bytes& message = messages[next];
    next = (next + 1) % messages.size();
    opm::DecodedPublicKey decoded;
    if (opm::DecodeDriverPublicKey(message.data, message.size, &decoded) != 0) {
      state.SkipWithError("decoding failed");
      break;
    }
    benchmark::DoNotOptimize(decoded);
  }
}

void BM_DecodeDriverPublicKeySame(benchmark::State& state) {
  DecodeMessages(state, {sim::StandardCertificateMessage()});
}
BENCHMARK(BM_DecodeDriverPublicKeySame)->Unit(benchmark::kMicrosecond);

void BM_DecodeDriverPublicKeyAlternating(benchmark::State& state) {
  DecodeMessages(state, {sim::StandardCertificateMessage(), sim::UsageOnSecondCertificateMessage()});
}
BENCHMARK(BM_DecodeDriverPublicKeyAlternating)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
