// Owners of the handles and blocks that the output protection query takes
// from the platform: each gives its resource back when it goes out of scope.
#pragma once

#include <cstdint>
#include <utility>

#include "platform/bcrypt.h"
#include "platform/crypt32.h"
#include "platform/opm.h"
#include "platform/unique_handle.h"

namespace monctl::opm {

namespace detail {
inline void CloseAlgorithm(platform::BcryptAlgHandle algorithm) {
  platform::BCryptCloseAlgorithmProvider(algorithm, 0);
}
inline void DestroyKey(platform::BcryptKeyHandle key) { platform::BCryptDestroyKey(key); }
inline void CloseStore(platform::CertStoreHandle store) {
  platform::CertCloseStore(store, platform::kCertCloseStoreForceFlag);
}
inline void FreeCertificate(platform::CertContextHandle context) {
  platform::CertFreeCertificateContext(context);
}
inline void FreeTaskMemory(uint8_t* block) { platform::CoTaskMemFree(block); }
}  // namespace detail

using UniqueAlgorithm = platform::UniqueHandle<platform::BcryptAlgHandle, &detail::CloseAlgorithm>;
using UniqueKey = platform::UniqueHandle<platform::BcryptKeyHandle, &detail::DestroyKey>;
using UniqueCertStore = platform::UniqueHandle<platform::CertStoreHandle, &detail::CloseStore>;
using UniqueCertContext = platform::UniqueHandle<platform::CertContextHandle, &detail::FreeCertificate>;
// A block from CoTaskMemAlloc.
using UniqueTaskMemory = platform::UniqueHandle<uint8_t*, &detail::FreeTaskMemory>;

// One reference to an OPM video output.
class OutputReference {
 public:
  OutputReference() = default;
  ~OutputReference() { reset(); }
  OutputReference(const OutputReference&) = delete;
  OutputReference& operator=(const OutputReference&) = delete;

  // Takes a new reference to `output`.
  static OutputReference AddRef(platform::OpmVideoOutput* output) {
    OutputReference reference;
    if (output != nullptr) {
      output->AddRef();
      reference.output_ = output;
    }
    return reference;
  }
  OutputReference(OutputReference&& other) noexcept
      : output_(std::exchange(other.output_, nullptr)) {}
  OutputReference& operator=(OutputReference&& other) noexcept {
    if (this != &other) {
      platform::OpmVideoOutput* previous = std::exchange(output_, other.output_);
      other.output_ = nullptr;
      if (previous != nullptr) previous->Release();
    }
    return *this;
  }

  platform::OpmVideoOutput* get() const { return output_; }
  // Clears the field first, then releases the reference it held.
  void reset() {
    if (platform::OpmVideoOutput* previous = std::exchange(output_, nullptr)) previous->Release();
  }

 private:
  platform::OpmVideoOutput* output_ = nullptr;
};

}  // namespace monctl::opm
