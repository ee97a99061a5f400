#include "display_stack.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "platform/sim/backend.h"
#include "platform/sim/scenario_loader.h"
#include "platform/sim/simulator.h"

namespace monctl::wine {
namespace {

// The call log as the running simulator was given it (a DOS path).
std::string& LogPath() {
  static std::string path;
  return path;
}

std::wstring Variable(const wchar_t* name) {
  std::wstring value(256, L'\0');
  for (;;) {
    const DWORD length = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) return {};
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.resize(length);  // too small: `length` includes the terminator
  }
}

std::string Narrow(const std::wstring& text, UINT code_page) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr,
                      nullptr);
  return result;
}

// The path as the C run-time library's fopen takes it (the ANSI code page).
// A Unix path is turned into its DOS name by Wine's own mapping, so that it
// does not depend on the drive of the current folder.
std::string FilePath(const std::wstring& path) {
  if (path.empty() || path[0] != L'/') return Narrow(path, CP_ACP);
  using DosName = WCHAR*(CDECL*)(const char*);
  const auto to_dos = reinterpret_cast<DosName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (to_dos == nullptr) return Narrow(path, CP_ACP);  // not under Wine
  WCHAR* dos = to_dos(Narrow(path, CP_UTF8).c_str());
  if (dos == nullptr) return Narrow(path, CP_ACP);
  std::string result = Narrow(dos, CP_ACP);
  HeapFree(GetProcessHeap(), 0, dos);
  return result;
}

}  // namespace

bool LoadFromEnvironment(std::string* error) {
  const std::wstring scenario_variable = Variable(L"MONCTL_SIM_SCENARIO");
  const std::wstring log_variable = Variable(L"MONCTL_SIM_LOG");

  sim::Scenario scenario;
  if (scenario_variable.empty()) {
    scenario = sim::DemoScenario();
  } else {
    std::string problem;
    if (!sim::LoadScenarioFile(FilePath(scenario_variable), &scenario, &problem)) {
      *error = fmt::format("scenario {}: {}", Narrow(scenario_variable, CP_UTF8), problem);
      return false;
    }
  }

  const std::string log_path = FilePath(log_variable);
  if (!log_path.empty()) {
    std::FILE* file = std::fopen(log_path.c_str(), "ab");
    if (file == nullptr) {
      *error = fmt::format("call log {}: cannot open the file: {}", Narrow(log_variable, CP_UTF8),
                           std::strerror(errno));
      return false;
    }
    std::fclose(file);
  }

  LogPath() = log_path;
  sim::Install(std::make_unique<sim::Simulator>(std::move(scenario), log_path));
  return true;
}

void ReportUnreleased() {
  const sim::Simulator& simulator = sim::Current();
  const size_t handles = simulator.live_physical_monitors();
  const size_t outputs = simulator.live_opm_outputs();
  if (handles == 0 && outputs == 0) return;
  const std::string line =
      fmt::format("NOT RELEASED at exit: {} physical monitor handle(s), {} OPM video output(s)", handles, outputs);
  if (!LogPath().empty()) {
    if (std::FILE* file = std::fopen(LogPath().c_str(), "ab")) {
      std::fprintf(file, "%s\n", line.c_str());
      std::fclose(file);
    }
  }
  const std::string message = "dxva2.dll (test): " + line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), message.data(), static_cast<DWORD>(message.size()), &written,
            nullptr);
}

}  // namespace monctl::wine

namespace monctl::sim {
namespace {

// Wine's display monitors in enumeration order, up to the first for which
// `found` is true; its position and handle.
struct Search {
  std::function<bool(size_t, HMONITOR)> found;
  size_t next = 0;
  std::optional<size_t> index;
  HMONITOR monitor = nullptr;
};

void Find(Search* search) {
  EnumDisplayMonitors(
      nullptr, nullptr,
      [](HMONITOR candidate, HDC, LPRECT, LPARAM data) -> BOOL {
        auto* state = reinterpret_cast<Search*>(data);
        if (state->found(state->next, candidate)) {
          state->index = state->next;
          state->monitor = candidate;
          return FALSE;
        }
        ++state->next;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(search));
}

}  // namespace

platform::MonitorHandle MonitorHandleOf(size_t index) {
  Search search{[&](size_t position, HMONITOR) { return position == index; }};
  Find(&search);
  return reinterpret_cast<platform::MonitorHandle>(search.monitor);
}

std::optional<size_t> DisplayOf(platform::MonitorHandle monitor) {
  const auto target = reinterpret_cast<HMONITOR>(monitor);
  Search search{[&](size_t, HMONITOR candidate) { return candidate == target; }};
  Find(&search);
  if (!search.index || *search.index >= Current().display_count()) return std::nullopt;
  return search.index;
}

}  // namespace monctl::sim
