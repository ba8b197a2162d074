// The valid word nearest to a mistyped one, for "did you mean --connection?".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillor {

// The number of single-character insertions, deletions and substitutions that
// turn one text into the other.
size_t EditDistance(std::string_view a, std::string_view b);

// The candidate nearest to the word, when it is near enough to be the one meant
// (at most a third of its length away, and at least one edit allowed).
std::optional<std::string> NearestName(std::string_view word,
                                       const std::vector<std::string>& candidates);

}  // namespace quillor
