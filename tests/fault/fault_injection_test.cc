// Fault injection: every platform call of a run fails once, in turn.
//
// For each scenario and command line, the tool runs once undisturbed (the
// baseline), which records every platform call of the run that can fail
// (platform/sim/failable_calls.inc): the display and OPM calls of the
// simulated stack and the rest of the native layer's (enumeration, release,
// mode change, broadcast, task memory, cryptography, console modes, version
// resource, string and message tables, the crash handler's folder). Then,
// for every one of those calls, the tool runs again with just
// that call failing, and the test checks the run against what the tool must
// do when that step fails: the exact output, the exit code and, where the
// step changes something, the call log. After every run the tool must hold
// no physical monitor handle, no OPM output and no task memory, and under
// AddressSanitizer LeakSanitizer must find no leak.
//
// The tool runs in this process: its application object is rebuilt before
// each run and its standard output goes to a file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/console.h"
#include "app/main.h"
#include "platform/sim/backend.h"
#include "platform/sim/faults.h"
#include "platform/sim/scenario_loader.h"
#include "platform/sim/simulator.h"

#if defined(__SANITIZE_ADDRESS__)
#define MONCTL_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MONCTL_LEAK_CHECK 1
#endif
#endif
#ifdef MONCTL_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

namespace monctl {
namespace {

using Lines = std::vector<std::string>;
using sim::Call;

// The last error of every injected failure, and the line of system text
// that WriteLastError adds for it.
constexpr uint32_t kInjectedError = 0xC0262582;  // ERROR_GRAPHICS_I2C_ERROR_TRANSMITTING_DATA
constexpr char kInjectedErrorText[] = "Data could not be sent to the monitor over its I2C bus. (0xC0262582)";

// ---------------------------------------------------------------------------
// Running the tool

struct RunResult {
  int exit_code = 0;
  std::string output;
  Lines log;
  std::vector<sim::CallRecord> calls;  // the first `keep_calls` records
  size_t succeeding_calls = 0;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// LeakSanitizer's check takes a while, so by default it runs once after
// the runs of each command line; the environment variable
// MONCTL_FAULT_LEAK_CHECK_EACH_RUN=1 runs it after every run, to find the
// run that leaked.
bool LeakCheckEachRun() {
  static const bool each_run = [] {
    const char* value = std::getenv("MONCTL_FAULT_LEAK_CHECK_EACH_RUN");
    return value != nullptr && std::string(value) == "1";
  }();
  return each_run;
}

void ExpectNoLeaks(const std::string& what) {
#ifdef MONCTL_LEAK_CHECK
  EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << what << ": LeakSanitizer found leaks";
#else
  (void)what;
#endif
}

// Runs the tool on `scenario` with `args`; `fail` is the ordinal of the call
// to fail (see sim::CallRecorder::FailCall), 0 for none. Keeps the first
// `keep_calls` records of the calls. Checks that the run leaves nothing
// behind.
RunResult RunTool(const sim::Scenario& scenario, const std::vector<std::u16string>& args, size_t fail,
                  const std::string& what, size_t keep_calls = SIZE_MAX) {
  sim::Install(std::make_unique<sim::Simulator>(scenario));
  sim::CallRecorder recorder;
  if (fail != 0) recorder.FailCall(fail, kInjectedError);
  sim::ArmFaults(&recorder);
  const size_t blocks_before = sim::LiveTaskMemBlocks();

  // A fresh application object, as a new process would have.
  CConsole& console = TheConsole();
  console.~CConsole();
  new (&console) CConsole();

  std::vector<std::u16string> texts = {u"monctl-sim"};
  texts.insert(texts.end(), args.begin(), args.end());
  std::vector<char16_t*> argv;
  for (std::u16string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);

  char path[] = "/tmp/monctl-fault-XXXXXX";
  const int file = ::mkstemp(path);
  EXPECT_GE(file, 0);
  std::fflush(stdout);
  const int saved = ::dup(STDOUT_FILENO);
  ::dup2(file, STDOUT_FILENO);
  RunResult run;
  run.exit_code = wmain(static_cast<int>(texts.size()), argv.data());
  std::fflush(stdout);
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
  ::close(file);
  run.output = ReadFile(path);
  ::unlink(path);

  const sim::Simulator& simulator = sim::Current();
  // The driver's sequence numbers start at random.
  static const std::regex kSequence("seq=[0-9]+");
  for (const std::string& line : simulator.call_log().lines()) {
    run.log.push_back(std::regex_replace(line, kSequence, "seq=N"));
  }
  // Copying every record of every run would cost more than the run.
  const std::vector<sim::CallRecord>& calls = recorder.calls();
  run.calls.assign(calls.begin(), calls.begin() + std::min(keep_calls, calls.size()));
  run.succeeding_calls = recorder.succeeding_calls();
  EXPECT_EQ(simulator.live_physical_monitors(), 0u) << what << ": physical monitor handles left";
  EXPECT_EQ(simulator.live_opm_outputs(), 0u) << what << ": OPM outputs left";
  EXPECT_EQ(sim::LiveTaskMemBlocks(), blocks_before) << what << ": task memory left";
  if (LeakCheckEachRun()) ExpectNoLeaks(what);
  sim::ArmFaults(nullptr);
  sim::Install(nullptr);
  return run;
}

// ---------------------------------------------------------------------------
// Output as lines

Lines SplitLines(const std::string& text) {
  Lines lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "\x01no line end");
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string JoinLines(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

Lines ErrorLines(const std::string& message, bool with_system_text) {
  Lines lines = {"ERROR: " + message};
  if (with_system_text) lines.push_back(kInjectedErrorText);
  return lines;
}

// ---------------------------------------------------------------------------
// The properties report as rows, in their fixed order

// Order of a report row by its label, and of the error line that a failed
// query writes in its place.
int RowOrder(const std::string& key) {
  static const std::map<std::string, int> kOrder = {
      {"capabilities", 0},       {"Brightness", 1},          {"Contrast", 2},
      {"Color Temperatures", 3}, {"Display Position", 4},    {"Display Area Size", 5},
      {"Display Area Width", 6}, {"Display Area Height", 7}, {"Bits per Pixel", 8},
      {"Frequency", 9},          {"Orientation", 10},        {"Display Mode", 11},
      {"Technology", 12},        {"Connector Type", 13}};
  const auto it = kOrder.find(key);
  return it == kOrder.end() ? -1 : it->second;
}

// The row whose query writes `message` when it fails.
std::string RowOfError(const std::string& message) {
  static const std::map<std::string, std::string> kRows = {
      {"could not get monitor capabilities.", "capabilities"},
      {"could not get brightness information.", "Brightness"},
      {"could not get contrast information.", "Contrast"},
      {"could not get display area width information.", "Display Area Width"},
      {"could not get display area height information.", "Display Area Height"},
      {"could not get device technology.", "Technology"}};
  const auto it = kRows.find(message);
  return it == kRows.end() ? std::string() : it->second;
}

struct Row {
  std::string key;
  Lines lines;
};

// The rows of one report: its lines without the closing empty line.
// False when a line is not a row of the report.
bool ParseRows(const Lines& lines, std::vector<Row>* rows) {
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (StartsWith(line, "ERROR: ")) {
      Row row{RowOfError(line.substr(7)), {line}};
      if (row.key.empty()) return false;
      // WriteLastError's line of system text.
      if (i + 1 < lines.size() && !StartsWith(lines[i + 1], "  ") && !StartsWith(lines[i + 1], "ERROR: ")) {
        row.lines.push_back(lines[++i]);
      }
      rows->push_back(row);
    } else if (StartsWith(line, "  ") && line.find(':') != std::string::npos) {
      std::string label = line.substr(2, line.find(':') - 2);
      while (!label.empty() && label.back() == ' ') label.pop_back();
      if (RowOrder(label) < 0) return false;
      rows->push_back(Row{label, {line}});
    } else {
      return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------
// What a failing call must change

enum class Command { kListProperties, kLevels, kRotatePosition, kProperties, kPower };

struct CommandLine {
  Command command;
  const char* name;
  std::vector<std::u16string> args;
};

const CommandLine kCommandLines[] = {
    {Command::kListProperties, "/listdevices /properties", {u"/listdevices", u"/properties"}},
    {Command::kLevels,
     "/device 2 /brightness 70 /contrast 60 /save",
     {u"/device", u"2", u"/brightness", u"70", u"/contrast", u"60", u"/save"}},
    {Command::kRotatePosition,
     "/device 2 /rotate 90 /position 100 0",
     {u"/device", u"2", u"/rotate", u"90", u"/position", u"100", u"0"}},
    {Command::kProperties, "/device 2 /properties", {u"/device", u"2", u"/properties"}},
    {Command::kPower, "/power off", {u"/power", u"off"}},
};

// Cryptography and task memory calls that give back what they are handed:
// the tool does not look at their result.
bool IsRelease(Call call) {
  return call == Call::kBCryptDestroyKey || call == Call::kBCryptCloseAlgorithmProvider ||
         call == Call::kCertFreeCertificateContext || call == Call::kCertCloseStore;
}

// Console and system-service calls. Their failures leave the run as it is
// except for lines of text that need them: the banner's first and third
// lines need the version resource, and an error's line of system text
// needs the message table.
bool IsVersionCall(Call call) {
  return call == Call::kGetModuleFileNameW || call == Call::kGetFileVersionInfoSizeW ||
         call == Call::kGetFileVersionInfoW || call == Call::kVerQueryValueW;
}

bool IsSystemCall(Call call) {
  return IsVersionCall(call) || call == Call::kFormatSystemMessage || call == Call::kLoadStringW ||
         call == Call::kIsConsole || call == Call::kSetTranslationMode || call == Call::kSHGetFolderPathW;
}

// The calls of the connector-type query: the handshake's and the request's
// cryptography and task memory.
bool IsQueryCall(Call call) {
  const std::string function(sim::NameOf(call));
  return StartsWith(function, "BCrypt") || StartsWith(function, "Cert") || StartsWith(function, "Crypt") ||
         call == Call::kCoTaskMemAlloc;
}

struct Expectation {
  std::string output;
  // When not empty, the outputs the run may give instead of `output`.
  std::vector<std::string> outputs;
  int exit_code = 0;
  std::optional<Lines> log;  // none: not checked
};

class Oracle {
 public:
  Oracle(const CommandLine& command_line, const sim::Scenario& scenario, const RunResult& baseline)
      : command_line_(command_line), scenario_(scenario), baseline_(baseline),
        lines_(SplitLines(baseline.output)) {}

  // What the run must give when the call at `position` of the baseline's
  // record fails; false with `problem` when the call is not one that this
  // command line should make.
  bool Expect(size_t position, Expectation* expected, std::string* problem) {
    const sim::CallRecord& call = baseline_.calls[position];
    const Call f = call.call;
    const Command command = command_line_.command;
    const bool report = command == Command::kListProperties || command == Command::kProperties;
    expected->exit_code = baseline_.exit_code;
    expected->output = baseline_.output;

    // The same run, possibly with lines of text missing: which of the calls
    // feed the banner and which the crash handler's plan is not told apart.
    if (IsSystemCall(f)) {
      expected->log = baseline_.log;
      if (IsVersionCall(f)) return BannerVariants(expected, problem);
      if (f == Call::kFormatSystemMessage) SystemTextVariants(expected);
      return true;
    }

    // Without display monitors the run is the one on a stack that has none.
    if (f == Call::kEnumDisplayMonitors) {
      return ExpectRunOn("no display monitors", [](sim::Scenario* s) { s->displays.clear(); }, expected);
    }
    // The result of giving back handles and keys is not looked at.
    if (f == Call::kDestroyPhysicalMonitors || IsRelease(f)) {
      expected->log = baseline_.log;
      return true;
    }
    // The broadcast's result is ignored; only the change is missing.
    if (f == Call::kSendMessageTimeoutW) {
      if (command != Command::kPower) return Unexpected(call, problem);
      Lines log;
      for (const std::string& line : baseline_.log) {
        if (!StartsWith(line, "SendMessageTimeoutW ")) log.push_back(line);
      }
      expected->log = log;
      return true;
    }
    // A refused mode change is the one of a display whose change fails.
    if (f == Call::kChangeDisplaySettingsExW) {
      if (command != Command::kRotatePosition) return Unexpected(call, problem);
      return ExpectRunOn("display " + std::to_string(call.display) + " refuses changes",
                         [&](sim::Scenario* s) {
                           s->displays[call.display].change_result = platform::kDispChangeFailed;
                         },
                         expected);
    }
    // Any failure of the connector-type query leaves out the report's
    // connector type line, except the usage of a certificate that is not
    // taken anyway.
    if (IsQueryCall(f)) {
      if (!report) return Unexpected(call, problem);
      if (f == Call::kCertGetEnhancedKeyUsage && !CertificateTaken(position)) {
        expected->log = baseline_.log;
        return true;
      }
      return EditReport(ReportOf(position), [&](std::vector<Row>* rows) { Remove(rows, {"Connector Type"}); },
                        expected, problem);
    }

    // Loading a display monitor: the display is skipped, as one without
    // physical monitors would be.
    if (f == Call::kGetNumberOfPhysicalMonitorsFromHMONITOR || f == Call::kGetPhysicalMonitorsFromHMONITOR ||
        f == Call::kGetMonitorInfoW) {
      if (call.index) return Unexpected(call, problem);
      return ExpectRunOn("display " + std::to_string(call.display) + " has no physical monitors",
                         [&](sim::Scenario* s) { s->displays[call.display].physical.clear(); }, expected);
    }
    // The adapter enumeration of a name line: the name is left out.
    if (f == Call::kEnumDisplayDevicesW) {
      if (call.index) return Unexpected(call, problem);
      size_t name = 0;  // each name line enumerates from index 0
      for (size_t i = 0; i <= position; ++i) {
        const sim::CallRecord& c = baseline_.calls[i];
        if (c.call == f && !c.index && c.display == 0) ++name;
      }
      return LeaveOutName(name, expected, problem);
    }
    // Without outputs a display monitor is still loaded; only the connector
    // type lines of its monitors go.
    if (f == Call::kOPMGetVideoOutputsFromHMONITOR) {
      if (!report) {
        expected->log = baseline_.log;
        return true;
      }
      return EditReports(
          [&](size_t, const sim::CallRecord& settings, std::vector<Row>* rows) {
            if (settings.display == call.display) Remove(rows, {"Connector Type"});
          },
          expected, problem);
    }
    if (f == Call::kStartInitialization || f == Call::kFinishInitialization || f == Call::kGetInformation) {
      if (!report) return Unexpected(call, problem);
      return EditReport(ReportOf(position), [&](std::vector<Row>* rows) { Remove(rows, {"Connector Type"}); },
                        expected, problem);
    }
    if (f == Call::kEnumDisplaySettingsW) {
      if (command == Command::kRotatePosition) {
        expected->exit_code = kExitDisplaySettings;
        expected->log = Lines{};
        return Truncate(0, ErrorLines("could not get current display settings.", false), expected, problem);
      }
      if (!report) return Unexpected(call, problem);
      return ReplaceReport(ReportOf(position), ErrorLines("could not get current display settings.", false),
                           expected, problem);
    }
    if (command == Command::kLevels) return ExpectLevelStep(call, expected, problem);
    if (!report) return Unexpected(call, problem);

    // The rows of the properties report. A failed query changes nothing
    // else: the connector-type exchange is the same.
    const size_t report_number = ReportOf(position);
    expected->log = baseline_.log;
    if (f == Call::kGetMonitorCapabilities) {
      return EditReport(report_number, [](std::vector<Row>* rows) {
        Remove(rows, {"Brightness", "Contrast", "Color Temperatures", "Display Area Width",
                      "Display Area Height", "Technology"});
        Put(rows, "capabilities", ErrorLines("could not get monitor capabilities.", true));
      }, expected, problem);
    }
    std::string row, message;
    if (f == Call::kGetMonitorBrightness) {
      row = "Brightness", message = "could not get brightness information.";
    } else if (f == Call::kGetMonitorContrast) {
      row = "Contrast", message = "could not get contrast information.";
    } else if (f == Call::kGetMonitorTechnologyType) {
      row = "Technology", message = "could not get device technology.";
    } else if (f == Call::kGetMonitorDisplayAreaSize) {
      // Width first, then height.
      size_t settings = 0;
      size_t calls = 0;
      for (size_t i = 0; i <= position; ++i) {
        if (baseline_.calls[i].call == Call::kEnumDisplaySettingsW) settings = i;
      }
      for (size_t i = settings; i <= position; ++i) calls += baseline_.calls[i].call == f;
      if (calls == 1) {
        row = "Display Area Width", message = "could not get display area width information.";
      } else if (calls == 2) {
        row = "Display Area Height", message = "could not get display area height information.";
      } else {
        return Unexpected(call, problem);
      }
    } else {
      return Unexpected(call, problem);
    }
    return EditReport(report_number, [&](std::vector<Row>* rows) {
      Remove(rows, {row});
      Put(rows, row, ErrorLines(message, true));
    }, expected, problem);
  }

 private:
  bool Unexpected(const sim::CallRecord& call, std::string* problem) {
    *problem = "unexpected call " + std::string(sim::NameOf(call.call)) + " for " + command_line_.name;
    return false;
  }

  // Expects what an undisturbed run gives on the scenario as `change`
  // leaves it; `what` names the change, and runs are kept by it.
  bool ExpectRunOn(const std::string& what, const std::function<void(sim::Scenario*)>& change,
                   Expectation* expected) {
    auto it = changed_runs_.find(what);
    if (it == changed_runs_.end()) {
      sim::Scenario scenario = scenario_;
      change(&scenario);
      it = changed_runs_.emplace(what, RunTool(scenario, command_line_.args, 0, what)).first;
    }
    expected->output = it->second.output;
    expected->exit_code = it->second.exit_code;
    expected->log = it->second.log;
    return true;
  }

  // The baseline with the banner's first line (description and version),
  // its third (copyright), both or neither left out.
  bool BannerVariants(Expectation* expected, std::string* problem) const {
    if (lines_.size() < 4 || lines_[0].find(" - Version ") == std::string::npos || lines_[3] != "") {
      *problem = "the baseline does not start with a full banner";
      return false;
    }
    for (const std::set<size_t>& drop : {std::set<size_t>{}, {0}, {2}, {0, 2}}) {
      Lines lines;
      for (size_t i = 0; i < lines_.size(); ++i) {
        if (drop.count(i) == 0) lines.push_back(lines_[i]);
      }
      expected->outputs.push_back(JoinLines(lines));
    }
    return true;
  }

  // The baseline, or the baseline without one error's line of system text.
  void SystemTextVariants(Expectation* expected) const {
    expected->outputs.push_back(baseline_.output);
    for (size_t i = 1; i < lines_.size(); ++i) {
      const std::string& line = lines_[i];
      if (StartsWith(lines_[i - 1], "ERROR: ") && !line.empty() && !StartsWith(line, "ERROR: ") &&
          !StartsWith(line, "  ")) {
        Lines lines = lines_;
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
        expected->outputs.push_back(JoinLines(lines));
      }
    }
  }

  // Whether the certificate whose usage the call at `position` reads was
  // the one taken: after its usage, the baseline decoded its key rather
  // than going on to the next certificate.
  bool CertificateTaken(size_t position) const {
    for (size_t i = position + 1; i < baseline_.calls.size(); ++i) {
      const Call f = baseline_.calls[i].call;
      if (f == Call::kCryptDecodeObjectEx) return true;
      if (f == Call::kCertEnumCertificatesInStore || f == Call::kCertCloseStore) return false;
    }
    return false;
  }

  // The number (from 1) of the report that the call at `position` belongs
  // to: each report starts by reading the display settings.
  size_t ReportOf(size_t position) const {
    size_t number = 0;
    for (size_t i = 0; i <= position; ++i) number += baseline_.calls[i].call == Call::kEnumDisplaySettingsW;
    return number;
  }

  // Line indexes of the monitors' heading lines: the listing's numbered
  // lines, or the selected device's line.
  std::vector<size_t> Headings() const {
    static const std::regex kNumbered("^ [0-9]+ - .*");
    std::vector<size_t> headings;
    for (size_t i = 0; i < lines_.size(); ++i) {
      if (std::regex_match(lines_[i], kNumbered) || StartsWith(lines_[i], "Selected device: ")) {
        headings.push_back(i);
      }
    }
    return headings;
  }

  // Lines [begin, end) of report `number` (from 1): after its heading and
  // the empty line, up to the next heading, "Done." or the end.
  bool ReportLines(size_t number, size_t* begin, size_t* end, std::string* problem) const {
    const std::vector<size_t> headings = Headings();
    if (number == 0 || number > headings.size()) {
      *problem = "no report " + std::to_string(number) + " in the baseline";
      return false;
    }
    *begin = headings[number - 1] + 2;
    *end = number < headings.size() ? headings[number] : lines_.size();
    if (number == headings.size() && *end > 0 && lines_[*end - 1] == "Done.") --*end;
    if (*begin > *end) {
      *problem = "report " + std::to_string(number) + " is cut short in the baseline";
      return false;
    }
    return true;
  }

  bool ReplaceReport(size_t number, const Lines& replacement, Expectation* expected, std::string* problem) {
    size_t begin, end;
    if (!ReportLines(number, &begin, &end, problem)) return false;
    Lines lines(lines_.begin(), lines_.begin() + begin);
    lines.insert(lines.end(), replacement.begin(), replacement.end());
    lines.insert(lines.end(), lines_.begin() + end, lines_.end());
    expected->output = JoinLines(lines);
    return true;
  }

  // Edits the rows of every report; `edit` gets the report's number and
  // the record of the display-settings call that started it.
  bool EditReports(const std::function<void(size_t, const sim::CallRecord&, std::vector<Row>*)>& edit,
                   Expectation* expected, std::string* problem) {
    std::vector<const sim::CallRecord*> starts;
    for (const sim::CallRecord& c : baseline_.calls) {
      if (c.call == Call::kEnumDisplaySettingsW) starts.push_back(&c);
    }
    Lines lines = lines_;
    const std::vector<size_t> headings = Headings();
    if (starts.size() != headings.size()) {
      *problem = "the baseline has " + std::to_string(headings.size()) + " reports but read the settings " +
                 std::to_string(starts.size()) + " times";
      return false;
    }
    // From the last report to the first, so that earlier line numbers hold.
    for (size_t number = starts.size(); number >= 1; --number) {
      size_t begin, end;
      if (!ReportLines(number, &begin, &end, problem)) return false;
      Lines edited;
      if (!EditRows(begin, end, [&](std::vector<Row>* rows) { edit(number, *starts[number - 1], rows); },
                    &edited, problem)) {
        return false;
      }
      lines.erase(lines.begin() + begin, lines.begin() + end);
      lines.insert(lines.begin() + begin, edited.begin(), edited.end());
    }
    expected->output = JoinLines(lines);
    return true;
  }

  bool EditReport(size_t number, const std::function<void(std::vector<Row>*)>& edit, Expectation* expected,
                  std::string* problem) {
    size_t begin, end;
    if (!ReportLines(number, &begin, &end, problem)) return false;
    Lines edited;
    if (!EditRows(begin, end, edit, &edited, problem)) return false;
    Lines lines(lines_.begin(), lines_.begin() + begin);
    lines.insert(lines.end(), edited.begin(), edited.end());
    lines.insert(lines.end(), lines_.begin() + end, lines_.end());
    expected->output = JoinLines(lines);
    return true;
  }

  // The report in lines [begin, end) with its rows edited. A report that
  // stopped at the display settings has no rows and stays as it is.
  bool EditRows(size_t begin, size_t end, const std::function<void(std::vector<Row>*)>& edit, Lines* edited,
                std::string* problem) const {
    Lines report(lines_.begin() + begin, lines_.begin() + end);
    if (report.size() == 1 && report[0] == "ERROR: could not get current display settings.") {
      *edited = report;
      return true;
    }
    if (report.empty() || report.back() != "") {
      *problem = "a report in the baseline does not end with an empty line";
      return false;
    }
    report.pop_back();
    std::vector<Row> rows;
    if (!ParseRows(report, &rows)) {
      *problem = "a report in the baseline has lines that are not rows";
      return false;
    }
    edit(&rows);
    edited->clear();
    for (const Row& row : rows) edited->insert(edited->end(), row.lines.begin(), row.lines.end());
    edited->push_back("");
    return true;
  }

  static void Remove(std::vector<Row>* rows, const std::set<std::string>& keys) {
    std::erase_if(*rows, [&](const Row& row) { return keys.count(row.key) != 0; });
  }

  // Puts a row where its order says.
  static void Put(std::vector<Row>* rows, const std::string& key, const Lines& lines) {
    auto at = rows->begin();
    while (at != rows->end() && RowOrder(at->key) < RowOrder(key)) ++at;
    rows->insert(at, Row{key, lines});
  }

  bool LeaveOutName(size_t number, Expectation* expected, std::string* problem) {
    const std::vector<size_t> headings = Headings();
    if (number == 0 || number > headings.size()) {
      *problem = "no name line " + std::to_string(number) + " in the baseline";
      return false;
    }
    static const std::regex kPrefix("^( [0-9]+ - |Selected device: )");
    std::smatch match;
    const std::string& heading = lines_[headings[number - 1]];
    std::regex_search(heading, match, kPrefix);
    // The prefix stays; the name and its line end go.
    std::string text;
    for (size_t i = 0; i < lines_.size(); ++i) {
      text += i == headings[number - 1] ? match.str(1) : lines_[i] + "\n";
    }
    expected->output = text;
    expected->log = baseline_.log;
    return true;
  }

  // The output of the selected-monitor steps up to step `step` (0 the
  // first step after the selection lines), then `lines`.
  bool Truncate(size_t step, const Lines& tail, Expectation* expected, std::string* problem) {
    const std::vector<size_t> headings = Headings();
    if (headings.size() != 1 || !StartsWith(lines_[headings[0]], "Selected device: ")) {
      *problem = "the baseline selected no device";
      return false;
    }
    const size_t first = headings[0] + 2 + step;
    if (first > lines_.size()) {
      *problem = "the baseline has too few step lines";
      return false;
    }
    Lines lines(lines_.begin(), lines_.begin() + first);
    lines.insert(lines.end(), tail.begin(), tail.end());
    expected->output = JoinLines(lines);
    return true;
  }

  // Brightness, contrast and save: the run ends at the failing step.
  bool ExpectLevelStep(const sim::CallRecord& call, Expectation* expected, std::string* problem) {
    const Call f = call.call;
    size_t step;
    Lines tail;
    if (f == Call::kGetMonitorBrightness || f == Call::kSetMonitorBrightness) {
      step = 0;
      expected->exit_code = kExitBrightness;
      tail = ErrorLines(f == Call::kGetMonitorBrightness ? "could not get brightness level."
                                                         : "could not set brightness level.",
                        true);
    } else if (f == Call::kGetMonitorContrast || f == Call::kSetMonitorContrast) {
      step = 1;
      expected->exit_code = kExitContrast;
      tail = ErrorLines(f == Call::kGetMonitorContrast ? "could not get contrast level."
                                                       : "could not set contrast level.",
                        true);
    } else if (f == Call::kSaveCurrentMonitorSettings) {
      step = 2;
      expected->exit_code = kExitSelection;  // no message
    } else {
      return Unexpected(call, problem);
    }
    // The call log keeps the changes of the steps before.
    static const char* const kStepCalls[] = {"SetMonitorBrightness ", "SetMonitorContrast ",
                                             "SaveCurrentMonitorSettings "};
    Lines log;
    for (const std::string& line : baseline_.log) {
      for (size_t s = 0; s < step; ++s) {
        if (StartsWith(line, kStepCalls[s])) log.push_back(line);
      }
    }
    expected->log = log;
    return Truncate(step, tail, expected, problem);
  }

  const CommandLine& command_line_;
  const sim::Scenario& scenario_;
  const RunResult& baseline_;
  const Lines lines_;
  std::map<std::string, RunResult> changed_runs_;
};

// ---------------------------------------------------------------------------
// The sweep

struct Sweep {
  const char* name;
  std::function<sim::Scenario()> scenario;
};

sim::Scenario ScenarioFile(const std::string& name) {
  sim::Scenario scenario;
  std::string error;
  const std::string path = std::string(MONCTL_SCENARIOS_DIR) + "/" + name;
  if (!sim::LoadScenarioFile(path, &scenario, &error)) ADD_FAILURE() << path << ": " << error;
  return scenario;
}

class FaultInjectionTest : public testing::TestWithParam<Sweep> {};

TEST_P(FaultInjectionTest, EveryCallFailsInTurn) {
  const sim::Scenario scenario = GetParam().scenario();
  size_t total = 0;
  for (const CommandLine& command_line : kCommandLines) {
    SCOPED_TRACE(command_line.name);
    // The first run in the process sets up what later runs find ready, and
    // makes a few calls that they do not: the baseline is a later run.
    RunTool(scenario, command_line.args, 0, "warm-up");
    const RunResult baseline = RunTool(scenario, command_line.args, 0, "baseline");
    ASSERT_GT(baseline.succeeding_calls, 0u);
    Oracle oracle(command_line, scenario, baseline);

    std::map<std::string, size_t> per_function;
    size_t ordinal = 0;
    for (size_t position = 0; position < baseline.calls.size(); ++position) {
      const sim::CallRecord& call = baseline.calls[position];
      if (call.failed) continue;  // the scenario fails it already
      ++ordinal;
      ++per_function[std::string(sim::NameOf(call.call))];
      const std::string what = std::string(GetParam().name) + ", " + command_line.name + ": call " +
                               std::to_string(ordinal) + " " + std::string(sim::NameOf(call.call)) + " on display " +
                               std::to_string(call.display) +
                               (call.index ? "#" + std::to_string(*call.index) : std::string());
      SCOPED_TRACE(what);

      Expectation expected;
      std::string problem;
      const RunResult run = RunTool(scenario, command_line.args, ordinal, what, position + 1);
      ASSERT_TRUE(oracle.Expect(position, &expected, &problem)) << problem;

      // The run is the baseline up to the call, which failed.
      ASSERT_GT(run.calls.size(), position);
      EXPECT_EQ(sim::NameOf(run.calls[position].call), sim::NameOf(call.call));
      EXPECT_TRUE(run.calls[position].failed) << "the call did not fail";
      EXPECT_EQ(run.exit_code, expected.exit_code);
      if (expected.outputs.empty()) {
        EXPECT_EQ(run.output, expected.output);
      } else {
        EXPECT_NE(std::find(expected.outputs.begin(), expected.outputs.end(), run.output),
                  expected.outputs.end())
            << "output:\n" << run.output;
      }
      if (expected.log) {
        EXPECT_EQ(run.log, *expected.log);
      }
    }
    EXPECT_EQ(ordinal, baseline.succeeding_calls);
    ExpectNoLeaks(std::string(GetParam().name) + ", " + command_line.name +
                  " (MONCTL_FAULT_LEAK_CHECK_EACH_RUN=1 checks after each run)");
    total += ordinal;
    std::string summary;
    for (const auto& [function, count] : per_function) {
      summary += " " + function + "=" + std::to_string(count);
    }
    std::printf("[ sweep    ] %s, %s: %zu calls failed in turn:%s\n", GetParam().name, command_line.name,
                ordinal, summary.c_str());
  }
  std::printf("[ sweep    ] %s: %zu calls over %zu command lines\n", GetParam().name, total,
              std::size(kCommandLines));
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, FaultInjectionTest,
    testing::Values(Sweep{"demo", [] { return sim::DemoScenario(); }},
                    Sweep{"numbering", [] { return ScenarioFile("monitors_numbering.json"); }},
                    Sweep{"properties", [] { return ScenarioFile("monitors_properties.json"); }},
                    Sweep{"opm", [] { return ScenarioFile("monitors_opm.json"); }}),
    [](const testing::TestParamInfo<Sweep>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace monctl
