// The OPM state of one monitor record: the display monitor's OPM video
// outputs, the output with which the handshake was completed, the keys of
// that handshake and the sequence number of the next signed request. It
// answers the connector type of an output with a request and an answer that
// both carry an AES-CMAC tag under the session key. Nothing here writes
// output: every failure is a result code.
#pragma once

#include <cstdint>

#include "opm/crypto_handles.h"
#include "platform/display.h"
#include "platform/opm.h"
#include "platform/types.h"

namespace monctl::opm {

class COpmSession {
 public:
  COpmSession() = default;
  ~COpmSession() { Close(); }
  COpmSession(const COpmSession&) = delete;
  COpmSession& operator=(const COpmSession&) = delete;

  // Releases the outputs, the current output and the driver key and zeroes
  // the count and both sequence numbers. The session key stays.
  void Close();

  // Binds the session to a display monitor: Close(), then the monitor's
  // outputs from OPMGetVideoOutputsFromHMONITOR. On failure the session
  // holds no outputs, so that every query fails with E_INVALIDARG.
  platform::HRESULT GetVideoOutputs(platform::MonitorHandle monitor);

  // Makes output `index` the current output, running the handshake when it
  // is not current already.
  platform::HRESULT SelectOutput(uint32_t index);

  // The driver's standard answer to OPM_GET_CONNECTOR_TYPE for output
  // `index`, into the caller's zero-filled `information`; the connector
  // type is its ulInformation.
  platform::HRESULT QueryConnectorType(uint32_t index,
                                       platform::OpmStandardInformation* information);

  // The OPM initialisation handshake with `output`: takes the driver's key
  // from its certificate, chooses the session key and the sequence numbers
  // and sends them encrypted under the driver's key.
  platform::HRESULT InitializeOutput(platform::OpmVideoOutput* output);

  uint32_t OutputCount() const { return m_nOutputs; }

 private:
  friend class COpmSessionPeer;  // tests

  uint32_t m_dwStatusSequence = 0;   // ulSequenceNumber of the next request
  uint32_t m_dwCommandSequence = 0;  // sent in the handshake; no command is sent
  uint32_t m_nOutputs = 0;
  uint8_t m_abSessionKey[16] = {};
  OutputReference m_pCurrentOutput;
  platform::OpmVideoOutput** m_ppOutputs = nullptr;  // CoTaskMemAlloc; one reference each
  UniqueKey m_hDriverKey;
};

}  // namespace monctl::opm
