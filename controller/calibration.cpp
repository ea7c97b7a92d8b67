// Calibration of the display from a layer: the current layer's level is
// measured and turned into the gain that brings it to a reference level; the
// zebra threshold, the display multiplier and the playback volume may move by
// the same number of dB the other way, so that picture and sound stay as
// they were while the layer's own volume takes up the difference.
#include "calibration.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/analysiswindow.h"
#include "core/buffer.h"
#include "core/layer.h"
#include "core/log.h"
#include "sdk/rounding.h"
#include "spectrumgui.h"

double measurelevel(layer* l, double start, double duration, int hop, int channelmask,
                    bool average, bool peak)
{
    const int rate = l->samplerate;
    const int channels = l->channels;
    if ((!average && !peak) || hop <= 0 || rate <= 0 || channels <= 0)
        return 0;
    const qint64 first = roundhalfup64(start * rate / hop);
    const qint64 end = roundhalfup64((start + duration) * rate / hop) - 1; // one past the last
    if (end <= first)
        return 0;
    std::vector<int> counted;
    for (int c = 0; c < channels; ++c)
        if (channelmask == 0 || (channelmask & (1 << c)))
            counted.push_back(c);
    if (counted.empty())
        return 0;

    // Whole frames at a time, about a second of audio per read.
    const qint64 perblock = std::max<qint64>(1, 65536 / hop);
    std::vector<float> block(size_t(perblock * hop * channels));
    double level = 0;
    double sum = 0;
    for (qint64 f = first; f < end; f += perblock) {
        const qint64 frames = std::min(perblock, end - f);
        const qint64 samples = frames * hop;
        l->read(block.data(), double(f * hop) / rate, double(samples) / rate, -1, false);
        for (qint64 k = 0; k < frames; ++k) {
            const float* frame = block.data() + k * hop * channels;
            for (int c : counted) {
                float framepeak = 0;
                for (qint64 s = 0; s < hop; ++s)
                    framepeak = std::max(framepeak, std::fabs(frame[s * channels + c]));
                level = std::max(level, double(framepeak));
                sum += framepeak;
            }
        }
    }
    if (peak)
        return level;
    return sum / (double(end - first) * double(counted.size()));
}

void SpectrumGui::incalibrate(bool average, bool peak, float calibration, bool calzebra,
                              bool calmult, bool calvol, float* layerfactor)
{
    if (!layerfactor)
        return;
    layer* current = slottable.bound[1];
    if (!current) {
        *layerfactor = 1.0f;
        return;
    }
    double start, duration;
    if (selectionexists()) {
        start = selection.x();
        duration = selection.width();
    } else {
        start = current->spanstart();
        duration = current->spanlength();
    }
    // Edits still held in the cache count; the layer is then read directly,
    // so that a selection limits the time span and not the frequency band.
    if (Buffer* buffer = slottable.buffer[1])
        buffer->flush();
    const int hop = clampfftsize(fftsize) / clampfftoverlap(fftoverlap);
    const double level =
        measurelevel(current, start, duration, hop, channelmask, average, peak);

    // No finite gain comes out of silence or a muted layer: the factor is left
    // as the caller gave it, so the layer keeps its volume.
    if (!(level > 0)) {
        transportwarning(tr("Calibrate Layer"),
                         tr("Nothing to measure: the range is silent or shorter than two "
                            "transform frames."));
        return;
    }
    if (!(current->volume > 0)) {
        transportwarning(tr("Calibrate Layer"),
                         tr("The layer's volume is 0: its level cannot be matched."));
        return;
    }
    const float vdb = float(20.0 * std::log10(double(current->volume)));
    *layerfactor = float(double(calibration) - 20.0 * std::log10(level));
    const int delta = roundhalfup(double(*layerfactor - vdb));
    logmessage(QStringLiteral("Calibrate \"%1\": level %2, layer gain %3 dB, display shift %4 dB")
                   .arg(current->name)
                   .arg(level)
                   .arg(*layerfactor)
                   .arg(delta));
    if (calzebra)
        emit outzebra(zebra + delta);
    if (calmult)
        emit outmultiplier(multiplier - delta);
    if (calvol)
        emit outvolume(volumevalue - delta);
}
