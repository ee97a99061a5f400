#include "app/console.h"

#include "platform/text.h"

namespace monctl {

// The framework's display and help options are matched after these. Monitor
// and json share no leading letter with any other name, so every
// abbreviation selects what it would if they came after help.
const KEYWORD kToolOptions[12] = {
    {u"brightness", kOptionBrightness, 0}, {u"contrast", kOptionContrast, 0},
    {u"device", kOptionDevice, 0},         {u"listdevices", kOptionListDevices, 0},
    {u"position", kOptionPosition, 0},     {u"properties", kOptionProperties, 0},
    {u"power", kOptionPower, 0},           {u"rotate", kOptionRotate, 0},
    {u"save", kOptionSave, 0},             {u"toggle", kOptionToggle, 0},
    {u"monitor", kOptionMonitor, 0},       {u"json", kOptionJson, 0},
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

namespace {

constexpr uint32_t kActionOptions = kOptionDevice | kOptionListDevices | kOptionPower;

constexpr char16_t kSyntax[] =
    u"[/brightness <value>] [/contrast <value>] [/device <index>]\n"
    u"\t[/display [<level> [<mode>]]] [/listdevices] [/position <x> <y>]\n"
    u"\t[/power <on|low|off|saver>] [/properties] [/rotate <angle> [/toggle]]\t[/save] [/?]\n"
    u"\t[/monitor <text>] [/json]\n"
    u"\n"
    u"\n"
    u"Where:\n"
    u"\n"
    u"  /brightness      Sets the brightness level of the selected monitor.\n"
    u"  /contrast        Sets the contrast level of the selected monitor.\n"
    u"  /device          Specifies the 1-based index of the monitor to select.\n"
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
    u"  /json            With /listdevices: lists the monitors as one JSON document.\n";

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
      int32_t device = TextToLong(values[0], &overflow);
      if (device == 0) return kParameterInvalid;
      m_nDevice = device;
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
      return index;  // listdevices, properties, save, toggle, json: values are not examined
  }
}

bool CConsole::ValidateParameters() {
  if (m_bHelp) return false;
  if ((m_dwParameters & (kOptionDevice | kOptionMonitor)) == (kOptionDevice | kOptionMonitor)) {
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
