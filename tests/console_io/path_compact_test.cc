// Path shortening for the progress line: the promise both builds keep.
#include <algorithm>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "platform/path.h"
#include "platform/types.h"

namespace monctl {
namespace {

// Shortened to `width` characters, terminator included.
std::u16string Compact(const std::u16string& path, uint32_t width) {
  char16_t out[platform::kMaxPath];
  std::fill(std::begin(out), std::end(out), u'#');
  EXPECT_TRUE(platform::PathCompactPathExW(out, path.c_str(), width, 0));
  return out;
}

const std::u16string kPath = u"C:\\Users\\someone\\Documents\\Monitors\\Calibration\\report.txt";
const std::u16string kLongName = u"C:\\data\\an-extremely-long-file-name-for-the-progress-line.txt";

// ---- the promise of both builds --------------------------------------------

TEST(PathCompaction, PathWithRoomToSpareIsUnchanged) {
  EXPECT_EQ(Compact(kPath, static_cast<uint32_t>(kPath.size() + 2)), kPath);
  EXPECT_EQ(Compact(u"C:\\a.txt", 40), u"C:\\a.txt");
}

TEST(PathCompaction, EveryWidthIsKept) {
  for (const std::u16string& path : {kPath, kLongName}) {
    for (uint32_t width = 1; width <= path.size() + 2; ++width) {
      EXPECT_LE(Compact(path, width).size(), width - 1) << "width " << width;
    }
  }
}

TEST(PathCompaction, FoldersGiveWayToAnEllipsisAndTheFileNameStays) {
  // "...\report.txt" needs 14 characters.
  for (uint32_t width = 15; width <= kPath.size(); ++width) {
    std::u16string result = Compact(kPath, width);
    ASSERT_GE(result.size(), 14u) << "width " << width;
    EXPECT_EQ(result.substr(result.size() - 14), u"...\\report.txt") << "width " << width;
    // What is left of the folders is their beginning.
    std::u16string head = result.substr(0, result.size() - 14);
    EXPECT_EQ(kPath.substr(0, head.size()), head) << "width " << width;
  }
}

TEST(PathCompaction, FileNameThatDoesNotFitIsCutWithAnEllipsis) {
  for (uint32_t width = 16; width < 40; ++width) {
    std::u16string result = Compact(kLongName, width);
    EXPECT_LE(result.size(), width - 1u);
    ASSERT_GE(result.size(), 3u);
    EXPECT_EQ(result.substr(result.size() - 3), u"...") << "width " << width;
    EXPECT_NE(result.find(u"an-ext"), std::u16string::npos) << "width " << width;
  }
}

#ifndef _WIN32
// ---- the native shortening ---------------------------------------------------
// (The system's shortening on Windows may cut a folder name anywhere.)

TEST(NativePathCompaction, PathThatJustFitsIsUnchanged) {
  EXPECT_EQ(Compact(kPath, static_cast<uint32_t>(kPath.size() + 1)), kPath);
}

TEST(NativePathCompaction, WholeFoldersGiveWayFromTheFileNameBackwards) {
  // "C:\Users\someone\" and "...\report.txt" make 31 characters.
  EXPECT_EQ(Compact(kPath, 32), u"C:\\Users\\someone\\...\\report.txt");
  EXPECT_EQ(Compact(kPath, 31), u"C:\\Users\\...\\report.txt");
  EXPECT_EQ(Compact(kPath, 18), u"C:\\...\\report.txt");
  EXPECT_EQ(Compact(kPath, 17), u"...\\report.txt");
  EXPECT_EQ(Compact(u"/home/someone/state/monctl/dump.txt", 27), u"/home/someone/.../dump.txt");
  EXPECT_EQ(Compact(u"/home/someone/state/monctl/dump.txt", 26), u"/home/.../dump.txt");
}

TEST(NativePathCompaction, FileNameAloneIsCutAtTheEnd) {
  EXPECT_EQ(Compact(kPath, 14), u"...report.txt");
  EXPECT_EQ(Compact(kPath, 13), u"report.tx...");
  EXPECT_EQ(Compact(kPath, 4), u"...");
  EXPECT_EQ(Compact(kPath, 3), u"..");
  EXPECT_EQ(Compact(kPath, 1), u"");
  // A surrogate pair is not split.
  EXPECT_EQ(Compact(u"/a/x\U0001F600yz.txt", 7), u"x\U0001F600...");
  EXPECT_EQ(Compact(u"/a/x\U0001F600yz.txt", 6), u"x...");
}
#endif

}  // namespace
}  // namespace monctl
