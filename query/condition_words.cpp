#include "query/condition_words.h"
#include "platform/base/text.h"

#include <array>
#include <string>

namespace quillor {
namespace {

// Trimmed, lower-cased, and inner runs of blanks reduced to one space, so that
// "NOT  LIKE" compares equal to "not like".
std::string Normalise(std::string_view text) {
  std::string out;
  bool pending_blank = false;
  for (char c : text) {
    if (IsBlank(c)) {
      pending_blank = !out.empty();
      continue;
    }
    if (pending_blank) out += ' ';
    pending_blank = false;
    out += AsciiLower(c);
  }
  return out;
}

template <size_t N>
bool IsOneOf(std::string_view text, const std::array<std::string_view, N>& words) {
  const std::string word = Normalise(text);
  for (std::string_view allowed : words) {
    if (word == allowed) return true;
  }
  return false;
}

constexpr std::array<std::string_view, 9> kOperations{"=",  "<>", "!=",   "<",       ">",
                                                      "<=", ">=", "like", "not like"};
constexpr std::array<std::string_view, 2> kLogicWords{"and", "or"};

}  // namespace

bool IsAllowedOperation(std::string_view text) { return IsOneOf(text, kOperations); }

bool IsAllowedLogic(std::string_view text) { return IsOneOf(text, kLogicWords); }

}  // namespace quillor
