#include "framework/output/message_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/resources.h"
#include "platform/system.h"

namespace monctl {
namespace {

// A writer whose sink keeps every text it is handed, one entry per call.
class RecordingWriter : public CMessageWriter {
 public:
  void OutputText(const std::u16string& text) override { chunks.push_back(text); }
  int32_t PromptAnswer(uint32_t flags) override {
    prompted_flags = flags;
    return 42;
  }
  std::u16string All() const {
    std::u16string all;
    for (const std::u16string& c : chunks) all += c;
    return all;
  }

  std::vector<std::u16string> chunks;
  uint32_t prompted_flags = 0;
};

// The line that GetSystemErrorText gives for `code`, with its line end, or
// nothing when the platform has no text for the code.
std::u16string SystemLine(int32_t code) {
  char16_t text[kSystemErrorTextSize];
  if (!GetSystemErrorText(code, text)) return {};
  return std::u16string(text) + u"\n";
}

struct DecorationCase {
  const char* name;
  uint32_t options;
  int32_t indent;
  std::function<void(RecordingWriter&)> write;
  std::u16string expected;
};

TEST(MessageWriterTest, DecoratesTheStartOfALine) {
  const DecorationCase cases[] = {
      {"error without prefix option", 0, 0, [](RecordingWriter& w) { w.WriteError(u"x"); }, u"x\n"},
      {"error with prefix", MWO_PREFIX, 0, [](RecordingWriter& w) { w.WriteError(u"x"); },
       u"ERROR: x\n"},
      {"warning with prefix", MWO_PREFIX, 0,
       [](RecordingWriter& w) { w.WriteMessage(u"w", MWF_WARNING | MWF_NEWLINE, 0, {}); },
       u"WARNING: w\n"},
      {"warning without line end", MWO_PREFIX, 0,
       [](RecordingWriter& w) { w.WriteMessage(u"w", MWF_WARNING, 0, {}); }, u"WARNING: w"},
      {"normal has no prefix", MWO_PREFIX, 0, [](RecordingWriter& w) { w.WriteLine(u"n"); }, u"n\n"},
      {"question has no prefix and no line end", MWO_PREFIX, 0,
       [](RecordingWriter& w) { w.WriteMessage(u"q?", MWF_QUESTION | MWF_NEWLINE, 0, {}); }, u"q?"},
      {"indentation before prefix", MWO_PREFIX, 2, [](RecordingWriter& w) { w.WriteError(u"x"); },
       u"    ERROR: x\n"},
      {"prefix first", MWO_PREFIX | MWO_PREFIXFIRST, 2,
       [](RecordingWriter& w) { w.WriteError(u"x"); }, u"ERROR:     x\n"},
      {"prefix first without prefix option", MWO_PREFIXFIRST, 1,
       [](RecordingWriter& w) { w.WriteError(u"x"); }, u"  x\n"},
      {"indented normal line", 0, 1, [](RecordingWriter& w) { w.WriteLine(u"n"); }, u"  n\n"},
      {"negative indentation", MWO_PREFIX, -1, [](RecordingWriter& w) { w.WriteError(u"x"); },
       u"ERROR: x\n"},
      {"new line at indentation 0", 0, 0, [](RecordingWriter& w) { w.NewLine(); }, u"\n"},
      {"new line is indented", 0, 2, [](RecordingWriter& w) { w.NewLine(); }, u"    \n"},
      {"no decoration", MWO_PREFIX, 2,
       [](RecordingWriter& w) {
         w.WriteMessage(u"plain", MWF_WARNING | MWF_NODECORATION | MWF_NEWLINE, 0, {});
       },
       u"plain\n"},
      {"embedded line end is not decorated", MWO_PREFIX, 1,
       [](RecordingWriter& w) { w.WriteError(u"a\nb"); }, u"  ERROR: a\nb\n"},
      {"caller's modifiers do not change an error", MWO_PREFIX, 1,
       [](RecordingWriter& w) { w.WriteMessage(u"e", MWF_ERROR | MWF_NODECORATION, 1, {}); },
       u"  ERROR: e\n"},
  };
  for (const DecorationCase& c : cases) {
    RecordingWriter w;
    w.m_dwOptions = c.options;
    w.m_nIndent = c.indent;
    c.write(w);
    EXPECT_EQ(w.All(), c.expected) << c.name;
  }
}

TEST(MessageWriterTest, DebugMessagesNeedALowerMinimumKind) {
  RecordingWriter w;
  w.m_dwOptions = MWO_PREFIX;
  w.WriteMessage(u"d", MWF_DEBUG | MWF_NEWLINE, 0, {});
  EXPECT_TRUE(w.chunks.empty());

  w.m_dwMinKind = MWF_DEBUG;
  w.WriteMessage(u"d", MWF_DEBUG | MWF_NEWLINE, 0, {});
  EXPECT_EQ(w.All(), u"DEBUG: d\n");
}

TEST(MessageWriterTest, KindFilterAndInvalidKindsWriteNothing) {
  struct Case {
    const char* name;
    uint32_t flags;
    uint32_t kind_mask;
  };
  const Case cases[] = {
      {"no kind", MWF_NEWLINE, MWF_KINDS},
      {"two kinds", MWF_ERROR | MWF_WARNING | MWF_NEWLINE, MWF_KINDS},
      {"kind bit without meaning", 0x20000 | MWF_NEWLINE, MWF_KINDS},
      {"kind masked out", MWF_WARNING | MWF_NEWLINE, MWF_KINDS & ~MWF_WARNING},
      {"mask leaves a lower kind", MWF_ERROR | MWF_NEWLINE, MWF_DEBUG},
  };
  for (const Case& c : cases) {
    RecordingWriter w;
    w.m_dwKindMask = c.kind_mask;
    EXPECT_EQ(w.WriteMessage(u"text", c.flags, -2147024891, {}), 0) << c.name;
    EXPECT_TRUE(w.chunks.empty()) << c.name;
    EXPECT_TRUE(w.m_bLineStart) << c.name;
  }
}

TEST(MessageWriterTest, QuestionReturnsTheAnswerOfThePrompt) {
  RecordingWriter w;
  uint32_t flags = MWF_QUESTION | MWA_YES | MWA_NO;
  EXPECT_EQ(w.WriteMessage(u"Go on?", flags, 0, {}), 42);
  EXPECT_EQ(w.prompted_flags, flags);
  EXPECT_EQ(w.All(), u"Go on?");
  EXPECT_EQ(w.WriteMessage(u"x", MWF_NORMAL, 0, {}), 0);
}

TEST(MessageWriterTest, RawTextIsNotAFormat) {
  RecordingWriter w;
  w.WriteText(u"100% %s %d");
  w.WriteMessage(u"%s%%", MWF_ERROR | MWF_RAW, 1, {});
  w.Write(u"%d%% of %s\n", 50, u"x");
  EXPECT_EQ(w.All(), u"100% %s %d%s%%\n50% of x\n");
}

TEST(MessageWriterTest, EveryComposedTextReachesTheSinkWhole) {
  RecordingWriter w;
  w.m_dwOptions = MWO_PREFIX;
  w.Write(u"a");
  w.WriteMessage(nullptr, MWF_NORMAL, 0, {});  // an empty text is handed over too
  w.WriteLine(u"b%d", 1);
  w.WriteError(u"e");
  ASSERT_EQ(w.chunks.size(), 4u);
  EXPECT_EQ(w.chunks[0], u"a");
  EXPECT_EQ(w.chunks[1], u"");
  EXPECT_EQ(w.chunks[2], u"b1\n");
  EXPECT_EQ(w.chunks[3], u"ERROR: e\n");
}

struct LineStartCase {
  const char* name;
  std::function<void(RecordingWriter&)> before;
  std::u16string expected;
};

TEST(MessageWriterTest, DecorationFollowsTheEndOfThePreviousText) {
  const LineStartCase cases[] = {
      {"nothing before", [](RecordingWriter&) {}, u"  ERROR: x\n"},
      {"Write then WriteError", [](RecordingWriter& w) { w.Write(u"a"); }, u"  ax\n"},
      {"ended line", [](RecordingWriter& w) { w.Write(u"a\n"); }, u"  a\n  ERROR: x\n"},
      {"text ending inside a line", [](RecordingWriter& w) { w.Write(u"a\nb"); }, u"  a\nbx\n"},
      {"empty text", [](RecordingWriter& w) { w.Write(u""); }, u"  x\n"},
      {"new line", [](RecordingWriter& w) { w.NewLine(); }, u"  \n  ERROR: x\n"},
      {"raw text", [](RecordingWriter& w) { w.WriteText(u"r"); }, u"  rx\n"},
      {"error", [](RecordingWriter& w) { w.WriteError(u"e"); }, u"  ERROR: e\n  ERROR: x\n"},
      {"question", [](RecordingWriter& w) { w.WriteMessage(u"q?", MWF_QUESTION, 0, {}); },
       u"  q?x\n"},
  };
  for (const LineStartCase& c : cases) {
    RecordingWriter w;
    w.m_dwOptions = MWO_PREFIX;
    w.m_nIndent = 1;
    c.before(w);
    w.WriteError(u"x");
    EXPECT_EQ(w.All(), c.expected) << c.name;
    EXPECT_TRUE(w.m_bLineStart) << c.name;
  }

  // An empty composed line leaves the line unended.
  RecordingWriter empty;
  empty.m_dwOptions = MWO_PREFIX;
  empty.Write(u"");
  EXPECT_FALSE(empty.m_bLineStart);
  empty.WriteError(u"x");
  EXPECT_EQ(empty.All(), u"x\n");

  RecordingWriter w;
  w.Write(u"a");
  w.WriteLine(u"b");
  EXPECT_EQ(w.All(), u"ab\n");
  w.Write(u"c");
  EXPECT_FALSE(w.m_bLineStart);
}

TEST(MessageWriterTest, TimeStampStartsALine) {
  RecordingWriter w;
  w.m_dwOptions = MWO_TIMESTAMP | MWO_PREFIX;
  w.Write(u"a");
  w.WriteError(u"b");
  ASSERT_EQ(w.chunks.size(), 2u);
  const std::u16string& first = w.chunks[0];
  ASSERT_TRUE(first.ends_with(u" - a")) << testing::PrintToString(first);
  std::u16string stamp = first.substr(0, first.size() - 4);
  // Date, one space, time.
  size_t space = stamp.find(u' ');
  EXPECT_NE(space, std::u16string::npos);
  EXPECT_GT(space, 0u);
  EXPECT_LT(space + 1, stamp.size());
  // The continued line gets neither stamp nor prefix.
  EXPECT_EQ(w.chunks[1], u"b\n");

  w.m_dwOptions = MWO_TIMESTAMP | MWO_PREFIX | MWO_PREFIXFIRST;
  w.m_nIndent = 1;
  w.WriteError(u"c");
  EXPECT_TRUE(w.chunks[2].ends_with(u" - ERROR:   c\n")) << testing::PrintToString(w.chunks[2]);
}

TEST(MessageWriterTest, ChangeIndentHasNoBound) {
  RecordingWriter w;
  w.ChangeIndent(false);
  EXPECT_EQ(w.m_nIndent, -1);
  w.WriteLine(u"a");
  w.ChangeIndent(true);
  w.ChangeIndent(true);
  w.WriteLine(u"b");
  EXPECT_EQ(w.All(), u"a\n  b\n");
}

TEST(MessageWriterTest, NegativeCodeAddsTheSystemTextOnItsOwnLine) {
  constexpr int32_t kAccessDenied = static_cast<int32_t>(0x80070005u);
  std::u16string system_line = SystemLine(kAccessDenied);
  ASSERT_FALSE(system_line.empty()) << "the platform has no text for error 5";
  EXPECT_TRUE(system_line.ends_with(u" (5)\n")) << testing::PrintToString(system_line);

  RecordingWriter w;
  w.m_dwOptions = MWO_PREFIX;
  w.m_nIndent = 1;
  w.WriteErrorCode(u"could not %s.", kAccessDenied, u"go");
  ASSERT_EQ(w.chunks.size(), 2u);
  EXPECT_EQ(w.chunks[0], u"  ERROR: could not go.\n");
  EXPECT_EQ(w.chunks[1], system_line);  // neither prefix nor indentation
}

TEST(MessageWriterTest, ZeroOrPositiveCodeAddsNothing) {
  for (int32_t code : {0, 1, 5, 0x7FFFFFFF}) {
    RecordingWriter w;
    w.m_dwOptions = MWO_PREFIX;
    w.WriteErrorCode(u"failed", code);
    EXPECT_EQ(w.All(), u"ERROR: failed\n") << code;
  }
}

TEST(MessageWriterTest, CodeWithoutSystemTextIsLeftOut) {
  constexpr int32_t kUnknown = static_cast<int32_t>(0x8FFF1234u);
  ASSERT_TRUE(SystemLine(kUnknown).empty());
  RecordingWriter w;
  w.WriteErrorCode(u"failed", kUnknown);
  EXPECT_EQ(w.All(), u"failed\n");
}

TEST(MessageWriterTest, WriteLastErrorAddsTheTextOfTheLastError) {
  struct Case {
    uint32_t last_error;
    std::u16string suffix;  // empty: no second line
  };
  const Case cases[] = {
      {5, u" (5)\n"},
      {87, u" (87)\n"},
      {0, u""},
      {0xC0262585, u" (0xC0262585)\n"},
  };
  for (const Case& c : cases) {
    RecordingWriter w;
    w.m_dwOptions = MWO_PREFIX;
    platform::SetLastError(c.last_error);
    w.WriteLastError(u"could not set %s level.", u"brightness");
    ASSERT_GE(w.chunks.size(), 1u) << c.last_error;
    EXPECT_EQ(w.chunks[0], u"ERROR: could not set brightness level.\n") << c.last_error;
    std::u16string expected_second = SystemLine(static_cast<int32_t>(c.last_error) > 0
                                                    ? static_cast<int32_t>(0x80070000u | c.last_error)
                                                    : static_cast<int32_t>(c.last_error));
    if (c.suffix.empty() || expected_second.empty()) {
      // No code, or a code the platform has no text for (Wine lacks the
      // monitor configuration messages): the error line stands alone.
      EXPECT_EQ(w.chunks.size(), 1u) << c.last_error;
      continue;
    }
    ASSERT_EQ(w.chunks.size(), 2u) << c.last_error;
    EXPECT_EQ(w.chunks[1], expected_second) << c.last_error;
    EXPECT_TRUE(w.chunks[1].ends_with(c.suffix)) << testing::PrintToString(w.chunks[1]);
  }
}

TEST(MessageWriterTest, ResourceMessages) {
  RecordingWriter w;
  w.m_dwOptions = MWO_PREFIX;
  w.WriteResourceError(27009, u"C:\\dumps\\monctl.dmp");
  platform::ResourceString text = platform::LoadStringW(27009);
  ASSERT_NE(text.text, nullptr);
  std::u16string format(text.text, text.length);
  std::u16string expected = u"ERROR: " + format.substr(0, format.size() - 2) + u"C:\\dumps\\monctl.dmp\n";
  ASSERT_TRUE(format.ends_with(u"%s"));
  EXPECT_EQ(w.All(), expected);

  // Id 0 and a missing string give the empty text, still decorated and
  // ended like any error.
  for (uint32_t id : {0u, 1u}) {
    RecordingWriter e;
    e.m_dwOptions = MWO_PREFIX;
    e.WriteResourceError(id);
    EXPECT_EQ(e.All(), u"ERROR: \n") << id;
  }
  RecordingWriter n;
  n.WriteResourceMessage(0, MWF_NORMAL, 0, {});
  ASSERT_EQ(n.chunks.size(), 1u);
  EXPECT_EQ(n.chunks[0], u"");
}

}  // namespace
}  // namespace monctl
