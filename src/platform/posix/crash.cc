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
// prepared beforehand (SetCrashDumpPlan), the report in both encodings the
// output may be in; the handler only creates the folders, reads the clock,
// writes the dump and the report with write(2), and ends with _exit(255),
// since exit() would run handlers that are not safe here. The handler runs
// on an alternate stack so that a stack overflow is caught too.
//
// The dump goes only into folders of this user that no one else can write
// to, into a new file: a link planted with its name is never followed. When
// no dump can be written, either way of crashing reports that instead and
// ends with 255 too. The report starts on a line of its own.
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

#include "platform/posix/console.h"
#include "platform/posix/crash_report.h"
#include "platform/posix/files.h"
#include "platform/posix/signal_safe.h"
#include "platform/posix/terminal.h"
#include "platform/resources.h"
#include "platform/text.h"

namespace monctl::platform {
namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

// The report's texts as bytes in one output encoding.
struct ReportText {
  std::string head;        // up to the dump's path
  std::string path_start;  // the dump's path up to its time part
  std::string tail;        // after the path
  std::string no_dump;     // the report that no dump was written
  std::string line_end;
};

// The plan in the form the signal handler uses: UTF-8 texts and the
// length of the fixed part of the dump path in UTF-16 units.
struct PreparedPlan {
  std::string folder;
  size_t folder_existing = 0;  // the part of the folder that is never created
  std::string company;
  std::string product;
  std::string file_prefix;
  size_t path_units = 0;
  ReportText text[2];  // for UTF-8 and for UTF-16LE output
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

// Creates the dump's folders, each a private one, and builds its path;
// false when a folder cannot be made or used or the path would not fit in
// MAX_PATH characters.
bool PrepareDumpPath(const PreparedPlan& plan, const char* time_part, size_t time_length, PathBuffer* path) {
  if (plan.folder.empty()) return false;
  if (plan.path_units + time_length >= kMaxPath) return false;

  if (!path->Append(plan.folder) || !MakePrivateFolders(path->text, path->size, plan.folder_existing)) {
    return false;
  }
  for (const std::string* level : {&plan.company, &plan.product}) {
    if (level->empty()) continue;
    const size_t parent = path->size;
    if (!path->Append("/", 1) || !path->Append(*level) || !MakePrivateFolders(path->text, path->size, parent)) {
      return false;
    }
  }
  return path->Append("/", 1) && path->Append(plan.file_prefix) && path->Append(time_part, time_length);
}

void ResetFatalSignals() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int signal : kFatalSignals) ::sigaction(signal, &action, nullptr);
}

// The report in the output's encoding, on a line of its own: of the dump
// whose name ends with `time_part`, or, without it, that there is none.
void WriteReport(const PreparedPlan& plan, const char* time_part, size_t time_length) {
  if (!plan.report) return;
  if (plan.display_level != nullptr && (*plan.display_level & 0x7FFFFFFF) < 4) return;
  const bool utf16 = OutputIsUtf16();
  const ReportText& text = plan.text[utf16 ? 1 : 0];
  SafeWriter out(STDOUT_FILENO);
  if (OutputIsMidLine()) out.Bytes(text.line_end.data(), text.line_end.size());
  if (time_part == nullptr) {
    out.Bytes(text.no_dump.data(), text.no_dump.size());
  } else {
    out.Bytes(text.head.data(), text.head.size());
    out.Bytes(text.path_start.data(), text.path_start.size());
    for (size_t i = 0; i < time_length; ++i) {
      out.Char(time_part[i]);  // ASCII
      if (utf16) out.Char(0);
    }
    out.Bytes(text.tail.data(), text.tail.size());
  }
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
  if (plan == nullptr) {
    // Before the handler is ready: the default action, as if no handler had
    // been installed. The signal stays blocked until the handler returns,
    // then ends the process (a fault would also recur; a sent signal would
    // not).
    ResetFatalSignals();
    ::raise(signal);
    return;
  }
  const SystemTime time = LocalTimeFromClock(plan->utc_offset);
  char time_part[kDumpTimePartSize];
  const size_t time_length = FormatDumpTimePart(time, time_part);
  PathBuffer path;
  if (PrepareDumpPath(*plan, time_part, time_length, &path)) {
    // A new file only: a link planted with the dump's name is not followed.
    int fd = ::open(path.text, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ExceptionPointers pointers{signal, info, context};
      bool written = WriteDump(fd, &pointers, time, plan->program.c_str());
      ::close(fd);
      if (written) {
        WriteReport(*plan, time_part, time_length);
        ::_exit(255);
      }
      ::unlink(path.text);
    }
  }
  WriteReport(*plan, nullptr, 0);
  ::_exit(255);
}

[[noreturn]] void OnTerminate() {
  static std::atomic<bool> terminating{false};
  RestoreKeyInputTerminal();
  if (g_filter != nullptr && !terminating.exchange(true)) {
    // The filter reports and exits when it has written a dump.
    if (g_filter(nullptr) == kExceptionExecuteHandler) ::_exit(255);
    if (const PreparedPlan* plan = g_plan.load()) {
      WriteReport(*plan, nullptr, 0);
      ::_exit(255);
    }
  }
  // Not ready, or terminate called again: the run-time library's own
  // handling, whose abort() must not come back to the signal handler.
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
  // Of the local state folder, only the levels that the crash handler's
  // folder lookup would create; of another folder, the last level.
  std::string local;
  size_t existing = 0;
  const size_t last_level = next.folder.rfind('/');
  next.folder_existing = posix::LocalStateFolder(&local, &existing) && local == next.folder ? existing
                         : last_level == std::string::npos                                 ? 0
                                                                                           : last_level;
  next.company = Utf16ToUtf8(plan.company);
  next.product = Utf16ToUtf8(plan.product);
  next.file_prefix = Utf16ToUtf8(plan.file_prefix);
  // folder "/" [company "/"] product "/" prefix: the dump path without its
  // time part, counted as the Windows build counts it.
  next.path_units = plan.folder.size() + 1 + plan.product.size() + 1 + plan.file_prefix.size() +
                    (plan.company.empty() ? 0 : plan.company.size() + 1);
  std::u16string path_start = plan.folder + u"/";
  if (!plan.company.empty()) path_start += plan.company + u"/";
  path_start += plan.product + u"/" + plan.file_prefix;
  for (const bool utf16 : {false, true}) {
    ReportText& text = next.text[utf16 ? 1 : 0];
    text.head = EncodeText(plan.report_head, utf16);
    text.path_start = EncodeText(path_start, utf16);
    text.tail = EncodeText(plan.report_tail, utf16);
    text.no_dump = EncodeText(plan.report_no_dump, utf16);
    text.line_end = EncodeText(u"\n", utf16);
  }
  next.report = plan.report;
  next.display_level = plan.display_level;
  char16_t wide[kMaxPath];
  uint32_t n = GetModuleFileNameW(wide, kMaxPath);
  next.program = n != 0 && n < kMaxPath ? Utf16ToUtf8(std::u16string_view(wide, n)) : std::string();
  next.utc_offset = CurrentUtcOffset();
  g_plan.store(&next);
}

}  // namespace monctl::platform
