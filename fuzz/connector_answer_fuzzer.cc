// QueryConnectorType's checks of the driver's answer. The session completes
// one real handshake with the simulated driver, whose initialisation
// parameters, decrypted with the driver's key, give the session key and the
// first sequence number. From then on the output answers with the input:
// byte 0 flags (1 sign the answer with the session key, else its tag is the
// 16 bytes after the size; 2 put the request's random number first in the
// information; 4 fail the call with the HRESULT, top bit set, in the 4 bytes
// after the size), bytes 1..4 cbRequestedInformationSize (little-endian),
// then [tag or HRESULT], then abRequestedInformation, zero-filled.
// Checked: each request's tag (by OpenSSL's CMAC), sequence number and GUID;
// the result; the 32 bytes handed out; and, by a second request that the
// output refuses, whether the sequence number advanced.
#include <algorithm>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "opm/opm_session_testing.h"
#include "platform/sim/driver/driver_crypto.h"
#include "platform/sim/driver/opm_driver.h"

using namespace monctl;
using namespace monctl::platform;

namespace {

constexpr HRESULT kProbeRefused = static_cast<HRESULT>(0x80000001u);
// Never destroyed: the task memory's bookkeeping may be gone at exit.
opm::TestOutput& output = *new opm::TestOutput(sim::CreateOpmOutput({10, 0, sim::OpmFault::kNone}, "fuzz#0", nullptr));
opm::COpmSession& session = *new opm::COpmSession;
uint8_t key[16];
uint32_t sequence;  // the next request's
const uint8_t* input;
size_t left;
bool probe;
HRESULT failure;
OpmGetInfoParameters request;
OpmRequestedInformation answer;

void Take(void* out, size_t size) {
  std::memset(out, 0, size);
  if ((size = std::min(size, left)) != 0) std::memcpy(out, input, size);
  input += size, left -= size;
}

bool Signed(const uint8_t* from, size_t size, const uint8_t* tag) {
  uint8_t expected[16];
  FUZZ_CHECK(sim::ComputeCmac(key, from, size, expected) == kOk);
  return std::memcmp(expected, tag, 16) == 0;
}

HRESULT Answer(const OpmGetInfoParameters* sent, OpmRequestedInformation* out) {
  FUZZ_CHECK(Signed(sent->rnRandomNumber.abRandomNumber, 4096, sent->omac.abOMAC) && sent->ulSequenceNumber == sequence);
  FUZZ_CHECK(std::memcmp(&sent->guidInformation, &kOpmGetConnectorType, sizeof(Guid)) == 0 && sent->cbParametersSize == 0);
  if (probe) return kProbeRefused;
  request = *sent;
  answer = {};
  uint8_t flags;
  Take(&flags, 1);
  Take(&answer.cbRequestedInformationSize, 4);
  if (flags & 4) return Take(&failure, 4), failure |= INT32_MIN;
  if (!(flags & 1)) Take(answer.omac.abOMAC, 16);
  Take(answer.abRequestedInformation, std::min(left, sizeof(answer.abRequestedInformation)));
  if (flags & 2) std::memcpy(answer.abRequestedInformation, sent->rnRandomNumber.abRandomNumber, 16);
  auto* signed_answer = reinterpret_cast<uint8_t*>(&answer.cbRequestedInformationSize);
  if (flags & 1) FUZZ_CHECK(sim::ComputeCmac(key, signed_answer, 4080, answer.omac.abOMAC) == kOk);
  return *out = answer, kOk;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  opm::COpmSessionPeer::SetOutputs(session, {&output});
  FUZZ_CHECK(session.SelectOutput(0) == kOk);
  std::vector<uint8_t> plain;
  const auto& encrypted = output.parameters.abEncryptedInitializationParameters;
  FUZZ_CHECK(sim::DecryptWithDriverKey(sim::MainDriverKey(), encrypted, 256, &plain) == kOk && plain.size() == 40);
  std::memcpy(key, plain.data() + 16, 16);
  std::memcpy(&sequence, plain.data() + 32, 4);
  output.answer = Answer;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  input = data, left = size, probe = false, failure = kOk;
  output.calls.clear(), output.sequences.clear();
  OpmStandardInformation information = {}, expected = {};
  const HRESULT result = session.QueryConnectorType(0, &information);
  const auto* signed_answer = reinterpret_cast<const uint8_t*>(&answer.cbRequestedInformationSize);
  const bool verified = failure == kOk && Signed(signed_answer, 4080, answer.omac.abOMAC);
  if (verified) {
    std::memcpy(&expected, answer.abRequestedInformation, std::min<size_t>(answer.cbRequestedInformationSize, 32));
    ++sequence;
  }
  const bool echoed = std::memcmp(&expected.rnRandomNumber, &request.rnRandomNumber, 16) == 0;
  FUZZ_CHECK(result == (failure != kOk ? failure : verified && echoed && expected.ulStatusFlags == 0 ? kOk : kFail));
  FUZZ_CHECK(std::memcmp(&information, &expected, sizeof(expected)) == 0);
  probe = true;
  FUZZ_CHECK(session.QueryConnectorType(0, &information) == kProbeRefused);
  FUZZ_CHECK(output.calls == std::vector<std::string>(2, "GetInformation"));  // no second handshake
  return 0;
}
