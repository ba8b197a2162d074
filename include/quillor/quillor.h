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
#define QUILLOR_C_API_VERSION 1
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
 * unchanged); NULL takes it away. Only releases with caller registration (8.71,
 * 8.61) page: 8.50 answers a negative status. */
QUILLOR_API int32_t quillor_set_page_receiver(quillor_t* object, quillor_page_fn receiver,
                                              void* state);

/* Per-call options; NULL options are the defaults. */
QUILLOR_API quillor_call_t* quillor_call_create(void);
QUILLOR_API void quillor_call_destroy(quillor_call_t* call);
/* The largest request the call accepts, in bytes (0: the connection text's
 * "Max Request Size", else the default of 256 MiB). */
QUILLOR_API void quillor_call_set_request_bound(quillor_call_t* call, uint64_t bytes);
/* Asks a running ADD batch to end before its next line; the reply then holds
 * the lines answered so far, each committed or rolled back whole. May be called
 * from another thread, and before the call (the batch then answers no line). */
QUILLOR_API void quillor_request_stop(quillor_call_t* call);

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
