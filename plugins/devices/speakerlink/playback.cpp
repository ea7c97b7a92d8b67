// Streaming a time range of one host buffer through one OpenAL source, in
// buffers of 1/chunkspersecond s of 16-bit output, while the play position is
// published to the host.
#include "deviceplugin.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <deque>
#include <iterator>
#include <thread>
#include <vector>

#include "alcheck.h"
#include "rounding.h"
#include "speakermix.h"
#include "runcells.h"
#include "streamformat.h"

namespace {

// One buffer of the source's queue and where its samples came from, so the
// sounding position can be told from the source's offset into the queue.
struct Chunk {
    ALuint buffer;
    std::int64_t first; // project sample index of its first frame
    int frames;         // output frames it holds
};

constexpr std::size_t queuedmax = 3;

// Half a second at 768 kHz. A higher rate (up to the editor's limit, or a
// damaged file's claim of 2^31 Hz) gets shorter buffers rather than
// gigabytes, and the stop flag is still seen between them.
constexpr int chunkframesmax = 384000;

} // namespace

bool DevicePlugin::playStart(const QString& description, qint32 layertype, qint32 loop, QRectF range,
                             double* currenttime, float* volume, bool* stop)
{
    if (!runcellsusable(currenttime, volume, stop)) {
        qWarning("speakerlink: play run without usable position, volume or stop cells");
        return false;
    }
    if (layertype < 0 || layertype > 2 || !getsample) {
        qWarning("speakerlink: cannot play buffer %d%s", int(layertype), getsample ? "" : " without a sample source");
        return false;
    }
    if (!playdevice || !playcontext) {
        qWarning("speakerlink: play run without an open device");
        return false;
    }
    if (channels < 1 || channels > 8) {
        qWarning("speakerlink: %d channels cannot be played", channels);
        return false;
    }
    // OpenAL has no format for 3 and 5 channels, and an implementation may
    // lack the multichannel ones: such a layout plays as a stereo down-mix,
    // by the weights that also convert a layer to stereo.
    const StreamFormat* format = streamformat(channels);
    alGetError();
    const bool offered = format && alGetEnumValue(format->name) != 0;
    alGetError();
    const bool downmix = !offered && channels > 2;
    if (downmix)
        format = streamformat(2);
    if (!offered && !downmix) {
        qWarning("speakerlink: this OpenAL does not offer %s", format->name);
        return false;
    }
    const OutputRate out = outputrate(samplerate);
    const int frames = samplerate > 0 ? std::min(out.rate / chunkspersecond, chunkframesmax) : 0;
    if (frames <= 0) {
        qWarning("speakerlink: cannot play at %d Hz", samplerate);
        return false;
    }

    // The block may be refreshed by the host while the run goes on; the run
    // keeps what it started with.
    const int rate = samplerate;
    const int count = channels;
    const int mask = channelmask;
    const std::array<int, 8> order = speakerorder(count, speakermask);
    const int step = out.step;
    const float gain = buffergain[layertype];
    const auto sample = getsample;
    const int outcount = downmix ? 2 : count;
    const int framebytes = outcount * 2;
    const speakermix::Matrix weights = speakermix::matrix(speakermask, count, speakermix::FL | speakermix::FR, 2);

    std::atomic_ref<double> now(*currenttime);
    std::atomic_ref<float> level(*volume);
    std::atomic_ref<bool> stopflag(*stop);

    // A range with an unset or open end, or of no length (an empty clipboard's
    // range ends at the negative marker), has nothing to play.
    const double start = range.x();
    const double end = range.x() + range.width();
    if (!isrealtime(start) || !isrealtime(end) || end <= start)
        return true;
    const bool looping = loop != 0;
    double t0 = now.load();
    if (!isrealtime(t0))
        t0 = start;
    if (t0 >= end) {
        if (!looping)
            return true;
        t0 = start;
    }
    const std::int64_t rangefirst = roundhalfup64(start * rate);
    const std::int64_t rangeend = roundhalfup64(end * rate);
    const bool wraps = looping && rangeend > rangefirst;
    std::int64_t readpos = roundhalfup64(t0 * rate);
    auto timeat = [rate](std::int64_t index) { return double(index) / rate; };

    alGenSources(1, &source);
    if (alfailed("creating a source")) {
        source = 0;
        return false;
    }

    std::deque<Chunk> queue;
    std::vector<std::int16_t> block(std::size_t(frames) * outcount);
    double played = t0;   // where the last finished buffer ended
    bool drained = false; // everything up to the range end is queued
    bool ok = true;

    auto forget = [&](int n) {
        for (; n > 0 && !queue.empty(); --n) {
            ALuint done = 0;
            alSourceUnqueueBuffers(source, 1, &done);
            alDeleteBuffers(1, &done);
            const Chunk& chunk = queue.front();
            played = timeat(chunk.first + std::int64_t(chunk.frames) * step);
            queue.pop_front();
        }
    };
    // Played buffers leave the queue and are deleted at once, so a long run
    // holds no more than a few. OpenAL counts every buffer of a stopped
    // source as processed; that is true here because a buffer queued onto a
    // stopped source has it started again at once (below), so a source only
    // stops when it has played all it holds.
    auto retire = [&] {
        ALint state = AL_INITIAL;
        ALint processed = 0;
        alGetSourcei(source, AL_SOURCE_STATE, &state);
        alGetSourcei(source, AL_BUFFERS_PROCESSED, &processed);
        forget(processed);
        return state;
    };

    while (!stopflag.load()) {
        retire();
        ALint offset = 0;
        ALint state = AL_INITIAL;
        alGetSourcei(source, AL_BYTE_OFFSET, &offset);
        alGetSourcei(source, AL_SOURCE_STATE, &state);
        if (alfailed("polling the source")) {
            ok = false;
            break;
        }

        if (queue.empty() && drained) {
            now.store(end);
            break;
        }
        if (queue.empty()) {
            now.store(played);
        } else if (state == AL_PLAYING) {
            // The offset counts from the oldest buffer still queued; it may
            // lie in a later one when a buffer finished since the count.
            std::int64_t frame = offset / framebytes;
            auto it = queue.begin();
            while (frame >= it->frames && std::next(it) != queue.end()) {
                frame -= it->frames;
                ++it;
            }
            frame = std::min<std::int64_t>(frame, it->frames);
            now.store(timeat(it->first + frame * step));
        }

        if (drained || queue.size() >= queuedmax) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        if (readpos >= rangeend) {
            if (!wraps) {
                drained = true;
                continue;
            }
            readpos = rangefirst;
        }
        const int n = int(std::min<std::int64_t>(frames, (rangeend - readpos + step - 1) / step));
        for (int j = 0; j < n; ++j) {
            const std::int64_t index = readpos + std::int64_t(j) * step;
            const bool addressable = index >= INT_MIN && index <= INT_MAX;
            if (downmix) {
                float mixed[2] = {};
                for (int c = 0; c < count; ++c)
                    if (addressable && ((mask >> c) & 1)) {
                        const float v = sample(layertype, c, int(index));
                        mixed[0] += weights[0][c] * v;
                        mixed[1] += weights[1][c] * v;
                    }
                for (int o = 0; o < 2; ++o)
                    block[std::size_t(j) * 2 + o] = tosample16(mixed[o] * gain * level.load());
                continue;
            }
            for (int s = 0; s < count; ++s) {
                const int c = order[s];
                std::int16_t v = 0;
                if (addressable && ((mask >> c) & 1))
                    v = tosample16(sample(layertype, c, int(index)) * gain * level.load());
                block[std::size_t(j) * count + s] = v;
            }
        }
        ALuint buffer = 0;
        alGenBuffers(1, &buffer);
        if (alfailed("creating a buffer")) {
            ok = false;
            break;
        }
        alBufferData(buffer, format->value, block.data(), n * framebytes, out.rate);
        bool queued = !alfailed("filling a buffer");
        if (queued) {
            retire(); // filling may have taken long; what finished meanwhile goes first
            alSourceQueueBuffers(source, 1, &buffer);
            queued = !alfailed("queueing a buffer");
        }
        if (!queued) {
            alDeleteBuffers(1, &buffer);
            ok = false;
            break;
        }
        queue.push_back({buffer, readpos, n});
        readpos += std::int64_t(n) * step;

        // Started after the first buffer, and again when it ran dry before
        // this one arrived: then all it held before has played.
        alGetSourcei(source, AL_SOURCE_STATE, &state);
        if (state != AL_PLAYING) {
            if (state != AL_INITIAL)
                forget(int(queue.size()) - 1);
            alSourcePlay(source);
            if (alfailed("starting the source")) {
                ok = false;
                break;
            }
        }
    }

    alSourceStop(source);
    alSourcei(source, AL_BUFFER, 0); // takes every buffer still queued off the source
    for (const Chunk& chunk : queue)
        alDeleteBuffers(1, &chunk.buffer);
    alDeleteSources(1, &source);
    source = 0;
    if (alfailed("releasing the source"))
        ok = false;
    return ok;
}
