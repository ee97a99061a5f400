// Runs the crash probe in a child process and checks what a crash leaves
// behind: the dump in the local state folder, named by the program, its
// version and the local time, the report on standard output, and the exit
// status; or, when no dump can be made, nothing and the default ending.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

// The probe with `mode` (one or two arguments), its environment changed as
// given ("-": removed) and the time zone five and a half hours east of UTC.
std::string RunProbe(const std::string& mode, const std::string& state, const std::string& home, int* status) {
  int out[2];
  if (pipe(out) != 0) return "pipe failed";
  if (fork() == 0) {
    rlimit no_core{0, 0};  // a fault that gets the default action leaves no core file
    setrlimit(RLIMIT_CORE, &no_core);
    dup2(out[1], STDOUT_FILENO);
    dup2(open("/dev/null", O_WRONLY), STDERR_FILENO);
    close(out[0]);
    state == "-" ? unsetenv("XDG_STATE_HOME") : setenv("XDG_STATE_HOME", state.c_str(), 1);
    setenv("HOME", home.c_str(), 1);
    setenv("TZ", "XYZ-5:30", 1);  // a POSIX rule: no zone files
    const size_t space = mode.find(' ');
    const std::string first = mode.substr(0, space);
    const std::string second = space == std::string::npos ? "" : mode.substr(space + 1);
    execl(CRASH_PROBE_PATH, CRASH_PROBE_PATH, first.c_str(), second.empty() ? nullptr : second.c_str(), nullptr);
    _exit(127);
  }
  close(out[1]);
  std::string output;
  char buffer[4096];
  for (ssize_t n; (n = read(out[0], buffer, sizeof(buffer))) > 0;) output.append(buffer, n);
  close(out[0]);
  wait(status);
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
  const fs::path state = root / "state", blocked = root / "file" / "state", home = root / "home";
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
    fs::path state, home;
    int status;       // the exit code, or minus the ending signal
    fs::path folder;  // where the dump goes; empty: no dump
    std::vector<std::string> contents;
  };
  const Case cases[] = {
      {"write", state, home, 255, state / dumps,
       {"signal: 11 (SIGSEGV), code 1 (SEGV_MAPERR", "fault address: 0x0000000000000000\n", "\nregisters:\n",
        " rip 0x", "\nbacktrace:\n", "ProbeWriteThroughNull", "(main+0x", "\nmemory map:\n", " r-xp ",
        fs::canonical(CRASH_PROBE_PATH).string()}},
      // The folders exist now and are reused.
      {"throw", state, home, 255, state / dumps,
       {"exception: std::runtime_error\nwhat: probe exception 42\n", "ProbeThrowUncaught", "\nmemory map:\n"}},
      {"abort", state, home, 255, state / dumps, {"signal: 6 (SIGABRT)"}},
      // On the alternate stack.
      {"overflow", state, home, 255, state / dumps, {"(SIGSEGV)", "ProbeRecurse"}},
      // Without XDG_STATE_HOME, or with a relative one, the folder is under the home folder.
      {"write", "-", home, 255, home / fs::path(".local/state") / dumps, {}},
      {"throw", "relative/state", home, 255, home / fs::path(".local/state") / dumps, {}},
      // At display level none the dump is written without a report.
      {"write quiet", state, home, 255, state / dumps, {}},
      {"throw quiet", state, home, 255, state / dumps, {}},
      // No dump: nothing written, the default ending.
      {"write", blocked, home, -SIGSEGV, "", {}},
      {"throw", blocked, home, -SIGABRT, "", {}},
      {"write", long_state, home, -SIGSEGV, "", {}},
      {"throw", long_state, home, -SIGABRT, "", {}},
      {"none", root / "untouched", home, 0, "", {}},
  };
  for (const Case& c : cases) {
    const std::string name = c.mode + " with " + c.state.string();
    const std::set<fs::path> before = FilesUnder(root);
    int status = 0;
    const long long earliest = std::time(nullptr) + 5 * 3600 + 30 * 60;
    const std::string output = RunProbe(c.mode, c.state, c.home, &status);
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

}  // namespace
