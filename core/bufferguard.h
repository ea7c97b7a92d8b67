#pragma once
// The lock of a Buffer. Recursive, as its operations call each other; and as
// cheap as a lock can be when free or already held, since plugins take it for
// every bin and sample they read or write: one atomic exchange to take it, a
// plain store to let it go (a pthread mutex costs several times that, more
// than the bin). It is rarely waited for (a device run against an edit), so
// a waiter yields, then sleeps a little between tries.
#include <atomic>
#include <chrono>
#include <thread>

class BufferGuard
{
public:
    void lock()
    {
        if (reenter())
            return;
        for (int tries = 0; taken.exchange(1, std::memory_order_acquire) != 0; ++tries) {
            if (tries < 64)
                std::this_thread::yield();
            else
                std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        own();
    }

    bool try_lock()
    {
        if (reenter())
            return true;
        if (taken.exchange(1, std::memory_order_acquire) != 0)
            return false;
        own();
        return true;
    }

    void unlock()
    {
        if (--depth > 0)
            return;
        owner.store(nullptr, std::memory_order_relaxed);
        taken.store(0, std::memory_order_release);
    }

private:
    // A thread's mark: the address of a thread-local, found without a call.
    static const void* self()
    {
        static thread_local char mark;
        return &mark;
    }
    // Only the thread that holds the guard finds its own mark here.
    bool reenter()
    {
        if (owner.load(std::memory_order_relaxed) != self())
            return false;
        ++depth;
        return true;
    }
    void own()
    {
        owner.store(self(), std::memory_order_relaxed);
        depth = 1;
    }

    std::atomic<int> taken{0};
    std::atomic<const void*> owner{nullptr};
    int depth = 0; // only its holder reads or writes it
};
