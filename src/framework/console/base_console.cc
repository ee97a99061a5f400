#include "framework/console/base_console.h"

#include <vector>

#include "platform/console.h"
#include "platform/text.h"

namespace monctl {

const KEYWORD kFrameworkOptions[3] = {
    {u"display", 1, 0},
    {u"help", 2, 0},
    {u"?", 2, 0},
};

const KEYWORD kDisplayLevels[4] = {
    {u"none", kDisplayNone, 0},
    {u"normal", kDisplayNormal, 0},
    {u"progress", kDisplayProgress, 0},
    {u"verbose", kDisplayVerbose, 0},
};

const KEYWORD kTranslationModes[3] = {
    {u"text", platform::kModeText, 0},
    {u"unicode", platform::kModeUtf16, 0},
    {u"utf8", platform::kModeUtf8, 0},
};

namespace {

constexpr size_t kMaxValues = 32;
constexpr uint32_t kActionDisplay = 1;

// Splits a ':' value list in place. Returns false for an unclosed quote or
// more than 32 values.
bool SplitValues(char16_t* list, std::vector<char16_t*>* values) {
  char16_t* start = list;
  for (;;) {
    if (values->size() == kMaxValues) return false;
    char16_t* search = start;
    if (*start == u'"') {
      ++start;
      char16_t* close = start;
      while (*close != 0 && *close != u'"') ++close;
      if (*close == 0) return false;
      *close = 0;
      search = close + 1;
    }
    values->push_back(start);
    char16_t* separator = search;
    while (*separator != 0 && *separator != u',' && *separator != u';' && *separator != u'=') {
      ++separator;
    }
    if (*separator == 0) return true;
    *separator = 0;
    start = separator + 1;
  }
}

}  // namespace

CBaseConsole::CBaseConsole() {
  m_bConsoleOutput = platform::IsConsole(platform::Stream::kOutput);
  if (m_bConsoleOutput) platform::SetTranslationMode(platform::Stream::kOutput, platform::kModeUtf16);
  platform::SetTranslationMode(platform::Stream::kError, platform::kModeUtf16);
}

CBaseConsole::~CBaseConsole() = default;

void CBaseConsole::OutputText(const std::u16string& text) {
  if (!m_strProgress.empty()) WriteProgress(u"\n");
  if (DisplayLevel() < kDisplayNormal) return;
  WriteDirect(text);
}

void CBaseConsole::WriteDirect(const std::u16string& text) {
  platform::WriteConsoleText(platform::Stream::kOutput, text);
  ++m_nLineWrites;
}

bool CBaseConsole::IsUsageRequired() {
  return m_bHelp || !m_strInvalidParameters.empty() || !m_strUnknownParameters.empty() ||
         !m_strError.empty();
}

std::u16string CBaseConsole::GetAdditionalText() { return {}; }

void CBaseConsole::OnReserved() {}

int32_t CBaseConsole::GetReservedCode() { return -2; }

void CBaseConsole::ReportParameter(const char16_t* arg, int32_t code) {
  if (code == kParameterInvalid) {
    m_strInvalidParameters += u'\t';
    m_strInvalidParameters += arg;
    if (!m_strExpected.empty()) m_strInvalidParameters += Format(u" (expected: %s)", m_strExpected);
    m_strInvalidParameters += u'\n';
    m_strExpected.clear();
  } else if (code == kParameterUnknown || code == kParameterStray) {
    m_strUnknownParameters += u'\t';
    m_strUnknownParameters += arg;
    m_strUnknownParameters += u'\n';
    m_bHelp = true;
  }
}

int32_t CBaseConsole::OnParameter(const char16_t* name, char16_t** values, uint32_t count) {
  uint32_t action = 0;
  int32_t index = FindKeyword(name, kFrameworkOptions, &action);
  if (index < 0) return kParameterUnknown;
  if (action == kActionDisplay) return ParseDisplayParameter(values, count);
  m_bHelp = true;
  return index;
}

bool CBaseConsole::ValidateParameters() { return !m_bHelp; }

void CBaseConsole::ParseCommandLine(int argc, char16_t** argv) {
  int pending = 0;  // index of the option whose values follow it, or 0
  uint32_t pending_count = 0;

  auto finish_pending = [&] {
    if (pending == 0) return;
    int32_t code = OnParameter(argv[pending] + 1, argv + pending + 1, pending_count);
    ReportParameter(argv[pending], code);
    pending = 0;
    pending_count = 0;
  };

  for (int i = 1; i < argc; ++i) {
    char16_t* arg = argv[i];
    bool option = arg[0] == u'/' || (arg[0] == u'-' && !IsAsciiDigit(arg[1]));
    if (!option) {
      if (pending != 0) ++pending_count;
      else ReportParameter(arg, kParameterStray);
      continue;
    }

    finish_pending();
    char16_t* list = nullptr;
    for (char16_t* p = arg + 1; *p != 0; ++p) {
      if (*p == u':') {
        *p = 0;
        list = p + 1;
        break;
      }
    }
    if (arg[1] == 0) {
      ReportParameter(arg, kParameterUnknown);
      continue;
    }
    if (list == nullptr) {
      pending = i;
      continue;
    }

    std::vector<char16_t*> values;
    int32_t code = kParameterInvalid;
    if (SplitValues(list, &values)) {
      code = OnParameter(arg + 1, values.data(), static_cast<uint32_t>(values.size()));
    }
    ReportParameter(arg, code);
  }
  finish_pending();

  if (!ValidateParameters()) m_bHelp = true;
}

void CBaseConsole::SetExpectedValues(std::span<const KEYWORD> table, uint32_t mask) {
  m_strExpected.clear();
  for (const KEYWORD& entry : table) {
    if (mask != 0 && (entry.dwValue & ~mask) != 0) continue;
    if (!m_strExpected.empty()) m_strExpected += u',';
    m_strExpected += entry.pszName;
  }
}

void CBaseConsole::SetErrorText(const char16_t* text) {
  m_strError = text != nullptr ? text : u"";
  m_dwError = 0;
}

int32_t CBaseConsole::ParseDisplayParameter(char16_t** values, uint32_t count) {
  if (count > 2) return kParameterInvalid;
  if (count >= 1 && values[0][0] != 0) {
    uint32_t level = 0;
    int32_t index = FindKeyword(values[0], kDisplayLevels, &level);
    bool allowed = m_dwDisplayLevels == 0 || (level & ~m_dwDisplayLevels) == 0;
    if (index < 0 || !allowed) {
      SetExpectedValues(kDisplayLevels, m_dwDisplayLevels);
      return kParameterInvalid;
    }
    m_dwDisplayLevel = level;
  }
  if (count == 2 && values[1][0] != 0) {
    uint32_t mode = 0;
    if (FindKeyword(values[1], kTranslationModes, &mode) >= 0) {
      platform::SetTranslationMode(platform::Stream::kOutput, mode);
      return 0;
    }
    SetExpectedValues(kTranslationModes, 0);
    return kParameterInvalid;
  }
  return 0;
}

void CBaseConsole::WriteSeparator() {
  if (m_nLineWrites == 0) return;
  if (DisplayLevel() >= kDisplayNormal) platform::WriteConsoleText(platform::Stream::kOutput, u"\n");
  m_nLineWrites = 0;
}

}  // namespace monctl
