#include "tools/quillor/help_pages.h"

#include <CLI/CLI.hpp>

#include "tools/quillor/carried_releases.h"

namespace quillor {

namespace {

// Roff takes a leading full stop or apostrophe as a request and a hyphen as a
// break point; backslashes start escapes.
std::string Roff(std::string_view text) {
  std::string out;
  bool line_start = true;
  for (const char c : text) {
    if (line_start && (c == '.' || c == '\'')) out += "\\&";
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
    line_start = c == '\n';
  }
  return out;
}

std::vector<const CLI::App*> Subcommands(const CLI::App& app) {
  return app.get_subcommands([](const CLI::App*) { return true; });
}

// The option as --help shows it: its long name, or the positional's, and the
// kind of value it takes.
std::string Synopsis(const CLI::Option& option) {
  std::string name = option.get_positional() ? option.get_name(true) : option.get_name();
  if (option.get_positional()) return "\\fI" + Roff(name) + "\\fR";
  std::string out = "\\fB" + Roff(name) + "\\fR";
  if (option.get_items_expected_max() > 0) out += " \\fI" + Roff(option.get_type_name()) + "\\fR";
  return out;
}

// The default of an option whose --help cannot show one in a word.
constexpr const char* kDefaults[][2] = {
    {"library",
     "the library registered for the release, else the one installed beside the command"},
    {"trace-sql", "$QUILLOR_TRACE_SQL, else no trace"},
    {"tokens", "none: no token is asked for, and only loopback addresses may be listened on"},
    {"tls-cert", "none: plain HTTP"},
    {"tls-key", "none: plain HTTP"},
    {"connection-file",
     "none: the connection is --connection, else the --config file's, else "
     "$QUILLOR_CONNECTION"},
};

// "Default: ..." for the manual: the default --help shows, else the one above, else
// off for a flag and none for an option; nothing where the description gives it.
std::string DefaultOf(const CLI::Option& option) {
  if (option.get_positional() || option.get_required()) return {};
  const std::string& shown = option.get_default_str();
  if (!shown.empty()) return shown;
  for (const auto& [name, text] : kDefaults) {
    if (option.check_lname(name)) return text;
  }
  if (option.get_description().find("default") != std::string::npos) return {};
  return option.get_items_expected_max() == 0 ? "off" : "none";
}

// Each text on a line of its own, unfilled, so that it can be copied whole.
constexpr const char* kConnectionTexts =
    "SQLite, built in; the file must exist (init\\-db makes one):\n"
    ".RS\n.nf\n\\fBProvider=SQLite;Data Source=/var/lib/quillor/erp.db\\fR\n.fi\n.RE\n"
    "PostgreSQL through ODBC (package odbc\\-postgresql):\n"
    ".RS\n.nf\n"
    "\\fBDriver=PostgreSQL Unicode;Server=HOST;Port=5432;Database=DB;UID=USER;PWD=PASSWORD\\fR\n"
    ".fi\n.RE\n"
    "SQL Server through ODBC with FreeTDS (package tdsodbc):\n"
    ".RS\n.nf\n"
    "\\fBDriver=FreeTDS;Server=HOST;Port=1433;Database=DB;UID=USER;PWD=PASSWORD;TDS_Version=7.4"
    "\\fR\n.fi\n.RE\n"
    "A data source of /etc/odbc.ini:\n.RS\n.nf\n\\fBDSN=erp;UID=USER;PWD=PASSWORD\\fR\n.fi\n.RE\n"
    "Any text may add \\fBMax Request Size=\\fR\\fIBYTES\\fR; SQLite texts "
    "\\fBSynchronous=Full|Normal\\fR and \\fBBusy Timeout=\\fR\\fIMS\\fR, ODBC texts "
    "\\fBBlockRows=\\fR\\fIN\\fR (usage.md in the manual).\n";

// The service as the package installs it; roff already.
constexpr const char* kService =
    ".B quillor\\-serve.service\n"
    "runs \\fBquillor serve \\-\\-config\\fR with /etc/quillor/serve.conf, handed over as a "
    "systemd credential, as the system user quillor;\n"
    ".B quillor\\-serve@\\fIRELEASE\\fB.service\n"
    "loads that release and reads /etc/quillor/serve\\-\\fIRELEASE\\fR.conf after "
    "serve.conf, when there is one.\n"
    "Installing enables and starts neither; removing stops both.\n"
    ".PP\n"
    "serve.conf is one NAME=VALUE a line, quoted as a shell reads it; later files win over "
    "earlier ones, the command line over all:\n"
    ".TP\n.B QUILLOR_CONNECTION\nthe connection text (\\-\\-connection)\n"
    ".TP\n.B QUILLOR_RELEASE\nthe release (\\-\\-release)\n"
    ".TP\n.B QUILLOR_LISTEN\nHOST:PORT (\\-\\-listen)\n"
    ".TP\n.B QUILLOR_SERVE_OPTIONS\nfurther options of serve, split at blanks, e.g. "
    "\\-\\-tokens /etc/quillor/tokens\n"
    ".PP\n"
    "QUILLOR_TRACE_SQL, QUILLOR_MAX_REQUEST_SIZE and QUILLOR_REGISTRY are taken as the server's "
    "own values; QUILLOR_DATA_DIR and names that do not begin with QUILLOR_ are set in the "
    "server's environment; any other QUILLOR_ name is refused.\n"
    ".PP\n"
    "Purging the package never deletes a database: /var/lib/quillor is removed only when it is "
    "empty, and purge names the files it leaves there. The user quillor stays.\n";

constexpr const char* kEnvironment[][2] = {
    {"QUILLOR_CONNECTION", "The connection text when transact has no --connection."},
    {"QUILLOR_TRACE_SQL",
     "A file to which every statement the component sends is appended as one JSON line."},
    {"QUILLOR_MAX_REQUEST_SIZE",
     "The largest request accepted, in bytes, when the connection text has no Max Request Size "
     "(default 256 MiB)."},
    {"QUILLOR_REGISTRY",
     "The registry file; else $XDG_CONFIG_HOME/quillor/registry, else "
     "$HOME/.config/quillor/registry."},
};

constexpr const char* kFiles[][2] = {
    {"/usr/lib/quillor/RELEASE/libquillor.so",
     "The server library of each release, with its mapping file MaterialXmlRs.Xml beside it."},
    {"/etc/quillor/serve.conf",
     "The configuration of the quillor-serve service (0640 root:quillor): connection text, "
     "release, listen address, further options; see SERVICE."},
    {"/var/lib/quillor/",
     "The service's state folder (0750 quillor:quillor), for SQLite databases; purging keeps "
     "what is in it."},
    {"/usr/share/doc/quillor/", "The manual: README.md and docs/."},
};

constexpr const char* kExamples =
    "quillor init-db --connection \"Provider=SQLite;Data Source=/tmp/erp.db\" --sample\n"
    "quillor transact --connection \"Provider=SQLite;Data Source=/tmp/erp.db\" --explain "
    "add.xml\n"
    "quillor transact --release 8.61 --trace-sql /tmp/sql.jsonl request.xml\n"
    "quillor serve --connection \"Provider=SQLite;Data Source=/tmp/erp.db\" --listen "
    "127.0.0.1:8080\n"
    "quillor demo --dir ./quillor-demo\n";

}  // namespace

std::string ManPage(const CLI::App& app, const std::string& version) {
  std::string out = ".TH QUILLOR 1 \"\" \"quillor " + Roff(version) +
                    "\" \"User Commands\"\n"
                    ".SH NAME\nquillor \\- " +
                    Roff(app.get_description()) +
                    "\n.SH SYNOPSIS\n.B quillor\n\\fISUBCOMMAND\\fR [\\fIOPTIONS\\fR]\n.br\n"
                    ".B quillor\n\\fB\\-\\-help\\fR | \\fB\\-\\-version\\fR\n"
                    ".SH SUBCOMMANDS\n";
  for (const CLI::App* sub : Subcommands(app)) {
    out += ".SS " + Roff(sub->get_name()) + "\n" + Roff(sub->get_description()) + "\n";
    for (const CLI::Option* option : sub->get_options()) {
      if (option == sub->get_help_ptr()) continue;
      out += ".TP\n" + Synopsis(*option) + "\n" + Roff(option->get_description()) + "\n";
      if (const std::string given = DefaultOf(*option); !given.empty()) {
        out += ".br\n" + Roff("Default: " + given + ".") + "\n";
      }
    }
    const std::string footer = sub->get_footer();
    if (!footer.empty()) out += ".PP\n" + Roff(footer) + "\n";
  }
  out += ".SH CONNECTION TEXTS\n";
  out += kConnectionTexts;
  out += ".SH SERVICE\n";
  out += kService;
  out += ".SH ENVIRONMENT\n";
  for (const auto& [name, what] : kEnvironment)
    out += ".TP\n.B " + Roff(name) + "\n" + Roff(what) + "\n";
  out += ".SH FILES\n";
  for (const auto& [name, what] : kFiles) out += ".TP\n.I " + Roff(name) + "\n" + Roff(what) + "\n";
  out +=
      ".SH EXIT STATUS\n.TP\n.B 0\nThe work was done; for transact, a reply came back, whatever "
      "its code.\n.TP\n.B 1\nThe work failed; the reason is on standard error.\n.TP\n.B 2\nThe "
      "command line could not be understood.\n.TP\n.B 130\nCtrl-C ended a transact ADD between two "
      "lines; standard error says how many lines were answered and stored.\n.SH EXAMPLES\n.nf\n" +
      Roff(kExamples) + ".fi\n.SH SEE ALSO\nThe manual in /usr/share/doc/quillor/.\n";
  return out;
}

std::string BashCompletion(const CLI::App& app) {
  std::string words = "--help --version";
  std::string cases;
  for (const CLI::App* sub : Subcommands(app)) {
    words += " " + sub->get_name();
    std::string options;
    for (const CLI::Option* option : sub->get_options()) {
      if (option->get_positional()) continue;
      for (const std::string& name : option->get_lnames()) options += " --" + name;
    }
    cases += "    " + sub->get_name() + ") opts=\"" + options.substr(1) + "\" ;;\n";
  }
  std::string releases;
  for (const std::string& name : CarriedReleases()) releases += (releases.empty() ? "" : " ") + name;
  return "# bash completion for quillor, written by quillor itself\n"
         "_quillor() {\n"
         "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} opts=\n"
         "  if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
         "    COMPREPLY=($(compgen -W \"" +
         words +
         "\" -- \"$cur\"))\n"
         "    return\n"
         "  fi\n"
         "  case $prev in\n"
         "    --release) COMPREPLY=($(compgen -W \"" +
         releases +
         "\" -- \"$cur\")); return ;;\n"
         "  esac\n"
         "  case ${COMP_WORDS[1]} in\n" +
         cases +
         "  esac\n"
         "  if [[ $cur == -* ]]; then\n"
         "    COMPREPLY=($(compgen -W \"$opts\" -- \"$cur\"))\n"
         "  else\n"
         "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
         "  fi\n"
         "}\n"
         "complete -o filenames -F _quillor quillor\n";
}

}  // namespace quillor
