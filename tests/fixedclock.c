/* A preloaded library for tests that start programs at the same moment: the
 * real-time clock (clock_gettime, gettimeofday, time) reads KVCLOCK_AT,
 * seconds since the epoch, and does not move; the other clocks run. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/time.h>
#include <time.h>

static int fixed(time_t* at)
{
    const char* value = getenv("KVCLOCK_AT");
    if (!value || !*value)
        return 0;
    *at = (time_t)atoll(value);
    return 1;
}

int clock_gettime(clockid_t clock, struct timespec* now)
{
    static int (*real)(clockid_t, struct timespec*);
    time_t at;
    if ((clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE) && fixed(&at)) {
        now->tv_sec = at;
        now->tv_nsec = 0;
        return 0;
    }
    if (!real)
        real = (int (*)(clockid_t, struct timespec*))dlsym(RTLD_NEXT, "clock_gettime");
    return real(clock, now);
}

int gettimeofday(struct timeval* now, void* zone)
{
    static int (*real)(struct timeval*, void*);
    time_t at;
    if (now && fixed(&at)) {
        now->tv_sec = at;
        now->tv_usec = 0;
        return 0;
    }
    if (!real)
        real = (int (*)(struct timeval*, void*))dlsym(RTLD_NEXT, "gettimeofday");
    return real(now, zone);
}

time_t time(time_t* now)
{
    static time_t (*real)(time_t*);
    time_t at;
    if (fixed(&at)) {
        if (now)
            *now = at;
        return at;
    }
    if (!real)
        real = (time_t(*)(time_t*))dlsym(RTLD_NEXT, "time");
    return real(now);
}
