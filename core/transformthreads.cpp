#include "transformthreads.h"

#include <QString>
#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "alignedmemory.h"
#include "lanefft.h"
#include "log.h"

bool workerstackaligned(const char* what)
{
    // The probe is declared aligned, so a misaligned address means the thread
    // entry broke the stack alignment that the vector code relies on.
    alignas(16) volatile char probe[16] = {};
    const auto address = reinterpret_cast<std::uintptr_t>(&probe[0]);
    if ((address & 15) == 0)
        return true;
    logerror(QStringLiteral("%1 not stack aligned: %2").arg(QLatin1String(what), QString::number(quint64(address), 16)));
    return false;
}

TransformScratch::~TransformScratch()
{
    release();
}

void TransformScratch::release()
{
    fft.reset();
    alignedfree(rows);
    rows = nullptr;
    size = 0;
}

bool TransformScratch::prepare(int n)
{
    if (n == size && fft)
        return true;
    release();
    try {
        fft = std::make_unique<lanefft>(n);
    } catch (const std::bad_alloc&) {
        return false;
    }
    rows = alignedalloc(lanefft::lanes * n * int(sizeof(float)), 16);
    if (!rows) {
        release();
        return false;
    }
    size = n;
    return true;
}

namespace {

constexpr int lanes = lanefft::lanes;

void runforward(const TransformJob& job, TransformScratch& s)
{
    const int n = job.fftsize;
    const int half = n / 2;
    const int hop = n / job.overlap;
    lanefft& fft = *s.fft;
    // Floats of a frame that belong to the band; the Nyquist slot (float 1)
    // is its own bin and is stored only when the band reaches it.
    const int low = std::max(job.lowbin, 0);
    const int high = std::min(job.highbin, half - 1);
    const bool keepdc = job.lowbin <= 0 && job.highbin >= 0;
    const bool keepnyquist = job.highbin >= half && job.lowbin <= half;
    // The whole band goes straight into the frames.
    const bool whole = !job.accumulate && low == 0 && keepdc && keepnyquist && high == half - 1;

    auto store = [&](const float* bins, float* frame) {
        if (job.accumulate) {
            for (int k = 2 * std::max(low, 1); k <= 2 * high + 1; ++k)
                frame[k] += bins[k];
            if (keepdc)
                frame[0] += bins[0];
            if (keepnyquist)
                frame[1] += bins[1];
            return;
        }
        const float nyquist = frame[1];
        if (low <= high)
            std::memcpy(frame + 2 * low, bins + 2 * low, sizeof(float) * size_t(2 * (high - low + 1)));
        if (keepdc)
            frame[0] = bins[0];
        frame[1] = keepnyquist ? bins[1] : nyquist;
    };

    for (int f = job.firstframe; f <= job.lastframe; f += lanes) {
        const int count = std::min(lanes, job.lastframe - f + 1);
        fft.load(job.timedata + qint64(f) * hop - half, hop, count, job.window);
        fft.forward();
        float* first = job.spectrumdata + qint64(f - job.spectrumoffset) * n;
        if (whole) {
            fft.packed(first, size_t(n), count);
            continue;
        }
        fft.packed(s.rows, size_t(n), count);
        for (int i = 0; i < count; ++i)
            store(s.rows + qint64(i) * n, first + qint64(i) * n);
    }
}

void runinverse(const TransformJob& job, TransformScratch& s)
{
    const int n = job.fftsize;
    const int half = n / 2;
    const int hop = n / job.overlap;
    lanefft& fft = *s.fft;
    float* window = const_cast<float*>(job.window);
    // Bins 0..silencelow-1 and silencehigh..N/2 are outside the band.
    const int silencelow = std::clamp(job.lowbin, 0, half + 1);
    const int silencehigh = std::clamp(job.highbin + 1, silencelow, half + 1);
    const bool whole = silencelow == 0 && silencehigh == half + 1;

    // The band of a frame in the packed layout: bin 0 in float 0, bin N/2
    // in float 1, bin k in floats 2k and 2k + 1.
    auto silence = [&](float* frame) {
        if (silencelow > 0) {
            frame[0] = 0;
            std::fill(frame + 2, frame + 2 * std::min(silencelow, half), 0.0f);
            if (silencelow > half)
                frame[1] = 0;
        }
        if (silencehigh <= half) {
            frame[1] = 0;
            if (silencehigh == 0)
                frame[0] = 0;
            std::fill(frame + 2 * std::max(silencehigh, 1), frame + n, 0.0f);
        }
    };

    for (int f = job.firstframe; f <= job.lastframe; f += lanes) {
        const int count = std::min(lanes, job.lastframe - f + 1);
        const float* first = job.spectrumdata + qint64(f - job.spectrumoffset) * n;
        if (whole) {
            fft.loadpacked(first, size_t(n), count);
        } else {
            std::memcpy(s.rows, first, sizeof(float) * size_t(count) * size_t(n));
            for (int i = 0; i < count; ++i)
                silence(s.rows + qint64(i) * n);
            fft.loadpacked(s.rows, size_t(n), count);
        }
        fft.inverse();
        // Only the central 2 x hop samples of a frame are added.
        fft.samples(s.rows, size_t(n), half - hop, 2 * hop, count);
        for (int i = 0; i < count; ++i) {
            const int j = f + i;
            float* central = s.rows + qint64(i) * n;
            if (j != job.firstframe)
                vmuladd((job.lefthalves ? job.lefthalves : job.timedata) + qint64(j - 1) * hop, window, central,
                        unsigned(hop));
            if (j != job.lastframe)
                vmuladd(job.timedata + qint64(j) * hop, window + hop, central + hop, unsigned(hop));
        }
    }
}

// Workers started on first use and kept for the life of the process; each
// keeps its scratch and plans between jobs. A caller queues its jobs and
// waits for its own count to reach zero, so passes of two Buffers on two
// threads share the workers without waiting for each other's jobs.
class TransformPool
{
public:
    static TransformPool& instance()
    {
        static TransformPool pool;
        return pool;
    }

    void run(const std::vector<TransformJob>& jobs)
    {
        if (jobs.empty())
            return;
        Batch batch;
        batch.left = int(jobs.size());
        {
            const std::lock_guard lock(mutex);
            start();
            for (const TransformJob& j : jobs)
                queue.push_back({j, &batch});
        }
        wake.notify_all();
        std::unique_lock lock(mutex);
        batch.done.wait(lock, [&] { return batch.left == 0; });
    }

    ~TransformPool()
    {
        {
            const std::lock_guard lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        for (std::thread& t : workers)
            t.join();
    }

private:
    struct Batch
    {
        int left = 0;
        std::condition_variable done;
    };
    struct Entry
    {
        TransformJob job;
        Batch* batch;
    };

    void start()
    {
        if (!workers.empty())
            return;
        // Two workers per channel of a stereo pass, more when the machine has
        // them, never more than a pass of eight channels could use.
        const unsigned count = std::clamp(std::thread::hardware_concurrency(), 4u, 16u);
        for (unsigned i = 0; i < count; ++i)
            workers.emplace_back([this] { work(); });
    }

    void work()
    {
        TransformScratch scratch;
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return stopping || !queue.empty(); });
            if (queue.empty())
                return;
            const Entry e = queue.front();
            queue.pop_front();
            lock.unlock();
            const char* what = e.job.inverse ? "Buffer C2R thread" : "Buffer R2C thread";
            if (workerstackaligned(what)) {
                if (scratch.prepare(e.job.fftsize))
                    runtransform(e.job, scratch);
                else
                    logerror(QStringLiteral("%1: no memory for its scratch").arg(QLatin1String(what)));
            }
            lock.lock();
            if (--e.batch->left == 0)
                e.batch->done.notify_all();
        }
    }

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Entry> queue;
    std::vector<std::thread> workers;
    bool stopping = false;
};

} // namespace

void runtransform(const TransformJob& job, TransformScratch& scratch)
{
    if (job.firstframe > job.lastframe || job.fftsize <= 0 || job.overlap <= 0)
        return;
    if (job.inverse)
        runinverse(job, scratch);
    else
        runforward(job, scratch);
}

void runtransformjobs(const std::vector<TransformJob>& jobs)
{
    TransformPool::instance().run(jobs);
}

TransformJob transformjob(bool inverse, float* timedata, float* spectrumdata, const float* window, int fftsize,
                          int overlap, int firstframe, int lastframe, int lowbin, int highbin)
{
    TransformJob job;
    job.inverse = inverse;
    job.timedata = timedata;
    job.spectrumdata = spectrumdata;
    job.window = window;
    job.fftsize = fftsize;
    job.overlap = overlap;
    job.firstframe = firstframe;
    job.lastframe = lastframe;
    job.lowbin = lowbin;
    job.highbin = highbin;
    return job;
}

transformthread::transformthread(bool inverse, float* timedata, float* spectrumdata, float* window,
                                 int fftsize, int overlap, int firstframe, int lastframe, int lowbin,
                                 int highbin)
    : job(transformjob(inverse, timedata, spectrumdata, window, fftsize, overlap, firstframe, lastframe, lowbin,
                       highbin))
{
}

transformthread::~transformthread()
{
    wait();
}

void transformthread::run()
{
    if (!workerstackaligned(job.inverse ? "Buffer C2R thread" : "Buffer R2C thread"))
        return;
    TransformScratch scratch;
    if (scratch.prepare(job.fftsize))
        runtransform(job, scratch);
}
