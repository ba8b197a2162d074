// Replies handed to the host as the component wrote them, not copied: a reply of
// a large QUERY is as long as its rows, and a copy of it cost a host as much
// again in time and in pages touched. The host frees one with quillor_free,
// which tells it from the interface's other texts (malloc'd copies).
#pragma once

#include <string>

namespace quillor::deliverable {

// Keeps text until FreeHandedText is given the pointer returned: its bytes, with
// their terminating NUL. Out of memory throws std::bad_alloc, text then lost.
char* HandOverReply(std::string text);

// Frees a reply HandOverReply handed out, or else a text the interface copied
// out with malloc; NULL does nothing. Safe from any thread.
void FreeHandedText(void* text);

}  // namespace quillor::deliverable
