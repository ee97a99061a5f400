#include "framework/output/message_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "platform/resources.h"
#include "platform/system.h"

namespace monctl {
namespace {

// A writer whose sink keeps every text it is handed, the texts joined by "|".
class RecordingWriter : public CMessageWriter {
 public:
  void OutputText(const std::u16string& text) override { all += (calls++ > 0 ? u"|" : u"") + text; }
  int32_t PromptAnswer(uint32_t flags) override {
    prompted = flags;
    return 42;
  }
  std::u16string all;
  int calls = 0;
  uint32_t prompted = 0;
};

// "|" and the line that GetSystemErrorText gives for `code`, or nothing
// when the platform has no text for the code (Wine lacks some).
std::u16string SystemLine(uint32_t code) {
  char16_t text[kSystemErrorTextSize];
  return GetSystemErrorText(static_cast<int32_t>(code), text) ? u"|" + std::u16string(text) + u"\n" : u"";
}

using W = RecordingWriter&;
constexpr uint32_t P = MWO_PREFIX, NL = MWF_NEWLINE;

TEST(MessageWriterTest, ComposesDecoratesAndFilters) {
  struct Case {
    uint32_t options;
    int32_t indent;
    std::function<void(W)> write;
    std::u16string expected;
  };
  const Case cases[] = {
      {P, 0, [](W w) { w.WriteMessage(u"w", MWF_WARNING, 0, {}); w.WriteMessage(u"v", MWF_WARNING | NL, 0, {}); },
       u"WARNING: w|v\n"},
      {P, 1, [](W w) { w.WriteLine(u"n"); w.WriteMessage(u"q?", MWF_QUESTION | NL, 0, {}); }, u"  n\n|  q?"},
      {P, 2, [](W w) { w.WriteError(u"x"); }, u"    ERROR: x\n"},
      {P | MWO_PREFIXFIRST, 2, [](W w) { w.WriteError(u"x"); }, u"ERROR:     x\n"},
      {MWO_PREFIXFIRST, 1, [](W w) { w.WriteError(u"x"); }, u"  x\n"},
      {P, -1, [](W w) { w.WriteError(u"x"); }, u"ERROR: x\n"},
      {0, 2, [](W w) { w.NewLine(); }, u"    \n"},
      {P, 2, [](W w) { w.WriteMessage(u"p", MWF_WARNING | MWF_NODECORATION | NL, 0, {}); }, u"p\n"},
      {P, 1, [](W w) { w.WriteError(u"a\nb"); }, u"  ERROR: a\nb\n"},
      {P, 1, [](W w) { w.WriteMessage(u"e", MWF_ERROR | MWF_NODECORATION, 1, {}); }, u"  ERROR: e\n"},
      // Indentation has no bound below 0.
      {0, 0, [](W w) { w.ChangeIndent(false); w.WriteLine(u"a"); w.ChangeIndent(true); w.ChangeIndent(true);
                       w.WriteLine(u"b"); }, u"a\n|  b\n"},
      // Debug needs a lower minimum kind; no kind, two kinds, an unknown or a masked kind write nothing.
      {P, 0, [](W w) { w.WriteMessage(u"d", MWF_DEBUG | NL, 0, {}); w.m_dwMinKind = MWF_DEBUG;
                       w.WriteMessage(u"d", MWF_DEBUG | NL, 0, {}); }, u"DEBUG: d\n"},
      {P, 0, [](W w) {
         for (uint32_t flags : {0u, MWF_ERROR | MWF_WARNING, 0x20000u}) w.WriteMessage(u"t", flags, -5, {});
         w.m_dwKindMask = MWF_KINDS & ~MWF_WARNING;
         w.WriteMessage(u"t", MWF_WARNING, 0, {});
         w.m_dwKindMask = MWF_DEBUG;
         w.WriteError(u"t");
         w.m_dwKindMask = MWF_KINDS;
         w.WriteError(u"x");
       }, u"ERROR: x\n"},
      // Raw text is no format; every composed text, an empty one too, reaches the sink whole.
      {0, 0, [](W w) { w.WriteText(u"100% %s"); w.WriteMessage(u"%s%%", MWF_ERROR | MWF_RAW, 1, {});
                       w.WriteMessage(nullptr, MWF_NORMAL, 0, {}); w.Write(u"%d%% of %s\n", 50, u"x"); },
       u"100% %s|%s%%\n||50% of x\n"},
      // Decoration follows the end of the previous text: an error continues a line, the next one starts one.
      {P, 1, [](W w) {
         for (const char16_t* text : {u"a", u"a\nb", u"", u"\n"}) {
           w.WriteMessage(text, MWF_NORMAL, 0, {});
           w.WriteError(u"x");
           w.WriteError(u"x");
         }
       }, u"  a|x\n|  ERROR: x\n|  a\nb|x\n|  ERROR: x\n|  |x\n|  ERROR: x\n|  \n|  ERROR: x\n|  ERROR: x\n"},
      {P, 1, [](W w) { w.WriteText(u"r"); w.WriteError(u"x"); w.WriteMessage(u"q?", MWF_QUESTION, 0, {});
                       w.WriteError(u"x"); w.Write(u"a"); w.WriteLine(u"b"); w.WriteError(u"x"); },
       u"  r|x\n|  q?|x\n|  a|b\n|  ERROR: x\n"},
      // A negative code adds the system's text on a line of its own, without decoration.
      {P, 1, [](W w) { w.WriteErrorCode(u"could not %s.", static_cast<int32_t>(0x80070005u), u"go"); },
       u"  ERROR: could not go.\n" + SystemLine(0x80070005u)},
      {0, 0, [](W w) { for (int32_t code : {0, 1, 0x7FFFFFFF, int32_t(0x8FFF1234u)}) w.WriteErrorCode(u"f", code); },
       u"f\n|f\n|f\n|f\n"},
      {0, 0, [](W w) { platform::SetLastError(0); w.WriteLastError(u"could not set %s.", u"it"); },
       u"could not set it.\n"},
  };
  for (const Case& c : cases) {
    RecordingWriter w;
    w.m_dwOptions = c.options;
    w.m_nIndent = c.indent;
    c.write(w);
    EXPECT_EQ(w.all, c.expected) << testing::PrintToString(c.expected);
  }
}

TEST(MessageWriterTest, OnlyAQuestionReturnsAnAnswer) {
  RecordingWriter w;
  EXPECT_EQ(w.WriteMessage(u"Go on?", MWF_QUESTION | MWA_YES | MWA_NO, 0, {}), 42);
  EXPECT_EQ(w.prompted, MWF_QUESTION | MWA_YES | MWA_NO);
  int32_t others = 0;
  for (uint32_t flags : {MWF_NORMAL, MWF_WARNING, MWF_ERROR, MWF_DEBUG, 0u, MWF_ERROR | MWF_WARNING, 0x20000u}) {
    others |= w.WriteMessage(u"x", flags, -5, {});
  }
  EXPECT_EQ(others, 0);
}

TEST(MessageWriterTest, TimeStampStartsALine) {
  RecordingWriter w;
  w.m_dwOptions = MWO_TIMESTAMP | MWO_PREFIX;
  w.Write(u"a");
  w.WriteError(u"b");
  w.m_dwOptions |= MWO_PREFIXFIRST;
  w.m_nIndent = 1;
  w.WriteError(u"c");
  // Date, one space, time, " - ", then the line; the continued line gets no stamp.
  const size_t stamp = w.all.find(u" - a|b\n|");
  const size_t space = w.all.find(u' ');
  EXPECT_TRUE(stamp != std::u16string::npos && space > 0 && space + 1 < stamp) << testing::PrintToString(w.all);
  EXPECT_TRUE(w.all.ends_with(u" - ERROR:   c\n")) << testing::PrintToString(w.all);
}

TEST(SystemErrorTest, LastErrorToHResultAndIsWin32Code) {
  // The top bit set: passed on unchanged; otherwise only the low 16 bits are kept.
  const std::pair<uint32_t, uint32_t> hresults[] = {
      {0, 0}, {5, 0x80070005}, {0x12345, 0x80072345}, {0x7FFFFFFF, 0x8007FFFF}, {0xC0262585, 0xC0262585}};
  for (auto [last_error, expected] : hresults) {
    platform::SetLastError(last_error);
    EXPECT_EQ(static_cast<uint32_t>(LastErrorToHResult()), expected) << std::hex << last_error;
  }
  // Facility 7 whatever bit 30; bit 28 is part of the test.
  const std::pair<uint32_t, bool> win32[] = {{0x80070005, true}, {0x00070005, true}, {0xC0070005, true},
                                             {0x90070005, false}, {0, true}, {0xFFFF, true}, {0x10000, false},
                                             {0x80004005, false}, {0x8007FFFF, true}};
  for (auto [code, expected] : win32) {
    EXPECT_EQ(IsWin32Code(static_cast<int32_t>(code)), expected) << std::hex << code;
  }
}

}  // namespace
}  // namespace monctl
