#include "tools/quillor/command_connection.h"

#include <cstdlib>

namespace quillor {

std::string ChooseConnection(const std::optional<std::string>& given) {
  if (given) return *given;
  if (const char* env = std::getenv("QUILLOR_CONNECTION")) return env;
  return {};
}

}  // namespace quillor
