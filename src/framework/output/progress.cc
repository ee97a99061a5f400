// The progress line: an item path, shortened to a fixed width on a console,
// and a status text, rewritten in place until a final text ends the line.
#include "framework/output/progress.h"

#include <algorithm>

#include "framework/console/base_console.h"
#include "platform/console.h"
#include "platform/path.h"
#include "platform/types.h"

namespace monctl {
namespace {

// "\r", 78 spaces, "\r": wipes an 80-column line.
const std::u16string& EraseLine() {
  static const std::u16string kErase = u"\r" + std::u16string(78, u' ') + u"\r";
  return kErase;
}

}  // namespace

void CBaseConsole::WriteProgressText(const std::u16string& text) {
  std::u16string line;
  line.reserve(1024);
  if (!m_strProgress.empty()) {
    if (m_bConsoleOutput) {
      line += u'\r';
      char16_t compact[platform::kMaxPath];
      // The shortened path is at most as long as the buffer it goes into.
      uint32_t width = std::min(m_nProgressWidth, platform::kMaxPath);
      if (platform::PathCompactPathExW(compact, m_strProgress.c_str(), width, 0)) {
        line += compact;
      } else {
        line += m_strProgress;
      }
    } else {
      line += m_strProgress;
    }
    line += u": ";
  }
  line += text;

  if (!EndsWithLineEnd(line)) {
    if (DisplayLevel() >= kDisplayProgress && m_bConsoleOutput) WriteDirect(line);
    return;
  }
  if (DisplayLevel() >= kDisplayProgress) {
    if (m_bConsoleOutput) WriteDirect(EraseLine());
    WriteDirect(line);
  }
  m_strProgress.clear();
}

void CBaseConsole::ClearProgressLine() {
  if (DisplayLevel() >= kDisplayProgress && m_bConsoleOutput) WriteDirect(EraseLine());
}

CConsoleProgressPath::CConsoleProgressPath(CBaseConsole* console, const std::u16string& path)
    : m_pConsole(console) {
  m_pConsole->m_strProgress = path;
}

CConsoleProgressPath::~CConsoleProgressPath() { m_pConsole->ClearProgress(); }

}  // namespace monctl
