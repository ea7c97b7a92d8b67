#pragma once
// What the benchmarks of the window's steps share: the application with a
// session log, a stereo 48 kHz layer of noise, and the meter of how long the
// GUI thread goes without handling an event.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <kissfft/kiss_fftr.h>
#include <vector>

#include "core/globals.h"
#include "core/layer.h"
#include "core/log.h"

namespace benchwindow {

// The application (on Qt's offscreen platform when there is no display, for
// the benchmarks that show nothing) and a session log in a folder of its own.
struct App
{
    QApplication app;
    QTemporaryDir logs{QDir::tempPath() + "/kvbench-logs-XXXXXX"};
    App(int& argc, char** argv) : app((offscreen(), argc), argv)
    {
        registerlayermetatype();
        logspath = logs.path();
        loginit(0);
    }
    static void offscreen()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
};

// A stereo 48 kHz layer of `seconds` of noise, written 10 s at a time.
inline layer* noiselayer(double seconds, const QString& name)
{
    auto* l = new layer();
    l->samplerate = 48000;
    l->channels = 2;
    l->speakermask = 0x3;
    l->name = name;
    QRandomGenerator g(7);
    std::vector<float> block(size_t(48000) * 10 * 2);
    for (float& x : block)
        x = float(0.5 * g.generateDouble() - 0.25);
    for (double t = 0; t < seconds; t += 10)
        l->write(block.data(), t, std::min(10.0, seconds - t));
    l->resetdirty();
    return l;
}

// The longest time between two ticks of a 5 ms timer of the GUI thread from
// start() to stop(): how long it went without handling an event.
class GapMeter
{
public:
    GapMeter()
    {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] { longest = std::max(longest, since.restart()); });
    }
    void start()
    {
        longest = 0;
        since.start();
        timer.start();
    }
    qint64 stop()
    {
        QCoreApplication::processEvents();
        longest = std::max(longest, since.elapsed());
        timer.stop();
        return longest;
    }

private:
    QTimer timer;
    QElapsedTimer since;
    qint64 longest = 0;
};

// Bare forward and inverse real transforms of one size on one thread, the
// anchor of the benchmarks.
class BareTransforms
{
public:
    explicit BareTransforms(int size)
        : forward(kiss_fftr_alloc(size, 0, nullptr, nullptr)), inverse(kiss_fftr_alloc(size, 1, nullptr, nullptr)),
          in(size_t(size)), out(size_t(size)), bins(size_t(size / 2 + 1))
    {
        QRandomGenerator g(3);
        for (float& x : in)
            x = float(g.generateDouble());
    }
    ~BareTransforms()
    {
        kiss_fftr_free(forward);
        kiss_fftr_free(inverse);
    }
    BareTransforms(const BareTransforms&) = delete;
    BareTransforms& operator=(const BareTransforms&) = delete;
    // `count` frames through both.
    void run(int count)
    {
        for (int k = 0; k < count; ++k) {
            kiss_fftr(forward, in.data(), bins.data());
            kiss_fftri(inverse, bins.data(), out.data());
            benchmark::DoNotOptimize(out[7]);
        }
    }

private:
    kiss_fftr_cfg forward;
    kiss_fftr_cfg inverse;
    std::vector<float> in, out;
    std::vector<kiss_fft_cpx> bins;
};

// The median of some figures (the upper one of an even count).
template <typename T>
T median(std::vector<T> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? T() : v[v.size() / 2];
}

} // namespace benchwindow
