#include "displaypool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Job
{
    const std::function<void(int)>* task = nullptr;
    int count = 0;
    int next = 0; // the next index to hand out
    int done = 0;
    std::condition_variable finished;
};

class Pool
{
public:
    Pool()
    {
        // The caller of each request works too, so one core is left for it.
        const int n = std::max(1, int(std::thread::hardware_concurrency()) - 1);
        for (int i = 0; i < n; ++i)
            threads.emplace_back([this] { loop(); });
    }

    ~Pool()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        for (std::thread& t : threads)
            t.join();
    }

    int size() const { return int(threads.size()); }

    void run(int count, const std::function<void(int)>& task)
    {
        if (count <= 0)
            return;
        Job job;
        job.task = &task;
        job.count = count;
        std::unique_lock<std::mutex> lock(mutex);
        jobs.push_back(&job);
        wake.notify_all();
        // The caller takes its own job's tasks rather than waiting idle.
        while (job.next < job.count) {
            const int i = claim(&job);
            lock.unlock();
            task(i);
            lock.lock();
            ++job.done;
        }
        job.finished.wait(lock, [&job] { return job.done == job.count; });
    }

private:
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job*> jobs; // jobs with tasks not yet handed out, oldest first
    std::vector<std::thread> threads;
    bool stopping = false;

    // Under the mutex: the job's next index; a job whose last index is handed
    // out leaves the queue (its caller waits for the tasks still running).
    int claim(Job* job)
    {
        const int i = job->next++;
        if (job->next == job->count)
            jobs.erase(std::find(jobs.begin(), jobs.end(), job));
        return i;
    }

    void loop()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stopping || !jobs.empty(); });
            if (stopping)
                return;
            Job* job = jobs.front();
            const int i = claim(job);
            lock.unlock();
            (*job->task)(i);
            lock.lock();
            if (++job->done == job->count)
                job->finished.notify_all();
        }
    }
};

Pool& pool()
{
    static Pool p;
    return p;
}

// Repaints of the window under way (Foreground), and on this thread.
std::mutex foregroundmutex;
std::condition_variable foregroundended;
int foregrounds = 0;        // under foregroundmutex
std::uint64_t repaints = 0; // under foregroundmutex: repaints begun
std::atomic<int> painting{0};
thread_local int paintinghere = 0;
thread_local std::uint64_t waitedfor = 0; // the repaint this thread last gave way to

} // namespace

namespace displaypool {

void parallelfor(int count, const std::function<void(int)>& task)
{
    pool().run(count, task);
}

int concurrency()
{
    return pool().size() + 1;
}

Foreground::Foreground()
{
    ++paintinghere;
    {
        std::lock_guard<std::mutex> lock(foregroundmutex);
        if (foregrounds++ == 0)
            ++repaints;
    }
    painting.fetch_add(1);
}

Foreground::~Foreground()
{
    --paintinghere;
    {
        std::lock_guard<std::mutex> lock(foregroundmutex);
        --foregrounds;
    }
    painting.fetch_sub(1);
    foregroundended.notify_all();
}

void yieldtoforeground(const std::function<bool()>& stop)
{
    // The painting thread itself never waits for its own repaint to end.
    if (painting.load(std::memory_order_relaxed) == 0 || paintinghere > 0)
        return;
    std::unique_lock<std::mutex> lock(foregroundmutex);
    // Each thread gives way to a repaint once, for a bounded time: a repaint
    // that lasts holds the work back no longer than that.
    if (foregrounds == 0 || waitedfor == repaints)
        return;
    waitedfor = repaints;
    const std::uint64_t repaint = repaints;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (foregrounds > 0 && repaints == repaint && !stop() && std::chrono::steady_clock::now() < until)
        foregroundended.wait_for(lock, std::chrono::milliseconds(2));
}

} // namespace displaypool
