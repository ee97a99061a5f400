// QueryConnectorType's checks of the driver's answer, after one real
// handshake with the simulated driver (fuzz/README.md). Input: byte 0 flags
// (1 sign the answer with the session key, else its tag follows the size;
// 2 put the request's random number first in the information; 4 fail the
// call with the HRESULT after the size, top bit set), bytes 1..4
// cbRequestedInformationSize (little-endian), [tag or HRESULT], then
// abRequestedInformation, zero-filled.
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
bool probe, signed_answer;  // the answer is signed with the session key; a tag from the input does not verify
HRESULT failure;
OpmGetInfoParameters request;
OpmRequestedInformation answer;

void Take(void* out, size_t size) {
  std::memset(out, 0, size);
  if ((size = std::min(size, left)) != 0) std::memcpy(out, input, size);
  input += size, left -= size;
}

HRESULT Answer(const OpmGetInfoParameters* sent, OpmRequestedInformation* out) {
  uint8_t tag[16];
  FUZZ_CHECK(sim::ComputeCmac(key, sent->rnRandomNumber.abRandomNumber, 4096, tag) == kOk && sent->ulSequenceNumber == sequence);
  FUZZ_CHECK(std::memcmp(tag, sent->omac.abOMAC, 16) == 0);
  FUZZ_CHECK(std::memcmp(&sent->guidInformation, &kOpmGetConnectorType, sizeof(Guid)) == 0 && sent->cbParametersSize == 0);
  if (probe) return kProbeRefused;
  request = *sent;
  answer = {};
  uint8_t flags;
  Take(&flags, 1);
  Take(&answer.cbRequestedInformationSize, 4);
  if (flags & 4) return Take(&failure, 4), failure |= INT32_MIN;
  if (!(signed_answer = flags & 1)) Take(answer.omac.abOMAC, 16);
  Take(answer.abRequestedInformation, std::min(left, sizeof(answer.abRequestedInformation)));
  if (flags & 2) std::memcpy(answer.abRequestedInformation, sent->rnRandomNumber.abRandomNumber, 16);
  const auto* covered = reinterpret_cast<uint8_t*>(&answer.cbRequestedInformationSize);
  if (signed_answer) FUZZ_CHECK(sim::ComputeCmac(key, covered, 4080, answer.omac.abOMAC) == kOk);
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
  input = data, left = size, probe = signed_answer = false, failure = kOk;
  output.calls.clear();
  OpmStandardInformation information = {}, expected = {};
  const HRESULT result = session.QueryConnectorType(0, &information);
  const bool verified = failure == kOk && signed_answer;
  if (verified) {
    std::memcpy(&expected, answer.abRequestedInformation, std::min<size_t>(answer.cbRequestedInformationSize, 32));
    ++sequence;
  }
  const bool echoed = std::memcmp(&expected.rnRandomNumber, &request.rnRandomNumber, 16) == 0;
  FUZZ_CHECK(result == (failure != kOk ? failure : verified && echoed && expected.ulStatusFlags == 0 ? kOk : kFail));
  FUZZ_CHECK(std::memcmp(&information, &expected, sizeof(expected)) == 0);
  probe = true;
  FUZZ_CHECK(session.QueryConnectorType(0, &information) == kProbeRefused);
  FUZZ_CHECK(output.calls == "GG");  // no second handshake
  output.sequences.clear();
  return 0;
}
