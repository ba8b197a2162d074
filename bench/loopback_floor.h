// What one round trip over loopback TCP costs on this machine before any server
// does any work. The HTTP line's ratio cannot pass in_process / (in_process +
// floor): on a machine whose threads wake each other slowly (a virtual machine
// whose idle processors halt) the floor alone can cost as much as a call.
#pragma once

#include <cstddef>

namespace quillor::bench {

// Where the answering process runs: on the processor the bench runs on, or on
// another one, as the threads of a server and its client may.
enum class Placement { kSameProcessor, kOtherProcessor };

// The mean time, in seconds, of `trips` round trips on one connection to a child
// process that answers each request of `request_bytes` at once with
// `answer_bytes`, as the HTTP line's client and server exchange them; -1 when
// the exchange cannot be set up, or the placement cannot be had (one processor).
// REQUIRES: both sizes > 0, trips > 0.
double LoopbackRoundTrip(size_t request_bytes, size_t answer_bytes, int trips, Placement where);

}  // namespace quillor::bench
