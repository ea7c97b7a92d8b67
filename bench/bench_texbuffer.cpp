// How long the three display workers of one channel view take to deliver the
// visible area of a 10-minute stereo 48 kHz layer at 1920 x 1080 pixels with
// windows of 4096 and overlap 4, every frame of the area covered: zoomed
// fully out, after a scroll by a tenth of the view, and zoomed to 5 seconds.
//
// Each is paired with its anchor: the bare Kiss FFT calls, on one thread, for
// the frames that the three workers transform in that case ("Bare/..."); the
// ".../cpu" case counts the CPU time of the whole process instead.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <benchmark/benchmark.h>
#include <cmath>
#include <kissfft/kiss_fftr.h>
#include <memory>
#include <vector>

#include "core/globals.h"
#include "core/layer.h"
#include "view/texbuffer.h"

namespace {

constexpr int rate = 48000;
constexpr double seconds = 600;
constexpr int size = 4096;
const QSize screen(1920, 1080);
const QRectF zoomedout(0, 24000, seconds, -24000);
// Nine tenths of the layer, so that it can move by a tenth of itself.
const QRectF scrollfrom(0, 24000, 540, -24000), scrollto(54, 24000, 540, -24000);
const QRectF fiveseconds(300, 24000, 5, -24000);

std::vector<float>& channel0()
{
    static std::vector<float> samples;
    return samples;
}

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
    channel0().resize(size_t(frames));
    std::vector<float> block;
    for (qint64 f0 = 0; f0 < frames; f0 += 48000) {
        const qint64 n = std::min<qint64>(48000, frames - f0);
        block.resize(size_t(n * 2));
        for (qint64 i = 0; i < n; ++i) {
            const double t = double(f0 + i) / rate;
            const double phase = 2 * M_PI * (100 * t + 18 * t * t);
            block[size_t(2 * i)] = channel0()[size_t(f0 + i)] = float(0.5 * std::sin(phase));
            block[size_t(2 * i + 1)] = float(0.25 * std::cos(phase));
        }
        file.write(reinterpret_cast<const char*>(block.data()), qint64(block.size() * sizeof(float)));
    }
    file.close();
    l.reset(new layer(path, "bench", true, 1, 1.0f, rate, 2, 0, seconds, false));
    return l.get();
}

// The three workers of one view, bound to the layer as the controller does.
struct View
{
    TexBuffer workers[3];
    QSemaphore published;
    explicit View(layer* l)
    {
        for (TexBuffer& w : workers) {
            QObject::connect(&w, &TexBuffer::outtexdata, &w, [this] { published.release(); }, Qt::DirectConnection);
            w.bindlayer(l, 0);
            w.infftparam(4, size, 4, false);
        }
    }
    void rebind(layer* l)
    {
        for (TexBuffer& w : workers)
            w.bindlayer(l, 0); // forgets the columns kept so far
    }
    void deliver(const QRectF& area)
    {
        for (TexBuffer& w : workers)
            w.intexrequest(area, screen);
        published.acquire(3);
    }
    qint64 frames()
    {
        qint64 n = 0;
        for (TexBuffer& w : workers)
            n += w.framescomputed;
        return n;
    }
};

// Frames that the three workers transform in each case, found once.
struct Counts
{
    qint64 zoomedout = 0, scroll = 0, fiveseconds = 0;
};

Counts& counts()
{
    static Counts c;
    return c;
}

// Every iteration computes the whole area anew (a rebinding forgets the
// columns kept so far).
void BM_Fresh(benchmark::State& state, const QRectF* area)
{
    layer* l = tenminutes();
    View view(l);
    for (auto _ : state) {
        view.rebind(l);
        view.deliver(*area);
    }
    state.counters["frames"] = double(view.frames());
    state.counters["columns"] = view.workers[0].resultres.width();
}

void BM_Scroll(benchmark::State& state)
{
    layer* l = tenminutes();
    View view(l);
    view.deliver(scrollfrom);
    bool there = false;
    for (auto _ : state) {
        view.deliver(there ? scrollfrom : scrollto);
        there = !there;
    }
    state.counters["frames"] = double(view.frames());
}

// The anchor: `frames` forward transforms of consecutive frames at the hop,
// on one thread, straight from the samples of one channel.
void BM_Bare(benchmark::State& state, const qint64* frames)
{
    tenminutes();
    const std::vector<float>& samples = channel0();
    kiss_fftr_cfg cfg = kiss_fftr_alloc(size, 0, nullptr, nullptr);
    std::vector<kiss_fft_cpx> bins(size / 2 + 1);
    const qint64 last = qint64(samples.size() - size) / (size / 4);
    for (auto _ : state)
        for (qint64 f = 0; f < *frames; ++f) {
            kiss_fftr(cfg, samples.data() + size_t(f % last) * (size / 4), bins.data());
            benchmark::DoNotOptimize(bins[7]);
        }
    state.counters["frames"] = double(*frames);
    kiss_fftr_free(cfg);
}

void findcounts()
{
    layer* l = tenminutes();
    View view(l);
    view.deliver(zoomedout);
    counts().zoomedout = view.frames();
    view.deliver(scrollfrom);
    view.deliver(scrollto);
    counts().scroll = view.frames();
    view.deliver(fiveseconds);
    counts().fiveseconds = view.frames();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    findcounts();
    const auto ms = benchmark::kMillisecond;
    benchmark::RegisterBenchmark("TexBuffer/zoomed out", BM_Fresh, &zoomedout)->Unit(ms)->UseRealTime();
    // The CPU time of the whole process, which compares with the bare calls
    // on one thread whatever else the machine is running.
    benchmark::RegisterBenchmark("TexBuffer/zoomed out/cpu", BM_Fresh, &zoomedout)->Unit(ms)->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("Bare/kissfft/zoomed out frames", BM_Bare, &counts().zoomedout)->Unit(ms);
    benchmark::RegisterBenchmark("TexBuffer/scroll a tenth", BM_Scroll)->Unit(ms)->UseRealTime();
    benchmark::RegisterBenchmark("Bare/kissfft/scroll frames", BM_Bare, &counts().scroll)->Unit(ms);
    benchmark::RegisterBenchmark("TexBuffer/five seconds", BM_Fresh, &fiveseconds)->Unit(ms)->UseRealTime();
    benchmark::RegisterBenchmark("Bare/kissfft/five seconds frames", BM_Bare, &counts().fiveseconds)->Unit(ms);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
