// ParseCapabilities on arbitrary bytes, and the names of what it reads.
#include <algorithm>
#include <cctype>

#include "app/ddc.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const monctl::Capabilities capabilities = monctl::ParseCapabilities(text);
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  for (const auto* field : {&capabilities.type, &capabilities.model, &capabilities.mccs_version}) {
    if (*field && !(*field)->empty())
      FUZZ_CHECK(text.find(**field) != text.npos && !blank((*field)->front()) && !blank((*field)->back()));
  }
  // Every code and value read takes at least one hexadecimal digit of its own.
  size_t read = 0;
  for (const monctl::Capabilities::Vcp& vcp : capabilities.vcp) {
    FUZZ_CHECK(monctl::VcpName(vcp.code) != nullptr);
    for (const uint8_t value : vcp.values) FUZZ_CHECK(!monctl::InputSourceName(value).empty());
    read += 1 + vcp.values.size();
  }
  const auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
  FUZZ_CHECK(read <= static_cast<size_t>(std::count_if(text.begin(), text.end(), hex)));
  return 0;
}
