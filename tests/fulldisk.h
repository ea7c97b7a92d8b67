#pragma once
// A full disk for the length of a scope: writes that would make any file of
// this process (or of a program it starts) larger than `bytes` fail.
#include <csignal>
#include <sys/resource.h>

struct FullDisk
{
    rlimit old{};
    explicit FullDisk(rlim_t bytes)
    {
        // The write fails with EFBIG instead of the signal ending the process.
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
