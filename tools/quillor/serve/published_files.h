// The files the server hands out as they are: its OpenAPI description at
// GET /openapi.yaml and the XML schemas of the documents at GET /schemas/....
// They are read from share/quillor/ beside the command's bin/ folder: the
// installed tree (/usr/share/quillor/), or, in a build, the links the build
// makes there to docs/openapi.yaml and the schemas of the source tree.
#pragma once

#include <optional>
#include <string>

#include "tools/quillor/serve/http_exchange.h"

namespace quillor::serve {

class PublishedFiles {
 public:
  // `root` holds openapi.yaml and schemas/.
  explicit PublishedFiles(std::string root) : root_(std::move(root)) {}
  // share/quillor/ beside the folder of the running command.
  static PublishedFiles BesideCommand();

  static bool Serves(const std::string& path) {
    return path == "/openapi.yaml" || path.rfind("/schemas/", 0) == 0;
  }
  // The file for a path Serves() takes: 200 with its bytes, or 404 for a name
  // that is not there or not one the server hands out (only .xsd under schemas/,
  // no hidden names, no way out of the folder).
  Reply Get(const std::string& path, bool head_only) const;

 private:
  std::optional<std::string> FileOf(const std::string& path) const;
  std::string root_;
};

}  // namespace quillor::serve
