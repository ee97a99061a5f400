// Test helpers for the console base: a console with a fixed description and
// syntax that records the calls of its handlers, and writable argument
// vectors.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "framework/console/base_console.h"
#include "platform/console.h"

namespace monctl::testing_support {

struct HandlerCall {
  std::u16string name;
  std::vector<std::u16string> values;

  bool operator==(const HandlerCall&) const = default;
};

class TestConsole : public CBaseConsole {
 public:
  TestConsole() {
    // The console base puts standard error into UTF-16 mode; the test
    // framework writes narrow text there.
    platform::SetTranslationMode(platform::Stream::kError, platform::kModeText);
  }

  std::u16string GetDescription() override { return u"Does what the test asks."; }
  std::u16string GetSyntax() override { return u"[/a <value>] [/?]\n\tSyntax line two.\n"; }

  // Records the call; names in `results` answer with their result (and
  // fill m_strExpected from `expected` where it names them), the others go
  // to the base.
  int32_t OnParameter(const char16_t* name, char16_t** values, uint32_t count) override {
    HandlerCall call{name, {}};
    for (uint32_t i = 0; i < count; ++i) call.values.emplace_back(values[i]);
    calls.push_back(call);
    auto it = results.find(name);
    if (it == results.end()) return CBaseConsole::OnParameter(name, values, count);
    if (auto e = expected.find(name); e != expected.end()) m_strExpected = e->second;
    return it->second;
  }

  bool ValidateParameters() override {
    ++validations;
    return validation_result && CBaseConsole::ValidateParameters();
  }

  std::vector<HandlerCall> calls;
  std::map<std::u16string, int32_t> results;
  std::map<std::u16string, std::u16string> expected;
  int validations = 0;
  bool validation_result = true;
};

// Writable copies of the arguments with argv[0] in front; they live as long
// as the object.
class Arguments {
 public:
  Arguments(std::initializer_list<std::u16string> args) : Arguments(std::vector<std::u16string>(args)) {}
  explicit Arguments(std::vector<std::u16string> args) {
    texts_.push_back(u"C:\\Tools\\prog.exe");
    for (std::u16string& a : args) texts_.push_back(std::move(a));
    for (std::u16string& t : texts_) pointers_.push_back(t.data());
    pointers_.push_back(nullptr);
  }
  Arguments(const Arguments&) = delete;
  Arguments& operator=(const Arguments&) = delete;

  int argc() const { return static_cast<int>(texts_.size()); }
  char16_t** argv() { return pointers_.data(); }

 private:
  std::vector<std::u16string> texts_;
  std::vector<char16_t*> pointers_;
};

}  // namespace monctl::testing_support
