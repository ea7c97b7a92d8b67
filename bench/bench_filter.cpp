// Level/Gamma/Offset (+6 dB) over a 10-minute stereo 48 kHz layer, and over
// a 30 s band of it (1-5 kHz), at the default window of 2048 and overlap 4,
// as the window runs a filter: the filter from the build's installation root
// (KV_BENCH_ROOT, or build/run/root beside this program), its dialog answered
// through the plugin's seam, the run through the controller with its history
// entry. Each reports its time as a multiple of two anchors measured in the
// same run for the same audio: the bare Kiss FFT calls (forward and inverse,
// one thread) for its frames, and one analysis and resynthesis pass of a
// Buffer over it.
//
// It needs a display (xvfb-run): on Qt's offscreen platform the views have
// no OpenGL and the box that says so waits for an answer that never comes.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLibrary>
#include <QPluginLoader>
#include <QPushButton>
#include <memory>
#include <vector>

#include "app/hostservices.h"
#include "app/mainwindow.h"
#include "benchwindow.h"
#include "controller/spectrumgui.h"
#include "core/buffer.h"
#include "core/layer.h"
#include "panels/historygui.h"
#include "panels/layersgui.h"
#include "plugins/filters/filterframe/dialogseam.h"
#include "sdk/binruns.h"
#include "sdk/hostservices.h"
#include "sdk/interfaces.h"

namespace {

constexpr int rate = 48000;
constexpr int channelcount = 2;
constexpr int size = 2048;
constexpr int overlap = 4;
constexpr double minutes = 10;

// The level the dialog is given, then "Apply".
int applylevel(QDialog* dialog)
{
    for (QDoubleSpinBox* box : dialog->findChildren<QDoubleSpinBox*>())
        if (box->suffix().contains("dB"))
            box->setValue(6);
    dialog->setResult(QDialog::Rejected);
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == "Apply")
            button->click();
    return dialog->result();
}

struct Project : benchwindow::NoiseProject
{
    QPluginLoader loader;
    FilterInterface* filter = nullptr;
    QAction* action = nullptr;

    Project() : NoiseProject(QStringLiteral("filter"), minutes * 60, size, overlap)
    {
        loader.setFileName(benchwindow::benchroot() + "/Plugins/Filters/gammatrim.so");
        filter = qobject_cast<FilterInterface*>(loader.instance());
        // What the program hands its plugins.
        if (auto* user = qobject_cast<HostUser*>(loader.instance()))
            user->sethost(programservices());
        if (auto* user = qobject_cast<BinRunUser*>(loader.instance()))
            user->setbinruns(programbinruns());
        QLibrary library(loader.fileName());
        auto sethooks = reinterpret_cast<decltype(&filterframesethooks)>(library.resolve("filterframesethooks"));
        if (!filter || !sethooks || !filter->initialize(loader.fileName(), c.window.get()))
            qFatal("no Level/Gamma/Offset at %s", qPrintable(loader.fileName()));
        sethooks(&applylevel, nullptr, nullptr);
        action = new QAction(c.window.get());
        action->setData(QVariant::fromValue(filter));
        QObject::connect(action, &QAction::triggered, gui, &SpectrumGui::infilter);
    }
};

// Seconds of the anchors, per area.
double barems[2] = {}, passms[2] = {};
const double seconds[2] = {minutes * 60, 30};

void BM_Filter(benchmark::State& state)
{
    const int which = int(state.range(0));
    Project p;
    if (which == 1) {
        // As the selection commands set it.
        selection = QRectF(120, 5000, seconds[1], -4000);
        emit p.gui->outselection(selection);
    }
    std::vector<double> times;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        p.action->trigger();
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        times.push_back(ms);
        state.SetIterationTime(ms / 1000);
    }
    selection = QRectF();
    emit p.gui->outselection(selection);
    const double ms = benchwindow::median(times);
    if (barems[which] > 0)
        state.counters["x_bare"] = ms / barems[which];
    if (passms[which] > 0)
        state.counters["x_pass"] = ms / passms[which];
}

// The anchor: every frame of the area (both channels) through a bare
// forward and inverse transform.
void BM_Bare(benchmark::State& state)
{
    const int which = int(state.range(0));
    const int frames = int(seconds[which] * rate / (size / overlap)) + 1;
    benchwindow::BareTransforms bare(size);
    std::vector<double> times;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        bare.run(frames * channelcount);
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    barems[which] = benchwindow::median(times);
}

// The other anchor: a Buffer analyses the area and synthesises it again
// (a full-band selection, so that the inverse transform runs), its window
// walking over it as a long edit's does.
void BM_Pass(benchmark::State& state)
{
    const int which = int(state.range(0));
    std::unique_ptr<layer> noise(benchwindow::noiselayer(seconds[which], QStringLiteral("noise")));
    Buffer b;
    b.infftparam(4, size, overlap, false);
    b.bindlayer(noise.get());
    b.inselection(QRectF(0, rate / 2.0, seconds[which], -rate / 2.0));
    std::vector<double> times;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        b.indatareset();
        for (double t = 0; t < seconds[which]; t += b.cachelength)
            b.movecache(t);
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
        benchmark::DoNotOptimize(b.timebufferB[0][100]);
    }
    passms[which] = benchwindow::median(times);
    b.bindlayer(nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    benchwindow::App app(argc, argv);
    benchmark::Initialize(&argc, argv);
    for (int which : {0, 1}) {
        const char* name = which == 0 ? "10 min" : "30 s band";
        benchmark::RegisterBenchmark((std::string("Bare/kissfft ") + name).c_str(), BM_Bare)
            ->Arg(which)->Unit(benchmark::kMillisecond)->Iterations(1);
        benchmark::RegisterBenchmark((std::string("Buffer/pass ") + name).c_str(), BM_Pass)
            ->Arg(which)->Unit(benchmark::kMillisecond)->Iterations(1);
        benchmark::RegisterBenchmark((std::string("Filter/level +6 dB ") + name).c_str(), BM_Filter)
            ->Arg(which)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
