/* A preloaded library for tests that start programs at the same moment: the
 * wall clock (gettimeofday, which QDateTime reads) shows KVCLOCK_AT, seconds
 * since the epoch, and stands still. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/time.h>

int gettimeofday(struct timeval* now, void* zone)
{
    static int (*real)(struct timeval*, void*);
    const char* at = getenv("KVCLOCK_AT");
    if (now && at && *at) {
        now->tv_sec = (time_t)atoll(at);
        now->tv_usec = 0;
        return 0;
    }
    if (!real)
        real = (int (*)(struct timeval*, void*))dlsym(RTLD_NEXT, "gettimeofday");
    return real(now, zone);
}
