#include "framework/console/version_info.h"

#include <new>

#include "framework/output/format.h"
#include "platform/system.h"
#include "platform/text.h"

namespace monctl {

CVersionInfo::CVersionInfo() : platform::FixedFileInfo{} {}

CVersionInfo::~CVersionInfo() = default;

void CVersionInfo::Clear() {
  static_cast<platform::FixedFileInfo&>(*this) = {};
  m_pBlock.reset();
  m_pTranslations = nullptr;
  m_nTranslations = 0;
}

bool CVersionInfo::Load(const char16_t* path) {
  Clear();
  uint32_t size = platform::GetFileVersionInfoSizeW(path);
  if (size == 0) return false;
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[size]);
  if (!block) {
    platform::SetLastError(platform::kErrorOutOfMemory);
    return false;
  }
  if (!platform::GetFileVersionInfoW(path, size, block.get())) return false;

  void* value = nullptr;
  uint32_t length = 0;
  if (!platform::VerQueryValueW(block.get(), u"\\", &value, &length)) return false;
  const auto* fixed = static_cast<const platform::FixedFileInfo*>(value);
  if (fixed->dwSignature != platform::kFixedFileInfoSignature) {
    platform::SetLastError(platform::kErrorInvalidData);
    return false;
  }
  static_cast<platform::FixedFileInfo&>(*this) = *fixed;

  if (!platform::VerQueryValueW(block.get(), u"\\VarFileInfo\\Translation", &value, &length)) {
    return false;
  }
  m_pBlock = std::move(block);
  m_pTranslations = static_cast<const uint16_t*>(value);
  m_nTranslations = length / 4;
  return true;
}

bool CVersionInfo::LoadModule() {
  char16_t path[platform::kMaxPath];
  if (platform::GetModuleFileNameW(path, platform::kMaxPath) == 0) return false;
  return Load(path);
}

bool CVersionInfo::QueryStringValue(const char16_t* name, const char16_t** value,
                                    uint32_t* length) const {
  if (m_nTranslations == 0) {
    platform::SetLastError(platform::kErrorNoMoreItems);
    return false;
  }
  std::u16string key = Format(u"\\StringFileInfo\\%04x%04x\\%s", m_pTranslations[0],
                              m_pTranslations[1], name);
  void* found = nullptr;
  if (!platform::VerQueryValueW(m_pBlock.get(), key.c_str(), &found, length)) return false;
  *value = static_cast<const char16_t*>(found);
  return true;
}

bool CVersionInfo::GetStringValue(const char16_t* name, std::u16string* text) const {
  if (m_pTranslations == nullptr) {
    platform::SetLastError(platform::kErrorInvalidData);
    return false;
  }
  const char16_t* value = nullptr;
  uint32_t length = 0;
  if (!QueryStringValue(name, &value, &length)) return false;
  std::u16string_view view(value, TextLength(value));
  while (!view.empty() && IsSpace(view.back())) view.remove_suffix(1);
  while (!view.empty() && IsSpace(view.front())) view.remove_prefix(1);
  text->assign(view);
  return true;
}

CConsoleVersionInfo::CConsoleVersionInfo() { LoadModule(); }

bool CConsoleVersionInfo::AppendVersion(std::u16string* text) const {
  *text += u" - ";
  *text += Format(u"Version %hu.%hu (build %hu)", static_cast<uint16_t>(dwFileVersionMS >> 16),
                  static_cast<uint16_t>(dwFileVersionMS & 0xFFFF),
                  static_cast<uint16_t>(dwFileVersionLS >> 16));
  if ((dwFileFlags & platform::kVsFfPrerelease) != 0) *text += u" [BETA]";
  *text += u", 64-bit.";
  return true;
}

}  // namespace monctl
