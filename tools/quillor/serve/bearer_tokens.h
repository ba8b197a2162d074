// The bearer tokens the server accepts: one a line of the tokens file. Only their
// SHA-256 digests are kept, and a presented token is compared with every one of
// them in constant time, so neither the answer time nor the memory tells a
// token's length or its first differing byte.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace quillor::serve {

class BearerTokens {
 public:
  // Blank lines and lines starting with # are left out; a file that cannot be
  // read or holds no token is a quillor::Failure.
  static BearerTokens Load(const std::string& path);
  static BearerTokens FromText(std::string_view text);

  // True when the Authorization header's value is "Bearer TOKEN" (the scheme in
  // any case) for one of the tokens.
  bool Accepts(std::string_view authorization) const;
  size_t size() const { return digests_.size(); }

 private:
  using Digest = std::array<unsigned char, 32>;
  static Digest DigestOf(std::string_view token);
  std::vector<Digest> digests_;
};

}  // namespace quillor::serve
