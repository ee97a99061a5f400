#include "platform/sim/simulator.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

#include "platform/sim/scenario_loader.h"
#include "platform/text.h"

namespace monctl::sim {
namespace {

// DISPLAY_DEVICEW StateFlags besides the primary flag.
constexpr uint32_t kDisplayDeviceAttachedToDesktop = 0x1;
constexpr uint32_t kDisplayDeviceActive = 0x1;    // monitor devices
constexpr uint32_t kDisplayDeviceAttached = 0x2;  // monitor devices

// Physical monitor handles are numbered for the whole process, so that a
// handle of a destroyed monitor or of an earlier simulator never becomes
// valid again.
std::atomic<uintptr_t> last_physical_handle{0};

template <size_t N>
void CopyText(char16_t (&target)[N], std::u16string_view text) {
  const size_t length = std::min(text.size(), N - 1);
  std::copy_n(text.begin(), length, target);
  std::fill(target + length, target + N, u'\0');
}

// Addition with the wrap-around of the 32-bit arithmetic the window manager
// does, without undefined behaviour on overflow.
int32_t Add(int32_t a, int64_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// An OPM output of the simulated driver with its references counted here,
// so that the simulator knows how many outputs the caller still holds.
// A test can make its calls fail (faults.h).
class TrackedOutput final : public platform::OpmVideoOutput {
 public:
  TrackedOutput(platform::OpmVideoOutput* driver_output, std::shared_ptr<size_t> live, size_t display,
                size_t index)
      : driver_output_(driver_output), live_(std::move(live)), display_(display), index_(index) {
    ++*live_;
  }

  uint32_t AddRef() override { return ++references_; }

  uint32_t Release() override {
    const uint32_t left = --references_;
    if (left == 0) {
      driver_output_->Release();
      --*live_;
      delete this;
    }
    return left;
  }

  platform::HRESULT StartInitialization(platform::OpmRandomNumber* random, uint8_t** certificate,
                                        uint32_t* certificate_length) override {
    if (const auto error = InjectedFailure(Call::kStartInitialization, display_, index_, false)) {
      return platform::HresultFromWin32(*error);
    }
    DriverCalls driver;
    return driver_output_->StartInitialization(random, certificate, certificate_length);
  }

  platform::HRESULT FinishInitialization(
      const platform::OpmEncryptedInitializationParameters* parameters) override {
    if (const auto error = InjectedFailure(Call::kFinishInitialization, display_, index_, false)) {
      return platform::HresultFromWin32(*error);
    }
    DriverCalls driver;
    return driver_output_->FinishInitialization(parameters);
  }

  platform::HRESULT GetInformation(const platform::OpmGetInfoParameters* parameters,
                                   platform::OpmRequestedInformation* information) override {
    if (const auto error = InjectedFailure(Call::kGetInformation, display_, index_, false)) {
      return platform::HresultFromWin32(*error);
    }
    DriverCalls driver;
    return driver_output_->GetInformation(parameters, information);
  }

 private:
  // The driver's own faults are not known here: every call counts as one
  // that would succeed.
  ~TrackedOutput() = default;

  platform::OpmVideoOutput* driver_output_;
  std::shared_ptr<size_t> live_;
  size_t display_;
  size_t index_;
  uint32_t references_ = 1;
};

// The time a DDC/CI call takes on the bus: the monitor needs that long
// between messages. The capabilities string comes in fragments of 32 bytes.
std::chrono::milliseconds DdcTime(Call call, const PhysicalMonitorConfig& monitor) {
  using std::chrono::milliseconds;
  switch (call) {
    case Call::kSetMonitorBrightness:
    case Call::kSetMonitorContrast:
    case Call::kSetVCPFeature:
      return milliseconds(50);
    case Call::kSaveCurrentMonitorSettings:
      return milliseconds(200);
    case Call::kGetMonitorCapabilities:
    case Call::kCapabilitiesRequestAndCapabilitiesReply: {
      const size_t bytes = monitor.capabilities_string ? monitor.capabilities_string->size() : 0;
      return milliseconds(50 * static_cast<int64_t>((bytes + 31) / 32));
    }
    default:
      return milliseconds(40);
  }
}

std::unique_ptr<Simulator>& Installed() {
  static std::unique_ptr<Simulator> simulator;
  return simulator;
}

}  // namespace

Simulator::Simulator(Scenario scenario, std::string log_path)
    : state_(std::move(scenario)),
      log_(std::make_shared<CallLog>(std::move(log_path))),
      live_outputs_(std::make_shared<size_t>(0)) {
  for (const DisplayConfig& display : state_.displays) buses_.emplace_back(display.physical.size());
  for (size_t i = 0; i < state_.displays.size(); ++i) {
    displays_by_device_.emplace(DeviceKey(state_.displays[i].device), i);
    if (state_.displays[i].primary && !primary_) primary_ = i;
  }
  if (!primary_ && !state_.displays.empty()) primary_ = 0;
}

Simulator::~Simulator() = default;

std::optional<size_t> Simulator::FindDisplay(std::u16string_view device) const {
  const auto it = displays_by_device_.find(DeviceKey(device));
  if (it == displays_by_device_.end()) return std::nullopt;
  return it->second;
}

std::optional<size_t> Simulator::PrimaryDisplay() const { return primary_; }

std::optional<uint32_t> Simulator::ScenarioFailure(const FailMap& fail, Call call, size_t display,
                                                   std::optional<size_t> index) const {
  std::lock_guard lock(mutex_);
  const auto it = fail.find(call);
  if (it == fail.end()) return std::nullopt;
  if (it->second.times != FailEntry::kEveryTime && failures_[{display, index, call}]++ >= it->second.times) {
    return std::nullopt;
  }
  return it->second.error;
}

std::optional<Status> Simulator::DisplayFailure(size_t display, Call call, std::optional<size_t> index) const {
  const auto scenario = ScenarioFailure(state_.displays[display].fail, call, display, std::nullopt);
  if (const auto error = InjectedFailure(call, display, index, scenario.has_value())) return Status::Failure(*error);
  if (!scenario) return std::nullopt;
  return Status::Failure(*scenario);
}

Status Simulator::GetMonitorInfoW(size_t display, platform::MonitorInfo* info) const {
  std::lock_guard lock(mutex_);
  if (auto failure = DisplayFailure(display, Call::kGetMonitorInfoW)) return *failure;
  const DisplayConfig& config = state_.displays[display];
  info->rcMonitor = config.rect;
  info->rcWork = config.rect;
  info->dwFlags = config.primary ? platform::kMonitorInfoFPrimary : 0;
  CopyText(info->szDevice, config.device);
  return Status::Success();
}

Status Simulator::GetDisplayDevice(size_t display, platform::DisplayDevice* device) const {
  std::lock_guard lock(mutex_);
  if (auto failure = DisplayFailure(display, Call::kEnumDisplayDevicesW)) return *failure;
  const DisplayConfig& config = state_.displays[display];
  *device = {};
  CopyText(device->DeviceName, config.device);
  CopyText(device->DeviceString, config.adapter);
  device->StateFlags =
      kDisplayDeviceAttachedToDesktop | (config.primary ? platform::kDisplayDevicePrimaryDevice : 0);
  CopyText(device->DeviceID, u"PCI\\VEN_1AF4&DEV_1050&SUBSYS_11001AF4&REV_01");
  CopyText(device->DeviceKey,
           Utf8ToUtf16(fmt::format("\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Video\\"
                                   "{{5B45201D-F2F2-4F3B-85BB-30FF1F953599}}\\{:04}",
                                   display)));
  return Status::Success();
}

Status Simulator::GetMonitorDevice(size_t display, size_t index, platform::DisplayDevice* device) const {
  std::lock_guard lock(mutex_);
  if (auto failure = DisplayFailure(display, Call::kEnumDisplayDevicesW, index)) return *failure;
  const DisplayConfig& config = state_.displays[display];
  if (index >= config.physical.size()) return Status::Failure(platform::kErrorNoMoreItems);
  *device = {};
  CopyText(device->DeviceName, config.device + Utf8ToUtf16(fmt::format("\\Monitor{}", index)));
  CopyText(device->DeviceString, config.physical[index].description);
  device->StateFlags = kDisplayDeviceActive | kDisplayDeviceAttached;
  CopyText(device->DeviceID, u"MONITOR\\Default_Monitor");
  return Status::Success();
}

Status Simulator::GetDisplayMode(size_t display, platform::DisplayMode* mode) const {
  std::lock_guard lock(mutex_);
  if (auto failure = DisplayFailure(display, Call::kEnumDisplaySettingsW)) return *failure;
  *mode = state_.displays[display].mode;
  return Status::Success();
}

int32_t Simulator::ChangeDisplayMode(std::u16string_view device, const platform::DisplayMode& mode,
                                     uint32_t flags, std::optional<int32_t> result) {
  std::lock_guard lock(mutex_);
  log_->Append(
      fmt::format("ChangeDisplaySettingsExW {} fields=0x{:08X} orientation={} width={} height={} "
                  "position={},{} flags={}",
                  Utf16ToUtf8(device), mode.dmFields, mode.dmDisplayOrientation, mode.dmPelsWidth,
                  mode.dmPelsHeight, mode.dmPosition.x, mode.dmPosition.y, flags));
  const std::optional<size_t> display = FindDisplay(device);
  if (!display) return platform::kDispChangeBadParam;
  DisplayConfig& config = state_.displays[*display];
  const int32_t outcome = result.value_or(config.change_result);
  if (outcome != platform::kDispChangeSuccessful) return outcome;

  platform::DisplayMode& current = config.mode;
  const uint32_t fields = mode.dmFields;
  if (fields & platform::kDmPosition) {
    const int64_t dx = int64_t{mode.dmPosition.x} - current.dmPosition.x;
    const int64_t dy = int64_t{mode.dmPosition.y} - current.dmPosition.y;
    config.rect = {Add(config.rect.left, dx), Add(config.rect.top, dy), Add(config.rect.right, dx),
                   Add(config.rect.bottom, dy)};
    current.dmPosition = mode.dmPosition;
  }
  if (fields & platform::kDmDisplayOrientation) current.dmDisplayOrientation = mode.dmDisplayOrientation;
  if (fields & platform::kDmBitsPerPel) current.dmBitsPerPel = mode.dmBitsPerPel;
  if (fields & platform::kDmPelsWidth) {
    current.dmPelsWidth = mode.dmPelsWidth;
    config.rect.right = Add(config.rect.left, mode.dmPelsWidth);
  }
  if (fields & platform::kDmPelsHeight) {
    current.dmPelsHeight = mode.dmPelsHeight;
    config.rect.bottom = Add(config.rect.top, mode.dmPelsHeight);
  }
  if (fields & platform::kDmDisplayFlags) current.dmDisplayFlags = mode.dmDisplayFlags;
  if (fields & platform::kDmDisplayFrequency) current.dmDisplayFrequency = mode.dmDisplayFrequency;
  // A field that has been set is known from now on.
  current.dmFields |= fields & kAllModeFields;
  return platform::kDispChangeSuccessful;
}

void Simulator::Broadcast(uintptr_t command, intptr_t parameter) {
  log_->Append(fmt::format("SendMessageTimeoutW 0x{:04X} {}", command, parameter));
}

void Simulator::Sleep(uint32_t milliseconds) { log_->Append(fmt::format("Sleep {}", milliseconds)); }

Status Simulator::GetPhysicalMonitorCount(size_t display, uint32_t* count) const {
  std::lock_guard lock(mutex_);
  if (auto failure = DisplayFailure(display, Call::kGetNumberOfPhysicalMonitorsFromHMONITOR)) return *failure;
  *count = static_cast<uint32_t>(state_.displays[display].physical.size());
  return Status::Success();
}

Status Simulator::GetPhysicalMonitors(size_t display, uint32_t count, platform::PhysicalMonitor* monitors) {
  std::lock_guard lock(mutex_);
  if (auto failure = DisplayFailure(display, Call::kGetPhysicalMonitorsFromHMONITOR)) return *failure;
  const DisplayConfig& config = state_.displays[display];
  if (count != config.physical.size()) return Status::Failure(platform::kErrorInvalidParameter);
  for (size_t i = 0; i < count; ++i) {
    const uintptr_t handle = ++last_physical_handle;
    handles_.emplace(handle, Location{display, i});
    monitors[i].hPhysicalMonitor = reinterpret_cast<platform::PhysicalMonitorHandle>(handle);
    CopyText(monitors[i].szPhysicalMonitorDescription, config.physical[i].description);
  }
  return Status::Success();
}

Status Simulator::DestroyPhysicalMonitor(platform::PhysicalMonitorHandle handle) {
  std::lock_guard lock(mutex_);
  if (handles_.erase(reinterpret_cast<uintptr_t>(handle)) == 0) {
    return Status::Failure(kErrorInvalidPhysicalMonitorHandle);
  }
  return Status::Success();
}

std::unique_lock<std::mutex> Simulator::TakeBus(platform::PhysicalMonitorHandle handle, Call call) const {
  if (!state_.ddc_timing) return {};
  std::mutex* bus = nullptr;
  std::chrono::milliseconds time{};
  {
    std::lock_guard lock(mutex_);
    const auto it = handles_.find(reinterpret_cast<uintptr_t>(handle));
    if (it == handles_.end()) return {};
    bus = &buses_[it->second.display][it->second.index];
    time = DdcTime(call, Monitor(it->second));
  }
  std::unique_lock<std::mutex> hold(*bus);
  std::this_thread::sleep_for(time);
  return hold;
}

Status Simulator::Resolve(platform::PhysicalMonitorHandle handle, Call call, Location* location) const {
  const auto it = handles_.find(reinterpret_cast<uintptr_t>(handle));
  if (it == handles_.end()) return Status::Failure(kErrorInvalidPhysicalMonitorHandle);
  *location = it->second;
  const auto scenario = ScenarioFailure(Monitor(*location).fail, call, location->display, location->index);
  if (const auto error = InjectedFailure(call, location->display, location->index, scenario.has_value())) {
    return Status::Failure(*error);
  }
  return scenario ? Status::Failure(*scenario) : Status::Success();
}

const PhysicalMonitorConfig& Simulator::Monitor(Location location) const {
  return state_.displays[location.display].physical[location.index];
}

std::string Simulator::Name(Location location) const {
  return fmt::format("{}#{}", Utf16ToUtf8(state_.displays[location.display].device), location.index);
}

Status Simulator::GetCapabilities(platform::PhysicalMonitorHandle handle, uint32_t* capabilities,
                                  uint32_t* color_temperatures) const {
  const auto bus = TakeBus(handle, Call::kGetMonitorCapabilities);
  std::lock_guard lock(mutex_);
  Location location;
  if (Status status = Resolve(handle, Call::kGetMonitorCapabilities, &location); !status.ok) return status;
  *capabilities = Monitor(location).capabilities;
  *color_temperatures = Monitor(location).color_temperatures;
  return Status::Success();
}

Status Simulator::GetLevels(platform::PhysicalMonitorHandle handle, Setting setting, Levels* levels) const {
  static constexpr Call kCalls[] = {Call::kGetMonitorBrightness, Call::kGetMonitorContrast,
                                    Call::kGetMonitorDisplayAreaSize, Call::kGetMonitorDisplayAreaSize};
  const auto bus = TakeBus(handle, kCalls[static_cast<size_t>(setting)]);
  std::lock_guard lock(mutex_);
  Location location;
  const Status status = Resolve(handle, kCalls[static_cast<size_t>(setting)], &location);
  if (!status.ok) return status;
  const PhysicalMonitorConfig& monitor = Monitor(location);
  switch (setting) {
    case Setting::kBrightness:
      *levels = monitor.brightness;
      break;
    case Setting::kContrast:
      *levels = monitor.contrast;
      break;
    case Setting::kWidth:
      *levels = monitor.width;
      break;
    case Setting::kHeight:
      *levels = monitor.height;
      break;
  }
  return Status::Success();
}

Status Simulator::SetLevel(platform::PhysicalMonitorHandle handle, Setting setting, uint32_t level) {
  if (setting != Setting::kBrightness && setting != Setting::kContrast) {
    return Status::Failure(platform::kErrorInvalidParameter);
  }
  const Call call = setting == Setting::kBrightness ? Call::kSetMonitorBrightness : Call::kSetMonitorContrast;
  const auto bus = TakeBus(handle, call);
  std::lock_guard lock(mutex_);
  Location location;
  if (Status status = Resolve(handle, call, &location); !status.ok) return status;
  PhysicalMonitorConfig& monitor = state_.displays[location.display].physical[location.index];
  (setting == Setting::kBrightness ? monitor.brightness : monitor.contrast).current = level;
  log_->Append(fmt::format("{} {} {}", NameOf(call), Name(location), level));
  return Status::Success();
}

Status Simulator::GetTechnology(platform::PhysicalMonitorHandle handle, int32_t* technology) const {
  const auto bus = TakeBus(handle, Call::kGetMonitorTechnologyType);
  std::lock_guard lock(mutex_);
  Location location;
  if (Status status = Resolve(handle, Call::kGetMonitorTechnologyType, &location); !status.ok) return status;
  *technology = Monitor(location).technology;
  return Status::Success();
}

Status Simulator::SaveSettings(platform::PhysicalMonitorHandle handle) {
  const auto bus = TakeBus(handle, Call::kSaveCurrentMonitorSettings);
  std::lock_guard lock(mutex_);
  Location location;
  if (Status status = Resolve(handle, Call::kSaveCurrentMonitorSettings, &location); !status.ok) return status;
  log_->Append(fmt::format("SaveCurrentMonitorSettings {}", Name(location)));
  return Status::Success();
}

namespace {

constexpr uint8_t kVcpBrightness = 0x10;
constexpr uint8_t kVcpContrast = 0x12;

}  // namespace

Status Simulator::GetVcp(platform::PhysicalMonitorHandle handle, uint8_t code, VcpFeature* feature) const {
  const auto bus = TakeBus(handle, Call::kGetVCPFeatureAndVCPFeatureReply);
  std::lock_guard lock(mutex_);
  Location location;
  if (Status status = Resolve(handle, Call::kGetVCPFeatureAndVCPFeatureReply, &location); !status.ok) return status;
  const PhysicalMonitorConfig& monitor = Monitor(location);
  if (code == kVcpBrightness || code == kVcpContrast) {
    const Levels& levels = code == kVcpBrightness ? monitor.brightness : monitor.contrast;
    *feature = {levels.current, levels.maximum, false};
    return Status::Success();
  }
  const auto it = monitor.vcp.find(code);
  if (it == monitor.vcp.end()) return Status::Failure(kErrorVcpNotSupported);
  *feature = it->second;
  return Status::Success();
}

Status Simulator::SetVcp(platform::PhysicalMonitorHandle handle, uint8_t code, uint32_t value) {
  const auto bus = TakeBus(handle, Call::kSetVCPFeature);
  std::lock_guard lock(mutex_);
  Location location;
  if (Status status = Resolve(handle, Call::kSetVCPFeature, &location); !status.ok) return status;
  PhysicalMonitorConfig& monitor = state_.displays[location.display].physical[location.index];
  uint32_t* current = code == kVcpBrightness ? &monitor.brightness.current
                      : code == kVcpContrast ? &monitor.contrast.current
                                             : nullptr;
  if (current == nullptr) {
    const auto it = monitor.vcp.find(code);
    if (it == monitor.vcp.end()) return Status::Failure(kErrorVcpNotSupported);
    current = &it->second.current;
  }
  *current = value;
  log_->Append(fmt::format("SetVCPFeature {} 0x{:02X} {}", Name(location), code, value));
  return Status::Success();
}

Status Simulator::GetCapabilitiesString(platform::PhysicalMonitorHandle handle, Call call,
                                        std::string_view* text) const {
  const auto bus = TakeBus(handle, call);
  std::lock_guard lock(mutex_);
  Location location;
  if (Status status = Resolve(handle, call, &location); !status.ok) return status;
  const std::optional<std::string>& string = Monitor(location).capabilities_string;
  if (!string) return Status::Failure(platform::kErrorNotSupported);
  *text = *string;
  return Status::Success();
}

platform::HRESULT Simulator::GetOpmOutputs(size_t display, std::vector<platform::OpmVideoOutput*>* outputs) {
  std::lock_guard lock(mutex_);
  const DisplayConfig& config = state_.displays[display];
  if (const auto error = InjectedFailure(Call::kOPMGetVideoOutputsFromHMONITOR, display, std::nullopt, !config.opm)) {
    return platform::HresultFromWin32(*error);
  }
  if (!config.opm) return kOpmNotSupported;
  std::vector<platform::OpmVideoOutput*> made;
  for (size_t i = 0; i < config.opm->size(); ++i) {
    if ((*config.opm)[i].fault == OpmFault::kNullOutput) {
      made.push_back(nullptr);
      continue;
    }
    platform::OpmVideoOutput* output =
        CreateOpmOutput((*config.opm)[i], Name(Location{display, i}),
                        [log = log_](const std::string& line) { log->Append(line); });
    if (output == nullptr) {
      for (platform::OpmVideoOutput* previous : made) {
        if (previous != nullptr) previous->Release();
      }
      return platform::kOutOfMemory;
    }
    made.push_back(new TrackedOutput(output, live_outputs_, display, i));
  }
  *outputs = std::move(made);
  return platform::kOk;
}

Simulator& Current() {
  std::unique_ptr<Simulator>& simulator = Installed();
  if (!simulator) simulator = std::make_unique<Simulator>(DemoScenario());
  return *simulator;
}

void Install(std::unique_ptr<Simulator> simulator) { Installed() = std::move(simulator); }

bool InstallScenarioText(std::string_view json, std::string* error, std::string log_path) {
  Scenario scenario;
  if (!ParseScenario(json, &scenario, error)) return false;
  Install(std::make_unique<Simulator>(std::move(scenario), std::move(log_path)));
  return true;
}

}  // namespace monctl::sim
