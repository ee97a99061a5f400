#include "video_output.h"

#include <atomic>
#include <new>

namespace monctl::wine {
namespace {

static_assert(sizeof(platform::OpmRandomNumber) == sizeof(OPM_RANDOM_NUMBER));
static_assert(sizeof(platform::OpmEncryptedInitializationParameters) ==
              sizeof(OPM_ENCRYPTED_INITIALIZATION_PARAMETERS));
static_assert(sizeof(platform::OpmGetInfoParameters) == sizeof(OPM_GET_INFO_PARAMETERS));
static_assert(sizeof(platform::OpmRequestedInformation) == sizeof(OPM_REQUESTED_INFORMATION));

// {0A15159D-41C7-4456-93E1-284CD61D4E8D}
constexpr GUID kIidOpmVideoOutput = {0x0A15159D, 0x41C7, 0x4456, {0x93, 0xE1, 0x28, 0x4C, 0xD6, 0x1D, 0x4E, 0x8D}};
// {00000000-0000-0000-C000-000000000046}
constexpr GUID kIidUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class VideoOutput final : public IOPMVideoOutput {
 public:
  explicit VideoOutput(platform::OpmVideoOutput* output) : output_(output) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (!IsEqualGUID(iid, kIidUnknown) && !IsEqualGUID(iid, kIidOpmVideoOutput)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    *object = static_cast<IOPMVideoOutput*>(this);
    return S_OK;
  }

  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }

  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE StartInitialization(OPM_RANDOM_NUMBER* random, BYTE** certificate,
                                                ULONG* certificate_length) override {
    if (random == nullptr || certificate == nullptr || certificate_length == nullptr) return E_POINTER;
    uint8_t* message = nullptr;
    uint32_t length = 0;
    const HRESULT hr = output_->StartInitialization(reinterpret_cast<platform::OpmRandomNumber*>(random),
                                                    &message, &length);
    *certificate = message;
    *certificate_length = length;
    return hr;
  }

  HRESULT STDMETHODCALLTYPE FinishInitialization(const OPM_ENCRYPTED_INITIALIZATION_PARAMETERS* parameters) override {
    if (parameters == nullptr) return E_POINTER;
    return output_->FinishInitialization(
        reinterpret_cast<const platform::OpmEncryptedInitializationParameters*>(parameters));
  }

  HRESULT STDMETHODCALLTYPE GetInformation(const OPM_GET_INFO_PARAMETERS* parameters,
                                           OPM_REQUESTED_INFORMATION* information) override {
    if (parameters == nullptr || information == nullptr) return E_POINTER;
    return output_->GetInformation(reinterpret_cast<const platform::OpmGetInfoParameters*>(parameters),
                                   reinterpret_cast<platform::OpmRequestedInformation*>(information));
  }

  // The simulated driver serves OPM semantics only.
  HRESULT STDMETHODCALLTYPE COPPCompatibleGetInformation(const OPM_COPP_COMPATIBLE_GET_INFO_PARAMETERS*,
                                                         OPM_REQUESTED_INFORMATION*) override {
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE Configure(const OPM_CONFIGURE_PARAMETERS*, ULONG, const BYTE*) override {
    return E_NOTIMPL;
  }

 private:
  ~VideoOutput() { output_->Release(); }

  platform::OpmVideoOutput* output_;
  std::atomic<ULONG> references_{1};
};

}  // namespace

IOPMVideoOutput* WrapVideoOutput(platform::OpmVideoOutput* output) {
  return new (std::nothrow) VideoOutput(output);
}

}  // namespace monctl::wine
