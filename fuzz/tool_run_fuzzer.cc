// The whole tool, in this process, on any small scenario that the loader
// accepts, with one of the command lines below chosen by the input's length
// (fuzz/README.md).
#include <cstdlib>
#include <new>

#include "app/console.h"
#include "app/main.h"
#include "fuzz/fuzz_check.h"
#include "platform/sim/backend.h"
#include "platform/sim/scenario_loader.h"
#include "platform/sim/simulator.h"

using namespace monctl;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  DiscardStandardOutput();
  ::setenv("HOME", "/tmp", 1);  // where a crash dump would go
  ::setenv("XDG_DATA_HOME", "/tmp", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<std::u16string> kCommandLines[] = {
      {u"monctl", u"/listdevices", u"/properties"},
      {u"monctl", u"/device", u"2", u"/brightness", u"70", u"/contrast", u"60", u"/save"},
      {u"monctl", u"/device", u"2", u"/rotate", u"cw", u"/toggle", u"/position", u"-100", u"0"},
      {u"monctl", u"/properties"},
      {u"monctl", u"/listdevices", u"/properties", u"/json"},
      {u"monctl", u"/monitor", u"dell", u"/brightness", u"70"},
      {u"monctl", u"/device", u"all", u"/brightness", u"70", u"/save"},
      {u"monctl", u"/device", u"all", u"/capabilities", u"/json"},
      {u"monctl", u"/vcp", u"0x12", u"40", u"/input", u"hdmi1"},
      {u"monctl", u"/device", u"2", u"/vcp", u"0xD6"}};
  sim::Scenario scenario;
  std::string error;
  if (!sim::ParseScenario({reinterpret_cast<const char*>(data), size}, &scenario, &error)) return 0;
  size_t monitors = 0, outputs = 0;  // each OPM output costs a handshake with an RSA key
  for (const sim::DisplayConfig& display : scenario.displays) {
    monitors += display.physical.size();
    outputs += display.opm ? display.opm->size() : 0;
  }
  if (scenario.displays.size() > 16 || monitors > 32 || outputs > 4) return 0;
  scenario.ddc_timing = false;  // real waits would only slow the fuzzing down
  sim::Install(std::make_unique<sim::Simulator>(std::move(scenario)));
  const size_t blocks_before = sim::LiveTaskMemBlocks();
  CConsole& console = TheConsole();  // made afresh, as a new process would have it
  console.~CConsole();
  new (&console) CConsole();
  std::vector<std::u16string> texts = kCommandLines[size % std::size(kCommandLines)];
  std::vector<char16_t*> argv;
  for (std::u16string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);
  const int code = wmain(static_cast<int>(texts.size()), argv.data());
  FUZZ_CHECK(code >= kExitSuccess && code <= kExitDdc && sim::LiveTaskMemBlocks() == blocks_before);
  FUZZ_CHECK(sim::Current().live_physical_monitors() == 0 && sim::Current().live_opm_outputs() == 0);
  sim::Install(nullptr);
  return 0;
}
