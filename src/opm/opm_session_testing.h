// Test helpers for COpmSession: access to its fields and video outputs that
// count their references and record their calls.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "opm/opm_session.h"
#include "platform/opm.h"

namespace monctl::opm {

class COpmSessionPeer {
 public:
  // Hands the session `outputs` as OPMGetVideoOutputsFromHMONITOR would:
  // in an array from CoTaskMemAlloc, each entry holding one reference.
  static void SetOutputs(COpmSession& session, const std::vector<platform::OpmVideoOutput*>& outputs) {
    session.Close();
    auto** array = static_cast<platform::OpmVideoOutput**>(
        platform::CoTaskMemAlloc(sizeof(platform::OpmVideoOutput*) * (outputs.empty() ? 1 : outputs.size())));
    for (size_t i = 0; i < outputs.size(); ++i) array[i] = outputs[i];
    session.m_ppOutputs = array;
    session.m_nOutputs = static_cast<uint32_t>(outputs.size());
  }
  static uint32_t StatusSequence(const COpmSession& session) { return session.m_dwStatusSequence; }
  static void SetStatusSequence(COpmSession& session, uint32_t value) {
    session.m_dwStatusSequence = value;
  }
  static uint32_t CommandSequence(const COpmSession& session) {
    return session.m_dwCommandSequence;
  }
  static std::array<uint8_t, 16> SessionKey(const COpmSession& session) {
    std::array<uint8_t, 16> key;
    std::memcpy(key.data(), session.m_abSessionKey, key.size());
    return key;
  }
  static platform::OpmVideoOutput* CurrentOutput(const COpmSession& session) {
    return session.m_pCurrentOutput.get();
  }
  static bool HasDriverKey(const COpmSession& session) {
    return static_cast<bool>(session.m_hDriverKey);
  }
  static bool HasOutputs(const COpmSession& session) { return session.m_ppOutputs != nullptr; }
};

// A video output owned by the test: it counts the references that others
// hold (one to begin with) and never deletes itself. The handshake goes to
// `inner` when there is one; GetInformation goes to `answer` when set,
// else to `inner`.
class TestOutput final : public platform::OpmVideoOutput {
 public:
  using Answer = std::function<platform::HRESULT(const platform::OpmGetInfoParameters*,
                                                 platform::OpmRequestedInformation*)>;

  explicit TestOutput(platform::OpmVideoOutput* inner = nullptr) : inner_(inner) {}
  ~TestOutput() {
    if (inner_ != nullptr) inner_->Release();
  }

  uint32_t AddRef() override { return ++references_; }
  uint32_t Release() override { return --references_; }

  platform::HRESULT StartInitialization(platform::OpmRandomNumber* random, uint8_t** certificate,
                                        uint32_t* certificate_length) override {
    calls_.push_back("StartInitialization");
    if (inner_ == nullptr) return start_result_;
    return inner_->StartInitialization(random, certificate, certificate_length);
  }
  platform::HRESULT FinishInitialization(
      const platform::OpmEncryptedInitializationParameters* parameters) override {
    calls_.push_back("FinishInitialization");
    if (inner_ == nullptr) return platform::kFail;
    return inner_->FinishInitialization(parameters);
  }
  platform::HRESULT GetInformation(const platform::OpmGetInfoParameters* parameters,
                                   platform::OpmRequestedInformation* information) override {
    calls_.push_back("GetInformation");
    sequences_.push_back(parameters->ulSequenceNumber);
    if (answer_) return answer_(parameters, information);
    if (inner_ == nullptr) return platform::kFail;
    return inner_->GetInformation(parameters, information);
  }

  int references() const { return references_; }
  const std::vector<std::string>& calls() const { return calls_; }
  const std::vector<uint32_t>& sequences() const { return sequences_; }
  void set_start_result(platform::HRESULT result) { start_result_ = result; }
  void set_answer(Answer answer) { answer_ = std::move(answer); }

 private:
  platform::OpmVideoOutput* inner_;
  int references_ = 1;
  platform::HRESULT start_result_ = platform::kFail;
  Answer answer_;
  std::vector<std::string> calls_;
  std::vector<uint32_t> sequences_;
};

}  // namespace monctl::opm
