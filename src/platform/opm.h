// The Output Protection Manager as the tool uses it: a display monitor's
// video outputs and the handshake and information requests on one output.
// The structures have the byte layout of the platform's OPM structures.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/display.h"
#include "platform/types.h"

namespace monctl::platform {

struct Guid {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};

struct OpmRandomNumber {
  uint8_t abRandomNumber[16];
};

struct OpmOmac {
  uint8_t abOMAC[16];
};

struct OpmEncryptedInitializationParameters {
  uint8_t abEncryptedInitializationParameters[256];
};

struct OpmGetInfoParameters {
  OpmOmac omac;
  OpmRandomNumber rnRandomNumber;
  Guid guidInformation;
  uint32_t ulSequenceNumber;
  uint32_t cbParametersSize;
  uint8_t abParameters[4056];
};

struct OpmRequestedInformation {
  OpmOmac omac;
  uint32_t cbRequestedInformationSize;
  uint8_t abRequestedInformation[4076];
};

struct OpmStandardInformation {
  OpmRandomNumber rnRandomNumber;
  uint32_t ulStatusFlags;
  uint32_t ulInformation;
  uint32_t ulReserved;
  uint32_t ulReserved2;
};

static_assert(sizeof(OpmGetInfoParameters) == 4112);
static_assert(offsetof(OpmGetInfoParameters, rnRandomNumber) == 16);
static_assert(sizeof(OpmRequestedInformation) == 4096);
static_assert(offsetof(OpmRequestedInformation, cbRequestedInformationSize) == 16);
static_assert(sizeof(OpmStandardInformation) == 32);

// OPM_GET_CONNECTOR_TYPE {81D0BFD5-6AFE-48C2-99C0-95A08F97C5DA}
constexpr Guid kOpmGetConnectorType = {0x81D0BFD5, 0x6AFE, 0x48C2,
                                       {0x99, 0xC0, 0x95, 0xA0, 0x8F, 0x97, 0xC5, 0xDA}};
constexpr uint32_t kOpmVosOpmSemantics = 1;
constexpr uint32_t kOpmStatusNormal = 0;

// IOPMVideoOutput: a reference-counted video output of the graphics driver.
class OpmVideoOutput {
 public:
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;
  // Fills the driver's random number and hands over its certificate message,
  // allocated with CoTaskMemAlloc, that the caller frees with CoTaskMemFree.
  virtual HRESULT StartInitialization(OpmRandomNumber* random, uint8_t** certificate,
                                      uint32_t* certificate_length) = 0;
  virtual HRESULT FinishInitialization(const OpmEncryptedInitializationParameters* parameters) = 0;
  virtual HRESULT GetInformation(const OpmGetInfoParameters* parameters,
                                 OpmRequestedInformation* information) = 0;

 protected:
  ~OpmVideoOutput() = default;
};

// OPMGetVideoOutputsFromHMONITOR: on success `outputs` is an array of `count`
// outputs, each holding one reference, allocated with CoTaskMemAlloc.
HRESULT OPMGetVideoOutputsFromHMONITOR(MonitorHandle monitor, uint32_t semantics, uint32_t* count,
                                       OpmVideoOutput*** outputs);

void* CoTaskMemAlloc(size_t size);
void CoTaskMemFree(void* block);

}  // namespace monctl::platform
