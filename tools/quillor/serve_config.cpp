#include "tools/quillor/serve_config.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "tools/quillor/command_error.h"
#include "tools/quillor/env_file.h"
#include "tools/quillor/nearest_name.h"

namespace quillor {

namespace {

// The names that stand for an option of serve.
const std::map<std::string, std::string> kOptionNames = {
    {"QUILLOR_CONNECTION", "--connection"},
    {"QUILLOR_RELEASE", "--release"},
    {"QUILLOR_LISTEN", "--listen"},
};
constexpr const char* kOptionsName = "QUILLOR_SERVE_OPTIONS";
// The component's own names. All but the mapping file's folder, which the
// library reads from the environment for every host, are values the server
// hands on itself.
const std::vector<std::string> kEnvironmentNames = {"QUILLOR_TRACE_SQL", "QUILLOR_MAX_REQUEST_SIZE",
                                                    "QUILLOR_DATA_DIR", "QUILLOR_REGISTRY"};
const std::vector<std::string> kValueNames = {"QUILLOR_TRACE_SQL", "QUILLOR_MAX_REQUEST_SIZE",
                                              "QUILLOR_REGISTRY"};

std::vector<std::string> KnownNames() {
  std::vector<std::string> names = kEnvironmentNames;
  for (const auto& [name, option] : kOptionNames) names.push_back(name);
  names.push_back(kOptionsName);
  return names;
}

bool GivenOnCommandLine(CLI::App& command, const std::string& option) {
  const CLI::Option* found = command.get_option_no_throw(option);
  return found && found->count() > 0;
}

// One option and the words it takes, as the command line would give it.
struct OptionWords {
  std::string name;
  std::vector<std::string> values;
  std::string origin;  // FILE:LINE
};

std::vector<OptionWords> SplitOptions(CLI::App& command, const std::string& text,
                                      const std::string& origin) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  std::vector<OptionWords> out;
  for (size_t i = 0; i < words.size(); ++i) {
    std::string name = words[i];
    std::optional<std::string> inline_value;
    if (const size_t eq = name.find('='); eq != std::string::npos) {
      inline_value = name.substr(eq + 1);
      name.resize(eq);
    }
    const CLI::Option* option =
        name.rfind("--", 0) == 0 ? command.get_option_no_throw(name) : nullptr;
    if (!option || option->get_positional() || name == "--config" || name == "--help") {
      throw CommandError(origin + ": " + kOptionsName + " holds " + words[i] +
                             ", which is no option of quillor serve",
                         "the options are those of quillor serve --help");
    }
    OptionWords given{name, {}, origin};
    if (inline_value) {
      given.values.push_back(*inline_value);
    } else if (option->get_expected_min() > 0) {
      if (i + 1 >= words.size()) {
        throw CommandError(origin + ": " + kOptionsName + " gives " + name + " no value", "");
      }
      given.values.push_back(words[++i]);
    } else {
      given.values.push_back("true");
    }
    out.push_back(std::move(given));
  }
  return out;
}

// A file's value for an option the command line left unset.
void Fill(CLI::App& command, const OptionWords& given) {
  CLI::Option* option = command.get_option(given.name);
  if (option->count() > 0) return;
  try {
    option->add_result(given.values);
    option->run_callback();
  } catch (const CLI::Error& e) {
    throw CommandError(given.origin + ": " + e.what(), "");
  }
}

}  // namespace

ServeConfigValues ApplyServeConfig(CLI::App& command, const std::vector<std::string>& files) {
  // The values of all files, a later file's over an earlier one's.
  std::map<std::string, std::pair<std::string, std::string>> values;  // name -> (value, origin)
  for (const std::string& file : files) {
    for (const EnvFileEntry& entry : ReadEnvFile(file)) {
      const std::string origin = file + ":" + std::to_string(entry.line);
      const bool known = kOptionNames.count(entry.name) > 0 || entry.name == kOptionsName ||
                         std::find(kEnvironmentNames.begin(), kEnvironmentNames.end(),
                                   entry.name) != kEnvironmentNames.end();
      if (!known && entry.name.rfind("QUILLOR_", 0) == 0) {
        const auto near = NearestName(entry.name, KnownNames());
        throw CommandError(
            origin + ": unknown name " + entry.name + (near ? "; did you mean " + *near + "?" : ""),
            "the names are listed in quillor(1), under SERVICE");
      }
      values[entry.name] = {entry.value, origin};
    }
  }

  std::vector<OptionWords> options;
  for (const auto& [name, option] : kOptionNames) {
    if (const auto it = values.find(name); it != values.end()) {
      options.push_back({option, {it->second.first}, it->second.second});
    }
  }
  if (const auto it = values.find(kOptionsName); it != values.end()) {
    for (OptionWords& given : SplitOptions(command, it->second.first, it->second.second)) {
      options.push_back(std::move(given));
    }
  }
  const bool connection_given = GivenOnCommandLine(command, "--connection") ||
                                GivenOnCommandLine(command, "--connection-file");
  std::vector<std::string> connection_words;
  for (const OptionWords& given : options) {
    if (given.name == "--connection" || given.name == "--connection-file") {
      connection_words.push_back(given.name);
    }
  }
  if (!connection_given && connection_words.size() > 1) {
    throw CommandError(
        "the files give the connection more than once (QUILLOR_CONNECTION, and --connection or "
        "--connection-file in QUILLOR_SERVE_OPTIONS)",
        "keep one of them; comment out QUILLOR_CONNECTION to use a connection file");
  }
  for (const OptionWords& given : options) {
    const bool is_connection = given.name == "--connection" || given.name == "--connection-file";
    if (!(is_connection && connection_given)) Fill(command, given);
  }

  ServeConfigValues out;
  for (const auto& [name, value] : values) {
    if (kOptionNames.count(name) > 0 || name == kOptionsName) continue;
    if (std::find(kValueNames.begin(), kValueNames.end(), name) != kValueNames.end()) {
      out.component[name] = value.first;
    } else {
      out.environment[name] = value.first;
    }
  }
  return out;
}

std::string ReadConnectionFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw CommandError("cannot read the connection file " + path + ": " + std::strerror(errno),
                       "the file must be readable by the user the server runs as");
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::string connection = text.str();
  while (!connection.empty() && (connection.back() == '\n' || connection.back() == '\r')) {
    connection.pop_back();
  }
  if (connection.empty()) {
    throw CommandError("the connection file " + path + " is empty",
                       "it holds the connection text alone, on one line");
  }
  if (connection.find('\n') != std::string::npos) {
    throw CommandError("the connection file " + path + " holds more than one line",
                       "it holds the connection text alone, on one line; a NAME=VALUE file is "
                       "read with --config");
  }
  return connection;
}

}  // namespace quillor
