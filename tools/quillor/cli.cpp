#include "tools/quillor/cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>

#include "tools/quillor/carried_releases.h"
#include "tools/quillor/commands.h"
#include "tools/quillor/help_pages.h"
#include "tools/quillor/nearest_name.h"
#include "tools/quillor/registry_check.h"
#include "tools/quillor/serve/serve_cli.h"
#include "tools/quillor/version.h"

#ifndef QUILLOR_VERSION
#define QUILLOR_VERSION "unknown"
#endif

namespace quillor {

namespace {

// Copies an option's value into an optional only when it was given, so that an
// explicit empty text stays distinguishable from no text.
void Keep(CLI::Option* option, const std::string& value, std::optional<std::string>& target) {
  if (option->count() > 0) target = value;
}

// The long names a command takes, and the subcommands of the command line.
std::vector<std::string> LongNames(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::Option* option : app.get_options()) {
    for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
  }
  return names;
}

// A mistyped subcommand or option named with the nearest valid one. Empty when
// every word is known; CLI11 then judges the rest.
std::string UnknownWord(const CLI::App& app, const std::vector<std::string>& args) {
  const CLI::App* command = nullptr;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") break;
    if (!command) {
      if (arg.rfind("-", 0) == 0) continue;  // --help, --version
      std::vector<std::string> names;
      for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
        if (sub->get_name() == arg) command = sub;
        names.push_back(sub->get_name());
      }
      if (command) continue;
      const auto near = NearestName(arg, names);
      return "unknown subcommand " + arg + (near ? "; did you mean " + *near + "?" : "");
    }
    if (arg.rfind("--", 0) != 0 || arg.size() == 2) continue;
    const std::string name = arg.substr(0, arg.find('='));
    const std::vector<std::string> names = LongNames(*command);
    if (std::find(names.begin(), names.end(), name) != names.end()) continue;
    const auto near = NearestName(name, names);
    return "unknown option " + name + " for " + command->get_name() +
           (near ? "; did you mean " + *near + "?" : "");
  }
  return {};
}

}  // namespace

int RunCommandLine(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err) {
  CLI::App app{"Feeds material-consumption requests to the Quillor component and reads them back",
               "quillor"};
  app.require_subcommand(1);
  app.set_version_flag(
      "--version", [] { return VersionText(); },
      "Print the version and the release libraries beside the command");

  TransactOptions transact;
  std::string t_connection, t_library, t_trace, t_pages;
  CLI::App* t = app.add_subcommand("transact", "Send one request to a release of the component");
  CLI::Option* t_connection_opt =
      t->add_option("--connection", t_connection, "Connection text (default $QUILLOR_CONNECTION)");
  t->add_option("--release", transact.release, "Release to load")
      ->capture_default_str()
      ->check(CLI::IsMember(CarriedReleases()));
  CLI::Option* t_library_opt = t->add_option("--library", t_library, "Server library to load");
  CLI::Option* t_trace_opt = t->add_option("--trace-sql", t_trace, "Trace every statement to FILE");
  CLI::Option* t_pages_opt =
      t->add_option("--pages-dir", t_pages, "Write the pages of a paged query to DIR");
  t->add_flag("--overwrite", transact.overwrite,
              "Replace page files an earlier run left in the --pages-dir folder");
  t->add_flag("--explain", transact.explain,
              "Explain the reply in English on standard error (the reply stays as it is)");
  t->add_option("request", transact.request,
                "Request file; without one, or with -, the request is read from standard input");
  t->footer(
      "Without a request file the request is read from standard input.\n"
      "The connection text comes from --connection, else $QUILLOR_CONNECTION.");

  InitDbOptions init;
  CLI::App* i = app.add_subcommand("init-db", "Create the host tables of a database");
  i->add_option("--connection", init.connection, "Connection text")->required();
  i->add_flag("--sample", init.sample, "Also insert a small sample");

  RegisterOptions reg, unreg;
  unreg.unregister = true;
  std::string r_library, u_library;
  CLI::App* r = app.add_subcommand(
      "register", "Register a release's server library: writes its keys into the registry file");
  CLI::Option* r_release_opt = r->add_option("--release", reg.release, "Release")
                                   ->capture_default_str()
                                   ->check(CLI::IsMember(CarriedReleases()));
  CLI::Option* r_library_opt = r->add_option("--library", r_library, "Server library");
  CLI::App* u = app.add_subcommand(
      "unregister",
      "Unregister a release's server library: removes its keys from the registry file");
  for (CLI::App* sub : {r, u}) sub->footer(kRegistryLocation);
  CLI::Option* u_release_opt = u->add_option("--release", unreg.release, "Release")
                                   ->capture_default_str()
                                   ->check(CLI::IsMember(CarriedReleases()));
  CLI::Option* u_library_opt = u->add_option("--library", u_library, "Server library");

  DemoOptions demo;
  std::string d_library;
  CLI::App* d = app.add_subcommand("demo", "Run sample requests on a fresh sample database");
  d->add_option("--dir", demo.dir, "Directory for the demo database")->capture_default_str();
  CLI::Option* d_library_opt = d->add_option("--library", d_library, "8.71 server library");

  serve::ServeCommand serve(app);

  // The package's manual page and completion, written from this definition.
  if (args.size() == 2 && args[1] == "--man-page") {
    out << ManPage(app, QUILLOR_VERSION);
    return 0;
  }
  if (args.size() == 2 && args[1] == "--bash-completion") {
    out << BashCompletion(app);
    return 0;
  }
  if (const std::string unknown = UnknownWord(app, args); !unknown.empty()) {
    err << "quillor: " << unknown << "\n  run quillor --help for the subcommands and options\n";
    return kUsageExit;
  }

  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(args.size() > 0 ? args.begin() + 1 : args.begin(), args.end());
  std::reverse(reversed.begin(), reversed.end());
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, out, err);
    return code == 0 ? 0 : kUsageExit;
  }

  if (t->parsed()) {
    Keep(t_connection_opt, t_connection, transact.connection);
    Keep(t_library_opt, t_library, transact.library);
    Keep(t_trace_opt, t_trace, transact.trace_sql);
    Keep(t_pages_opt, t_pages, transact.pages_dir);
    return RunTransact(transact, in, out, err);
  }
  if (i->parsed()) return RunInitDb(init, out, err);
  if (r->parsed()) {
    Keep(r_library_opt, r_library, reg.library);
    reg.release_given = r_release_opt->count() > 0;
    return RunRegister(reg, out, err);
  }
  if (u->parsed()) {
    Keep(u_library_opt, u_library, unreg.library);
    unreg.release_given = u_release_opt->count() > 0;
    return RunRegister(unreg, out, err);
  }
  if (d->parsed()) {
    Keep(d_library_opt, d_library, demo.library);
    return RunDemo(demo, out, err);
  }
  if (serve.parsed()) return serve.Run(out, err);
  return kUsageExit;
}

}  // namespace quillor
