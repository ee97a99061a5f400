// Brightness, contrast and saving the monitor's settings.
#include "app/console.h"
#include "app/ddc.h"
#include "app/physical_monitor.h"
#include "app/steps.h"

namespace monctl {
namespace {

struct LevelControl {
  bool (*get)(platform::PhysicalMonitorHandle, uint32_t*, uint32_t*, uint32_t*);
  bool (*set)(platform::PhysicalMonitorHandle, uint32_t);
};

// Reads the monitor's range, checks `level` against it and sets it. The
// messages differ only in their words, so each step passes its own.
template <class Messages>
bool SetLevel(CConsole& console, CPhysicalMonitor& monitor, uint32_t index, LevelControl control, uint32_t level) {
  const platform::PhysicalMonitor* record = monitor.GetMonitor(index);
  uint32_t minimum = 0;
  uint32_t current = 0;
  uint32_t maximum = 0;
  if (record == nullptr || !Retried(control.get, record->hPhysicalMonitor, &minimum, &current, &maximum)) {
    console.WriteLastError(Messages::kCouldNotGet);
    return false;
  }
  if (level < minimum || level > maximum) {
    console.WriteError(Messages::kOutOfRange);
    return false;
  }
  if (level == current) {
    console.WriteLine(Messages::kUnchanged);
    return true;
  }
  record = monitor.GetMonitor(index);
  if (record == nullptr || !Retried(control.set, record->hPhysicalMonitor, level)) {
    console.WriteLastError(Messages::kCouldNotSet);
    return false;
  }
  console.WriteLine(Messages::kChanged, current, level);
  return true;
}

struct BrightnessMessages {
  static constexpr char16_t kCouldNotGet[] = u"could not get brightness level.";
  static constexpr char16_t kOutOfRange[] = u"brightness level out of range.";
  static constexpr char16_t kUnchanged[] = u"The brightness level will remain unchanged.";
  static constexpr char16_t kCouldNotSet[] = u"could not set brightness level.";
  static constexpr char16_t kChanged[] = u"Brightness level successfully changed from %lu to %lu.";
};

struct ContrastMessages {
  static constexpr char16_t kCouldNotGet[] = u"could not get contrast level.";
  static constexpr char16_t kOutOfRange[] = u"contrast level out of range.";
  static constexpr char16_t kUnchanged[] = u"The contrast level will remain unchanged.";
  static constexpr char16_t kCouldNotSet[] = u"could not set contrast level.";
  static constexpr char16_t kChanged[] = u"Contrast level successfully changed from %lu to %lu.";
};

}  // namespace

bool BrightnessStep(CConsole& console, CPhysicalMonitor& monitor, uint32_t index) {
  return SetLevel<BrightnessMessages>(
      console, monitor, index, {platform::GetMonitorBrightness, platform::SetMonitorBrightness},
      static_cast<uint32_t>(console.m_nBrightness));
}

bool ContrastStep(CConsole& console, CPhysicalMonitor& monitor, uint32_t index) {
  return SetLevel<ContrastMessages>(console, monitor, index,
                                    {platform::GetMonitorContrast, platform::SetMonitorContrast},
                                    static_cast<uint32_t>(console.m_nContrast));
}

bool SaveStep(CConsole& console, CPhysicalMonitor& monitor, uint32_t index) {
  const platform::PhysicalMonitor* record = monitor.GetMonitor(index);
  if (record == nullptr || !Retried(platform::SaveCurrentMonitorSettings, record->hPhysicalMonitor)) return false;
  console.WriteLine(u"Current settings successfully saved to nonvolatile storage.");
  return true;
}

}  // namespace monctl
