// How long the file plugin takes to import a 60-minute stereo 48 kHz FLAC
// file (made with sox) into an empty layer file, against ffmpeg alone
// converting the same file to raw float on the same file system (ffmpeg -i
// FILE -y -vn -f f32le OUT), in interleaved rounds: "import_ms" and
// "anchor_ms" are the medians of the rounds, "ratio" theirs. The plugin
// comes from the build's installation root (KV_BENCH_ROOT, or build/run/root
// beside this program).
#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QPluginLoader>
#include <QProcess>
#include <QTemporaryDir>
#include <vector>

#include "benchwindow.h"
#include "sdk/interfaces.h"

namespace {

constexpr int minutes = 60;

struct Files
{
    QTemporaryDir folder{QDir::tempPath() + "/kvbench-import-XXXXXX"};
    QString flac = folder.filePath("long.flac");
    QString plugin = benchwindow::benchroot() + "/Plugins/Files/codecbridge.so";
    FileInterface* importer = nullptr;

    Files()
    {
        QProcess sox;
        sox.start(benchwindow::benchroot() + "/Resources/Util/sox/sox",
                  {"-n", "-r", "48000", "-c", "2", "-b", "16", flac, "synth", QString::number(minutes * 60), "sine",
                   "100-20000", "sine", "3000", "vol", "0.5"});
        if (!sox.waitForFinished(600000) || sox.exitCode() != 0)
            qFatal("sox made no file");
        QPluginLoader loader(plugin);
        importer = qobject_cast<FileInterface*>(loader.instance());
        if (!importer || !importer->initialize(plugin, nullptr))
            qFatal("no file plugin at %s", qPrintable(plugin));
    }

    // Milliseconds of one run of each, into a layer file that is gone after.
    qint64 anchor() const
    {
        const QString out = folder.filePath("anchor.f32");
        QElapsedTimer clock;
        clock.start();
        QProcess ffmpeg;
        ffmpeg.start(QFileInfo(plugin).absolutePath() + "/ffmpeg",
                     {"-nostdin", "-loglevel", "error", "-i", flac, "-y", "-vn", "-f", "f32le", out});
        if (!ffmpeg.waitForFinished(600000) || ffmpeg.exitCode() != 0)
            qFatal("ffmpeg failed");
        const qint64 taken = clock.elapsed();
        QFile::remove(out);
        return taken;
    }
    qint64 import() const
    {
        const QString out = folder.filePath("layer.f32");
        QFile layer(out);
        if (!layer.open(QIODevice::WriteOnly))
            qFatal("no layer file");
        layer.close();
        int samplerate = 0, channels = 0, speakermask = 0;
        double start = 0, length = 0;
        QElapsedTimer clock;
        clock.start();
        const bool ok = importer->importFile(QString(), flac, out, &samplerate, &channels, &speakermask, &start, &length);
        const qint64 taken = clock.elapsed();
        if (!ok || QFileInfo(out).size() != qint64(minutes) * 60 * 48000 * 2 * 4)
            qFatal("the import failed");
        QFile::remove(out);
        return taken;
    }
};

std::unique_ptr<Files> files;

void BM_FlacImport(benchmark::State& state)
{
    std::vector<qint64> imports, anchors;
    for (auto _ : state) {
        state.PauseTiming();
        anchors.push_back(files->anchor());
        state.ResumeTiming();
        imports.push_back(files->import());
    }
    const double import = double(benchwindow::median(imports));
    const double anchor = double(benchwindow::median(anchors));
    state.counters["import_ms"] = import;
    state.counters["anchor_ms"] = anchor;
    state.counters["ratio"] = import / anchor;
}

} // namespace

int main(int argc, char** argv)
{
    benchwindow::App app(argc, argv);
    benchmark::Initialize(&argc, argv);
    files = std::make_unique<Files>();
    benchmark::RegisterBenchmark("Import/FLAC 60 min stereo", BM_FlacImport)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(5);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    files.reset();
    return 0;
}
