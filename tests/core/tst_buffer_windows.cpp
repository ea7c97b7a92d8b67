// Transform parameters, windows, the lobe table, and the transform workers
// against the reference transform, a frame alone as in a batch.
#include <QtTest>
#include <cmath>
#include <cstring>
#include <vector>

#include "buffertestsupport.h"
#include "core/alignedmemory.h"
#include "core/lanefft.h"
#include "core/transformthreads.h"

#include <kissfft/kiss_fftr.h>

namespace {

struct AlignedFloats
{
    float* p;
    explicit AlignedFloats(int n) : p(alignedalloc(n * 4, 16)) { std::memset(p, 0, size_t(n) * 4); }
    ~AlignedFloats() { alignedfree(p); }
    AlignedFloats(const AlignedFloats&) = delete;
    AlignedFloats& operator=(const AlignedFloats&) = delete;
};

double sum(const float* v, int n)
{
    double s = 0;
    for (int i = 0; i < n; ++i)
        s += v[i];
    return s;
}

} // namespace

class TestBufferWindows : public QObject
{
    Q_OBJECT

private slots:
    void clampsAndRounding_data();
    void clampsAndRounding();
    void unknownWindowTypeIsBlackmanHarris();
    void windowSumsAndSynthesisIdentity();
    void subWindowHalvesTheOuterQuarters();
    void lobeTablePeaksAtQuarterBand();
    void noWindowBeforeParameters();
    void workersAloneEqualBatchedAndReference_data();
    void workersAloneEqualBatchedAndReference();
    void bandLimitedAnalysisKeepsOtherBins();
    void laneTransformMatchesPlainTransform();
};

void TestBufferWindows::clampsAndRounding_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("overlap");
    QTest::addColumn<int>("wantsize");
    QTest::addColumn<int>("wantoverlap");
    QTest::newRow("below") << 32 << 1 << 64 << 2;
    QTest::newRow("above") << 131072 << 32 << 65536 << 16;
    QTest::newRow("between") << 1000 << 5 << 512 << 4;
    QTest::newRow("negative") << -5 << -3 << 64 << 2;
    QTest::newRow("exact") << 4096 << 8 << 4096 << 8;
}

void TestBufferWindows::clampsAndRounding()
{
    QFETCH(int, size);
    QFETCH(int, overlap);
    QFETCH(int, wantsize);
    QFETCH(int, wantoverlap);
    Buffer b;
    b.infftparam(2, size, overlap, false);
    QCOMPARE(b.fftsize, wantsize);
    QCOMPARE(b.overlap, wantoverlap);
    QCOMPARE(b.hop(), wantsize / wantoverlap);
    // The windows are built for the stored values.
    QVERIFY(std::fabs(sum(b.analysiswindow, wantsize) - 2.0) < 1e-4);
    QCOMPARE(b.analysiswindow[wantsize], 0.0f);
}

void TestBufferWindows::unknownWindowTypeIsBlackmanHarris()
{
    Buffer odd, bh;
    odd.infftparam(9, 256, 4, false);
    bh.infftparam(4, 256, 4, false);
    QCOMPARE(odd.windowtype, 4);
    QCOMPARE(std::memcmp(odd.analysiswindow, bh.analysiswindow, 256 * sizeof(float)), 0);
    Buffer neg;
    neg.infftparam(-1, 256, 4, false);
    QCOMPARE(neg.windowtype, 4);
}

void TestBufferWindows::windowSumsAndSynthesisIdentity()
{
    for (int type = 0; type <= 4; ++type) {
        for (bool sub : {false, true}) {
            for (int n : {64, 1024, 65536}) {
                for (int ov : {2, 4, 16}) {
                    Buffer b;
                    b.infftparam(type, n, ov, sub);
                    const QByteArray where = QByteArray::number(type) + "/" + QByteArray::number(n) + "/"
                                             + QByteArray::number(ov) + (sub ? "/sub" : "");
                    QVERIFY2(std::fabs(sum(b.analysiswindow, n) - 2.0) < 1e-4, where);
                    const int h = n / ov;
                    for (int k = 0; k < h; ++k) {
                        const double w = double(b.analysiswindow[n / 2 - h + k]) * n * b.synthesiswindow[k]
                                         + double(b.analysiswindow[n / 2 + k]) * n * b.synthesiswindow[h + k];
                        if (std::fabs(w - 1.0) > 1e-5)
                            QFAIL(where + " k=" + QByteArray::number(k) + " " + QByteArray::number(w));
                    }
                    // Only the central 2 x hop entries of the synthesis window are used.
                    if (2 * h < n)
                        QCOMPARE(b.synthesiswindow[2 * h], 0.0f);
                }
            }
        }
    }
}

void TestBufferWindows::subWindowHalvesTheOuterQuarters()
{
    const int n = 1024;
    Buffer plain, sub;
    plain.infftparam(2, n, 4, false);
    sub.infftparam(2, n, 4, true);
    // The sub-window before scaling: half the plain window, plus half the window
    // decimated by two in the middle half. Build it from the plain window.
    std::vector<double> want(n);
    double total = 0;
    for (int j = 0; j < n; ++j) {
        want[j] = 0.5 * plain.analysiswindow[j];
        if (j >= n / 4 && j < 3 * n / 4)
            want[j] += 0.5 * plain.analysiswindow[2 * (j - n / 4)];
        total += want[j];
    }
    for (int j = 0; j < n; ++j)
        QVERIFY2(std::fabs(sub.analysiswindow[j] - want[j] * 2.0 / total) < 1e-7, QByteArray::number(j));
    // Outside the middle half the ratio to the plain window is one constant.
    const double ratio = sub.analysiswindow[10] / plain.analysiswindow[10];
    QVERIFY(std::fabs(sub.analysiswindow[n - 10] / plain.analysiswindow[n - 10] - ratio) < 1e-5);
    QVERIFY(std::fabs(sub.analysiswindow[n / 2] / plain.analysiswindow[n / 2] - ratio) > 0.1);
}

void TestBufferWindows::lobeTablePeaksAtQuarterBand()
{
    for (int type : {0, 2, 4}) {
        const int n = 512;
        Buffer b;
        b.infftparam(type, n, 4, false);
        int best = 0;
        for (int k = 0; k < n / 2; ++k)
            if (b.lobetable[16 * k] > b.lobetable[16 * best])
                best = k;
        QCOMPARE(best, n / 4);
        // A unit sinusoid centred on a bin shows magnitude 1 there.
        QVERIFY(std::fabs(b.lobetable[16 * (n / 4)] - 1.0f) < 2e-3);
        // Half a bin below the quarter band the two neighbours are equal.
        QVERIFY(std::fabs(b.lobetable[16 * (n / 4) + 8] - b.lobetable[16 * (n / 4 - 1) + 8]) < 2e-3);
        // Moving the sinusoid away lowers the quarter-band bin step by step.
        for (int s = 1; s < 16; ++s)
            QVERIFY(b.lobetable[16 * (n / 4) + s] < b.lobetable[16 * (n / 4) + s - 1]);
    }
}

void TestBufferWindows::noWindowBeforeParameters()
{
    kvtestfolders();
    auto l = makelayer(noise(48000, 3), 48000, 1);
    Buffer b;
    QVERIFY(!b.haswindow());
    QCOMPARE(b.hop(), 0);
    b.bindlayer(l.get());
    QCOMPARE(b.boundlayer, l.get());
    QCOMPARE(b.getsample(0, 1000), 0.0f);
    b.setsample(0, 1000, 0.5f);
    QVERIFY(b.dirtysamples[0].empty());
    QCOMPARE(b.getbin(0, 3, 3), QVector2D(0, 0));
    b.setbin(0, 3, 3, 1, 1);
    QVERIFY(b.dirtyframes[0].empty());
    b.movecache(0.5);
    QCOMPARE(b.cachestart, unsettime);
    b.inselection(QRectF(0.1, 5000, 0.2, -1000));
    b.flush();
    QCOMPARE(b.freqtobin(1000), 0);
    QVERIFY(!b.readwithoutlayer && !b.writewithoutlayer);
    // Once the parameters arrive the same Buffer works.
    b.infftparam(2, 256, 4, false);
    b.inselection(QRectF());
    QCOMPARE(b.getsample(0, 1000), readlayer(l.get(), 1000, 1, 0)[0]);
}

void TestBufferWindows::workersAloneEqualBatchedAndReference_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("overlap");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("lowbin");
    QTest::addColumn<int>("highbin");
    QTest::newRow("five frames, full band") << 64 << 4 << 0 << 4 << 0 << 32;
    QTest::newRow("one frame") << 256 << 2 << 3 << 3 << 0 << 128;
    QTest::newRow("band") << 1024 << 8 << 1 << 10 << 5 << 100;
    QTest::newRow("band with nyquist") << 512 << 4 << 2 << 8 << 7 << 256;
    QTest::newRow("band with dc") << 128 << 16 << 0 << 6 << 0 << 20;
    QTest::newRow("two batches and a part, full band") << 2048 << 16 << 3 << 22 << 0 << 1024;
    QTest::newRow("empty range") << 64 << 2 << 5 << 4 << 0 << 32;
}

// A frame gives the same bits transformed alone as in a batch of eight, in
// either direction (kept frames rely on an analysis made again matching the
// first), and the values are those of the reference transform.
void TestBufferWindows::workersAloneEqualBatchedAndReference()
{
    QFETCH(int, n);
    QFETCH(int, overlap);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, lowbin);
    QFETCH(int, highbin);
    Buffer b;
    b.infftparam(3, n, overlap, true);
    const int hop = n / overlap, half = n / 2;
    const int margin = n;
    const int samples = margin + (last + 2) * hop + n;
    AlignedFloats time(samples);
    const auto x = noise(size_t(samples), 11);
    std::memcpy(time.p, x.data(), sizeof(float) * size_t(samples));
    const int frames = last + 2;
    AlignedFloats batched(frames * n), alone(frames * n);
    const auto fill = noise(size_t(frames * n), 12, 9.0f);
    std::memcpy(batched.p, fill.data(), sizeof(float) * fill.size());
    std::memcpy(alone.p, fill.data(), sizeof(float) * fill.size());
    threadR2C(time.p + margin, batched.p, b.analysiswindow, n, overlap, first, last, lowbin, highbin).start();
    for (int f = first; f <= last; ++f)
        threadR2C(time.p + margin, alone.p, b.analysiswindow, n, overlap, f, f, lowbin, highbin).start();
    QCOMPARE(std::memcmp(batched.p, alone.p, sizeof(float) * size_t(frames * n)), 0);

    // The reference: kiss_fftr of each windowed frame, packed; floats outside
    // the band keep what they held.
    kiss_fftr_cfg fwd = kiss_fftr_alloc(n, 0, nullptr, nullptr);
    std::vector<float> in(static_cast<size_t>(n));
    std::vector<kiss_fft_cpx> out(size_t(half + 1));
    for (int f = 0; f < frames; ++f) {
        for (int m = 0; m < n; ++m)
            in[size_t(m)] = time.p[margin + f * hop - half + m] * b.analysiswindow[m];
        kiss_fftr(fwd, in.data(), out.data());
        for (int k = 0; k < n; ++k) {
            const int bin = k == 1 ? half : k / 2;
            const bool stored = f >= first && f <= last && bin >= lowbin && bin <= highbin;
            const float got = batched.p[f * n + k];
            if (!stored) {
                QCOMPARE(got, fill[size_t(f * n + k)]);
                continue;
            }
            const float want = k == 1 ? out[size_t(half)].r : k % 2 ? out[size_t(k / 2)].i : out[size_t(k / 2)].r;
            QVERIFY2(std::fabs(got - want) < 2e-6f,
                     qPrintable(QString("frame %1 float %2: %3 against %4").arg(f).arg(k).arg(got).arg(want)));
        }
    }
    kiss_fftr_free(fwd);

    // The inverse as one job, and as a chain of two-frame jobs (each adds the
    // right half of its first frame and the left half of its second).
    AlignedFloats outbatched(samples), outalone(samples);
    threadC2R(outbatched.p + margin, batched.p, b.synthesiswindow, n, overlap, first, last, lowbin, highbin).start();
    for (int f = first; f < last; ++f)
        threadC2R(outalone.p + margin, batched.p, b.synthesiswindow, n, overlap, f, f + 1, lowbin, highbin).start();
    QCOMPARE(std::memcmp(outbatched.p, outalone.p, sizeof(float) * size_t(samples)), 0);
    if (first < last) {
        if (lowbin == 0 && highbin == half) {
            // Full band: the overlap-add of the analysed frames gives the
            // input back over [first x hop, last x hop).
            double worst = 0;
            for (int i = first * hop; i < last * hop; ++i)
                worst = std::max(worst, double(std::fabs(outbatched.p[margin + i] - x[size_t(margin + i)])));
            QVERIFY2(worst < 1e-5, QByteArray::number(worst));
        }
        // Nothing outside that span is touched.
        QCOMPARE(outbatched.p[margin + first * hop - 1], 0.0f);
        QCOMPARE(outbatched.p[margin + last * hop], 0.0f);
    } else {
        for (int i = 0; i < samples; ++i)
            QCOMPARE(outbatched.p[i], 0.0f);
    }
}

// A band-limited analysis stores the band only: every float of the other bins,
// the DC and Nyquist slots included, keeps its previous contents.
void TestBufferWindows::bandLimitedAnalysisKeepsOtherBins()
{
    const int n = 256, overlap = 4, hop = n / overlap;
    Buffer b;
    b.infftparam(2, n, overlap, false);
    AlignedFloats time(4 * n);
    const auto x = noise(size_t(4 * n), 5);
    std::memcpy(time.p, x.data(), sizeof(float) * x.size());
    AlignedFloats full(n), band(n), nyq(n);
    for (int i = 0; i < n; ++i)
        band.p[i] = nyq.p[i] = 100.0f + i;
    {
        threadR2C a(time.p + 2 * n, full.p, b.analysiswindow, n, overlap, 0, 0, 0, n / 2);
        threadR2C c(time.p + 2 * n, band.p, b.analysiswindow, n, overlap, 0, 0, 10, 20);
        threadR2C d(time.p + 2 * n, nyq.p, b.analysiswindow, n, overlap, 0, 0, 100, n / 2);
        a.start();
        c.start();
        d.start();
    }
    for (int i = 0; i < n; ++i) {
        const bool inband = i >= 20 && i <= 41;
        QCOMPARE(band.p[i], inband ? full.p[i] : 100.0f + i);
        const bool innyq = i >= 200 || i == 1;
        QCOMPARE(nyq.p[i], innyq ? full.p[i] : 100.0f + i);
    }
    // The full-band frame is the transform of the windowed samples: check the
    // DC and Nyquist values, which are plain sums.
    double dc = 0, ny = 0;
    for (int m = 0; m < n; ++m) {
        const double v = double(x[size_t(2 * n - n / 2 + m)]) * b.analysiswindow[m];
        dc += v;
        ny += (m % 2 ? -v : v);
    }
    QVERIFY(std::fabs(full.p[0] - dc) < 1e-4);
    QVERIFY(std::fabs(full.p[1] - ny) < 1e-4);
    Q_UNUSED(hop);
}

void TestBufferWindows::laneTransformMatchesPlainTransform()
{
    // Sizes with an odd and an even number of stages, some done in cache
    // blocks before their last passes, five frames at a
    // hop that overlaps them, a window that differs per sample; forward,
    // then the packed bins back.
    for (const int n : {64, 128, 4096, 32768, 65536}) {
        const int hop = n / 4, frames = 5;
        const std::vector<float> samples = noise(size_t(hop * (frames - 1) + n), n);
        std::vector<float> window(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            window[size_t(i)] = 0.5f + 0.5f * float(i) / float(n);
        lanefft fft(n);
        fft.load(samples.data(), hop, frames, window.data());
        fft.forward();
        std::vector<float> packed(size_t(n * frames));
        fft.packed(packed.data(), size_t(n), frames);
        kiss_fftr_cfg fwd = kiss_fftr_alloc(n, 0, nullptr, nullptr);
        std::vector<float> frame(static_cast<size_t>(n));
        std::vector<kiss_fft_cpx> out(size_t(n / 2 + 1));
        // Rounding differs with the order of the steps; the scale is that of the bins.
        const double tolerance = 2e-6 * n;
        for (int l = 0; l < lanefft::lanes; ++l) {
            for (int i = 0; i < n; ++i)
                frame[size_t(i)] = l < frames ? samples[size_t(l * hop + i)] * window[size_t(i)] : 0.0f;
            kiss_fftr(fwd, frame.data(), out.data());
            for (int k = 0; k <= n / 2; ++k)
                QVERIFY2(std::fabs(fft.real(k)[l] - out[size_t(k)].r) < tolerance
                             && std::fabs(fft.imag(k)[l] - out[size_t(k)].i) < tolerance,
                         qPrintable(QString("n %1 lane %2 bin %3").arg(n).arg(l).arg(k)));
            if (l >= frames)
                continue;
            const float* p = packed.data() + l * n;
            QCOMPARE(p[0], fft.real(0)[l]);
            QCOMPARE(p[1], fft.real(n / 2)[l]);
            for (int k = 1; k < n / 2; ++k)
                QVERIFY(p[2 * k] == fft.real(k)[l] && p[2 * k + 1] == fft.imag(k)[l]);
        }
        // The inverse of the packed bins, read from two places: n times the
        // windowed samples, as kiss_fftri gives them.
        fft.loadpacked(packed.data(), size_t(n), frames);
        fft.inverse();
        std::vector<float> whole(size_t(n * frames)), middle(size_t(n * frames));
        fft.samples(whole.data(), size_t(n), 0, n, frames);
        fft.samples(middle.data(), size_t(n), n / 2 - hop, 2 * hop, frames);
        for (int l = 0; l < frames; ++l)
            for (int i = 0; i < n; ++i) {
                const float want = n * samples[size_t(l * hop + i)] * window[size_t(i)];
                const float got = whole[size_t(l * n + i)];
                QVERIFY2(std::fabs(got - want) < tolerance,
                         qPrintable(QString("n %1 lane %2 sample %3: %4 against %5").arg(n).arg(l).arg(i).arg(got).arg(want)));
                if (i >= n / 2 - hop && i < n / 2 + hop)
                    QCOMPARE(middle[size_t(l * n + i - (n / 2 - hop))], got);
            }
        kiss_fftr_free(fwd);
    }
}

QTEST_GUILESS_MAIN(TestBufferWindows)
#include "tst_buffer_windows.moc"
