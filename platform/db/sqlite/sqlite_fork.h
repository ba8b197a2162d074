// SQLite's own process-wide mutexes around a fork.
#pragma once

namespace quillor::sqlite {

// From the first open on, every fork of the process enters SQLite's static
// mutexes first and leaves them after, in the parent and in the child: a thread
// inside SQLite at that moment (the host's own use of it included) then leaves
// none of them held in the child.
void HoldEngineLocksAcrossForks();

}  // namespace quillor::sqlite
