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

} // namespace displaypool
