// The command-line parser with the tool's options, then the banner and the
// usage report (fuzz/README.md). Input: UTF-16LE code units, an odd last byte
// dropped, U+0000 between the arguments.
#include <vector>

#include "app/console.h"
#include "fuzz/fuzz_check.h"

using namespace monctl;

struct SinkConsole final : CConsole {
  void OutputText(const std::u16string& text) override { written += text.size(); }
  size_t written = 0;
};

template <typename... Allowed>
bool OneOf(uint32_t value, Allowed... allowed) { return ((value == allowed) || ...); }

extern "C" int LLVMFuzzerInitialize(int*, char***) { return DiscardStandardOutput(), 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::u16string> texts = {u"C:\\Tools\\monctl.exe"};
  if (size >= 2) texts.emplace_back();
  for (size_t i = 0; i + 1 < size; i += 2) {
    if (const auto unit = static_cast<char16_t>(data[i] | data[i + 1] << 8)) texts.back() += unit; else texts.emplace_back();
  }
  std::vector<char16_t*> argv;  // the parser writes into the arguments
  for (std::u16string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);
  SinkConsole console;
  console.ParseCommandLine(static_cast<int>(texts.size()), argv.data());
  FUZZ_CHECK(console.ValidateParameters() == !console.m_bHelp && OneOf(console.m_dwDisplayLevel, kDisplayNone, kDisplayNormal));
  if (const uint32_t options = console.m_dwParameters; !console.IsUsageRequired()) {
    FUZZ_CHECK((options & (kOptionDevice | kOptionListDevices | kOptionPower)) != 0 && options != kOptionDevice);
    FUZZ_CHECK((options & kOptionToggle) == 0 || (options & kOptionRotate) != 0);
    FUZZ_CHECK((options & kOptionDevice) == 0 || console.m_bAllDevices || console.m_nDevice != 0);
    FUZZ_CHECK(!console.m_bAllDevices || (options & (kOptionRotate | kOptionPosition | kOptionMonitor)) == 0);
    FUZZ_CHECK(OneOf(console.m_dwRotate, kRotate0, kRotate90, kRotate180, kRotate270, kRotateCw, kRotateCcw, kRotateDefault));
    FUZZ_CHECK(OneOf(console.m_dwPower, kPowerOn, kPowerOff, kPowerLow, kPowerSaver));
  }
  // The parameters as typed go into the usage report as text, whole.
  console.ShowBanner();
  if (const size_t before = console.written; console.IsUsageRequired()) {
    console.ShowUsage();
    FUZZ_CHECK(console.m_dwDisplayLevel != kDisplayNormal ||
               console.written >= before + console.m_strInvalidParameters.size() + console.m_strUnknownParameters.size());
  }
  return 0;
}
