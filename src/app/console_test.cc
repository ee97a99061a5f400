// The tool's options through the framework's parser: abbreviated names and
// keywords, and the values they leave. (The end-to-end cases show what the
// tool reports for invalid values and combinations.)
#include "app/console.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/console.h"

namespace monctl {
namespace {

// The console after parsing `line` (split at its spaces), as "parameters
// d<device> b<brightness> c<contrast> x,y w<power> r<rotate>", " help" when
// the usage screen is asked for, then whatever was reported; " changed" when
// checking the parameters again answers otherwise.
std::u16string Parse(const std::u16string& line) {
  std::vector<std::u16string> args{u"monctl"};
  for (size_t at = 0, end; at < line.size(); at = end + 1) {
    end = std::min(line.find(u' ', at), line.size());
    args.push_back(line.substr(at, end - at));
  }
  std::vector<char16_t*> argv;
  for (std::u16string& a : args) argv.push_back(a.data());
  CConsole c;
  // The console puts standard error into UTF-16 mode; the test framework writes narrow text there.
  platform::SetTranslationMode(platform::Stream::kError, platform::kModeText);
  c.ParseCommandLine(static_cast<int>(args.size()), argv.data());
  const bool changed = c.ValidateParameters() == c.m_bHelp;
  return Format(u"%x d%d b%d c%d %d,%d w%x r%x", c.m_dwParameters, c.m_nDevice, c.m_nBrightness, c.m_nContrast,
                c.m_ptPosition.x, c.m_ptPosition.y, c.m_dwPower, c.m_dwRotate) +
         (c.m_bHelp ? u" help" : u"") + (changed ? u" changed" : u"") + c.m_strInvalidParameters + c.m_strUnknownParameters + c.m_strError;
}

TEST(ToolOptionsTest, CommandLines) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"/DEVICE 2 /Brightness 30", u"3 d2 b30 c50 0,0 w1 r1"},
      {u"/b 10 /b 70 -c:20", u"7 d1 b70 c20 0,0 w1 r1"},
      {u"/p 10 20", u"11 d1 b50 c50 10,20 w1 r1"},
      {u"/pr", u"21 d1 b50 c50 0,0 w1 r1"},
      {u"/pow off", u"40 d0 b50 c50 0,0 w2 r1"},
      {u"/d 4 /d 3 /s 1", u"101 d3 b50 c50 0,0 w1 r1"},
      {u"/l", u"8 d0 b50 c50 0,0 w1 r1"},
      {u"/listdevices:x,y /rotate 90 /t", u"288 d0 b50 c50 0,0 w1 r2"},
      {u"/power o", u"40 d0 b50 c50 0,0 w1 r1"},
      {u"/power OF", u"40 d0 b50 c50 0,0 w2 r1"},
      {u"/power:low", u"40 d0 b50 c50 0,0 w4 r1"},
      {u"/power s", u"40 d0 b50 c50 0,0 w8 r1"},
      {u"/rotate 1", u"81 d1 b50 c50 0,0 w1 r4"},
      {u"/rotate 2", u"81 d1 b50 c50 0,0 w1 r8"},
      {u"/rotate c", u"81 d1 b50 c50 0,0 w1 r10"},
      {u"/rotate CCW", u"81 d1 b50 c50 0,0 w1 r20"},
      {u"/rotate d", u"81 d1 b50 c50 0,0 w1 r40"},
      {u"/brightness x /contrast 2147483647", u"7 d1 b0 c2147483647 0,0 w1 r1"},
      {u"/position 99999999999 -99999999999", u"11 d1 b50 c50 2147483647,-2147483648 w1 r1"},
      {u"/m x /p 1 2", u"411 d1 b50 c50 1,2 w1 r1"},
  };
  for (const auto& [args, expected] : cases) EXPECT_EQ(Parse(args), expected) << testing::PrintToString(args);
}

}  // namespace
}  // namespace monctl
