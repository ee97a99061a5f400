// The tool's options: names and keywords, values, and the checks of their
// combination, through the framework's parser.
#include "app/console.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/console.h"

namespace monctl {
namespace {

class ToolConsole : public CConsole {
 public:
  ToolConsole() {
    // The console base puts standard error into UTF-16 mode; the test
    // framework writes narrow text there.
    platform::SetTranslationMode(platform::Stream::kError, platform::kModeText);
  }
};

void Parse(CConsole& console, std::vector<std::u16string> args) {
  args.insert(args.begin(), u"monctl");
  std::vector<char16_t*> argv;
  for (std::u16string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  console.ParseCommandLine(static_cast<int>(args.size()), argv.data());
}

constexpr int32_t kLongMax = 2147483647;
constexpr int32_t kLongMin = -2147483647 - 1;

const std::u16string kRequired = u"a parameter is required.";
const std::u16string kToggle = u"the /toggle parameter is only valid with the /rotate parameter.";

// What a command line leaves in the console. Settings without a value are
// not checked by a case.
struct OptionCase {
  const char* name;
  std::vector<std::u16string> args;
  uint32_t parameters;
  std::optional<int32_t> device{};
  std::optional<int32_t> brightness{};
  std::optional<int32_t> contrast{};
  std::optional<std::pair<int32_t, int32_t>> position{};
  std::optional<uint32_t> power{};
  std::optional<uint32_t> rotate{};
  std::u16string invalid{};
  std::u16string unknown{};
  std::u16string error{};
  bool help = false;
};

TEST(ToolOptionsTest, CommandLines) {
  const OptionCase cases[] = {
      {.name = "names ignore case",
       .args = {u"/DEVICE", u"2", u"/Brightness", u"30"},
       .parameters = kOptionDevice | kOptionBrightness,
       .device = 2,
       .brightness = 30,
       .contrast = 50},
      {.name = "b is brightness", .args = {u"/b", u"70"}, .parameters = kOptionDevice | kOptionBrightness,
       .device = 1, .brightness = 70},
      {.name = "c is contrast", .args = {u"-c:20"}, .parameters = kOptionDevice | kOptionContrast,
       .brightness = 50, .contrast = 20},
      {.name = "p is position", .args = {u"/p", u"10", u"20"}, .parameters = kOptionDevice | kOptionPosition,
       .position = std::pair{10, 20}},
      {.name = "pr is properties", .args = {u"/pr"}, .parameters = kOptionDevice | kOptionProperties,
       .device = 1},
      {.name = "pow is power", .args = {u"/pow", u"off"}, .parameters = kOptionPower, .device = 0,
       .power = kPowerOff},
      {.name = "d is device, not display", .args = {u"/d", u"3", u"/s"},
       .parameters = kOptionDevice | kOptionSave, .device = 3},
      {.name = "l is listdevices", .args = {u"/l"}, .parameters = kOptionListDevices, .device = 0},
      {.name = "t is toggle", .args = {u"/r", u"90", u"/t"},
       .parameters = kOptionDevice | kOptionRotate | kOptionToggle, .rotate = kRotate90},
      {.name = "o is on", .args = {u"/power", u"o"}, .parameters = kOptionPower, .power = kPowerOn},
      {.name = "of is off", .args = {u"/power", u"OF"}, .parameters = kOptionPower, .power = kPowerOff},
      {.name = "low", .args = {u"/power:low"}, .parameters = kOptionPower, .power = kPowerLow},
      {.name = "s is saver", .args = {u"/power", u"s"}, .parameters = kOptionPower, .power = kPowerSaver},
      {.name = "1 is 180", .args = {u"/rotate", u"1"}, .parameters = kOptionDevice | kOptionRotate,
       .rotate = kRotate180},
      {.name = "c is cw", .args = {u"/rotate", u"c"}, .parameters = kOptionDevice | kOptionRotate,
       .rotate = kRotateCw},
      {.name = "ccw", .args = {u"/rotate", u"CCW"}, .parameters = kOptionDevice | kOptionRotate,
       .rotate = kRotateCcw},
      {.name = "2 is 270", .args = {u"/rotate", u"2"}, .parameters = kOptionDevice | kOptionRotate,
       .rotate = kRotate270},
      {.name = "d is default", .args = {u"/rotate", u"d"}, .parameters = kOptionDevice | kOptionRotate,
       .rotate = kRotateDefault},
      {.name = "0", .args = {u"/rotate", u"0", u"/toggle"},
       .parameters = kOptionDevice | kOptionRotate | kOptionToggle, .rotate = kRotate0},
      {.name = "nothing touched keeps the initial settings", .args = {u"/listdevices"},
       .parameters = kOptionListDevices, .device = 0, .brightness = 50, .contrast = 50,
       .position = std::pair{0, 0}, .power = kPowerOn, .rotate = kRotate0},
      {.name = "a later occurrence wins", .args = {u"/b", u"10", u"/b", u"20", u"/device", u"4", u"/device", u"5"},
       .parameters = kOptionDevice | kOptionBrightness, .device = 5, .brightness = 20},
      {.name = "negative device is accepted", .args = {u"/device", u"-1", u"/save"},
       .parameters = kOptionDevice | kOptionSave, .device = -1},
      {.name = "device beyond the range is accepted", .args = {u"/device", u"99999999999", u"/save"},
       .parameters = kOptionDevice | kOptionSave, .device = kLongMax},
      {.name = "brightness without digits is 0", .args = {u"/brightness", u"x"},
       .parameters = kOptionDevice | kOptionBrightness, .brightness = 0},
      {.name = "negative brightness is accepted here", .args = {u"/brightness", u"-1"},
       .parameters = kOptionDevice | kOptionBrightness, .brightness = -1},
      {.name = "largest brightness", .args = {u"/brightness", u"2147483647"},
       .parameters = kOptionDevice | kOptionBrightness, .brightness = kLongMax},
      {.name = "negative position", .args = {u"/position", u"-100", u"0"},
       .parameters = kOptionDevice | kOptionPosition, .position = std::pair{-100, 0}},
      {.name = "position is not range-checked", .args = {u"/position", u"99999999999", u"-99999999999"},
       .parameters = kOptionDevice | kOptionPosition, .position = std::pair{kLongMax, kLongMin}},
      {.name = "values of save are ignored", .args = {u"/save", u"1"}, .parameters = kOptionDevice | kOptionSave,
       .device = 1},
      {.name = "values of listdevices are ignored", .args = {u"/listdevices:x,y"},
       .parameters = kOptionListDevices},
      {.name = "properties alone applies to device 1", .args = {u"/properties"},
       .parameters = kOptionDevice | kOptionProperties, .device = 1},

      // Invalid values: the option's bit is set all the same.
      {.name = "rotation keyword", .args = {u"/rotate", u"45"}, .parameters = kOptionDevice | kOptionRotate,
       .rotate = kRotate0, .invalid = u"\t/rotate (expected: 0,90,180,270,cw,ccw,default)\n"},
      {.name = "power keyword", .args = {u"/power", u"x"}, .parameters = kOptionPower, .power = kPowerOn,
       .invalid = u"\t/power (expected: on,off,low,saver)\n"},
      {.name = "power without value", .args = {u"/power"}, .parameters = kOptionPower,
       .invalid = u"\t/power\n"},
      {.name = "rotation with two values", .args = {u"/rotate:90,180"},
       .parameters = kOptionDevice | kOptionRotate, .invalid = u"\t/rotate\n"},
      {.name = "brightness overflow", .args = {u"/brightness", u"99999999999"},
       .parameters = kOptionDevice | kOptionBrightness, .invalid = u"\t/brightness\n"},
      {.name = "contrast underflow", .args = {u"/contrast", u"-99999999999"},
       .parameters = kOptionDevice | kOptionContrast, .invalid = u"\t/contrast\n"},
      {.name = "brightness with two values", .args = {u"/brightness", u"10", u"20"},
       .parameters = kOptionDevice | kOptionBrightness, .invalid = u"\t/brightness\n"},
      {.name = "contrast without value", .args = {u"/contrast", u"/save"},
       .parameters = kOptionDevice | kOptionContrast | kOptionSave, .invalid = u"\t/contrast\n"},
      {.name = "position with one value", .args = {u"/position", u"10"},
       .parameters = kOptionDevice | kOptionPosition, .position = std::pair{0, 0},
       .invalid = u"\t/position\n"},
      {.name = "position with three values", .args = {u"/position", u"1", u"2", u"3"},
       .parameters = kOptionDevice | kOptionPosition, .invalid = u"\t/position\n"},
      {.name = "device 0", .args = {u"/device", u"0"}, .parameters = kOptionDevice,
       .invalid = u"\t/device\n", .error = kRequired, .help = true},
      {.name = "device x", .args = {u"/device", u"x"}, .parameters = kOptionDevice,
       .invalid = u"\t/device\n", .error = kRequired, .help = true},
      {.name = "device with two values", .args = {u"/device", u"1", u"2", u"/save"},
       .parameters = kOptionDevice | kOptionSave, .invalid = u"\t/device\n"},

      // Unknown options.
      {.name = "longer than the name", .args = {u"/brightnessx", u"1", u"/save"},
       .parameters = kOptionSave, .unknown = u"\t/brightnessx\n", .help = true},
      {.name = "unknown name", .args = {u"/bogus", u"1", u"2"}, .parameters = 0,
       .unknown = u"\t/bogus\n", .help = true},

      // Validation.
      {.name = "no arguments", .args = {}, .parameters = kOptionDevice, .device = 1, .error = kRequired,
       .help = true},
      {.name = "device alone", .args = {u"/device", u"3"}, .parameters = kOptionDevice, .device = 3,
       .error = kRequired, .help = true},
      {.name = "framework option alone", .args = {u"/display", u"normal"}, .parameters = kOptionDevice,
       .error = kRequired, .help = true},
      {.name = "toggle without rotate", .args = {u"/toggle"}, .parameters = kOptionDevice | kOptionToggle,
       .error = kToggle, .help = true},
      {.name = "toggle with a rejected rotate", .args = {u"/toggle", u"/rotate", u"45"},
       .parameters = kOptionDevice | kOptionToggle | kOptionRotate,
       .invalid = u"\t/rotate (expected: 0,90,180,270,cw,ccw,default)\n"},
      {.name = "help stops validation", .args = {u"/help"}, .parameters = 0, .device = 0, .help = true},
      {.name = "help with options", .args = {u"/toggle", u"/?"}, .parameters = kOptionToggle, .help = true},
  };
  for (const OptionCase& c : cases) {
    ToolConsole console;
    Parse(console, c.args);
    EXPECT_EQ(console.m_dwParameters, c.parameters) << c.name;
    if (c.device) {
      EXPECT_EQ(console.m_nDevice, *c.device) << c.name;
    }
    if (c.brightness) {
      EXPECT_EQ(console.m_nBrightness, *c.brightness) << c.name;
    }
    if (c.contrast) {
      EXPECT_EQ(console.m_nContrast, *c.contrast) << c.name;
    }
    if (c.position) {
      EXPECT_EQ(console.m_ptPosition.x, c.position->first) << c.name;
      EXPECT_EQ(console.m_ptPosition.y, c.position->second) << c.name;
    }
    if (c.power) {
      EXPECT_EQ(console.m_dwPower, *c.power) << c.name;
    }
    if (c.rotate) {
      EXPECT_EQ(console.m_dwRotate, *c.rotate) << c.name;
    }
    EXPECT_EQ(console.m_strInvalidParameters, c.invalid) << c.name;
    EXPECT_EQ(console.m_strUnknownParameters, c.unknown) << c.name;
    EXPECT_EQ(console.m_strError, c.error) << c.name;
    EXPECT_EQ(console.m_dwError, 0u) << c.name;
    EXPECT_EQ(console.m_bHelp, c.help) << c.name;
    EXPECT_TRUE(console.IsUsageRequired() ==
                (c.help || !c.invalid.empty() || !c.unknown.empty() || !c.error.empty()))
        << c.name;
  }
}

TEST(ToolOptionsTest, ResultOfOptionsWithoutValues) {
  struct Case {
    const char16_t* name;
    int32_t result;
  };
  const Case cases[] = {
      {u"listdevices", 3}, {u"pr", 5}, {u"s", 8}, {u"t", 9}, {u"b", -3}, {u"x", -1}, {u"display", 0},
      {u"?", 2},
  };
  for (const Case& c : cases) {
    ToolConsole console;
    EXPECT_EQ(console.OnParameter(c.name, nullptr, 0), c.result)
        << testing::PrintToString(std::u16string(c.name));
  }
}

TEST(ToolOptionsTest, ErrorsCarryTheirPrefixAndDisplayAcceptsNoneAndNormal) {
  ToolConsole console;
  Parse(console, {u"/display", u"verbose", u"/save"});
  EXPECT_EQ(console.m_strInvalidParameters, u"\t/display (expected: none,normal)\n");
  class Sink : public ToolConsole {
   public:
    void OutputText(const std::u16string& text) override { out += text; }
    std::u16string out;
  } sink;
  sink.WriteError(u"x");
  sink.Write(u"y\n");
  EXPECT_EQ(sink.out, u"ERROR: x\ny\n");
}

}  // namespace
}  // namespace monctl
