// Preloaded into a program under test: from the k-th thread start on (k given by
// QUILLORY_FAIL_THREAD_START), every pthread_create fails with EAGAIN, as when the user's pids
// cgroup is full; with QUILLORY_FAIL_THREAD_START_ONLY set, only the k-th does, as when another
// process let one go meanwhile.
#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

extern "C" int pthread_create(pthread_t *thread, const pthread_attr_t *attributes,
                              void *(*start)(void *), void *argument)
{
    using Create = int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
    static const auto real = reinterpret_cast<Create>(::dlsym(RTLD_NEXT, "pthread_create"));
    static const long failingFrom = [] {
        const char *k = std::getenv("QUILLORY_FAIL_THREAD_START");
        return k ? std::atol(k) : 0;
    }();
    static const bool only = std::getenv("QUILLORY_FAIL_THREAD_START_ONLY") != nullptr;
    static std::atomic<long> starts{0};
    const long count = ++starts;
    if (failingFrom > 0 && (only ? count == failingFrom : count >= failingFrom))
        return EAGAIN;
    return real(thread, attributes, start, argument);
}
