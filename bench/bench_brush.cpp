// One drag event of the eraser with a brush of 10 s x 10 kHz at windows of
// 65536 and overlap 16, on a 10-minute stereo 48 kHz layer, as the window
// drives it: the event reaches the controller as a view sends it, and the
// step counts until the tool's edit is written back and the views have been
// asked to show it. Reported beside its time: the longest the GUI thread went
// without handling an event meanwhile (a timer of 5 ms counts its gaps; the
// median over the events, and the largest), and the median time as a
// multiple of its anchor, the bare Kiss FFT calls (forward and inverse, one
// thread) for the frames the brush touches.
//
// Beside it, a press and release of the frequency extraction with the
// longest time limit at the largest window, and the same gaps.
//
// The tools come from the build's installation root (KV_BENCH_ROOT, or
// build/run/root beside this program). It needs a display (xvfb-run): its
// waits run the event loop, where on Qt's offscreen platform the views' box
// that OpenGL is missing would wait for an answer.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QDir>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QPluginLoader>
#include <QToolBar>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "app/mainwindow.h"
#include "benchwindow.h"
#include "controller/spectrumgui.h"
#include "core/layer.h"
#include "panels/historygui.h"
#include "panels/layersgui.h"
#include "sdk/interfaces.h"

namespace {

constexpr int rate = 48000;
constexpr int channelcount = 2;
constexpr int size = 65536;
constexpr int overlap = 16;
constexpr double brushtime = 10;
constexpr double brushfreq = 10000;
constexpr double at = 300; // the middle of the 10 minutes
constexpr double pitch = 8000;

// The controller over a layer of the given content, with a tool of the
// installation root in hand: `mix` true puts the layer into the mix and an
// empty layer current (the extraction tools take from the mix), false makes
// it the current layer.
struct Project
{
    std::unique_ptr<layer> content;
    std::unique_ptr<layer> target;
    benchwindow::Controllers c{QStringLiteral("brush")};
    SpectrumGui* gui = c.gui;
    QPluginLoader loader;
    ToolInterface* tool = nullptr;
    QAction* action = nullptr;

    // `make` makes the layer in the session folder of these controllers.
    Project(const std::function<layer*()>& make, bool mix, const QString& plugin,
            const std::function<void(QDoubleSpinBox*)>& setting)
    {
        content.reset(make());
        c.panel->alllayers->addchild(content.get());
        if (mix) {
            c.panel->mixlayer->addchild(content.get());
            target = std::make_unique<layer>();
            target->resample(48000, 2, 0x3);
            c.panel->alllayers->addchild(target.get());
        }
        gui->fftsize = size;
        gui->fftoverlap = overlap;
        gui->bindlayer(0, c.panel->mixlayer);
        gui->bindlayer(1, mix ? target.get() : content.get());
        emit gui->outfftparam(gui->ffttype, size, overlap, false);

        loader.setFileName(benchwindow::benchroot() + "/Plugins/Tools/" + plugin);
        tool = qobject_cast<ToolInterface*>(loader.instance());
        if (!tool || !tool->initialize(loader.fileName(), c.window.get()))
            qFatal("no tool at %s", qPrintable(loader.fileName()));
        for (QDoubleSpinBox* box : tool->toolbar->findChildren<QDoubleSpinBox*>())
            setting(box);
        action = new QAction(c.window.get());
        action->setCheckable(true);
        action->setData(QVariant::fromValue(tool));
        QObject::connect(action, &QAction::toggled, gui, &SpectrumGui::intool);
        action->setChecked(true);
    }
    ~Project() { action->setChecked(false); }
};

void reportgaps(benchmark::State& state, const std::vector<qint64>& longest)
{
    state.counters["gui_gap_ms"] = double(benchwindow::median(longest));
    state.counters["gui_gap_max_ms"] = double(*std::max_element(longest.begin(), longest.end()));
}

double barems = 0;

void BM_EraserDrag(benchmark::State& state)
{
    Project p([] { return benchwindow::noiselayer(600, QStringLiteral("noise")); }, false, QStringLiteral("rubout.so"),
              [](QDoubleSpinBox* box) {
                  if (box->prefix().startsWith("time range"))
                      box->setValue(brushtime);
                  else if (box->prefix().startsWith("freq range"))
                      box->setValue(brushfreq);
              });
    benchwindow::GapMeter gaps;
    p.gui->inmouseevent(QPointF(at, pitch), 0.0f, 0, 0, false);
    p.gui->inmouseevent(QPointF(at, pitch), 1.0f, 0, 0, false);
    QCoreApplication::processEvents();
    std::vector<qint64> longest;
    std::vector<double> times;
    double x = at;
    for (auto _ : state) {
        x += 0.1;
        gaps.start();
        QElapsedTimer clock;
        clock.start();
        p.gui->inmouseevent(QPointF(x, pitch), 1.0f, 0, 0, false);
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        longest.push_back(gaps.stop());
        times.push_back(ms);
        state.SetIterationTime(ms / 1000);
    }
    p.gui->inmouseevent(QPointF(x, pitch), 0.0f, 0, 0, false);
    reportgaps(state, longest);
    if (barems > 0)
        state.counters["x_bare"] = benchwindow::median(times) / barems;
}

// A press of the frequency extraction on a tone of the mix, time limit 10 s
// and spread 5 at the largest window, and its release: the tone is followed
// 10 s to either side and extracted into an empty layer, which becomes a
// history entry at the release, on a layer of 10, 60 or 180 minutes (the
// argument). Timed from the press to the end of the release; the gaps cover
// both.
void BM_TonepickPress(benchmark::State& state)
{
    const double seconds = double(state.range(0)) * 60;
    Project p([seconds] { return benchwindow::tonelayer(seconds, pitch, QStringLiteral("tone")); }, true,
              QStringLiteral("tonepick.so"),
              [](QDoubleSpinBox* box) {
                  if (box->prefix().startsWith("time limit"))
                      box->setValue(10);
                  else if (box->prefix().startsWith("spread"))
                      box->setValue(5);
              });
    benchwindow::GapMeter gaps;
    std::vector<qint64> longest;
    std::vector<double> times;
    double x = at;
    for (auto _ : state) {
        x += 30; // a place of its own each time
        p.gui->inmouseevent(QPointF(x, pitch), 0.0f, 0, 0, false);
        QCoreApplication::processEvents();
        gaps.start();
        QElapsedTimer clock;
        clock.start();
        p.gui->inmouseevent(QPointF(x, pitch), 1.0f, 0, 0, false);
        p.gui->inmouseevent(QPointF(x, pitch), 0.0f, 0, 0, false);
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        longest.push_back(gaps.stop());
        times.push_back(ms);
        state.SetIterationTime(ms / 1000);
    }
    reportgaps(state, longest);
}

// The anchor: the frames of the brush (its time extent at the hop, both
// channels) through a bare forward and inverse transform of 65536 points.
void BM_BareTransforms(benchmark::State& state)
{
    const int frames = int(brushtime * rate / (size / overlap)) + 1;
    benchwindow::BareTransforms bare(size);
    std::vector<double> times;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        bare.run(frames * channelcount);
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    barems = benchwindow::median(times);
}

} // namespace

int main(int argc, char** argv)
{
    benchwindow::App app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RegisterBenchmark("Bare/kissfft brush frames", BM_BareTransforms)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Brush/eraser drag event", BM_EraserDrag)
        ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(9);
    benchmark::RegisterBenchmark("Brush/frequency extraction press 10 s", BM_TonepickPress)
        ->ArgName("minutes")->Arg(10)->Arg(60)->Arg(180)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(9);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
