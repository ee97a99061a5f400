// The check of the driver's answer in QueryConnectorType. The session has
// completed a real handshake with the simulated driver once; from then on
// its output answers every request with what the input says:
//
//   byte 0        flags: 1 sign the answer with the session key (else the
//                 tag is the 16 bytes after the size), 2 put the request's
//                 random number at the start of the answer, 4 fail the call
//                 with the HRESULT in the 4 bytes after the size
//   bytes 1..4    cbRequestedInformationSize, little-endian, any value
//   then          [tag or HRESULT], then abRequestedInformation
//                 (zero-filled after the input)
//
// Every answer is checked against what the session must do with it: the
// result, the sequence number and the information handed out.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "fuzz/fuzz_check.h"
#include "opm/omac.h"
#include "opm/opm_session.h"
#include "opm/opm_session_testing.h"
#include "platform/opm.h"
#include "platform/sim/backend.h"
#include "platform/sim/driver/opm_driver.h"

namespace monctl {
namespace {

using namespace monctl::platform;
using opm::COpmSessionPeer;
using opm::TestOutput;

constexpr uint8_t kSign = 1;
constexpr uint8_t kEchoRandom = 2;
constexpr uint8_t kFailCall = 4;

struct Exchange {
  const uint8_t* data = nullptr;
  size_t size = 0;
  bool called = false;
  OpmGetInfoParameters request;
  OpmRequestedInformation answer;
  HRESULT failure = kOk;
};

struct Fixture {
  opm::COpmSession session;
  std::unique_ptr<TestOutput> output;
  Exchange exchange;
};

uint32_t ReadU32(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

HRESULT Answer(Fixture& f, const OpmGetInfoParameters* request, OpmRequestedInformation* answer) {
  Exchange& x = f.exchange;
  x.called = true;
  std::memcpy(&x.request, request, sizeof(x.request));
  // The request is signed with the session key over everything after its tag.
  const auto key = COpmSessionPeer::SessionKey(f.session);
  uint8_t tag[opm::kOmacSize];
  FUZZ_CHECK(opm::ComputeOmac(key.data(), reinterpret_cast<const uint8_t*>(&request->rnRandomNumber),
                              sizeof(*request) - offsetof(OpmGetInfoParameters, rnRandomNumber),
                              tag) == kOk);
  FUZZ_CHECK(std::memcmp(tag, request->omac.abOMAC, sizeof(tag)) == 0);

  const uint8_t* p = x.data;
  size_t left = x.size;
  auto take = [&](void* out, size_t n) {
    const size_t k = std::min(n, left);
    std::memset(out, 0, n);
    std::memcpy(out, p, k);
    p += k;
    left -= k;
  };
  uint8_t flags = 0;
  take(&flags, 1);
  uint8_t size[4];
  take(size, 4);
  OpmRequestedInformation& a = x.answer;
  std::memset(&a, 0, sizeof(a));
  a.cbRequestedInformationSize = ReadU32(size);
  if (flags & kFailCall) {
    uint8_t code[4];
    take(code, 4);
    // Only failures: a success code without an answer is another matter.
    x.failure = static_cast<HRESULT>(ReadU32(code) | 0x80000000u);
    return x.failure;
  }
  if (!(flags & kSign)) take(a.omac.abOMAC, sizeof(a.omac.abOMAC));
  take(a.abRequestedInformation, std::min(left, sizeof(a.abRequestedInformation)));
  if (flags & kEchoRandom) {
    std::memcpy(a.abRequestedInformation, request->rnRandomNumber.abRandomNumber, 16);
  }
  if (flags & kSign) {
    FUZZ_CHECK(opm::ComputeOmac(key.data(), reinterpret_cast<const uint8_t*>(&a.cbRequestedInformationSize),
                                sizeof(a) - offsetof(OpmRequestedInformation, cbRequestedInformationSize),
                                a.omac.abOMAC) == kOk);
  }
  std::memcpy(answer, &a, sizeof(a));
  return kOk;
}

Fixture& TheFixture() {
  static Fixture* fixture = [] {
    auto* f = new Fixture;
    platform::OpmVideoOutput* driver =
        sim::CreateOpmOutput(sim::OpmOutputConfig{10, 0, sim::OpmFault::kNone}, "fuzz#0", nullptr);
    FUZZ_CHECK(driver != nullptr);
    f->output = std::make_unique<TestOutput>(driver);
    COpmSessionPeer::SetOutputs(f->session, {f->output.get()});
    // The one real handshake.
    FUZZ_CHECK(f->session.SelectOutput(0) == kOk);
    f->output->set_answer([f](const OpmGetInfoParameters* request, OpmRequestedInformation* answer) {
      return Answer(*f, request, answer);
    });
    return f;
  }();
  return *fixture;
}

}  // namespace
}  // namespace monctl

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace monctl;
  Fixture& f = TheFixture();
  f.exchange = Exchange{};
  f.exchange.data = data;
  f.exchange.size = size;

  const uint32_t sequence = COpmSessionPeer::StatusSequence(f.session);
  const auto key = COpmSessionPeer::SessionKey(f.session);
  OpmStandardInformation information;
  std::memset(&information, 0, sizeof(information));
  const HRESULT result = f.session.QueryConnectorType(0, &information);

  // The same output: no second handshake, the same key.
  FUZZ_CHECK(COpmSessionPeer::SessionKey(f.session) == key);
  FUZZ_CHECK(COpmSessionPeer::CurrentOutput(f.session) == f.output.get());
  const Exchange& x = f.exchange;
  FUZZ_CHECK(x.called);
  FUZZ_CHECK(x.request.ulSequenceNumber == sequence);
  FUZZ_CHECK(std::memcmp(&x.request.guidInformation, &kOpmGetConnectorType, sizeof(Guid)) == 0);
  FUZZ_CHECK(x.request.cbParametersSize == 0);

  OpmStandardInformation zero;
  std::memset(&zero, 0, sizeof(zero));
  if (x.failure != kOk) {
    FUZZ_CHECK(result == x.failure);
    FUZZ_CHECK(COpmSessionPeer::StatusSequence(f.session) == sequence);
    FUZZ_CHECK(std::memcmp(&information, &zero, sizeof(zero)) == 0);
    return 0;
  }

  // Does the answer's tag verify?
  uint8_t tag[opm::kOmacSize];
  constexpr size_t kSigned = sizeof(OpmRequestedInformation) -
                             offsetof(OpmRequestedInformation, cbRequestedInformationSize);
  const auto* signed_answer = reinterpret_cast<const uint8_t*>(&x.answer.cbRequestedInformationSize);
  FUZZ_CHECK(opm::ComputeOmac(key.data(), signed_answer, kSigned, tag) == kOk);
  if (std::memcmp(tag, x.answer.omac.abOMAC, sizeof(tag)) != 0) {
    FUZZ_CHECK(result == kFail);
    FUZZ_CHECK(COpmSessionPeer::StatusSequence(f.session) == sequence);
    FUZZ_CHECK(std::memcmp(&information, &zero, sizeof(zero)) == 0);
    return 0;
  }

  // A verified answer advances the sequence number, and its first bytes
  // (at most the size of the standard information) are handed out.
  FUZZ_CHECK(COpmSessionPeer::StatusSequence(f.session) == sequence + 1);
  OpmStandardInformation expected;
  std::memset(&expected, 0, sizeof(expected));
  std::memcpy(&expected, x.answer.abRequestedInformation,
              std::min<uint32_t>(x.answer.cbRequestedInformationSize, sizeof(expected)));
  FUZZ_CHECK(std::memcmp(&information, &expected, sizeof(expected)) == 0);
  const bool same_random = std::memcmp(expected.rnRandomNumber.abRandomNumber,
                                       x.request.rnRandomNumber.abRandomNumber, 16) == 0;
  FUZZ_CHECK(result == (same_random && expected.ulStatusFlags == 0 ? kOk : kFail));
  return 0;
}
