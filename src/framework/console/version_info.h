// Reader of a program file's version resource.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/resources.h"

namespace monctl {

class CVersionInfo : public platform::FixedFileInfo {
 public:
  CVersionInfo();
  virtual ~CVersionInfo();
  CVersionInfo(const CVersionInfo&) = delete;
  CVersionInfo& operator=(const CVersionInfo&) = delete;

  // Reads the version resource of the file at `path`.
  bool Load(const char16_t* path);
  // Reads the version resource of the running program.
  bool LoadModule();
  // Finds string `name` of the first translation; `value` points into the
  // version block.
  bool QueryStringValue(const char16_t* name, const char16_t** value, uint32_t* length) const;
  // The string's value, with leading and trailing white space removed.
  bool GetStringValue(const char16_t* name, std::u16string* text) const;

 private:
  void Clear();

  std::unique_ptr<uint8_t[]> m_pBlock;
  const uint16_t* m_pTranslations = nullptr;
  uint32_t m_nTranslations = 0;
};

class CConsoleVersionInfo : public CVersionInfo {
 public:
  CConsoleVersionInfo();
  // Appends " - Version a.b (build c)", " [BETA]" for a pre-release and
  // ", 64-bit." to `text`.
  bool AppendVersion(std::u16string* text) const;
};

}  // namespace monctl
