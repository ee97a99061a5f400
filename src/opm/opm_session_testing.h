// Test helpers for COpmSession: outputs handed to a session as
// OPMGetVideoOutputsFromHMONITOR would, and a video output that stands in
// front of another (the simulated driver's) and records what passes.
#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "opm/opm_session.h"
#include "platform/opm.h"

namespace monctl::opm {

class COpmSessionPeer {
 public:
  // In an array from CoTaskMemAlloc, each entry holding one reference.
  static void SetOutputs(COpmSession& session, const std::vector<platform::OpmVideoOutput*>& outputs) {
    session.Close();
    auto** array = static_cast<platform::OpmVideoOutput**>(
        platform::CoTaskMemAlloc(sizeof(platform::OpmVideoOutput*) * (outputs.size() + 1)));
    std::copy(outputs.begin(), outputs.end(), array);
    session.m_ppOutputs = array;
    session.m_nOutputs = static_cast<uint32_t>(outputs.size());
  }
};

// Counts the references that others hold (one to begin with) and never
// deletes itself; passes the calls on to `inner`, if any, except that
// `answer`, when set, answers GetInformation. Keeps the call names, the
// sequence numbers of the requests and the last initialisation parameters.
class TestOutput final : public platform::OpmVideoOutput {
 public:
  using HRESULT = platform::HRESULT;
  explicit TestOutput(platform::OpmVideoOutput* inner = nullptr) : inner_(inner) {}
  ~TestOutput() {
    if (inner_ != nullptr) inner_->Release();
  }
  uint32_t AddRef() override { return ++references; }
  uint32_t Release() override { return --references; }
  HRESULT StartInitialization(platform::OpmRandomNumber* random, uint8_t** message, uint32_t* length) override {
    calls.push_back("StartInitialization");
    return inner_ != nullptr ? inner_->StartInitialization(random, message, length) : start_result;
  }
  HRESULT FinishInitialization(const platform::OpmEncryptedInitializationParameters* encrypted) override {
    calls.push_back("FinishInitialization");
    parameters = *encrypted;
    return inner_ != nullptr ? inner_->FinishInitialization(encrypted) : platform::kFail;
  }
  HRESULT GetInformation(const platform::OpmGetInfoParameters* request,
                         platform::OpmRequestedInformation* information) override {
    calls.push_back("GetInformation");
    sequences.push_back(request->ulSequenceNumber);
    if (answer) return answer(request, information);
    return inner_ != nullptr ? inner_->GetInformation(request, information) : platform::kFail;
  }

  uint32_t references = 1;
  HRESULT start_result = platform::kFail;
  std::function<HRESULT(const platform::OpmGetInfoParameters*, platform::OpmRequestedInformation*)> answer;
  std::vector<std::string> calls;
  std::vector<uint32_t> sequences;
  platform::OpmEncryptedInitializationParameters parameters = {};

 private:
  platform::OpmVideoOutput* inner_;
};

}  // namespace monctl::opm
