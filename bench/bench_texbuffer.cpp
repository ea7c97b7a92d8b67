// How long the three display workers of one channel view take to deliver the
// visible area of a 10-minute stereo 48 kHz layer at 1920 x 1080 pixels with
// windows of 4096 and overlap 4: zoomed fully out, and zoomed to 5 seconds.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>
#include <vector>

#include "core/globals.h"
#include "core/layer.h"
#include "view/texbuffer.h"

namespace {

constexpr int rate = 48000;
constexpr double seconds = 600;

layer* tenminutes()
{
    static std::unique_ptr<layer> l;
    if (l)
        return l.get();
    sessionpath = QDir::tempPath() + "/kvbench";
    QDir().mkpath(sessionpath);
    const QString path = sessionpath + "/tenminutes.pcm";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return nullptr;
    // A chirp over the whole band, so that every column has content.
    const qint64 frames = qint64(seconds * rate);
    std::vector<float> block;
    for (qint64 f0 = 0; f0 < frames; f0 += 48000) {
        const qint64 n = std::min<qint64>(48000, frames - f0);
        block.resize(size_t(n * 2));
        for (qint64 i = 0; i < n; ++i) {
            const double t = double(f0 + i) / rate;
            const double phase = 2 * M_PI * (100 * t + 18 * t * t);
            block[size_t(2 * i)] = float(0.5 * std::sin(phase));
            block[size_t(2 * i + 1)] = float(0.25 * std::cos(phase));
        }
        file.write(reinterpret_cast<const char*>(block.data()), qint64(block.size() * sizeof(float)));
    }
    file.close();
    l.reset(new layer(path, "bench", true, 1, 1.0f, rate, 2, 0, seconds, false));
    return l.get();
}

void deliver(benchmark::State& state, QRectF area)
{
    layer* l = tenminutes();
    if (!l) {
        state.SkipWithError("no layer file");
        return;
    }
    TexBuffer workers[3];
    QSemaphore published;
    for (TexBuffer& w : workers) {
        QObject::connect(&w, &TexBuffer::outtexdata, &w, [&published] { published.release(); },
                         Qt::DirectConnection);
        w.bindlayer(l, 0);
        w.infftparam(4, 4096, 4, false);
    }
    QSize size;
    for (auto _ : state) {
        for (TexBuffer& w : workers)
            w.intexrequest(area, QSize(1920, 1080));
        published.acquire(3);
        size = workers[0].resultres;
    }
    state.counters["columns"] = size.width();
    state.counters["rows"] = size.height();
}

void BM_ZoomedOut(benchmark::State& state)
{
    deliver(state, QRectF(0, 24000, seconds, -24000));
}

void BM_FiveSeconds(benchmark::State& state)
{
    deliver(state, QRectF(300, 24000, 5, -24000));
}

} // namespace

BENCHMARK(BM_ZoomedOut)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FiveSeconds)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
