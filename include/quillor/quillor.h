/* Quillor's C interface: the one header a host needs to call a release library
 * in process, from C or from any language that can call C (Python's ctypes,
 * Java's FFM or JNA, Go's cgo).
 *
 * Each release library (lib/8.71/libquillor.so, lib/8.61/..., lib/8.50/...)
 * exports these functions beside its COM entry points; the object a library
 * creates is of that library's release. Everything is plain C: opaque handles,
 * length-counted UTF-8 texts in, texts the caller frees out, and statuses as
 * values. No C++ exception ever leaves a function of this header.
 *
 * A call's status is the component's own (0 for success, a negative number for
 * a failure the host should see, as COM's HRESULT): the reply is given in
 * every case the component produced one, a failure reply included.
 *
 * Version 2 added the item receiver, the trace receiver, the page refusal's
 * words, the pool counts and the database check; version 3 the call's facts
 * (what the component read of the request and wrote into the reply, as values)
 * and the receiver told them once the request is read, and what a command or an
 * installer asks beside the calls: the host database made ready, the release's
 * identity and registration, a connection text's facts and the English of the
 * replies.
 *
 * Threads: an object is called on the thread that created it (a call from
 * another thread is refused with a negative status, as a COM apartment refuses
 * it); objects of other threads run at once and share the process's connection
 * pool. quillor_request_stop may be called from any thread while a call runs.
 */
#ifndef QUILLOR_QUILLOR_H_
#define QUILLOR_QUILLOR_H_

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define QUILLOR_API __declspec(dllexport)
#else
#define QUILLOR_API __attribute__((visibility("default")))
#endif

/* The version of this interface. A library answers the version it implements;
 * a host built against a newer header refuses an older library. Functions are
 * only ever added, never changed, within one version. */
#define QUILLOR_C_API_VERSION 3
QUILLOR_API int32_t quillor_api_version(void);

/* The release this library serves: "8.71", "8.61" or "8.50". Static text. */
QUILLOR_API const char* quillor_release(void);

typedef struct quillor_t quillor_t;
typedef struct quillor_call_t quillor_call_t;

/* A new object of this library's release, or NULL when it cannot be made (out
 * of memory). Free it with quillor_destroy. */
QUILLOR_API quillor_t* quillor_create(void);
QUILLOR_API void quillor_destroy(quillor_t* object);

/* Receives one result page of a paged QUERY: its text (UTF-8, page_length bytes,
 * not terminated), its number and the page count. The receiver may change
 * *page_number and *page_count; paging goes on with the numbers it leaves, as
 * for a COM caller's ProcessExport. A receiver that returns non-zero fails the
 * call. The text is valid only during the call. */
typedef int32_t (*quillor_page_fn)(void* state, const char* page, size_t page_length,
                                   int32_t* page_number, int32_t* page_count);

/* Registers the page receiver of the object (state is handed back to it
 * unchanged). The object keeps paging for the rest of its life once a receiver
 * was registered, as the component keeps a registered caller: NULL only stops
 * the receiver being told, and the pages are then dropped (the reply holds the
 * last page). A host that wants every row in the reply uses an object that never
 * had a receiver. Only the release with caller registration (8.71) pages: 8.61
 * and 8.50 answer a negative status. */
QUILLOR_API int32_t quillor_set_page_receiver(quillor_t* object, quillor_page_fn receiver,
                                              void* state);

/* Since version 2. Called by a page receiver before it returns non-zero: the
 * words the failure reply gives for the refused page ("cannot write
 * /srv/pages/page-3.xml: No space left on device") instead of the default
 * "the page receiver refused page N". Outside a receiver it does nothing. */
QUILLOR_API void quillor_set_page_refusal(quillor_t* object, const char* text, size_t length);

/* Per-call options; NULL options are the defaults. */
QUILLOR_API quillor_call_t* quillor_call_create(void);
QUILLOR_API void quillor_call_destroy(quillor_call_t* call);
/* The largest request the call accepts, in bytes (0: the connection text's
 * "Max Request Size", else the default of 256 MiB). */
QUILLOR_API void quillor_call_set_request_bound(quillor_call_t* call, uint64_t bytes);
/* Asks a running ADD batch to end before its next line; the reply then holds
 * the lines answered so far, each committed or rolled back whole. May be called
 * from another thread, and before the call (the batch then answers no line).
 * The flag is the call's: it stays set for later calls with the same options. */
QUILLOR_API void quillor_request_stop(quillor_call_t* call);

/* Since version 2. One line's outcome of an ADD as values, so that no host reads
 * it back out of the reply's text: the line's id, its code and message as the
 * reply has them, and for a write refused before any statement the reason in
 * English ("period 2.5 is not a whole number"), which the reply's one fixed text
 * does not say. A call that answers no line (no connection, a request that is no
 * XML, an unknown proc) gives one outcome of its own, with a NULL id: the reply's
 * code and message, and the database driver's SQLSTATE when the driver refused
 * ("IM002": the driver manager knows no such data source or driver; "08001": the
 * server could not be reached). Texts are UTF-8 and NUL-terminated, "" when
 * there is none, and valid only during the receiver's call. */
typedef struct quillor_item_t {
  const char* id; /* the material element's id; NULL for the call's own outcome */
  int32_t code;   /* 0 stored, 100 write failed, 101 refused, 999 batch ended; or the reply's */
  const char* message; /* the reply's message for the line */
  const char* reason;  /* why a write was refused before any statement, else "" */
  const char* state;   /* the driver's SQLSTATE for the call's own outcome, else "" */
} quillor_item_t;
typedef void (*quillor_item_fn)(void* state, const quillor_item_t* item);

/* Since version 2. Receives each line's outcome, in the reply's order, on the
 * thread that runs the call; NULL takes it away. */
QUILLOR_API void quillor_call_set_item_receiver(quillor_call_t* call, quillor_item_fn receiver,
                                                void* state);

/* Since version 2. Receives one line per statement the call sends, as the SQL
 * trace file holds it (one JSON object, no line end; see docs/usage.md), on the
 * thread that runs the call. A call of this interface is traced through its
 * receiver alone: QUILLOR_TRACE_SQL is for COM hosts. NULL takes it away. */
typedef void (*quillor_trace_fn)(void* state, const char* line, size_t line_length);
QUILLOR_API void quillor_call_set_trace_receiver(quillor_call_t* call, quillor_trace_fn receiver,
                                                 void* state);

/* Since version 2. The counts of this library's connection pool (each loaded
 * release keeps its own); idle connections past their idle time are closed
 * first. Returns 0, or a negative status for a NULL pointer. */
typedef struct quillor_pool_counts_t {
  uint64_t idle;      /* open, waiting for a call */
  uint64_t busy;      /* handed to calls that are running */
  uint64_t opened;    /* opened by the pool since the library was loaded */
  uint64_t reused;    /* calls served by an idle connection */
  uint64_t discarded; /* closed by the pool: expired, broken, not resettable, over a bound */
} quillor_pool_counts_t;
QUILLOR_API int32_t quillor_pool_counts(quillor_pool_counts_t* counts);

/* Since version 2. Whether the database of a connection text answers: a
 * connection from this library's pool (an idle one of the same text when there
 * is one, checked as before a call) runs one trivial query, never traced. Returns
 * 0 when it answered; else a negative status, and *failure (when not NULL) the
 * database's words, to be freed with quillor_free. */
QUILLOR_API int32_t quillor_check_database(const char* connection, size_t connection_length,
                                           char** failure, size_t* failure_length);

/* Since version 3. The codes of the replies the component gives of its own when
 * it answers no line (every other such reply carries a failure's number, a
 * negative HRESULT): the request's own faults, and no connection text. */
#define QUILLOR_REPLY_NOT_WELL_FORMED 100 /* not well-formed XML, or over the request bound */
#define QUILLOR_REPLY_NO_ROOT 101         /* the request document has no root element */
#define QUILLOR_REPLY_NO_CONNECTION 529   /* the connection text is empty */
#define QUILLOR_REPLY_UNKNOWN_PROC 710    /* proc is neither ADD nor QUERY */

/* Since version 3. The operation a request's root names (its proc, in any case). */
#define QUILLOR_OPERATION_UNREAD 0 /* the root's start tag did not read: no XML */
#define QUILLOR_OPERATION_ADD 1
#define QUILLOR_OPERATION_QUERY 2
#define QUILLOR_OPERATION_OTHER 3 /* another proc, or none */

/* Since version 3. How many item results of an ADD carry one code. */
typedef struct quillor_code_count_t {
  int32_t code;
  uint64_t count;
} quillor_code_count_t;

/* Since version 3. What the component learnt of a call from its own reading of
 * the request and its own writing of the reply, so that no host reads either
 * text again for them. Versioned by size: the host sets `size` to
 * sizeof(quillor_facts_t) of its header before asking; the library fills the
 * fields of its own version (a later host's longer struct keeps the rest) and
 * sets `size` to the bytes it filled. A later version only adds fields at the
 * end. Texts are NUL-terminated UTF-8 ("" when there is none) and `items` an
 * array; they stay valid until the object's next call begins or the object is
 * destroyed. */
typedef struct quillor_facts_t {
  size_t size;
  int32_t operation; /* QUILLOR_OPERATION_*: from the root's start tag */
  int32_t paged;     /* non-zero: a QUERY whose rows go out in pages (a page size of at
                        least 1, a release that pages, a page receiver registered) */
  const char* proc;  /* the root's proc as written */
  const char* docid; /* the root's docid as written */
  int32_t has_code;  /* non-zero: the call answered no line; its reply is its own outcome */
  int32_t code;      /* the reply's code (see QUILLOR_REPLY_*); 0 for a normal reply */
  const char* state; /* with that outcome, the driver's SQLSTATE when the driver refused */
  int64_t rows;      /* the rows the reply holds (a paged QUERY's: its last partial page) */
  int64_t pages;     /* the pages handed to the page receiver */
  int64_t page_rows; /* the rows of the page being handed over (in a page receiver), else
                        of the last page handed over */
  size_t item_codes; /* the entries of `items` */
  const quillor_code_count_t* items; /* an ADD's item results by code, codes ascending */
} quillor_facts_t;

/* Since version 3. The facts of the object's running call (from its page receiver
 * or its read receiver) or of its last one, on the thread that created the
 * object. Returns 0; a negative status for a NULL pointer or a `size` smaller
 * than version 3's struct. Before any call every field is zero or "". */
QUILLOR_API int32_t quillor_facts(const quillor_t* object, quillor_facts_t* facts);

/* Since version 3. Called once the request's root start tag has been read, first
 * thing in the call (before its connection opens, before anything is written or
 * a page handed out), with the facts so far: operation, proc, docid and paged, so
 * that a host can settle the shape of its answer or how it may be stopped. A
 * request whose start tag does not read (no XML) does not call it. On the thread
 * that runs the call; NULL takes it away. */
typedef void (*quillor_facts_fn)(void* state, const quillor_facts_t* facts);
QUILLOR_API void quillor_call_set_read_receiver(quillor_call_t* call, quillor_facts_fn receiver,
                                                void* state);
/* Since version 3. Makes the host database of a connection text ready for calls:
 * for a Provider=SQLite text the file when it is not there yet (its folder must
 * be), the host's tables when they are not all there, and with sample non-zero
 * the sample rows that are missing (a row already there stays as it is). Returns
 * 0, and *report (when not NULL) what was done, a line each, each ending in a
 * line feed: "database file PATH", "host tables created" or "host tables already
 * present", then a line per sample table indented by two spaces. On a failure a
 * negative status, and *report the lines of the steps done before it and then
 * the database's words, with no line end. Free it with quillor_free. */
QUILLOR_API int32_t quillor_init_database(const char* connection, size_t connection_length,
                                          int32_t sample, char** report, size_t* report_length);

/* Since version 3. Who this library is, for a command that loads it by path:
 * static texts, valid while the library is loaded. Returns 0, or a negative
 * status for a NULL pointer. */
typedef struct quillor_identity_t {
  const char* release;    /* "8.71", "8.61" or "8.50", as quillor_release */
  const char* class_id;   /* the class identifier the registry holds, "{...}" */
  int32_t pages;          /* non-zero: the release pages (quillor_set_page_receiver) */
  int32_t replaces_lines; /* non-zero: an ADD line replaces an earlier one of its key */
  int32_t shared_class;   /* non-zero: another release registers the same class */
} quillor_identity_t;
QUILLOR_API int32_t quillor_identity(quillor_identity_t* identity);

/* Since version 3. The registry file that registration writes: $QUILLOR_REGISTRY
 * when set, else $XDG_CONFIG_HOME/quillor/registry, else
 * $HOME/.config/quillor/registry. Returns 0 and *path; a negative status when
 * none of the variables is set, *path then the words. */
QUILLOR_API int32_t quillor_registry_file(char** path, size_t* path_length);

/* Since version 3. The library file a registry file names for this library's
 * class ("" when the class is not registered): the file at registry (UTF-8,
 * registry_length bytes), or with none (NULL or "") quillor_registry_file's.
 * A negative status, and the words, when the registry file cannot be read. */
QUILLOR_API int32_t quillor_registered_library(const char* registry, size_t registry_length,
                                               char** path, size_t* path_length);

/* Since version 3. Why the registry file cannot be updated (its folder cannot be
 * made or written, the file or its lock cannot be read or written, or it does
 * not read as a registry file), "" when no reason is found. */
QUILLOR_API int32_t quillor_registry_problem(char** words, size_t* words_length);

/* Since version 3. Writes this library's registration (its class, interfaces
 * and type library, naming this library's file) into the registry file, or with
 * unregister non-zero takes it out, as DllRegisterServer and DllUnregisterServer
 * do. Returns their status. */
QUILLOR_API int32_t quillor_register(int32_t unregister);

/* The connection text's key for the largest request a call accepts ("Max
 * Request Size=BYTES"); it never reaches the database. */
#define QUILLOR_MAX_REQUEST_SIZE_KEY "Max Request Size"

/* Since version 3. What the library reads in a connection text, as its calls
 * read it. Free the texts with quillor_connection_facts_free. */
typedef struct quillor_connection_facts_t {
  uint64_t request_bound; /* the largest request a call with the text accepts */
  int32_t bound_refused;  /* non-zero: the bound the text (or $QUILLOR_MAX_REQUEST_SIZE)
                             names is no whole number above 0, which a call's reply
                             refuses; request_bound is then the default, 256 MiB */
  int32_t names_bound;    /* non-zero: the text itself names Max Request Size */
  char* sqlite_file;      /* the file of a Provider=SQLite text, else NULL */
  char* masked;           /* the text with every password written as *** */
  char* provider_refusal; /* why no provider of this library opens the text, else NULL */
} quillor_connection_facts_t;
/* Returns 0 and fills *facts; a negative status for a NULL pointer (a NULL
 * text with a length, or no facts) or when memory ran out, *facts then empty. */
QUILLOR_API int32_t quillor_connection_facts(const char* connection, size_t connection_length,
                                             quillor_connection_facts_t* facts);
QUILLOR_API void quillor_connection_facts_free(quillor_connection_facts_t* facts);

/* Since version 3. What an operator reads beside the reply that refuses a request
 * over the bound, which keeps the catalogue's text: the request's size, the bound
 * and where the bound came from. With request_bytes 0, a request read from source
 * ("-" or a file) no further than the bound allows, whose length is not known.
 * Returns 0 and *note; a negative status, and the words, when the text's bound is
 * no number. */
QUILLOR_API int32_t quillor_oversized_note(const char* connection, size_t connection_length,
                                           uint64_t request_bytes, const char* source,
                                           size_t source_length, char** note, size_t* note_length);

/* Since version 3. The English of the component's texts, for operators who do not
 * read the catalogue's: the replies themselves stay as they are. */
/* A message: each catalogue text it holds in English, the data joined to it (a
 * code, a value) kept; a text with no catalogue text in it as it is. */
QUILLOR_API int32_t quillor_gloss_message(const char* message, size_t message_length,
                                          char** english, size_t* english_length);
/* One line's outcome as the item receiver gives it: "# item 6: 101, refused: D09:
 * the department is not a base costing department", or for a call's own outcome
 * (a NULL id) "# reply 3: ...". No line end. */
QUILLOR_API int32_t quillor_gloss_item(const quillor_item_t* item, char** line,
                                       size_t* line_length);
/* A whole reply: a line per item result of an ADD, one for a reply that answered
 * no line, one with the row count of a QUERY; each starts with "# " and ends in
 * a line feed. */
QUILLOR_API int32_t quillor_gloss_reply(const char* reply, size_t reply_length, char** lines,
                                        size_t* lines_length);

/* Transact: the request text and the connection text, each length-counted
 * UTF-8. On return *reply holds the reply (UTF-8, *reply_length bytes, and a
 * terminating NUL not counted), to be freed with quillor_free; it is NULL when
 * the component gave none. Returns the component's status. */
QUILLOR_API int32_t quillor_transact(quillor_t* object, const quillor_call_t* call,
                                     const char* request, size_t request_length,
                                     const char* connection, size_t connection_length, char** reply,
                                     size_t* reply_length);

/* Frees a text this interface handed out. */
QUILLOR_API void quillor_free(void* text);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QUILLOR_QUILLOR_H_ */
