// A simulated graphics driver: the driver's side of the OPM handshake and
// of authenticated information requests, for one video output.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/opm.h"

namespace monctl::sim {

// How a simulated output misbehaves. kNone and the variants marked
// "accepted" must still give the tool a verifiable answer.
enum class OpmFault {
  kNone,
  kStartFails,            // StartInitialization fails
  kFinishFails,           // FinishInitialization fails
  kNoEku,                 // no certificate carries the OPM usage
  kTwoEkus,               // the usage together with a second one
  kKey1024,               // the driver's key has 1024 bits
  kKey4096,               // the driver's key has 4096 bits
  kBadTag,                // the answer's tag is wrong
  kWrongRandom,           // the answer echoes another random number
  kEmptyAnswer,           // cbRequestedInformationSize is 0
  kWrongSequence,         // the driver expects another sequence number
  kEkuOnSecondCert,       // accepted: first certificate has no usage
  kLongAnswer,            // accepted: cbRequestedInformationSize above 32
  kNullOutput,            // the display's list holds a null entry in its place
};

// What the driver's calls fail with.
// ERROR_GRAPHICS_OPM_DRIVER_INTERNAL_ERROR: start_fails, finish_fails.
constexpr platform::HRESULT kOpmDriverInternalError = static_cast<platform::HRESULT>(0xC026251Eu);
// ERROR_GRAPHICS_OPM_INVALID_ENCRYPTED_PARAMETERS: the initialisation
// parameters do not decrypt or do not carry the driver's random number.
constexpr platform::HRESULT kOpmInvalidEncryptedParameters =
    static_cast<platform::HRESULT>(0xC0262503u);
// ERROR_GRAPHICS_OPM_INVALID_INFORMATION_REQUEST: a request before the
// handshake, with a wrong tag or sequence number, or for other information.
constexpr platform::HRESULT kOpmInvalidInformationRequest =
    static_cast<platform::HRESULT>(0xC026251Du);

// Parses a scenario's fault name ("none", "start_fails", ...).
bool ParseOpmFault(const std::string& name, OpmFault* fault);

struct OpmOutputConfig {
  uint32_t connector = 0;     // ulInformation of OPM_GET_CONNECTOR_TYPE
  uint32_t status_flags = 0;  // ulStatusFlags of the answer
  OpmFault fault = OpmFault::kNone;
};

// Receives one line per call that the call log records, for example
// "OPM StartInitialization \\.\DISPLAY1#0" or
// "OPM GetInformation \\.\DISPLAY1#0 seq=1234".
using CallLogger = std::function<void(const std::string& line)>;

// Creates an output with one reference. `name` is "<device>#<index>".
platform::OpmVideoOutput* CreateOpmOutput(const OpmOutputConfig& config, const std::string& name,
                                          CallLogger logger);

}  // namespace monctl::sim
