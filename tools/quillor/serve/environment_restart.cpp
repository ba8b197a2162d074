#include "tools/quillor/serve/environment_restart.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

extern char** environ;

namespace quillor::serve {

namespace {

std::string NameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

// The command's own arguments, as the kernel keeps them: the restarted server
// parses exactly what this one was given.
std::vector<std::string> OwnArguments() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> args;
  for (size_t at = 0; at < all.size();) {
    const size_t end = all.find('\0', at);
    args.push_back(all.substr(at, end - at));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return args;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> out;
  for (std::string& text : texts) out.push_back(text.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& current,
                                         const std::map<std::string, std::string>& wanted) {
  bool differs = false;
  for (const auto& [name, value] : wanted) {
    bool held = false;
    for (const std::string& entry : current) {
      if (entry.size() > name.size() && NameOf(entry) == name) {
        held = entry.compare(name.size() + 1, std::string::npos, value) == 0;
      }
    }
    differs = differs || !held;
  }
  if (!differs) return {};
  std::vector<std::string> out;
  std::set<std::string> placed;
  for (const std::string& entry : current) {
    const std::string name = NameOf(entry);
    const auto it = wanted.find(name);
    if (it == wanted.end()) {
      out.push_back(entry);
    } else if (placed.insert(name).second) {
      out.push_back(name + "=" + it->second);
    }
  }
  for (const auto& [name, value] : wanted) {
    if (placed.count(name) == 0) out.push_back(name + "=" + value);
  }
  return out;
}

std::string RestartInEnvironment(const std::map<std::string, std::string>& wanted) {
  std::vector<std::string> current;
  for (char** entry = environ; *entry != nullptr; ++entry) current.emplace_back(*entry);
  std::vector<std::string> environment = EnvironmentWith(current, wanted);
  if (environment.empty()) return {};
  std::vector<std::string> args = OwnArguments();
  if (args.empty()) return "its own command line could not be read from /proc/self/cmdline";
  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(environment);
  execve("/proc/self/exe", argv.data(), envp.data());
  return std::string("it could not start again in the environment its files name: ") +
         std::strerror(errno);
}

}  // namespace quillor::serve
