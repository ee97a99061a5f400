// Runs the crash probe in a child process and checks what a crash leaves
// behind: the dump in the local state folder, named by the program, its
// version and the local time, the report on standard output, and the exit
// status; or, when no dump can be made, a report that says so.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
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

// The probe's local time in whole seconds. From the precise clock, as the
// dump's name: time() reads a coarse one that may still show the second before.
long long LocalNow() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count() + 5 * 3600 + 30 * 60;
}

std::set<fs::path> FilesUnder(const fs::path& root) {
  std::set<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files.insert(entry.path());
  }
  return files;
}

TEST(CrashHandlerTest, DumpReportAndExitOrNoDump) {
  // In memory where there is a file system there: planting thousands of links is slow on a disk.
  std::string pattern = (fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp") + std::string("/monctl-crash-XXXXXX");
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const fs::path root = pattern;
  std::ofstream(root / "file") << "in the way";
  std::ofstream(root / "target") << "not to be overwritten";
  const fs::path dumps = fs::path(MONCTL_COMPANY_NAME) / MONCTL_PRODUCT_NAME;
  const fs::path state = root / "state", other = root / "other", home = root / "home";
  const fs::path blocked = root / "file" / "state";
  // The folder fits in 259 characters, the dump's path does not.
  const fs::path long_state = root / std::string(199 - root.string().size(), 'd');
  // A folder that others may write to, one that belongs to someone else (or, without the right to give
  // it away, is group-writable too), and one where links with the dumps' names are planted.
  const fs::path shared = root / "shared", foreign = root / "foreign", linked = root / "linked";
  for (const fs::path& folder : {home, shared, foreign / dumps, linked / dumps}) fs::create_directories(folder);
  fs::permissions(shared, fs::perms::group_write, fs::perm_options::add);
  if (chown((foreign / dumps).c_str(), 65534, 65534) != 0) {
    fs::permissions(foreign / dumps, fs::perms::group_write, fs::perm_options::add);
  }
  const std::regex name_pattern(
      "crash_probe_" + std::regex_replace(MONCTL_VERSION_TEXT, std::regex(R"(\.)"), R"(\.)") +
      R"(_x64_(\d{4}-\d\d-\d\d)_(\d\d)(\d\d)(\d\d)_(\d{3})\.dmp)");
  const std::string error = "ERROR: An unhandled exception has occurred.\n";
  const std::string head =
      error + "A crash dump file has been created and the application will close.\n\nCrash dump filename:\n";
  const std::string no_dump = error + "No crash dump file could be created and the application will close.\n";
  struct Case {
    std::string mode;
    fs::path state;   // XDG_STATE_HOME, or "-" for none
    fs::path folder;  // where the dump goes; empty: no dump
    std::vector<std::string> contents;
    fs::path home = {};  // HOME when not the usual one
  };
  const Case cases[] = {
      {"write", state, state / dumps,
       {"signal: 11 (SIGSEGV), code 1 (SEGV_MAPERR", "fault address: 0x0000000000000000\n", "\nregisters:\n",
        " rip 0x", "\nbacktrace:\n", "ProbeWriteThroughNull", "(main+0x", "\nmemory map:\n", " r-xp ",
        fs::canonical(CRASH_PROBE_PATH).string()}},
      {"throw", other, other / dumps,
       {"exception: std::runtime_error\nwhat: probe exception 42\n", "ProbeThrowUncaught", "\nmemory map:\n"}},
      // The folders exist now and are reused; a stack overflow is caught on the alternate stack.
      {"abort", state, state / dumps, {"signal: 6 (SIGABRT)"}},
      {"overflow", other, other / dumps, {"(SIGSEGV)", "ProbeRecurse"}},
      // Without XDG_STATE_HOME, or with a relative one, the folder is under the home folder.
      {"write", "-", home / fs::path(".local/state") / dumps, {}},
      {"throw", "relative/state", home / fs::path(".local/state") / dumps, {}},
      // At display level none the dump is written without a report.
      {"write quiet", state, state / dumps, {}},
      // The report in the output's encoding, on a line of its own.
      {"write unicode midline", state, state / dumps, {}}, {"throw unicode midline", other, other / dumps, {}},
      // No dump, and a report that says so: no folder, a path too long, folders that are not this user's
      // alone, a link with the dump's name; a missing home folder is not created.
      {"write", blocked, "", {}}, {"throw", blocked, "", {}},
      {"write", long_state, "", {}}, {"throw unicode midline", long_state, "", {}},
      {"write unicode", shared, "", {}}, {"throw", shared, "", {}},
      {"write", foreign, "", {}}, {"throw midline", foreign, "", {}},
      {"write", linked, "", {}}, {"throw", linked, "", {}},
      {"write", "-", "", {}, root / "gone"}, {"throw", "-", "", {}, root / "gone"},
      {"none", root / "untouched", "", {}},
  };
  for (const Case& c : cases) {
    const std::string name = c.mode + " with " + c.state.string();
    // Links named as the dumps of the next ten seconds, in the probe's time zone.
    for (std::time_t t = LocalNow(), end = t + 10; c.state == linked && t < end; ++t) {
      char stamp[80], name[96];
      std::strftime(stamp, sizeof stamp, "crash_probe_" MONCTL_VERSION_TEXT "_x64_%Y-%m-%d_%H%M%S", std::gmtime(&t));
      for (int ms = 0; ms < 1000; ++ms) {
        std::snprintf(name, sizeof name, "%s_%03d.dmp", stamp, ms);
        fs::create_symlink(root / "target", linked / dumps / name);
      }
    }
    const std::set<fs::path> before = FilesUnder(root);
    int status = 0;
    const long long earliest = LocalNow();
    const std::string output = RunProbe(
        (c.state == "-" ? "-u XDG_STATE_HOME" : "XDG_STATE_HOME=" + c.state.string()) +
            " HOME=" + (c.home.empty() ? home : c.home).string(),
        c.mode, &status);
    std::set<fs::path> added = FilesUnder(root);
    EXPECT_TRUE(std::includes(added.begin(), added.end(), before.begin(), before.end())) << name;
    for (const fs::path& file : before) added.erase(file);
    const long long latest = LocalNow();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == (c.mode == "none" ? 0 : 255)) << name << ": " << status;
    std::string expected = c.mode.find("midline") != std::string::npos ? "Working\n" : "";
    if (c.mode != "none" && c.mode.find("quiet") == std::string::npos) {
      expected += c.folder.empty() ? no_dump : head + (added.empty() ? "" : added.begin()->string()) + "\n";
    }
    if (c.mode.find("unicode") != std::string::npos) {
      std::string utf16;
      for (char ascii : expected) utf16 += {ascii, '\0'};
      expected = utf16;
    }
    EXPECT_EQ(output, expected) << name;
    if (c.state == linked) {
      for (const auto& link : fs::directory_iterator(linked / dumps)) {
        EXPECT_EQ(fs::read_symlink(link.path()), root / "target");
        fs::remove(link.path());
      }
    }
    if (c.folder.empty()) {
      EXPECT_EQ(added, std::set<fs::path>{}) << name;
      EXPECT_FALSE(c.mode == "none" && fs::exists(c.state)) << "installing the handler creates nothing";
      EXPECT_FALSE(!c.home.empty() && fs::exists(c.home)) << name;
      continue;
    }
    ASSERT_EQ(added.size(), 1u) << name;
    const fs::path dump = *added.begin();
    EXPECT_EQ(dump.parent_path(), c.folder) << name;
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
    if (!c.mode.starts_with("throw")) {
      EXPECT_NE(text.str().find("local time: " + recorded + "\n"), std::string::npos);
    }
    for (const std::string& part : c.contents) EXPECT_NE(text.str().find(part), std::string::npos) << part;
  }
  std::stringstream target;
  target << std::ifstream(root / "target").rdbuf();
  EXPECT_EQ(target.str(), "not to be overwritten");
  fs::remove_all(root);
}

// Output to a pipe whose reader has gone fails quietly: the run still makes every change it was asked for.
TEST(CrashHandlerTest, AClosedPipeDoesNotEndTheRun) {
  const fs::path log = fs::temp_directory_path() / ("monctl-pipe-" + std::to_string(getpid()) + ".log");
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  const pid_t child = fork();
  if (child == 0) {
    signal(SIGPIPE, SIG_DFL);
    dup2(fds[1], STDOUT_FILENO);
    setenv("MONCTL_SIM_LOG", log.c_str(), 1);
    execl(MONCTL_SIM_PROGRAM, "monctl-sim", "/device", "2", "/b", "10", "/c", "20", "/save", "/rotate", "90", nullptr);
    _exit(127);
  }
  close(fds[1]);
  int status = -1;
  waitpid(child, &status, 0);
  std::stringstream calls;
  calls << std::ifstream(log).rdbuf();
  fs::remove(log);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(calls.str(),
            "SetMonitorBrightness \\\\.\\DISPLAY2#0 10\nSetMonitorContrast \\\\.\\DISPLAY2#0 20\n"
            "SaveCurrentMonitorSettings \\\\.\\DISPLAY2#0\nChangeDisplaySettingsExW \\\\.\\DISPLAY2 "
            "fields=0x00180080 orientation=1 width=1080 height=1920 position=2560,180 flags=1\n");
}

}  // namespace
