// A test-only program: installs the crash handler as the tool's entry point
// does and then fails the way its first argument asks: "write" through a
// null pointer, "throw" an exception that nobody catches, "abort", or
// "overflow" the stack; "none" ends normally. Further arguments first set
// the display level to "none" ("quiet"), put the output into UTF-16 mode
// ("unicode") or leave a line unfinished ("midline").
#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/console/base_console.h"
#include "framework/process/crash_handler.h"
#include "platform/console.h"

namespace {

class CProbeConsole final : public monctl::CBaseConsole {
 public:
  CProbeConsole() { m_dwOptions = monctl::MWO_PREFIX; }
  std::u16string GetDescription() override { return u"Fails on purpose."; }
  std::u16string GetSyntax() override { return u"write|throw|abort|overflow|none [quiet] [unicode] [midline]"; }
};

namespace platform = monctl::platform;

CProbeConsole g_console;
volatile bool g_bDeeper = true;

}  // namespace

// External names, so that a backtrace can show them. The undefined
// behaviour checker of the sanitizer build would stop the null write
// before it faults.
[[gnu::noinline, gnu::no_sanitize("null")]] void ProbeWriteThroughNull() {
  volatile int* volatile target = nullptr;
  *target = 1;
}

[[gnu::noinline]] void ProbeThrowUncaught() { throw std::runtime_error("probe exception 42"); }

[[gnu::noinline]] int ProbeRecurse(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  return g_bDeeper ? ProbeRecurse(depth + 1) + frame[0] : frame[0];
}

int main(int argc, char** argv) {
  monctl::InstallCrashHandler();
  monctl::SetCrashReportWriter(&g_console);
  const std::string mode = argc > 1 ? argv[1] : "";
  for (const std::string& flag : std::vector<std::string>(argv + std::min(argc, 2), argv + argc)) {
    if (flag == "quiet") g_console.m_dwDisplayLevel = monctl::kDisplayNone;
    if (flag == "unicode") platform::SetTranslationMode(platform::Stream::kOutput, platform::kModeUtf16);
    if (flag == "midline") g_console.Write(u"Working");
  }
  if (mode == "write") ProbeWriteThroughNull();
  if (mode == "throw") ProbeThrowUncaught();
  if (mode == "abort") std::abort();
  if (mode == "overflow") return ProbeRecurse(0);
  return mode == "none" ? 0 : 2;
}
