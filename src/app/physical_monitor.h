// The physical monitors of one display monitor, and the pass over all
// display monitors that numbers them 1, 2, 3, ... in enumeration order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "opm/opm_session.h"
#include "platform/display.h"

namespace monctl {

class CMessageWriter;

class CPhysicalMonitor {
 public:
  explicit CPhysicalMonitor(CMessageWriter& writer);
  virtual ~CPhysicalMonitor();
  CPhysicalMonitor(const CPhysicalMonitor&) = delete;
  CPhysicalMonitor& operator=(const CPhysicalMonitor&) = delete;

  // Loads one display monitor: its physical monitors, its monitor
  // information and its OPM outputs. On failure the last error says why.
  bool Attach(platform::MonitorHandle hMonitor);
  // Gives back everything the object holds.
  void Release();
  // The record at `index`, or nullptr (last error ERROR_INVALID_PARAMETER).
  const platform::PhysicalMonitor* GetMonitor(uint32_t index) const;
  // Writes "<description> on <adapter>[ [Primary]]" and a line end for
  // physical monitor `index` of `display` (this object or another), the
  // adapter from this object's display devices.
  bool WriteName(const CPhysicalMonitor& display, uint32_t index);
  // What the name line shows of one display device.
  struct CDisplayDeviceName {
    std::u16string m_strString;
    uint32_t m_dwStateFlags;
  };
  // The first display device, in enumeration order, named `name`; null when
  // an enumeration call fails first.
  const CDisplayDeviceName* FindDisplayDevice(std::u16string_view name);
  // The properties report of physical monitor `index`: what the monitor and
  // its display device say (false, with the error written, when there is
  // nothing to report), then the connector type and an empty line.
  bool ShowProperties(uint32_t index);
  bool ShowMonitorProperties(uint32_t index);
  void ShowConnectorType(uint32_t index);

  platform::MonitorHandle m_hMonitor = nullptr;
  platform::MonitorInfo m_MonitorInfo = {};
  uint32_t m_nSelected = 0;
  uint32_t m_nCount = 0;
  std::unique_ptr<platform::PhysicalMonitor[]> m_pMonitors;
  opm::COpmSession m_Opm;

 protected:
  CMessageWriter& m_Writer;

 private:
  void DestroyMonitors();

  // The display devices enumerated so far, indices 0 to size - 1: a listing
  // names each monitor's device without enumerating the earlier ones again.
  std::vector<CDisplayDeviceName> m_Devices;
  // The first index of each device name among them.
  std::unordered_map<std::u16string, uint32_t> m_DeviceIndex;
};

class CEnumPhysicalMonitors : public CPhysicalMonitor {
 public:
  using CPhysicalMonitor::CPhysicalMonitor;

  static int SelectProc(platform::MonitorHandle hMonitor, platform::DeviceContext dc,
                        platform::Rect* rect, intptr_t object);
  static int ListProc(platform::MonitorHandle hMonitor, platform::DeviceContext dc,
                      platform::Rect* rect, intptr_t object);

  // Stops at the physical monitor numbered `device`; true when reached.
  bool Select(uint32_t device);
  // Writes the list of all physical monitors, with their properties when asked.
  void List(bool properties);

  // A physical monitor: its display monitor and its index there.
  struct CNumbered {
    CPhysicalMonitor* display;
    uint32_t index;
  };
  // Every physical monitor of the display monitors that can be loaded, in
  // number order. Each display monitor is loaded into an object of its own
  // (m_Displays), which keeps it until this object goes.
  std::vector<CNumbered> AttachAll();
  static int AttachProc(platform::MonitorHandle hMonitor, platform::DeviceContext dc, platform::Rect* rect,
                        intptr_t object);
  std::vector<std::unique_ptr<CPhysicalMonitor>> m_Displays;
  // The same list as one JSON document, with the monitors' identities.
  void ListJson(bool properties);

  uint32_t m_nCounter = 0;
  uint32_t m_nTarget = 0;
  bool m_bProperties = false;
  bool m_bFound = false;
};

}  // namespace monctl
