#include "tools/quillor/serve/bearer_tokens.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tools/quillor/command_text.h"
#include "tools/quillor/tool_failure.h"

namespace quillor::serve {

BearerTokens BearerTokens::Load(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    throw ToolFailure(ToolFailure::kFail, "cannot read " + path + ": " + std::strerror(errno));
  }
  std::ostringstream text;
  text << file.rdbuf();
  BearerTokens tokens = FromText(text.str());
  if (tokens.size() == 0) throw ToolFailure(ToolFailure::kFail, path + " holds no token");
  return tokens;
}

BearerTokens BearerTokens::FromText(std::string_view text) {
  BearerTokens tokens;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = WithoutBlanks(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    tokens.digests_.push_back(DigestOf(line));
  }
  return tokens;
}

bool BearerTokens::Accepts(std::string_view authorization) const {
  constexpr std::string_view kScheme = "Bearer ";
  if (!BeginsIgnoringCase(authorization, kScheme)) return false;
  const Digest presented = DigestOf(WithoutBlanks(authorization.substr(kScheme.size())));
  // Every digest is compared, the first match does not end the loop.
  int matches = 0;
  for (const Digest& known : digests_) {
    matches |= CRYPTO_memcmp(presented.data(), known.data(), presented.size()) == 0;
  }
  return matches != 0;
}

BearerTokens::Digest BearerTokens::DigestOf(std::string_view token) {
  Digest digest{};
  unsigned int length = 0;
  if (EVP_Digest(token.data(), token.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1 ||
      length != digest.size()) {
    throw ToolFailure(ToolFailure::kFail, "SHA-256 is not available");
  }
  return digest;
}

}  // namespace quillor::serve
