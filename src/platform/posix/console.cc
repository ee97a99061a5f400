// The run-time library's console services for the native build. A terminal
// always gets UTF-8; redirected output follows the translation mode: "text"
// and "utf8" give UTF-8, "unicode" gives UTF-16LE.
#include "platform/console.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>

#include "platform/posix/console.h"
#include "platform/posix/signal_safe.h"
#include "platform/text.h"

namespace monctl::platform {
namespace {

// Constant-initialised, so the application object may use them while it
// is constructed by static initialisation.
uint32_t g_modes[2] = {kModeText, kModeText};
// Whether the last text written to standard output left its line open.
volatile sig_atomic_t g_output_mid_line = 0;

int Descriptor(Stream stream) { return stream == Stream::kOutput ? STDOUT_FILENO : STDERR_FILENO; }

}  // namespace

namespace posix {

bool IsConsole(Stream stream) { return ::isatty(Descriptor(stream)) == 1; }

int SetTranslationMode(Stream stream, uint32_t mode) {
  if (mode != kModeText && mode != kModeUtf16 && mode != kModeUtf8) {
    errno = EINVAL;
    return -1;
  }
  uint32_t& current = g_modes[stream == Stream::kOutput ? 0 : 1];
  uint32_t previous = current;
  current = mode;
  return static_cast<int>(previous);
}

}  // namespace posix

std::string EncodeText(std::u16string_view text, bool utf16) {
  if (!utf16) return Utf16ToUtf8(text);
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

bool OutputIsUtf16() {
  termios terminal{};
  return g_modes[0] == kModeUtf16 && ::tcgetattr(STDOUT_FILENO, &terminal) != 0;
}

bool OutputIsMidLine() { return g_output_mid_line != 0; }

void WriteConsoleText(Stream stream, const std::u16string& text) {
  const uint32_t mode = g_modes[stream == Stream::kOutput ? 0 : 1];
  const std::string bytes = EncodeText(text, mode == kModeUtf16 && !IsConsole(stream));
  if (stream == Stream::kOutput && !text.empty()) {
    g_output_mid_line = text.back() != u'\n' && text.back() != u'\r';
  }
  WriteAll(Descriptor(stream), bytes.data(), bytes.size());  // as fputws: a failed write is not reported
}

}  // namespace monctl::platform
