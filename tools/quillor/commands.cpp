#include "tools/quillor/commands.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "tools/quillor/carried_releases.h"
#include "tools/quillor/command_connection.h"
#include "tools/quillor/command_error.h"
#include "tools/quillor/component_session.h"
#include "tools/quillor/demo_requests.h"
#include "tools/quillor/interrupt_flag.h"
#include "tools/quillor/library_resolution.h"
#include "tools/quillor/page_writer.h"
#include "tools/quillor/registry_check.h"
#include "tools/quillor/request_source.h"
#include "tools/quillor/server_loading.h"
#include "tools/quillor/tool_failure.h"
#include "tools/quillor/trace_file.h"
#include "tools/quillor/transact_notes.h"

namespace quillor {

namespace {

// The newest release: the demo's, and the one whose library makes host tables.
const std::string& NewestRelease() { return CarriedReleases().front(); }

const std::string& CheckedRelease(const std::string& release) {
  for (const std::string& known : CarriedReleases()) {
    if (known == release) return known;
  }
  throw CommandError("unknown release " + release, "");
}

std::string LibraryFor(const std::string& release, const std::optional<std::string>& given) {
  if (given) return LibraryFile(*given);
  return ResolveLibrary(release, std::nullopt, RegistrationOf(release), ExecutableDirectory());
}

// The trace file: --trace-sql, else QUILLOR_TRACE_SQL; empty for none.
std::string TraceFileOf(const std::optional<std::string>& option) {
  const char* env = std::getenv("QUILLOR_TRACE_SQL");
  return option ? *option : (env ? env : "");
}

// The trace file must take lines before anything is sent: a trace that was asked
// for and silently not written would be worse than none.
void CheckTraceFile(const std::optional<std::string>& option) {
  const std::string file = TraceFileOf(option);
  if (file.empty()) return;
  std::ofstream probe(file, std::ios::app | std::ios::binary);
  if (!probe) {
    const std::string reason = std::strerror(errno);
    throw CommandError("cannot write the SQL trace file " + file + ": " + reason,
                       std::string("name a file in a folder you can write, or leave out ") +
                           (option ? "--trace-sql" : "QUILLOR_TRACE_SQL"));
  }
}

// After a reply: a SQLite file that does not exist is the likely reason for a
// failure reply, and quillor init-db makes one.
void HintAtMissingDatabase(const std::string& connection, const ConnectionFacts& facts,
                           std::ostream& err) {
  const std::optional<std::string>& file = facts.sqlite_file;
  if (!file) return;
  std::error_code ec;
  if (std::filesystem::exists(*file, ec)) return;
  err << "quillor: the database file " << *file << " does not exist\n"
      << "  create it with: quillor init-db --connection \"" << connection << "\" --sample\n";
}

void MakeDirectory(const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    throw CommandError("cannot create the folder " + dir + ": " + ec.message(),
                       "name a folder you can write");
  }
}

// Runs one subcommand body, turning a failure into exit code 1.
template <class Body>
int Guarded(std::ostream& err, Body body) {
  try {
    return body();
  } catch (const CommandError& e) {
    err << "quillor: " << e.what() << "\n";
    if (!e.hint().empty()) err << "  " << e.hint() << "\n";
  } catch (const ToolFailure& f) {
    err << "quillor: " << WithoutPrefix(f.description()) << "\n";
  } catch (const std::exception& e) {
    err << "quillor: " << e.what() << "\n";
  }
  return 1;
}

bool IsPageFile(const std::filesystem::path& path) {
  return path.filename().string().rfind("page-", 0) == 0 && path.extension() == ".xml";
}

// Page files of an earlier run would read as this run's.
void RemovePageFiles(const std::string& dir) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (IsPageFile(entry.path())) std::filesystem::remove(entry.path(), ec);
  }
}

bool HoldsPageFiles(const std::string& dir) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (IsPageFile(entry.path())) return true;
  }
  return false;
}

// The command's page files, from the library's page receiver: a page that
// cannot be written refuses the page, in the writer's words.
SessionPageHandler WritingPages(PageWriter& writer) {
  return [&writer](std::string_view page, int32_t& number, int32_t& count) {
    return writer.Write(page, number, count);
  };
}

int CountPageFiles(const std::string& dir) {
  int pages = 0;
  while (std::filesystem::exists(dir + "/page-" + std::to_string(pages + 1) + ".xml")) ++pages;
  return pages;
}

}  // namespace

int RunTransact(const TransactOptions& options, std::istream& in, std::ostream& out,
                std::ostream& err) {
  return Guarded(err, [&] {
    const std::string& release = CheckedRelease(options.release);
    const std::string connection = ChooseConnection(options.connection);
    const std::string library = LibraryFor(release, options.library);
    const LibraryQueries server = LoadServer(library, options.library.has_value());
    // The request is read no further than the bound the library will hold it to:
    // a bound that is no number is the reply's to tell, and the default bounds
    // the reading meanwhile.
    const ConnectionFacts facts = server.connection_facts(connection);
    const RequestRead read = ReadRequest(options.request, in, facts.request_bound, err);
    const std::string& request = read.text;
    CheckTraceFile(options.trace_sql);
    ComponentSession session = OpenSession(release, library, options.library.has_value());

    std::optional<PageWriter> writer;
    if (options.pages_dir) {
      MakeDirectory(*options.pages_dir);
      if (HoldsPageFiles(*options.pages_dir)) {
        if (!options.overwrite) {
          throw CommandError(
              "the folder " + *options.pages_dir + " already holds page files of an earlier run",
              "name an empty folder, or give --overwrite to replace them");
        }
        RemovePageFiles(*options.pages_dir);
      }
      if (session.identity().pages) {
        writer.emplace(*options.pages_dir, err);
        const int32_t status = session.SetPageHandler(WritingPages(*writer));
        if (status < 0) {
          err << "quillor: the page writer was not registered: " << StatusText(status) << "\n";
          return 1;
        }
      } else {
        err << "quillor: release " << release << " does not hand out pages\n";
      }
    }

    // Each line's outcome comes as values: --explain words them, and the notes
    // after the reply read the driver's state from them.
    std::vector<ItemNote> items;
    SessionCall call;
    call.item = [&items](const quillor_item_t& item) {
      items.push_back({item.id ? std::optional<std::string>(item.id) : std::nullopt, item.code,
                       item.message, item.reason, item.state});
    };
    if (const std::string trace = TraceFileOf(options.trace_sql); !trace.empty()) {
      call.trace = TraceFileAppender(trace);
    }
    // Ctrl-C during an ADD ends the batch between two lines; during any other
    // operation it keeps its default action. The library says which operation it
    // is once it has read the request's root, before the call opens its
    // connection.
    std::optional<InterruptFlag> interrupt;
    call.read = [&interrupt](const SessionFacts& facts) {
      if (facts.operation == QUILLOR_OPERATION_ADD) interrupt.emplace();
    };
    call.stoppable = InterruptFlag::Forward;
    std::string reply;
    const int32_t status = session.Transact(request, connection, &reply, call);
    if (status < 0) {
      err << "quillor: Transact returned no reply: " << StatusText(status) << "\n";
      return 1;
    }
    out << reply << "\n";
    if (interrupt && interrupt->raised()) {
      // The reply answers the lines that ran; the operator learns which were kept.
      std::vector<int32_t> codes;
      for (const ItemNote& item : items) {
        if (item.id) codes.push_back(item.code);
      }
      err << InterruptedNote(codes) << "\n";
      return kInterruptedExit;
    }
    if (options.explain) {
      for (const std::string& line : ExplainItems(session.Facts(), items, server)) {
        err << line << "\n";
      }
    }
    NoteAfterReply(connection, DriverState(items), read.size, server, err);
    if (read.cut_short && read.size == 0) {
      // None for a bound that is no number: the reply says so.
      if (const auto note = server.oversized_note(connection, 0, options.request)) {
        err << "quillor: " << *note << "\n";
      }
    }
    HintAtMissingDatabase(connection, facts, err);
    return 0;
  });
}

void InitDatabase(const std::string& connection, bool sample, const std::string& library,
                  bool given, std::ostream& out) {
  // A missing library is told as the other commands tell it.
  const LibraryQueries server = LoadServer(library, given);
  try {
    out << server.init_database(connection, sample);
  } catch (const HostDatabaseFailure& f) {
    out << f.done();
    throw;
  }
}

int RunInitDb(const InitDbOptions& options, std::ostream& out, std::ostream& err) {
  return Guarded(err, [&] {
    // Any release's library makes the same host tables: the newest one's is asked.
    InitDatabase(options.connection, options.sample, LibraryFor(NewestRelease(), std::nullopt),
                 /*given=*/false, out);
    return 0;
  });
}

int RunRegister(const RegisterOptions& options, std::ostream& out, std::ostream& err) {
  return Guarded(err, [&] {
    const std::string& release = CheckedRelease(options.release);
    const std::string library = LibraryFor(release, options.library);
    const LibraryQueries server = LoadServer(library, options.library.has_value());
    const std::string registry = RegistryPath(server);
    // The library registers its own release's identifiers, whatever --release says.
    const std::string& own = server.identity.release;
    if (options.release_given && own != release) {
      err << "quillor: warning: " << library << " is release " << own << ", not " << release
          << " as --release says; its own (" << own << ") identifiers are the ones "
          << (options.unregister ? "removed" : "written") << "\n";
    }

    const auto registry_failure = [&](const std::string& what) {
      std::string why = RegistryProblem(server);
      if (why.empty()) why = "the registry file " + registry + " could not be updated";
      return CommandError(what + ": " + why,
                          "make " + registry +
                              " and its folder writable, or set QUILLOR_REGISTRY to a file you "
                              "can write. " +
                              kRegistryLocation);
    };

    if (options.unregister) {
      std::optional<std::string> holder;
      try {
        holder = server.registered_library(registry);
      } catch (const ToolFailure&) {
        throw registry_failure("cannot read the registry file " + registry);
      }
      std::error_code ec;
      const std::string canonical = std::filesystem::weakly_canonical(library, ec).string();
      if (!holder) {
        out << "release " << own << " is not registered in " << registry << ": nothing to remove\n";
        return 0;
      }
      if (*holder != canonical && std::filesystem::exists(*holder, ec)) {
        out << "release " << own << " from " << library << " is not registered in " << registry
            << ": its class names " << *holder << ", which stays\n";
        return 0;
      }
    }

    const int32_t status = server.register_classes(options.unregister);
    const char* what = options.unregister ? "DllUnregisterServer" : "DllRegisterServer";
    if (status < 0) {
      throw registry_failure(std::string(what) + " of " + library + " failed (" +
                             StatusText(status) + ")");
    }
    out << (options.unregister ? "unregistered " : "registered ") << "release " << own << ": "
        << library << "\n"
        << "registry: " << registry << "\n";
    return 0;
  });
}

// "DIR" in a demo title stands for the folder the demo writes into.
std::string WithFolder(std::string_view title, const std::string& dir) {
  std::string text(title);
  const size_t at = text.find("DIR");
  if (at != std::string::npos) text.replace(at, 3, dir);
  return text;
}

int RunDemo(const DemoOptions& options, std::ostream& out, std::ostream& err) {
  return Guarded(err, [&] {
    MakeDirectory(options.dir);
    const std::string db = options.dir + "/demo.db";
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
      ::unlink((db + suffix).c_str());
    }
    const std::string connection = "Provider=SQLite;Data Source=" + db;
    const std::string library = LibraryFor(NewestRelease(), options.library);
    InitDatabase(connection, /*sample=*/true, library, options.library.has_value(), out);

    ComponentSession session = OpenSession(NewestRelease(), library, options.library.has_value());
    const LibraryQueries server = LoadServer(library, options.library.has_value());
    const std::string pages_dir = options.dir + "/pages";
    std::optional<PageWriter> writer;  // outlives the session's use of it
    out << "\nLines starting with # are English notes; the replies between them are exactly\n"
           "as the component gives them.\n";
    for (const DemoRequest& request : DemoRequests()) {
      out << "\n# " << WithFolder(request.title, options.dir) << "\n== REQUEST\n"
          << request.xml << "\n";
      if (request.with_pages) {
        MakeDirectory(pages_dir);
        RemovePageFiles(pages_dir);
        writer.emplace(pages_dir, out);
        const int32_t status = session.SetPageHandler(WritingPages(*writer));
        if (status < 0) {
          err << "quillor: the page writer was not registered: " << StatusText(status) << "\n";
          return 1;
        }
      }
      std::string reply;
      const int32_t status = session.Transact(std::string(request.xml), connection, &reply);
      if (status < 0) {
        err << "quillor: Transact returned no reply: " << StatusText(status) << "\n";
        return 1;
      }
      out << "== REPLY\n" << reply << "\n";
      for (const std::string& line : server.gloss_reply(reply)) out << line << "\n";
      if (request.with_pages) {
        const int pages = CountPageFiles(pages_dir);
        out << "# the earlier rows went to the page files (" << pages
            << (pages == 1 ? " page" : " pages") << " in " << pages_dir << ": page-1.xml"
            << (pages > 1 ? " to page-" + std::to_string(pages) + ".xml" : "")
            << ", each handed over as it was complete); the reply keeps only the last page's "
               "rows\n";
      }
    }
    return 0;
  });
}

}  // namespace quillor
