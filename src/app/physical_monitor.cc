#include "app/physical_monitor.h"

#include <limits>
#include <new>

#include "framework/output/message_writer.h"
#include "platform/system.h"

namespace monctl {

CPhysicalMonitor::CPhysicalMonitor(CMessageWriter& writer) : m_Writer(writer) {}

CPhysicalMonitor::~CPhysicalMonitor() { Release(); }

void CPhysicalMonitor::DestroyMonitors() {
  if (!m_pMonitors) return;
  if (m_nCount != 0) platform::DestroyPhysicalMonitors(m_nCount, m_pMonitors.get());
  m_pMonitors.reset();
  m_nCount = 0;
}

bool CPhysicalMonitor::Attach(platform::MonitorHandle hMonitor) {
  DestroyMonitors();
  m_Opm.Close();

  uint32_t count = 0;
  if (!platform::GetNumberOfPhysicalMonitorsFromHMONITOR(hMonitor, &count)) return false;
  if (count > std::numeric_limits<size_t>::max() / sizeof(platform::PhysicalMonitor)) {
    platform::SetLastError(platform::kErrorNotEnoughMemory);
    return false;
  }
  m_pMonitors.reset(new (std::nothrow) platform::PhysicalMonitor[count]());
  if (!m_pMonitors) {
    platform::SetLastError(platform::kErrorNotEnoughMemory);
    return false;
  }
  if (!platform::GetPhysicalMonitorsFromHMONITOR(hMonitor, count, m_pMonitors.get())) return false;

  m_MonitorInfo = {};
  if (!platform::GetMonitorInfoW(hMonitor, &m_MonitorInfo)) {
    // The handles just obtained are given back now rather than left behind
    // uncounted; the last error of the failed call is kept.
    uint32_t error = platform::GetLastError();
    platform::DestroyPhysicalMonitors(count, m_pMonitors.get());
    m_pMonitors.reset();
    platform::SetLastError(error);
    return false;
  }

  m_Opm.GetVideoOutputs(hMonitor);  // a monitor without OPM outputs is still loaded
  m_nCount = count;
  m_hMonitor = hMonitor;
  return true;
}

void CPhysicalMonitor::Release() {
  DestroyMonitors();
  m_Opm.Close();
}

const platform::PhysicalMonitor* CPhysicalMonitor::GetMonitor(uint32_t index) const {
  if (!m_pMonitors || index >= m_nCount) {
    platform::SetLastError(platform::kErrorInvalidParameter);
    return nullptr;
  }
  return &m_pMonitors[index];
}

const CPhysicalMonitor::CDisplayDeviceName* CPhysicalMonitor::FindDisplayDevice(std::u16string_view name) {
  if (const auto it = m_DeviceIndex.find(std::u16string(name)); it != m_DeviceIndex.end()) {
    return &m_Devices[it->second];
  }
  // The enumeration goes on where the last one stopped: the devices before
  // were enumerated, and none of them has this name.
  platform::DisplayDevice device = {};
  for (auto i = static_cast<uint32_t>(m_Devices.size());; ++i) {
    if (!platform::EnumDisplayDevicesW(nullptr, i, &device, 0)) return nullptr;
    m_Devices.push_back({device.DeviceString, device.StateFlags});
    const std::u16string_view device_name(device.DeviceName);
    m_DeviceIndex.emplace(device_name, i);
    if (device_name == name) return &m_Devices.back();
  }
}

bool CPhysicalMonitor::WriteName(const CPhysicalMonitor& display, uint32_t index) {
  const platform::PhysicalMonitor* record = display.GetMonitor(index);
  if (record == nullptr) return false;
  const CDisplayDeviceName* device = FindDisplayDevice(display.m_MonitorInfo.szDevice);
  if (device == nullptr) return false;
  m_Writer.Write(u"%s on %s", record->szPhysicalMonitorDescription, device->m_strString.c_str());
  if ((device->m_dwStateFlags & platform::kDisplayDevicePrimaryDevice) != 0) m_Writer.Write(u" [Primary]");
  m_Writer.NewLine();
  return true;
}

int CEnumPhysicalMonitors::SelectProc(platform::MonitorHandle hMonitor, platform::DeviceContext,
                                      platform::Rect*, intptr_t object) {
  auto* self = reinterpret_cast<CEnumPhysicalMonitors*>(object);
  if (self == nullptr) return 1;
  if (!self->Attach(hMonitor)) return 1;
  for (uint32_t i = 0; i < self->m_nCount; ++i) {
    if (++self->m_nCounter == self->m_nTarget) {
      self->m_nSelected = i;
      self->m_bFound = true;
      return 0;
    }
  }
  return 1;
}

int CEnumPhysicalMonitors::ListProc(platform::MonitorHandle hMonitor, platform::DeviceContext,
                                    platform::Rect*, intptr_t object) {
  auto* self = reinterpret_cast<CEnumPhysicalMonitors*>(object);
  if (self == nullptr || !self->Attach(hMonitor)) return 1;
  for (uint32_t i = 0; i < self->m_nCount; ++i) {
    ++self->m_nCounter;
    self->m_Writer.Write(u" %lu - ", self->m_nCounter);
    self->WriteName(*self, i);
    if (self->m_bProperties) {
      self->m_Writer.NewLine();
      self->ShowProperties(i);
    }
  }
  return 1;
}

bool CEnumPhysicalMonitors::Select(uint32_t device) {
  m_nCounter = 0;
  m_nTarget = device;
  m_bFound = false;
  platform::EnumDisplayMonitors(nullptr, nullptr, SelectProc, reinterpret_cast<intptr_t>(this));
  return m_bFound;
}

int CEnumPhysicalMonitors::AttachProc(platform::MonitorHandle hMonitor, platform::DeviceContext,
                                      platform::Rect*, intptr_t object) {
  auto* self = reinterpret_cast<CEnumPhysicalMonitors*>(object);
  if (self == nullptr) return 1;
  auto display = std::make_unique<CPhysicalMonitor>(self->m_Writer);
  if (display->Attach(hMonitor)) self->m_Displays.push_back(std::move(display));
  return 1;
}

std::vector<CEnumPhysicalMonitors::CNumbered> CEnumPhysicalMonitors::AttachAll() {
  m_Displays.clear();
  platform::EnumDisplayMonitors(nullptr, nullptr, AttachProc, reinterpret_cast<intptr_t>(this));
  std::vector<CNumbered> monitors;
  for (const std::unique_ptr<CPhysicalMonitor>& display : m_Displays) {
    for (uint32_t i = 0; i < display->m_nCount; ++i) monitors.push_back({display.get(), i});
  }
  return monitors;
}

void CEnumPhysicalMonitors::List(bool properties) {
  m_Writer.WriteLine(u"Available Monitors:\n");
  m_nCounter = 0;
  m_bProperties = properties;
  platform::EnumDisplayMonitors(nullptr, nullptr, ListProc, reinterpret_cast<intptr_t>(this));
  if (!m_bProperties) m_Writer.NewLine();
  m_Writer.WriteLine(u"Done.");
}

}  // namespace monctl
