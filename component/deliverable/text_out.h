// Texts the C interface hands out: malloc'd copies with a terminating NUL, which
// the host frees with quillor_free.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace quillor::deliverable {

// A copy the host frees with quillor_free; NULL when memory ran out.
inline char* CopyOut(std::string_view text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (!copy) return nullptr;
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

// Hands text out through the optional pointers a function of the interface takes.
inline void HandOut(std::string_view text, char** out, size_t* length) {
  if (!out) return;
  *out = CopyOut(text);
  if (*out && length) *length = text.size();
}

// Clears the optional out pointers, so that a refused call leaves nothing to free.
inline void ClearOut(char** out, size_t* length) {
  if (out) *out = nullptr;
  if (length) *length = 0;
}

}  // namespace quillor::deliverable
