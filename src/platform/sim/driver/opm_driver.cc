// The simulated graphics driver's side of OPM: it hands out its certificate
// message and a random number, decrypts the initialisation parameters with
// its private key, and answers OPM_GET_CONNECTOR_TYPE requests whose tag and
// sequence number it has checked with an answer signed with the session key.
// Its cryptography is its own (driver_crypto.h), so that a fault in the
// tool's shows in the exchange.
#include "platform/sim/driver/opm_driver.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/bcrypt.h"
#include "platform/opm.h"
#include "platform/sim/driver/driver_crypto.h"
#include "platform/sim/driver/driver_material.h"

namespace monctl::sim {
namespace {

using platform::HRESULT;
using platform::OpmEncryptedInitializationParameters;
using platform::OpmGetInfoParameters;
using platform::OpmRandomNumber;
using platform::OpmRequestedInformation;
using platform::OpmStandardInformation;

constexpr size_t kTagSize = 16;
// Size of the answer to OPM_GET_CONNECTOR_TYPE in the long_answer variant:
// the standard information followed by bytes the tool must not copy.
constexpr uint32_t kLongAnswerSize = 48;

struct FaultName {
  const char* name;
  OpmFault fault;
};
constexpr FaultName kFaultNames[] = {
    {"none", OpmFault::kNone},
    {"start_fails", OpmFault::kStartFails},
    {"finish_fails", OpmFault::kFinishFails},
    {"no_eku", OpmFault::kNoEku},
    {"two_ekus", OpmFault::kTwoEkus},
    {"key_1024", OpmFault::kKey1024},
    {"key_4096", OpmFault::kKey4096},
    {"bad_tag", OpmFault::kBadTag},
    {"wrong_random", OpmFault::kWrongRandom},
    {"empty_answer", OpmFault::kEmptyAnswer},
    {"wrong_sequence", OpmFault::kWrongSequence},
    {"eku_on_second_cert", OpmFault::kEkuOnSecondCert},
    {"long_answer", OpmFault::kLongAnswer},
    {"null_output", OpmFault::kNullOutput},
};

bool SameGuid(const platform::Guid& a, const platform::Guid& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::memcmp(a.Data4, b.Data4, sizeof(a.Data4)) == 0;
}

uint32_t ReadLittleEndian(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
         uint32_t{bytes[3]} << 24;
}

class SimulatedOutput final : public platform::OpmVideoOutput {
 public:
  SimulatedOutput(const OpmOutputConfig& config, std::string name, CallLogger logger)
      : config_(config), name_(std::move(name)), logger_(std::move(logger)) {
    switch (config_.fault) {
      case OpmFault::kNoEku:
        message_ = NoUsageCertificateMessage();
        break;
      case OpmFault::kTwoEkus:
        message_ = TwoUsagesCertificateMessage();
        break;
      case OpmFault::kKey1024:
        message_ = ShortKeyCertificateMessage();
        key_ = &ShortDriverKey();
        break;
      case OpmFault::kKey4096:
        message_ = LongKeyCertificateMessage();
        key_ = &LongDriverKey();
        break;
      case OpmFault::kEkuOnSecondCert:
        message_ = UsageOnSecondCertificateMessage();
        break;
      default:
        break;
    }
  }

  uint32_t AddRef() override { return ++references_; }

  uint32_t Release() override {
    const uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT StartInitialization(OpmRandomNumber* random, uint8_t** certificate,
                              uint32_t* certificate_length) override {
    Log("OPM StartInitialization " + name_);
    if (random == nullptr || certificate == nullptr || certificate_length == nullptr) {
      return platform::kInvalidArg;
    }
    if (config_.fault == OpmFault::kStartFails) return kOpmDriverInternalError;

    const platform::NTSTATUS status = platform::BCryptGenRandom(
        nullptr, driver_random_, sizeof(driver_random_), platform::kBcryptUseSystemPreferredRng);
    if (status != platform::kStatusSuccess) return platform::HresultFromNt(status);
    auto* copy = static_cast<uint8_t*>(platform::CoTaskMemAlloc(message_.size));
    if (copy == nullptr) return platform::kOutOfMemory;
    std::memcpy(copy, message_.data, message_.size);

    std::memcpy(random->abRandomNumber, driver_random_, sizeof(driver_random_));
    *certificate = copy;
    *certificate_length = static_cast<uint32_t>(message_.size);
    started_ = true;
    initialized_ = false;
    return platform::kOk;
  }

  HRESULT FinishInitialization(const OpmEncryptedInitializationParameters* parameters) override {
    if (parameters == nullptr) return platform::kInvalidArg;
    if (!started_) return kOpmInvalidEncryptedParameters;
    if (config_.fault == OpmFault::kFinishFails) return kOpmDriverInternalError;

    // The ciphertext fills the modulus of the driver's key; a 4096-bit key
    // cannot be served by the 256-byte structure.
    const size_t ciphertext_size = key_->bits / 8;
    if (ciphertext_size > sizeof(parameters->abEncryptedInitializationParameters)) {
      return kOpmInvalidEncryptedParameters;
    }
    std::vector<uint8_t> plaintext;
    if (platform::Failed(DecryptWithDriverKey(*key_, parameters->abEncryptedInitializationParameters,
                                              ciphertext_size, &plaintext)) ||
        plaintext.size() < 40 ||
        std::memcmp(plaintext.data(), driver_random_, sizeof(driver_random_)) != 0) {
      return kOpmInvalidEncryptedParameters;
    }
    std::memcpy(session_key_, plaintext.data() + 16, sizeof(session_key_));
    expected_sequence_ = ReadLittleEndian(plaintext.data() + 32);
    command_sequence_ = ReadLittleEndian(plaintext.data() + 36);
    started_ = false;
    initialized_ = true;
    return platform::kOk;
  }

  HRESULT GetInformation(const OpmGetInfoParameters* parameters,
                         OpmRequestedInformation* information) override {
    if (parameters == nullptr || information == nullptr) return platform::kInvalidArg;
    Log("OPM GetInformation " + name_ + " seq=" + std::to_string(parameters->ulSequenceNumber));
    if (!initialized_) return kOpmInvalidInformationRequest;

    uint8_t tag[kTagSize];
    const auto* signed_request = reinterpret_cast<const uint8_t*>(&parameters->rnRandomNumber);
    HRESULT result = ComputeCmac(session_key_, signed_request,
                                 sizeof(*parameters) - offsetof(OpmGetInfoParameters, rnRandomNumber), tag);
    if (platform::Failed(result)) return result;
    if (std::memcmp(tag, parameters->omac.abOMAC, kTagSize) != 0) return kOpmInvalidInformationRequest;

    // wrong_sequence: the driver has counted differently from the tool.
    const uint32_t expected =
        expected_sequence_ + (config_.fault == OpmFault::kWrongSequence ? 1u : 0u);
    if (parameters->ulSequenceNumber != expected) return kOpmInvalidInformationRequest;
    if (!SameGuid(parameters->guidInformation, platform::kOpmGetConnectorType) ||
        parameters->cbParametersSize != 0) {
      return kOpmInvalidInformationRequest;
    }
    ++expected_sequence_;

    std::memset(information, 0, sizeof(*information));
    OpmStandardInformation answer = {};
    answer.rnRandomNumber = parameters->rnRandomNumber;
    if (config_.fault == OpmFault::kWrongRandom) answer.rnRandomNumber.abRandomNumber[0] ^= 0x01;
    answer.ulStatusFlags = config_.status_flags;
    answer.ulInformation = config_.connector;
    std::memcpy(information->abRequestedInformation, &answer, sizeof(answer));
    information->cbRequestedInformationSize = sizeof(answer);
    if (config_.fault == OpmFault::kEmptyAnswer) information->cbRequestedInformationSize = 0;
    if (config_.fault == OpmFault::kLongAnswer) {
      information->cbRequestedInformationSize = kLongAnswerSize;
      std::fill(information->abRequestedInformation + sizeof(answer),
                information->abRequestedInformation + kLongAnswerSize, uint8_t{0xA5});
    }

    const auto* signed_answer =
        reinterpret_cast<const uint8_t*>(&information->cbRequestedInformationSize);
    result = ComputeCmac(session_key_, signed_answer,
                         sizeof(*information) - offsetof(OpmRequestedInformation, cbRequestedInformationSize),
                         information->omac.abOMAC);
    if (platform::Failed(result)) return result;
    if (config_.fault == OpmFault::kBadTag) information->omac.abOMAC[kTagSize - 1] ^= 0x01;
    return platform::kOk;
  }

 private:
  ~SimulatedOutput() = default;

  void Log(const std::string& line) const {
    if (logger_) logger_(line);
  }

  OpmOutputConfig config_;
  std::string name_;
  CallLogger logger_;
  uint32_t references_ = 1;

  const DriverKey* key_ = &MainDriverKey();
  Bytes message_ = StandardCertificateMessage();

  bool started_ = false;
  bool initialized_ = false;
  uint8_t driver_random_[16] = {};
  uint8_t session_key_[16] = {};
  uint32_t expected_sequence_ = 0;
  uint32_t command_sequence_ = 0;
};

}  // namespace

bool ParseOpmFault(const std::string& name, OpmFault* fault) {
  for (const FaultName& entry : kFaultNames) {
    if (name == entry.name) {
      *fault = entry.fault;
      return true;
    }
  }
  return false;
}

platform::OpmVideoOutput* CreateOpmOutput(const OpmOutputConfig& config, const std::string& name,
                                          CallLogger logger) {
  return new SimulatedOutput(config, name, std::move(logger));
}

}  // namespace monctl::sim
