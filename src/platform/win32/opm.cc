// The Output Protection Manager on Windows (dxva2), and the COM task
// allocator (ole32). Each IOPMVideoOutput is wrapped so that the core sees
// the portable interface; the wrapper holds the COM reference. A null entry
// of the outputs array stays null.
#include "platform/opm.h"

#include <windows.h>
#include <objbase.h>
#include <d3d9.h>  // opmapi.h needs the Direct3D 9 types
#include <opmapi.h>

#include <new>

#include "platform/system.h"
#include "platform/win32/system_library.h"

namespace monctl::platform {

static_assert(sizeof(OpmRandomNumber) == sizeof(OPM_RANDOM_NUMBER));
static_assert(sizeof(OpmEncryptedInitializationParameters) == sizeof(OPM_ENCRYPTED_INITIALIZATION_PARAMETERS));
static_assert(sizeof(OpmGetInfoParameters) == sizeof(OPM_GET_INFO_PARAMETERS));
static_assert(sizeof(OpmRequestedInformation) == sizeof(OPM_REQUESTED_INFORMATION));
static_assert(sizeof(OpmStandardInformation) == sizeof(OPM_STANDARD_INFORMATION));
static_assert(offsetof(OpmGetInfoParameters, abParameters) == offsetof(OPM_GET_INFO_PARAMETERS, abParameters));
static_assert(offsetof(OpmRequestedInformation, abRequestedInformation) ==
              offsetof(OPM_REQUESTED_INFORMATION, abRequestedInformation));

namespace {

class VideoOutput final : public OpmVideoOutput {
 public:
  // Takes over the caller's reference to `native`.
  explicit VideoOutput(IOPMVideoOutput* native) : native_(native) {}

  uint32_t AddRef() override { return ++references_; }

  uint32_t Release() override {
    uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT StartInitialization(OpmRandomNumber* random, uint8_t** certificate,
                              uint32_t* certificate_length) override {
    BYTE* message = nullptr;
    ULONG length = 0;
    HRESULT hr = native_->StartInitialization(reinterpret_cast<OPM_RANDOM_NUMBER*>(random), &message,
                                              &length);
    *certificate = message;
    *certificate_length = length;
    return hr;
  }

  HRESULT FinishInitialization(const OpmEncryptedInitializationParameters* parameters) override {
    return native_->FinishInitialization(
        reinterpret_cast<const OPM_ENCRYPTED_INITIALIZATION_PARAMETERS*>(parameters));
  }

  HRESULT GetInformation(const OpmGetInfoParameters* parameters,
                         OpmRequestedInformation* information) override {
    return native_->GetInformation(reinterpret_cast<const OPM_GET_INFO_PARAMETERS*>(parameters),
                                   reinterpret_cast<OPM_REQUESTED_INFORMATION*>(information));
  }

 private:
  ~VideoOutput() { native_->Release(); }

  IOPMVideoOutput* native_;
  uint32_t references_ = 1;
};

const SystemFunction<decltype(::OPMGetVideoOutputsFromHMONITOR)> kOPMGetVideoOutputsFromHMONITOR{
    SystemLibrary::kDxva2, "OPMGetVideoOutputsFromHMONITOR"};

}  // namespace

HRESULT OPMGetVideoOutputsFromHMONITOR(MonitorHandle monitor, uint32_t semantics, uint32_t* count,
                                       OpmVideoOutput*** outputs) {
  auto* get = kOPMGetVideoOutputsFromHMONITOR.Get();
  if (get == nullptr) return HresultFromWin32(GetLastError());
  ULONG n = 0;
  IOPMVideoOutput** native = nullptr;
  HRESULT hr = get(reinterpret_cast<HMONITOR>(monitor),
                                                static_cast<OPM_VIDEO_OUTPUT_SEMANTICS>(semantics), &n,
                                                &native);
  if (FAILED(hr)) return hr;

  auto** wrapped = static_cast<OpmVideoOutput**>(::CoTaskMemAlloc(sizeof(OpmVideoOutput*) * (n ? n : 1)));
  ULONG made = 0;
  if (wrapped != nullptr) {
    for (; made < n; ++made) {
      wrapped[made] = native[made] != nullptr ? new (std::nothrow) VideoOutput(native[made]) : nullptr;
      if (wrapped[made] == nullptr && native[made] != nullptr) break;
    }
  }
  if (wrapped == nullptr || made < n) {
    // The wrappers made so far own their outputs; the rest are released here.
    for (ULONG i = 0; i < made; ++i) {
      if (wrapped[i] != nullptr) wrapped[i]->Release();
    }
    for (ULONG i = made; i < n; ++i) {
      if (native[i] != nullptr) native[i]->Release();
    }
    ::CoTaskMemFree(wrapped);
    ::CoTaskMemFree(native);
    return E_OUTOFMEMORY;
  }
  ::CoTaskMemFree(native);
  *count = n;
  *outputs = wrapped;
  return S_OK;
}

void* CoTaskMemAlloc(size_t size) { return ::CoTaskMemAlloc(size); }

void CoTaskMemFree(void* block) { ::CoTaskMemFree(block); }

}  // namespace monctl::platform
