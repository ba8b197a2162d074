#include "tools/quillor/nearest_name.h"

#include <algorithm>
#include <numeric>

namespace quillor {

size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  std::iota(row.begin(), row.end(), size_t{0});
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::optional<std::string> NearestName(std::string_view word,
                                       const std::vector<std::string>& candidates) {
  const size_t allowed = std::max<size_t>(1, word.size() / 3);
  std::optional<std::string> best;
  size_t best_distance = allowed + 1;
  for (const std::string& candidate : candidates) {
    const size_t d = EditDistance(word, candidate);
    if (d < best_distance) {
      best_distance = d;
      best = candidate;
    }
  }
  return best;
}

}  // namespace quillor
