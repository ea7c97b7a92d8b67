// The layer as it stood at the last history entry, kept by copy on write:
// instead of a copy of the whole file, the frames that later steps overwrite,
// move away or drop are put aside in a side file just before, and everything
// else is still read from the layer's own file.
#include <QMutexLocker>

#include <algorithm>
#include <map>
#include <vector>

#include "layer.h"
#include "rounding.h"

// Frame k of the kept state (0 = its first file frame) lies in the side file
// when a span of `aside` covers it, and otherwise at frame k + shift of the
// layer's file, unchanged since keepbefore().
struct layer::beforestate
{
    struct span
    {
        qint64 frames = 0;
        qint64 at = 0; // first frame in the side file
    };
    layerextent extent;
    qint64 shift = 0;
    std::map<qint64, span> aside; // by first kept frame; spans never overlap
    QFile* sidefile = nullptr; // made when the first frame is put aside
    qint64 sideframes = 0;
    bool lost = false;

    ~beforestate() { layer::removefile(sidefile); }

    // The parts of [first, last) that no span covers yet.
    std::vector<std::pair<qint64, qint64>> gaps(qint64 first, qint64 last) const
    {
        std::vector<std::pair<qint64, qint64>> out;
        qint64 k = first;
        auto it = aside.upper_bound(k);
        if (it != aside.begin()) {
            const auto previous = std::prev(it);
            k = std::max(k, previous->first + previous->second.frames);
        }
        while (k < last) {
            const qint64 end = it == aside.end() ? last : std::min(last, it->first);
            if (end > k)
                out.emplace_back(k, end);
            if (it == aside.end())
                break;
            k = std::max(k, it->first + it->second.frames);
            ++it;
        }
        return out;
    }

    // Records that frames [first, first + frames) went to the end of the side file.
    void add(qint64 first, qint64 frames)
    {
        auto it = aside.lower_bound(first);
        if (it != aside.begin()) {
            auto previous = std::prev(it);
            span& p = previous->second;
            // A stroke that moves on writes the next frames: one span grows.
            if (previous->first + p.frames == first && p.at + p.frames == sideframes) {
                p.frames += frames;
                sideframes += frames;
                return;
            }
        }
        aside.emplace(first, span{frames, sideframes});
        sideframes += frames;
    }
};

void layer::beforedelete::operator()(beforestate* state) const
{
    delete state;
}

void layer::keepbefore()
{
    QMutexLocker lock(&layermutex);
    kept.reset(new beforestate());
    kept->extent = {length > 0 ? start : 0.0, std::max(0.0, length), fileframes()};
}

void layer::dropbefore()
{
    QMutexLocker lock(&layermutex);
    kept.reset();
}

bool layer::keepsbefore() const
{
    QMutexLocker lock(&layermutex);
    return bool(kept);
}

bool layer::beforelost() const
{
    QMutexLocker lock(&layermutex);
    return kept && kept->lost;
}

layerextent layer::beforeextent() const
{
    QMutexLocker lock(&layermutex);
    return kept ? kept->extent : layerextent();
}

void layer::keepframes(qint64 first, qint64 last)
{
    if (!kept || kept->lost || channels <= 0)
        return;
    const qint64 k0 = std::max<qint64>(0, first - kept->shift);
    const qint64 k1 = std::min(kept->extent.frames, last - kept->shift);
    if (k1 <= k0)
        return;
    const qint64 fb = framebytes();
    for (const auto& [g0, g1] : kept->gaps(k0, k1)) {
        if (!kept->sidefile && !(kept->sidefile = newtempfile())) {
            kept->lost = true; // newtempfile said why
            return;
        }
        if (!copyiodevice(file, (g0 + kept->shift) * fb, kept->sidefile, kept->sideframes * fb,
                          (g1 - g0) * fb)) {
            seterror(QStringLiteral("Could not keep the samples of layer \"%1\" for the history: %2")
                         .arg(name, kept->sidefile->errorString()));
            kept->lost = true;
            return;
        }
        kept->add(g0, g1 - g0);
    }
}

void layer::keepframesoutside(qint64 first, qint64 last)
{
    if (!kept)
        return;
    const qint64 old = fileframes();
    if (last <= first) {
        keepframes(0, old);
        return;
    }
    keepframes(0, std::min(first, old));
    keepframes(std::max<qint64>(last, 0), old);
}

void layer::framesmoved(qint64 by)
{
    if (kept)
        kept->shift += by;
}

bool layer::copybefore(QFile* into, qint64 at, qint64 first, qint64 last)
{
    const qint64 fb = framebytes();
    const qint64 own = fileframes();
    auto it = kept->aside.upper_bound(first);
    if (it != kept->aside.begin() && std::prev(it)->first + std::prev(it)->second.frames > first)
        --it;
    for (qint64 k = first; k < last;) {
        if (it != kept->aside.end() && it->first <= k) {
            const qint64 end = std::min(last, it->first + it->second.frames);
            if (!copyiodevice(kept->sidefile, (it->second.at + k - it->first) * fb, into, (at + k - first) * fb,
                              (end - k) * fb))
                return false;
            k = end;
            ++it;
            continue;
        }
        const qint64 end = it == kept->aside.end() ? last : std::min(last, it->first);
        // Never put aside, so still in the file (what lies outside it was silence).
        const qint64 from = std::max(k, -kept->shift);
        const qint64 to = std::min(end, own - kept->shift);
        if (to > from
            && !copyiodevice(file, (from + kept->shift) * fb, into, (at + from - first) * fb, (to - from) * fb))
            return false;
        k = end;
    }
    return true;
}

layer* layer::beforechunk(double chunkstart, double chunklength)
{
    QMutexLocker lock(&layermutex);
    if (!kept)
        return nullptr;
    const layerextent& then = kept->extent;
    auto* chunk = new layer();
    chunk->name = name;
    chunk->active = active;
    chunk->mixsign = mixsign;
    chunk->volume = volume;
    chunk->samplerate = samplerate;
    chunk->channels = channels;
    chunk->speakermask = speakermask;
    chunk->start = chunkstart;
    chunk->owner = then;
    if (chunk->failed())
        return chunk; // no file for it
    chunk->length = chunklength;
    if (kept->lost) {
        chunk->seterror(QStringLiteral("The samples of layer \"%1\" from before the edit were not kept").arg(name));
        chunk->length = 0;
        return chunk;
    }
    const qint64 frames = std::max<qint64>(0, roundhalfup64(chunklength * samplerate));
    if (!chunk->file->resize(frames * framebytes())) {
        chunk->seterror(
            QStringLiteral("Could not size the backup of layer \"%1\": %2").arg(name, chunk->file->errorString()));
        chunk->length = 0;
        return chunk;
    }
    if (then.length <= 0)
        return chunk; // the layer was empty: the chunk stays silent
    // Chunk frame j holds kept frame j + offset; only the overlap is copied.
    const qint64 offset = roundhalfup64((chunkstart - then.start) * samplerate);
    const qint64 first = std::max<qint64>(0, -offset);
    const qint64 last = std::min(frames, then.frames - offset);
    if (last > first && !copybefore(chunk->file, first, first + offset, last + offset)) {
        chunk->seterror(
            QStringLiteral("Could not copy the backup of layer \"%1\": %2").arg(name, chunk->file->errorString()));
        chunk->file->resize(0);
        chunk->length = 0;
    }
    return chunk;
}
