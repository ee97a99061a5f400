#include "framework/output/format.h"

namespace monctl {

std::u16string FormatText(std::u16string_view format, PrintfArgs args) {
  try {
    return fmt::vsprintf(format, args);
  } catch (const fmt::format_error&) {
    return std::u16string(format);
  }
}

}  // namespace monctl
