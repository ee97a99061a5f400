// The path of the console's progress line for the length of a scope.
#pragma once

#include <string>

namespace monctl {

class CBaseConsole;

// Sets the progress path of `console` and clears it again when it goes
// out of scope.
class CConsoleProgressPath {
 public:
  CConsoleProgressPath(CBaseConsole* console, const std::u16string& path);
  virtual ~CConsoleProgressPath();
  CConsoleProgressPath(const CConsoleProgressPath&) = delete;
  CConsoleProgressPath& operator=(const CConsoleProgressPath&) = delete;

 private:
  CBaseConsole* m_pConsole;
};

}  // namespace monctl
