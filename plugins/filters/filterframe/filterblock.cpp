#include "filterblock.h"

#include <algorithm>

#include "cachewindow.h"
#include "hostlink.h"

#include "rounding.h"

namespace filterframe {

bool blockready(const DataInterface& data)
{
    return data.samplerate > 0 && data.fftsize > 0 && hop(data) > 0 && data.getsample && data.setsample
           && data.getbin && data.setbin && data.transferarea;
}

int hop(const DataInterface& data)
{
    return data.overlap > 0 ? data.fftsize / data.overlap : 0;
}

Span framesof(const DataInterface& data, const QRectF& area)
{
    const double perframe = double(data.samplerate) / hop(data);
    return {roundhalfupclamped(area.x() * perframe), roundhalfupclamped((area.x() + area.width()) * perframe)};
}

Span binsof(const DataInterface& data, const QRectF& area)
{
    const double perbin = double(data.fftsize) / data.samplerate;
    Span bins{roundhalfupclamped((area.y() + area.height()) * perbin), roundhalfupclamped(area.y() * perbin)};
    bins.first = std::max(bins.first, 0);
    bins.last = std::min(bins.last, data.fftsize / 2);
    return bins;
}

Span samplesof(const DataInterface& data, const QRectF& area)
{
    return {roundhalfupclamped(area.x() * data.samplerate),
            roundhalfupclamped((area.x() + area.width()) * data.samplerate)};
}

std::vector<int> channelsof(const DataInterface& data, int limit)
{
    std::vector<int> list;
    const int last = std::min({data.channels, limit, 32});
    for (int c = 0; c < last; ++c)
        if ((unsigned(data.channelmask) >> c) & 1u)
            list.push_back(c);
    return list;
}

int maskof(const std::vector<int>& channels)
{
    unsigned mask = 0;
    for (int c : channels)
        mask |= 1u << c;
    return int(mask);
}

std::vector<QRectF> cachedruns(const DataInterface& data, const QRectF& area)
{
    const double perframe = double(data.samplerate) / hop(data);
    // The frames an area transfer of the area covers: its end is not one.
    const int first = roundhalfupclamped(area.x() * perframe);
    const int end = roundhalfupclamped((area.x() + area.width()) * perframe);
    const int run = cachedrun(data.fftsize, data.overlap);
    if (end <= first)
        return {area};
    std::vector<QRectF> runs;
    for (int f = first; f < end; f += std::min(run, end - f)) {
        const int to = f + std::min(run, end - f);
        runs.emplace_back(f / perframe, area.y(), (to - f) / perframe, area.height());
    }
    return runs;
}

void readbins(const DataInterface& data, int buffer, int channel, int frame, Span bins, float* pairs)
{
    if (bins.empty())
        return;
    if (BinRuns* runs = binruns()) {
        runs->getbins(buffer, channel, frame, bins.first, bins.last - bins.first + 1, pairs);
        return;
    }
    for (int b = bins.first; b <= bins.last; ++b) {
        const QVector2D v = data.getbin(buffer, channel, frame, b);
        pairs[2 * (b - bins.first)] = v.x();
        pairs[2 * (b - bins.first) + 1] = v.y();
    }
}

void writebins(const DataInterface& data, int buffer, int channel, int frame, Span bins, const float* pairs)
{
    if (bins.empty())
        return;
    if (BinRuns* runs = binruns()) {
        runs->setbins(buffer, channel, frame, bins.first, bins.last - bins.first + 1, pairs);
        return;
    }
    for (int b = bins.first; b <= bins.last; ++b)
        data.setbin(buffer, channel, frame, b, pairs[2 * (b - bins.first)], pairs[2 * (b - bins.first) + 1]);
}

void emptyscratch(const DataInterface& data)
{
    data.transferarea(scratchbuffer, scratchbuffer, QRectF(0, 0, 0, 0), data.channelmask, emptymode, 0, 0);
}

void commitscratch(const DataInterface& data, const QRectF& area, int mask, int mode)
{
    if (mask == 0)
        return;
    data.transferarea(scratchbuffer, layerbuffer, area, mask, mode, 0, 0);
}

} // namespace filterframe
