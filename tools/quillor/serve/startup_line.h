// The line the server writes on standard error once it listens: what it serves
// and how, with no secret in it; and the warning for a database that cannot be
// opened, which does not keep the server from starting.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tools/quillor/component_session.h"
#include "tools/quillor/serve/open_files.h"
#include "tools/quillor/serve/serve_command.h"
#include "tools/quillor/serve/service.h"

namespace quillor::serve {

// `files`: the connections as fitted to the open files limit (else the option's).
// `identity`: the loaded library's; `masked_connection`: the connection text as
// the library shows it, every password as ***.
std::string StartupLine(const LibraryIdentity& identity, const std::string& library,
                        const std::string& masked_connection, const ServiceSettings& settings,
                        const ServeOptions& options, const OpenFiles* files = nullptr);

// The warning that the database cannot be opened now, in its own words.
std::string DatabaseWarning(const std::string& failure);

}  // namespace quillor::serve
