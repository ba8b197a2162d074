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

#include "platform/com/registry.h"
#include "platform/database.h"
#include "platform/failure.h"
#include "platform/sqlite/sqlite_file.h"
#include "profiles/release_profile.h"
#include "tools/quillor/component_session.h"
#include "tools/quillor/connection_text.h"
#include "tools/quillor/demo_requests.h"
#include "schema/host_schema.h"
#include "tools/quillor/library_resolution.h"
#include "tools/quillor/page_writer.h"
#include "tools/quillor/sample_data.h"

namespace quillor {

namespace {

std::string StatusText(com::HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}

// Sets an environment variable for the lifetime of the object, then restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (!value) return;
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value->c_str(), 1);
    active_ = true;
  }
  ~ScopedEnv() {
    if (!active_) return;
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
  bool active_ = false;
};

const ReleaseProfile& ProfileOf(const std::string& release) {
  const ReleaseProfile* profile = FindRelease(release);
  if (!profile) throw Failure(failure_numbers::kInvalidArgument, "unknown release " + release);
  return *profile;
}

std::string LibraryFor(const ReleaseProfile& profile, const std::optional<std::string>& given) {
  if (given) return *given;
  com::Registry registry;
  try {
    registry = com::Registry::Load(com::Registry::DefaultPath());
  } catch (const Failure&) {
    // An unreadable registry only means there is no registered library to prefer.
  }
  return ResolveLibrary(profile, std::nullopt, registry, ExecutableDirectory());
}

std::string ReadRequest(const std::string& source, std::istream& in) {
  std::ostringstream text;
  if (source == "-") {
    text << in.rdbuf();
    return text.str();
  }
  std::ifstream file(source, std::ios::binary);
  if (!file) {
    throw Failure(failure_numbers::kFail, "cannot read " + source + ": " + std::strerror(errno));
  }
  text << file.rdbuf();
  return text.str();
}

void MakeDirectory(const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) throw Failure(failure_numbers::kFail, "cannot create " + dir + ": " + ec.message());
}

// Runs one subcommand body, turning a failure into exit code 1.
template <class Body>
int Guarded(std::ostream& err, Body body) {
  try {
    return body();
  } catch (const Failure& f) {
    err << "quillor: " << f.description() << " (" << f.number() << ")\n";
  } catch (const std::exception& e) {
    err << "quillor: " << e.what() << "\n";
  }
  return 1;
}

}  // namespace

int RunTransact(const TransactOptions& options, std::istream& in, std::ostream& out,
                std::ostream& err) {
  return Guarded(err, [&] {
    const ReleaseProfile& profile = ProfileOf(options.release);
    const std::string request = ReadRequest(options.request, in);
    ComponentSession session =
        ComponentSession::Open(profile, LibraryFor(profile, options.library));

    if (options.pages_dir) {
      MakeDirectory(*options.pages_dir);
      if (profile.caller_registration) {
        com::ComPtr<com::IDispatch> writer = MakePageWriter(*options.pages_dir, err);
        const com::HRESULT hr = session.RegisterCaller(writer.Get());
        if (com::Failed(hr)) {
          err << "quillor: the page writer was not registered: " << StatusText(hr) << "\n";
          return 1;
        }
      } else {
        err << "quillor: release " << profile.release << " does not hand out pages\n";
      }
    }

    std::string reply;
    com::HRESULT hr;
    {
      ScopedEnv trace("QUILLOR_TRACE_SQL", options.trace_sql);
      hr = session.Transact(request, ChooseConnection(options.connection), &reply);
    }
    if (com::Failed(hr)) {
      err << "quillor: Transact failed: " << StatusText(hr) << "\n";
      return 1;
    }
    out << reply << "\n";
    return 0;
  });
}

void InitDatabase(const std::string& connection, bool sample, std::ostream& out) {
  if (const auto file = SqliteDataSource(connection)) {
    CreateSqliteDatabaseFile(*file);
    out << "database file " << *file << "\n";
  }
  std::unique_ptr<Connection> conn = OpenConnection(connection);
  CreateHostTables(*conn);
  out << "host tables created\n";
  if (sample) {
    for (const std::string& line : InsertSampleData(*conn)) out << "  " << line << "\n";
  }
}

int RunInitDb(const InitDbOptions& options, std::ostream& out, std::ostream& err) {
  return Guarded(err, [&] {
    InitDatabase(options.connection, options.sample, out);
    return 0;
  });
}

int RunRegister(const RegisterOptions& options, std::ostream& out, std::ostream& err) {
  return Guarded(err, [&] {
    const ReleaseProfile& profile = ProfileOf(options.release);
    const std::string library = LibraryFor(profile, options.library);
    com::InprocServer server = com::InprocServer::Load(library);
    const com::HRESULT hr = options.unregister ? server.Unregister() : server.Register();
    const char* what = options.unregister ? "DllUnregisterServer" : "DllRegisterServer";
    if (com::Failed(hr)) {
      err << "quillor: " << what << " of " << library << " failed: " << StatusText(hr) << "\n";
      return 1;
    }
    out << (options.unregister ? "unregistered " : "registered ") << library << "\n"
        << "registry: " << com::Registry::DefaultPath() << "\n";
    return 0;
  });
}

int RunDemo(const DemoOptions& options, std::ostream& out, std::ostream& err) {
  return Guarded(err, [&] {
    MakeDirectory(options.dir);
    const std::string db = options.dir + "/demo.db";
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
      ::unlink((db + suffix).c_str());
    }
    const std::string connection = "Provider=SQLite;Data Source=" + db;
    InitDatabase(connection, /*sample=*/true, out);

    const ReleaseProfile& profile = Release871();
    ComponentSession session =
        ComponentSession::Open(profile, LibraryFor(profile, options.library));
    const std::string pages_dir = options.dir + "/pages";
    for (const DemoRequest& request : DemoRequests()) {
      out << "\n# " << request.title << "\n== REQUEST\n" << request.xml << "\n";
      if (request.with_pages) {
        MakeDirectory(pages_dir);
        com::ComPtr<com::IDispatch> writer = MakePageWriter(pages_dir, out);
        const com::HRESULT hr = session.RegisterCaller(writer.Get());
        if (com::Failed(hr)) {
          err << "quillor: AddObjectReference failed: " << StatusText(hr) << "\n";
          return 1;
        }
      }
      std::string reply;
      const com::HRESULT hr = session.Transact(std::string(request.xml), connection, &reply);
      if (com::Failed(hr)) {
        err << "quillor: Transact failed: " << StatusText(hr) << "\n";
        return 1;
      }
      out << "== REPLY\n" << reply << "\n";
    }
    return 0;
  });
}

}  // namespace quillor
