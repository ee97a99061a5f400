// printf-style formatting of UTF-16 text with the wide-character rules of
// the Windows run-time library ("%s" and "%c" take UTF-16 arguments, "l" is
// 32 bits), type-safe: a format written in the program is checked against
// its arguments when the program is compiled.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include <fmt/printf.h>
#include <fmt/xchar.h>

namespace monctl {

// What a format conversion may take.
enum class ArgKind : uint8_t {
  kInt32,     // signed integer of at most 32 bits
  kUInt32,    // unsigned integer of at most 32 bits
  kInt64,
  kUInt64,
  kChar,      // one UTF-16 unit
  kText,      // UTF-16 text
  kPointer,
  kUnsupported,
};

template <class T>
constexpr ArgKind KindOf() {
  using U = std::remove_cvref_t<std::decay_t<T>>;
  if constexpr (std::is_same_v<U, char16_t>) {
    return ArgKind::kChar;
  } else if constexpr (std::is_same_v<U, const char16_t*> || std::is_same_v<U, char16_t*> ||
                       std::is_same_v<U, std::u16string> || std::is_same_v<U, std::u16string_view>) {
    return ArgKind::kText;
  } else if constexpr (std::is_same_v<U, bool> || std::is_same_v<U, char> ||
                       std::is_same_v<U, wchar_t> || std::is_same_v<U, char8_t> ||
                       std::is_same_v<U, char32_t>) {
    return ArgKind::kUnsupported;
  } else if constexpr (std::is_integral_v<U> || std::is_enum_v<U>) {
    constexpr bool kSigned = std::is_signed_v<std::conditional_t<std::is_enum_v<U>, int, U>>;
    if constexpr (sizeof(U) <= 4) return kSigned ? ArgKind::kInt32 : ArgKind::kUInt32;
    else return kSigned ? ArgKind::kInt64 : ArgKind::kUInt64;
  } else if constexpr (std::is_pointer_v<U>) {
    return ArgKind::kPointer;
  } else {
    return ArgKind::kUnsupported;
  }
}

// Checks `format` against the kinds of its arguments. Returns nullptr when
// they match, otherwise what is wrong. Usable at compile time and at run
// time (for texts of the string table).
constexpr const char* CheckFormat(std::u16string_view format, std::span<const ArgKind> kinds) {
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != u'%') continue;
    if (++i == format.size()) return "format ends inside a conversion";
    if (format[i] == u'%') continue;
    while (i < format.size() && (format[i] == u'-' || format[i] == u'+' || format[i] == u' ' ||
                                 format[i] == u'#' || format[i] == u'0')) {
      ++i;
    }
    if (i < format.size() && format[i] == u'*') return "'*' widths are not supported";
    while (i < format.size() && format[i] >= u'0' && format[i] <= u'9') ++i;
    if (i < format.size() && format[i] == u'.') {
      ++i;
      if (i < format.size() && format[i] == u'*') return "'*' precisions are not supported";
      while (i < format.size() && format[i] >= u'0' && format[i] <= u'9') ++i;
    }
    // Length: h (16 bits), l (32 bits, as on Windows), ll and I64 (64 bits).
    int bits = 32;
    if (format.substr(i, 2) == u"ll") {
      bits = 64;
      i += 2;
    } else if (format.substr(i, 3) == u"I64") {
      bits = 64;
      i += 3;
    } else if (i < format.size() && (format[i] == u'h' || format[i] == u'l')) {
      bits = format[i] == u'h' ? 16 : 32;
      ++i;
    }
    if (i == format.size()) return "format ends inside a conversion";
    if (next == kinds.size()) return "more conversions than arguments";
    ArgKind kind = kinds[next++];
    switch (format[i]) {
      case u'd':
      case u'i':
      case u'u':
      case u'x':
      case u'X':
      case u'o':
        if (bits == 64) {
          if (kind != ArgKind::kInt64 && kind != ArgKind::kUInt64 && kind != ArgKind::kInt32 &&
              kind != ArgKind::kUInt32) {
            return "an integer conversion takes an integer argument";
          }
        } else if (kind != ArgKind::kInt32 && kind != ArgKind::kUInt32) {
          return "an integer conversion without ll takes an integer of at most 32 bits";
        }
        break;
      case u'c':
        if (kind != ArgKind::kChar) return "%c takes a char16_t argument";
        break;
      case u's':
        if (kind != ArgKind::kText) return "%s takes UTF-16 text";
        break;
      case u'p':
        if (kind != ArgKind::kPointer) return "%p takes a pointer";
        break;
      default:
        return "unsupported conversion";
    }
  }
  if (next != kinds.size()) return "more arguments than conversions";
  return nullptr;
}

template <class... Args>
class FormatString {
 public:
  // Only a format the compiler can see is accepted; a mismatch between the
  // format and the arguments stops the build here.
  template <class S>
    requires std::convertible_to<const S&, std::u16string_view>
  consteval FormatString(const S& format) : text_(format) {
    constexpr ArgKind kKinds[] = {KindOf<Args>()..., ArgKind::kUnsupported};
    if (const char* error = CheckFormat(text_, std::span(kKinds, sizeof...(Args)))) {
      throw error;  // not a constant expression: reported by the compiler
    }
  }
  constexpr std::u16string_view get() const { return text_; }

 private:
  std::u16string_view text_;
};

template <class... Args>
using FormatFor = FormatString<std::type_identity_t<Args>...>;

using PrintfContext = fmt::basic_printf_context_t<char16_t>;
using PrintfArgs = fmt::basic_format_args<PrintfContext>;

// How an argument is handed to the formatter: texts as views (a null text
// prints as "(null)"), everything else as it is.
template <class T>
constexpr auto FormatArgument(const T& value) {
  using U = std::remove_cvref_t<std::decay_t<T>>;
  if constexpr (std::is_same_v<U, const char16_t*> || std::is_same_v<U, char16_t*>) {
    const char16_t* text = value;
    return text != nullptr ? std::u16string_view(text) : std::u16string_view(u"(null)");
  } else if constexpr (std::is_same_v<U, std::u16string>) {
    return std::u16string_view(value);
  } else if constexpr (std::is_enum_v<U>) {
    return static_cast<std::underlying_type_t<U>>(value);
  } else {
    return value;
  }
}

// Formats `format` with `args`. A format that does not fit its arguments
// (only possible for texts read at run time) yields the format unchanged.
std::u16string FormatText(std::u16string_view format, PrintfArgs args);

// Calls `sink(args)` with the type-erased arguments; the values live until
// the sink returns.
template <class Sink, class... Args>
decltype(auto) WithPrintfArgs(Sink&& sink, const Args&... args) {
  return [&](const auto&... converted) -> decltype(auto) {
    return sink(PrintfArgs(fmt::make_format_args<PrintfContext>(converted...)));
  }(FormatArgument(args)...);
}

template <class... Args>
std::u16string Format(FormatFor<Args...> format, const Args&... args) {
  return WithPrintfArgs([&](PrintfArgs a) { return FormatText(format.get(), a); }, args...);
}

}  // namespace monctl
