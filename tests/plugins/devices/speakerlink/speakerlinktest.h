#pragma once
// Shared by the speakerlink tests: loading the plugin from the installation
// root, a host stand-in for its data block (tones as samples, every other
// callback counting calls that should not happen), running a play in a
// thread of its own the way the host's device thread does.
#include <QByteArray>
#include <QDir>
#include <QDeadlineTimer>
#include <QFile>
#include <QPluginLoader>
#include <QString>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "interfaces.h"
#include "wavereadback.h"

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
        QThread::msleep(feed.stallms);
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
    bool limited = false;      // stopped by the test's limit, not by itself
    std::vector<double> times; // *currenttime as seen during the run
};

// Runs playStart in a thread of its own; every few ms the test thread notes
// the position and calls control(cells), which may set the stop flag or the
// volume. A run still going after a generous limit is stopped and marked.
inline RunResult playrun(DeviceInterface* device, qint32 layertype, qint32 loop, QRectF range, RunCells& cells,
                         const std::function<void(RunCells&)>& control = {})
{
    RunResult result;
    std::atomic<bool> done{false};
    std::thread run([&] {
        result.ok = device->playStart(QStringLiteral("OpenAL Soft"), layertype, loop, range,
                                      &cells.currenttime, &cells.volume, &cells.stop);
        done = true;
    });
    const QDeadlineTimer limit(120000);
    while (!done) {
        result.times.push_back(std::atomic_ref<double>(cells.currenttime).load());
        if (control)
            control(cells);
        if (limit.hasExpired() && !result.limited) {
            result.limited = true;
            std::atomic_ref<bool>(cells.stop).store(true);
        }
        QThread::msleep(5);
    }
    run.join();
    return result;
}
