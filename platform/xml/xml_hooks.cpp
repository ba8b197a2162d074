#include "platform/xml/xml_hooks.h"

#if !QUILLOR_TEST_HOOKS
#error "the pass counter is for builds with the test hooks (QUILLOR_TEST_HOOKS)"
#endif

namespace quillor::xml_hooks {
namespace {

PassCounter*& Current() {
  thread_local PassCounter* counter = nullptr;
  return counter;
}

}  // namespace

PassCounter::PassCounter(std::string_view watched) : watched_(watched), previous_(Current()) {
  Current() = this;
}

PassCounter::~PassCounter() { Current() = previous_; }

void CountPass(std::string_view text) {
  for (PassCounter* c = Current(); c != nullptr; c = c->previous_) {
    // A read of the text's first bytes only (the root's start tag of a request
    // over its bound) is a pass over it too.
    if (!text.empty() && c->watched_.starts_with(text)) ++c->passes_;
  }
}

}  // namespace quillor::xml_hooks
