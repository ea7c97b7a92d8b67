// How long two commands block the GUI thread on a 10-, 60- and 180-minute
// stereo 48 kHz file in the whole window, shown at 1920 x 1080: Zoom Extents
// from 10 s in the middle of the file, and making the file's layer current
// (a click on its row, another layer current before) and, while the display
// of that is computed, the other layer again. Each step counts from the
// command until every view has drawn the area it asked for; "blocked_ms" is
// the longest the GUI thread went meanwhile without handling an event (a
// timer of 5 ms counts its gaps), the median over the steps (and the
// largest), the figure that must stay under 150 ms. The time of the step
// itself is what the display workers take. "View/repaint" draws both views
// again as they are.
//
// "Memory/60 min" runs the program again as a child per iteration, so that
// its peak is its own: the 60-minute file imported, its layer made current,
// a first zoom to 10 s, then 20 edits of four kinds over the file;
// it reports the peak resident size (VmHWM) after each stage in MB.
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
#include <sys/resource.h>
#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "app/mainwindow.h"
#include "benchwindow.h"
#include "controller/spectrumgui.h"
#include "core/buffer.h"
#include "core/callbacks.h"
#include "core/globals.h"
#include "core/layer.h"
#include "panels/historygui.h"
#include "panels/layersgui.h"
#include "panels/qtreewidgetext.h"
#include "view/glchannel.h"
#include "view/texbuffer.h"

namespace {

constexpr int memoryminutes = 60;

// How long the GUI thread went at most without handling an event until
// `done` holds.
template <typename Done>
qint64 blockedwhile(Done done)
{
    benchwindow::GapMeter gaps;
    gaps.start();
    QElapsedTimer limit;
    limit.start();
    while (!done() && limit.elapsed() < 300000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return gaps.stop();
}

// A stereo 48 kHz WAV file of the given length: a sweep under a tone.
QString longwav(const QString& folder, int minutes)
{
    const QString wav = folder + QString("/long%1.wav").arg(minutes);
    if (QFile::exists(wav))
        return wav;
    QProcess sox;
    sox.start(utilpath + "/sox/sox", {"-n", "-r", "48000", "-c", "2", "-b", "16", wav, "synth",
                                      QString::number(minutes * 60), "sine", "100-20000", "sine", "3000", "vol",
                                      "0.5"});
    if (!sox.waitForFinished(1800000) || sox.exitCode() != 0)
        qFatal("sox made no file");
    return wav;
}

void useroot()
{
    rootpath = QDir(benchwindow::benchroot()).absolutePath();
    utilpath = rootpath + "/Resources/Util";
}

// Every display worker has answered its last request and every view has
// drawn the answer.
bool drawn()
{
    for (int c = 0; c < 2; ++c) {
        GLChannel* v = spectrumgui->view(c);
        if (!v)
            return false;
        for (int i = 0; i < 3; ++i) {
            // A slot with nothing to show may keep its request pending.
            if (!v->boundlayers[i] || v->boundlayers[i]->spanlength() <= 0)
                continue;
            TexBuffer* w = v->texbuffers[i];
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
void settle() { blockedwhile(drawn); }

// The window with a file of `minutes` imported into a layer that stays in
// the mix, and an empty layer current.
struct Window
{
    int minutes;
    QTemporaryDir folder{QDir::tempPath() + "/kvbench-views-XXXXXX"};
    std::unique_ptr<MainWindow> window;

    explicit Window(int minutes, const QString& wav = QString()) : minutes(minutes)
    {
        useroot();
        sessionpath = folder.path();
        window = std::make_unique<MainWindow>(nullptr);
        window->resize(1920, 1080);
        window->show();
        const QString file = wav.isEmpty() ? longwav(folder.path(), minutes) : wav;
        layersgui->Import(file, QString());
        if (wav.isEmpty())
            QFile::remove(file);
        if (layersgui->tree->topLevelItemCount() != 1)
            qFatal("the file was not imported");
        settle();
    }
    ~Window() { window.reset(); }
    // A new empty layer, current: the long file stays in the mix.
    void addempty()
    {
        layersgui->NewLayer();
        if (layersgui->tree->topLevelItemCount() != 2)
            qFatal("no new layer");
        settle();
    }
    static QTreeWidgetItem* row(int i) { return layersgui->tree->topLevelItem(i); }
};

std::unique_ptr<Window> window;

Window& windowof(int minutes)
{
    if (!window || window->minutes != minutes) {
        window.reset(); // the former layers leave the disk first
        window = std::make_unique<Window>(minutes);
        window->addempty();
    }
    return *window;
}

// Per step, the longest the GUI thread was blocked: their median and the largest.
void report(benchmark::State& state, const std::vector<qint64>& blocked)
{
    state.counters["blocked_ms"] = double(benchwindow::median(blocked));
    state.counters["blocked_max_ms"] = double(*std::max_element(blocked.begin(), blocked.end()));
}

void BM_ZoomExtents(benchmark::State& state)
{
    const int minutes = int(state.range(0));
    Window& w = windowof(minutes);
    std::vector<qint64> blocked;
    for (auto _ : state) {
        state.PauseTiming();
        layersgui->ItemClicked(w.row(1), 3);
        spectrumgui->indisplayarea(QRectF(minutes * 30, 24000, 10, -24000));
        settle();
        state.ResumeTiming();
        w.window->zoomextentsact->trigger();
        blocked.push_back(blockedwhile(drawn));
    }
    report(state, blocked);
}

// Whole file shown, the empty layer current: the long one made current (and,
// with range(1), the empty one again while that is drawn).
void BM_MakeCurrent(benchmark::State& state)
{
    Window& w = windowof(int(state.range(0)));
    const bool back = state.range(1) != 0;
    w.window->zoomextentsact->trigger();
    settle();
    std::vector<qint64> blocked;
    for (auto _ : state) {
        state.PauseTiming();
        layersgui->ItemClicked(w.row(0), 3);
        settle();
        state.ResumeTiming();
        benchwindow::GapMeter gaps;
        gaps.start();
        layersgui->ItemClicked(w.row(1), 3);
        if (back) {
            // While the display of the long layer is computed, the other
            // layer current again.
            QElapsedTimer computing;
            computing.start();
            while (computing.elapsed() < 50)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            layersgui->ItemClicked(w.row(0), 3);
        }
        blocked.push_back(std::max(gaps.stop(), blockedwhile(drawn)));
    }
    report(state, blocked);
}

// The whole file shown: both views drawn again as they are, nothing new to
// compute or upload. Besides the GUI thread's block, "cpu_ms" is the CPU time
// of the whole process (the software renderer's threads included) per repaint,
// a figure that a busy machine disturbs far less than a time.
void BM_Repaint(benchmark::State& state)
{
    Window& w = windowof(int(state.range(0)));
    layersgui->ItemClicked(w.row(1), 3);
    w.window->zoomextentsact->trigger();
    settle();
    auto cpums = [] {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-3;
    };
    std::vector<qint64> blocked;
    std::vector<double> cpu;
    int swapped = 0;
    std::vector<QMetaObject::Connection> swaps;
    for (int c = 0; c < 2; ++c)
        swaps.push_back(QObject::connect(spectrumgui->view(c), &QOpenGLWidget::frameSwapped, [&] { ++swapped; }));
    for (auto _ : state) {
        swapped = 0;
        const double before = cpums();
        for (int c = 0; c < 2; ++c)
            spectrumgui->view(c)->update();
        blocked.push_back(blockedwhile([&] { return swapped >= 2; }));
        cpu.push_back(cpums() - before);
    }
    for (const auto& s : swaps)
        QObject::disconnect(s);
    report(state, blocked);
    state.counters["cpu_ms"] = benchwindow::median(cpu);
}

// The peak resident size of this process so far, in MB.
double peakmb()
{
    return benchwindow::procfield("status", "VmHWM:") / 1024.0;
}

// The child's stages, each line "stage MB" on standard output.
int memorychild(const QString& wav)
{
    Window w(memoryminutes, wav);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("opened %.1f\n", peakmb());
    std::fprintf(stderr, "memory: window %dx%d\n", w.window->width(), w.window->height());
    layersgui->ItemClicked(Window::row(0), 3);
    settle();
    std::printf("current %.1f\n", peakmb());
    const double middle = memoryminutes * 30.0;
    spectrumgui->indisplayarea(QRectF(middle, 24000, 10, -24000));
    settle();
    std::printf("zoomed %.1f\n", peakmb());
    // Four kinds of edit in turn, spread over the file: a Delete of the whole
    // band for 2 s, a Cut and a Paste of 10 s x 1-5 kHz, and 60 s of that
    // band doubled through the bin callbacks as a tool does.
    const int entries = historygui->tree->topLevelItemCount();
    const double step = memoryminutes * 60.0 / 21;
    auto select = [](const QRectF& r) {
        selection = r;
        emit spectrumgui->outselection(selection);
    };
    for (int k = 0; k < 20; ++k) {
        const double t = 60 + step * k;
        switch (k % 4) {
        case 0:
            select(QRectF(t, 24000, 2, -24000 + 20));
            spectrumgui->indel();
            break;
        case 1:
            select(QRectF(t, 5000, 10, -4000));
            spectrumgui->incut();
            break;
        case 2:
            select(QRectF(t - step, 5000, 10, -4000));
            spectrumgui->inpaste();
            break;
        default: {
            const QRectF band(t, 5000, 60, -4000);
            select(band);
            Buffer* b = slottable.buffer[1];
            const int hop = b->hop();
            const int f0 = int(band.x() * 48000 / hop + 0.5), f1 = int(band.right() * 48000 / hop + 0.5);
            const int b0 = b->freqtobin(1000), b1 = b->freqtobin(5000);
            for (int f = f0; f < f1; ++f)
                for (int ch = 0; ch < 2; ++ch)
                    for (int bin = b0; bin <= b1; ++bin) {
                        const QVector2D v = getbincb(1, ch, f, bin);
                        setbincb(1, ch, f, bin, 2 * v.x(), 2 * v.y());
                    }
            b->flush();
            spectrumgui->pushbackup("Level");
        }
        }
        settle();
    }
    if (historygui->tree->topLevelItemCount() < entries + 20)
        qFatal("the edits left %d history entries", historygui->tree->topLevelItemCount() - entries);
    std::printf("edits %.1f\n", peakmb());
    std::fflush(stdout);
    return 0;
}

void BM_Memory(benchmark::State& state)
{
    static QTemporaryDir folder(QDir::tempPath() + "/kvbench-memory-XXXXXX");
    useroot();
    const QString wav = longwav(folder.path(), memoryminutes);
    std::map<QString, std::vector<double>> stages;
    for (auto _ : state) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {"--memory-child", wav});
        if (!child.waitForFinished(1800000) || child.exitCode() != 0) {
            state.SkipWithError("the child did not finish");
            return;
        }
        for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() == 2)
                stages[QString::fromLatin1(parts[0])].push_back(parts[1].toDouble());
        }
    }
    for (const auto& [stage, mb] : stages)
        state.counters[(stage + "_MB").toStdString()] = benchwindow::median(mb);
}

} // namespace

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    benchwindow::App app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--memory-child")
        return memorychild(QString::fromLocal8Bit(argv[2]));
    benchmark::Initialize(&argc, argv);
    const auto ms = benchmark::kMillisecond;
    for (int minutes : {10, 60, 180}) {
        const std::string m = " " + std::to_string(minutes) + " min";
        benchmark::RegisterBenchmark(("View/zoom extents" + m).c_str(), BM_ZoomExtents)->Arg(minutes)->Unit(ms)->Iterations(9);
        benchmark::RegisterBenchmark(("View/make current" + m).c_str(), BM_MakeCurrent)->Args({minutes, 0})->Unit(ms)->Iterations(9);
        benchmark::RegisterBenchmark(("View/make current and back" + m).c_str(), BM_MakeCurrent)->Args({minutes, 1})->Unit(ms)->Iterations(9);
    }
    benchmark::RegisterBenchmark("View/repaint 10 min", BM_Repaint)->Arg(10)->Unit(ms)->Iterations(15);
    benchmark::RegisterBenchmark("Memory/60 min, current, zoomed, 20 edits", BM_Memory)->Unit(ms)->Iterations(1)->UseRealTime();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    window.reset();
    return 0;
}
