#include "app/console.h"

#include "platform/text.h"

namespace monctl {

// The framework's display and help options are matched after these. Monitor
// and json share no leading letter with any other name, so every
// abbreviation selects what it would if they came after help.
const KEYWORD kToolOptions[15] = {
    {u"brightness", kOptionBrightness, 0}, {u"contrast", kOptionContrast, 0},
    {u"device", kOptionDevice, 0},         {u"listdevices", kOptionListDevices, 0},
    {u"position", kOptionPosition, 0},     {u"properties", kOptionProperties, 0},
    {u"power", kOptionPower, 0},           {u"rotate", kOptionRotate, 0},
    {u"save", kOptionSave, 0},             {u"toggle", kOptionToggle, 0},
    {u"monitor", kOptionMonitor, 0},       {u"json", kOptionJson, 0},
    {u"vcp", kOptionVcp, 0},               {u"input", kOptionInput, 0},
    {u"capabilities", kOptionCapabilities, 0},
};

const KEYWORD kRotateKeywords[7] = {
    {u"0", kRotate0, 0},     {u"90", kRotate90, 0},   {u"180", kRotate180, 0},
    {u"270", kRotate270, 0}, {u"cw", kRotateCw, 0},   {u"ccw", kRotateCcw, 0},
    {u"default", kRotateDefault, 0},
};

const KEYWORD kPowerKeywords[4] = {
    {u"on", kPowerOn, 0},
    {u"off", kPowerOff, 0},
    {u"low", kPowerLow, 0},
    {u"saver", kPowerSaver, 0},
};

const KEYWORD kDeviceKeywords[1] = {{u"all", 1, 0}};

const KEYWORD kInputKeywords[18] = {
    {u"vga1", 0x01, 0},       {u"vga2", 0x02, 0},       {u"dvi1", 0x03, 0},       {u"dvi2", 0x04, 0},
    {u"composite1", 0x05, 0}, {u"composite2", 0x06, 0}, {u"svideo1", 0x07, 0},    {u"svideo2", 0x08, 0},
    {u"tuner1", 0x09, 0},     {u"tuner2", 0x0A, 0},     {u"tuner3", 0x0B, 0},     {u"component1", 0x0C, 0},
    {u"component2", 0x0D, 0}, {u"component3", 0x0E, 0}, {u"dp1", 0x0F, 0},        {u"dp2", 0x10, 0},
    {u"hdmi1", 0x11, 0},      {u"hdmi2", 0x12, 0},
};

namespace {

// A whole text of digits: decimal, or hexadecimal after "0x" (or always,
// with `hex`); false for anything else or a value above `maximum`.
bool ParseNumber(std::u16string_view text, bool hex, uint32_t maximum, uint32_t* value) {
  if (text.size() > 2 && text[0] == u'0' && AsciiToLower(text[1]) == u'x') {
    text.remove_prefix(2);
    hex = true;
  }
  if (text.empty()) return false;
  uint32_t number = 0;
  for (const char16_t c : text) {
    const char16_t lower = AsciiToLower(c);
    const uint32_t digit = IsAsciiDigit(c) ? c - u'0' : hex && lower >= u'a' && lower <= u'f' ? lower - u'a' + 10 : 99;
    if (digit >= (hex ? 16u : 10u)) return false;
    number = number * (hex ? 16 : 10) + digit;
    if (number > maximum) return false;
  }
  *value = number;
  return true;
}

constexpr uint32_t kActionOptions = kOptionDevice | kOptionListDevices | kOptionPower;

constexpr char16_t kSyntax[] =
    u"[/brightness <value>] [/contrast <value>] [/device <index>]\n"
    u"\t[/display [<level> [<mode>]]] [/listdevices] [/position <x> <y>]\n"
    u"\t[/power <on|low|off|saver>] [/properties] [/rotate <angle> [/toggle]]\t[/save] [/?]\n"
    u"\t[/monitor <text>] [/json]\n"
    u"\t[/vcp <code> [<value>]] [/input <source>] [/capabilities]\n"
    u"\n"
    u"\n"
    u"Where:\n"
    u"\n"
    u"  /brightness      Sets the brightness level of the selected monitor.\n"
    u"  /contrast        Sets the contrast level of the selected monitor.\n"
    u"  /device          Specifies the 1-based index of the monitor to select,\n"
    u"                    or all to act on every monitor.\n"
    u"                    See the /listdevices parameter. (default: 1)\n"
    u"  /display         Sets the level of information that will be displayed and\n"
    u"                    optionally the translation mode.\n"
    u"                    <level> is either of the following values:\n"
    u"                     none    - no display at all.\n"
    u"                     normal  - standard display (default).\n"
    u"                    <mode> is either of the following translation modes:\n"
    u"                     text    - default mode.\n"
    u"                     unicode - UTF-16 mode (default).\n"
    u"                     utf8    - UTF-8 mode.\n"
    u"  /listdevices     Lists available monitors.\n"
    u"  /position        Sets the positional coordinates of the selected monitor\n"
    u"                    in reference to the desktop area.\n"
    u"                    The <x> and <y> coordinates can be negatives.\n"
    u"                    The primary display device is always located at 0,0.\n"
    u"  /power           Sets the power-saving mode.\n"
    u"                    <mode> is either of the following values:\n"
    u"                     on      - turns all monitors on.\n"
    u"                     off     - turns all monitors off.\n"
    u"                     low     - sets all monitors in low-power mode.\n"
    u"                     saver   - starts the screen saver.\n"
    u"  /properties      Displays properties of all or selected monitors.\n"
    u"  /rotate          Sets display orientation.\n"
    u"                    <angle> specifies the display orientation:\n"
    u"                     default - default orientation.\n"
    u"                     0       - natural orientation.\n"
    u"                     90      - rotated 90 degrees.\n"
    u"                     180     - rotated 180 degrees.\n"
    u"                     270     - rotated 270 degrees.\n"
    u"                     cw      - rotated 90 degrees clockwise.\n"
    u"                     ccw     - rotated 90 degrees counter-clockwise.\n"
    u"  /save            Saves monitor settings to nonvolatile storage.\n"
    u"  /toggle          Toggles between natural and specified orientation.\n"
    u"  /?               Displays this help message.\n"
    u"  /monitor         Selects the monitor whose serial number or id is <text>,\n"
    u"                    or whose model name contains <text>. The id is the\n"
    u"                    manufacturer and product code, e.g. DEL41B7.\n"
    u"  /json            With /listdevices: lists the monitors as one JSON document.\n"
    u"  /vcp             Reads VCP feature <code> (hexadecimal, 00 to FF) of the\n"
    u"                    selected monitor, or sets it to <value> (0 to 65535).\n"
    u"  /input           Switches the selected monitor to input <source>:\n"
    u"                    vga1, vga2, dvi1, dvi2, composite1, composite2, svideo1,\n"
    u"                    svideo2, tuner1, tuner2, tuner3, component1, component2,\n"
    u"                    component3, dp1, dp2, hdmi1, hdmi2, or a number 1 to 255.\n"
    u"  /capabilities    Displays the capabilities string of the selected monitor.\n";

}  // namespace

CConsole::CConsole() {
  m_dwOptions = MWO_PREFIX;
  m_dwDisplayLevels = kDisplayNone | kDisplayNormal;
}

CConsole::~CConsole() = default;

std::u16string CConsole::GetDescription() {
  return u"Controls monitor brightness, contrast, orientation and power management.";
}

std::u16string CConsole::GetSyntax() { return kSyntax; }

int32_t CConsole::OnParameter(const char16_t* name, char16_t** values, uint32_t count) {
  uint32_t bit = 0;
  int32_t index = FindKeyword(name, kToolOptions, &bit);
  if (index < 0) return CBaseConsole::OnParameter(name, values, count);
  m_dwParameters |= bit;

  bool overflow = false;
  switch (bit) {
    case kOptionDevice:
      if (count != 1) return kParameterInvalid;
    {
      if (*values[0] != u'\0' && FindKeyword(values[0], kDeviceKeywords, nullptr) >= 0) {
        m_bAllDevices = true;
        m_bDeviceGiven = true;
        return 0;
      }
      int32_t device = TextToLong(values[0], &overflow);
      if (device == 0) return kParameterInvalid;
      m_nDevice = device;
      m_bAllDevices = false;
      m_bDeviceGiven = true;
      return 0;
    }
    case kOptionBrightness:
    case kOptionContrast: {
      if (count != 1) return kParameterInvalid;
      int32_t level = TextToLong(values[0], &overflow);
      (bit == kOptionBrightness ? m_nBrightness : m_nContrast) = level;
      return overflow ? kParameterInvalid : 0;
    }
    case kOptionPosition:
      if (count != 2) return kParameterInvalid;
      m_ptPosition.x = TextToLong(values[0], &overflow);
      m_ptPosition.y = TextToLong(values[1], &overflow);
      return 0;
    case kOptionMonitor:
      if (count != 1 || *values[0] == u'\0') return kParameterInvalid;
      m_strMonitor = values[0];
      return 0;
    case kOptionVcp: {
      uint32_t code = 0;
      uint32_t value = 0;
      if (count < 1 || count > 2 || !ParseNumber(values[0], true, 0xFF, &code) ||
          (count == 2 && !ParseNumber(values[1], false, 0xFFFF, &value))) {
        return kParameterInvalid;
      }
      m_nVcpCode = static_cast<uint8_t>(code);
      m_nVcpValue = count == 2 ? std::optional<uint32_t>(value) : std::nullopt;
      return 0;
    }
    case kOptionInput:
      if (count != 1) return kParameterInvalid;
      if (FindKeyword(values[0], kInputKeywords, &m_dwInput) >= 0 || ParseNumber(values[0], false, 0xFF, &m_dwInput)) {
        if (m_dwInput != 0) return 0;
      }
      SetExpectedValues(kInputKeywords, 0);
      return kParameterInvalid;
    case kOptionPower:
    case kOptionRotate: {
      if (count != 1) return kParameterInvalid;
      std::span<const KEYWORD> table =
          bit == kOptionPower ? std::span<const KEYWORD>(kPowerKeywords) : kRotateKeywords;
      uint32_t value = 0;
      if (FindKeyword(values[0], table, &value) >= 0) {
        (bit == kOptionPower ? m_dwPower : m_dwRotate) = value;
        return 0;
      }
      SetExpectedValues(table, 0);
      return kParameterInvalid;
    }
    default:
      return index;  // listdevices, properties, save, toggle, json, capabilities: values are not examined
  }
}

bool CConsole::ValidateParameters() {
  if (m_bHelp) return false;
  if (m_bAllDevices && (m_dwParameters & (kOptionRotate | kOptionPosition | kOptionMonitor)) != 0) {
    SetErrorText(u"the /device all parameter cannot be used with /rotate, /position or /monitor.");
    return false;
  }
  // The default device below does not count, so that a second check answers as the first.
  if (m_bDeviceGiven && (m_dwParameters & kOptionMonitor) != 0) {
    SetErrorText(u"the /device and /monitor parameters cannot be used together.");
    return false;
  }
  if ((m_dwParameters & kActionOptions) == 0) {
    m_dwParameters |= kOptionDevice;
    m_nDevice = 1;
  }
  // /monitor, like /device, only says which monitor the actions are for.
  if ((m_dwParameters & ~kOptionMonitor) == kOptionDevice) {
    SetErrorText(u"a parameter is required.");
    m_bHelp = true;
    return false;
  }
  if ((m_dwParameters & kOptionToggle) != 0 && (m_dwParameters & kOptionRotate) == 0) {
    SetErrorText(u"the /toggle parameter is only valid with the /rotate parameter.");
    return false;
  }
  if ((m_dwParameters & kOptionJson) != 0 && (m_dwParameters & kOptionListDevices) == 0) {
    SetErrorText(u"the /json parameter is only valid with the /listdevices parameter.");
    return false;
  }
  return true;
}

}  // namespace monctl
