// A loopback port that nothing listens on: bound and released at once, so the
// kernel has just handed it out and will not hand it to the next caller soon.
#pragma once

namespace quillor::testing {

int FreeLoopbackPort();

}  // namespace quillor::testing
