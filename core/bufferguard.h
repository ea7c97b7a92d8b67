#pragma once
// The lock of a Buffer. Recursive, as its operations call each other; and as
// cheap as a lock can be when free or already held, since plugins take it for
// every bin and sample they read or write: one atomic addition to take it, a
// plain store to let it go (a pthread mutex costs several times that, more
// than the bin). Threads take it in the order they asked, so that one that
// takes it again and again (a device run) never keeps another out. It is
// rarely waited for, so a waiter yields, then sleeps a little between looks.
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
        const unsigned ticket = next.fetch_add(1, std::memory_order_relaxed);
        for (int tries = 0; serving.load(std::memory_order_acquire) != ticket; ++tries) {
            if (tries < 64)
                std::this_thread::yield();
            else
                std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
        own();
    }

    bool try_lock()
    {
        if (reenter())
            return true;
        unsigned ticket = serving.load(std::memory_order_acquire);
        if (!next.compare_exchange_strong(ticket, ticket + 1, std::memory_order_acquire, std::memory_order_relaxed))
            return false;
        own();
        return true;
    }

    void unlock()
    {
        if (--depth > 0)
            return;
        owner.store(nullptr, std::memory_order_relaxed);
        serving.store(serving.load(std::memory_order_relaxed) + 1, std::memory_order_release);
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

    std::atomic<unsigned> next{0}, serving{0}; // tickets handed out, and the one whose turn it is
    std::atomic<const void*> owner{nullptr};
    int depth = 0; // only its holder reads or writes it
};
