#include "framework/output/message_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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

TEST(MessageWriterTest, ComposesDecoratesAndFilters) {
  const std::u16string crash_format = [] {
    platform::ResourceString text = platform::LoadStringW(27009);
    return text.text != nullptr ? std::u16string(text.text, text.length) : u"missing";
  }();
  struct Case {
    uint32_t options;
    int32_t indent;
    std::function<void(W)> write;
    std::u16string expected;
  };
  const Case cases[] = {
      // Prefixes and indentation.
      {0, 0, [](W w) { w.WriteError(u"x"); }, u"x\n"},
      {MWO_PREFIX, 0, [](W w) { w.WriteError(u"x"); }, u"ERROR: x\n"},
      {MWO_PREFIX, 0, [](W w) { w.WriteMessage(u"w", MWF_WARNING | MWF_NEWLINE, 0, {}); }, u"WARNING: w\n"},
      {MWO_PREFIX, 0, [](W w) { w.WriteMessage(u"w", MWF_WARNING, 0, {}); }, u"WARNING: w"},
      {MWO_PREFIX, 1, [](W w) { w.WriteLine(u"n"); }, u"  n\n"},
      {MWO_PREFIX, 0, [](W w) { w.WriteMessage(u"q?", MWF_QUESTION | MWF_NEWLINE, 0, {}); }, u"q?"},
      {MWO_PREFIX, 2, [](W w) { w.WriteError(u"x"); }, u"    ERROR: x\n"},
      {MWO_PREFIX | MWO_PREFIXFIRST, 2, [](W w) { w.WriteError(u"x"); }, u"ERROR:     x\n"},
      {MWO_PREFIXFIRST, 1, [](W w) { w.WriteError(u"x"); }, u"  x\n"},
      {MWO_PREFIX, -1, [](W w) { w.WriteError(u"x"); }, u"ERROR: x\n"},
      {0, 0, [](W w) { w.NewLine(); }, u"\n"},
      {0, 2, [](W w) { w.NewLine(); }, u"    \n"},
      {MWO_PREFIX, 2, [](W w) { w.WriteMessage(u"p", MWF_WARNING | MWF_NODECORATION | MWF_NEWLINE, 0, {}); },
       u"p\n"},
      {MWO_PREFIX, 1, [](W w) { w.WriteError(u"a\nb"); }, u"  ERROR: a\nb\n"},
      {MWO_PREFIX, 1, [](W w) { w.WriteMessage(u"e", MWF_ERROR | MWF_NODECORATION, 1, {}); }, u"  ERROR: e\n"},
      {0, 0, [](W w) {
         w.ChangeIndent(false);  // no bound below 0
         w.WriteLine(u"a");
         w.ChangeIndent(true);
         w.ChangeIndent(true);
         w.WriteLine(u"b");
       }, u"a\n|  b\n"},
      // Kinds: debug needs a lower minimum; no kind, two kinds, an unknown or masked kind write nothing.
      {MWO_PREFIX, 0, [](W w) { w.WriteMessage(u"d", MWF_DEBUG | MWF_NEWLINE, 0, {}); }, u""},
      {MWO_PREFIX, 0, [](W w) { w.m_dwMinKind = MWF_DEBUG; w.WriteMessage(u"d", MWF_DEBUG | MWF_NEWLINE, 0, {}); },
       u"DEBUG: d\n"},
      {MWO_PREFIX, 0, [](W w) {
         for (uint32_t flags : {0u, MWF_ERROR | MWF_WARNING, 0x20000u}) w.WriteMessage(u"t", flags, -5, {});
         w.m_dwKindMask = MWF_KINDS & ~MWF_WARNING;
         w.WriteMessage(u"t", MWF_WARNING, 0, {});
         w.m_dwKindMask = MWF_DEBUG;
         w.WriteError(u"t");
         w.m_dwKindMask = MWF_KINDS;
         w.WriteError(u"x");
       }, u"ERROR: x\n"},
      // Raw text is not a format; every composed text reaches the sink whole.
      {0, 0, [](W w) {
         w.WriteText(u"100% %s");
         w.WriteMessage(u"%s%%", MWF_ERROR | MWF_RAW, 1, {});
         w.Write(u"%d%% of %s\n", 50, u"x");
       }, u"100% %s|%s%%\n|50% of x\n"},
      {MWO_PREFIX, 0, [](W w) {
         w.Write(u"a");
         w.WriteMessage(nullptr, MWF_NORMAL, 0, {});  // an empty text is handed over too
         w.WriteLine(u"b%d", 1);
       }, u"a||b1\n"},
      // Decoration follows the end of the previous text.
      {MWO_PREFIX, 1, [](W w) { w.Write(u"a"); w.WriteError(u"x"); }, u"  a|x\n"},
      {MWO_PREFIX, 1, [](W w) { w.Write(u"a\n"); w.WriteError(u"x"); }, u"  a\n|  ERROR: x\n"},
      {MWO_PREFIX, 1, [](W w) { w.Write(u"a\nb"); w.WriteError(u"x"); }, u"  a\nb|x\n"},
      {MWO_PREFIX, 1, [](W w) { w.Write(u""); w.WriteError(u"x"); }, u"  |x\n"},
      {MWO_PREFIX, 1, [](W w) { w.NewLine(); w.WriteError(u"x"); }, u"  \n|  ERROR: x\n"},
      {MWO_PREFIX, 1, [](W w) { w.WriteText(u"r"); w.WriteError(u"x"); }, u"  r|x\n"},
      {MWO_PREFIX, 1, [](W w) { w.WriteError(u"e"); w.WriteError(u"x"); }, u"  ERROR: e\n|  ERROR: x\n"},
      {MWO_PREFIX, 1, [](W w) { w.WriteMessage(u"q?", MWF_QUESTION, 0, {}); w.WriteError(u"x"); }, u"  q?|x\n"},
      {MWO_PREFIX, 0, [](W w) { w.Write(u"a"); w.WriteLine(u"b"); w.Write(u"c"); w.WriteError(u"x"); },
       u"a|b\n|c|x\n"},
      // A negative code adds the system's text on a line of its own, without decoration.
      {MWO_PREFIX, 1, [](W w) { w.WriteErrorCode(u"could not %s.", static_cast<int32_t>(0x80070005u), u"go"); },
       u"  ERROR: could not go.\n" + SystemLine(0x80070005u)},
      {MWO_PREFIX, 0, [](W w) { for (int32_t code : {0, 1, 5, 0x7FFFFFFF}) w.WriteErrorCode(u"f", code); },
       u"ERROR: f\n|ERROR: f\n|ERROR: f\n|ERROR: f\n"},
      {0, 0, [](W w) { w.WriteErrorCode(u"f", static_cast<int32_t>(0x8FFF1234u)); }, u"f\n"},
      {MWO_PREFIX, 0, [](W w) { platform::SetLastError(0); w.WriteLastError(u"could not set %s.", u"it"); },
       u"ERROR: could not set it.\n"},
      {MWO_PREFIX, 0, [](W w) { platform::SetLastError(87); w.WriteLastError(u"f"); },
       u"ERROR: f\n" + SystemLine(0x80070057u)},
      {MWO_PREFIX, 0, [](W w) { platform::SetLastError(0xC0262585); w.WriteLastError(u"f"); },
       u"ERROR: f\n" + SystemLine(0xC0262585u)},
      // String table messages; id 0 and a missing string give the empty text.
      {MWO_PREFIX, 0, [](W w) { w.WriteResourceError(27009, u"C:\\d.dmp"); },
       u"ERROR: " + crash_format.substr(0, crash_format.size() - 2) + u"C:\\d.dmp\n"},
      {MWO_PREFIX, 0, [](W w) { w.WriteResourceError(0); w.WriteResourceError(1); }, u"ERROR: \n|ERROR: \n"},
      {0, 0, [](W w) { w.WriteResourceMessage(0, MWF_NORMAL, 0, {}); w.WriteText(u"x"); }, u"|x"},
  };
  for (const Case& c : cases) {
    RecordingWriter w;
    w.m_dwOptions = c.options;
    w.m_nIndent = c.indent;
    c.write(w);
    EXPECT_EQ(w.all, c.expected) << testing::PrintToString(c.expected);
  }
  EXPECT_TRUE(crash_format.ends_with(u"%s"));
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
  const size_t first = w.all.find(u" - a|b\n|");
  ASSERT_NE(first, std::u16string::npos) << testing::PrintToString(w.all);
  const std::u16string stamp = w.all.substr(0, first);
  const size_t space = stamp.find(u' ');
  EXPECT_TRUE(space > 0 && space != std::u16string::npos && space + 1 < stamp.size())
      << testing::PrintToString(stamp);
  EXPECT_TRUE(w.all.ends_with(u" - ERROR:   c\n")) << testing::PrintToString(w.all);
}

}  // namespace
}  // namespace monctl
