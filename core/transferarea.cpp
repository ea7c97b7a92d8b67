#include "transferarea.h"

#include <QVector2D>
#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "buffer.h"
#include "globals.h"
#include "keptframes.h"
#include "packedbin.h"
#include "sdk/rounding.h"

namespace {

float power(QVector2D v)
{
    return v.x() * v.x() + v.y() * v.y();
}

// Frames or bins of a shift given as a float, `perstep` steps per unit.
// Halves round away from zero, so that a move back by the same time or
// frequency moves back by the same count; a shift that is the float of an
// exact half step counts as that half, as its float may fall either side.
int wholesteps(float shift, double perstep)
{
    double v = double(shift) * perstep;
    const double half = std::floor(v) + 0.5;
    if (std::isfinite(half) && float(half / perstep) == shift)
        v = half;
    return v < 0 ? -roundhalfupclamped(-v) : roundhalfupclamped(v);
}

} // namespace

void transferarea(Buffer* src, Buffer* dst, QRectF area, int channelmask, int mode, float dtime,
                  float dfreq)
{
    if (!src || !dst)
        return;
    // What the transfer leaves to be kept is one edit, forgotten whole if at all.
    KeptFrames::beginedit();
    // Both stay locked for the whole transfer (the guard is recursive, so a
    // transfer inside one Buffer takes it twice).
    std::unique_lock<BufferGuard> srclock(src->guard, std::defer_lock);
    std::unique_lock<BufferGuard> dstlock(dst->guard, std::defer_lock);
    std::lock(srclock, dstlock);
    if (!dst->boundlayer) {
        dst->setbin(0, 0, 0, 0, 0); // only raises the destination's write-miss flag
        return;
    }
    if (mode == 0) {
        dst->clearlayer();
        return;
    }

    src->flush();
    dst->flush();
    const QRectF srcselection = src->selection;
    const QRectF dstselection = dst->selection;
    src->inselection(QRectF());
    if (dst != src)
        dst->inselection(QRectF());

    const double sr = src->samplerate;
    const int n = src->fftsize;
    const int hop = src->hop();
    const bool active = mode >= 1 && mode <= 9 && mode != 2;
    if (active && sr > 0 && hop > 0) {
        const int firstframe = roundhalfupclamped(area.x() * sr / hop);
        const int endframe = roundhalfupclamped((area.x() + area.width()) * sr / hop);
        const int lowbin = roundhalfupclamped(std::max(area.y() + area.height(), 0.0) * n / sr);
        const int highbin = roundhalfupclamped(std::min(area.y(), 0.5 * sr) * n / sr);
        const int fo = mode == 1 ? wholesteps(dtime, sr / hop) : 0;
        const int bo = mode == 1 ? wholesteps(dfreq, n / sr) : 0;
        const double step = 2.0 * bo * 3.1415926536 / src->overlap;
        // The destination gains time only where the source has audio (moved
        // with it): what an edit spreads beyond a tone drawn past a layer's
        // end is not the layer's.
        const double shift = double(fo) * hop / sr;
        layer* from = src->boundlayer;
        const double start = from ? from->spanstart() : unsettime;
        const double length = from ? from->spanlength() : 0;
        if (length > 0)
            dst->limitgrowth(start + shift, start + length + shift);
        else
            dst->limitgrowth(0, 0);

        // Each source row is read whole before any bin of it is written, and
        // a shift to later frames walks the frames backwards, so that a move
        // inside one Buffer never reads what it has just written. Rows go
        // through whole frames, as getbin and setbin would bin by bin (the
        // selections are lifted above, so every bin is reachable).
        const bool backwards = fo > 0;
        const qint64 framecount = std::max<qint64>(qint64(endframe) - firstframe, 0);
        const int half = n / 2;
        std::vector<QVector2D> row(size_t(std::max<qint64>(qint64(highbin) - lowbin + 1, 0)));
        for (qint64 i = 0; i < framecount; ++i) {
            const int f = int(backwards ? endframe - 1 - i : firstframe + i);
            const qint64 target = qint64(f) + fo;
            const double phase = step * (double(f) - firstframe);
            const float c = float(std::cos(phase));
            const float s = float(std::sin(phase));
            for (int ch = 0; ch < src->channels; ++ch) {
                if (channelmask != 0 && !(channelmask & (1 << ch)))
                    continue;
                if (mode != 3) {
                    const float* from = src->readframe(ch, f);
                    for (int b = lowbin; b <= highbin; ++b)
                        row[size_t(b - lowbin)] = from ? binof(from, b, half) : QVector2D(0, 0);
                }
                if (mode == 1) {
                    // Destination frames before the layer's first frame do not exist.
                    float* to = target >= 0 && target <= 2147418112LL ? dst->writeframe(ch, int(target)) : nullptr;
                    const int top = dst->fftsize / 2;
                    for (int b = lowbin; to && b <= highbin; ++b) {
                        const QVector2D a = row[size_t(b - lowbin)];
                        setbinof(to, b + bo, top, c * a.x() - s * a.y(), s * a.x() + c * a.y());
                    }
                    continue;
                }
                float* to = mode >= 3 && mode <= 9 && mode != 2 ? dst->writeframe(ch, f) : nullptr;
                const int top = dst->fftsize / 2;
                for (int b = lowbin; to && b <= highbin; ++b) {
                    const QVector2D a = row[size_t(b - lowbin)];
                    QVector2D v;
                    switch (mode) {
                    case 3:
                        v = QVector2D(0, 0);
                        break;
                    case 4:
                    case 5:
                        v = a;
                        break;
                    case 6:
                        v = a + binof(to, b, top);
                        break;
                    case 7:
                        v = a - binof(to, b, top);
                        break;
                    default: { // 8 and 9
                        const QVector2D d = binof(to, b, top);
                        const bool take = mode == 8 ? power(a) < power(d) : power(a) > power(d);
                        v = take ? a : d;
                        break;
                    }
                    }
                    setbinof(to, b, top, v.x(), v.y());
                }
                if (mode == 4)
                    if (float* cut = src->writeframe(ch, f))
                        for (int b = lowbin; b <= highbin; ++b)
                            setbinof(cut, b, half, 0, 0);
            }
        }
    }

    src->flush();
    dst->flush();
    dst->limitgrowth(unsettime, -unsettime);
    src->inselection(srcselection);
    if (dst != src)
        dst->inselection(dstselection);
}
