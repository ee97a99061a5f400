#include "opm/opm_session.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "opm/omac.h"
#include "platform/bcrypt.h"

namespace monctl::opm {

using namespace platform;

void COpmSession::Close() {
  if (m_ppOutputs == nullptr) return;
  for (uint32_t i = 0; i < m_nOutputs; ++i) {
    if (m_ppOutputs[i] != nullptr) m_ppOutputs[i]->Release();
  }
  m_pCurrentOutput.reset();
  CoTaskMemFree(m_ppOutputs);
  m_ppOutputs = nullptr;
  m_hDriverKey.reset();
  m_dwStatusSequence = 0;
  m_dwCommandSequence = 0;
  m_nOutputs = 0;
}

HRESULT COpmSession::GetVideoOutputs(MonitorHandle monitor) {
  Close();
  uint32_t count = 0;
  OpmVideoOutput** outputs = nullptr;
  const HRESULT result =
      OPMGetVideoOutputsFromHMONITOR(monitor, kOpmVosOpmSemantics, &count, &outputs);
  if (Succeeded(result) && outputs != nullptr) {
    m_nOutputs = count;
    m_ppOutputs = outputs;
  }
  return result;
}

HRESULT COpmSession::SelectOutput(uint32_t index) {
  if (index >= m_nOutputs) return kInvalidArg;
  OpmVideoOutput* entry = m_ppOutputs[index];
  if (entry == nullptr) return kPointer;
  // Held for the duration of the call.
  OutputReference held = OutputReference::AddRef(entry);
  if (entry == m_pCurrentOutput.get()) return kOk;

  const HRESULT result = InitializeOutput(entry);
  if (Failed(result)) return result;
  m_pCurrentOutput = OutputReference::AddRef(entry);
  return kOk;
}

HRESULT COpmSession::QueryConnectorType(uint32_t index, OpmStandardInformation* information) {
  if (information == nullptr) return kInvalidArg;
  HRESULT result = SelectOutput(index);
  if (Failed(result)) return result;

  OpmGetInfoParameters request;
  OpmRequestedInformation answer;
  std::memset(&request, 0, sizeof(request));
  std::memset(&answer, 0, sizeof(answer));

  const NTSTATUS status =
      BCryptGenRandom(nullptr, request.rnRandomNumber.abRandomNumber,
                      sizeof(request.rnRandomNumber.abRandomNumber), kBcryptUseSystemPreferredRng);
  if (status != kStatusSuccess) return HresultFromNt(status);
  request.guidInformation = kOpmGetConnectorType;
  request.ulSequenceNumber = m_dwStatusSequence;
  request.cbParametersSize = 0;

  // The tag covers everything after it: 4096 bytes of the request, 4080 of
  // the answer.
  const auto* signed_request = reinterpret_cast<const uint8_t*>(&request.rnRandomNumber);
  result = ComputeOmac(m_abSessionKey, signed_request,
                       sizeof(request) - offsetof(OpmGetInfoParameters, rnRandomNumber),
                       request.omac.abOMAC);
  if (Failed(result)) return result;

  result = m_pCurrentOutput.get()->GetInformation(&request, &answer);
  if (Failed(result)) return result;

  uint8_t expected[kOmacSize];
  const auto* signed_answer = reinterpret_cast<const uint8_t*>(&answer.cbRequestedInformationSize);
  result = ComputeOmac(
      m_abSessionKey, signed_answer,
      sizeof(answer) - offsetof(OpmRequestedInformation, cbRequestedInformationSize), expected);
  if (Failed(result)) return result;
  if (!TagsEqual(expected, answer.omac.abOMAC)) return kFail;

  ++m_dwStatusSequence;

  const uint32_t copied =
      std::min<uint32_t>(answer.cbRequestedInformationSize, sizeof(OpmStandardInformation));
  if (copied != 0) std::memcpy(information, answer.abRequestedInformation, copied);
  if (std::memcmp(information->rnRandomNumber.abRandomNumber,
                  request.rnRandomNumber.abRandomNumber,
                  sizeof(request.rnRandomNumber.abRandomNumber)) != 0) {
    return kFail;
  }
  if (information->ulStatusFlags != kOpmStatusNormal) return kFail;
  return kOk;
}

}  // namespace monctl::opm
