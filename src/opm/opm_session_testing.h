// Test helpers for COpmSession: outputs handed to a session as
// OPMGetVideoOutputsFromHMONITOR would, and a video output in front of
// another (the simulated driver's) that records what passes.
#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "opm/opm_session.h"

namespace monctl::opm {

class COpmSessionPeer {
 public:
  // In an array from CoTaskMemAlloc, each entry holding one reference.
  static void SetOutputs(COpmSession& session, const std::vector<platform::OpmVideoOutput*>& outputs) {
    session.Close();
    session.m_ppOutputs =
        static_cast<platform::OpmVideoOutput**>(platform::CoTaskMemAlloc(sizeof(void*) * (outputs.size() + 1)));
    std::copy(outputs.begin(), outputs.end(), session.m_ppOutputs);
    session.m_nOutputs = static_cast<uint32_t>(outputs.size());
  }
};

// Counts the references that others hold (one to begin with); passes the
// calls on to `inner`, GetInformation to `answer` if set. Keeps the calls (S,
// F, G), the requests' sequence numbers, the last initialisation parameters.
struct TestOutput final : platform::OpmVideoOutput {
  using HRESULT = platform::HRESULT;
  explicit TestOutput(platform::OpmVideoOutput* inner) : inner(inner) {}
  ~TestOutput() { inner->Release(); }
  uint32_t AddRef() override { return ++references; }
  uint32_t Release() override { return --references; }
  HRESULT StartInitialization(platform::OpmRandomNumber* random, uint8_t** message, uint32_t* length) override {
    calls += 'S';
    return inner->StartInitialization(random, message, length);
  }
  HRESULT FinishInitialization(const platform::OpmEncryptedInitializationParameters* encrypted) override {
    calls += 'F';
    parameters = *encrypted;
    return inner->FinishInitialization(encrypted);
  }
  HRESULT GetInformation(const platform::OpmGetInfoParameters* request,
                         platform::OpmRequestedInformation* information) override {
    calls += 'G';
    sequences.push_back(request->ulSequenceNumber);
    return answer ? answer(request, information) : inner->GetInformation(request, information);
  }

  platform::OpmVideoOutput* inner;
  uint32_t references = 1;
  std::function<HRESULT(const platform::OpmGetInfoParameters*, platform::OpmRequestedInformation*)> answer;
  std::string calls;
  std::vector<uint32_t> sequences;
  platform::OpmEncryptedInitializationParameters parameters = {};
};

}  // namespace monctl::opm
