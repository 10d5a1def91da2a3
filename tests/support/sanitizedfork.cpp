// Under ThreadSanitizer only: QProcess starts programs with clone() and vfork semantics (the
// child shares the parent's memory until it runs the program), and the sanitizer's own clone()
// then attaches the child to the parent's bookkeeping and stops both with "CHECK failed:
// ((!thr->slot)) != (0)". The parent waits while such a child runs, and the child only runs the
// program, so the call goes to the C library unwatched, as it did before the sanitizer watched
// clone() at all. The sanitizer's clone() is a weak symbol, which this one replaces.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)

#include <dlfcn.h>
#include <sched.h>
#include <sys/types.h>

#include <cstdarg>

extern "C" int clone(int (*fn)(void *), void *stack, int flags, void *arg, ...)
{
    using Clone = int (*)(int (*)(void *), void *, int, void *, ...);
    static const auto real = reinterpret_cast<Clone>(::dlsym(RTLD_NEXT, "clone"));
    va_list rest;
    va_start(rest, arg);
    pid_t *parentTid = va_arg(rest, pid_t *);
    void *tls = va_arg(rest, void *);
    pid_t *childTid = va_arg(rest, pid_t *);
    va_end(rest);
    return real(fn, stack, flags, arg, parentTid, tls, childTid);
}

#endif
#endif
