// Runs the crash probe in a child process and checks what a crash leaves
// behind: the dump in the local state folder, named by the program, its
// version and the local time, the report on standard output, and the exit
// status; or, when no dump can be made, nothing and the default ending.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "version_data.h"

namespace {

namespace fs = std::filesystem;

// The probe with `arguments` and the environment `settings` ("-u NAME" first removes one), in a
// time zone five and a half hours east of UTC, without a core file after a fault.
std::string RunProbe(const std::string& settings, const std::string& arguments, int* status) {
  const std::string command = "ulimit -c 0; exec env " + settings + " TZ=XYZ-5:30 " CRASH_PROBE_PATH " " +
                              arguments + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  std::string output;
  char buffer[4096];
  for (size_t n; pipe != nullptr && (n = fread(buffer, 1, sizeof(buffer), pipe)) > 0;) output.append(buffer, n);
  *status = pipe != nullptr ? pclose(pipe) : -1;
  return output;
}

std::set<fs::path> FilesUnder(const fs::path& root) {
  std::set<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files.insert(entry.path());
  }
  return files;
}

TEST(CrashHandlerTest, DumpReportAndExitOrNothing) {
  char pattern[] = "/tmp/monctl-crash-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const fs::path root = pattern;
  std::ofstream(root / "file") << "in the way";
  const fs::path dumps = fs::path(MONCTL_COMPANY_NAME) / MONCTL_PRODUCT_NAME;
  const fs::path state = root / "state", other = root / "other", home = root / "home";
  const fs::path blocked = root / "file" / "state";
  // The folder fits in 259 characters, the dump's path does not.
  const fs::path long_state = root / std::string(199 - root.string().size(), 'd');
  const std::regex name_pattern(
      "crash_probe_" + std::regex_replace(MONCTL_VERSION_TEXT, std::regex(R"(\.)"), R"(\.)") +
      R"(_x64_(\d{4}-\d\d-\d\d)_(\d\d)(\d\d)(\d\d)_(\d{3})\.dmp)");
  const std::string head =
      "ERROR: An unhandled exception has occurred.\n"
      "A crash dump file has been created and the application will close.\n\nCrash dump filename:\n";
  struct Case {
    std::string mode;
    fs::path state;   // XDG_STATE_HOME, or "-" for none
    int status;       // the exit code, or minus the ending signal
    fs::path folder;  // where the dump goes; empty: no dump
    std::vector<std::string> contents;
  };
  const Case cases[] = {
      {"write", state, 255, state / dumps,
       {"signal: 11 (SIGSEGV), code 1 (SEGV_MAPERR", "fault address: 0x0000000000000000\n", "\nregisters:\n",
        " rip 0x", "\nbacktrace:\n", "ProbeWriteThroughNull", "(main+0x", "\nmemory map:\n", " r-xp ",
        fs::canonical(CRASH_PROBE_PATH).string()}},
      {"throw", other, 255, other / dumps,
       {"exception: std::runtime_error\nwhat: probe exception 42\n", "ProbeThrowUncaught", "\nmemory map:\n"}},
      // The folders exist now and are reused; a stack overflow is caught on the alternate stack.
      {"abort", state, 255, state / dumps, {"signal: 6 (SIGABRT)"}},
      {"overflow", other, 255, other / dumps, {"(SIGSEGV)", "ProbeRecurse"}},
      // Without XDG_STATE_HOME, or with a relative one, the folder is under the home folder.
      {"write", "-", 255, home / fs::path(".local/state") / dumps, {}},
      {"throw", "relative/state", 255, home / fs::path(".local/state") / dumps, {}},
      // At display level none the dump is written without a report.
      {"write quiet", state, 255, state / dumps, {}},
      {"throw quiet", state, 255, state / dumps, {}},
      // No dump: nothing written, the default ending.
      {"write", blocked, -SIGSEGV, "", {}},
      {"throw", blocked, -SIGABRT, "", {}},
      {"write", long_state, -SIGSEGV, "", {}},
      {"throw", long_state, -SIGABRT, "", {}},
      {"none", root / "untouched", 0, "", {}},
  };
  for (const Case& c : cases) {
    const std::string name = c.mode + " with " + c.state.string();
    const std::set<fs::path> before = FilesUnder(root);
    int status = 0;
    const long long earliest = std::time(nullptr) + 5 * 3600 + 30 * 60;
    const std::string output = RunProbe(
        (c.state == "-" ? "-u XDG_STATE_HOME" : "XDG_STATE_HOME=" + c.state.string()) + " HOME=" + home.string(),
        c.mode, &status);
    std::set<fs::path> added = FilesUnder(root);
    EXPECT_TRUE(std::includes(added.begin(), added.end(), before.begin(), before.end())) << name;
    for (const fs::path& file : before) added.erase(file);
    const long long latest = std::time(nullptr) + 5 * 3600 + 30 * 60;
    EXPECT_TRUE(c.status < 0 ? WIFSIGNALED(status) && WTERMSIG(status) == -c.status
                             : WIFEXITED(status) && WEXITSTATUS(status) == c.status)
        << name << ": status " << status;
    if (c.folder.empty()) {
      EXPECT_EQ(output, "") << name;
      EXPECT_EQ(added, std::set<fs::path>{}) << name;
      if (c.status == 0) EXPECT_FALSE(fs::exists(c.state)) << "installing the handler creates nothing";
      continue;
    }
    ASSERT_EQ(added.size(), 1u) << name;
    const fs::path dump = *added.begin();
    EXPECT_EQ(dump.parent_path(), c.folder) << name;
    EXPECT_EQ(output, c.mode.ends_with("quiet") ? "" : head + dump.string() + "\n") << name;
    std::smatch m;
    const std::string file_name = dump.filename().string();
    ASSERT_TRUE(std::regex_match(file_name, m, name_pattern)) << file_name;
    // The name carries the local time, which the dump records.
    const std::string recorded = m.str(1) + " " + m.str(2) + ":" + m.str(3) + ":" + m.str(4) + "." + m.str(5);
    std::tm t{};
    std::istringstream(recorded) >> std::get_time(&t, "%Y-%m-%d %H:%M:%S");
    const long long named = timegm(&t);
    EXPECT_TRUE(earliest <= named && named <= latest) << file_name << " outside " << earliest << ".." << latest;
    std::stringstream text;
    text << std::ifstream(dump).rdbuf();
    // (After a signal both come from one reading of the clock.)
    if (!c.mode.starts_with("throw")) EXPECT_NE(text.str().find("local time: " + recorded + "\n"), std::string::npos);
    for (const std::string& part : c.contents) EXPECT_NE(text.str().find(part), std::string::npos) << part;
  }
  fs::remove_all(root);
}

// Output to a pipe whose reader has gone fails quietly: the run still makes every change it was asked for.
TEST(CrashHandlerTest, AClosedPipeDoesNotEndTheRun) {
  char log[] = "/tmp/monctl-pipe-XXXXXX";
  const int log_fd = mkstemp(log);
  ASSERT_GE(log_fd, 0);
  close(log_fd);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGPIPE, SIG_DFL);
    dup2(fds[1], STDOUT_FILENO);
    setenv("MONCTL_SIM_LOG", log, 1);
    unsetenv("MONCTL_SIM_SCENARIO");
    execl(MONCTL_SIM_PROGRAM, "monctl-sim", "/device", "2", "/b", "10", "/c", "20", "/save", "/rotate", "90", nullptr);
    _exit(127);
  }
  close(fds[1]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  std::stringstream calls;
  calls << std::ifstream(log).rdbuf();
  std::remove(log);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_EQ(calls.str(),
            "SetMonitorBrightness \\\\.\\DISPLAY2#0 10\n"
            "SetMonitorContrast \\\\.\\DISPLAY2#0 20\n"
            "SaveCurrentMonitorSettings \\\\.\\DISPLAY2#0\n"
            "ChangeDisplaySettingsExW \\\\.\\DISPLAY2 fields=0x00180080 orientation=1 width=1080 height=1920 "
            "position=2560,180 flags=1\n");
}

}  // namespace
