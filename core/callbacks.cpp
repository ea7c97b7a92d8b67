#include "callbacks.h"

#include <QString>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <mutex>

#include "fastmath.h"
#include "layer.h"
#include "log.h"
#include "sdk/rounding.h"
#include "sdk/datainterface.h"
#include "transferarea.h"

namespace {

enum Refusal {
    BadBuffer,
    BadChannel,
    BadPosition,
    BadBin,
    BadWindowIndex,
    BadLobeIndex,
    NoTransform,
    BadPeakInput,
    BadArea,
    ClippedArea,
    refusalkinds
};

std::atomic<bool> refusalreported[refusalkinds];

// Logs the first refusal of a kind; the text is only built for that one.
template <typename Text>
void refuse(Refusal kind, Text text)
{
    if (!refusalreported[kind].exchange(true, std::memory_order_relaxed))
        logerror(QStringLiteral("Plugin callback ") + text()
                 + QStringLiteral(" (refused; further refusals of this kind are not logged)"));
}

Buffer* slotbuffer(int index, const char* caller)
{
    if (index >= 0 && index <= 2 && slottable.buffer[index])
        return slottable.buffer[index];
    refuse(BadBuffer, [&] {
        return QStringLiteral("%1: no buffer %2 (0 mix, 1 current layer, 2 clipboard)")
            .arg(QLatin1String(caller))
            .arg(index);
    });
    return nullptr;
}

bool channelok(const Buffer* b, int channel, const char* caller)
{
    if (channel >= 0 && channel < b->channels && channel < Buffer::maxchannels)
        return true;
    refuse(BadChannel, [&] {
        return QStringLiteral("%1: channel %2 outside 0 to %3")
            .arg(QLatin1String(caller))
            .arg(channel)
            .arg(b->channels - 1);
    });
    return false;
}

bool addressable(std::int64_t sample)
{
    return sample >= firstaddressablesample && sample <= lastaddressablesample;
}

bool sampleok(int sample, const char* caller)
{
    if (addressable(sample))
        return true;
    refuse(BadPosition, [&] {
        return QStringLiteral("%1: sample %2 outside %3 to %4")
            .arg(QLatin1String(caller))
            .arg(sample)
            .arg(firstaddressablesample)
            .arg(lastaddressablesample);
    });
    return false;
}

bool transformok(const Buffer* b, const char* caller)
{
    if (b->haswindow())
        return true;
    refuse(NoTransform, [&] {
        return QStringLiteral("%1: no transform parameters set").arg(QLatin1String(caller));
    });
    return false;
}

// Checks a frame and bin of a bound Buffer that has its transform parameters.
bool binok(const Buffer* b, int frame, int bin, const char* caller)
{
    if (!addressable(std::int64_t(frame) * b->hop())) {
        refuse(BadPosition, [&] {
            return QStringLiteral("%1: frame %2 outside %3 to %4")
                .arg(QLatin1String(caller))
                .arg(frame)
                .arg(firstaddressablesample / b->hop())
                .arg(lastaddressablesample / b->hop());
        });
        return false;
    }
    if (bin < 0 || bin > b->fftsize / 2) {
        refuse(BadBin, [&] {
            return QStringLiteral("%1: bin %2 outside 0 to %3")
                .arg(QLatin1String(caller))
                .arg(bin)
                .arg(b->fftsize / 2);
        });
        return false;
    }
    return true;
}

using BufferLock = std::unique_lock<BufferGuard>;

// The Buffer whose window and lobe table the plugins see: the mix's, which
// shares its transform parameters with the other two. It comes locked, since
// the GUI thread may rebuild the tables while a device run calls back.
const Buffer* windowbuffer(const char* caller, BufferLock& lock)
{
    const Buffer* mix = slotbuffer(0, caller);
    if (!mix)
        return nullptr;
    lock = BufferLock(mix->guard);
    if (!mix->lobetable || !mix->analysiswindow)
        return nullptr;
    return mix;
}

// Entry 16 * binoffset + 16 * (N / 4) of the lobe table, rounded half up, or
// -1 outside the table (16 * N / 2 entries).
std::int64_t lobeindex(const Buffer* mix, float binoffset)
{
    const int n = mix->fftsize;
    const float v = 16.0f * binoffset + float(16 * (n / 4));
    const double size = 16.0 * (n / 2);
    if (!(double(v) >= -0.5 && double(v) < size - 0.5))
        return -1;
    return roundhalfup64(double(v));
}

// Values that would overflow an int once turned into frames or bins.
bool fitsindex(double v)
{
    return std::isfinite(v) && std::fabs(v) < 1073741824.0;
}

} // namespace

float getsamplecb(int buffer, int channel, int sample)
{
    Buffer* b = slotbuffer(buffer, "getsample");
    if (!b)
        return 0.0f;
    const std::lock_guard lock(b->guard);
    if (b->boundlayer && (!channelok(b, channel, "getsample") || !sampleok(sample, "getsample")))
        return 0.0f;
    return b->getsample(channel, sample);
}

void setsamplecb(int buffer, int channel, int sample, float value)
{
    Buffer* b = slotbuffer(buffer, "setsample");
    if (!b)
        return;
    const std::lock_guard lock(b->guard);
    if (b->boundlayer && (!channelok(b, channel, "setsample") || !sampleok(sample, "setsample")))
        return;
    b->setsample(channel, sample, value);
}

QVector2D getbincb(int buffer, int channel, int frame, int bin)
{
    Buffer* b = slotbuffer(buffer, "getbin");
    if (!b)
        return QVector2D(0, 0);
    const std::lock_guard lock(b->guard);
    if (QVector2D v; b->quickgetbin(channel, frame, bin, v))
        return v;
    if (b->boundlayer
        && (!channelok(b, channel, "getbin") || !transformok(b, "getbin")
            || !binok(b, frame, bin, "getbin")))
        return QVector2D(0, 0);
    return b->getbin(channel, frame, bin);
}

void setbincb(int buffer, int channel, int frame, int bin, float re, float im)
{
    Buffer* b = slotbuffer(buffer, "setbin");
    if (!b)
        return;
    const std::lock_guard lock(b->guard);
    if (b->quicksetbin(channel, frame, bin, re, im))
        return;
    if (b->boundlayer
        && (!channelok(b, channel, "setbin") || !transformok(b, "setbin")
            || !binok(b, frame, bin, "setbin")))
        return;
    b->setbin(channel, frame, bin, re, im);
}

// A run whose ends pass the checks goes to the Buffer in one call; any
// other goes bin by bin, refused where a single call would be.
bool runok(const Buffer* b, int channel, int frame, int firstbin, int count)
{
    return !b->boundlayer
           || (channel >= 0 && channel < b->channels && channel < Buffer::maxchannels && b->haswindow()
               && addressable(std::int64_t(frame) * b->hop()) && firstbin >= 0
               && std::int64_t(firstbin) + count - 1 <= b->fftsize / 2);
}

void getbinscb(int buffer, int channel, int frame, int firstbin, int count, float* pairs)
{
    Buffer* b = slotbuffer(buffer, "getbins");
    if (!b || count <= 0 || !pairs)
        return;
    const std::lock_guard lock(b->guard);
    if (runok(b, channel, frame, firstbin, count)) {
        b->getbins(channel, frame, firstbin, count, pairs);
        return;
    }
    for (int i = 0; i < count; ++i) {
        const QVector2D v = getbincb(buffer, channel, frame, firstbin + i);
        pairs[2 * i] = v.x();
        pairs[2 * i + 1] = v.y();
    }
}

void setbinscb(int buffer, int channel, int frame, int firstbin, int count, const float* pairs)
{
    Buffer* b = slotbuffer(buffer, "setbins");
    if (!b || count <= 0 || !pairs)
        return;
    const std::lock_guard lock(b->guard);
    if (runok(b, channel, frame, firstbin, count)) {
        b->setbins(channel, frame, firstbin, count, pairs);
        return;
    }
    for (int i = 0; i < count; ++i)
        setbincb(buffer, channel, frame, firstbin + i, pairs[2 * i], pairs[2 * i + 1]);
}

float getwindowcb(int index)
{
    BufferLock lock;
    const Buffer* mix = windowbuffer("getwindow", lock);
    if (!mix)
        return 0.0f;
    if (index < 0 || index >= mix->fftsize) {
        refuse(BadWindowIndex, [&] {
            return QStringLiteral("getwindow: index %1 outside 0 to %2").arg(index).arg(mix->fftsize - 1);
        });
        return 0.0f;
    }
    return mix->analysiswindow[index];
}

float getlobecb(float binoffset)
{
    BufferLock lock;
    const Buffer* mix = windowbuffer("getlobe", lock);
    if (!mix)
        return 0.0f;
    const std::int64_t i = lobeindex(mix, binoffset);
    if (i < 0) {
        refuse(BadLobeIndex, [&] {
            return QStringLiteral("getlobe: offset %1 bins outside -%2 up to %2")
                .arg(double(binoffset))
                .arg(mix->fftsize / 4);
        });
        return 0.0f;
    }
    return mix->lobetable[i];
}

QVector2D estimatepeakcb(float left, float centre, float right)
{
    BufferLock lock;
    const Buffer* mix = windowbuffer("estimatepeak", lock);
    if (!mix)
        return QVector2D(0, 0);
    // N is 0 until the transform parameters are set, and at least 64 after
    // that, enough for the 40 entries that the search reads on each side.
    if (mix->fftsize < 64) {
        refuse(NoTransform, [] { return QStringLiteral("estimatepeak: no transform parameters set"); });
        return QVector2D(0, 0);
    }
    if (!std::isfinite(left) || !std::isfinite(centre) || !std::isfinite(right)) {
        refuse(BadPeakInput, [] { return QStringLiteral("estimatepeak: magnitudes not finite"); });
        return QVector2D(0, 0);
    }
    // Silence at the centre locates nothing (and the fit below divides by it).
    if (!(centre > 0.0f))
        return QVector2D(0, 0);

    const float* table = mix->lobetable + 16 * (mix->fftsize / 4);
    const bool centremax = !(centre < left) && !(centre < right);
    const bool rightmax = !(right < left) && !(right < centre);
    // Search steps m of 1/16 bin; the sinusoid lies -m/16 bins from the centre.
    int low, high;
    if (centremax && right < left) {
        low = 0;
        high = 8;
    } else if (centremax) {
        low = -8;
        high = 0;
    } else {
        low = 8;
        high = 24;
    }
    if (rightmax) {
        low = -24;
        high = -8;
    }

    float best = 1000000.0f;
    float offset = 0.0f;
    for (int m = low; m <= high; ++m) {
        const float u = table[m] / centre;
        const float misfit = std::fabs(left * u - table[m - 16]) + std::fabs(centre * u - table[m])
                             + std::fabs(right * u - table[m + 16]);
        if (misfit < best) {
            best = misfit;
            offset = -m / 16.0f;
        }
    }

    // Where the window's lobe vanishes at the offset (the rectangular window one
    // bin out) the correction is unbounded: keep the centre magnitude.
    const float lobe = mix->lobetable[lobeindex(mix, offset)];
    const float amplitude = lobe > 1e-4f ? centre / lobe : centre;
    return QVector2D(offset, amplitude);
}

void transferareacb(int srcbuffer, int dstbuffer, QRectF area, int channelmask, int mode,
                    float dtime, float dfreq)
{
    Buffer* src = slotbuffer(srcbuffer, "transferarea");
    Buffer* dst = slotbuffer(dstbuffer, "transferarea");
    if (!src || !dst)
        return;
    BufferLock srclock(src->guard, std::defer_lock);
    BufferLock dstlock(dst->guard, std::defer_lock);
    std::lock(srclock, dstlock);
    // Mode 0 only empties the destination, and an unbound destination only
    // raises its flag: neither reads the rectangle.
    if (mode != 0 && dst->boundlayer) {
        if (!transformok(src, "transferarea"))
            return;
        const double shift = mode == 1 ? double(dtime) : 0.0;
        const double fshift = mode == 1 ? double(dfreq) : 0.0;
        const double rate = src->samplerate;
        const double n = src->fftsize;
        const double hop = src->hop();
        const double start = area.x(), end = area.x() + area.width();
        const double top = area.y(), bottom = area.y() + area.height();
        if (!fitsindex(start * rate / hop) || !fitsindex(end * rate / hop) || !fitsindex(shift * rate / hop)
            || (rate > 0
                && (!fitsindex(top * n / rate) || !fitsindex(bottom * n / rate) || !fitsindex(fshift * n / rate)))) {
            refuse(BadArea, [&] {
                return QStringLiteral("transferarea: area (%1, %2, %3, %4) or shift (%5 s, %6 Hz) out of range")
                    .arg(area.x())
                    .arg(area.y())
                    .arg(area.width())
                    .arg(area.height())
                    .arg(double(dtime))
                    .arg(double(dfreq));
            });
            return;
        }
        if (rate > 0 && end > start) {
            // Keep the source frames, and the frames they are moved to, inside
            // the addressable range.
            const double first = firstaddressablesample / rate, last = lastaddressablesample / rate;
            const double low = std::max(first, first - shift), high = std::min(last, last - shift);
            const double clippedstart = std::max(start, low), clippedend = std::min(end, high);
            if (clippedstart != start || clippedend != end) {
                refuse(ClippedArea, [&] {
                    return QStringLiteral("transferarea: time %1 to %2 s reaches outside %3 to %4 s; the outer part is dropped")
                        .arg(start)
                        .arg(end)
                        .arg(first)
                        .arg(last);
                });
                if (!(clippedend > clippedstart))
                    return;
                area.setLeft(clippedstart);
                area.setRight(clippedend);
            }
        }
    }
    transferarea(src, dst, area, channelmask, mode, dtime, dfreq);
}

float fastsqrtcb(float x)
{
    return fastsqrt(x);
}

float fastatan2cb(float y, float x)
{
    return fastatan2(y, x);
}

float fastsincb(float x)
{
    return fastsin(x);
}

float fastcoscb(float x)
{
    return fastcos(x);
}

void fillcallbacks(DataInterface* data)
{
    if (!data)
        return;
    data->getsample = getsamplecb;
    data->setsample = setsamplecb;
    data->getbin = getbincb;
    data->setbin = setbincb;
    data->getwindow = getwindowcb;
    data->getlobe = getlobecb;
    data->estimatepeak = estimatepeakcb;
    data->transferarea = transferareacb;
    data->fastsqrt = fastsqrtcb;
    data->fastatan2 = fastatan2cb;
    data->fastsin = fastsincb;
    data->fastcos = fastcoscb;
}
