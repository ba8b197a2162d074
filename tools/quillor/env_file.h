// A file of NAME=VALUE lines that both a shell (`set -a; . FILE`) and systemd's
// EnvironmentFile= read alike: the service's configuration, /etc/quillor/serve.conf.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillor {

struct EnvFileEntry {
  std::string name;
  std::string value;
  int line = 0;
};

// A line the reader refuses, told as "ORIGIN:LINE: why".
class EnvFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The assignments of the text, in order. Blank lines and lines starting with '#'
// are skipped; "export NAME=VALUE" is taken as NAME=VALUE. A value is made of
// plain characters, '...' (taken as written) and "..." (where \ escapes $ ` " \),
// run together as a shell joins them. Whatever a shell would read otherwise (a
// space outside quotes, $, `, ;, |, &, <, >, a second word) is refused with the
// line's number, so that the file never means one thing to the shell and another
// here.
std::vector<EnvFileEntry> ParseEnvText(std::string_view text, const std::string& origin);

// The file's assignments; an unreadable file is an EnvFileError too.
std::vector<EnvFileEntry> ReadEnvFile(const std::string& path);

}  // namespace quillor
