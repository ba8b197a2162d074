// Which sanitizer the tests were built with, for the few tests that measure
// memory the sanitizer's allocator would change.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define QUILLOR_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILLOR_UNDER_ASAN 1
#endif
#endif
