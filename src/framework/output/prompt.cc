// Questions answered by a single key press.
#include "framework/console/base_console.h"
#include "platform/keys.h"
#include "platform/text.h"

namespace monctl {

const KEYWORD kAnswers[7] = {
    {u"Ok", MWA_OK, 1},       {u"Yes", MWA_YES, 6},      {u"No", MWA_NO, 7},
    {u"Abort", MWA_ABORT, 3}, {u"Retry", MWA_RETRY, 4},  {u"Ignore", MWA_IGNORE, 5},
    {u"Cancel", MWA_CANCEL, 2},
};

int32_t CBaseConsole::PromptAnswer(uint32_t flags) {
  WriteAnswerChoices(flags);
  return ReadAnswer(flags);
}

void CBaseConsole::WriteAnswerChoices(uint32_t flags) {
  if (DisplayLevel() < kDisplayNormal) return;
  WriteDirect(u" (");
  bool first = true;
  for (const KEYWORD& answer : kAnswers) {
    if ((flags & answer.dwValue) == 0) continue;
    if (!first) WriteDirect(u"/");
    WriteDirect(answer.pszName);
    first = false;
  }
  WriteDirect(u"): ");
}

int32_t CBaseConsole::ReadAnswer(uint32_t flags) {
  // Without an allowed answer no key could end the wait.
  if ((flags & (MWA_OK | MWA_CANCEL | MWA_ABORT | MWA_RETRY | MWA_IGNORE | MWA_YES | MWA_NO)) == 0) {
    return 0;
  }
  // Keys are read one by one without echo until the answer is known.
  platform::KeyInputMode key_mode;
  for (;;) {
    int key = platform::ReadWideKey();
    if (key < 0) return 0;  // no console input left
    for (const KEYWORD& answer : kAnswers) {
      if ((flags & answer.dwValue) == 0 || !IsAnswerKey(answer.pszName, static_cast<char16_t>(key))) {
        continue;
      }
      if (DisplayLevel() >= kDisplayNormal) {
        WriteDirect(Format(u"%c\n", static_cast<char16_t>(key)));
      }
      m_bLineStart = true;
      return static_cast<int32_t>(answer.dwData);
    }
  }
}

bool CBaseConsole::IsAnswerKey(const char16_t* name, char16_t key) {
  for (const char16_t* p = name; *p != 0; ++p) {
    if (IsAsciiUpper(*p)) return AsciiToUpper(key) == *p;
  }
  return false;
}

}  // namespace monctl
