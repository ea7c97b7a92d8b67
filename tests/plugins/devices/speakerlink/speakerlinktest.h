#pragma once
// Shared by the speakerlink tests: loading the plugin from the installation
// root, a host stand-in for its data block (tones as samples, every other
// callback counting calls that should not happen), running a play in a
// thread of its own the way the host's device thread does, and reading back
// what OpenAL Soft's wave back end wrote.
#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPluginLoader>
#include <QString>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "interfaces.h"

// ---- the host stand-in ---------------------------------------------------

struct ToneFeed {
    int rate = 44100;
    double frequency[3][8] = {};
    float amplitude[3][8] = {};
    std::atomic<int> buffersasked{0};  // bit b: getsample was asked for buffer b
    std::atomic<int> channelsasked{0}; // bit c: ... for channel c
    std::atomic<long long> calls{0};
    std::atomic<long long> firstindex{LLONG_MAX};
    std::atomic<int> othercallbacks{0}; // any of the eleven callbacks a device never needs
    std::atomic<long long> stallindex{-1}; // reading this sample takes stallms, once
    int stallms = 0;

    void reset(int samplerate)
    {
        rate = samplerate;
        for (auto& row : frequency)
            for (double& f : row)
                f = 0;
        for (auto& row : amplitude)
            for (float& a : row)
                a = 0;
        buffersasked = 0;
        channelsasked = 0;
        calls = 0;
        firstindex = LLONG_MAX;
        othercallbacks = 0;
        stallindex = -1;
        stallms = 0;
    }
};

inline ToneFeed feed;

inline float feedsample(int buffer, int channel, int index)
{
    feed.calls++;
    if (buffer < 0 || buffer > 2 || channel < 0 || channel > 7) {
        feed.othercallbacks++;
        return 0;
    }
    feed.buffersasked |= 1 << buffer;
    feed.channelsasked |= 1 << channel;
    long long seen = feed.firstindex.load();
    while (index < seen && !feed.firstindex.compare_exchange_weak(seen, index)) {
    }
    long long stall = index;
    if (feed.stallindex.compare_exchange_strong(stall, -1))
        std::this_thread::sleep_for(std::chrono::milliseconds(feed.stallms));
    const double f = feed.frequency[buffer][channel];
    return feed.amplitude[buffer][channel] * float(std::sin(2 * M_PI * f * index / feed.rate));
}

template <typename F>
struct Unexpected;
template <typename R, typename... A>
struct Unexpected<R (*)(A...)> {
    static R call(A...)
    {
        feed.othercallbacks++;
        return R{};
    }
};

template <typename F>
inline void unexpected(F& callback)
{
    callback = &Unexpected<F>::call;
}

// Fills the data block as the host does before a start.
inline void fillblock(DeviceInterface* device, int rate, int channels, int channelmask)
{
    static const int masks[9] = {0, 0x4, 0x3, 0xB, 0x33, 0x3B, 0x3F, 0x13F, 0x63F};
    device->samplerate = rate;
    device->channels = channels;
    device->speakermask = channels >= 0 && channels <= 8 ? masks[channels] : 0;
    device->channelmask = channelmask;
    device->fftsize = 4096;
    device->overlap = 4;
    device->areaselected = false;
    device->buffergain[0] = device->buffergain[1] = device->buffergain[2] = 1.0f;
    device->getsample = feedsample;
    unexpected(device->setsample);
    unexpected(device->getbin);
    unexpected(device->setbin);
    unexpected(device->getwindow);
    unexpected(device->getlobe);
    unexpected(device->estimatepeak);
    unexpected(device->transferarea);
    unexpected(device->fastsqrt);
    unexpected(device->fastatan2);
    unexpected(device->fastsin);
    unexpected(device->fastcos);
}

// The set-up most runs share: a 44.1 kHz mono project whose mix is a 1 kHz tone.
inline void feedmonotone(DeviceInterface* device, float amplitude = 0.5f)
{
    feed.reset(44100);
    feed.frequency[0][0] = 1000;
    feed.amplitude[0][0] = amplitude;
    fillblock(device, 44100, 1, 0x1);
}

// ---- loading ---------------------------------------------------------------

inline QString speakerlinkpath()
{
    return QStringLiteral(KV_TEST_ROOT "/Plugins/Devices/speakerlink");
}

inline DeviceInterface* loadspeakerlink(QPluginLoader& loader)
{
    loader.setFileName(speakerlinkpath());
    QObject* object = loader.instance();
    if (!object)
        qWarning("cannot load speakerlink: %s", qUtf8Printable(loader.errorString()));
    return qobject_cast<DeviceInterface*>(object);
}

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

// ---- a run -------------------------------------------------------------------

// The cells the host shares with a run; the test reads and writes them
// atomically while the run goes on.
struct RunCells {
    alignas(8) double currenttime = 0;
    float volume = 1;
    bool stop = false;
};

struct RunResult {
    bool ok = false;
    double seconds = 0;                // how long playStart took
    std::vector<double> times;         // *currenttime as seen during the run
    std::vector<double> elapsed;       // when each of them was seen
};

// Runs playStart in a thread of its own; every few ms the test thread notes
// the position and calls control(elapsed seconds, cells), which may set the
// stop flag or the volume.
inline RunResult playrun(DeviceInterface* device, qint32 layertype, qint32 loop, QRectF range, RunCells& cells,
                         const std::function<void(double, RunCells&)>& control = {})
{
    RunResult result;
    std::atomic<bool> done{false};
    QElapsedTimer clock;
    clock.start();
    std::thread run([&] {
        result.ok = device->playStart(QStringLiteral("OpenAL Soft"), layertype, loop, range,
                                      &cells.currenttime, &cells.volume, &cells.stop);
        result.seconds = clock.nsecsElapsed() / 1e9;
        done = true;
    });
    while (!done) {
        const double t = clock.nsecsElapsed() / 1e9;
        result.times.push_back(std::atomic_ref<double>(cells.currenttime).load());
        result.elapsed.push_back(t);
        if (control)
            control(t, cells);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.join();
    return result;
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
