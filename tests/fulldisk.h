#pragma once
// A full disk for the test process: while a FullDisk lives, writes that would
// make any file larger than the given size fail (with "File too large")
// instead of ending the process.
#include <csignal>
#include <sys/resource.h>

struct FullDisk
{
    rlimit old{};
    explicit FullDisk(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit limit = old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FullDisk() { setrlimit(RLIMIT_FSIZE, &old); }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;
};
