#pragma once

namespace quillory {

// Built with a sanitizer, the sanitizer owns malloc: the C library's own allocator calls (such as
// malloc_trim) then walk arenas nobody set up, and costs in time and memory differ from a shipped
// build.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool builtWithSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
constexpr bool builtWithSanitizer = true;
#else
constexpr bool builtWithSanitizer = false;
#endif
#else
constexpr bool builtWithSanitizer = false;
#endif

} // namespace quillory
