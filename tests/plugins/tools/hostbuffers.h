#pragma once
// The host's own spectral core behind a tool, for behaviour that depends on
// real spectra: three slot Buffers with real layers (a mix made of given
// audio, an empty current layer and an empty clipboard) and the host's
// callbacks. refresh fills a tool's block as the host does before each call;
// writeback stores the current layer and the clipboard as the host does after
// it.
#include <QTest>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "core/buffer.h"
#include "core/callbacks.h"
#include "core/globals.h"
#include "core/layer.h"
#include "core/log.h"
#include "datainterface.h"
#include "plugins/tools/hostslots.h"
#include "testsupport.h"

class HostBuffers
{
public:
    HostBuffers(int rate, int fftsize, int overlap) : rate(rate), fftsize(fftsize), hop(fftsize / overlap)
    {
        for (int k = 0; k < 3; ++k) {
            buffers[k] = new Buffer();
            buffers[k]->infftparam(4, fftsize, overlap, false);
            buffers[k]->inselection(QRectF());
            slottable.buffer[k] = buffers[k];
        }
    }
    ~HostBuffers()
    {
        unbind();
        for (int k = 0; k < 3; ++k) {
            slottable.buffer[k] = nullptr;
            delete buffers[k];
        }
    }

    // A mono project whose mix holds `seconds` of signal(t) from time 0.
    void setup(double seconds, const std::function<double(double)>& signal)
    {
        unbind();
        std::vector<float> audio(size_t(std::lround(seconds * rate)));
        for (size_t i = 0; i < audio.size(); ++i)
            audio[i] = float(signal(double(i) / rate));
        for (int k = 0; k < 3; ++k) {
            layers[k] = new layer();
            layers[k]->samplerate = rate;
            layers[k]->channels = 1;
        }
        layers[0]->write(audio.data(), 0, double(audio.size()) / rate);
        for (int k = 0; k < 3; ++k) {
            buffers[k]->bindlayer(layers[k]);
            slottable.bound[k] = layers[k];
        }
    }

    void refresh(DataInterface& block) const
    {
        block.samplerate = rate;
        block.channels = 1;
        block.channelmask = 1;
        block.fftsize = fftsize;
        block.overlap = fftsize / hop;
        block.areaselected = false;
        layer* clip = layers[2];
        block.clipboardarea = QRectF(clip->spanstart(), rate / 2, clip->spanlength(), -rate / 2);
        fillcallbacks(&block);
    }

    void writeback()
    {
        buffers[1]->flush();
        buffers[2]->flush();
    }

    // Magnitude of a slot's bin nearest `frequency` in the frame nearest `time`.
    float level(int slot, double time, double frequency) const
    {
        const int frame = int(std::floor(time * rate / hop + 0.5));
        const int bin = int(std::floor(frequency * fftsize / rate + 0.5));
        return getbincb(slot, 0, frame, bin).length();
    }

    // `count` samples of a slot's layer from `time` on.
    std::vector<float> samples(int slot, double time, int count) const
    {
        std::vector<float> v(size_t(count), 0.0f);
        layers[slot]->read(v.data(), time, double(count) / rate, 0, false);
        return v;
    }

    const int rate, fftsize, hop;
    Buffer* buffers[3] = {};
    layer* layers[3] = {};

private:
    void unbind()
    {
        for (int k = 0; k < 3; ++k) {
            if (buffers[k])
                buffers[k]->bindlayer(nullptr);
            slottable.bound[k] = nullptr;
            delete layers[k];
            layers[k] = nullptr;
        }
    }
};

inline double rms(const std::vector<float>& v)
{
    double sum = 0;
    for (float x : v)
        sum += double(x) * x;
    return v.empty() ? 0 : std::sqrt(sum / double(v.size()));
}

inline int zerocrossings(const std::vector<float>& v)
{
    int n = 0;
    for (size_t i = 1; i < v.size(); ++i)
        n += (v[i - 1] < 0) != (v[i] < 0);
    return n;
}
