#pragma once
// Test double of the host side of a tool's data block: three in-memory
// spectrogram grids (mix, current layer, scratch), each frames x bins x
// channels of complex cells, behind the callbacks that tools use. It keeps the
// host's storage rules (bin 0 holds the DC value, the Nyquist value lives in
// bin 0's imaginary slot; cells outside the grid read as zero and take no
// writes), counts every access and records every area transfer. Area transfer
// mode 0 empties the destination grid; other modes are only recorded.
#include <QList>
#include <QRectF>
#include <QVector2D>

#include <vector>

#include "datainterface.h"
#include "plugins/tools/areatransfer.h"

class SpectrumGrids
{
public:
    using Transfer = AreaTransfer;

    SpectrumGrids(int samplerate, int fftsize, int overlap, int channels, int frames)
        : samplerate(samplerate), fftsize(fftsize), overlap(overlap), channels(channels), frames(frames)
    {
        for (auto& g : grid)
            g.assign(size_t(channels) * frames * (fftsize / 2), QVector2D());
        current = this;
    }
    ~SpectrumGrids()
    {
        if (current == this)
            current = nullptr;
    }

    // Writes the project format and the callbacks into a tool's block.
    void fill(DataInterface& block, int channelmask) const
    {
        block.samplerate = samplerate;
        block.channels = channels;
        block.channelmask = channelmask;
        block.fftsize = fftsize;
        block.overlap = overlap;
        block.getsample = nullptr;
        block.setsample = nullptr;
        block.getbin = &getbincb;
        block.setbin = &setbincb;
        block.transferarea = &transferareacb;
    }

    bool inside(int channel, int frame, int bin) const
    {
        return channel >= 0 && channel < channels && frame >= 0 && frame < frames && bin >= 0
               && bin <= fftsize / 2;
    }

    QVector2D get(int buffer, int channel, int frame, int bin) const
    {
        if (buffer < 0 || buffer > 2 || !inside(channel, frame, bin))
            return {};
        if (bin == fftsize / 2)
            return {0, slot(buffer, channel, frame, 0).y()};
        const QVector2D v = slot(buffer, channel, frame, bin);
        return bin == 0 ? QVector2D(v.x(), 0) : v;
    }

    void set(int buffer, int channel, int frame, int bin, QVector2D value)
    {
        if (buffer < 0 || buffer > 2 || !inside(channel, frame, bin))
            return;
        if (bin == fftsize / 2)
            slot(buffer, channel, frame, 0).setY(value.y());
        else if (bin == 0)
            slot(buffer, channel, frame, 0).setX(value.x());
        else
            slot(buffer, channel, frame, bin) = value;
    }

    // Fills one grid with a value that differs from cell to cell.
    template <typename Value>
    void paint(int buffer, Value value)
    {
        for (int c = 0; c < channels; ++c)
            for (int f = 0; f < frames; ++f)
                for (int b = 0; b <= fftsize / 2; ++b)
                    set(buffer, c, f, b, value(c, f, b));
    }

    void clear(int buffer) { grid[buffer].assign(grid[buffer].size(), QVector2D()); }
    const std::vector<QVector2D>& cells(int buffer) const { return grid[buffer]; }
    void resetcounts()
    {
        for (int b = 0; b < 3; ++b)
            reads[b] = writes[b] = 0;
        outside = 0;
        transfers.clear();
    }

    const int samplerate, fftsize, overlap, channels, frames;
    int reads[3] = {0, 0, 0};
    int writes[3] = {0, 0, 0};
    int outside = 0; // accesses with a buffer, channel, frame or bin no grid has
    QList<Transfer> transfers;

    static inline SpectrumGrids* current = nullptr;

private:
    QVector2D& slot(int buffer, int channel, int frame, int bin)
    {
        return grid[buffer][(size_t(channel) * frames + frame) * (fftsize / 2) + bin];
    }
    const QVector2D& slot(int buffer, int channel, int frame, int bin) const
    {
        return grid[buffer][(size_t(channel) * frames + frame) * (fftsize / 2) + bin];
    }

    static QVector2D getbincb(int buffer, int channel, int frame, int bin)
    {
        SpectrumGrids* g = current;
        if (buffer < 0 || buffer > 2 || !g->inside(channel, frame, bin)) {
            ++g->outside;
            return {};
        }
        ++g->reads[buffer];
        return g->get(buffer, channel, frame, bin);
    }
    static void setbincb(int buffer, int channel, int frame, int bin, float re, float im)
    {
        SpectrumGrids* g = current;
        if (buffer < 0 || buffer > 2 || !g->inside(channel, frame, bin)) {
            ++g->outside;
            return;
        }
        ++g->writes[buffer];
        g->set(buffer, channel, frame, bin, {re, im});
    }
    static void transferareacb(int source, int destination, QRectF area, int channelmask, int mode,
                               float dtime, float dfreq)
    {
        SpectrumGrids* g = current;
        g->transfers.append({source, destination, area, channelmask, mode, dtime, dfreq});
        if (mode == 0 && destination >= 0 && destination <= 2)
            g->clear(destination);
    }

    std::vector<QVector2D> grid[3];
};
