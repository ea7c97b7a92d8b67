#pragma once
// Test double of the host side of a tool's data block in the time domain: the
// samples of three buffers (mix, current layer, scratch) over 0 .. length-1 of
// each channel, behind getsample and setsample. Positions outside read as zero
// and take no writes; every access is counted by buffer and channel, every
// area transfer recorded, and mode 0 empties the destination.
#include <QList>
#include <QRectF>

#include <vector>

#include "datainterface.h"

class SampleLanes
{
public:
    struct Transfer
    {
        int source, destination;
        QRectF area;
        int channelmask, mode;
    };

    SampleLanes(int samplerate, int channels, int length)
        : samplerate(samplerate), channels(channels), length(length)
    {
        for (auto& lane : lanes)
            lane.assign(size_t(channels) * length, 0.0f);
        current = this;
    }
    ~SampleLanes()
    {
        if (current == this)
            current = nullptr;
    }

    void fill(DataInterface& block, int channelmask) const
    {
        block.samplerate = samplerate;
        block.channels = channels;
        block.channelmask = channelmask;
        block.fftsize = 256;
        block.overlap = 4;
        block.getsample = &getsamplecb;
        block.setsample = &setsamplecb;
        block.getbin = nullptr;
        block.setbin = nullptr;
        block.transferarea = &transferareacb;
    }

    float get(int buffer, int channel, int sample) const
    {
        return inside(channel, sample) ? lanes[buffer][size_t(channel) * length + sample] : 0.0f;
    }
    void set(int buffer, int channel, int sample, float value)
    {
        if (inside(channel, sample))
            lanes[buffer][size_t(channel) * length + sample] = value;
    }
    void clear(int buffer) { lanes[buffer].assign(lanes[buffer].size(), 0.0f); }
    void resetcounts()
    {
        for (int b = 0; b < 3; ++b)
            for (int c = 0; c < 8; ++c)
                reads[b][c] = writes[b][c] = 0;
        outside = 0;
        transfers.clear();
    }
    int accesses(int buffer, int channel) const { return reads[buffer][channel] + writes[buffer][channel]; }

    const int samplerate, channels, length;
    int reads[3][8] = {};
    int writes[3][8] = {};
    int outside = 0;
    QList<Transfer> transfers;
    static inline SampleLanes* current = nullptr;

private:
    bool inside(int channel, int sample) const
    {
        return channel >= 0 && channel < channels && sample >= 0 && sample < length;
    }
    static bool valid(int buffer, int channel, int sample)
    {
        SampleLanes* l = current;
        if (buffer < 0 || buffer > 2 || !l->inside(channel, sample)) {
            ++l->outside;
            return false;
        }
        return true;
    }
    static float getsamplecb(int buffer, int channel, int sample)
    {
        if (!valid(buffer, channel, sample))
            return 0.0f;
        ++current->reads[buffer][channel];
        return current->get(buffer, channel, sample);
    }
    static void setsamplecb(int buffer, int channel, int sample, float value)
    {
        if (!valid(buffer, channel, sample))
            return;
        ++current->writes[buffer][channel];
        current->set(buffer, channel, sample, value);
    }
    static void transferareacb(int source, int destination, QRectF area, int channelmask, int mode, float, float)
    {
        current->transfers.append({source, destination, area, channelmask, mode});
        if (mode == 0 && destination >= 0 && destination <= 2)
            current->clear(destination);
    }

    std::vector<float> lanes[3];
};
