#pragma once
// The threads that the display workers of every view share. A request's
// columns are spread over the machine's cores, and the workers of several
// slots and views take turns on the same threads instead of each starting
// threads of their own.
#include <functional>

namespace displaypool {

// Runs task(i) for every i in [0, count) on the pool's threads and on the
// calling thread, and returns when every one has run. Calls from several
// threads at once share the pool first come, first served.
void parallelfor(int count, const std::function<void(int)>& task);

// Threads that run tasks when the pool is busy, the caller's included.
int concurrency();

// While one lives, the window's thread is painting: where the views are drawn
// by a software renderer, its threads need the cores the display work takes,
// and each frame's wait for them is time the window does not answer. Made on
// the window's thread around a repaint of the window.
class Foreground
{
public:
    Foreground();
    ~Foreground();
    Foreground(const Foreground&) = delete;
    Foreground& operator=(const Foreground&) = delete;
};

// Display work calls this between small steps: it returns at once unless a
// Foreground lives on another thread, and otherwise when that ends or `stop`
// holds; a thread gives way to each repaint once and for at most a fifth of
// a second, so the work always goes on.
void yieldtoforeground(const std::function<bool()>& stop);

} // namespace displaypool
