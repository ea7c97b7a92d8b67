// The three steps of an edit as the window drives them, on a 10-minute and a
// 60-minute stereo 48 kHz layer: making the layer current, a Delete over 2 s
// of its audio (a full-band selection in the middle of the 10 minutes) with
// its history entry, and the Undo of that entry. Each reports, besides its
// time, the bytes the process wrote per step (/proc/self/io "wchar") as MB and
// as a multiple of the 2 s it edits, and the session folder's size over the
// layer files plus the history chunks. The anchor is the transform work of the
// edit alone: 2 s of stereo through bare forward and inverse Kiss FFTs.
//
// It needs a display (xvfb-run) or runs on Qt's offscreen platform. The
// layers live in a folder under TMPDIR that goes when the run ends.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTreeWidgetItem>
#include <chrono>
#include <kissfft/kiss_fftr.h>
#include <memory>
#include <vector>

#include "app/mainwindow.h"
#include "benchwindow.h"
#include "controller/spectrumgui.h"
#include "core/globals.h"
#include "core/layer.h"
#include "core/log.h"
#include "panels/historygui.h"
#include "panels/layersgui.h"
#include "panels/qtreewidgetext.h"

namespace {

constexpr int rate = 48000;
constexpr int channelcount = 2;
constexpr double editstart = 300;   // the middle of the 10-minute layer
constexpr double editlength = 2;
constexpr double editbytes = editlength * rate * channelcount * 4;

qint64 writtenbytes()
{
    return qint64(benchwindow::procfield("io", "wchar:"));
}

qint64 foldersize(const QString& path)
{
    qint64 total = 0;
    QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        total += it.fileInfo().size();
    }
    return total;
}

// The wired controllers with a short layer and the long one of the given
// length in the mix, the long one current.
struct Project
{
    int minutes = 0;
    std::unique_ptr<layer> shortone;
    std::unique_ptr<layer> longone;
    benchwindow::Controllers c{QStringLiteral("history")};
    SpectrumGui* gui = c.gui;
    HistoryGui* history = c.history;

    explicit Project(int length) : minutes(length)
    {
        shortone.reset(benchwindow::noiselayer(10, QStringLiteral("short")));
        longone.reset(benchwindow::noiselayer(60.0 * minutes, QStringLiteral("long")));
        for (layer* l : {shortone.get(), longone.get()}) {
            c.panel->alllayers->addchild(l);
            c.panel->mixlayer->addchild(l);
        }
        gui->bindlayer(0, c.panel->mixlayer);
        gui->bindlayer(1, longone.get());
    }

    // The session folder over the layers' own files and the history's chunks.
    double folderratio() const
    {
        qint64 kept = shortone->file->size() + longone->file->size();
        if (slottable.bound[2])
            kept += slottable.bound[2]->file->size();
        for (int i = 0; i < history->tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem* row = history->tree->topLevelItem(i);
            for (int role : {HistoryGui::beforerole, HistoryGui::afterrole})
                if (auto* chunk = row->data(1, role).value<layer*>())
                    kept += chunk->file->size();
        }
        return kept > 0 ? double(foldersize(sessionpath)) / double(kept) : 0.0;
    }

    void deleteedit()
    {
        selection = QRectF(editstart, rate / 2.0, editlength, -rate / 2.0 + 20);
        emit gui->outselection(selection);
        gui->indel();
    }
};

std::unique_ptr<Project> project;

Project& projectof(int minutes)
{
    if (!project || project->minutes != minutes) {
        project.reset(); // the former layers leave the disk first
        project = std::make_unique<Project>(minutes);
    }
    return *project;
}

// Runs `untimed`, then times `step`, per iteration; reports the bytes
// written by the timed steps and the folder ratio after the last one.
template <typename Untimed, typename Step>
void measure(benchmark::State& state, Project& p, Untimed untimed, Step step)
{
    qint64 written = 0;
    double ratio = 0;
    for (auto _ : state) {
        untimed();
        const qint64 before = writtenbytes();
        const auto t0 = std::chrono::steady_clock::now();
        step();
        const auto t1 = std::chrono::steady_clock::now();
        written += writtenbytes() - before;
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        ratio = p.folderratio();
    }
    const double perstep = double(written) / double(state.iterations());
    state.counters["written_MB"] = perstep / 1e6;
    state.counters["x_edit"] = perstep / editbytes;
    state.counters["folder_x"] = ratio;
}

void BM_MakeCurrent(benchmark::State& state)
{
    Project& p = projectof(int(state.range(0)));
    measure(state, p, [&] { p.gui->bindlayer(1, p.shortone.get()); },
            [&] { p.gui->bindlayer(1, p.longone.get()); });
}

void BM_Delete(benchmark::State& state)
{
    Project& p = projectof(int(state.range(0)));
    p.gui->bindlayer(1, p.longone.get());
    // Each Delete is undone untimed, so that every one edits the same audio.
    bool first = true;
    measure(state, p, [&] {
        if (!first)
            p.history->Undo();
        first = false;
    }, [&] { p.deleteedit(); });
    p.history->Undo();
}

void BM_Undo(benchmark::State& state)
{
    Project& p = projectof(int(state.range(0)));
    p.gui->bindlayer(1, p.longone.get());
    measure(state, p, [&] { p.deleteedit(); }, [&] { p.history->Undo(); });
}

// The anchor: the frames of 2 s of stereo at N = 4096, overlap 4, through a
// bare forward and inverse transform on one thread.
void BM_BareTransforms(benchmark::State& state)
{
    constexpr int size = 4096;
    constexpr int hop = size / 4;
    benchwindow::BareTransforms bare(size);
    for (auto _ : state)
        bare.run(int(editlength * rate / hop) * channelcount);
}

} // namespace

int main(int argc, char** argv)
{
    benchwindow::App app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RegisterBenchmark("Bare/kissfft 2 s stereo", BM_BareTransforms)->Unit(benchmark::kMillisecond);
    for (int minutes : {10, 60}) {
        benchmark::RegisterBenchmark("History/make current", BM_MakeCurrent)
            ->Arg(minutes)->UseManualTime()->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("History/delete 2 s", BM_Delete)
            ->Arg(minutes)->UseManualTime()->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("History/undo", BM_Undo)
            ->Arg(minutes)->UseManualTime()->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    project.reset();
    return 0;
}
