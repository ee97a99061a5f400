// The command-line parser with the tool's options, on arbitrary argument
// vectors. The input is UTF-16LE code units (an odd last byte is dropped);
// U+0000 separates the arguments, so any unit but U+0000 can appear in an
// argument. Each input gets a fresh console object; it parses, validates,
// and writes the banner and, when due, the usage report into a sink.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/console.h"
#include "fuzz/fuzz_check.h"

namespace monctl {
namespace {

// The tool's console with its output counted instead of written.
class SinkConsole final : public CConsole {
 public:
  void OutputText(const std::u16string& text) override { written += text.size(); }
  size_t written = 0;
};

bool OneOf(uint32_t value, std::initializer_list<uint32_t> allowed) {
  for (uint32_t a : allowed) {
    if (value == a) return true;
  }
  return false;
}

}  // namespace
}  // namespace monctl

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  monctl::fuzz::DiscardStandardOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace monctl;
  std::vector<std::u16string> texts = {u"C:\\Tools\\monctl.exe"};
  if (size >= 2) {
    texts.emplace_back();
    for (size_t i = 0; i + 1 < size; i += 2) {
      const char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
      if (unit == 0) {
        texts.emplace_back();
      } else {
        texts.back().push_back(unit);
      }
    }
  }
  // The parser writes into the arguments: writable copies that outlive it.
  std::vector<char16_t*> argv;
  for (std::u16string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);

  SinkConsole console;
  console.ParseCommandLine(static_cast<int>(texts.size()), argv.data());

  // Validation is stable: once parsed, it agrees with the help flag.
  FUZZ_CHECK(console.ValidateParameters() == !console.m_bHelp);
  // The tool allows only the levels "none" and "normal".
  FUZZ_CHECK(OneOf(console.m_dwDisplayLevel, {kDisplayNone, kDisplayNormal}));
  if (!console.IsUsageRequired()) {
    const uint32_t options = console.m_dwParameters;
    FUZZ_CHECK((options & (kOptionDevice | kOptionListDevices | kOptionPower)) != 0);
    FUZZ_CHECK(options != kOptionDevice);
    FUZZ_CHECK((options & kOptionToggle) == 0 || (options & kOptionRotate) != 0);
    FUZZ_CHECK((options & kOptionDevice) == 0 || console.m_nDevice != 0);
    FUZZ_CHECK(OneOf(console.m_dwRotate,
                     {kRotate0, kRotate90, kRotate180, kRotate270, kRotateCw, kRotateCcw, kRotateDefault}));
    FUZZ_CHECK(OneOf(console.m_dwPower, {kPowerOn, kPowerOff, kPowerLow, kPowerSaver}));
  }

  // What the run writes before it acts; the parameters as typed end up in
  // the usage report, which must take them as text, never as a format.
  console.ShowBanner();
  if (console.IsUsageRequired()) {
    const size_t before = console.written;
    console.ShowUsage();
    if (console.m_dwDisplayLevel == kDisplayNormal) {
      FUZZ_CHECK(console.written >= before + console.m_strInvalidParameters.size() +
                                        console.m_strUnknownParameters.size());
    }
  }
  return 0;
}
