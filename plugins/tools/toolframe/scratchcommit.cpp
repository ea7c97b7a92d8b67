#include "scratchcommit.h"

#include "brushstroke.h"
#include "toolrounding.h"

namespace toolframe {

FrameSpan framesofsamples(const DataInterface& data, long long from, long long to)
{
    FrameSpan span;
    const long long hop = data.overlap > 0 ? data.fftsize / data.overlap : 0;
    if (hop <= 0)
        return span;
    // Frame j's window covers samples j * hop - N/2 .. j * hop + N/2.
    const long long half = data.fftsize / 2;
    const auto floordiv = [](long long a, long long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    span.add(-floordiv(half - std::min(from, to), hop), floordiv(std::max(from, to) + half, hop));
    return span;
}

QRectF commitarea(const DataInterface& data, const FrameSpan& written)
{
    const QRectF& clip = data.clipboardarea;
    const int hop = data.overlap > 0 ? data.fftsize / data.overlap : 0;
    if (data.areaselected || written.empty() || data.samplerate <= 0 || hop <= 0)
        return clip;
    // The transfer takes the frames from the start's up to, not including,
    // the end's; whole frames keep its rounding clear of the halves.
    const double secondsperframe = double(hop) / data.samplerate;
    double start = double(written.first) * secondsperframe;
    double end = double(written.last + 1) * secondsperframe;
    if (clip.width() > 0 && pointerset(clip.x())) {
        start = std::min(start, clip.x());
        end = std::max(end, clip.x() + clip.width());
    }
    const double half = data.samplerate / 2;
    return QRectF(start, half, end - start, -half);
}

SelectedCells SelectedCells::of(const DataInterface& data)
{
    SelectedCells cells;
    const int hop = data.overlap > 0 ? data.fftsize / data.overlap : 0;
    if (!data.areaselected || data.samplerate <= 0 || hop <= 0)
        return cells;
    // In the host's order of operations, so that a cell on the edge counts as it does there.
    const QRectF& s = data.layerarea;
    const double rate = data.samplerate;
    cells.all = false;
    cells.firstframe = roundhalfup(s.x() * rate / hop);
    cells.lastframe = roundhalfup((s.x() + s.width()) * rate / hop);
    cells.lowbin = std::max(roundhalfup(data.fftsize * (s.y() + s.height()) / rate), 0);
    cells.highbin = std::min(roundhalfup(data.fftsize * s.y() / rate), data.fftsize / 2);
    return cells;
}

void commitwritten(const DataInterface& data, const FrameSpan& written)
{
    const QRectF area = commitarea(data, written);
    // A stroke that left the scratch empty (it painted nothing louder than
    // silence) has nothing to commit, and an empty clipboard no place.
    if (!data.areaselected && !(area.width() > 0 && pointerset(area.x())))
        return;
    if (data.transferarea)
        data.transferarea(scratchbuffer, layerbuffer, area, data.channelmask, 9, 0, 0);
}

} // namespace toolframe
