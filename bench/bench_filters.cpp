// Level/Gamma/Offset (+6 dB) over a whole stereo 48 kHz layer of noise at
// windows of 4096 and overlap 4, as the window runs it: the filter action
// reaches the controller, the filter's dialog is answered with "Apply", and
// the work runs under the program's wait. Reported: the longest the GUI
// thread went without handling an event (a timer of 5 ms counts its gaps),
// the median over the runs and the largest.
//
// On 60 and 180 minutes a whole run would take minutes per hour of audio, so
// each run is cancelled in the wait's window after 10 s: "gui_gap" covers
// the action until then, "cancel_gap" the Cancel until the action has
// returned with the layer given back. On 10 minutes the run goes to its end:
// "gui_gap" covers the action until the work is done, "end_gap" what follows
// on the window's thread (the write-back and the history entry).
//
// The filter comes from the build's installation root (KV_BENCH_ROOT, or
// build/run/root beside this program). It needs a display (xvfb-run): its
// waits run the event loop, where on Qt's offscreen platform the views' box
// that OpenGL is missing would wait for an answer.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLibrary>
#include <QPluginLoader>
#include <QProgressDialog>
#include <QPushButton>
#include <algorithm>
#include <memory>
#include <vector>

#include "app/hostservices.h"
#include "app/utilitywatch.h"
#include "benchwindow.h"
#include "controller/spectrumgui.h"
#include "core/layer.h"
#include "plugins/filters/filterframe/dialogseam.h"
#include "sdk/binruns.h"
#include "sdk/hostservices.h"
#include "sdk/interfaces.h"

namespace {

// The dialog at +6 dB, applied.
int applylevel(QDialog* dialog)
{
    dialog->setResult(QDialog::Rejected);
    for (QDoubleSpinBox* box : dialog->findChildren<QDoubleSpinBox*>())
        if (box->suffix() == "dB")
            box->setValue(6);
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->text() == "Apply")
            b->click();
    return dialog->result();
}

void BM_LevelGammaOffset(benchmark::State& state)
{
    const double minutes = double(state.range(0));
    std::unique_ptr<layer> noise; // goes after the controllers
    benchwindow::Controllers c(QStringLiteral("filters"));
    // In the session folder of these controllers.
    noise.reset(benchwindow::noiselayer(minutes * 60, QStringLiteral("noise")));
    installutilitywatch(c.window.get());
    c.panel->alllayers->addchild(noise.get());
    c.gui->fftsize = 4096;
    c.gui->fftoverlap = 4;
    c.gui->bindlayer(0, c.panel->mixlayer);
    c.gui->bindlayer(1, noise.get());
    c.gui->channelmask = 0b11; // both channels switched on, as the channel panel has them
    emit c.gui->outfftparam(c.gui->ffttype, 4096, 4, false);

    QPluginLoader loader(benchwindow::benchroot() + "/Plugins/Filters/gammatrim.so");
    auto* filter = qobject_cast<FilterInterface*>(loader.instance());
    if (auto* user = qobject_cast<HostUser*>(loader.instance()))
        user->sethost(programservices());
    if (auto* user = qobject_cast<BinRunUser*>(loader.instance()))
        user->setbinruns(programbinruns());
    if (!filter || !filter->initialize(loader.fileName(), c.window.get()))
        qFatal("no filter at %s", qPrintable(loader.fileName()));
    auto sethooks = reinterpret_cast<decltype(&filterframesethooks)>(
        QLibrary(loader.fileName()).resolve("filterframesethooks"));
    if (!sethooks)
        qFatal("no dialog seam in %s", qPrintable(loader.fileName()));
    sethooks(&applylevel, nullptr, nullptr);
    QAction action(c.window.get());
    action.setData(QVariant::fromValue(filter));
    QObject::connect(&action, &QAction::triggered, c.gui, &SpectrumGui::infilter);

    const int cancelafter = int(state.range(1)); // s; 0: the run goes to its end
    benchwindow::GapMeter gaps;
    std::vector<qint64> whilerunning, after;
    for (auto _ : state) {
        // The Cancel once the run has gone on for a while, or the end of the
        // work; the gaps until then.
        QElapsedTimer clock;
        qint64 until = -1;
        const auto split = [&] {
            until = gaps.stop();
            gaps.start();
        };
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            auto* wait = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
            if (!wait)
                return;
            watcher.stop();
            if (cancelafter == 0) {
                // The wait's window goes as the work ends.
                QObject::connect(wait, &QObject::destroyed, split);
                return;
            }
            QTimer::singleShot(std::max<qint64>(0, cancelafter * 1000 - clock.elapsed()), wait, [&, wait] {
                split();
                wait->cancel();
            });
        });
        watcher.start(20);
        clock.start();
        gaps.start();
        action.trigger();
        after.push_back(gaps.stop());
        if (until < 0)
            qFatal("the run ended before it was watched");
        whilerunning.push_back(until);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }
    const char* afterwards = cancelafter > 0 ? "cancel_gap" : "end_gap";
    state.counters["gui_gap_ms"] = double(benchwindow::median(whilerunning));
    state.counters["gui_gap_max_ms"] = double(*std::max_element(whilerunning.begin(), whilerunning.end()));
    state.counters[std::string(afterwards) + "_ms"] = double(benchwindow::median(after));
    state.counters[std::string(afterwards) + "_max_ms"] = double(*std::max_element(after.begin(), after.end()));
}

} // namespace

int main(int argc, char** argv)
{
    benchwindow::App app(argc, argv);
    benchmark::Initialize(&argc, argv);
    for (const int minutes : {10, 60, 180}) {
        const int cancelafter = minutes == 10 ? 0 : 10;
        const std::string name = (cancelafter > 0 ? QStringLiteral("Filter/level gamma offset %1 min, cancelled")
                                                  : QStringLiteral("Filter/level gamma offset %1 min"))
                                     .arg(minutes)
                                     .toStdString();
        benchmark::RegisterBenchmark(name.c_str(), BM_LevelGammaOffset)
            ->Args({minutes, cancelafter})
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(5);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
