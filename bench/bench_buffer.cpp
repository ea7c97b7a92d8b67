// Analysis plus resynthesis throughput of a Buffer on a stereo 48 kHz layer at
// N = 4096, overlap 4 (the two passes also at N = 2048 and 65536), in seconds
// of audio per second, next to the same number of frames through bare forward
// and inverse transforms on one thread at the same N.
//
// Buffer benchmarks come twice: "wall" is per second of elapsed time (the
// Buffer runs its transforms on a pool of workers), "cpu" per second of CPU
// time of the whole process, which is what compares fairly with the bare
// transforms on one thread. The bare transforms run first; each Buffer
// benchmark then reports its frames per second as a multiple of theirs
// (x_kiss), both measured in the same run.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <ctime>
#include <kissfft/kiss_fftr.h>
#include <map>
#include <memory>
#include <vector>

#include "core/buffer.h"
#include "core/globals.h"
#include "core/layer.h"
#include "core/transferarea.h"

namespace {

constexpr int rate = 48000;
constexpr int seconds = 60;
constexpr int size = 4096;
constexpr int overlap = 4;
constexpr int hop = size / overlap;
constexpr int windowframes = Buffer::cachesamples / hop;

struct Material
{
    QTemporaryDir folder;
    std::vector<float> samples; // interleaved stereo noise
    std::vector<float> channel[2];
    std::unique_ptr<layer> noise;

    Material()
    {
        sessionpath = folder.path();
        QRandomGenerator g(1);
        samples.resize(size_t(rate) * seconds * 2);
        for (float& x : samples)
            x = float(2.0 * g.generateDouble() - 1.0);
        for (int c = 0; c < 2; ++c) {
            channel[c].resize(samples.size() / 2);
            for (size_t i = 0; i < channel[c].size(); ++i)
                channel[c][i] = samples[2 * i + size_t(c)];
        }
        noise = std::make_unique<layer>();
        noise->samplerate = rate;
        noise->channels = 2;
        noise->write(samples.data(), 0, seconds);
    }
};

Material& material()
{
    static Material m;
    return m;
}

// Frames per second of the bare transforms at each N, for the ratios.
std::map<int, double> barerate;

double processseconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// Times the benchmark's loop by the wall clock or the process's CPU clock,
// and reports its frames per second as a multiple of the bare transforms'.
class Ratio
{
public:
    Ratio(bool cpu, int n) : cpu(cpu), n(n) { clock.start(); start = processseconds(); }
    void report(benchmark::State& state, double frames)
    {
        const double seconds = cpu ? processseconds() - start : double(clock.nsecsElapsed()) * 1e-9;
        if (barerate[n] > 0 && seconds > 0)
            state.counters["x_kiss"] = frames / seconds / barerate[n];
    }

private:
    bool cpu;
    int n;
    QElapsedTimer clock;
    double start;
};

// A full-band selection over the whole layer, so that every relocation runs
// the inverse transform into the band signal as well as the analysis.
void prepare(Buffer& b, int n = size)
{
    b.infftparam(4, n, overlap, false);
    b.bindlayer(material().noise.get());
    b.inselection(QRectF(0, rate / 2.0, seconds, -rate / 2.0));
}

// The window walks over the whole layer: each step reads the layer, analyses
// the new frames of both channels and resynthesises them.
void BM_BufferStream(benchmark::State& state)
{
    Buffer b;
    prepare(b);
    const int steps = int(seconds / b.cachelength);
    Ratio ratio(state.range(0) != 0, size);
    for (auto _ : state) {
        b.indatareset();
        for (int k = 0; k < steps; ++k)
            b.movecache(k * b.cachelength);
        benchmark::DoNotOptimize(b.timebufferB[0][100]);
    }
    const double audio = double(steps) * b.cachelength * state.iterations();
    state.counters["audio_s"] = benchmark::Counter(audio, benchmark::Counter::kIsRate);
    state.counters["frames"] = benchmark::Counter(2.0 * steps * windowframes * state.iterations(),
                                                  benchmark::Counter::kIsRate);
    ratio.report(state, 2.0 * steps * windowframes * state.iterations());
}

// The two passes alone over a loaded window: no layer reading. Arguments:
// CPU time or not, N.
void BM_BufferPasses(benchmark::State& state)
{
    const int n = int(state.range(1));
    const int nhop = n / overlap;
    const int nframes = Buffer::cachesamples / nhop;
    Buffer b;
    prepare(b, n);
    b.getsample(0, 10 * rate);
    Ratio ratio(state.range(0) != 0, n);
    for (auto _ : state) {
        b.analyze(b.cachestart, b.cachelength, -1);
        b.resynthesizeselection(b.cachestart, b.cachelength, -1);
        benchmark::DoNotOptimize(b.timebufferB[1][100]);
    }
    const double audio = double(nframes) * nhop / rate * state.iterations();
    state.counters["audio_s"] = benchmark::Counter(audio, benchmark::Counter::kIsRate);
    state.counters["frames"] = benchmark::Counter(2.0 * nframes * state.iterations(),
                                                  benchmark::Counter::kIsRate);
    ratio.report(state, 2.0 * nframes * state.iterations());
}

// A 20 s cut of the whole band into the clipboard and its paste back, on the
// same layer; "frames" counts the frames of the rectangle in both channels
// once, so that its rate compares with the bare transforms of those frames.
void BM_CutPaste(benchmark::State& state)
{
    Buffer current, clipboard;
    current.infftparam(4, size, overlap, false);
    clipboard.infftparam(4, size, overlap, false);
    layer clip;
    clip.samplerate = rate;
    clip.channels = 2;
    current.bindlayer(material().noise.get());
    clipboard.bindlayer(&clip);
    const QRectF area(20, rate / 2.0, 20, -rate / 2.0);
    for (auto _ : state) {
        transferarea(&clipboard, &clipboard, QRectF(), 0, 0, 0, 0);
        transferarea(&current, &clipboard, area, 0, 4, 0, 0);
        transferarea(&clipboard, &current, area, 0, 5, 0, 0);
    }
    const double frames = 20.0 * rate / hop;
    state.counters["frames"] = benchmark::Counter(2.0 * frames * state.iterations(), benchmark::Counter::kIsRate);
    current.bindlayer(nullptr);
    clipboard.bindlayer(nullptr);
}

// 200 get/set pairs of consecutive samples at the longest transform, as an
// external editor's round trip makes them, and their write-back.
void BM_SampleEdits65536(benchmark::State& state)
{
    Buffer b;
    b.infftparam(4, 65536, 4, false);
    b.bindlayer(material().noise.get());
    int s = 10 * rate;
    for (auto _ : state) {
        for (int i = 0; i < 200; ++i, ++s)
            b.setsample(0, s, b.getsample(0, s));
        b.flush();
    }
    b.bindlayer(nullptr);
}

// The same frames, both channels, through kiss_fftr and kiss_fftri on one
// thread, straight from the samples of each channel: the transforms alone.
// Argument: N.
void BM_BareTransforms(benchmark::State& state)
{
    const int n = int(state.range(0));
    const int nhop = n / overlap;
    const int nframes = Buffer::cachesamples / nhop;
    const Material& m = material();
    kiss_fftr_cfg forward = kiss_fftr_alloc(n, 0, nullptr, nullptr);
    kiss_fftr_cfg inverse = kiss_fftr_alloc(n, 1, nullptr, nullptr);
    std::vector<float> out(n);
    std::vector<kiss_fft_cpx> bins(n / 2 + 1);
    const int frames = (rate * seconds - n) / nhop;
    int f = 0;
    // CPU time, so that a busy machine does not flatter the Buffer's ratios.
    const double start = processseconds();
    for (auto _ : state) {
        for (int k = 0; k < nframes; ++k, f = (f + 1) % frames)
            for (int c = 0; c < 2; ++c) {
                kiss_fftr(forward, m.channel[c].data() + size_t(f) * nhop, bins.data());
                kiss_fftri(inverse, bins.data(), out.data());
                benchmark::DoNotOptimize(out[7]);
            }
    }
    const double audio = double(nframes) * nhop / rate * state.iterations();
    state.counters["audio_s"] = benchmark::Counter(audio, benchmark::Counter::kIsRate);
    state.counters["frames"] = benchmark::Counter(2.0 * nframes * state.iterations(),
                                                  benchmark::Counter::kIsRate);
    barerate[n] = 2.0 * nframes * state.iterations() / (processseconds() - start);
    kiss_fftr_free(forward);
    kiss_fftr_free(inverse);
}

} // namespace

BENCHMARK(BM_BareTransforms)->Name("Bare/kissfft/one thread")->Arg(2048)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BufferStream)->Name("Buffer/stream/wall")->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BufferStream)->Name("Buffer/stream/cpu")->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BufferPasses)->Name("Buffer/passes/wall")->Args({0, size})->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BufferPasses)->Name("Buffer/passes/cpu")->ArgsProduct({{1}, {2048, 4096, 65536}})->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CutPaste)->Name("Buffer/cutpaste20s/cpu")->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
// By the wall clock: its write-backs run on the pool, so this thread's CPU
// time would call for far too many iterations.
BENCHMARK(BM_SampleEdits65536)->Name("Buffer/sampleedits65536")->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
