// Analysis followed by resynthesis gives the layer back, for every window,
// a spread of sizes, every overlap, with and without the sub-window; a band
// selection keeps its band only.
#include <QtTest>
#include <cmath>

#include "buffertestsupport.h"

namespace {

constexpr int rate = 48000;
constexpr int length = 200000; // samples per channel, more than the cache window

} // namespace

class TestBufferRoundtrip : public QObject
{
    Q_OBJECT

    std::vector<float> left, right;
    std::unique_ptr<layer> source;
    double worstseen = 0;

private slots:
    void initTestCase();
    void bandSignalMatchesLayer_data();
    void bandSignalMatchesLayer();
    void frameEditsWriteTheLayerBack_data();
    void frameEditsWriteTheLayerBack();
    void bandSelectionKeepsItsBand_data();
    void bandSelectionKeepsItsBand();
    void cleanupTestCase();
};

void TestBufferRoundtrip::initTestCase()
{
    kvtestfolders();
    left = noise(length, 1);
    right = sines(length, rate);
    source = makelayer(interleave(left, right), rate, 2);
}

void TestBufferRoundtrip::bandSignalMatchesLayer_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("subwin");
    for (int type = 0; type <= 4; ++type)
        for (int size : {64, 256, 1024, 4096, 16384, 65536})
            for (bool sub : {false, true})
                QTest::addRow("type %d size %d%s", type, size, sub ? " sub" : "") << type << size << sub;
}

// A selection over the whole band makes the band signal the full inverse
// transform of the analysed frames, so it must equal the layer wherever the
// window is valid. All overlaps run on the same layer.
void TestBufferRoundtrip::bandSignalMatchesLayer()
{
    QFETCH(int, type);
    QFETCH(int, size);
    QFETCH(bool, subwin);
    Buffer b; // one Buffer through all overlaps: the parameters change under it
    for (int overlap : {2, 4, 8, 16}) {
        b.infftparam(type, size, overlap, subwin);
        b.bindlayer(source.get());
        b.inselection(QRectF(0, rate / 2.0, 100, -rate / 2.0));
        QCOMPARE(b.selectionbins.low, 0);
        QCOMPARE(b.selectionbins.high, size / 2);
        b.getsample(0, length / 2); // loads and analyses the window
        QVERIFY(std::abs(b.cachestartsample + Buffer::cachesamples / 2 - length / 2) <= b.hop() / 2);
        // The inverse rewrote [0, (frames - 1) x hop) of the window.
        const int first = std::max(b.cachestartsample, 0);
        const int end = std::min(b.cachestartsample + Buffer::cachesamples - b.hop(), length);
        QVERIFY(end - first >= Buffer::cachesamples / 2);
        double worst = 0;
        for (int c = 0; c < 2; ++c) {
            const std::vector<float>& want = c ? right : left;
            for (int s = first; s < end; ++s) {
                const float got = b.timebufferB[c][s - b.cachestartsample];
                worst = std::max(worst, double(std::fabs(got - want[size_t(s)])));
            }
        }
        worstseen = std::max(worstseen, worst);
        QVERIFY2(worst < 5e-6, QByteArray("overlap ") + QByteArray::number(overlap) + " error "
                                   + QByteArray::number(worst));
    }
}

void TestBufferRoundtrip::frameEditsWriteTheLayerBack_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("overlap");
    QTest::addColumn<bool>("subwin");
    for (int type = 0; type <= 4; ++type)
        QTest::addRow("type %d", type) << type << 2048 << 4 << (type % 2 == 1);
    QTest::newRow("largest") << 4 << 65536 << 16 << true;
    QTest::newRow("smallest") << 2 << 64 << 2 << false;
}

// Doubling a bin of the first and last valid frame marks the whole window
// dirty; the write-back resynthesises it into the layer, and halving it again
// gives the layer back.
void TestBufferRoundtrip::frameEditsWriteTheLayerBack()
{
    QFETCH(int, type);
    QFETCH(int, size);
    QFETCH(int, overlap);
    QFETCH(bool, subwin);
    auto l = makelayer(interleave(left, right), rate, 2);
    Buffer b;
    b.infftparam(type, size, overlap, subwin);
    b.bindlayer(l.get());
    b.getsample(0, length / 2);
    for (int c = 0; c < 2; ++c)
        for (int f : {b.cachedframes.low, b.cachedframes.high}) {
            const QVector2D v = b.getbin(c, f, 1);
            b.setbin(c, f, 1, 2 * v.x(), 2 * v.y());
        }
    const int frames = b.cachedframes.high - b.cachedframes.low;
    QVERIFY(!b.dirtyframes[0].empty());
    l->resetdirty();
    b.flush();
    QVERIFY(b.dirtyframes[0].empty() && b.dirtyframes[1].empty());
    for (int c = 0; c < 2; ++c)
        for (int f : {b.cachedframes.low, b.cachedframes.high}) {
            const QVector2D v = b.getbin(c, f, 1);
            b.setbin(c, f, 1, 0.5f * v.x(), 0.5f * v.y());
        }
    b.flush();
    // What was written covers the edited frames and their margins.
    const int low = roundhalfup(l->dirtymin * rate), high = roundhalfup(l->dirtymax * rate);
    QVERIFY(high - low >= (frames + 2) * b.hop());
    QVERIFY(low >= 0 && high <= length);
    const int count = high - low;
    double worst = 0;
    for (int c = 0; c < 2; ++c) {
        const auto got = readlayer(l.get(), low, count, c);
        const std::vector<float>& want = c ? right : left;
        for (int i = 0; i < count; ++i)
            worst = std::max(worst, double(std::fabs(got[size_t(i)] - want[size_t(low + i)])));
    }
    worstseen = std::max(worstseen, worst);
    QVERIFY2(worst < 5e-6, QByteArray::number(worst));
}

void TestBufferRoundtrip::bandSelectionKeepsItsBand_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("overlap");
    QTest::newRow("hann 1024/4") << 2 << 1024 << 4;
    QTest::newRow("blackman-harris 4096/8") << 4 << 4096 << 8;
    QTest::newRow("blackman 2048/2") << 3 << 2048 << 2;
}

// 1 kHz and 10 kHz sines; a selection of 5..15 kHz over part of the time keeps
// the 10 kHz sine, silences the 1 kHz one, and reads nothing outside its time.
void TestBufferRoundtrip::bandSelectionKeepsItsBand()
{
    QFETCH(int, type);
    QFETCH(int, size);
    QFETCH(int, overlap);
    std::vector<float> low(length), high(length);
    for (int i = 0; i < length; ++i) {
        low[size_t(i)] = float(0.5 * std::sin(2 * M_PI * 1000.0 * i / rate));
        high[size_t(i)] = float(0.25 * std::sin(2 * M_PI * 10000.0 * i / rate + 0.3));
    }
    std::vector<float> mix(length);
    for (int i = 0; i < length; ++i)
        mix[size_t(i)] = low[size_t(i)] + high[size_t(i)];
    auto l = makelayer(mix, rate, 1);
    Buffer b;
    b.infftparam(type, size, overlap, false);
    b.bindlayer(l.get());
    const double t0 = 1.5, t1 = 2.5;
    b.inselection(QRectF(t0, 15000, t1 - t0, -10000));
    QCOMPARE(b.selectionbins.low, b.freqtobin(5000));
    QCOMPARE(b.selectionbins.high, b.freqtobin(15000));
    double worst = 0;
    for (int s = int(t0 * rate); s <= int(t1 * rate); s += 7)
        worst = std::max(worst, double(std::fabs(b.getsample(0, s) - high[size_t(s)])));
    QVERIFY2(worst < 1e-3, QByteArray::number(worst));
    QCOMPARE(b.getsample(0, int(t0 * rate) - 10), 0.0f);
    QCOMPARE(b.getsample(0, int(t1 * rate) + 10), 0.0f);
    // The selection's band does not leak into the full-band signal.
    QVERIFY(std::fabs(b.timebufferA[0][int(2.0 * rate) - b.cachestartsample] - mix[size_t(2.0 * rate)]) < 1e-6);
    // Without a selection the band signal is the layer again.
    b.inselection(QRectF());
    QCOMPARE(b.getsample(0, int(2.0 * rate)), mix[size_t(2.0 * rate)]);
}

void TestBufferRoundtrip::cleanupTestCase()
{
    qInfo("largest round-trip error seen: %g", worstseen);
    source.reset();
}

QTEST_GUILESS_MAIN(TestBufferRoundtrip)
#include "tst_buffer_roundtrip.moc"
