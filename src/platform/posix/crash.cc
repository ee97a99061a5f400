// The crash handler's system services for the native build.
//
// An uncaught C++ exception reaches std::terminate in an ordinary context,
// so there the crash handler's filter runs just as on Windows: it names and
// writes the dump, reports it through the message writer and ends the
// process with exit(-1).
//
// A fatal signal (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT) is different: its
// handler interrupts the program at an arbitrary point, perhaps inside
// malloc or stdio with their locks held, and may only make
// async-signal-safe calls. It therefore cannot run the filter, read the
// version resource, format text or allocate. Everything of that kind is
// prepared beforehand (SetCrashDumpPlan); the handler only creates the
// folders, reads the clock, writes the dump and the report with write(2),
// and ends with _exit(255), since exit() would run handlers that are not
// safe here. The handler runs on an alternate stack so that a stack
// overflow is caught too.
#include "platform/crash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <string>

#include "platform/posix/crash_report.h"
#include "platform/posix/signal_safe.h"
#include "platform/posix/terminal.h"
#include "platform/resources.h"
#include "platform/text.h"

namespace monctl::platform {
namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

// The plan in the form the signal handler uses: UTF-8 texts and the
// length of the fixed part of the dump path in UTF-16 units.
struct PreparedPlan {
  std::string folder;
  std::string company;
  std::string product;
  std::string file_prefix;
  size_t path_units = 0;
  std::string report_head;
  std::string report_tail;
  bool report = false;
  const uint32_t* display_level = nullptr;
  std::string program;  // the executable's path, for the dump's header
  long utc_offset = 0;  // seconds east of UTC when the plan was made
};

// Two slots: the next plan is prepared in the one the handler does not see
// and then published with one atomic store.
PreparedPlan g_plans[2];
std::atomic<const PreparedPlan*> g_plan{nullptr};

UnhandledExceptionFilter g_filter = nullptr;
std::terminate_handler g_previous_terminate = nullptr;
std::atomic<bool> g_crashing{false};

alignas(16) char g_alternate_stack[256 * 1024];

// The program's path for a dump's header; empty before a plan is made.
const char* ProgramOf(const PreparedPlan* plan) { return plan != nullptr ? plan->program.c_str() : ""; }

// Creates the dump's folders and builds its path; false when a folder
// cannot be made or the path would not fit in MAX_PATH characters.
bool PrepareDumpPath(const PreparedPlan& plan, const SystemTime& time, PathBuffer* path) {
  if (plan.folder.empty()) return false;
  char time_part[kDumpTimePartSize];
  const size_t time_length = FormatDumpTimePart(time, time_part);
  if (plan.path_units + time_length >= kMaxPath) return false;

  if (!path->Append(plan.folder) || !MakeFolders(path->text, path->size)) return false;
  if (!plan.company.empty()) {
    if (!path->Append("/", 1) || !path->Append(plan.company)) return false;
    if (::mkdir(path->text, 0700) != 0 && errno != EEXIST) return false;
  }
  if (!path->Append("/", 1) || !path->Append(plan.product)) return false;
  if (::mkdir(path->text, 0700) != 0 && errno != EEXIST) return false;
  return path->Append("/", 1) && path->Append(plan.file_prefix) &&
         path->Append(time_part, time_length);
}

void ResetFatalSignals() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int signal : kFatalSignals) ::sigaction(signal, &action, nullptr);
}

void WriteReport(const PreparedPlan& plan, const char* path, size_t path_size) {
  if (!plan.report) return;
  if (plan.display_level != nullptr && (*plan.display_level & 0x7FFFFFFF) < 4) return;
  SafeWriter out(STDOUT_FILENO);
  out.Bytes(plan.report_head.data(), plan.report_head.size());
  out.Bytes(path, path_size);
  out.Bytes(plan.report_tail.data(), plan.report_tail.size());
  out.Flush();
}

void OnFatalSignal(int signal, siginfo_t* info, void* context) {
  RestoreKeyInputTerminal();
  // A second thread that faults while the first writes the dump waits for
  // the process to end.
  if (g_crashing.exchange(true)) {
    for (;;) ::pause();
  }
  const PreparedPlan* plan = g_plan.load();
  if (plan != nullptr) {
    const SystemTime time = LocalTimeFromClock(plan->utc_offset);
    PathBuffer path;
    if (PrepareDumpPath(*plan, time, &path)) {
      int fd = ::open(path.text, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
      if (fd >= 0) {
        ExceptionPointers pointers{signal, info, context};
        bool written = WriteDump(fd, &pointers, time, plan->program.c_str());
        ::close(fd);
        if (written) {
          WriteReport(*plan, path.text, path.size);
          ::_exit(255);
        }
        ::unlink(path.text);
      }
    }
  }
  // No dump: the default action, as if no handler had been installed. The
  // signal stays blocked until the handler returns, then ends the process
  // (a fault would also recur; a sent signal would not).
  ResetFatalSignals();
  ::raise(signal);
}

[[noreturn]] void OnTerminate() {
  static std::atomic<bool> terminating{false};
  RestoreKeyInputTerminal();
  if (g_filter != nullptr && !terminating.exchange(true)) {
    // The filter reports and exits when it has written a dump.
    if (g_filter(nullptr) == kExceptionExecuteHandler) ::_exit(255);
  }
  // No dump: the run-time library's own handling, whose abort() must not
  // come back to the signal handler.
  ResetFatalSignals();
  if (g_previous_terminate != nullptr) g_previous_terminate();
  std::abort();
}

void InstallSignalHandlers() {
  stack_t stack{};
  stack.ss_sp = g_alternate_stack;
  stack.ss_size = sizeof(g_alternate_stack);
  ::sigaltstack(&stack, nullptr);

  struct sigaction action {};
  action.sa_sigaction = &OnFatalSignal;
  // SA_RESETHAND: a fault inside the handler ends the process at once.
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (int signal : kFatalSignals) ::sigaction(signal, &action, nullptr);
}

long CurrentUtcOffset() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return 0;
  return local.tm_gmtoff;
}

}  // namespace

UnhandledExceptionFilter SetUnhandledExceptionFilter(UnhandledExceptionFilter filter) {
  static bool installed = false;
  UnhandledExceptionFilter previous = g_filter;
  g_filter = filter;
  if (!installed) {
    installed = true;
    PreloadBacktrace();
    InstallSignalHandlers();
    g_previous_terminate = std::set_terminate(&OnTerminate);
  }
  return previous;
}

bool WriteCrashDump(FileHandle file, ExceptionPointers* pointers) {
  SystemTime now;
  GetLocalTime(&now);
  return WriteDump(static_cast<int>(file), pointers, now, ProgramOf(g_plan.load()));
}

bool NeedsCrashDumpPlan() { return true; }

void SetCrashDumpPlan(const CrashDumpPlan& plan) {
  const PreparedPlan* current = g_plan.load();
  PreparedPlan& next = current == &g_plans[0] ? g_plans[1] : g_plans[0];
  next.folder = Utf16ToUtf8(plan.folder);
  next.company = Utf16ToUtf8(plan.company);
  next.product = Utf16ToUtf8(plan.product);
  next.file_prefix = Utf16ToUtf8(plan.file_prefix);
  // folder "/" [company "/"] product "/" prefix: the dump path without its
  // time part, counted as the Windows build counts it.
  next.path_units = plan.folder.size() + 1 + plan.product.size() + 1 + plan.file_prefix.size() +
                    (plan.company.empty() ? 0 : plan.company.size() + 1);
  next.report_head = Utf16ToUtf8(plan.report_head);
  next.report_tail = Utf16ToUtf8(plan.report_tail);
  next.report = plan.report;
  next.display_level = plan.display_level;
  char16_t wide[kMaxPath];
  uint32_t n = GetModuleFileNameW(wide, kMaxPath);
  next.program = n != 0 && n < kMaxPath ? Utf16ToUtf8(std::u16string_view(wide, n)) : std::string();
  next.utc_offset = CurrentUtcOffset();
  g_plan.store(&next);
}

}  // namespace monctl::platform
