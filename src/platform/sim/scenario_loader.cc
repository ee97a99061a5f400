#include "platform/sim/scenario_loader.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace monctl::sim {
namespace {

using nlohmann::json;

// A schema violation: the key path and what is wrong there. Thrown only
// inside this file; ParseScenario turns it into its error text.
struct SchemaError {
  std::string path;
  std::string problem;
};

[[noreturn]] void Fail(const std::string& path, std::string problem) {
  throw SchemaError{path, std::move(problem)};
}

// A key or a text from the scenario as a message shows it: control
// characters escaped as JSON writes them, so that the message stays on one
// line.
std::string Printable(std::string_view raw) {
  std::string text;
  for (const char c : raw) {
    const auto unit = static_cast<unsigned char>(c);
    if (c == '\n') {
      text += "\\n";
    } else if (c == '\r') {
      text += "\\r";
    } else if (c == '\t') {
      text += "\\t";
    } else if (unit < 0x20 || unit == 0x7F) {
      text += fmt::format("\\u{:04x}", unit);
    } else {
      text += c;
    }
  }
  return text;
}

std::string Member(const std::string& path, std::string_view key) {
  return path.empty() ? Printable(key) : fmt::format("{}.{}", path, Printable(key));
}

std::string Element(const std::string& path, size_t index) { return fmt::format("{}[{}]", path, index); }

// How a value that does not fit is named in a message.
std::string Describe(const json& value) {
  switch (value.type()) {
    case json::value_t::object:
      return "an object";
    case json::value_t::array:
      return value.size() == 1 ? "an array of 1 element"
                               : fmt::format("an array of {} elements", value.size());
    case json::value_t::string:
      return "a string";
    default:
      return value.dump();
  }
}

[[noreturn]] void Expected(const std::string& path, std::string_view what, const json& value) {
  Fail(path, fmt::format("expected {}, got {}", what, Describe(value)));
}

// Checks that `value` is an object whose keys are all in `keys`.
void CheckObject(const json& value, const std::string& path, std::initializer_list<std::string_view> keys) {
  if (!value.is_object()) Expected(path.empty() ? "top level" : path, "an object", value);
  for (const auto& item : value.items()) {
    if (std::find(keys.begin(), keys.end(), item.key()) == keys.end()) {
      std::string known;
      for (std::string_view key : keys) known += fmt::format("{}{}", known.empty() ? "" : ", ", key);
      Fail(Member(path, item.key()), fmt::format("unknown key (expected one of: {})", known));
    }
  }
}

const json* Find(const json& object, std::string_view key) {
  const auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

const json& Require(const json& object, const std::string& path, std::string_view key) {
  const json* value = Find(object, key);
  if (value == nullptr) Fail(Member(path, key), "missing (this key is required)");
  return *value;
}

uint32_t ToUint32(const json& value, const std::string& path) {
  if (value.is_number_unsigned()) {
    const auto number = value.get<uint64_t>();
    if (number > std::numeric_limits<uint32_t>::max()) {
      Fail(path, fmt::format("{} does not fit an unsigned 32-bit integer", number));
    }
    return static_cast<uint32_t>(number);
  }
  Expected(path, "an unsigned 32-bit integer", value);
}

int32_t ToInt32(const json& value, const std::string& path) {
  if (value.is_number_unsigned()) {
    const auto number = value.get<uint64_t>();
    if (number > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
      Fail(path, fmt::format("{} does not fit a signed 32-bit integer", number));
    }
    return static_cast<int32_t>(number);
  }
  if (value.is_number_integer()) {
    const auto number = value.get<int64_t>();
    if (number < std::numeric_limits<int32_t>::min()) {
      Fail(path, fmt::format("{} does not fit a signed 32-bit integer", number));
    }
    return static_cast<int32_t>(number);
  }
  Expected(path, "a signed 32-bit integer", value);
}

bool ToBool(const json& value, const std::string& path) {
  if (!value.is_boolean()) Expected(path, "true or false", value);
  return value.get<bool>();
}

// A text of at most `max_length` UTF-16 units (the terminator of the
// platform's fixed-size field not counted).
std::u16string ToText(const json& value, const std::string& path, size_t max_length) {
  if (!value.is_string()) Expected(path, "a string", value);
  std::u16string text = Utf8ToUtf16(value.get<std::string>());
  // The platform's field would end the text there.
  if (text.find(u'\0') != text.npos) Fail(path, "must not contain a NUL character");
  if (text.size() > max_length) {
    Fail(path, fmt::format("too long: {} UTF-16 units, at most {} fit", text.size(), max_length));
  }
  return text;
}

// An array of exactly `count` signed 32-bit integers.
std::vector<int32_t> ToInt32Array(const json& value, const std::string& path, size_t count) {
  const auto what = fmt::format("an array of {} signed 32-bit integers", count);
  if (!value.is_array() || value.size() != count) Expected(path, what, value);
  std::vector<int32_t> numbers;
  for (size_t i = 0; i < count; ++i) numbers.push_back(ToInt32(value[i], Element(path, i)));
  return numbers;
}

// A string of an even number of hexadecimal digits, at most `max_bytes`
// bytes.
constexpr size_t kMaxEdidBytes = 1024;

std::vector<uint8_t> ToBytes(const json& value, const std::string& path, size_t max_bytes) {
  if (!value.is_string()) Expected(path, "a string of hexadecimal digits", value);
  const auto& digits = value.get_ref<const std::string&>();
  if (digits.size() % 2 != 0) Fail(path, fmt::format("{} hexadecimal digits, expected an even number", digits.size()));
  if (digits.size() / 2 > max_bytes) {
    Fail(path, fmt::format("too long: {} bytes, at most {} fit", digits.size() / 2, max_bytes));
  }
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < digits.size(); i += 2) {
    const auto pair = digits.substr(i, 2);
    if (pair.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
      Fail(path, fmt::format("\"{}\" at digit {} is not a hexadecimal byte", Printable(pair), i + 1));
    }
    bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
  }
  return bytes;
}

Levels ToLevels(const json& value, const std::string& path) {
  if (!value.is_array() || value.size() != 3) {
    Expected(path, "an array of 3 numbers [minimum, current, maximum]", value);
  }
  return Levels{ToUint32(value[0], Element(path, 0)), ToUint32(value[1], Element(path, 1)),
                ToUint32(value[2], Element(path, 2))};
}

// A `fail` map: the names of the calls of `scope` that fail, in the order of
// failable_calls.inc.
FailMap ToFailMap(const json& value, const std::string& path, Scope scope) {
  if (!value.is_object()) Expected(path, "an object from function names to error values", value);
  FailMap fail;
  for (const auto& item : value.items()) {
    const std::string key_path = Member(path, item.key());
    const auto call = std::find_if(std::begin(kFailableCalls), std::end(kFailableCalls),
                                   [&](const FailableCall& c) { return c.scope == scope && c.name == item.key(); });
    if (call == std::end(kFailableCalls)) {
      std::string known;
      for (const FailableCall& c : kFailableCalls) {
        if (c.scope == scope) known += fmt::format("{}{}", known.empty() ? "" : ", ", c.name);
      }
      Fail(key_path, fmt::format("not a function that can fail here (expected one of: {})", known));
    }
    // An error, or [error, times]: the first `times` calls fail.
    const json& entry = item.value();
    if (entry.is_array() && entry.size() == 2) {
      fail.emplace(call->call, FailEntry{ToUint32(entry[0], Element(key_path, 0)), ToUint32(entry[1], Element(key_path, 1))});
    } else if (entry.is_array()) {
      Expected(key_path, "an error value or [error value, times]", entry);
    } else {
      fail.emplace(call->call, FailEntry{ToUint32(entry, key_path)});
    }
  }
  return fail;
}

constexpr std::pair<std::string_view, uint32_t> kFieldNames[] = {
    {"position", platform::kDmPosition},        {"orientation", platform::kDmDisplayOrientation},
    {"bitsperpel", platform::kDmBitsPerPel},    {"pelswidth", platform::kDmPelsWidth},
    {"pelsheight", platform::kDmPelsHeight},    {"frequency", platform::kDmDisplayFrequency},
    {"displayflags", platform::kDmDisplayFlags}};

uint32_t ToFields(const json& value, const std::string& path) {
  if (!value.is_array()) Expected(path, "an array of field names", value);
  uint32_t fields = 0;
  for (size_t i = 0; i < value.size(); ++i) {
    const std::string element_path = Element(path, i);
    if (!value[i].is_string()) Expected(element_path, "a field name", value[i]);
    const auto name = value[i].get<std::string>();
    const auto* it = std::find_if(std::begin(kFieldNames), std::end(kFieldNames),
                                  [&](const auto& entry) { return entry.first == name; });
    if (it == std::end(kFieldNames)) {
      Fail(element_path, fmt::format("unknown field \"{}\" (expected one of: position, orientation, "
                                     "bitsperpel, pelswidth, pelsheight, frequency, displayflags)",
                                     Printable(name)));
    }
    fields |= it->second;
  }
  return fields;
}

platform::DisplayMode ToMode(const json& value, const std::string& path) {
  CheckObject(value, path,
              {"width", "height", "bpp", "frequency", "orientation", "position", "interlaced", "fields"});
  platform::DisplayMode mode = kDefaultMode;
  if (const json* v = Find(value, "width")) mode.dmPelsWidth = ToUint32(*v, Member(path, "width"));
  if (const json* v = Find(value, "height")) mode.dmPelsHeight = ToUint32(*v, Member(path, "height"));
  if (const json* v = Find(value, "bpp")) mode.dmBitsPerPel = ToUint32(*v, Member(path, "bpp"));
  if (const json* v = Find(value, "frequency")) {
    mode.dmDisplayFrequency = ToUint32(*v, Member(path, "frequency"));
  }
  if (const json* v = Find(value, "orientation")) {
    const std::string orientation_path = Member(path, "orientation");
    mode.dmDisplayOrientation = ToUint32(*v, orientation_path);
    if (mode.dmDisplayOrientation > platform::kDmdo270) {
      Fail(orientation_path, fmt::format("{} is out of range (expected 0 to 3)", mode.dmDisplayOrientation));
    }
  }
  if (const json* v = Find(value, "position")) {
    const auto xy = ToInt32Array(*v, Member(path, "position"), 2);
    mode.dmPosition = {xy[0], xy[1]};
  }
  if (const json* v = Find(value, "interlaced")) {
    mode.dmDisplayFlags = ToBool(*v, Member(path, "interlaced")) ? platform::kDmInterlaced : 0;
  }
  if (const json* v = Find(value, "fields")) mode.dmFields = ToFields(*v, Member(path, "fields"));
  return mode;
}

// The VCP features: two hexadecimal digits to [current, maximum] or
// [current, maximum, "momentary"]. Brightness and contrast are not among them.
std::map<uint8_t, VcpFeature> ToVcp(const json& value, const std::string& path) {
  if (!value.is_object()) Expected(path, "an object from VCP codes to [current, maximum]", value);
  std::map<uint8_t, VcpFeature> features;
  for (const auto& item : value.items()) {
    const std::string key_path = Member(path, item.key());
    const std::string& key = item.key();
    if (key.size() != 2 || key.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
      Fail(key_path, "not a VCP code of two hexadecimal digits");
    }
    const auto code = static_cast<uint8_t>(std::stoul(key, nullptr, 16));
    if (code == 0x10 || code == 0x12) Fail(key_path, "is the monitor's brightness or contrast");
    const json& v = item.value();
    if (!v.is_array() || v.size() < 2 || v.size() > 3 || (v.size() == 3 && v[2] != "momentary")) {
      Expected(key_path, "[current, maximum] or [current, maximum, \"momentary\"]", v);
    }
    if (!features.emplace(code, VcpFeature{ToUint32(v[0], Element(key_path, 0)), ToUint32(v[1], Element(key_path, 1)),
                                           v.size() == 3}).second) {
      Fail(key_path, "the code is given twice");
    }
  }
  return features;
}

PhysicalMonitorConfig ToPhysicalMonitor(const json& value, const std::string& path) {
  CheckObject(value, path,
              {"description", "capabilities", "color_temperatures", "brightness", "contrast", "width",
               "height", "technology", "output_technology", "edid", "vcp", "capabilities_string", "fail"});
  PhysicalMonitorConfig monitor;
  if (const json* v = Find(value, "description")) {
    monitor.description = ToText(*v, Member(path, "description"), 127);
  }
  if (const json* v = Find(value, "capabilities")) {
    monitor.capabilities = ToUint32(*v, Member(path, "capabilities"));
  }
  if (const json* v = Find(value, "color_temperatures")) {
    monitor.color_temperatures = ToUint32(*v, Member(path, "color_temperatures"));
  }
  if (const json* v = Find(value, "brightness"))
    monitor.brightness = ToLevels(*v, Member(path, "brightness"));
  if (const json* v = Find(value, "contrast")) monitor.contrast = ToLevels(*v, Member(path, "contrast"));
  if (const json* v = Find(value, "width")) monitor.width = ToLevels(*v, Member(path, "width"));
  if (const json* v = Find(value, "height")) monitor.height = ToLevels(*v, Member(path, "height"));
  if (const json* v = Find(value, "technology")) monitor.technology = ToInt32(*v, Member(path, "technology"));
  if (const json* v = Find(value, "output_technology")) {
    monitor.output_technology = ToInt32(*v, Member(path, "output_technology"));
  }
  if (const json* v = Find(value, "edid")) monitor.edid = ToBytes(*v, Member(path, "edid"), kMaxEdidBytes);
  if (const json* v = Find(value, "vcp")) monitor.vcp = ToVcp(*v, Member(path, "vcp"));
  // Any bytes, NUL included, as a monitor may send them.
  if (const json* v = Find(value, "capabilities_string")) {
    if (!v->is_string()) Expected(Member(path, "capabilities_string"), "a string", *v);
    monitor.capabilities_string = v->get<std::string>();
  }
  if (const json* v = Find(value, "fail"))
    monitor.fail = ToFailMap(*v, Member(path, "fail"), Scope::kMonitor);
  return monitor;
}

OpmOutputConfig ToOpmOutput(const json& value, const std::string& path) {
  CheckObject(value, path, {"connector", "status_flags", "fault"});
  OpmOutputConfig output;
  output.connector = ToUint32(Require(value, path, "connector"), Member(path, "connector"));
  if (const json* v = Find(value, "status_flags")) {
    output.status_flags = ToUint32(*v, Member(path, "status_flags"));
  }
  if (const json* v = Find(value, "fault")) {
    const std::string fault_path = Member(path, "fault");
    if (!v->is_string()) Expected(fault_path, "a fault name", *v);
    if (!ParseOpmFault(v->get<std::string>(), &output.fault)) {
      Fail(fault_path, fmt::format("unknown fault \"{}\"", Printable(v->get<std::string>())));
    }
  }
  return output;
}

DisplayConfig ToDisplay(const json& value, const std::string& path) {
  CheckObject(value, path,
              {"device", "adapter", "primary", "rect", "mode", "change_result", "physical", "fail", "opm"});
  DisplayConfig display;
  display.device = ToText(Require(value, path, "device"), Member(path, "device"), 31);
  if (display.device.empty()) Fail(Member(path, "device"), "must not be empty");
  if (const json* v = Find(value, "adapter")) display.adapter = ToText(*v, Member(path, "adapter"), 127);
  if (const json* v = Find(value, "primary")) display.primary = ToBool(*v, Member(path, "primary"));
  if (const json* v = Find(value, "mode")) display.mode = ToMode(*v, Member(path, "mode"));
  if (const json* v = Find(value, "rect")) {
    const auto r = ToInt32Array(*v, Member(path, "rect"), 4);
    display.rect = {r[0], r[1], r[2], r[3]};
  } else {
    // Where the mode puts the display on the desktop.
    const int64_t right = int64_t{display.mode.dmPosition.x} + display.mode.dmPelsWidth;
    const int64_t bottom = int64_t{display.mode.dmPosition.y} + display.mode.dmPelsHeight;
    if (right > std::numeric_limits<int32_t>::max() || bottom > std::numeric_limits<int32_t>::max()) {
      Fail(Member(path, "rect"), "missing, and the mode's position and size do not give one in 32 bits");
    }
    display.rect = {display.mode.dmPosition.x, display.mode.dmPosition.y, static_cast<int32_t>(right),
                    static_cast<int32_t>(bottom)};
  }
  if (const json* v = Find(value, "change_result")) {
    display.change_result = ToInt32(*v, Member(path, "change_result"));
  }
  const std::string physical_path = Member(path, "physical");
  const json& physical = Require(value, path, "physical");
  if (!physical.is_array()) Expected(physical_path, "an array of physical monitors", physical);
  for (size_t i = 0; i < physical.size(); ++i) {
    display.physical.push_back(ToPhysicalMonitor(physical[i], Element(physical_path, i)));
  }
  if (const json* v = Find(value, "fail"))
    display.fail = ToFailMap(*v, Member(path, "fail"), Scope::kDisplay);
  if (const json* v = Find(value, "opm")) {
    const std::string opm_path = Member(path, "opm");
    if (!v->is_array()) Expected(opm_path, "an array of OPM outputs", *v);
    display.opm.emplace();
    for (size_t i = 0; i < v->size(); ++i) display.opm->push_back(ToOpmOutput((*v)[i], Element(opm_path, i)));
  }
  return display;
}

Scenario ToScenario(const json& value) {
  CheckObject(value, "", {"admin", "ddc_timing", "displays"});
  Scenario scenario;
  if (const json* v = Find(value, "admin")) scenario.admin = ToBool(*v, "admin");
  if (const json* v = Find(value, "ddc_timing")) scenario.ddc_timing = ToBool(*v, "ddc_timing");
  const json& displays = Require(value, "", "displays");
  if (!displays.is_array()) Expected("displays", "an array of display monitors", displays);
  std::optional<size_t> primary;
  std::unordered_map<std::u16string, size_t> devices;  // DeviceKey of each display's device
  for (size_t i = 0; i < displays.size(); ++i) {
    const std::string path = Element("displays", i);
    DisplayConfig display = ToDisplay(displays[i], path);
    if (const auto [it, added] = devices.emplace(DeviceKey(display.device), i); !added) {
      Fail(Member(path, "device"), fmt::format("\"{}\" is already the device of displays[{}]",
                                               Printable(Utf16ToUtf8(display.device)), it->second));
    }
    if (display.primary) {
      if (primary)
        Fail(Member(path, "primary"), fmt::format("displays[{}] is already the primary display", *primary));
      primary = i;
    }
    scenario.displays.push_back(std::move(display));
  }
  return scenario;
}

// Finds keys that occur twice in one object, which the JSON library would
// otherwise resolve silently by keeping the last: a second pass over a text
// that parsed, as SAX events, to know the key path of each key. (The
// parser's callback would do it in the same pass, but looks through the
// whole enclosing array at the end of each object.)
class DuplicateKeyFinder : public nlohmann::json_sax<json> {
 public:
  bool null() override { return Value(); }
  bool boolean(bool) override { return Value(); }
  bool number_integer(number_integer_t) override { return Value(); }
  bool number_unsigned(number_unsigned_t) override { return Value(); }
  bool number_float(number_float_t, const string_t&) override { return Value(); }
  bool string(string_t&) override { return Value(); }
  bool binary(binary_t&) override { return Value(); }
  bool start_object(std::size_t) override { return Start(false); }
  bool start_array(std::size_t) override { return Start(true); }
  bool end_object() override { return End(); }
  bool end_array() override { return End(); }
  bool key(string_t& key) override {
    Frame& frame = frames_.back();
    frame.key = key;
    if (!frame.keys.insert(frame.key).second && !duplicate_) duplicate_ = Path();
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

  // The key path of the first duplicate key, if any.
  const std::optional<std::string>& duplicate() const { return duplicate_; }

 private:
  struct Frame {
    bool array;
    size_t next_index;
    std::string key;
    std::set<std::string> keys;
  };

  bool Value() {
    if (!frames_.empty() && frames_.back().array) ++frames_.back().next_index;
    return true;
  }
  bool Start(bool array) {
    Value();
    frames_.push_back(Frame{array, 0, {}, {}});
    return true;
  }
  bool End() {
    frames_.pop_back();
    return true;
  }

  std::string Path() const {
    std::string path;
    for (const Frame& frame : frames_) {
      path = frame.array ? Element(path, frame.next_index - 1) : Member(path, frame.key);
    }
    return path;
  }

  std::vector<Frame> frames_;
  std::optional<std::string> duplicate_;
};

}  // namespace

bool ParseScenario(std::string_view text, Scenario* scenario, std::string* error) {
  // The JSON library would take a NUL byte for the end of the text.
  if (const size_t nul = text.find('\0'); nul != text.npos) {
    const size_t line_start = text.rfind('\n', nul) + 1;  // 0 when there is no line end before it
    *error = fmt::format("invalid JSON: parse error at line {}, column {}: NUL byte",
                         std::count(text.begin(), text.begin() + nul, '\n') + 1, nul - line_start + 1);
    return false;
  }
  json document;
  try {
    document = json::parse(text.begin(), text.end());
  } catch (const json::exception& e) {
    // "[json.exception.parse_error.101] parse error at line 1, ..." without
    // its tag. A number beyond the range of a double is out_of_range.406
    // rather than a parse error: "number overflow parsing '1e400'".
    std::string_view what = e.what();
    if (const size_t tag_end = what.find("] ");
        what.starts_with("[json.exception.") && tag_end != what.npos) {
      what.remove_prefix(tag_end + 2);
    }
    *error = fmt::format("invalid JSON: {}", what);
    return false;
  }
  DuplicateKeyFinder duplicates;
  if (!json::sax_parse(text.begin(), text.end(), &duplicates)) {
    *error = "invalid JSON";  // not reached: the text has just been parsed
    return false;
  }
  if (duplicates.duplicate()) {
    *error = fmt::format("{}: duplicate key", *duplicates.duplicate());
    return false;
  }
  try {
    *scenario = ToScenario(document);
  } catch (const SchemaError& e) {
    *error = fmt::format("{}: {}", e.path, e.problem);
    return false;
  }
  return true;
}

bool LoadScenarioFile(const std::string& path, Scenario* scenario, std::string* error) {
  // A device or a FIFO could be read for ever, or block; what does not
  // exist is left to fopen to name.
  std::error_code status_error;
  const auto status = std::filesystem::status(path, status_error);
  if (!status_error && !std::filesystem::is_regular_file(status)) {
    *error = fmt::format("cannot read the file: {}", std::filesystem::is_directory(status)
                                                         ? std::strerror(EISDIR)
                                                         : "not a regular file");
    return false;
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *error = fmt::format("cannot read the file: {}", std::strerror(errno));
    return false;
  }
  std::string text;
  char buffer[4096];
  size_t read;
  // One byte past the limit tells a file that is too large, or has grown.
  while (text.size() <= kMaxScenarioSize &&
         (read = std::fread(buffer, 1, std::min(sizeof buffer, kMaxScenarioSize + 1 - text.size()), file)) > 0) {
    text.append(buffer, read);
  }
  const bool failed = std::ferror(file) != 0;
  const int read_errno = errno;
  std::fclose(file);
  if (failed) {
    *error = fmt::format("cannot read the file: {}", std::strerror(read_errno));
    return false;
  }
  if (text.size() > kMaxScenarioSize) {
    *error = fmt::format("cannot read the file: larger than {} bytes", kMaxScenarioSize);
    return false;
  }
  return ParseScenario(text, scenario, error);
}

}  // namespace monctl::sim
