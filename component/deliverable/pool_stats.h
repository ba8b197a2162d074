/* The connection pool's counts, as a server library exports them to the host process:
 *
 *   auto stats = reinterpret_cast<QuillorPoolStatsFn>(dlsym(handle, "QuillorPoolStats"));
 *   QuillorPoolCounts counts;
 *   if (stats && stats(&counts) == 0) ... counts.idle, counts.busy ...
 *
 * The counts are of that library's pool alone: each loaded release keeps its own.
 * Idle connections past their idle time are closed before the counts are taken. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct QuillorPoolCounts {
  uint64_t idle;      /* open, waiting for a call */
  uint64_t busy;      /* handed to calls that are running (Pooling=false ones are not counted) */
  uint64_t opened;    /* opened by the pool since the library was loaded */
  uint64_t reused;    /* calls served by an idle connection */
  uint64_t discarded; /* closed by the pool: expired, broken, not resettable, over a bound */
} QuillorPoolCounts;

/* Fills *counts and returns 0 (S_OK); a null pointer returns E_POINTER. */
typedef int32_t (*QuillorPoolStatsFn)(QuillorPoolCounts* counts);

#ifdef __cplusplus
}
#endif
