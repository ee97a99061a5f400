// The whole tool on arbitrary display stacks. The input is a scenario; when
// the loader accepts it (and it is small enough to run quickly), the tool
// runs on it in this process with one of four command lines, chosen by the
// input's length. It must end with one of its exit codes and give back
// every physical monitor handle, OPM output and block of task memory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "app/console.h"
#include "app/main.h"
#include "fuzz/fuzz_check.h"
#include "platform/sim/backend.h"
#include "platform/sim/scenario_loader.h"
#include "platform/sim/simulator.h"

namespace {

const std::vector<std::vector<std::u16string>> kCommandLines = {
    {u"/listdevices", u"/properties"},
    {u"/device", u"2", u"/brightness", u"70", u"/contrast", u"60", u"/save"},
    {u"/device", u"2", u"/rotate", u"cw", u"/toggle", u"/position", u"-100", u"0"},
    {u"/properties"},
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  monctl::fuzz::DiscardStandardOutput();
  // The tool installs its crash handler, which would put a dump into the
  // local application data folder.
  ::setenv("HOME", "/tmp", 1);
  ::setenv("XDG_DATA_HOME", "/tmp", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace monctl;
  sim::Scenario scenario;
  std::string error;
  if (!sim::ParseScenario(std::string_view(reinterpret_cast<const char*>(data), size), &scenario, &error)) {
    return 0;
  }
  // Each OPM output costs a handshake with an RSA key: keep runs short.
  size_t monitors = 0;
  size_t outputs = 0;
  for (const sim::DisplayConfig& display : scenario.displays) {
    monitors += display.physical.size();
    outputs += display.opm ? display.opm->size() : 0;
  }
  if (scenario.displays.size() > 16 || monitors > 32 || outputs > 4) return 0;

  sim::Install(std::make_unique<sim::Simulator>(std::move(scenario)));
  const size_t blocks_before = sim::LiveTaskMemBlocks();

  // A fresh application object, as a new process would have.
  CConsole& console = TheConsole();
  console.~CConsole();
  new (&console) CConsole();

  std::vector<std::u16string> texts = {u"monctl"};
  const auto& args = kCommandLines[size % kCommandLines.size()];
  texts.insert(texts.end(), args.begin(), args.end());
  std::vector<char16_t*> argv;
  for (std::u16string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);
  const int code = wmain(static_cast<int>(texts.size()), argv.data());

  FUZZ_CHECK(code >= kExitSuccess && code <= kExitDisplaySettings);
  FUZZ_CHECK(sim::Current().live_physical_monitors() == 0);
  FUZZ_CHECK(sim::Current().live_opm_outputs() == 0);
  FUZZ_CHECK(sim::LiveTaskMemBlocks() == blocks_before);
  sim::Install(nullptr);
  return 0;
}
