#include "tools/quillor/component_session.h"

#include <dlfcn.h>
#include <malloc.h>

#include <cstdlib>
#include <utility>

#include "tools/quillor/tool_failure.h"

namespace quillor {

struct ReleaseFunctions {
  decltype(&quillor_api_version) api_version = nullptr;
  decltype(&quillor_release) release = nullptr;
  decltype(&quillor_create) create = nullptr;
  decltype(&quillor_destroy) destroy = nullptr;
  decltype(&quillor_set_page_receiver) set_page_receiver = nullptr;
  decltype(&quillor_set_page_refusal) set_page_refusal = nullptr;
  decltype(&quillor_call_create) call_create = nullptr;
  decltype(&quillor_call_destroy) call_destroy = nullptr;
  decltype(&quillor_call_set_request_bound) set_request_bound = nullptr;
  decltype(&quillor_call_set_item_receiver) set_item_receiver = nullptr;
  decltype(&quillor_call_set_trace_receiver) set_trace_receiver = nullptr;
  decltype(&quillor_request_stop) request_stop = nullptr;
  decltype(&quillor_pool_counts) pool_counts = nullptr;
  decltype(&quillor_check_database) check_database = nullptr;
  decltype(&quillor_facts) facts = nullptr;
  decltype(&quillor_call_set_read_receiver) set_read_receiver = nullptr;
  decltype(&quillor_transact) transact = nullptr;
  decltype(&quillor_init_database) init_database = nullptr;
  decltype(&quillor_identity) identity = nullptr;
  decltype(&quillor_registry_file) registry_file = nullptr;
  decltype(&quillor_registered_library) registered_library = nullptr;
  decltype(&quillor_registry_problem) registry_problem = nullptr;
  decltype(&quillor_register) register_classes = nullptr;
  decltype(&quillor_connection_facts) connection_facts = nullptr;
  decltype(&quillor_connection_facts_free) connection_facts_free = nullptr;
  decltype(&quillor_oversized_note) oversized_note = nullptr;
  decltype(&quillor_gloss_message) gloss_message = nullptr;
  decltype(&quillor_gloss_item) gloss_item = nullptr;
  decltype(&quillor_gloss_reply) gloss_reply = nullptr;
  decltype(&quillor_free) free_text = nullptr;
};

namespace {

// A reply at least this long leaves pages worth handing back once it is copied.
constexpr size_t kLongReplyBytes = 256 * 1024;

// The dlopen handle, closed last: objects of the library are destroyed first.
class LoadedLibrary {
 public:
  explicit LoadedLibrary(const std::string& path)
      : path_(path), handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (!handle_) {
      const char* why = dlerror();
      throw ToolFailure(ToolFailure::kFail,
                        "[Quillor] cannot load " + path + ": " + (why ? why : "unknown reason"));
    }
    Find(f_.api_version, "quillor_api_version");
    if (f_.api_version() < QUILLOR_C_API_VERSION) {
      Fail(path + " implements version " + std::to_string(f_.api_version()) +
           " of the C interface, not " + std::to_string(QUILLOR_C_API_VERSION));
    }
    Find(f_.release, "quillor_release");
    Find(f_.create, "quillor_create");
    Find(f_.destroy, "quillor_destroy");
    Find(f_.set_page_receiver, "quillor_set_page_receiver");
    Find(f_.set_page_refusal, "quillor_set_page_refusal");
    Find(f_.call_create, "quillor_call_create");
    Find(f_.call_destroy, "quillor_call_destroy");
    Find(f_.set_request_bound, "quillor_call_set_request_bound");
    Find(f_.set_item_receiver, "quillor_call_set_item_receiver");
    Find(f_.set_trace_receiver, "quillor_call_set_trace_receiver");
    Find(f_.request_stop, "quillor_request_stop");
    Find(f_.pool_counts, "quillor_pool_counts");
    Find(f_.check_database, "quillor_check_database");
    Find(f_.facts, "quillor_facts");
    Find(f_.set_read_receiver, "quillor_call_set_read_receiver");
    Find(f_.transact, "quillor_transact");
    Find(f_.init_database, "quillor_init_database");
    Find(f_.identity, "quillor_identity");
    Find(f_.registry_file, "quillor_registry_file");
    Find(f_.registered_library, "quillor_registered_library");
    Find(f_.registry_problem, "quillor_registry_problem");
    Find(f_.register_classes, "quillor_register");
    Find(f_.connection_facts, "quillor_connection_facts");
    Find(f_.connection_facts_free, "quillor_connection_facts_free");
    Find(f_.oversized_note, "quillor_oversized_note");
    Find(f_.gloss_message, "quillor_gloss_message");
    Find(f_.gloss_item, "quillor_gloss_item");
    Find(f_.gloss_reply, "quillor_gloss_reply");
    Find(f_.free_text, "quillor_free");
    quillor_identity_t identity{};
    if (f_.identity(&identity) != 0 || !identity.release || !identity.class_id) {
      Fail(path + " does not tell its release");
    }
    identity_ = {identity.release, identity.class_id, identity.pages != 0,
                 identity.replaces_lines != 0, identity.shared_class != 0};
  }
  ~LoadedLibrary() { dlclose(handle_); }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  const ReleaseFunctions& functions() const { return f_; }
  const LibraryIdentity& identity() const { return identity_; }

 private:
  template <typename F>
  void Find(F& function, const char* name) {
    function = reinterpret_cast<F>(dlsym(handle_, name));
    if (!function) {
      Fail(path_ + " does not export " + std::string(name) + " of the C interface");
    }
  }
  // The destructor does not run for a constructor that throws.
  [[noreturn]] void Fail(const std::string& why) {
    dlclose(handle_);
    throw ToolFailure(ToolFailure::kFail, "[Quillor] " + why);
  }

  std::string path_;
  void* handle_;
  ReleaseFunctions f_;
  LibraryIdentity identity_;
};

void ReceiveTrace(void* state, const char* line, size_t length) {
  const auto& trace = *static_cast<const std::function<void(std::string_view)>*>(state);
  try {
    trace(std::string_view(line, length));
  } catch (...) {  // nothing unwinds through the library
  }
}

void ReceiveRead(void* state, const quillor_facts_t* facts) {
  const auto& read = *static_cast<const std::function<void(const SessionFacts&)>*>(state);
  try {
    read(SessionFacts::From(*facts));
  } catch (...) {  // nothing unwinds through the library
  }
}

void ReceiveItem(void* state, const quillor_item_t* item) {
  const auto& receive = *static_cast<const std::function<void(const quillor_item_t&)>*>(state);
  try {
    receive(*item);
  } catch (...) {  // nothing unwinds through the library
  }
}

}  // namespace

struct ComponentSession::State {
  std::shared_ptr<LoadedLibrary> library;
  quillor_t* object = nullptr;
  SessionPageHandler pages;  // handed to the library's page receiver by address

  const ReleaseFunctions& f() const { return library->functions(); }
  ~State() {
    if (object) f().destroy(object);
  }
};

namespace {

int32_t ReceivePage(void* state, const char* page, size_t length, int32_t* number, int32_t* count) {
  auto& session = *static_cast<ComponentSession::State*>(state);
  try {
    if (const std::optional<std::string> refused =
            session.pages(std::string_view(page, length), *number, *count)) {
      session.f().set_page_refusal(session.object, refused->data(), refused->size());
      return 1;
    }
    return 0;
  } catch (...) {
    return 1;
  }
}

}  // namespace

ComponentSession::ComponentSession(std::unique_ptr<State> state) : state_(std::move(state)) {}
ComponentSession::ComponentSession(ComponentSession&&) noexcept = default;
ComponentSession& ComponentSession::operator=(ComponentSession&&) noexcept = default;
ComponentSession::~ComponentSession() = default;

ComponentSession ComponentSession::Open(std::string_view release, const std::string& library) {
  auto state = std::make_unique<State>();
  state->library = std::make_shared<LoadedLibrary>(library);
  const std::string& served = state->library->identity().release;
  if (served != release) {
    throw ToolFailure(ToolFailure::kFail, "[Quillor] the library serves release " + served +
                                              ", not " + std::string(release));
  }
  state->object = state->f().create();
  if (!state->object) {
    throw ToolFailure(ToolFailure::kOutOfMemory, "[Quillor] cannot create an object of " + library);
  }
  return ComponentSession(std::move(state));
}

int32_t ComponentSession::Transact(const std::string& request, const std::string& connection_text,
                                   std::string* reply, const SessionCall& call) {
  const ReleaseFunctions& f = state_->f();
  std::unique_ptr<quillor_call_t, void (*)(quillor_call_t*)> handle(f.call_create(),
                                                                    f.call_destroy);
  if (!handle) return static_cast<int32_t>(0x8007000E);  // E_OUTOFMEMORY
  if (call.request_bound) f.set_request_bound(handle.get(), call.request_bound);
  if (call.trace) {
    f.set_trace_receiver(handle.get(), ReceiveTrace,
                         const_cast<void*>(static_cast<const void*>(&call.trace)));
  }
  if (call.item) {
    f.set_item_receiver(handle.get(), ReceiveItem,
                        const_cast<void*>(static_cast<const void*>(&call.item)));
  }
  if (call.read) {
    f.set_read_receiver(handle.get(), ReceiveRead,
                        const_cast<void*>(static_cast<const void*>(&call.read)));
  }
  if (call.stoppable) call.stoppable(f.request_stop, handle.get());
  char* text = nullptr;
  size_t length = 0;
  const int32_t status = f.transact(state_->object, handle.get(), request.data(), request.size(),
                                    connection_text.data(), connection_text.size(), &text, &length);
  if (call.stoppable) call.stoppable(nullptr, nullptr);
  // Room for the line end a caller adds, so that adding it copies nothing again.
  reply->clear();
  reply->reserve(length + 1);
  reply->assign(text ? text : "", text ? length : 0);
  f.free_text(text);
  // The library's copy is gone: after a long reply its pages go back to the
  // system, so that a worker does not keep the peak of its largest answer
  // (malloc_trim frees pages inside the heap too, not only at its top).
  if (length >= kLongReplyBytes) malloc_trim(0);
  return status;
}

int32_t ComponentSession::SetPageHandler(SessionPageHandler handler) {
  state_->pages = std::move(handler);
  return state_->pages ? state_->f().set_page_receiver(state_->object, ReceivePage, state_.get())
                       : state_->f().set_page_receiver(state_->object, nullptr, nullptr);
}

SessionFacts SessionFacts::From(const quillor_facts_t& facts) {
  SessionFacts out;
  out.operation = facts.operation;
  out.paged = facts.paged != 0;
  out.proc = facts.proc ? facts.proc : "";
  out.docid = facts.docid ? facts.docid : "";
  if (facts.has_code) out.code = facts.code;
  out.state = facts.state ? facts.state : "";
  out.rows = facts.rows;
  out.pages = facts.pages;
  if (facts.items) out.items.assign(facts.items, facts.items + facts.item_codes);
  return out;
}

namespace {

quillor_facts_t FactsOf(const ReleaseFunctions& f, const quillor_t* object) {
  quillor_facts_t facts{};
  facts.size = sizeof facts;
  if (f.facts(object, &facts) != 0) return quillor_facts_t{};
  return facts;
}

}  // namespace

SessionFacts ComponentSession::Facts() const {
  return SessionFacts::From(FactsOf(state_->f(), state_->object));
}

int64_t ComponentSession::PageRows() const {
  return FactsOf(state_->f(), state_->object).page_rows;
}

const LibraryIdentity& ComponentSession::identity() const { return state_->library->identity(); }

std::optional<quillor_pool_counts_t> ComponentSession::PoolCounts() const {
  quillor_pool_counts_t counts{};
  if (state_->f().pool_counts(&counts) != 0) return std::nullopt;
  return counts;
}

namespace {

// A text the library handed out, as the command's own, and freed in the library.
std::string TakeText(const ReleaseFunctions& f, char* text, size_t length) {
  std::string copy = text ? std::string(text, length) : std::string();
  f.free_text(text);
  return copy;
}

// Calls one of the gloss functions that take a text: its answer, or a failure
// in its words.
auto GlossCaller(std::shared_ptr<LoadedLibrary> library) {
  return [library](decltype(&quillor_gloss_message) ReleaseFunctions::*function,
                   std::string_view text) {
    const ReleaseFunctions& f = library->functions();
    char* answer = nullptr;
    size_t length = 0;
    const int32_t status = (f.*function)(text.data(), text.size(), &answer, &length);
    std::string words = TakeText(f, answer, length);
    if (status < 0) throw ToolFailure(status, words);
    return words;
  };
}

}  // namespace

LibraryQueries LoadQueries(const std::string& path) {
  auto library = std::make_shared<LoadedLibrary>(path);
  LibraryQueries queries;
  queries.pool_counts = [library]() -> std::optional<quillor_pool_counts_t> {
    quillor_pool_counts_t counts{};
    if (library->functions().pool_counts(&counts) != 0) return std::nullopt;
    return counts;
  };
  queries.database_failure =
      [library](const std::string& connection) -> std::optional<std::string> {
    const ReleaseFunctions& f = library->functions();
    char* failure = nullptr;
    size_t length = 0;
    if (f.check_database(connection.data(), connection.size(), &failure, &length) == 0) {
      return std::nullopt;
    }
    std::string why = TakeText(f, failure, length);
    return why.empty() ? "the database check failed" : why;
  };
  queries.identity = library->identity();
  // The registry's answers: a text, or a failure in the library's words.
  const auto answer = [library](decltype(&quillor_registry_file) ReleaseFunctions::*function) {
    const ReleaseFunctions& f = library->functions();
    char* text = nullptr;
    size_t length = 0;
    const int32_t status = (f.*function)(&text, &length);
    std::string words = TakeText(f, text, length);
    if (status < 0) throw ToolFailure(status, words);
    return words;
  };
  queries.registry_file = [answer] { return answer(&ReleaseFunctions::registry_file); };
  queries.registry_problem = [answer] { return answer(&ReleaseFunctions::registry_problem); };
  queries.registered_library =
      [library](const std::string& registry) -> std::optional<std::string> {
    const ReleaseFunctions& f = library->functions();
    char* text = nullptr;
    size_t length = 0;
    const int32_t status = f.registered_library(registry.data(), registry.size(), &text, &length);
    std::string path = TakeText(f, text, length);
    if (status < 0) throw ToolFailure(status, path);
    if (path.empty()) return std::nullopt;
    return path;
  };
  queries.register_classes = [library](bool unregister) {
    return library->functions().register_classes(unregister ? 1 : 0);
  };
  queries.connection_facts = [library](const std::string& connection) {
    const ReleaseFunctions& f = library->functions();
    quillor_connection_facts_t given{};
    const int32_t status = f.connection_facts(connection.data(), connection.size(), &given);
    if (status < 0) throw ToolFailure(status, "[Quillor] the connection text could not be read");
    const auto text = [](const char* value) {
      return value ? std::optional<std::string>(value) : std::nullopt;
    };
    ConnectionFacts facts{
        given.request_bound,     given.bound_refused != 0,        given.names_bound != 0,
        text(given.sqlite_file), text(given.masked).value_or(""), text(given.provider_refusal)};
    f.connection_facts_free(&given);
    return facts;
  };
  queries.oversized_note = [library](const std::string& connection, uint64_t request_bytes,
                                     const std::string& source) -> std::optional<std::string> {
    const ReleaseFunctions& f = library->functions();
    char* note = nullptr;
    size_t length = 0;
    const int32_t status = f.oversized_note(connection.data(), connection.size(), request_bytes,
                                            source.data(), source.size(), &note, &length);
    std::string text = TakeText(f, note, length);
    if (status < 0) return std::nullopt;  // a bound that is no number: the reply says so
    return text;
  };
  queries.gloss_reply = [answer_with = GlossCaller(library)](std::string_view reply) {
    std::vector<std::string> lines;
    std::string text = answer_with(&ReleaseFunctions::gloss_reply, reply);
    for (size_t at = 0; at < text.size();) {
      const size_t end = text.find('\n', at);
      lines.push_back(text.substr(at, end - at));
      at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
  };
  queries.gloss_message = [answer_with = GlossCaller(library)](std::string_view message) {
    return answer_with(&ReleaseFunctions::gloss_message, message);
  };
  queries.gloss_item = [library](const quillor_item_t& item) {
    const ReleaseFunctions& f = library->functions();
    char* line = nullptr;
    size_t length = 0;
    const int32_t status = f.gloss_item(&item, &line, &length);
    std::string text = TakeText(f, line, length);
    if (status < 0) throw ToolFailure(status, text);
    return text;
  };
  queries.init_database = [library](const std::string& connection, bool sample) {
    const ReleaseFunctions& f = library->functions();
    char* report = nullptr;
    size_t length = 0;
    const int32_t status =
        f.init_database(connection.data(), connection.size(), sample ? 1 : 0, &report, &length);
    std::string text = TakeText(f, report, length);
    if (status >= 0) return text;
    // The lines of the steps done, then the failure's words.
    const size_t words = text.rfind('\n') + 1;  // 0 when no step was done
    throw HostDatabaseFailure(status, text.substr(words), text.substr(0, words));
  };
  return queries;
}

LibraryQueries QueriesOf(const std::string& path) {
  try {
    return LoadQueries(path);
  } catch (const ToolFailure&) {
    // The library's questions answer nothing, and its registry and database
    // requests fail, in words that say why.
    const auto unloaded = []() -> std::string {
      throw ToolFailure(ToolFailure::kFail, "[Quillor] the release library could not be loaded");
    };
    LibraryQueries queries;
    queries.pool_counts = [] { return std::optional<quillor_pool_counts_t>(); };
    queries.database_failure = [](const std::string&) -> std::optional<std::string> {
      return "the release library could not be loaded";
    };
    queries.init_database = [unloaded](const std::string&, bool) { return unloaded(); };
    queries.registry_file = unloaded;
    queries.registry_problem = unloaded;
    queries.registered_library = [unloaded](const std::string&) -> std::optional<std::string> {
      return unloaded();
    };
    queries.register_classes = [](bool) { return static_cast<int32_t>(0x80004005); };  // E_FAIL
    // A text read by no library names nothing and shows nothing of itself.
    queries.connection_facts = [](const std::string&) { return ConnectionFacts{}; };
    return queries;
  }
}

}  // namespace quillor
