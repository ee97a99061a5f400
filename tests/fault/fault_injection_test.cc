// Fault injection (README.md): each failable call of a run fails once, in
// turn, against an undisturbed baseline run. The tool runs in this process:
// its application object is rebuilt before each run and its standard output
// goes to a file.
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "app/console.h"
#include "app/main.h"
#include "platform/sim/backend.h"
#include "platform/sim/faults.h"
#include "platform/sim/scenario_loader.h"
#include "platform/sim/simulator.h"
#include "platform/text.h"

#ifndef __has_feature
#define __has_feature(feature) 0
#endif
#if defined(__SANITIZE_ADDRESS__) || __has_feature(address_sanitizer)
#include <sanitizer/lsan_interface.h>
#define MONCTL_LEAK_CHECK() EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "LeakSanitizer found leaks"
#else
#define MONCTL_LEAK_CHECK()
#endif

namespace monctl {
namespace {

using Lines = std::vector<std::string>;
using sim::Call;

// Not an error that a DDC/CI call retries: each run fails its call once.
constexpr uint32_t kInjectedError = 0xC0262581;  // ERROR_GRAPHICS_I2C_DEVICE_DOES_NOT_EXIST
constexpr char kInjectedErrorText[] = "No device answers at the I2C address. (0xC0262581)";

struct ToolRun {
  int exit_code = 0;
  Lines output;
  Lines log;
  std::vector<sim::CallRecord> calls;
};

// Runs the tool with the arguments of `command_line` on `scenario`; `fail`
// is the ordinal of the call to fail (sim::CallRecorder::FailCall), 0 for
// none. Keeps the first `keep_calls` call records.
ToolRun RunTool(const sim::Scenario& scenario, std::string_view command_line, size_t fail,
                size_t keep_calls = SIZE_MAX) {
  sim::Install(std::make_unique<sim::Simulator>(scenario));
  sim::CallRecorder recorder;
  if (fail != 0) recorder.FailCall(fail, kInjectedError);
  sim::ArmFaults(&recorder);
  const size_t blocks_before = sim::LiveTaskMemBlocks();

  // A fresh application object, as a new process would have.
  CConsole& console = TheConsole();
  console.~CConsole();
  new (&console) CConsole();
  std::vector<std::u16string> args = {u"monctl-sim"};
  std::istringstream words{std::string(command_line)};
  for (std::string word; words >> word;) args.push_back(Utf8ToUtf16(word));
  std::vector<char16_t*> argv;
  for (std::u16string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  char path[] = "/tmp/monctl-fault-XXXXXX";
  const int file = ::mkstemp(path);
  std::fflush(stdout);
  const int saved = ::dup(STDOUT_FILENO);
  ::dup2(file, STDOUT_FILENO);
  ToolRun run;
  run.exit_code = wmain(static_cast<int>(args.size()), argv.data());
  std::fflush(stdout);
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
  ::close(file);
  std::ifstream output(path, std::ios::binary);
  for (std::string line; std::getline(output, line);) run.output.push_back(line + (output.eof() ? "<no end>" : ""));
  ::unlink(path);

  // The driver's sequence numbers start at random.
  static const std::regex kSequence("seq=[0-9]+");
  for (const std::string& line : sim::Current().call_log().lines()) {
    run.log.push_back(std::regex_replace(line, kSequence, "seq=N"));
  }
  const auto& calls = recorder.calls();
  run.calls.assign(calls.begin(), calls.begin() + std::min(keep_calls, calls.size()));
  EXPECT_EQ(sim::Current().live_physical_monitors(), 0u) << "physical monitor handles left";
  EXPECT_EQ(sim::Current().live_opm_outputs(), 0u) << "OPM outputs left";
  EXPECT_EQ(sim::LiveTaskMemBlocks(), blocks_before) << "task memory left";
  sim::ArmFaults(nullptr);
  sim::Install(nullptr);
  return run;
}

const struct CommandLine {
  const char* text;
  bool steps;  // a failed step ends the run with its exit code
} kCommandLines[] = {
    {"/listdevices /properties", false},
    {"/device 2 /brightness 70 /contrast 60 /save", true},
    {"/device 2 /rotate 90 /position 100 0", true},
    {"/device 2 /properties", false},
    {"/power off", false},
    {"/listdevices /properties /json", false},
};

// The exit codes of the steps that end when one of their calls fails; the
// run goes on from the failure of any other call.
const std::map<Call, int> kStepExitCodes = {
    {Call::kGetMonitorBrightness, kExitBrightness}, {Call::kSetMonitorBrightness, kExitBrightness},
    {Call::kGetMonitorContrast, kExitContrast},     {Call::kSetMonitorContrast, kExitContrast},
    {Call::kSaveCurrentMonitorSettings, kExitSelection},
    {Call::kEnumDisplaySettingsW, kExitDisplaySettings}, {Call::kChangeDisplaySettingsExW, kExitDisplaySettings}};

// The first line of `lines` that is not one of `baseline`, in its order:
// an error line and its line of system text, and a monitor's name line cut
// to its number, may stand anywhere in an output.
std::optional<std::string> LineNotInOrder(const Lines& lines, const Lines& baseline, bool output) {
  static const std::regex kNameless("^( [0-9]+ - |Selected device: )$");
  size_t next = 0;
  // A JSON key left out takes the comma from the key before it.
  const auto bare = [](const std::string& line) { return line.ends_with(',') ? line.substr(0, line.size() - 1) : line; };
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string line = bare(lines[i]);
    if (output && (line.starts_with("ERROR: ") || std::regex_match(line, kNameless) ||
                   (line == kInjectedErrorText && i > 0 && lines[i - 1].starts_with("ERROR: ")))) {
      continue;
    }
    while (next < baseline.size() && bare(baseline[next]) != line) ++next;
    if (next++ == baseline.size()) return line;
  }
  return std::nullopt;
}

struct Sweep {
  const char* name;
  const char* file;  // none: the demo scenario
  // Only the first and the last calls of a function on one display and
  // monitor or output: each further block encryption of a tag adds nothing.
  bool sample;
};

class FaultInjectionTest : public testing::TestWithParam<Sweep> {};

TEST_P(FaultInjectionTest, EachCallFailsInTurn) {
  sim::Scenario scenario = sim::DemoScenario();
  std::string error;
  if (GetParam().file != nullptr) {
    const std::string path = std::string(MONCTL_SCENARIOS_DIR "/") + GetParam().file;
    ASSERT_TRUE(sim::LoadScenarioFile(path, &scenario, &error)) << error;
  }
  for (const CommandLine& command_line : kCommandLines) {
    SCOPED_TRACE(command_line.text);
    // The first run in the process makes a few calls that later ones do
    // not: the baseline is a later run.
    RunTool(scenario, command_line.text, 0);
    const ToolRun baseline = RunTool(scenario, command_line.text, 0);
    ASSERT_FALSE(baseline.calls.empty());

    using Key = std::tuple<Call, size_t, std::optional<size_t>>;
    std::map<Key, size_t> last;
    for (size_t position = 0; position < baseline.calls.size(); ++position) {
      const sim::CallRecord& call = baseline.calls[position];
      last[{call.call, call.display, call.index}] = position;
    }
    std::map<Key, bool> seen;
    std::map<size_t, ToolRun> skipping;  // runs by the display skipped; SIZE_MAX: all
    size_t ordinal = 0, runs = 0;
    for (size_t position = 0; position < baseline.calls.size(); ++position) {
      const sim::CallRecord& call = baseline.calls[position];
      if (call.failed) continue;  // the scenario fails it already
      ++ordinal;
      const Key key{call.call, call.display, call.index};
      if (GetParam().sample && seen[key] && last[key] != position) continue;
      seen[key] = true;
      ++runs;
      SCOPED_TRACE(fmt::format("call {} {} on display {}{}", ordinal, sim::NameOf(call.call), call.display,
                               call.index ? fmt::format("#{}", *call.index) : ""));

      const ToolRun run = RunTool(scenario, command_line.text, ordinal, position + 1);
      ASSERT_GT(run.calls.size(), position);
      EXPECT_EQ(run.calls[position].call, call.call);
      EXPECT_TRUE(run.calls[position].failed) << "the call did not fail";
      if (call.call == Call::kEnumDisplayMonitors || call.call == Call::kGetNumberOfPhysicalMonitorsFromHMONITOR ||
          call.call == Call::kGetPhysicalMonitorsFromHMONITOR || call.call == Call::kGetMonitorInfoW) {
        const size_t display = call.call == Call::kEnumDisplayMonitors ? SIZE_MAX : call.display;
        if (!skipping.contains(display)) {
          sim::Scenario without = scenario;
          if (display == SIZE_MAX) without.displays.clear();
          else without.displays[display].physical.clear();
          skipping[display] = RunTool(without, command_line.text, 0);
        }
        EXPECT_EQ(run.exit_code, skipping[display].exit_code);
        EXPECT_EQ(run.output, skipping[display].output);
        EXPECT_EQ(run.log, skipping[display].log);
        continue;
      }
      const auto step = kStepExitCodes.find(call.call);
      EXPECT_EQ(run.exit_code, command_line.steps && step != kStepExitCodes.end() ? step->second : baseline.exit_code);
      if (const auto line = LineNotInOrder(run.output, baseline.output, true)) ADD_FAILURE() << "output: " << *line;
      if (std::string_view(command_line.text).ends_with("/json")) {
        std::string document;
        for (const std::string& line : run.output) document += line + "\n";
        EXPECT_TRUE(nlohmann::json::accept(document)) << "not one JSON document";
      }
      if (const auto line = LineNotInOrder(run.log, baseline.log, false)) ADD_FAILURE() << "call log: " << *line;
    }
    MONCTL_LEAK_CHECK();
    std::printf("[ sweep    ] %s, %s: %zu of %zu calls failed in turn\n", GetParam().name, command_line.text, runs,
                ordinal);
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FaultInjectionTest,
                         testing::Values(Sweep{"demo", nullptr, true},
                                         Sweep{"numbering", "monitors_numbering.json", false},
                                         Sweep{"properties", "monitors_properties.json", true},
                                         Sweep{"opm", "monitors_opm.json", true}),
                         [](const testing::TestParamInfo<Sweep>& info) { return std::string(info.param.name); });

// Representative failures on the demo scenario and their exact result:
// the baseline's output with `count` lines from the first that matches
// `from` replaced by `with`, and the first `log_lines` lines of its log.
TEST(FaultInjectionTest, RepresentativeFailuresGiveTheirExactResult) {
  constexpr size_t kAll = SIZE_MAX;
  const struct {
    size_t command_line;  // in kCommandLines
    Call call;
    size_t occurrence;  // of the call in the run, from 1
    int exit_code;
    const char* from;  // none: the output is the baseline's
    size_t count;
    Lines with;
    size_t log_lines;
  } cases[] = {
      // A display monitor's name and its line end: the number stays.
      {0, Call::kEnumDisplayDevicesW, 1, kExitSuccess, "^ 1 - ", 2, {" 1 - "}, kAll},
      {1, Call::kSetMonitorContrast, 1, kExitContrast, "^Contrast", kAll,
       {"ERROR: could not set contrast level.", kInjectedErrorText}, 1},
      {1, Call::kSaveCurrentMonitorSettings, 1, kExitSelection, "^Current settings", kAll, {}, 2},
      // Any failure of the connector-type query leaves out its line.
      {3, Call::kBCryptEncrypt, 7, kExitSuccess, "^  Connector Type", 1, {}, 1},
      // The broadcast's result is not looked at: only its log line is missing.
      {4, Call::kSendMessageTimeoutW, 1, kExitSuccess, nullptr, 0, {}, 1},
      // The banner's version line without its version resource string (the
      // earlier calls are the crash handler's, which reads the resource once).
      {4, Call::kVerQueryValueW, 7, kExitSuccess, " - Version ", 1, {}, kAll},
  };
  const sim::Scenario scenario = sim::DemoScenario();
  for (const auto& c : cases) {
    const char* command_line = kCommandLines[c.command_line].text;
    SCOPED_TRACE(std::string(command_line) + ": " + std::string(sim::NameOf(c.call)) + " #" +
                 std::to_string(c.occurrence));
    RunTool(scenario, command_line, 0);
    const ToolRun baseline = RunTool(scenario, command_line, 0);
    size_t ordinal = 0, seen = 0;
    for (const sim::CallRecord& call : baseline.calls) {
      ordinal += !call.failed;
      if (call.call == c.call && ++seen == c.occurrence) break;
    }
    ASSERT_EQ(seen, c.occurrence) << "the baseline makes the call fewer times";
    const ToolRun run = RunTool(scenario, command_line, ordinal);

    Lines expected = baseline.output;
    if (c.from != nullptr) {
      const std::regex from(c.from);
      auto at = std::find_if(expected.begin(), expected.end(),
                             [&](const std::string& line) { return std::regex_search(line, from); });
      ASSERT_NE(at, expected.end()) << "no line of the baseline matches " << c.from;
      at = expected.erase(at, at + std::min<size_t>(c.count, expected.end() - at));
      expected.insert(at, c.with.begin(), c.with.end());
    }
    EXPECT_EQ(run.exit_code, c.exit_code);
    EXPECT_EQ(run.output, expected);
    EXPECT_EQ(run.log, Lines(baseline.log.begin(), baseline.log.begin() + std::min(c.log_lines, baseline.log.size())));
  }
  MONCTL_LEAK_CHECK();
}

}  // namespace
}  // namespace monctl
