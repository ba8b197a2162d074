#include "platform/com/guid.h"

#include <cstdio>
#include <cstdlib>

#include "platform/base/text.h"

namespace quillor::com {

namespace {

// Reads `digits` hex digits at text[pos]; false on any other character.
bool ReadHex(std::string_view text, size_t pos, int digits, uint64_t& value) {
  value = 0;
  for (int i = 0; i < digits; ++i) {
    const int d = HexDigitValue(text[pos + i]);
    if (d < 0) return false;
    value = value * 16 + static_cast<uint64_t>(d);
  }
  return true;
}

}  // namespace

std::optional<Guid> Guid::Parse(std::string_view text) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
  if (text[9] != '-' || text[14] != '-' || text[19] != '-' || text[24] != '-') return std::nullopt;
  Guid g;
  uint64_t v = 0;
  if (!ReadHex(text, 1, 8, v)) return std::nullopt;
  g.data1 = static_cast<uint32_t>(v);
  if (!ReadHex(text, 10, 4, v)) return std::nullopt;
  g.data2 = static_cast<uint16_t>(v);
  if (!ReadHex(text, 15, 4, v)) return std::nullopt;
  g.data3 = static_cast<uint16_t>(v);
  for (int i = 0; i < 8; ++i) {
    const size_t pos = i < 2 ? 20 + 2 * i : 25 + 2 * (i - 2);
    if (!ReadHex(text, pos, 2, v)) return std::nullopt;
    g.data4[i] = static_cast<uint8_t>(v);
  }
  return g;
}

Guid Guid::FromString(std::string_view text) {
  if (auto g = Parse(text)) return *g;
  // Identifier tables are fixed at build time; a bad entry is a programming error.
  std::fprintf(stderr, "invalid identifier text: %.*s\n", static_cast<int>(text.size()),
               text.data());
  std::abort();
}

std::string Guid::ToString() const {
  char buf[39];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(data1), static_cast<unsigned>(data2),
                static_cast<unsigned>(data3), data4[0], data4[1], data4[2], data4[3], data4[4],
                data4[5], data4[6], data4[7]);
  return buf;
}

}  // namespace quillor::com
