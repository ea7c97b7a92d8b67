// Transform parameters, windows, the lobe table, and the transform workers'
// two ways of running a batch.
#include <QtTest>
#include <cmath>
#include <cstring>
#include <vector>

#include "buffertestsupport.h"
#include "core/alignedmemory.h"
#include "core/fft4.h"
#include "core/lanefft.h"
#include "core/transformthreads.h"

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
    void workersFourLaneEqualsDirect_data();
    void workersFourLaneEqualsDirect();
    void bandLimitedAnalysisKeepsOtherBins();
    void fft4MatchesPlainTransform();
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

void TestBufferWindows::workersFourLaneEqualsDirect_data()
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
    QTest::newRow("empty range") << 64 << 2 << 5 << 4 << 0 << 32;
}

// Both ways of running a batch must store the same values, bit for bit.
void TestBufferWindows::workersFourLaneEqualsDirect()
{
    QFETCH(int, n);
    QFETCH(int, overlap);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, lowbin);
    QFETCH(int, highbin);
    Buffer b;
    b.infftparam(3, n, overlap, true);
    const int hop = n / overlap;
    const int margin = n;
    const int samples = margin + (last + 2) * hop + n;
    AlignedFloats time(samples);
    const auto x = noise(size_t(samples), 11);
    std::memcpy(time.p, x.data(), sizeof(float) * size_t(samples));
    const int frames = last + 2;
    AlignedFloats direct(frames * n), lanes(frames * n);
    const auto fill = noise(size_t(frames * n), 12, 9.0f);
    std::memcpy(direct.p, fill.data(), sizeof(float) * fill.size());
    std::memcpy(lanes.p, fill.data(), sizeof(float) * fill.size());
    {
        threadR2C d(time.p + margin, direct.p, b.analysiswindow, n, overlap, first, last, lowbin, highbin);
        threadR2C f(time.p + margin, lanes.p, b.analysiswindow, n, overlap, first, last, lowbin, highbin);
        f.fourlane = true;
        d.start();
        f.start();
    }
    QCOMPARE(std::memcmp(direct.p, lanes.p, sizeof(float) * size_t(frames * n)), 0);
    if (first <= last)
        QVERIFY(std::memcmp(direct.p, fill.data(), sizeof(float) * fill.size()) != 0);

    AlignedFloats outdirect(samples), outlanes(samples);
    {
        threadC2R d(outdirect.p + margin, direct.p, b.synthesiswindow, n, overlap, first, last, lowbin,
                    highbin);
        threadC2R f(outlanes.p + margin, direct.p, b.synthesiswindow, n, overlap, first, last, lowbin,
                    highbin);
        f.fourlane = true;
        d.start();
        f.start();
    }
    QCOMPARE(std::memcmp(outdirect.p, outlanes.p, sizeof(float) * size_t(samples)), 0);
    if (first < last) {
        if (lowbin == 0 && highbin == n / 2) {
            // Full band: the overlap-add of the analysed frames gives the
            // input back over [first x hop, last x hop).
            double worst = 0;
            for (int i = first * hop; i < last * hop; ++i)
                worst = std::max(worst, double(std::fabs(outdirect.p[margin + i] - x[size_t(margin + i)])));
            QVERIFY2(worst < 1e-5, QByteArray::number(worst));
        }
        // Nothing outside that span is touched.
        QCOMPARE(outdirect.p[margin + first * hop - 1], 0.0f);
        QCOMPARE(outdirect.p[margin + last * hop], 0.0f);
    } else {
        for (int i = 0; i < samples; ++i)
            QCOMPARE(outdirect.p[i], 0.0f);
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

void TestBufferWindows::fft4MatchesPlainTransform()
{
    const int n = 128;
    std::vector<float> rows[4];
    std::vector<float> groups(size_t(4 * n));
    for (int l = 0; l < 4; ++l) {
        rows[l] = noise(size_t(n), 20 + l);
        for (int i = 0; i < n; ++i)
            groups[size_t(4 * i + l)] = rows[l][size_t(i)];
    }
    kiss_fftr_cfg fwd = kiss_fftr_alloc(n, 0, nullptr, nullptr);
    kiss_fftr_cfg inv = kiss_fftr_alloc(n, 1, nullptr, nullptr);
    std::vector<float> bins(size_t(4 * (n + 2))), back(size_t(4 * n)), lane(size_t(fft4lanefloats(n)));
    fft4forward(fwd, n, groups.data(), bins.data(), lane.data());
    for (int l = 0; l < 4; ++l) {
        std::vector<kiss_fft_cpx> out(size_t(n / 2 + 1));
        kiss_fftr(fwd, rows[l].data(), out.data());
        for (int k = 0; k <= n / 2; ++k) {
            QCOMPARE(bins[size_t(8 * k + l)], out[size_t(k)].r);
            QCOMPARE(bins[size_t(8 * k + 4 + l)], out[size_t(k)].i);
        }
    }
    fft4inverse(inv, n, bins.data(), back.data(), lane.data());
    for (int i = 0; i < 4 * n; ++i)
        QVERIFY(std::fabs(back[size_t(i)] / n - groups[size_t(i)]) < 1e-5);
    // Three lanes only: the fourth lane of the output is left alone.
    std::vector<float> part(size_t(4 * (n + 2)), 42.0f);
    fft4forward(fwd, n, groups.data(), part.data(), lane.data(), 3);
    QCOMPARE(part[3], 42.0f);
    QCOMPARE(part[2], bins[2]);
    kiss_fftr_free(fwd);
    kiss_fftr_free(inv);
}

void TestBufferWindows::laneTransformMatchesPlainTransform()
{
    // Sizes with an odd and an even number of stages, five frames at a
    // hop that overlaps them, a window that differs per sample.
    for (const int n : {64, 128, 4096}) {
        const int hop = n / 4, frames = 5;
        const std::vector<float> samples = noise(size_t(hop * (frames - 1) + n), n);
        std::vector<float> window(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            window[size_t(i)] = 0.5f + 0.5f * float(i) / float(n);
        lanefft fft(n);
        fft.load(samples.data(), hop, frames, window.data());
        fft.forward();
        kiss_fftr_cfg fwd = kiss_fftr_alloc(n, 0, nullptr, nullptr);
        std::vector<float> frame(static_cast<size_t>(n));
        std::vector<kiss_fft_cpx> out(size_t(n / 2 + 1));
        for (int l = 0; l < lanefft::lanes; ++l) {
            for (int i = 0; i < n; ++i)
                frame[size_t(i)] = l < frames ? samples[size_t(l * hop + i)] * window[size_t(i)] : 0.0f;
            kiss_fftr(fwd, frame.data(), out.data());
            for (int k = 0; k <= n / 2; ++k) {
                // Rounding differs with the order of the steps; the scale is that of the bins.
                const double tolerance = 2e-6 * n;
                QVERIFY2(std::fabs(fft.real(k)[l] - out[size_t(k)].r) < tolerance
                             && std::fabs(fft.imag(k)[l] - out[size_t(k)].i) < tolerance,
                         qPrintable(QString("n %1 lane %2 bin %3").arg(n).arg(l).arg(k)));
            }
        }
        kiss_fftr_free(fwd);
    }
}

QTEST_GUILESS_MAIN(TestBufferWindows)
#include "tst_buffer_windows.moc"
