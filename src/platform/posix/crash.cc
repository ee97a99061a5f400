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
//
// The dump is a text file: the signal and the fault address, the
// registers, the faulting thread's stack (or, for an exception, its type
// and message and the stack where it was thrown) and the memory map.
#include "platform/crash.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cxxabi.h>
#include <exception>
#include <execinfo.h>
#include <fcntl.h>
#include <limits.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <typeinfo>
#include <ucontext.h>
#include <unwind.h>
#include <unistd.h>

#include "platform/posix/call_gate.h"
#include "platform/posix/terminal.h"
#include "platform/system.h"
#include "platform/text.h"

namespace monctl::platform {

// The signal, its information and the interrupted context.
struct ExceptionPointers {
  int signal;
  siginfo_t* info;
  void* context;
};

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int kBacktraceDepth = 64;

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

// ---- async-signal-safe helpers ------------------------------------------

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Buffered text output to a descriptor with nothing but write(2).
class SafeWriter {
 public:
  explicit SafeWriter(int fd) : fd_(fd) {}

  SafeWriter& Text(const char* text) { return Bytes(text, std::strlen(text)); }
  SafeWriter& Bytes(const char* data, size_t size) {
    while (size > 0) {
      if (used_ == sizeof(buffer_)) Flush();
      size_t n = sizeof(buffer_) - used_;
      if (n > size) n = size;
      std::memcpy(buffer_ + used_, data, n);
      used_ += n;
      data += n;
      size -= n;
    }
    return *this;
  }
  SafeWriter& Char(char c) { return Bytes(&c, 1); }
  // Decimal, at least `width` digits, padded with `pad`.
  SafeWriter& Dec(long long value, int width = 0, char pad = '0') {
    char digits[24];
    int n = 0;
    unsigned long long v = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                     : static_cast<unsigned long long>(value);
    do {
      digits[n++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0);
    if (value < 0) Char('-');
    for (int i = n; i < width; ++i) Char(pad);
    while (n > 0) Char(digits[--n]);
    return *this;
  }
  SafeWriter& Hex(unsigned long long value, int digits = 16) {
    char text[18] = {'0', 'x'};
    for (int i = 0; i < digits; ++i) {
      text[2 + i] = "0123456789abcdef"[(value >> (4 * (digits - 1 - i))) & 0xF];
    }
    return Bytes(text, 2 + static_cast<size_t>(digits));
  }
  bool Flush() {
    if (used_ > 0 && !WriteAll(fd_, buffer_, used_)) ok_ = false;
    used_ = 0;
    return ok_;
  }
  bool ok() const { return ok_; }
  int fd() const { return fd_; }

 private:
  int fd_;
  char buffer_[1024];
  size_t used_ = 0;
  bool ok_ = true;
};

struct CivilTime {
  long long year;
  int month, day, hour, minute, second, millisecond;
};

// Local time from the real-time clock and a UTC offset, without the time
// zone functions (which lock and read files).
CivilTime LocalTimeFromClock(long utc_offset) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  long long seconds = static_cast<long long>(now.tv_sec) + utc_offset;
  long long days = seconds / 86400;
  long long rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Civil date from the day number (days since 1970-01-01).
  long long z = days + 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  CivilTime t{};
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = yoe + era * 400 + (t.month <= 2 ? 1 : 0);
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest / 60 % 60);
  t.second = static_cast<int>(rest % 60);
  t.millisecond = static_cast<int>(now.tv_nsec / 1000000);
  return t;
}

// Appends to a fixed buffer; false when it does not fit.
struct PathBuffer {
  char text[PATH_MAX];
  size_t size = 0;

  bool Append(const char* data, size_t n) {
    if (size + n >= sizeof(text)) return false;
    std::memcpy(text + size, data, n);
    size += n;
    text[size] = 0;
    return true;
  }
  bool Append(const std::string& s) { return Append(s.data(), s.size()); }
};

// "_x64_YYYY-MM-DD_HHMMSS_mmm.dmp" into `out`, as the normal path formats
// it; returns its length.
size_t FormatTimePart(const CivilTime& t, char* out, size_t capacity) {
  char buffer[64];
  // Formats into `buffer` by hand: no snprintf in a signal handler.
  size_t n = 0;
  auto put = [&](const char* s) {
    while (*s != 0 && n < sizeof(buffer)) buffer[n++] = *s++;
  };
  auto num = [&](long long v, int width, char pad) {
    char digits[24];
    int k = 0;
    unsigned long long u = v < 0 ? 0 : static_cast<unsigned long long>(v);
    do {
      digits[k++] = static_cast<char>('0' + u % 10);
      u /= 10;
    } while (u != 0);
    for (int i = k; i < width && n < sizeof(buffer); ++i) buffer[n++] = pad;
    while (k > 0 && n < sizeof(buffer)) buffer[n++] = digits[--k];
  };
  put("_x64_");
  num(t.year, 4, ' ');
  put("-");
  num(t.month, 2, '0');
  put("-");
  num(t.day, 2, '0');
  put("_");
  num(t.hour, 2, '0');
  num(t.minute, 2, '0');
  num(t.second, 2, '0');
  put("_");
  num(t.millisecond, 3, '0');
  put(".dmp");
  if (n >= capacity) return 0;
  std::memcpy(out, buffer, n);
  out[n] = 0;
  return n;
}

// mkdir for every folder on the way to `path` (a writable copy); only the
// result for `path` itself counts.
bool MakeFolders(char* path, size_t size) {
  for (size_t i = 1; i < size; ++i) {
    if (path[i] != '/') continue;
    path[i] = 0;
    ::mkdir(path, 0700);
    path[i] = '/';
  }
  return ::mkdir(path, 0700) == 0 || errno == EEXIST;
}

// Creates the dump's folders and builds its path; false when a folder
// cannot be made or the path would not fit in MAX_PATH characters.
bool PrepareDumpPath(const PreparedPlan& plan, const CivilTime& time, PathBuffer* path) {
  if (plan.folder.empty()) return false;
  char time_part[64];
  size_t time_length = FormatTimePart(time, time_part, sizeof(time_part));
  if (time_length == 0 || plan.path_units + time_length >= kMaxPath) return false;

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

const char* SignalName(int signal) {
  switch (signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
  }
}

const char* SignalCodeText(int signal, int code) {
  switch (code) {
    case SI_USER: return "SI_USER: sent by kill";
    case SI_TKILL: return "SI_TKILL: sent by tkill or raise";
    case SI_QUEUE: return "SI_QUEUE: sent by sigqueue";
    default: break;
  }
  switch (signal) {
    case SIGSEGV:
      if (code == SEGV_MAPERR) return "SEGV_MAPERR: address not mapped";
      if (code == SEGV_ACCERR) return "SEGV_ACCERR: no permission for the access";
      break;
    case SIGBUS:
      if (code == BUS_ADRALN) return "BUS_ADRALN: misaligned address";
      if (code == BUS_ADRERR) return "BUS_ADRERR: address past the end of the object";
      if (code == BUS_OBJERR) return "BUS_OBJERR: hardware error";
      break;
    case SIGILL:
      if (code == ILL_ILLOPC) return "ILL_ILLOPC: illegal opcode";
      if (code == ILL_ILLOPN) return "ILL_ILLOPN: illegal operand";
      if (code == ILL_PRVOPC) return "ILL_PRVOPC: privileged opcode";
      break;
    case SIGFPE:
      if (code == FPE_INTDIV) return "FPE_INTDIV: integer divide by zero";
      if (code == FPE_INTOVF) return "FPE_INTOVF: integer overflow";
      if (code == FPE_FLTDIV) return "FPE_FLTDIV: floating-point divide by zero";
      break;
    default:
      break;
  }
  return "";
}

void WriteHeader(SafeWriter& out, const PreparedPlan* plan, const CivilTime& time) {
  out.Text("Crash dump\n");
  out.Text("program: ").Text(plan != nullptr ? plan->program.c_str() : "").Char('\n');
  out.Text("process: ").Dec(::getpid()).Text(", thread ").Dec(::syscall(SYS_gettid)).Char('\n');
  out.Text("local time: ").Dec(time.year, 4, ' ').Char('-').Dec(time.month, 2).Char('-');
  out.Dec(time.day, 2).Char(' ').Dec(time.hour, 2).Char(':').Dec(time.minute, 2).Char(':');
  out.Dec(time.second, 2).Char('.').Dec(time.millisecond, 3).Char('\n');
}

void WriteSignal(SafeWriter& out, const ExceptionPointers& pointers) {
  const siginfo_t* info = pointers.info;
  out.Text("\nsignal: ").Dec(pointers.signal).Text(" (").Text(SignalName(pointers.signal)).Char(')');
  if (info == nullptr) {
    out.Char('\n');
    return;
  }
  out.Text(", code ").Dec(info->si_code);
  const char* code_text = SignalCodeText(pointers.signal, info->si_code);
  if (*code_text != 0) out.Text(" (").Text(code_text).Char(')');
  out.Char('\n');
  if (info->si_code == SI_USER || info->si_code == SI_TKILL || info->si_code == SI_QUEUE) {
    out.Text("sent by process: ").Dec(info->si_pid).Char('\n');
  } else if (pointers.signal != SIGABRT) {
    out.Text("fault address: ").Hex(reinterpret_cast<uintptr_t>(info->si_addr)).Char('\n');
  }
}

uintptr_t InstructionPointer(const void* context) {
  if (context == nullptr) return 0;
  const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
  return static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
  return static_cast<uintptr_t>(uc->uc_mcontext.pc);
#else
  (void)uc;
  return 0;
#endif
}

void WriteRegisters(SafeWriter& out, const void* context) {
  out.Text("\nregisters:\n");
  if (context == nullptr) {
    out.Text("  (no signal context)\n");
    return;
  }
  const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
  struct Register {
    const char* name;
    int index;
  };
  static constexpr Register kRegisters[] = {
      {"rax", REG_RAX}, {"rbx", REG_RBX}, {"rcx", REG_RCX},       {"rdx", REG_RDX},
      {"rsi", REG_RSI}, {"rdi", REG_RDI}, {"rbp", REG_RBP},       {"rsp", REG_RSP},
      {"r8 ", REG_R8},  {"r9 ", REG_R9},  {"r10", REG_R10},       {"r11", REG_R11},
      {"r12", REG_R12}, {"r13", REG_R13}, {"r14", REG_R14},       {"r15", REG_R15},
      {"rip", REG_RIP}, {"efl", REG_EFL}, {"err", REG_ERR},       {"trp", REG_TRAPNO},
      {"cr2", REG_CR2}, {"csgsfs", REG_CSGSFS}, {"oldmask", REG_OLDMASK},
  };
  int column = 0;
  for (const Register& r : kRegisters) {
    out.Text("  ").Text(r.name).Char(' ').Hex(static_cast<unsigned long long>(uc->uc_mcontext.gregs[r.index]));
    if (++column % 4 == 0) out.Char('\n');
  }
  if (column % 4 != 0) out.Char('\n');
#elif defined(__aarch64__)
  for (int i = 0; i < 31; ++i) {
    out.Text("  x").Dec(i, 2).Char(' ').Hex(uc->uc_mcontext.regs[i]);
    if ((i + 1) % 4 == 0) out.Char('\n');
  }
  out.Text("  sp ").Hex(uc->uc_mcontext.sp).Text("  pc ").Hex(uc->uc_mcontext.pc);
  out.Text("  pstate ").Hex(uc->uc_mcontext.pstate).Char('\n');
#else
  (void)uc;
  out.Text("  (not recorded on this architecture)\n");
#endif
}

// The return addresses of the calling thread's stack, through the signal
// frame, from libgcc's unwinder: glibc's backtrace() would first load
// libgcc_s with dlopen, on every run, for a dump that is rarely written.
struct FrameCollector {
  void** frames;
  int size;
  int count;
};

_Unwind_Reason_Code CollectFrame(_Unwind_Context* context, void* argument) {
  auto* collector = static_cast<FrameCollector*>(argument);
  if (collector->count == collector->size) return _URC_END_OF_STACK;
  const uintptr_t pc = _Unwind_GetIP(context);
  if (pc == 0) return _URC_END_OF_STACK;
  collector->frames[collector->count++] = reinterpret_cast<void*>(pc);
  return _URC_NO_REASON;
}

int CollectBacktrace(void** frames, int size) {
  FrameCollector collector{frames, size, 0};
  _Unwind_Backtrace(&CollectFrame, &collector);
  return collector.count;
}

// The unwinder and backtrace_symbols_fd() write to the descriptor directly
// and do not allocate (see PreloadBacktrace).
void WriteBacktrace(SafeWriter& out, uintptr_t fault_pc) {
  if (fault_pc != 0) {
    out.Text("\nfaulting instruction:\n");
    out.Flush();
    void* pc = reinterpret_cast<void*>(fault_pc);
    ::backtrace_symbols_fd(&pc, 1, out.fd());
  }
  out.Text("\nbacktrace:\n");
  out.Flush();
  void* frames[kBacktraceDepth];
  int n = CollectBacktrace(frames, kBacktraceDepth);
  ::backtrace_symbols_fd(frames, n, out.fd());
}

void WriteMemoryMap(SafeWriter& out) {
  out.Text("\nmemory map:\n");
  out.Flush();
  int maps = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (maps < 0) {
    out.Text("  (not readable)\n");
    return;
  }
  char buffer[4096];
  for (;;) {
    ssize_t n = ::read(maps, buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.Bytes(buffer, static_cast<size_t>(n));
  }
  ::close(maps);
}

// The uncaught exception std::terminate was called for, if any. Runs in an
// ordinary context.
void WriteCurrentException(SafeWriter& out) {
  std::exception_ptr current = std::current_exception();
  if (!current) {
    out.Text("\nexception: none (std::terminate was called without one)\n");
    return;
  }
  out.Text("\nexception: ");
  if (const std::type_info* type = abi::__cxa_current_exception_type()) {
    int status = 0;
    char* name = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
    out.Text(status == 0 && name != nullptr ? name : type->name());
    std::free(name);
  } else {
    out.Text("(unknown type)");
  }
  out.Char('\n');
  try {
    std::rethrow_exception(current);
  } catch (const std::exception& e) {
    out.Text("what: ").Text(e.what()).Char('\n');
  } catch (...) {
  }
}

bool WriteDump(int fd, const ExceptionPointers* pointers, const CivilTime& time) {
  const PreparedPlan* plan = g_plan.load();
  SafeWriter out(fd);
  WriteHeader(out, plan, time);
  uintptr_t pc = 0;
  if (pointers != nullptr) {
    WriteSignal(out, *pointers);
    WriteRegisters(out, pointers->context);
    pc = InstructionPointer(pointers->context);
  } else {
    WriteCurrentException(out);
  }
  WriteBacktrace(out, pc);
  WriteMemoryMap(out);
  return out.Flush();
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
    CivilTime time = LocalTimeFromClock(plan->utc_offset);
    PathBuffer path;
    if (PrepareDumpPath(*plan, time, &path)) {
      int fd = ::open(path.text, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
      if (fd >= 0) {
        ExceptionPointers pointers{signal, info, context};
        bool written = WriteDump(fd, &pointers, time);
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

// The unwinder's first use binds its symbols and reads this program's
// unwind tables; done here so that the signal handler does not.
void PreloadBacktrace() {
  void* frame = nullptr;
  CollectBacktrace(&frame, 1);
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

HRESULT SHGetFolderPathW(uint32_t csidl, uint32_t type, char16_t* path) {
  if (const uint32_t error = GateError("SHGetFolderPathW")) return HresultFromWin32(error);
  if ((csidl & ~kCsidlFlagCreate) != kCsidlLocalAppData || type != kShgfpTypeCurrent) {
    return kInvalidArg;
  }
  std::string folder;
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') {
    folder = state;
  } else {
    // A relative XDG_STATE_HOME is ignored, as the base directory rules say.
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') return HresultFromWin32(kErrorPathNotFound);
    folder = home;
    folder += "/.local/state";
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  std::u16string wide = Utf8ToUtf16(folder);
  if (wide.size() >= kMaxPath) return HresultFromWin32(kErrorInsufficientBuffer);
  if ((csidl & kCsidlFlagCreate) != 0 && !MakeFolders(folder.data(), folder.size())) {
    return HresultFromWin32(errno == EACCES || errno == EROFS || errno == EPERM
                                ? kErrorAccessDenied
                                : kErrorPathNotFound);
  }
  wide.copy(path, wide.size());
  path[wide.size()] = 0;
  return kOk;
}

bool PathAppendW(char16_t* path, const char16_t* more) {
  std::u16string_view head(path);
  std::u16string_view tail(more);
  while (!tail.empty() && (tail.front() == u'/' || tail.front() == u'\\')) tail.remove_prefix(1);
  bool separator = !head.empty() && head.back() != u'/' && !tail.empty();
  size_t length = head.size() + (separator ? 1 : 0) + tail.size();
  if (length >= kMaxPath) {
    SetLastError(kErrorInsufficientBuffer);
    return false;
  }
  char16_t* end = path + head.size();
  if (separator) *end++ = u'/';
  tail.copy(end, tail.size());
  end[tail.size()] = 0;
  return true;
}

bool CreateDirectoryW(const char16_t* path) {
  std::string folder = Utf16ToUtf8(path);
  if (::mkdir(folder.c_str(), 0700) == 0) return true;
  switch (errno) {
    case EEXIST: SetLastError(kErrorAlreadyExists); break;
    case ENOENT:
    case ENOTDIR: SetLastError(kErrorPathNotFound); break;
    case EACCES:
    case EPERM:
    case EROFS: SetLastError(kErrorAccessDenied); break;
    case ENAMETOOLONG: SetLastError(kErrorInsufficientBuffer); break;
    default: SetLastError(kErrorInvalidParameter); break;
  }
  return false;
}

FileHandle CreateFileW(const char16_t* path, uint32_t access, uint32_t disposition,
                       uint32_t attributes) {
  if (access != kGenericWrite || disposition != kCreateAlways ||
      attributes != kFileAttributeNormal) {
    SetLastError(kErrorInvalidParameter);
    return kInvalidFileHandle;
  }
  std::string name = Utf16ToUtf8(path);
  int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    SetLastError(errno == ENOENT || errno == ENOTDIR ? kErrorPathNotFound : kErrorAccessDenied);
    return kInvalidFileHandle;
  }
  return fd;
}

bool CloseHandle(FileHandle handle) {
  if (handle < 0 || ::close(static_cast<int>(handle)) != 0) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  return true;
}

bool DeleteFileW(const char16_t* path) {
  std::string name = Utf16ToUtf8(path);
  if (::unlink(name.c_str()) == 0) return true;
  SetLastError(errno == ENOENT ? kErrorFileNotFound : kErrorAccessDenied);
  return false;
}

void GetLocalTime(SystemTime* time) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  time->wYear = static_cast<uint16_t>(local.tm_year + 1900);
  time->wMonth = static_cast<uint16_t>(local.tm_mon + 1);
  time->wDayOfWeek = static_cast<uint16_t>(local.tm_wday);
  time->wDay = static_cast<uint16_t>(local.tm_mday);
  time->wHour = static_cast<uint16_t>(local.tm_hour);
  time->wMinute = static_cast<uint16_t>(local.tm_min);
  time->wSecond = static_cast<uint16_t>(local.tm_sec);
  time->wMilliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
}

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
  CivilTime time{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                 now.wMilliseconds};
  return WriteDump(static_cast<int>(file), pointers, time);
}

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
