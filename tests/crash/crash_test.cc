// Runs the crash probe in a child process and checks what a crash leaves
// behind: the dump in the local state folder with its name pattern, the
// report on standard output, and the exit status.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "version_data.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr char kReportHead[] =
    "ERROR: An unhandled exception has occurred.\n"
    "A crash dump file has been created and the application will close.\n\n"
    "Crash dump filename:\n";

struct ProbeResult {
  std::string output;
  int status = 0;  // as waitpid reports it
};

// Environment changes for the child: a value, or nullopt to remove it.
using EnvChanges = std::map<std::string, std::optional<std::string>>;

ProbeResult RunProbe(std::vector<std::string> args, const EnvChanges& env) {
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    if (env.count(name) == 0) environment.push_back(entry);
  }
  for (const auto& [name, value] : env) {
    if (value) environment.push_back(name + "=" + *value);
  }
  args.insert(args.begin(), CRASH_PROBE_PATH);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);

  int out[2];
  if (pipe(out) != 0) return {"pipe failed", -1};
  pid_t pid = fork();
  if (pid == 0) {
    // A fault that gets the default action must not leave a core file.
    rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    dup2(out[1], STDOUT_FILENO);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDERR_FILENO);
    close(out[0]);
    close(out[1]);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(out[1]);
  ProbeResult result;
  char buffer[4096];
  ssize_t n;
  while ((n = read(out[0], buffer, sizeof(buffer))) > 0) result.output.append(buffer, n);
  close(out[0]);
  waitpid(pid, &result.status, 0);
  return result;
}

std::vector<fs::path> FilesUnder(const fs::path& root) {
  std::vector<fs::path> files;
  if (!fs::exists(root)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  return files;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool ExitedWith(int status, int code) { return WIFEXITED(status) && WEXITSTATUS(status) == code; }
bool KilledBy(int status, int signal) { return WIFSIGNALED(status) && WTERMSIG(status) == signal; }

class CrashHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/monctl-crash-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }

  // The probe with its local state folder at `state`.
  ProbeResult Run(std::vector<std::string> args, const fs::path& state) {
    return RunProbe(std::move(args), {{"XDG_STATE_HOME", state.string()}});
  }

  fs::path DumpFolder(const fs::path& state) const {
    return state / MONCTL_COMPANY_NAME / MONCTL_PRODUCT_NAME;
  }

  // Checks the report and returns the dump's path it names.
  fs::path ReportedDump(const ProbeResult& result) {
    const std::string head = kReportHead;
    EXPECT_EQ(result.output.substr(0, head.size()), head);
    EXPECT_FALSE(result.output.empty());
    EXPECT_EQ(result.output.back(), '\n');
    if (result.output.size() <= head.size() + 1) return {};
    return result.output.substr(head.size(), result.output.size() - head.size() - 1);
  }

  fs::path root_;
};

const std::regex kDumpName(
    R"(crash_probe_)" + std::regex_replace(std::string(MONCTL_VERSION_TEXT), std::regex(R"(\.)"), R"(\.)") +
    R"(_x64_(\d{4})-(\d\d)-(\d\d)_(\d\d)(\d\d)(\d\d)_(\d{3})\.dmp)");

// ---- faults that leave a dump ---------------------------------------------

TEST_F(CrashHandlerTest, NullWriteLeavesADumpWithSignalRegistersStackAndMap) {
  fs::path state = root_ / "state";  // does not exist yet
  ProbeResult result = Run({"write"}, state);

  EXPECT_TRUE(ExitedWith(result.status, 255)) << "status " << result.status;
  fs::path dump = ReportedDump(result);
  EXPECT_EQ(dump.parent_path(), DumpFolder(state));
  std::smatch name;
  std::string file_name = dump.filename().string();
  ASSERT_TRUE(std::regex_match(file_name, name, kDumpName)) << file_name;
  ASSERT_EQ(FilesUnder(root_), std::vector<fs::path>{dump});

  std::string text = ReadFile(dump);
  EXPECT_NE(text.find("signal: 11 (SIGSEGV), code 1 (SEGV_MAPERR"), std::string::npos) << text;
  EXPECT_NE(text.find("fault address: 0x0000000000000000\n"), std::string::npos);
  EXPECT_NE(text.find("\nregisters:\n"), std::string::npos);
  EXPECT_NE(text.find(" rip 0x"), std::string::npos);
  // The stack is the faulting thread's, from the faulting function on.
  size_t backtrace = text.find("\nbacktrace:\n");
  size_t map = text.find("\nmemory map:\n");
  ASSERT_NE(backtrace, std::string::npos);
  ASSERT_NE(map, std::string::npos);
  std::string stack = text.substr(backtrace, map - backtrace);
  EXPECT_NE(stack.find("ProbeWriteThroughNull"), std::string::npos) << stack;
  EXPECT_NE(stack.find("(main+0x"), std::string::npos) << stack;
  // The memory map shows where the probe was loaded.
  std::string maps = text.substr(map);
  EXPECT_NE(maps.find(" r-xp "), std::string::npos);
  EXPECT_NE(maps.find(fs::canonical(CRASH_PROBE_PATH).string()), std::string::npos);
  // The name carries the time the dump records.
  std::string recorded = name[1].str() + "-" + name[2].str() + "-" + name[3].str() + " " +
                         name[4].str() + ":" + name[5].str() + ":" + name[6].str() + "." +
                         name[7].str();
  EXPECT_NE(text.find("local time: " + recorded + "\n"), std::string::npos) << text.substr(0, 200);
}

// Seconds since the epoch of the time in a dump's name, read as UTC.
std::optional<long long> NameTime(const fs::path& dump) {
  std::smatch m;
  std::string name = dump.filename().string();
  if (!std::regex_match(name, m, kDumpName)) return std::nullopt;
  std::tm t{};
  t.tm_year = std::stoi(m[1]) - 1900;
  t.tm_mon = std::stoi(m[2]) - 1;
  t.tm_mday = std::stoi(m[3]);
  t.tm_hour = std::stoi(m[4]);
  t.tm_min = std::stoi(m[5]);
  t.tm_sec = std::stoi(m[6]);
  return static_cast<long long>(timegm(&t));
}

TEST_F(CrashHandlerTest, DumpNameCarriesTheLocalTime) {
  // Five and a half hours east of UTC, as a POSIX TZ rule (no zone files).
  constexpr long long kOffset = 5 * 3600 + 30 * 60;
  fs::path state = root_ / "state";
  EnvChanges env = {{"XDG_STATE_HOME", state.string()}, {"TZ", "XYZ-5:30"}};

  for (const char* mode : {"write", "throw"}) {
    long long before = static_cast<long long>(std::time(nullptr)) + kOffset;
    ProbeResult result = RunProbe({mode}, env);
    long long after = static_cast<long long>(std::time(nullptr)) + kOffset;

    std::optional<long long> named = NameTime(ReportedDump(result));
    ASSERT_TRUE(named.has_value()) << mode << ": " << result.output;
    EXPECT_LE(before, *named) << mode;
    EXPECT_LE(*named, after) << mode;
  }
}

TEST_F(CrashHandlerTest, UncaughtExceptionLeavesADumpWithItsTypeAndMessage) {
  fs::path state = root_ / "state";
  ProbeResult result = Run({"throw"}, state);

  EXPECT_TRUE(ExitedWith(result.status, 255)) << "status " << result.status;
  fs::path dump = ReportedDump(result);
  EXPECT_EQ(dump.parent_path(), DumpFolder(state));
  std::string file_name = dump.filename().string();
  EXPECT_TRUE(std::regex_match(file_name, kDumpName)) << file_name;
  ASSERT_EQ(FilesUnder(root_), std::vector<fs::path>{dump});

  std::string text = ReadFile(dump);
  EXPECT_NE(text.find("exception: std::runtime_error\nwhat: probe exception 42\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("ProbeThrowUncaught"), std::string::npos) << text;
  EXPECT_NE(text.find("\nmemory map:\n"), std::string::npos);
}

TEST_F(CrashHandlerTest, AbortLeavesADump) {
  fs::path state = root_ / "state";
  ProbeResult result = Run({"abort"}, state);

  EXPECT_TRUE(ExitedWith(result.status, 255)) << "status " << result.status;
  fs::path dump = ReportedDump(result);
  ASSERT_EQ(FilesUnder(root_), std::vector<fs::path>{dump});
  EXPECT_NE(ReadFile(dump).find("signal: 6 (SIGABRT)"), std::string::npos);
}

TEST_F(CrashHandlerTest, StackOverflowIsHandledOnTheAlternateStack) {
  fs::path state = root_ / "state";
  ProbeResult result = Run({"overflow"}, state);

  EXPECT_TRUE(ExitedWith(result.status, 255)) << "status " << result.status;
  fs::path dump = ReportedDump(result);
  ASSERT_EQ(FilesUnder(root_), std::vector<fs::path>{dump});
  std::string text = ReadFile(dump);
  EXPECT_NE(text.find("(SIGSEGV)"), std::string::npos);
  EXPECT_NE(text.find("ProbeRecurse"), std::string::npos);
}

TEST_F(CrashHandlerTest, ExistingFoldersAreReused) {
  fs::path state = root_ / "state";
  fs::create_directories(DumpFolder(state));
  std::ofstream(DumpFolder(state) / "earlier.dmp") << "earlier";

  ProbeResult first = Run({"write"}, state);
  ProbeResult second = Run({"throw"}, state);

  EXPECT_TRUE(ExitedWith(first.status, 255));
  EXPECT_TRUE(ExitedWith(second.status, 255));
  fs::path first_dump = ReportedDump(first);
  fs::path second_dump = ReportedDump(second);
  EXPECT_TRUE(fs::exists(first_dump));
  EXPECT_TRUE(fs::exists(second_dump));
  EXPECT_EQ(ReadFile(DumpFolder(state) / "earlier.dmp"), "earlier");
}

TEST_F(CrashHandlerTest, WithoutXdgStateHomeTheFolderIsUnderHome) {
  ProbeResult unset = RunProbe({"write"}, {{"XDG_STATE_HOME", std::nullopt}, {"HOME", root_.string()}});
  // A relative XDG_STATE_HOME does not count.
  ProbeResult relative = RunProbe({"throw"}, {{"XDG_STATE_HOME", "relative/state"}, {"HOME", root_.string()}});

  fs::path expected = DumpFolder(root_ / ".local" / "state");
  EXPECT_TRUE(ExitedWith(unset.status, 255));
  EXPECT_TRUE(ExitedWith(relative.status, 255));
  EXPECT_EQ(ReportedDump(unset).parent_path(), expected);
  EXPECT_EQ(ReportedDump(relative).parent_path(), expected);
  EXPECT_EQ(FilesUnder(root_).size(), 2u);
}

TEST_F(CrashHandlerTest, AtDisplayLevelNoneTheDumpIsWrittenWithoutReport) {
  fs::path state = root_ / "state";
  ProbeResult signal = Run({"write", "quiet"}, state);
  ProbeResult exception = Run({"throw", "quiet"}, state);

  EXPECT_TRUE(ExitedWith(signal.status, 255));
  EXPECT_TRUE(ExitedWith(exception.status, 255));
  EXPECT_EQ(signal.output, "");
  EXPECT_EQ(exception.output, "");
  EXPECT_EQ(FilesUnder(root_).size(), 2u);
}

// ---- no dump: nothing written, the default ending -----------------------

TEST_F(CrashHandlerTest, FolderThatCannotBeCreatedWritesNothingAndEnds) {
  std::ofstream(root_ / "file") << "in the way";
  fs::path state = root_ / "file" / "state";

  ProbeResult signal = Run({"write"}, state);
  ProbeResult exception = Run({"throw"}, state);

  EXPECT_EQ(signal.output, "");
  EXPECT_TRUE(KilledBy(signal.status, SIGSEGV)) << "status " << signal.status;
  EXPECT_EQ(exception.output, "");
  EXPECT_TRUE(KilledBy(exception.status, SIGABRT)) << "status " << exception.status;
  EXPECT_EQ(FilesUnder(root_), std::vector<fs::path>{root_ / "file"});
}

TEST_F(CrashHandlerTest, DumpPathLongerThanMaxPathGetsNoDump) {
  // The folder fits in 259 characters, the dump's path does not.
  fs::path state = root_ / std::string(199 - root_.string().size(), 'd');
  ASSERT_EQ(state.string().size(), 200u);

  ProbeResult signal = Run({"write"}, state);
  ProbeResult exception = Run({"throw"}, state);

  EXPECT_EQ(signal.output, "");
  EXPECT_TRUE(KilledBy(signal.status, SIGSEGV)) << "status " << signal.status;
  EXPECT_EQ(exception.output, "");
  EXPECT_TRUE(KilledBy(exception.status, SIGABRT)) << "status " << exception.status;
  EXPECT_EQ(FilesUnder(root_), std::vector<fs::path>{});
}

TEST_F(CrashHandlerTest, InstallingTheHandlerCreatesNothing) {
  fs::path state = root_ / "state";
  ProbeResult result = Run({"none"}, state);

  EXPECT_TRUE(ExitedWith(result.status, 0));
  EXPECT_EQ(result.output, "");
  EXPECT_FALSE(fs::exists(state));
}

}  // namespace
