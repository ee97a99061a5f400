// The one path through which the program writes text for the user: message
// kinds, line decoration, error text for failure codes, and an output sink
// that derived classes provide.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/output/format.h"
#include "framework/output/system_error.h"

namespace monctl {

// Answers a question may allow.
constexpr uint32_t MWA_OK = 0x01;
constexpr uint32_t MWA_CANCEL = 0x02;
constexpr uint32_t MWA_ABORT = 0x04;
constexpr uint32_t MWA_RETRY = 0x08;
constexpr uint32_t MWA_IGNORE = 0x10;
constexpr uint32_t MWA_YES = 0x20;
constexpr uint32_t MWA_NO = 0x40;

// Message kinds (exactly one per message).
constexpr uint32_t MWF_KINDS = 0x000FF000;
constexpr uint32_t MWF_DEBUG = 0x00001000;
constexpr uint32_t MWF_QUESTION = 0x00002000;
constexpr uint32_t MWF_ERROR = 0x00004000;
constexpr uint32_t MWF_WARNING = 0x00008000;
constexpr uint32_t MWF_NORMAL = 0x00010000;
// Modifiers.
constexpr uint32_t MWF_RAW = 0x00100000;
constexpr uint32_t MWF_NODECORATION = 0x00200000;
constexpr uint32_t MWF_NEWLINE = 0x00400000;

// Line decoration options (m_dwOptions).
constexpr uint32_t MWO_TIMESTAMP = 0x1;
constexpr uint32_t MWO_PREFIX = 0x2;
constexpr uint32_t MWO_PREFIXFIRST = 0x4;

// Messages kept to be written later: a worker thread records them, and the
// thread that owns the writer plays them back (CMessageWriter::Replay).
struct CRecordedMessage {
  std::optional<std::u16string> text;  // already formatted
  uint32_t flags;
  int32_t code;
};
using CMessageRecording = std::vector<CRecordedMessage>;

// While it lives, every message that the calling thread writes through any
// writer is appended to `recording` instead of being written; the writer's
// own state is left alone.
class CRecordingScope {
 public:
  explicit CRecordingScope(CMessageRecording* recording);
  ~CRecordingScope();
  CRecordingScope(const CRecordingScope&) = delete;
  CRecordingScope& operator=(const CRecordingScope&) = delete;

 private:
  CMessageRecording* previous_;
};

class CMessageWriter {
 public:
  CMessageWriter() = default;
  CMessageWriter(const CMessageWriter&) = delete;
  CMessageWriter& operator=(const CMessageWriter&) = delete;

  // The core: filters by kind, formats `text` with `args` (unless MWF_RAW),
  // decorates and hands the line to OutputText. Returns the answer of a
  // question, 0 otherwise.
  virtual int32_t WriteMessage(const char16_t* text, uint32_t flags, int32_t code, PrintfArgs args);
  virtual int32_t WriteResourceMessage(uint16_t id, uint32_t flags, int32_t code, PrintfArgs args);
  // The output sink; the writer itself has no device.
  virtual void OutputText(const std::u16string& text);
  virtual void ChangeIndent(bool increase);
  virtual int32_t PromptAnswer(uint32_t flags);
  virtual const char16_t* GetDateStampFormat();
  virtual const char16_t* GetTimeStampFormat();
  virtual const char16_t* GetStampSeparator();
  virtual const char16_t* GetLineEnd();
  virtual bool GetKindPrefix(uint32_t kind, std::u16string* text);

  template <class... Args>
  void Write(FormatFor<Args...> format, const Args&... args) {
    Emit(format.get(), MWF_NORMAL, 0, args...);
  }
  template <class... Args>
  void WriteLine(FormatFor<Args...> format, const Args&... args) {
    Emit(format.get(), MWF_NORMAL | MWF_NEWLINE, 0, args...);
  }
  void NewLine() { WriteMessage(nullptr, MWF_NORMAL | MWF_NEWLINE, 0, {}); }
  // Writes `text` unchanged: it is not used as a format.
  void WriteText(const std::u16string& text) { WriteMessage(text.c_str(), MWF_NORMAL | MWF_RAW, 0, {}); }
  template <class... Args>
  void WriteError(FormatFor<Args...> format, const Args&... args) {
    Emit(format.get(), MWF_ERROR, 1, args...);
  }
  template <class... Args>
  void WriteErrorCode(FormatFor<Args...> format, int32_t code, const Args&... args) {
    Emit(format.get(), MWF_ERROR, code, args...);
  }
  // An error text known only at run time (for example one the application
  // set), written as a format without arguments.
  void WriteErrorCodeText(const std::u16string& format, int32_t code) {
    WriteMessage(format.c_str(), MWF_ERROR, code, {});
  }
  // The error with the system's text for the thread's last error, which is
  // read before anything else happens.
  template <class... Args>
  void WriteLastError(FormatFor<Args...> format, const Args&... args);
  template <class... Args>
  void WriteResourceError(uint32_t id, const Args&... args) {
    WithPrintfArgs(
        [&](PrintfArgs a) { return WriteResourceMessage(static_cast<uint16_t>(id), MWF_ERROR, 1, a); },
        args...);
  }

  // Writes recorded messages as they would have been written then.
  void Replay(const CMessageRecording& recording);

  // Builds one line: decoration at a line start, the text, a line end when
  // asked, then OutputText.
  void ComposeLine(std::optional<std::u16string_view> text, uint32_t kind, uint32_t modifiers);
  static bool EndsWithLineEnd(std::u16string_view text);

  uint32_t m_dwMinKind = MWF_QUESTION;
  uint32_t m_dwKindMask = MWF_KINDS;
  int32_t m_nIndent = 0;
  uint32_t m_dwOptions = 0;
  bool m_bLineStart = true;

 protected:
  ~CMessageWriter() = default;

 private:
  template <class... Args>
  void Emit(std::u16string_view format, uint32_t flags, int32_t code, const Args&... args) {
    // The format views a literal, which is always zero-terminated.
    WithPrintfArgs([&](PrintfArgs a) { return WriteMessage(format.data(), flags, code, a); }, args...);
  }
};

template <class... Args>
void CMessageWriter::WriteLastError(FormatFor<Args...> format, const Args&... args) {
  int32_t code = LastErrorToHResult();
  Emit(format.get(), MWF_ERROR, code, args...);
}

}  // namespace monctl
