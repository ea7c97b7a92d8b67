/* A preloaded library for the tests that kill the program in the middle of
 * writing files: it counts the calls that change a file whose path contains
 * KVKILL_MATCH (write, ftruncate, rename, link, unlink, rmdir and their *at
 * forms), notes each in the file KVKILL_LOG, and ends the process with
 * SIGKILL just before the call numbered KVKILL_AT (from 1; 0 or unset: never).
 * The same program doing the same work makes the same calls, so a kill lands
 * on the same step every time. Locks taken with flock count as well; with
 * KVKILL_PAUSE set, the chosen call is held instead of killed: the library
 * notes "PAUSE" and lets the call go on once the file KVKILL_PAUSE names
 * exists (after a minute at most), so that a test can act in between. With
 * KVKILL_ERRNO set (say 28, ENOSPC), from the call numbered KVKILL_FULL on,
 * every counted call that needs new room on the disk fails with that error,
 * as on a disk that filled up, until KVKILL_MATCH is emptied: a write past the
 * end of the file or into a hole, an ftruncate that grows the file, a rename
 * or a link. A kill at KVKILL_AT may follow. With KVCLOCK_AT set, the wall
 * clock (gettimeofday, which QDateTime reads) shows that second since the
 * epoch and stands still, as for programs started at the same moment. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
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

/* Counts one call on `path` when it matches; kills before the chosen one.
 * Returns the error the call is to fail with (0: none). */
static int step(const char* what, const char* path, int canfail)
{
    const char* m = match();
    if (!m || !path || !strstr(path, m))
        return 0;
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
    const char* full = getenv("KVKILL_FULL");
    const char* error = getenv("KVKILL_ERRNO");
    if (canfail && full && atol(full) > 0 && counted >= atol(full) && error && *error) {
        note("FAIL", path);
        return atoi(error);
    }
    note(what, path);
    return 0;
}

static int stepfd(const char* what, int fd, int canfail)
{
    if (!match())
        return 0;
    char link[64], path[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0)
        return 0;
    path[n] = 0;
    return step(what, path, canfail);
}

/* Ends the wrapper with the chosen error instead of the call. */
#define FAILWITH(error) do { int e = (error); if (e) { errno = e; return -1; } } while (0)

/* The next definition of `name` (the C library's, or the sanitizer's in front of it). */
#define NEXT(name, ...)                                                                                          \
    typedef __VA_ARGS__;                                                                                          \
    static fn real = NULL;                                                                                        \
    if (!real)                                                                                                    \
        real = (fn)dlsym(RTLD_NEXT, name)

/* Whether writing `count` bytes at the descriptor's position takes new room. */
static int needsroom(int fd, size_t count)
{
    const int saved = errno;
    const off_t at = lseek(fd, 0, SEEK_CUR);
    const off_t hole = at < 0 ? -1 : lseek(fd, at, SEEK_HOLE); /* the end of the file is one */
    if (at >= 0)
        lseek(fd, at, SEEK_SET);
    errno = saved;
    return hole < 0 || hole < at + (off_t)count;
}

static int grows(int fd, off_t length)
{
    const int saved = errno;
    struct stat file;
    const int unknown = fstat(fd, &file) != 0;
    errno = saved;
    return unknown || length > file.st_size;
}

ssize_t write(int fd, const void* data, size_t count)
{
    NEXT("write", ssize_t (*fn)(int, const void*, size_t));
    if (match())
        FAILWITH(stepfd("write", fd, needsroom(fd, count)));
    return real(fd, data, count);
}

int ftruncate(int fd, off_t length)
{
    NEXT("ftruncate", int (*fn)(int, off_t));
    if (match())
        FAILWITH(stepfd("ftruncate", fd, grows(fd, length)));
    return real(fd, length);
}

int ftruncate64(int fd, off_t length)
{
    NEXT("ftruncate64", int (*fn)(int, off_t));
    if (match())
        FAILWITH(stepfd("ftruncate", fd, grows(fd, length)));
    return real(fd, length);
}

int rename(const char* from, const char* to)
{
    NEXT("rename", int (*fn)(const char*, const char*));
    FAILWITH(step("rename", to, 1));
    return real(from, to);
}

int renameat(int fromdir, const char* from, int todir, const char* to)
{
    NEXT("renameat", int (*fn)(int, const char*, int, const char*));
    FAILWITH(step("rename", to, 1));
    return real(fromdir, from, todir, to);
}

int renameat2(int fromdir, const char* from, int todir, const char* to, unsigned int flags)
{
    NEXT("renameat2", int (*fn)(int, const char*, int, const char*, unsigned int));
    FAILWITH(step("rename", to, 1));
    return real(fromdir, from, todir, to, flags);
}

int link(const char* from, const char* to)
{
    NEXT("link", int (*fn)(const char*, const char*));
    FAILWITH(step("link", to, 1));
    return real(from, to);
}

int linkat(int fromdir, const char* from, int todir, const char* to, int flags)
{
    NEXT("linkat", int (*fn)(int, const char*, int, const char*, int));
    FAILWITH(step("link", to, 1));
    return real(fromdir, from, todir, to, flags);
}

int unlink(const char* path)
{
    NEXT("unlink", int (*fn)(const char*));
    step("unlink", path, 0);
    return real(path);
}

int unlinkat(int dir, const char* path, int flags)
{
    NEXT("unlinkat", int (*fn)(int, const char*, int));
    step("unlink", path, 0);
    return real(dir, path, flags);
}

int rmdir(const char* path)
{
    NEXT("rmdir", int (*fn)(const char*));
    step("rmdir", path, 0);
    return real(path);
}

int flock(int fd, int operation)
{
    NEXT("flock", int (*fn)(int, int));
    stepfd("lock", fd, 0);
    return real(fd, operation);
}

int gettimeofday(struct timeval* now, void* zone)
{
    NEXT("gettimeofday", int (*fn)(struct timeval*, void*));
    const char* at = getenv("KVCLOCK_AT");
    if (!at || !*at)
        return real(now, zone);
    now->tv_sec = (time_t)atoll(at);
    now->tv_usec = 0;
    return 0;
}
