#include "transformthreads.h"

#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "alignedmemory.h"
#include "fft4.h"
#include "log.h"

bool workerstackaligned(const char* what)
{
    // The probe is declared aligned, so a misaligned address means the thread
    // entry broke the stack alignment that the vector code relies on.
    alignas(16) volatile char probe[16] = {};
    const auto address = reinterpret_cast<std::uintptr_t>(&probe[0]);
    const QString text = QString::number(quint64(address), 16);
    if (text.endsWith(QLatin1Char('0')))
        return true;
    logerror(QStringLiteral("%1 not stack aligned: %2").arg(QLatin1String(what), text));
    return false;
}

transformthread::transformthread(bool inverse, float* timedata, float* spectrumdata, float* window,
                                 int fftsize, int overlap, int firstframe, int lastframe, int lowbin,
                                 int highbin, kiss_fftr_cfg plan)
    : timedata(timedata), spectrumdata(spectrumdata), window(window), fftsize(fftsize),
      overlap(overlap), firstframe(firstframe), lastframe(lastframe), lowbin(lowbin),
      highbin(highbin), plan(plan)
{
    const int floats = (fftsize + 2) * 4;
    scratch1 = alignedalloc(floats * int(sizeof(float)), 16);
    scratch2 = alignedalloc(floats * int(sizeof(float)), 16);
    lane = alignedalloc(fft4lanefloats(fftsize) * int(sizeof(float)), 16);
    for (float* s : {scratch1, scratch2})
        if (s)
            std::memset(s, 0, sizeof(float) * size_t(floats));
    if (!plan) {
        this->plan = kiss_fftr_alloc(fftsize, inverse ? 1 : 0, nullptr, nullptr);
        ownplan = true;
    }
}

transformthread::~transformthread()
{
    wait();
    alignedfree(scratch1);
    alignedfree(scratch2);
    alignedfree(lane);
    if (ownplan)
        kiss_fftr_free(plan);
}

bool transformthread::ready(const char* what) const
{
    return workerstackaligned(what) && plan && scratch1 && scratch2 && lane;
}

threadR2C::threadR2C(float* timedata, float* spectrumdata, float* window, int fftsize, int overlap,
                     int firstframe, int lastframe, int lowbin, int highbin, kiss_fftr_cfg plan)
    : transformthread(false, timedata, spectrumdata, window, fftsize, overlap, firstframe, lastframe,
                      lowbin, highbin, plan)
{
}

threadC2R::threadC2R(float* timedata, float* spectrumdata, float* window, int fftsize, int overlap,
                     int firstframe, int lastframe, int lowbin, int highbin, kiss_fftr_cfg plan)
    : transformthread(true, timedata, spectrumdata, window, fftsize, overlap, firstframe, lastframe,
                      lowbin, highbin, plan)
{
}

void threadR2C::run()
{
    if (!ready("Buffer R2C thread") || firstframe > lastframe)
        return;
    const int n = fftsize;
    const int half = n / 2;
    const int hop = n / overlap;
    // Floats of a frame that belong to the band; the Nyquist slot (float 1)
    // is its own bin and is stored only when the band reaches it.
    const int low = std::max(lowbin, 0);
    const int high = std::min(highbin, half - 1);
    const bool keepdc = lowbin <= 0 && highbin >= 0;
    const bool keepnyquist = highbin >= half && lowbin <= half;

    auto store = [&](const float* bins, float* frame) {
        const float nyquist = frame[1];
        if (low <= high)
            std::memcpy(frame + 2 * low, bins + 2 * low, sizeof(float) * size_t(2 * (high - low + 1)));
        if (keepdc)
            frame[0] = bins[0];
        frame[1] = keepnyquist ? bins[1] : nyquist;
    };

    for (int f = firstframe; f <= lastframe; f += 4) {
        const int lanes = std::min(4, lastframe - f + 1);
        if (fourlane) {
            for (int i = 0; i < lanes; ++i)
                vmul(scratch2 + i * n, timedata + qint64(f + i) * hop - half, window, unsigned(n));
            interleave4(scratch1, scratch2, n);
            fft4forward(plan, n, scratch1, scratch2, lane, lanes);
            // The real group of bin N/2 goes into the imaginary group of bin 0.
            std::memcpy(scratch2 + 4, scratch2 + 8 * half, 4 * sizeof(float));
            deinterleave4(scratch1, scratch2, n);
            for (int i = 0; i < lanes; ++i)
                store(scratch1 + i * n, spectrumdata + qint64(f + i) * n);
        } else {
            for (int i = 0; i < lanes; ++i) {
                vmul(scratch2, timedata + qint64(f + i) * hop - half, window, unsigned(n));
                kiss_fftr(plan, scratch2, reinterpret_cast<kiss_fft_cpx*>(scratch1));
                scratch1[1] = scratch1[n];
                store(scratch1, spectrumdata + qint64(f + i) * n);
            }
        }
    }
}

void threadC2R::run()
{
    if (!ready("Buffer C2R thread") || firstframe > lastframe)
        return;
    const int n = fftsize;
    const int half = n / 2;
    const int hop = n / overlap;
    // Bins 0..silencelow-1 and silencehigh..N/2 are outside the band.
    const int silencelow = std::clamp(lowbin, 0, half + 1);
    const int silencehigh = std::clamp(highbin + 1, silencelow, half + 1);

    auto addframe = [&](int j, const float* samples) {
        if (j != firstframe)
            vmuladd(timedata + qint64(j - 1) * hop, window, const_cast<float*>(samples) + half - hop,
                    unsigned(hop));
        if (j != lastframe)
            vmuladd(timedata + qint64(j) * hop, window + hop, const_cast<float*>(samples) + half,
                    unsigned(hop));
    };

    for (int f = firstframe; f <= lastframe; f += 4) {
        const int lanes = std::min(4, lastframe - f + 1);
        if (fourlane) {
            for (int i = 0; i < lanes; ++i)
                std::memcpy(scratch1 + i * n, spectrumdata + qint64(f + i) * n, sizeof(float) * size_t(n));
            interleave4(scratch2, scratch1, n);
            // Unpack the Nyquist slot: imaginary group of bin 0 to the real
            // group of bin N/2.
            std::memcpy(scratch2 + 8 * half, scratch2 + 4, 4 * sizeof(float));
            std::memset(scratch2 + 8 * half + 4, 0, 4 * sizeof(float));
            std::memset(scratch2 + 4, 0, 4 * sizeof(float));
            if (silencelow > 0)
                std::memset(scratch2, 0, sizeof(float) * size_t(8 * silencelow));
            if (silencehigh <= half)
                std::memset(scratch2 + 8 * silencehigh, 0,
                            sizeof(float) * size_t(8 * (half + 1 - silencehigh)));
            fft4inverse(plan, n, scratch2, scratch1, lane, lanes);
            deinterleave4(scratch2, scratch1, n);
            for (int i = 0; i < lanes; ++i)
                addframe(f + i, scratch2 + i * n);
        } else {
            for (int i = 0; i < lanes; ++i) {
                std::memcpy(scratch1, spectrumdata + qint64(f + i) * n, sizeof(float) * size_t(n));
                scratch1[n] = scratch1[1];
                scratch1[n + 1] = 0;
                scratch1[1] = 0;
                if (silencelow > 0)
                    std::memset(scratch1, 0, sizeof(float) * size_t(2 * silencelow));
                if (silencehigh <= half)
                    std::memset(scratch1 + 2 * silencehigh, 0,
                                sizeof(float) * size_t(2 * (half + 1 - silencehigh)));
                kiss_fftri(plan, reinterpret_cast<const kiss_fft_cpx*>(scratch1), scratch2);
                addframe(f + i, scratch2);
            }
        }
    }
}
