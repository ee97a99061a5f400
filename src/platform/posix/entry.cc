#include "platform/posix/entry.h"

#include <csignal>
#include <string>
#include <vector>

#include "platform/text.h"

namespace monctl::platform {
namespace {

bool IgnoreBrokenPipe() {
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  return ::sigaction(SIGPIPE, &action, nullptr) == 0;
}

}  // namespace

int RunWideMain(int argc, char** argv, int (*wide_main)(int, char16_t**)) {
  // Output whose reader has gone fails its writes, which are not reported,
  // as on Windows; SIGPIPE would end the run between two of its steps.
  // sigaction fails only for an invalid signal; should it fail all the
  // same, the default stays.
  [[maybe_unused]] const bool ignored = IgnoreBrokenPipe();
  std::vector<std::u16string> texts;
  texts.reserve(static_cast<size_t>(argc));
  for (int i = 0; i < argc; ++i) texts.push_back(Utf8ToUtf16(argv[i]));
  std::vector<char16_t*> wide;
  for (std::u16string& text : texts) wide.push_back(text.data());
  wide.push_back(nullptr);
  return wide_main(argc, wide.data());
}

}  // namespace monctl::platform
