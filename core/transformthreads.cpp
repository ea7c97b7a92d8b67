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
#include "fft4.h"
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
    alignedfree(scratch1);
    alignedfree(scratch2);
    alignedfree(lane);
    kiss_fftr_free(forward);
    kiss_fftr_free(inverse);
    scratch1 = scratch2 = lane = nullptr;
    forward = inverse = nullptr;
    size = 0;
}

bool TransformScratch::prepare(int n)
{
    if (n == size && scratch1)
        return true;
    release();
    const int floats = (n + 2) * 4;
    scratch1 = alignedalloc(floats * int(sizeof(float)), 16);
    scratch2 = alignedalloc(floats * int(sizeof(float)), 16);
    lane = alignedalloc(fft4lanefloats(n) * int(sizeof(float)), 16);
    forward = kiss_fftr_alloc(n, 0, nullptr, nullptr);
    inverse = kiss_fftr_alloc(n, 1, nullptr, nullptr);
    if (!scratch1 || !scratch2 || !lane || !forward || !inverse) {
        release();
        return false;
    }
    // The four-lane layout reads the groups of a short batch's unused lanes.
    std::memset(scratch1, 0, sizeof(float) * size_t(floats));
    std::memset(scratch2, 0, sizeof(float) * size_t(floats));
    size = n;
    return true;
}

namespace {

void runforward(const TransformJob& job, TransformScratch& s, bool fourlane)
{
    const int n = job.fftsize;
    const int half = n / 2;
    const int hop = n / job.overlap;
    float* scratch1 = s.scratch1;
    float* scratch2 = s.scratch2;
    // Floats of a frame that belong to the band; the Nyquist slot (float 1)
    // is its own bin and is stored only when the band reaches it.
    const int low = std::max(job.lowbin, 0);
    const int high = std::min(job.highbin, half - 1);
    const bool keepdc = job.lowbin <= 0 && job.highbin >= 0;
    const bool keepnyquist = job.highbin >= half && job.lowbin <= half;

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

    for (int f = job.firstframe; f <= job.lastframe; f += 4) {
        const int lanes = std::min(4, job.lastframe - f + 1);
        if (fourlane) {
            for (int i = 0; i < lanes; ++i)
                vmul(scratch2 + i * n, job.timedata + qint64(f + i) * hop - half, const_cast<float*>(job.window), unsigned(n));
            interleave4(scratch1, scratch2, n);
            fft4forward(s.forward, n, scratch1, scratch2, s.lane, lanes);
            // The real group of bin N/2 goes into the imaginary group of bin 0.
            std::memcpy(scratch2 + 4, scratch2 + 8 * half, 4 * sizeof(float));
            deinterleave4(scratch1, scratch2, n);
            for (int i = 0; i < lanes; ++i)
                store(scratch1 + i * n, job.spectrumdata + qint64(f + i - job.spectrumoffset) * n);
        } else {
            for (int i = 0; i < lanes; ++i) {
                vmul(scratch2, job.timedata + qint64(f + i) * hop - half, const_cast<float*>(job.window), unsigned(n));
                kiss_fftr(s.forward, scratch2, reinterpret_cast<kiss_fft_cpx*>(scratch1));
                scratch1[1] = scratch1[n];
                store(scratch1, job.spectrumdata + qint64(f + i - job.spectrumoffset) * n);
            }
        }
    }
}

void runinverse(const TransformJob& job, TransformScratch& s, bool fourlane)
{
    const int n = job.fftsize;
    const int half = n / 2;
    const int hop = n / job.overlap;
    float* scratch1 = s.scratch1;
    float* scratch2 = s.scratch2;
    float* window = const_cast<float*>(job.window);
    // Bins 0..silencelow-1 and silencehigh..N/2 are outside the band.
    const int silencelow = std::clamp(job.lowbin, 0, half + 1);
    const int silencehigh = std::clamp(job.highbin + 1, silencelow, half + 1);

    auto addframe = [&](int j, float* samples) {
        if (j != job.firstframe)
            vmuladd(job.timedata + qint64(j - 1) * hop, window, samples + half - hop, unsigned(hop));
        if (j != job.lastframe)
            vmuladd(job.timedata + qint64(j) * hop, window + hop, samples + half, unsigned(hop));
    };

    for (int f = job.firstframe; f <= job.lastframe; f += 4) {
        const int lanes = std::min(4, job.lastframe - f + 1);
        if (fourlane) {
            for (int i = 0; i < lanes; ++i)
                std::memcpy(scratch1 + i * n, job.spectrumdata + qint64(f + i - job.spectrumoffset) * n, sizeof(float) * size_t(n));
            interleave4(scratch2, scratch1, n);
            // Unpack the Nyquist slot: imaginary group of bin 0 to the real
            // group of bin N/2.
            std::memcpy(scratch2 + 8 * half, scratch2 + 4, 4 * sizeof(float));
            std::memset(scratch2 + 8 * half + 4, 0, 4 * sizeof(float));
            std::memset(scratch2 + 4, 0, 4 * sizeof(float));
            if (silencelow > 0)
                std::memset(scratch2, 0, sizeof(float) * size_t(8 * silencelow));
            if (silencehigh <= half)
                std::memset(scratch2 + 8 * silencehigh, 0, sizeof(float) * size_t(8 * (half + 1 - silencehigh)));
            fft4inverse(s.inverse, n, scratch2, scratch1, s.lane, lanes);
            deinterleave4(scratch2, scratch1, n);
            for (int i = 0; i < lanes; ++i)
                addframe(f + i, scratch2 + i * n);
        } else {
            for (int i = 0; i < lanes; ++i) {
                std::memcpy(scratch1, job.spectrumdata + qint64(f + i - job.spectrumoffset) * n, sizeof(float) * size_t(n));
                scratch1[n] = scratch1[1];
                scratch1[n + 1] = 0;
                scratch1[1] = 0;
                if (silencelow > 0)
                    std::memset(scratch1, 0, sizeof(float) * size_t(2 * silencelow));
                if (silencehigh <= half)
                    std::memset(scratch1 + 2 * silencehigh, 0, sizeof(float) * size_t(2 * (half + 1 - silencehigh)));
                kiss_fftri(s.inverse, reinterpret_cast<const kiss_fft_cpx*>(scratch1), scratch2);
                addframe(f + i, scratch2);
            }
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

void runtransform(const TransformJob& job, TransformScratch& scratch, bool fourlane)
{
    if (job.firstframe > job.lastframe || job.fftsize <= 0 || job.overlap <= 0)
        return;
    if (job.inverse)
        runinverse(job, scratch, fourlane);
    else
        runforward(job, scratch, fourlane);
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
        runtransform(job, scratch, fourlane);
}
