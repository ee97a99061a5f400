// The program's own file and resources in the native build: the
// executable's real path, and the version resource and string table
// embedded at build time. The values are the ones the Windows build
// compiles into its resource script; they are served through the same
// calls, with the same keys, so that the version reader works unchanged.
#include "platform/resources.h"

#include <limits.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/resources.h"
#include "platform/system.h"
#include "platform/text.h"
#include "version_data.h"

namespace monctl::platform {
namespace {

constexpr uint16_t kLanguage = 0x0409;  // English (United States)
constexpr uint16_t kCodePage = 1200;    // UTF-16

struct VersionString {
  const char16_t* name;
  const char16_t* value;
};

#define MONCTL_WIDE2(x) u##x
#define MONCTL_WIDE(x) MONCTL_WIDE2(x)
#define MONCTL_VERSION_WIDE                                                                     \
  MONCTL_WIDE(MONCTL_VERSION_TEXT)

constexpr VersionString kStrings[] = {
    {u"CompanyName", MONCTL_WIDE(MONCTL_COMPANY_NAME)},
    {u"FileDescription", MONCTL_WIDE(MONCTL_FILE_DESCRIPTION)},
    {u"FileVersion", MONCTL_VERSION_WIDE},
    {u"InternalName", u"monctl"},
    {u"LegalCopyright", MONCTL_WIDE(MONCTL_LEGAL_COPYRIGHT)},
    {u"OriginalFilename", MONCTL_WIDE(MONCTL_ORIGINAL_FILENAME)},
    {u"ProductName", MONCTL_WIDE(MONCTL_PRODUCT_NAME)},
    {u"ProductVersion", MONCTL_VERSION_WIDE},
};

// Layout of the block handed out by GetFileVersionInfo: the fixed part, the
// translation, then each string as name and value, zero-terminated.
struct BlockHeader {
  uint32_t magic;
  FixedFileInfo fixed;
  uint16_t translation[2];
};
constexpr uint32_t kBlockMagic = 0x4256434D;  // "MCVB"

const std::vector<uint8_t>& Block() {
  static const std::vector<uint8_t> block = [] {
    BlockHeader header{};
    header.magic = kBlockMagic;
    header.fixed.dwSignature = kFixedFileInfoSignature;
    header.fixed.dwStrucVersion = 0x00010000;
    header.fixed.dwFileVersionMS = (MONCTL_VERSION_MAJOR << 16) | MONCTL_VERSION_MINOR;
    header.fixed.dwFileVersionLS = (MONCTL_VERSION_PATCH << 16) | MONCTL_VERSION_TWEAK;
    header.fixed.dwProductVersionMS = header.fixed.dwFileVersionMS;
    header.fixed.dwProductVersionLS = header.fixed.dwFileVersionLS;
    header.fixed.dwFileFlagsMask = 0x3F;
    header.fixed.dwFileFlags = MONCTL_PRERELEASE ? kVsFfPrerelease : 0;
    header.fixed.dwFileOS = 0x40004;  // VOS_NT_WINDOWS32
    header.fixed.dwFileType = 1;      // VFT_APP
    header.translation[0] = kLanguage;
    header.translation[1] = kCodePage;
    std::vector<uint8_t> bytes(sizeof(header));
    std::memcpy(bytes.data(), &header, sizeof(header));
    for (const VersionString& s : kStrings) {
      for (const char16_t* text : {s.name, s.value}) {
        const auto* begin = reinterpret_cast<const uint8_t*>(text);
        bytes.insert(bytes.end(), begin, begin + (TextLength(text) + 1) * sizeof(char16_t));
      }
    }
    return bytes;
  }();
  return block;
}

bool IsOwnExecutable(const char16_t* path) {
  char16_t own[kMaxPath];
  uint32_t n = platform::GetModuleFileNameW(own, kMaxPath);
  return n != 0 && n < kMaxPath && std::u16string_view(path) == std::u16string_view(own, n);
}

}  // namespace

namespace posix {

uint32_t GetModuleFileNameW(char16_t* buffer, uint32_t size) {
  if (size == 0) {
    SetLastError(kErrorInsufficientBuffer);
    return 0;
  }
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0) {
    SetLastError(kErrorFileNotFound);
    return 0;
  }
  std::u16string wide = Utf8ToUtf16(std::string_view(path, static_cast<size_t>(n)));
  if (wide.size() >= size) {
    // As on Windows: cut to the buffer, terminated, with the size returned.
    wide.copy(buffer, size - 1);
    buffer[size - 1] = 0;
    SetLastError(kErrorInsufficientBuffer);
    return size;
  }
  wide.copy(buffer, wide.size());
  buffer[wide.size()] = 0;
  return static_cast<uint32_t>(wide.size());
}

uint32_t GetFileVersionInfoSizeW(const char16_t* path) {
  if (path == nullptr || !IsOwnExecutable(path)) {
    SetLastError(kErrorResourceTypeNotFound);
    return 0;
  }
  return static_cast<uint32_t>(Block().size());
}

bool GetFileVersionInfoW(const char16_t* path, uint32_t size, void* block) {
  if (path == nullptr || !IsOwnExecutable(path)) {
    SetLastError(kErrorResourceTypeNotFound);
    return false;
  }
  if (block == nullptr || size < Block().size()) {
    SetLastError(kErrorInsufficientBuffer);
    return false;
  }
  std::memcpy(block, Block().data(), Block().size());
  return true;
}

bool VerQueryValueW(const void* block, const char16_t* sub_block, void** value, uint32_t* length) {
  const auto* bytes = static_cast<const uint8_t*>(block);
  BlockHeader header;
  if (bytes == nullptr || sub_block == nullptr) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  std::memcpy(&header, bytes, sizeof(header));
  if (header.magic != kBlockMagic) {
    SetLastError(kErrorInvalidData);
    return false;
  }
  std::u16string_view key(sub_block);
  if (key == u"\\" || key.empty()) {
    *value = const_cast<uint8_t*>(bytes + offsetof(BlockHeader, fixed));
    *length = sizeof(FixedFileInfo);
    return true;
  }
  if (EqualNoCase(key, u"\\VarFileInfo\\Translation")) {
    *value = const_cast<uint8_t*>(bytes + offsetof(BlockHeader, translation));
    *length = sizeof(header.translation);
    return true;
  }
  constexpr std::u16string_view kStringPrefix = u"\\StringFileInfo\\";
  if (key.size() > kStringPrefix.size() + 9 && EqualNoCase(key.substr(0, kStringPrefix.size()), kStringPrefix) &&
      key[kStringPrefix.size() + 8] == u'\\') {
    std::u16string table(key.substr(kStringPrefix.size(), 8));
    std::u16string_view name = key.substr(kStringPrefix.size() + 9);
    if (EqualNoCase(table, u"040904b0")) {
      const auto* text = reinterpret_cast<const char16_t*>(bytes + sizeof(BlockHeader));
      for (size_t i = 0; i < std::size(kStrings); ++i) {
        size_t name_length = TextLength(text);
        const char16_t* entry_value = text + name_length + 1;
        size_t value_length = TextLength(entry_value);
        if (EqualNoCase(name, std::u16string_view(text, name_length))) {
          *value = const_cast<char16_t*>(entry_value);
          *length = static_cast<uint32_t>(value_length + 1);
          return true;
        }
        text = entry_value + value_length + 1;
      }
    }
  }
  SetLastError(kErrorResourceTypeNotFound);
  return false;
}

ResourceString LoadStringW(uint32_t id) {
#define MONCTL_STRING(string_id, text) {string_id, u"" text},
  static constexpr struct {
    uint32_t id;
    const char16_t* text;
  } kTable[] = {
#include "platform/strings.inc"
  };
#undef MONCTL_STRING
  for (const auto& entry : kTable) {
    if (entry.id == id) return {entry.text, static_cast<uint32_t>(TextLength(entry.text))};
  }
  SetLastError(kErrorResourceTypeNotFound);
  return {nullptr, 0};
}

}  // namespace posix
}  // namespace monctl::platform
