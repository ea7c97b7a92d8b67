/* A preloaded library for the tests that kill the program in the middle of
 * writing files: it counts the calls that change a file whose path contains
 * KVKILL_MATCH (write, ftruncate, rename, link, unlink, rmdir and their *at
 * forms), notes each in the file KVKILL_LOG, and ends the process with
 * SIGKILL just before the call numbered KVKILL_AT (from 1; 0 or unset: never).
 * The same program doing the same work makes the same calls, so a kill lands
 * on the same step every time. Locks taken with flock count as well; with
 * KVKILL_PAUSE set, the chosen call is held instead of killed: the library
 * notes "PAUSE" and lets the call go on once the file KVKILL_PAUSE names
 * exists (after a minute at most), so that a test can act in between. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/types.h>
#include <unistd.h>

static long counted;

static const char* match(void)
{
    const char* m = getenv("KVKILL_MATCH");
    return m && *m ? m : NULL;
}

static ssize_t (*realwrite)(int, const void*, size_t);

static void note(const char* what, const char* path)
{
    const char* log = getenv("KVKILL_LOG");
    if (!log)
        return;
    if (!realwrite)
        realwrite = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    int fd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    char line[PATH_MAX + 64];
    int n = snprintf(line, sizeof line, "%ld %s %s\n", counted, what, path);
    if (n > 0)
        realwrite(fd, line, (size_t)n < sizeof line ? (size_t)n : sizeof line - 1);
    close(fd);
}

/* Counts one call on `path` when it matches; kills before the chosen one. */
static void step(const char* what, const char* path)
{
    const char* m = match();
    if (!m || !path || !strstr(path, m))
        return;
    ++counted;
    const char* at = getenv("KVKILL_AT");
    if (at && atol(at) == counted) {
        const char* pause = getenv("KVKILL_PAUSE");
        if (!pause || !*pause) {
            note("KILL", path);
            raise(SIGKILL);
        }
        note("PAUSE", path);
        for (int wait = 0; wait < 6000 && access(pause, F_OK) != 0; ++wait)
            usleep(10000);
    }
    note(what, path);
}

static void stepfd(const char* what, int fd)
{
    if (!match())
        return;
    char link[64], path[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0)
        return;
    path[n] = 0;
    step(what, path);
}

/* The next definition of `name` (the C library's, or the sanitizer's in front of it). */
#define NEXT(name, ...)                                                                                          \
    typedef __VA_ARGS__;                                                                                          \
    static fn real = NULL;                                                                                        \
    if (!real)                                                                                                    \
        real = (fn)dlsym(RTLD_NEXT, name)

ssize_t write(int fd, const void* data, size_t count)
{
    NEXT("write", ssize_t (*fn)(int, const void*, size_t));
    stepfd("write", fd);
    return real(fd, data, count);
}

int ftruncate(int fd, off_t length)
{
    NEXT("ftruncate", int (*fn)(int, off_t));
    stepfd("ftruncate", fd);
    return real(fd, length);
}

int ftruncate64(int fd, off_t length)
{
    NEXT("ftruncate64", int (*fn)(int, off_t));
    stepfd("ftruncate", fd);
    return real(fd, length);
}

int rename(const char* from, const char* to)
{
    NEXT("rename", int (*fn)(const char*, const char*));
    step("rename", to);
    return real(from, to);
}

int renameat(int fromdir, const char* from, int todir, const char* to)
{
    NEXT("renameat", int (*fn)(int, const char*, int, const char*));
    step("rename", to);
    return real(fromdir, from, todir, to);
}

int renameat2(int fromdir, const char* from, int todir, const char* to, unsigned int flags)
{
    NEXT("renameat2", int (*fn)(int, const char*, int, const char*, unsigned int));
    step("rename", to);
    return real(fromdir, from, todir, to, flags);
}

int link(const char* from, const char* to)
{
    NEXT("link", int (*fn)(const char*, const char*));
    step("link", to);
    return real(from, to);
}

int linkat(int fromdir, const char* from, int todir, const char* to, int flags)
{
    NEXT("linkat", int (*fn)(int, const char*, int, const char*, int));
    step("link", to);
    return real(fromdir, from, todir, to, flags);
}

int unlink(const char* path)
{
    NEXT("unlink", int (*fn)(const char*));
    step("unlink", path);
    return real(path);
}

int unlinkat(int dir, const char* path, int flags)
{
    NEXT("unlinkat", int (*fn)(int, const char*, int));
    step("unlink", path);
    return real(dir, path, flags);
}

int rmdir(const char* path)
{
    NEXT("rmdir", int (*fn)(const char*));
    step("rmdir", path);
    return real(path);
}

int flock(int fd, int operation)
{
    NEXT("flock", int (*fn)(int, int));
    stepfd("lock", fd);
    return real(fd, operation);
}
