// One loaded release library and one object of it, reached through the C
// interface of include/quillor/quillor.h alone, as any host of another language
// reaches it: the library opened with dlopen and its functions found by name.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quillor/quillor.h"
#include "tools/quillor/tool_failure.h"

namespace quillor {

// The functions of the interface a library exports, found by name.
struct ReleaseFunctions;

// What the library found out about a call (quillor_facts_t), copied out of it.
struct SessionFacts {
  int32_t operation = QUILLOR_OPERATION_UNREAD;
  bool paged = false;
  std::string proc;             // as written
  std::string docid;            // as written
  std::optional<int32_t> code;  // the call's own outcome; none for a normal reply
  std::string state;            // the driver's SQLSTATE with that outcome
  int64_t rows = 0;             // the reply's rows
  int64_t pages = 0;
  std::vector<quillor_code_count_t> items;  // an ADD's item results by code, ascending

  static SessionFacts From(const quillor_facts_t& facts);
};

// Who a loaded library is (quillor_identity), as the command's own values.
struct LibraryIdentity {
  std::string release;          // "8.71"
  std::string class_id;         // "{...}", as the registry holds it
  bool pages = false;           // the release hands out result pages
  bool replaces_lines = false;  // an ADD line replaces an earlier one of its key
  bool shared_class = false;    // another release registers the same class
};

// What one call hands back beside its reply, and how it may be stopped.
struct SessionCall {
  // Each statement's trace line, when set.
  std::function<void(std::string_view line)> trace;
  // Each line's outcome, when set (see quillor_item_t).
  std::function<void(const quillor_item_t& item)> item;
  // Told the library's stop function and the call's handle while the call runs
  // (and nulls after it), so that a signal handler can ask the batch to end.
  std::function<void(void (*stop)(quillor_call_t*), quillor_call_t* call)> stoppable;
  // The largest request the call accepts (0: the connection text's, else the default).
  uint64_t request_bound = 0;
  // Told the facts once the request's root is read, before the call writes
  // anything (see quillor_call_set_read_receiver), when set.
  std::function<void(const SessionFacts& facts)> read;
};

// Receives one page of a paged QUERY and may change its number and count; the
// words of a refusal refuse it, nothing takes it.
using SessionPageHandler = std::function<std::optional<std::string>(
    std::string_view page, int32_t& number, int32_t& count)>;

class ComponentSession {
 public:
  // Loads the library and creates one object of its release; a library that is
  // not of `release`, or does not offer this version of the interface, is a
  // quillor::Failure that says so.
  static ComponentSession Open(std::string_view release, const std::string& library);
  ComponentSession(ComponentSession&&) noexcept;
  ComponentSession& operator=(ComponentSession&&) noexcept;
  ~ComponentSession();

  // One Transact call: the library's status, and the reply in `reply` (empty
  // when none came).
  int32_t Transact(const std::string& request, const std::string& connection_text,
                   std::string* reply, const SessionCall& call = {});
  // The receiver of result pages. An empty handler stops it being told, but the
  // object goes on paging once it had one (the pages are then dropped).
  int32_t SetPageHandler(SessionPageHandler handler);
  // The facts of the last call, or of the running one (from a page handler or
  // the read function).
  SessionFacts Facts() const;
  // The rows of the page being handed over, from a page handler.
  int64_t PageRows() const;

  const LibraryIdentity& identity() const;
  // The counts of the library's connection pool, when it answers them.
  std::optional<quillor_pool_counts_t> PoolCounts() const;

  struct State;  // the library, the object and the page handler

 private:
  explicit ComponentSession(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// What the library reads in a connection text (quillor_connection_facts).
struct ConnectionFacts {
  uint64_t request_bound = 0;              // the largest request a call with the text accepts
  bool bound_refused = false;              // the text's bound is no number: the reply refuses it
  bool names_bound = false;                // the text names Max Request Size itself
  std::optional<std::string> sqlite_file;  // the file of a Provider=SQLite text
  std::string masked;                      // the text with its passwords as ***
  std::optional<std::string> provider_refusal;  // why no provider opens the text
};

// A host database that could not be made ready: the database's words, and the
// lines of the steps that were done before.
class HostDatabaseFailure : public ToolFailure {
 public:
  HostDatabaseFailure(int32_t status, std::string words, std::string done)
      : ToolFailure(status, std::move(words)), done_(std::move(done)) {}
  const std::string& done() const { return done_; }

 private:
  std::string done_;
};

// What a process asks the library at `path` beside its calls, without an object;
// the functions keep the library loaded while they live. Each answers nothing
// when the library cannot be loaded.
struct LibraryQueries {
  // The library's connection pool.
  std::function<std::optional<quillor_pool_counts_t>()> pool_counts;
  // Whether the database of a connection text answers, through the library's
  // pool: nothing when it does, else the database's words.
  std::function<std::optional<std::string>(const std::string& connection)> database_failure;
  // The host database made ready (quillor_init_database): what was done, a line
  // each; a failure is a HostDatabaseFailure.
  std::function<std::string(const std::string& connection, bool sample)> init_database;
  // Who the library is.
  LibraryIdentity identity;
  // The registry file's path, the library its class is registered to in a
  // registry file ("" for the default one; none when it is not registered), and
  // why the file cannot be updated ("" when no reason is found); each a
  // quillor::Failure in the library's words when it cannot answer.
  std::function<std::string()> registry_file;
  std::function<std::optional<std::string>(const std::string& registry)> registered_library;
  std::function<std::string()> registry_problem;
  // The library's registration written, or taken out: DllRegisterServer's status.
  std::function<int32_t(bool unregister)> register_classes;
  // What the library reads in a connection text; a quillor::Failure when memory ran out.
  std::function<ConnectionFacts(const std::string& connection)> connection_facts;
  // The note beside the refusal of a request over the bound (request_bytes 0: one
  // read from `source` no further than the bound); none when the bound is no number.
  std::function<std::optional<std::string>(const std::string& connection, uint64_t request_bytes,
                                           const std::string& source)>
      oversized_note;
  // The English of a reply (its lines, each "# ..."), of a message text, and of
  // one line's outcome; a quillor::Failure in the library's words when it cannot.
  std::function<std::vector<std::string>(std::string_view reply)> gloss_reply;
  std::function<std::string(std::string_view message)> gloss_message;
  std::function<std::string(const quillor_item_t& item)> gloss_item;
};
LibraryQueries QueriesOf(const std::string& path);
// The same for a library that must load: one that cannot is a quillor::Failure.
LibraryQueries LoadQueries(const std::string& path);

}  // namespace quillor
