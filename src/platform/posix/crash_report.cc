// The content of a native crash dump, a text file: the signal and the
// fault address, the registers, the faulting thread's stack (or, for an
// exception, its type and message and the stack where it was thrown) and
// the memory map.
#include "platform/posix/crash_report.h"

#include <cxxabi.h>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>
#include <unwind.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <typeinfo>

#include "platform/posix/signal_safe.h"

namespace monctl::platform {
namespace {

constexpr int kBacktraceDepth = 64;

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

void WriteHeader(SafeWriter& out, const char* program, const SystemTime& time) {
  out.Text("Crash dump\n");
  out.Text("program: ").Text(program).Char('\n');
  out.Text("process: ").Dec(::getpid()).Text(", thread ").Dec(::syscall(SYS_gettid)).Char('\n');
  out.Text("local time: ").Dec(time.wYear, 4, ' ').Char('-').Dec(time.wMonth, 2).Char('-');
  out.Dec(time.wDay, 2).Char(' ').Dec(time.wHour, 2).Char(':').Dec(time.wMinute, 2).Char(':');
  out.Dec(time.wSecond, 2).Char('.').Dec(time.wMilliseconds, 3).Char('\n');
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

}  // namespace

bool WriteDump(int fd, const ExceptionPointers* pointers, const SystemTime& time, const char* program) {
  SafeWriter out(fd);
  WriteHeader(out, program, time);
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

void PreloadBacktrace() {
  void* frame = nullptr;
  CollectBacktrace(&frame, 1);
}

}  // namespace monctl::platform
