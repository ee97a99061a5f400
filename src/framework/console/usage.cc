// The usage screen, the parameter error sections and the banner.
#include "framework/console/base_console.h"
#include "framework/console/version_info.h"
#include "platform/path.h"
#include "platform/resources.h"

namespace monctl {
namespace {

// The executable's file name without folder and last extension, in lower case.
bool GetProgramName(char16_t (&buffer)[platform::kMaxPath]) {
  platform::PathStripPathW(buffer);
  platform::PathRemoveExtensionW(buffer);
  platform::StringToLower(buffer, platform::kMaxPath);
  return true;
}

}  // namespace

void CBaseConsole::ShowUsage() {
  ResetLineWrites();
  if (m_bHelp) {
    char16_t name[platform::kMaxPath];
    if (platform::GetModuleFileNameW(name, platform::kMaxPath) != 0) {
      GetProgramName(name);
      Write(u"Usage:\n\n  ");
      WriteText(name);
      Write(u" ");
      WriteText(GetSyntax());
    }
  }
  WriteSeparator();
  if (!m_strInvalidParameters.empty()) {
    Write(u"Invalid parameter value(s):\n\n");
    WriteText(m_strInvalidParameters);
  }
  WriteSeparator();
  if (!m_strUnknownParameters.empty()) {
    Write(u"Unknown parameter(s):\n\n");
    WriteText(m_strUnknownParameters);
  }
  WriteSeparator();
  if (!m_strError.empty()) WriteErrorCodeText(m_strError, static_cast<int32_t>(m_dwError));
  WriteSeparator();
}

void CBaseConsole::ShowBanner() {
  CConsoleVersionInfo version;
  std::u16string line;
  if (version.GetStringValue(u"FileDescription", &line)) {
    version.AppendVersion(&line);
    WriteText(line);
    NewLine();
  }
  WriteText(GetDescription());
  NewLine();
  if (version.GetStringValue(u"LegalCopyright", &line)) {
    WriteText(line);
    NewLine();
  }
  NewLine();
}

}  // namespace monctl
