#pragma once
// OpenAL Soft's wave back end writes what a device plays, in real time, to a
// file: pointing OpenAL at it, a reference tone queued straight onto the
// current context, and reading the file back to measure what sounded.
#include <AL/al.h>
#include <AL/alc.h>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QThread>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

// Points OpenAL Soft at a configuration of the test's own; it is read at the
// first OpenAL call of the process.
inline void configureopenal(const QByteArray& text)
{
    const QString path = QDir::tempPath() + "/alsoft.conf";
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
    file.close();
    qputenv("ALSOFT_CONF", QFile::encodeName(path));
}

// OpenAL sources and buffers alive on the current context (by the names
// OpenAL Soft hands out), to tell that a run released what it made.
inline int livesources()
{
    int n = 0;
    for (ALuint id = 1; id <= 256; ++id)
        n += alIsSource(id) ? 1 : 0;
    return n;
}

inline int livebuffers()
{
    int n = 0;
    for (ALuint id = 1; id <= 4096; ++id)
        n += alIsBuffer(id) ? 1 : 0;
    return n;
}

// Plays 0.3 s of a 1 kHz tone at half of full scale, 16-bit mono at 44.1 kHz,
// on the current context and returns when it has sounded: the level that a
// mono stream of that amplitude is expected to reach in the file.
inline void playreferencetone()
{
    std::vector<std::int16_t> tone(13230);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = std::int16_t(0.5 * std::sin(2 * M_PI * 1000 * double(i) / 44100) * 32768);
    ALuint source = 0;
    ALuint buffer = 0;
    alGenSources(1, &source);
    alGenBuffers(1, &buffer);
    alBufferData(buffer, AL_FORMAT_MONO16, tone.data(), ALsizei(tone.size() * 2), 44100);
    alSourceQueueBuffers(source, 1, &buffer);
    alSourcePlay(source);
    ALint state = AL_PLAYING;
    while (state == AL_PLAYING || state == AL_INITIAL) {
        QThread::msleep(5);
        alGetSourcei(source, AL_SOURCE_STATE, &state);
    }
    alDeleteSources(1, &source);
    alDeleteBuffers(1, &buffer);
}

// ---- what the wave back end wrote ------------------------------------------

struct WaveData {
    int rate = 0;
    int channels = 0;
    std::vector<float> samples; // interleaved

    std::vector<float> channel(int c) const
    {
        std::vector<float> out;
        for (std::size_t i = std::size_t(c); i < samples.size(); i += std::size_t(channels))
            out.push_back(samples[i]);
        return out;
    }
};

// Reads a RIFF WAVE file of 32-bit float samples (plain or extensible).
inline bool readwave(const QString& path, WaveData& wave)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray d = file.readAll();
    auto byte = [&](qsizetype at) { return qint64(quint8(d.at(at))); };
    auto u16 = [&](qsizetype at) { return int(byte(at) | byte(at + 1) << 8); };
    auto u32 = [&](qsizetype at) { return u16(at) | qint64(u16(at + 2)) << 16; };
    if (d.size() < 12 || d.left(4) != "RIFF" || d.mid(8, 4) != "WAVE")
        return false;
    bool isfloat = false;
    qsizetype at = 12;
    while (at + 8 <= d.size()) {
        const QByteArray id = d.mid(at, 4);
        const qint64 size = u32(at + 4);
        const qsizetype body = at + 8;
        if (id == "fmt " && size >= 16 && body + 16 <= d.size()) {
            int tag = u16(body);
            wave.channels = u16(body + 2);
            wave.rate = int(u32(body + 4));
            const int bits = u16(body + 14);
            if (tag == 0xFFFE && size >= 26 && body + 26 <= d.size())
                tag = u16(body + 24);
            isfloat = tag == 3 && bits == 32;
        } else if (id == "data") {
            const qint64 bytes = std::min<qint64>(size, d.size() - body);
            wave.samples.resize(std::size_t(bytes / 4));
            if (!wave.samples.empty()) // an empty vector's data() may be null
                std::memcpy(wave.samples.data(), d.constData() + body, wave.samples.size() * 4);
        }
        at = body + size + (size & 1);
    }
    return isfloat && wave.channels > 0 && wave.rate > 0;
}

// The stretch of a signal that sounds, in blocks of 10 ms louder than a tenth
// of the loudest block.
struct ToneSpan {
    std::size_t first = 0; // first sample of the first loud block
    std::size_t end = 0;   // one past the last loud block
    int blocks = 0;        // blocks from the first to the last loud one
    int loud = 0;          // loud blocks among them (fewer: the tone broke off)
    double seconds(int rate) const { return double(end - first) / rate; }
};

inline double meansquare(const std::vector<float>& x, std::size_t from, std::size_t to)
{
    double sum = 0;
    for (std::size_t i = from; i < to; ++i)
        sum += double(x[i]) * x[i];
    return to > from ? sum / double(to - from) : 0;
}

inline ToneSpan tonespan(const std::vector<float>& x, int rate)
{
    const std::size_t block = std::size_t(rate / 100);
    std::vector<double> power;
    for (std::size_t i = 0; i + block <= x.size(); i += block)
        power.push_back(meansquare(x, i, i + block));
    double loudest = 0;
    for (double p : power)
        loudest = std::max(loudest, p);
    ToneSpan span;
    if (loudest <= 1e-12)
        return span;
    int firstblock = -1;
    int lastblock = -1;
    for (int b = 0; b < int(power.size()); ++b)
        if (power[std::size_t(b)] > loudest / 10) {
            if (firstblock < 0)
                firstblock = b;
            lastblock = b;
            span.loud++;
        }
    span.first = std::size_t(firstblock) * block;
    span.end = std::size_t(lastblock + 1) * block;
    span.blocks = lastblock - firstblock + 1;
    return span;
}

// Share of the signal's power that lies at frequency f (Goertzel): about 1 for
// a pure tone of that frequency, about 0 without it.
inline double toneshare(const std::vector<float>& x, std::size_t from, std::size_t to, double f, int rate)
{
    const double w = 2 * M_PI * f / rate;
    const double coefficient = 2 * std::cos(w);
    double s1 = 0;
    double s2 = 0;
    for (std::size_t i = from; i < to; ++i) {
        const double s = x[i] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double n = double(to - from);
    const double power = (s1 * s1 + s2 * s2 - coefficient * s1 * s2) * 2 / (n * n);
    const double total = meansquare(x, from, to);
    return total > 0 ? power / total : 0;
}

// Frequency from upward zero crossings.
inline double crossingfrequency(const std::vector<float>& x, std::size_t from, std::size_t to, int rate)
{
    int crossings = 0;
    for (std::size_t i = from + 1; i < to; ++i)
        if (x[i - 1] < 0 && x[i] >= 0)
            crossings++;
    return crossings * double(rate) / double(to - from);
}

// Opens the "OpenAL Soft" device of a configuration that writes to
// `wavepath`, plays the reference tone and returns the mean square it reached
// in the file's left channel, away from its edges: 0 when nothing sounded.
inline double referencetonelevel(const QString& wavepath)
{
    ALCdevice* device = alcOpenDevice("OpenAL Soft");
    if (!device)
        return 0;
    ALCcontext* context = alcCreateContext(device, nullptr);
    if (!alcMakeContextCurrent(context))
        return 0;
    playreferencetone();
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(context);
    alcCloseDevice(device);
    WaveData wave;
    if (!readwave(wavepath, wave) || wave.channels != 2)
        return 0;
    const std::vector<float> left = wave.channel(0);
    const ToneSpan span = tonespan(left, wave.rate);
    const std::size_t margin = std::size_t(wave.rate / 50);
    return meansquare(left, span.first + margin, span.end - margin);
}
