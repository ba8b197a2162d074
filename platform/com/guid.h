// A 128-bit globally unique identifier, written in registry form
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillor::com {

struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  std::array<uint8_t, 8> data4{};

  // Parses the registry form, braces required, hex digits in either case.
  static std::optional<Guid> Parse(std::string_view text);
  // Parses a text that is known to be valid (identifier tables); aborts otherwise.
  static Guid FromString(std::string_view text);
  // Upper-case registry form with braces.
  std::string ToString() const;

  bool operator==(const Guid&) const = default;
};

}  // namespace quillor::com
