#include "framework/process/crash_handler.h"

#include <cstdlib>
#include <string>
#include <string_view>

#include "framework/console/base_console.h"
#include "framework/console/version_info.h"
#include "framework/output/format.h"
#include "framework/output/message_writer.h"
#include "platform/files.h"
#include "platform/path.h"
#include "platform/resources.h"
#include "platform/system.h"
#include "platform/text.h"

namespace monctl {
namespace {

constexpr uint32_t kCrashReportString = 27009;
constexpr uint32_t kNoCrashDumpString = 27010;

using ReportRoutine = void (*)(const char16_t* path);

// Set once by the entry point.
ReportRoutine g_pReport = nullptr;
CMessageWriter* g_pWriter = nullptr;

// "CompanyName" or "ProductName" of the first translation, cut to
// MAX_PATH characters, with the spaces at either end removed (only the
// space character, other white space stays).
bool GetFolderName(const CVersionInfo& version, const char16_t* name, std::u16string* text) {
  const char16_t* value = nullptr;
  uint32_t length = 0;
  if (!version.QueryStringValue(name, &value, &length)) return false;
  std::u16string_view view(value, TextLength(value));
  if (view.size() > platform::kMaxPath - 1) view = view.substr(0, platform::kMaxPath - 1);
  while (!view.empty() && view.back() == u' ') view.remove_suffix(1);
  while (!view.empty() && view.front() == u' ') view.remove_prefix(1);
  text->assign(view);
  return true;
}

// The two folder levels below the local application data folder, from the
// running executable's version resource.
bool GetDumpFolderNames(const CVersionInfo& version, std::u16string* company, std::u16string* product) {
  return GetFolderName(version, u"CompanyName", company) &&
         GetFolderName(version, u"ProductName", product);
}

// "_a.b.c.d" from the file version of a version resource that was read.
std::u16string VersionPart(const CVersionInfo& version) {
  return Format(u"_%hu.%hu.%hu.%hu", static_cast<uint16_t>(version.dwFileVersionMS >> 16),
                static_cast<uint16_t>(version.dwFileVersionMS & 0xFFFF),
                static_cast<uint16_t>(version.dwFileVersionLS >> 16),
                static_cast<uint16_t>(version.dwFileVersionLS & 0xFFFF));
}

std::u16string TimePart(const platform::SystemTime& time) {
  char16_t text[platform::kDumpTimePartSize];
  return std::u16string(text, platform::FormatDumpTimePart(time, text));
}

// Collects what a writer composes instead of writing it.
class CCaptureWriter final : public CMessageWriter {
 public:
  void OutputText(const std::u16string& text) override { m_strText += text; }
  std::u16string m_strText;
};

// Report `id` as `writer` would print it at the start of a line, cut where
// the dump's path goes.
void ComposeReport(CMessageWriter* writer, uint32_t id, std::u16string* head, std::u16string* tail) {
  // A private-use character that no report text contains.
  constexpr std::u16string_view kPathMark = u"\uE000";
  CCaptureWriter capture;
  capture.m_dwMinKind = writer->m_dwMinKind;
  capture.m_dwKindMask = writer->m_dwKindMask;
  capture.m_nIndent = writer->m_nIndent;
  // A time stamp taken now would be wrong at the time of the crash.
  capture.m_dwOptions = writer->m_dwOptions & ~MWO_TIMESTAMP;
  capture.WriteResourceError(id, std::u16string(kPathMark));
  size_t mark = capture.m_strText.find(kPathMark);
  if (mark == std::u16string::npos) {
    *head = capture.m_strText;
    tail->clear();
    return;
  }
  *head = capture.m_strText.substr(0, mark);
  *tail = capture.m_strText.substr(mark + kPathMark.size());
}

// The plan's folders and file name prefix, read once when the handler is
// installed. An item that cannot be had stays empty; without a folder no
// dump is made.
platform::CrashDumpPlan g_location;

platform::CrashDumpPlan ReadDumpLocation() {
  platform::CrashDumpPlan plan;
  char16_t module[platform::kMaxPath];
  uint32_t length = platform::GetModuleFileNameW(module, platform::kMaxPath);
  char16_t folder[platform::kMaxPath];
  CVersionInfo version;
  if (length != 0 && length < platform::kMaxPath && version.LoadModule() &&
      GetDumpFolderNames(version, &plan.company, &plan.product) &&
      platform::Succeeded(platform::SHGetFolderPathW(platform::kCsidlLocalAppData,
                                                     platform::kShgfpTypeCurrent, folder))) {
    plan.folder = folder;
    platform::PathStripPathW(module);
    plan.file_prefix = module;
    plan.file_prefix += VersionPart(version);
  }
  return plan;
}

// Hands the platform what a crash in a signal handler cannot compute: the
// location and the report as the writer would print it.
void PublishCrashDumpPlan() {
  platform::CrashDumpPlan plan = g_location;
  if (g_pWriter != nullptr) {
    ComposeReport(g_pWriter, kCrashReportString, &plan.report_head, &plan.report_tail);
    std::u16string none;  // the report has no path
    ComposeReport(g_pWriter, kNoCrashDumpString, &plan.report_no_dump, &none);
    if (auto* console = dynamic_cast<CBaseConsole*>(g_pWriter)) {
      plan.display_level = &console->m_dwDisplayLevel;
    }
  }
  plan.report = g_pReport != nullptr;
  platform::SetCrashDumpPlan(plan);
}

}  // namespace

// Only a platform that uses the plan gets one.
void InstallCrashHandler() {
  platform::SetUnhandledExceptionFilter(&CrashFilter);
  if (!platform::NeedsCrashDumpPlan()) return;
  g_location = ReadDumpLocation();
  PublishCrashDumpPlan();
}

void SetCrashReportWriter(CMessageWriter* writer) {
  g_pWriter = writer;
  g_pReport = &ReportCrash;
  if (platform::NeedsCrashDumpPlan()) PublishCrashDumpPlan();
}

int32_t CrashFilter(platform::ExceptionPointers* pointers) {
  char16_t module[platform::kMaxPath];
  uint32_t length = platform::GetModuleFileNameW(module, platform::kMaxPath);
  // A cut path would name the wrong file.
  if (length == 0 || length >= platform::kMaxPath) return platform::kExceptionContinueSearch;

  char16_t path[platform::kMaxPath];
  if (!GetCrashDumpPath(path, module)) return platform::kExceptionContinueSearch;

  platform::UniqueFile file(platform::CreateFileW(
      path, platform::kGenericWrite, platform::kCreateAlways, platform::kFileAttributeNormal));
  if (!file) return platform::kExceptionContinueSearch;

  bool written = platform::WriteCrashDump(file.get(), pointers);
  file.reset();
  if (!written) {
    // No partial dump stays behind.
    platform::DeleteFileW(path);
    return platform::kExceptionContinueSearch;
  }
  if (g_pReport != nullptr) g_pReport(path);
  return platform::kExceptionExecuteHandler;
}

bool GetCrashDumpPath(char16_t* path, char16_t* module_path) {
  platform::PathStripPathW(module_path);
  if (!GetAppDataFolder(path)) return false;
  if (!platform::PathAppendW(path, module_path)) return false;

  platform::SystemTime now;
  platform::GetLocalTime(&now);
  CVersionInfo version;
  std::u16string name_tail = (version.LoadModule() ? VersionPart(version) : u"") + TimePart(now);
  // The whole path must fit in MAX_PATH characters; a longer one gets no
  // dump rather than a cut name.
  size_t length = TextLength(path);
  if (length + name_tail.size() >= platform::kMaxPath) {
    platform::SetLastError(platform::kErrorInsufficientBuffer);
    return false;
  }
  name_tail.copy(path + length, name_tail.size());
  path[length + name_tail.size()] = 0;
  return true;
}

bool GetAppDataFolder(char16_t* path) {
  std::u16string company;
  std::u16string product;
  CVersionInfo version;
  if (!version.LoadModule() || !GetDumpFolderNames(version, &company, &product)) return false;

  if (platform::Failed(platform::SHGetFolderPathW(
          platform::kCsidlLocalAppData | platform::kCsidlFlagCreate, platform::kShgfpTypeCurrent,
          path))) {
    platform::SetLastError(platform::kErrorPathNotFound);
    return false;
  }
  if (!company.empty()) {
    if (!platform::PathAppendW(path, company.c_str())) return false;
    if (!platform::CreateDirectoryW(path) &&
        platform::GetLastError() != platform::kErrorAlreadyExists) {
      return false;
    }
  }
  if (!platform::PathAppendW(path, product.c_str())) return false;
  return platform::CreateDirectoryW(path) ||
         platform::GetLastError() == platform::kErrorAlreadyExists;
}

void ReportCrash(const char16_t* path) {
  if (g_pWriter != nullptr) {
    // On a line of its own.
    if (!g_pWriter->m_bLineStart) g_pWriter->NewLine();
    g_pWriter->WriteResourceError(kCrashReportString, path);
  }
  std::exit(-1);
}

}  // namespace monctl
