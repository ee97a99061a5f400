#include "platform/posix/entry.h"

#include <string>
#include <vector>

#include "platform/text.h"

namespace monctl::platform {

int RunWideMain(int argc, char** argv, int (*wide_main)(int, char16_t**)) {
  std::vector<std::u16string> texts;
  texts.reserve(static_cast<size_t>(argc));
  for (int i = 0; i < argc; ++i) texts.push_back(Utf8ToUtf16(argv[i]));
  std::vector<char16_t*> wide;
  for (std::u16string& text : texts) wide.push_back(text.data());
  wide.push_back(nullptr);
  return wide_main(argc, wide.data());
}

}  // namespace monctl::platform
