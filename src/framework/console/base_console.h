// The base of a console program: command-line parsing with the framework's
// options, the collected parameter errors, the usage screen and the banner,
// and the standard-output sink of the message writer.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "framework/console/keyword.h"
#include "framework/output/message_writer.h"

namespace monctl {

// Display levels.
constexpr uint32_t kDisplayNone = 1;
constexpr uint32_t kDisplayProgress = 2;
constexpr uint32_t kDisplayNormal = 4;
constexpr uint32_t kDisplayVerbose = 8;

// OnParameter results.
constexpr int32_t kParameterUnknown = -1;
constexpr int32_t kParameterStray = -2;
constexpr int32_t kParameterInvalid = -3;

class CBaseConsole : public CMessageWriter {
 public:
  CBaseConsole();
  virtual ~CBaseConsole();

  // Writes to standard output under the display level.
  void OutputText(const std::u16string& text) override;
  // Lists the allowed answers and waits for the key of one of them.
  int32_t PromptAnswer(uint32_t flags) override;

  virtual bool IsUsageRequired();
  virtual std::u16string GetAdditionalText();
  virtual std::u16string GetDescription() = 0;
  virtual std::u16string GetSyntax() = 0;
  virtual void OnReserved();
  virtual void ReportParameter(const char16_t* arg, int32_t code);
  virtual int32_t GetReservedCode();
  // Handles one option: `name` without its prefix, `count` values.
  virtual int32_t OnParameter(const char16_t* name, char16_t** values, uint32_t count);
  virtual bool ValidateParameters();

  // Parses the command line; writes into the argument texts.
  void ParseCommandLine(int argc, char16_t** argv);
  void ShowUsage();
  void ShowBanner();

  void SetExpectedValues(std::span<const KEYWORD> table, uint32_t mask);
  void SetErrorText(const char16_t* text);
  int32_t ParseDisplayParameter(char16_t** values, uint32_t count);

  // Writes "\n" directly when anything was written since the last reset.
  void WriteSeparator();
  void ResetLineWrites() { m_nLineWrites = 0; }

  // Progress line.
  template <class... Args>
  void WriteProgress(FormatFor<Args...> format, const Args&... args) {
    WithPrintfArgs([&](PrintfArgs a) { WriteProgressText(FormatText(format.get(), a)); return 0; },
                   args...);
  }
  void ClearProgressLine();
  void ClearProgress() { m_strProgress.clear(); }

  // Prompt helpers.
  void WriteAnswerChoices(uint32_t flags);
  int32_t ReadAnswer(uint32_t flags);
  static bool IsAnswerKey(const char16_t* name, char16_t key);

  std::u16string m_strExpected;
  std::u16string m_strInvalidParameters;
  std::u16string m_strUnknownParameters;
  std::u16string m_strProgress;
  std::u16string m_strError;
  uint32_t m_dwError = 0;
  uint32_t m_dwParameters = 0;
  uint32_t m_dwDisplayLevel = kDisplayNormal;
  uint32_t m_dwDisplayLevels = 0x7FFFFFFF;
  uint32_t m_nLineWrites = 0;
  uint32_t m_nProgressWidth = 40;
  bool m_bConsoleOutput = false;
  bool m_bHelp = false;

 protected:
  // The display level without its top bit.
  uint32_t DisplayLevel() const { return m_dwDisplayLevel & 0x7FFFFFFF; }
  // fputws + fflush to standard output, counted in m_nLineWrites.
  void WriteDirect(const std::u16string& text);

 private:
  void WriteProgressText(const std::u16string& text);
};

// The framework's keyword tables.
extern const KEYWORD kFrameworkOptions[3];
extern const KEYWORD kDisplayLevels[4];
extern const KEYWORD kTranslationModes[3];
extern const KEYWORD kAnswers[7];

}  // namespace monctl
