// The numeric conversions the material checks run on request text: every text
// gives a finite number or failure 6 or 13, nothing else, and a plain number reads
// the same through every conversion.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "platform/base/failure.h"
#include "platform/base/number_text.h"
#include "runtime/conversions.h"

namespace {

using quillor::Failure;
using quillor::fuzz::Check;

enum class Outcome { kValue, kOverflow, kTypeMismatch };

template <typename F>
Outcome Try(F&& f, double* value) {
  try {
    *value = f();
    Check(std::isfinite(*value), "a conversion gave a number that is not finite");
    return Outcome::kValue;
  } catch (const Failure& failure) {
    if (failure.number() == quillor::failure_numbers::kOverflow) return Outcome::kOverflow;
    Check(failure.number() == quillor::failure_numbers::kTypeMismatch,
          "unexpected failure " + std::to_string(failure.number()));
    return Outcome::kTypeMismatch;
  }
}

// The correctly rounded value of a plain number, read independently.
bool Reference(std::string_view text, double* value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  std::string s(text);
  if (!s.empty() && s[0] == '+') s.erase(0, 1);
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *value);
  return ec == std::errc() && end == s.data() + s.size() && std::isfinite(*value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  double leading = 0;
  const Outcome lead = Try([&] { return quillor::LeadingNumber(input); }, &leading);
  Check(lead != Outcome::kTypeMismatch, "LeadingNumber gave a type mismatch");
  double full = 0;
  const Outcome whole = Try([&] { return quillor::FullNumber(input); }, &full);

  // A plain number may stand between XML blanks, carriage returns among them; the
  // runtime's leading-number reading stops at a carriage return, where the full
  // reading passes over it, so only a text without one reads the same both ways.
  const bool leading_reads_all = input.find('\r') == std::string_view::npos;
  if (quillor::IsPlainNumber(input)) {
    Check(whole != Outcome::kTypeMismatch, "a plain number is not a number to FullNumber");
    Check(!leading_reads_all || lead == whole, "LeadingNumber and FullNumber disagree on overflow");
    if (whole == Outcome::kValue) {
      Check(!leading_reads_all || leading == full,
            "LeadingNumber and FullNumber give different values");
      double expected = 0;
      if (Reference(input, &expected)) {
        Check(full == expected || (full == 0 && std::fabs(expected) < 1e-300),
              "FullNumber is not the correctly rounded value");
      }
    }
  }

  if (lead == Outcome::kValue) {
    double rounded = 0;
    if (Try([&] { return static_cast<double>(quillor::ToInt16(leading)); }, &rounded) ==
        Outcome::kValue) {
      Check(std::fabs(rounded - leading) <= 0.5, "ToInt16 is not the nearest whole number");
    } else {
      Check(!(leading >= -32768.5 && leading < 32767.5), "ToInt16 overflowed within range");
    }
  }

  // Three numbers from three lines, as total, price and quantity.
  double values[3] = {0, 0, 0};
  size_t start = 0;
  for (double& v : values) {
    const size_t end = std::min(input.find('\n', start), input.size());
    if (start > input.size()) break;
    double parsed = 0;
    if (Try([&] { return quillor::LeadingNumber(input.substr(start, end - start)); }, &parsed) ==
        Outcome::kValue) {
      v = parsed;
    }
    start = end + 1;
  }
  double ignored = 0;
  Try([&] { return quillor::TotalDiffers(values[0], values[1], values[2]) ? 1.0 : 0.0; }, &ignored);
  return 0;
}
