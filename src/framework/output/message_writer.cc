#include "framework/output/message_writer.h"

#include "platform/resources.h"
#include "platform/system.h"
#include "platform/text.h"

namespace monctl {
namespace {

thread_local CMessageRecording* t_recording = nullptr;

}  // namespace

CRecordingScope::CRecordingScope(CMessageRecording* recording) : previous_(t_recording) { t_recording = recording; }

CRecordingScope::~CRecordingScope() { t_recording = previous_; }

void CMessageWriter::Replay(const CMessageRecording& recording) {
  for (const CRecordedMessage& message : recording) {
    WriteMessage(message.text ? message.text->c_str() : nullptr, message.flags, message.code, {});
  }
}

int32_t CMessageWriter::WriteMessage(const char16_t* text, uint32_t flags, int32_t code,
                                     PrintfArgs args) {
  if ((m_dwKindMask & flags & MWF_KINDS) < m_dwMinKind) return 0;

  std::optional<std::u16string> formatted;
  if (text != nullptr) {
    std::u16string_view view(text, TextLength(text));
    formatted = (flags & MWF_RAW) != 0 ? std::u16string(view) : FormatText(view, args);
  }
  if (t_recording != nullptr) {
    t_recording->push_back({std::move(formatted), flags | MWF_RAW, code});
    return 0;
  }
  std::optional<std::u16string_view> line;
  if (formatted) line = *formatted;

  switch (flags & MWF_KINDS) {
    case MWF_DEBUG:
    case MWF_WARNING:
    case MWF_NORMAL:
      ComposeLine(line, flags & MWF_KINDS, flags);
      return 0;
    case MWF_QUESTION:
      ComposeLine(line, MWF_QUESTION, 0);
      return PromptAnswer(flags);
    case MWF_ERROR: {
      ComposeLine(line, MWF_ERROR, MWF_NEWLINE);
      char16_t system_text[kSystemErrorTextSize];
      if (code < 0 && GetSystemErrorText(code, system_text)) {
        ComposeLine(std::u16string_view(system_text), MWF_ERROR, MWF_NEWLINE | MWF_NODECORATION);
      }
      return 0;
    }
    default:
      return 0;
  }
}

int32_t CMessageWriter::WriteResourceMessage(uint16_t id, uint32_t flags, int32_t code,
                                             PrintfArgs args) {
  std::u16string text;
  if (id != 0) {
    platform::ResourceString resource = platform::LoadStringW(id);
    if (resource.text != nullptr) text.assign(resource.text, resource.length);
  }
  return WriteMessage(text.c_str(), flags, code, args);
}

void CMessageWriter::OutputText(const std::u16string&) {}

void CMessageWriter::ChangeIndent(bool increase) { m_nIndent += increase ? 1 : -1; }

int32_t CMessageWriter::PromptAnswer(uint32_t) { return 0; }

const char16_t* CMessageWriter::GetDateStampFormat() { return nullptr; }

const char16_t* CMessageWriter::GetTimeStampFormat() { return nullptr; }

const char16_t* CMessageWriter::GetStampSeparator() { return u" - "; }

const char16_t* CMessageWriter::GetLineEnd() { return u"\n"; }

bool CMessageWriter::GetKindPrefix(uint32_t kind, std::u16string* text) {
  switch (kind) {
    case MWF_DEBUG:
      *text = u"DEBUG:";
      return true;
    case MWF_ERROR:
      *text = u"ERROR:";
      return true;
    case MWF_WARNING:
      *text = u"WARNING:";
      return true;
    case MWF_QUESTION:
    case MWF_NORMAL:
      return false;
    default:
      return true;
  }
}

bool CMessageWriter::EndsWithLineEnd(std::u16string_view text) {
  return !text.empty() && text.back() == u'\n';
}

void CMessageWriter::ComposeLine(std::optional<std::u16string_view> text, uint32_t kind,
                                 uint32_t modifiers) {
  std::u16string line;
  line.reserve(1024);

  if (m_bLineStart && (modifiers & MWF_NODECORATION) == 0) {
    if ((m_dwOptions & MWO_TIMESTAMP) != 0) {
      constexpr int kStampSize = 256;
      char16_t stamp[kStampSize];
      int n = platform::GetLocalDateText(stamp, kStampSize);
      if (n > 0 && n < kStampSize) {
        stamp[n - 1] = u' ';
        if (platform::GetLocalTimeText(stamp + n, kStampSize - n) > 0) {
          line += stamp;
          line += u" - ";
        }
      } else if (n >= kStampSize) {
        platform::SetLastError(platform::kErrorInsufficientBuffer);
      }
    }

    std::u16string_view prefix;
    if ((m_dwOptions & MWO_PREFIX) != 0) {
      if (kind == MWF_DEBUG) prefix = u"DEBUG: ";
      else if (kind == MWF_ERROR) prefix = u"ERROR: ";
      else if (kind == MWF_WARNING) prefix = u"WARNING: ";
    }
    std::u16string indent(m_nIndent > 0 ? static_cast<size_t>(m_nIndent) * 2 : 0, u' ');
    if ((m_dwOptions & MWO_PREFIXFIRST) != 0) {
      line += prefix;
      line += indent;
    } else {
      line += indent;
      line += prefix;
    }
  }

  if (text) line += *text;
  if ((modifiers & MWF_NEWLINE) != 0) line += u'\n';
  m_bLineStart = EndsWithLineEnd(line);
  OutputText(line);
}

}  // namespace monctl
