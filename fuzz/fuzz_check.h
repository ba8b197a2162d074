// What a fuzz target does when a property does not hold: says which, and stops
// the run so that libFuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace quillor::fuzz {

[[noreturn]] inline void Violated(const std::string& what) {
  std::fprintf(stderr, "property violated: %s\n", what.c_str());
  std::abort();
}

inline void Check(bool holds, const std::string& what) {
  if (!holds) Violated(what);
}

}  // namespace quillor::fuzz
