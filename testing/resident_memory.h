// The resident memory of this process, as Linux tells it in /proc/self: now, and
// at its peak since the peak was last reset. Figures in KiB; 0 where the system
// does not say.
#pragma once

#include <fstream>
#include <string>
#include <string_view>

namespace quillor::testing {

inline long StatusKib(std::string_view field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0 && line.size() > field.size() && line[field.size()] == ':') {
      return std::stol(line.substr(field.size() + 1));
    }
  }
  return 0;
}

inline long ResidentKib() { return StatusKib("VmRSS"); }
inline long PeakResidentKib() { return StatusKib("VmHWM"); }

// Starts the peak again from the memory resident now; false where the system
// does not allow it.
inline bool ResetPeakResident() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

}  // namespace quillor::testing
