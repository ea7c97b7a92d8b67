// How long two commands block the GUI thread on a 60-minute stereo 48 kHz
// file in the whole window, shown at 1920 x 1080: Zoom Extents from 10 s in
// the middle of the file, and making the file's layer current (a click on
// its row, another layer current before) and, while the display of that is
// computed, the other layer again. Each step counts from the command
// until every view has drawn the area it asked for; "blocked_ms" is the
// longest the GUI thread went meanwhile without handling an event (a timer of
// 5 ms counts its gaps), the median over the steps (and the largest), the
// figure that must stay under 150 ms. The time of the step itself is what
// the display workers take.
//
// The file is made with sox and imported through the file plugin of the
// build's installation root (KV_BENCH_ROOT, or build/run/root beside this
// program), as the user would. It needs a display (xvfb-run -s "-screen 0
// 1920x1080x24").
#include <benchmark/benchmark.h>

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <algorithm>
#include <memory>
#include <vector>

#include "app/mainwindow.h"
#include "benchwindow.h"
#include "controller/spectrumgui.h"
#include "core/globals.h"
#include "core/layer.h"
#include "panels/layersgui.h"
#include "panels/qtreewidgetext.h"
#include "view/glchannel.h"
#include "view/texbuffer.h"

namespace {

constexpr int minutes = 60;

// How long the GUI thread went at most without handling an event until
// `done` holds.
template <typename Done>
qint64 blockedwhile(Done done)
{
    benchwindow::GapMeter gaps;
    gaps.start();
    QElapsedTimer limit;
    limit.start();
    while (!done() && limit.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return gaps.stop();
}

struct Window
{
    QTemporaryDir folder{QDir::tempPath() + "/kvbench-views-XXXXXX"};
    std::unique_ptr<MainWindow> window;

    Window()
    {
        rootpath = QDir(benchwindow::benchroot()).absolutePath();
        utilpath = rootpath + "/Resources/Util";
        sessionpath = folder.path();
        const QString wav = folder.filePath("long.wav");
        QProcess sox;
        sox.start(utilpath + "/sox/sox", {"-n", "-r", "48000", "-c", "2", "-b", "16", wav, "synth",
                                          QString::number(minutes * 60), "sine", "100-20000", "sine", "3000", "vol",
                                          "0.5"});
        if (!sox.waitForFinished(600000) || sox.exitCode() != 0)
            qFatal("sox made no file");
        window = std::make_unique<MainWindow>(nullptr);
        window->resize(1920, 1080);
        window->show();
        layersgui->Import(wav, QString());
        QFile::remove(wav);
        layersgui->NewLayer(); // current; the long file stays in the mix
        if (layersgui->tree->topLevelItemCount() != 2)
            qFatal("the file was not imported");
        settle();
    }
    ~Window() { window.reset(); }

    // Every display worker has answered its last request and every view has
    // drawn the answer.
    static bool drawn()
    {
        for (int c = 0; c < 2; ++c) {
            GLChannel* v = spectrumgui->view(c);
            if (!v)
                return false;
            for (TexBuffer* w : v->texbuffers) {
                QMutexLocker request(&w->requestmutex);
                const bool taken = w->requesttaken;
                request.unlock();
                QMutexLocker result(&w->resultmutex);
                // An empty result waits for the next paint, which nothing asks for.
                if (!taken || w->isRunning() || (w->resultlayer && w->resultdata))
                    return false;
            }
        }
        return true;
    }
    static void settle() { blockedwhile(drawn); }
    QTreeWidgetItem* row(int i) const { return layersgui->tree->topLevelItem(i); }
};

std::unique_ptr<Window> window;

// Per step, the longest the GUI thread was blocked: their median and the largest.
void report(benchmark::State& state, const std::vector<qint64>& blocked)
{
    state.counters["blocked_ms"] = double(benchwindow::median(blocked));
    state.counters["blocked_max_ms"] = double(*std::max_element(blocked.begin(), blocked.end()));
}

void BM_ZoomExtents(benchmark::State& state)
{
    std::vector<qint64> blocked;
    for (auto _ : state) {
        state.PauseTiming();
        layersgui->ItemClicked(window->row(1), 3);
        spectrumgui->indisplayarea(QRectF(minutes * 30, 24000, 10, -24000));
        Window::settle();
        state.ResumeTiming();
        window->window->zoomextentsact->trigger();
        blocked.push_back(blockedwhile(Window::drawn));
    }
    report(state, blocked);
}

void BM_MakeCurrent(benchmark::State& state)
{
    const bool back = state.range(0) != 0;
    std::vector<qint64> blocked;
    for (auto _ : state) {
        state.PauseTiming();
        layersgui->ItemClicked(window->row(0), 3);
        Window::settle();
        state.ResumeTiming();
        benchwindow::GapMeter gaps;
        gaps.start();
        layersgui->ItemClicked(window->row(1), 3);
        if (back) {
            // While the display of the long layer is computed, the other
            // layer current again.
            QElapsedTimer computing;
            computing.start();
            while (computing.elapsed() < 50)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            layersgui->ItemClicked(window->row(0), 3);
        }
        blocked.push_back(std::max(gaps.stop(), blockedwhile(Window::drawn)));
    }
    report(state, blocked);
}

} // namespace

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    benchwindow::App app(argc, argv);
    benchmark::Initialize(&argc, argv);
    window = std::make_unique<Window>();
    benchmark::RegisterBenchmark("View/zoom extents 60 min", BM_ZoomExtents)->Unit(benchmark::kMillisecond)->Iterations(9);
    benchmark::RegisterBenchmark("View/make current 60 min", BM_MakeCurrent)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(9);
    benchmark::RegisterBenchmark("View/make current and back 60 min", BM_MakeCurrent)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(9);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    window.reset();
    return 0;
}
