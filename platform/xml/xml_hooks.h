// What the tests see of the document passes over a text. The count exists in test
// builds only (QUILLOR_TEST_HOOKS, set where the tests or the fuzz targets are
// built); elsewhere, as in the package and the Windows DLLs, CountPass below is
// an empty inline function and the libraries carry no counter.
#pragma once

#include <string_view>

namespace quillor::xml_hooks {

#if QUILLOR_TEST_HOOKS

// Counts, while it lives, the passes this thread's loads and streamed reads make
// over a text byte for byte the watched one or its first bytes (a copy of it
// counts too). A read that stops at the root's start tag is a pass as well: it
// is a parse of the text.
class PassCounter {
 public:
  explicit PassCounter(std::string_view watched);
  ~PassCounter();
  PassCounter(const PassCounter&) = delete;
  PassCounter& operator=(const PassCounter&) = delete;

  int passes() const { return passes_; }

 private:
  friend void CountPass(std::string_view text);
  std::string_view watched_;
  int passes_ = 0;
  PassCounter* previous_;
};

// For the backends: one pass begins over `text`.
void CountPass(std::string_view text);

#else

inline void CountPass(std::string_view) {}

#endif

}  // namespace quillor::xml_hooks
