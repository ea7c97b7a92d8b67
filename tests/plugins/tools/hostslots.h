#pragma once
// The host's side of a tool's data block, for checks cell by cell: the
// program's three slot Buffers (mix, current layer, clipboard) over real
// layers, the host's own callbacks and area transfer, and the block filled as
// the controller fills it before every call. Cells are set straight into a
// Buffer's spectrum, as an earlier edit leaves them. The block's bin and
// transfer callbacks pass through counters on their way to the host's, so a
// test also sees how often a tool read or wrote each slot and which
// transfers it asked for.
#include <QList>
#include <QRectF>
#include <QString>
#include <QTest>
#include <QVector2D>

#include <cmath>
#include <memory>
#include <vector>

#include "core/buffer.h"
#include "core/callbacks.h"
#include "core/globals.h"
#include "core/layer.h"
#include "core/log.h"
#include "datainterface.h"
#include "plugins/tools/areatransfer.h"
#include "plugins/tools/tooldriver.h"
#include "testsupport.h"

class HostSlots
{
public:
    using Transfer = AreaTransfer;

    // A project of the given format whose mix and current layer hold `frames`
    // frames of silence; the clipboard is empty.
    HostSlots(int samplerate, int fftsize, int overlap, int channels, int frames)
        : samplerate(samplerate), fftsize(fftsize), overlap(overlap), channels(channels), frames(frames)
    {
        if (sessionpath.isEmpty()) // the layers' sample files go there
            kvtestfolders();
        for (auto& b : buffers) {
            b = std::make_unique<Buffer>();
            b->infftparam(4, fftsize, overlap, false);
            b->inselection(QRectF());
        }
        reset();
    }
    ~HostSlots()
    {
        for (int k = 0; k < 3; ++k) {
            buffers[k]->bindlayer(nullptr);
            if (current == this) {
                slottable.buffer[k] = nullptr;
                slottable.bound[k] = nullptr;
            }
        }
        if (current == this)
            current = nullptr;
    }

    // Fresh layers in all three slots, no selection, counts cleared; the
    // slots are the program's from now on.
    void reset()
    {
        const int samples = frames * (fftsize / overlap) + fftsize;
        const std::vector<float> silence(size_t(samples) * channels, 0.0f);
        for (int k = 0; k < 3; ++k) {
            buffers[k]->bindlayer(nullptr);
            layers[k] = std::make_unique<layer>();
            layers[k]->samplerate = samplerate;
            layers[k]->channels = channels;
            if (k < 2)
                layers[k]->write(silence.data(), 0, double(samples) / samplerate);
            buffers[k]->inselection(QRectF());
            buffers[k]->bindlayer(layers[k].get());
        }
        selection = QRectF();
        install();
        resetcounts();
    }

    void install()
    {
        current = this;
        for (int k = 0; k < 3; ++k) {
            slottable.buffer[k] = buffers[k].get();
            slottable.bound[k] = layers[k].get();
        }
    }

    // A selection, which the controller hands to every Buffer and to the block.
    void select(QRectF area)
    {
        selection = area;
        for (auto& b : buffers)
            b->inselection(area);
    }

    // What the controller writes into a tool's block before each call.
    void fill(DataInterface& block) const
    {
        block.samplerate = samplerate;
        block.channels = channels;
        block.channelmask = channelmask;
        block.fftsize = fftsize;
        block.overlap = overlap;
        block.areaselected = !selection.isNull();
        if (block.areaselected) {
            block.mixarea = block.clipboardarea = block.layerarea = selection;
        } else {
            block.mixarea = span(0);
            block.layerarea = span(1);
            block.clipboardarea = span(2);
        }
        block.buffergain[0] = block.buffergain[1] = block.buffergain[2] = 1.0f;
        fillcallbacks(&block);
        block.getbin = &getbinspy;
        block.setbin = &setbinspy;
        block.transferarea = &transferspy;
    }

    // What the controller does after each call: the edits of the current
    // layer and of the clipboard go back to their layers.
    void writeback()
    {
        buffers[1]->flush();
        buffers[2]->flush();
    }

    QVector2D get(int slot, int channel, int frame, int bin) const
    {
        return buffers[slot]->getbin(channel, frame, bin);
    }
    void set(int slot, int channel, int frame, int bin, QVector2D value)
    {
        buffers[slot]->setbin(channel, frame, bin, value.x(), value.y());
    }
    // Fills a slot's frames with a value that differs from cell to cell.
    template <typename Value>
    void paint(int slot, Value value)
    {
        for (int c = 0; c < channels; ++c)
            for (int f = 0; f < frames; ++f)
                for (int b = 0; b <= fftsize / 2; ++b)
                    set(slot, c, f, b, value(c, f, b));
    }
    // Every cell of a slot's frames.
    std::vector<QVector2D> cells(int slot) const
    {
        std::vector<QVector2D> all;
        for (int c = 0; c < channels; ++c)
            for (int f = 0; f < frames; ++f)
                for (int b = 0; b <= fftsize / 2; ++b)
                    all.push_back(get(slot, c, f, b));
        return all;
    }

    void resetcounts()
    {
        for (int k = 0; k < 3; ++k)
            reads[k] = writes[k] = 0;
        transfers.clear();
    }
    const int samplerate, fftsize, overlap, channels, frames;
    int channelmask = 0;
    int reads[3] = {0, 0, 0};
    int writes[3] = {0, 0, 0};
    QList<Transfer> transfers;
    std::unique_ptr<Buffer> buffers[3];
    std::unique_ptr<layer> layers[3];

    static inline HostSlots* current = nullptr;

private:
    QRectF span(int slot) const
    {
        layer* l = layers[slot].get();
        return QRectF(l->spanstart(), samplerate / 2, l->spanlength(), -samplerate / 2);
    }

    static QVector2D getbinspy(int buffer, int channel, int frame, int bin)
    {
        if (buffer >= 0 && buffer < 3)
            ++current->reads[buffer];
        return getbincb(buffer, channel, frame, bin);
    }
    static void setbinspy(int buffer, int channel, int frame, int bin, float re, float im)
    {
        if (buffer >= 0 && buffer < 3)
            ++current->writes[buffer];
        setbincb(buffer, channel, frame, bin, re, im);
    }
    static void transferspy(int source, int destination, QRectF area, int channelmask, int mode, float dtime,
                            float dfreq)
    {
        current->transfers.append({source, destination, area, channelmask, mode, dtime, dfreq});
        transferareacb(source, destination, area, channelmask, mode, dtime, dfreq);
    }

    QRectF selection;
};

// The session log of the test records the first refusal of each kind of
// callback; a tool that keeps to the buffers causes none.
inline void startlog(const char* name)
{
    kvtestfolders();
    sessionid = QString::fromLatin1(name);
    loginit(1);
}

inline bool norefusals()
{
    return !kvlogtext().contains(QStringLiteral("Plugin callback"));
}

namespace tooltest {

// The pointer on the program's slot Buffers: the host fills the block before
// each call and writes the edits back after it.
struct SlotDriver : Strokes
{
    SlotDriver() : Strokes(tool, [this] { spectra->fill(*tool); }, [this] { spectra->writeback(); }) {}
    SlotDriver(const SlotDriver&) = delete;

    ToolInterface* tool = nullptr;
    HostSlots* spectra = nullptr;
};

// Whether a commit covers the whole band over the clipboard's span and the
// time from `from` to `to` (s) that the stroke painted; names what it misses.
inline QString coverage(const AreaTransfer& commit, const DataInterface& block, double from, double to)
{
    const QRectF& area = commit.area;
    const QRectF& clip = block.clipboardarea;
    if (area.y() != block.samplerate / 2 || area.height() != -block.samplerate / 2)
        return QStringLiteral("not the whole band");
    if (clip.width() <= 0 || area.left() > clip.left() || area.right() < clip.right())
        return QStringLiteral("not the clipboard's span");
    // The frames the transfer takes: from the start's up to, not including, the end's.
    const double framesper = double(block.samplerate) * block.overlap / block.fftsize;
    const auto frame = [framesper](double t) { return std::floor(t * framesper + 0.5); };
    if (frame(area.left()) > frame(from) || frame(area.right()) < frame(to))
        return QStringLiteral("not all that was painted");
    return {};
}

// With a selection of 1.0 .. 1.2 s and 2000 .. 3000 Hz (frames 125 .. 150,
// bins 64 .. 96), a stroke at 0.4 s, 1000 Hz leaves the layer as it was, and
// one on the selection's corner commits with the selection as its area. The
// selection is lifted again, so that the test reads the whole layer.
inline void strokesinselection(SlotDriver& host)
{
    HostSlots& spectra = *host.spectra;
    const QRectF selection(1.0, 3000, 0.2, -1000);
    spectra.select(selection);
    const std::vector<QVector2D> before = spectra.cells(1);
    QVERIFY(host.stroke(0.4f, 1000));
    QCOMPARE(commits(spectra).size(), 1);
    QCOMPARE(commits(spectra)[0].area, selection);
    QVERIFY(spectra.cells(1) == before);
    QVERIFY(host.stroke(1.0f, 3000));
    QCOMPARE(commits(spectra).size(), 2);
    QCOMPARE(commits(spectra)[1].area, selection);
    spectra.select(QRectF());
}

} // namespace tooltest
