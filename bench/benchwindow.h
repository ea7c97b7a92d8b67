#pragma once
// What the benchmarks of the window's steps share: the application with a
// session log, a stereo 48 kHz layer of noise, and the meter of how long the
// GUI thread goes without handling an event.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <memory>
#include <benchmark/benchmark.h>
#include <kissfft/kiss_fftr.h>
#include <vector>

#include "app/mainwindow.h"
#include "app/memorypolicy.h"
#include "controller/spectrumgui.h"
#include "core/globals.h"
#include "core/layer.h"
#include "core/log.h"
#include "panels/historygui.h"
#include "panels/layersgui.h"

namespace benchwindow {

// The application (on Qt's offscreen platform when there is no display, for
// the benchmarks that show nothing) and a session log in a folder of its own.
struct App
{
    QApplication app;
    QTemporaryDir logs{QDir::tempPath() + "/kvbench-logs-XXXXXX"};
    App(int& argc, char** argv) : app((offscreen(), setmemorypolicy(), argc), argv)
    {
        // Without a sound card the window's device restore fails with a
        // message, and the views were then seen never to draw; sound goes
        // nowhere instead.
        if (qEnvironmentVariableIsEmpty("ALSOFT_CONF")) {
            QFile conf(logs.filePath("alsoft.conf"));
            if (conf.open(QIODevice::WriteOnly) && conf.write("[general]\ndrivers=null\n") > 0)
                qputenv("ALSOFT_CONF", QFile::encodeName(conf.fileName()));
        }
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

// A stereo 48 kHz layer of `seconds` of a sine of `hz` at a quarter of full
// scale, written 10 s at a time (each block starts on a whole period).
inline layer* tonelayer(double seconds, double hz, const QString& name)
{
    auto* l = new layer();
    l->samplerate = 48000;
    l->channels = 2;
    l->speakermask = 0x3;
    l->name = name;
    std::vector<float> block(size_t(48000) * 10 * 2);
    for (size_t i = 0; i < block.size() / 2; ++i)
        block[2 * i] = block[2 * i + 1] = float(0.25 * std::sin(2 * M_PI * hz * double(i) / 48000));
    for (double t = 0; t < seconds; t += 10)
        l->write(block.data(), t, std::min(10.0, seconds - t));
    l->resetdirty();
    return l;
}

// The controller, history and layer panel wired as the main window wires
// them, with a session folder of their own; the layer panel's containers are
// empty layers of the stereo 48 kHz project. Declared after the layers they
// are given, so that they go first.
struct Controllers
{
    QTemporaryDir folder;
    std::unique_ptr<MainWindow> window;
    SpectrumGui* gui = nullptr;
    HistoryGui* history = nullptr;
    LayersGui* panel = nullptr;

    explicit Controllers(const QString& name) : folder(QDir::tempPath() + "/kvbench-" + name + "-XXXXXX")
    {
        sessionpath = folder.path();
        window = std::make_unique<MainWindow>();
        gui = new SpectrumGui(window.get());
        history = new HistoryGui(window.get());
        panel = new LayersGui(window.get());
        QObject::connect(gui, &SpectrumGui::outbackuplayer, history, &HistoryGui::inbackuplayer);
        QObject::connect(history, &HistoryGui::outrestorelayer, gui, &SpectrumGui::inrestorelayer);
        for (layer** l : {&panel->alllayers, &panel->mixlayer}) {
            *l = new layer();
            (*l)->resample(48000, 2, 0x3);
        }
        projectformat = {48000, 2, 0x3};
    }
    ~Controllers()
    {
        history->inresethistory();
        delete history;
        delete gui;
        delete panel; // with its containers
        window.reset();
    }
    Controllers(const Controllers&) = delete;
    Controllers& operator=(const Controllers&) = delete;
};

// A project of one stereo 48 kHz layer of noise, current and in the mix, at a
// window size and overlap. The layer is declared first, so that it goes last,
// and made once the controllers have set the session folder it goes into.
struct NoiseProject
{
    std::unique_ptr<layer> noise;
    Controllers c;
    SpectrumGui* gui;

    NoiseProject(const QString& name, double seconds, int size, int overlap) : c(name), gui(c.gui)
    {
        noise.reset(noiselayer(seconds, QStringLiteral("noise")));
        c.panel->alllayers->addchild(noise.get());
        gui->fftsize = size;
        gui->fftoverlap = overlap;
        gui->bindlayer(0, c.panel->mixlayer);
        gui->bindlayer(1, noise.get());
        emit gui->outfftparam(gui->ffttype, size, overlap, false);
    }
};

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

// The installation root whose plugins the benchmarks load: KV_BENCH_ROOT, or
// the build's own beside the benchmark program.
// A number field of a file under /proc/self ("wchar:" of io, "VmHWM:" of
// status, ...): its first word, 0 when absent.
inline double procfield(const char* file, const QByteArray& field)
{
    QFile f(QStringLiteral("/proc/self/") + file);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toDouble();
    return 0;
}

inline QString benchroot()
{
    const QString root = qEnvironmentVariable("KV_BENCH_ROOT");
    return root.isEmpty() ? QCoreApplication::applicationDirPath() + "/../root" : root;
}

// The median of some figures (the upper one of an even count).
template <typename T>
T median(std::vector<T> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? T() : v[v.size() / 2];
}

} // namespace benchwindow
