// The area transfer between Buffers: every mode against values worked out from
// the bins before the call, the phase-carrying move, masks, clearing, and
// moves inside one Buffer.
#include <QtTest>
#include <cmath>
#include <complex>

#include "buffertestsupport.h"
#include "core/transferarea.h"

namespace {

constexpr int rate = 48000;
constexpr int length = 2 * rate;
constexpr int n = 256;
constexpr int overlap = 4;
constexpr int hop = n / overlap;

// Frame and bin ranges of a rectangle, rounded as the transfer does.
struct Rect
{
    QRectF area;
    int f0, f1, b0, b1; // frames [f0, f1), bins [b0, b1]
};

Rect rect(double x, double width, double top, double bottom)
{
    Rect r;
    r.area = QRectF(x, top, width, bottom - top);
    r.f0 = roundhalfup(x * rate / hop);
    r.f1 = roundhalfup((x + width) * rate / hop);
    r.b0 = roundhalfup(std::max(bottom, 0.0) * n / rate);
    r.b1 = roundhalfup(std::min(top, rate / 2.0) * n / rate);
    return r;
}

// bins[channel][frame - f][bin - b] over a block of frames and bins.
using Block = std::vector<std::vector<std::vector<QVector2D>>>;

Block grab(Buffer& b, int f0, int f1, int b0, int b1)
{
    Block out(size_t(b.channels));
    for (int c = 0; c < b.channels; ++c)
        for (int f = f0; f < f1; ++f) {
            std::vector<QVector2D> row;
            for (int k = b0; k <= b1; ++k)
                row.push_back(b.getbin(c, f, k));
            out[size_t(c)].push_back(row);
        }
    return out;
}

bool near(QVector2D a, QVector2D b, float tolerance = 1e-5f)
{
    return (a - b).length() <= tolerance * std::max(1.0f, a.length());
}

} // namespace

class TestBufferTransfer : public QObject
{
    Q_OBJECT

    std::unique_ptr<layer> srclayer, dstlayer;
    std::unique_ptr<Buffer> src, dst;

    void setup(int window = 2)
    {
        srclayer = makelayer(interleave(noise(length, 31), noise(length, 32)), rate, 2);
        dstlayer = makelayer(interleave(noise(length, 33, 0.5f), noise(length, 34, 0.5f)), rate, 2);
        src = std::make_unique<Buffer>();
        dst = std::make_unique<Buffer>();
        for (Buffer* b : {src.get(), dst.get()})
            b->infftparam(window, n, overlap, false);
        src->bindlayer(srclayer.get());
        dst->bindlayer(dstlayer.get());
    }

private slots:
    void initTestCase() { kvtestfolders(); }
    void binModes_data();
    void binModes();
    void quieterAndLouderOnTies();
    void moveCarriesThePhase();
    void movedSineStaysCoherent();
    void channelMaskSelectsChannels();
    void modeZeroEmptiesTheDestination();
    void moveInsideOneBufferCopiesCleanly_data();
    void moveInsideOneBufferCopiesCleanly();
    void cutInsideOneBufferSilences();
    void moveBeforeFrameZeroIsSkipped();
    void emptyRectangleOnlyFlushesAndRestores();
    void rectangleBeyondNyquistAndZero();
    void unboundDestinationRefuses();
    void layersHoldTheResult();
};

void TestBufferTransfer::binModes_data()
{
    QTest::addColumn<int>("mode");
    for (int mode : {2, 3, 4, 5, 6, 7, 8, 9, 12})
        QTest::addRow("mode %d", mode) << mode;
}

void TestBufferTransfer::binModes()
{
    QFETCH(int, mode);
    setup();
    const Rect r = rect(0.5, 0.1, 6000, 2000);
    // One frame and one bin of border on every side, to see that it stays.
    const Block a = grab(*src, r.f0 - 1, r.f1 + 1, r.b0 - 1, r.b1 + 1);
    const Block b = grab(*dst, r.f0 - 1, r.f1 + 1, r.b0 - 1, r.b1 + 1);
    transferarea(src.get(), dst.get(), r.area, 0, mode, 0, 0);
    const Block a2 = grab(*src, r.f0 - 1, r.f1 + 1, r.b0 - 1, r.b1 + 1);
    const Block b2 = grab(*dst, r.f0 - 1, r.f1 + 1, r.b0 - 1, r.b1 + 1);
    int taken = 0, kept = 0;
    for (int c = 0; c < 2; ++c)
        for (size_t i = 0; i < a[0].size(); ++i)
            for (size_t k = 0; k < a[0][0].size(); ++k) {
                const bool inside = i > 0 && i + 1 < a[0].size() && k > 0 && k + 1 < a[0][0].size();
                const QVector2D va = a[c][i][k], vb = b[c][i][k];
                QVector2D wantdst = vb, wantsrc = va;
                if (inside) {
                    const float pa = va.x() * va.x() + va.y() * va.y();
                    const float pb = vb.x() * vb.x() + vb.y() * vb.y();
                    switch (mode) {
                    case 3: wantdst = {0, 0}; break;
                    case 4: wantdst = va; wantsrc = {0, 0}; break;
                    case 5: wantdst = va; break;
                    case 6: wantdst = va + vb; break;
                    case 7: wantdst = va - vb; break;
                    case 8: wantdst = pa < pb ? va : vb; break;
                    case 9: wantdst = pa > pb ? va : vb; break;
                    default: break;
                    }
                    if (mode >= 8 && mode <= 9)
                        (wantdst == va ? taken : kept) += 1;
                }
                if (!near(b2[c][i][k], wantdst) || !near(a2[c][i][k], wantsrc))
                    QFAIL(qPrintable(QString("channel %1 frame %2 bin %3").arg(c).arg(r.f0 - 1 + int(i)).arg(r.b0 - 1 + int(k))));
            }
    if (mode >= 8 && mode <= 9)
        QVERIFY(taken > 100 && kept > 100);
    QCOMPARE(src->selection, QRectF());
}

void TestBufferTransfer::quieterAndLouderOnTies()
{
    setup();
    const Rect r = rect(0.5, 0.02, 3000, 2000);
    // The destination gets the source's bins turned by 90 degrees: the same
    // power, another value.
    for (int f = r.f0; f < r.f1; ++f)
        for (int k = r.b0; k <= r.b1; ++k) {
            const QVector2D v = src->getbin(0, f, k);
            dst->setbin(0, f, k, -v.y(), v.x());
        }
    dst->flush();
    const Block before = grab(*dst, r.f0, r.f1, r.b0, r.b1);
    transferarea(src.get(), dst.get(), r.area, 1, 8, 0, 0);
    transferarea(src.get(), dst.get(), r.area, 1, 9, 0, 0);
    const Block after = grab(*dst, r.f0, r.f1, r.b0, r.b1);
    for (size_t i = 0; i < before[0].size(); ++i)
        for (size_t k = 1; k + 1 < before[0][i].size(); ++k)
            QVERIFY(near(after[0][i][k], before[0][i][k]));
    // Halve the destination: now the louder is the source.
    for (int f = r.f0; f < r.f1; ++f)
        for (int k = r.b0; k <= r.b1; ++k)
            dst->setbin(0, f, k, 0.5f * dst->getbin(0, f, k).x(), 0.5f * dst->getbin(0, f, k).y());
    transferarea(src.get(), dst.get(), r.area, 1, 9, 0, 0);
    for (int f = r.f0; f < r.f1; ++f)
        for (int k = r.b0 + 1; k < r.b1; ++k)
            QVERIFY(near(dst->getbin(0, f, k), src->getbin(0, f, k)));
}

// A shift by 5 bins at overlap 4 advances the phase by 2 pi 5 / 4 per hop:
// a quarter turn each frame, the same for both channels.
void TestBufferTransfer::moveCarriesThePhase()
{
    setup();
    const Rect r = rect(0.5, 0.05, 5000, 3000);
    const int fo = 10, bo = 5;
    const Block a = grab(*src, r.f0, r.f1, r.b0, r.b1);
    transferarea(src.get(), dst.get(), r.area, 0, 1, float(fo * hop) / rate, float(bo * rate) / n);
    for (int c = 0; c < 2; ++c)
        for (int f = r.f0; f < r.f1; ++f) {
            const int turns = (f - r.f0) % 4;
            for (int k = r.b0; k <= r.b1; ++k) {
                QVector2D v = a[size_t(c)][size_t(f - r.f0)][size_t(k - r.b0)];
                for (int t = 0; t < turns; ++t)
                    v = QVector2D(-v.y(), v.x());
                if (!near(dst->getbin(c, f + fo, k + bo), v, 1e-5f))
                    QFAIL(qPrintable(QString("channel %1 frame %2 bin %3").arg(c).arg(f).arg(k)));
            }
        }
    // The source is left as it was.
    QVERIFY(near(src->getbin(0, r.f0, r.b0), a[0][0][0]));
}

// A sine moved up in frequency must come out of the layer as one steady sine:
// its level holds and its phase advances by the new bin's step every hop.
void TestBufferTransfer::movedSineStaysCoherent()
{
    const int k0 = 20, bo = 5;
    std::vector<float> tone(length);
    for (int i = 0; i < length; ++i)
        tone[size_t(i)] = float(0.5 * std::sin(2 * M_PI * k0 * i / n));
    srclayer = makelayer(tone, rate, 1);
    dstlayer = makelayer(std::vector<float>(length, 0.0f), rate, 1);
    Buffer s, d;
    s.infftparam(2, n, overlap, false);
    d.infftparam(2, n, overlap, false);
    s.bindlayer(srclayer.get());
    d.bindlayer(dstlayer.get());
    const double binhz = double(rate) / n;
    transferarea(&s, &d, QRectF(0.4, (k0 + 6) * binhz, 0.4, -12 * binhz), 0, 1, 0, float(bo * binhz));
    Buffer check;
    check.infftparam(2, n, overlap, false);
    check.bindlayer(dstlayer.get());
    const int k = k0 + bo;
    const double step = 2 * M_PI * k / overlap;
    for (int f = roundhalfup(0.5 * rate / hop); f < roundhalfup(0.7 * rate / hop); ++f) {
        const QVector2D x = check.getbin(0, f, k), y = check.getbin(0, f + 1, k);
        QVERIFY2(std::fabs(x.length() - 0.5) < 0.02, QByteArray::number(x.length()));
        const std::complex<double> ratio = std::complex<double>(y.x(), y.y()) / std::complex<double>(x.x(), x.y());
        const double err = std::remainder(std::arg(ratio) - step, 2 * M_PI);
        QVERIFY2(std::fabs(err) < 0.02, QByteArray::number(err));
        QVERIFY(check.getbin(0, f, k0).length() < 0.02);
    }
}

void TestBufferTransfer::channelMaskSelectsChannels()
{
    setup();
    const Rect r = rect(0.3, 0.05, 8000, 1000);
    const Block a = grab(*src, r.f0, r.f1, r.b0, r.b1);
    const Block b = grab(*dst, r.f0, r.f1, r.b0, r.b1);
    transferarea(src.get(), dst.get(), r.area, 0b10, 5, 0, 0);
    const Block b2 = grab(*dst, r.f0, r.f1, r.b0, r.b1);
    for (size_t i = 0; i < a[0].size(); ++i)
        for (size_t k = 0; k < a[0][i].size(); ++k) {
            QVERIFY(near(b2[0][i][k], b[0][i][k]));
            QVERIFY(near(b2[1][i][k], a[1][i][k]));
        }
}

void TestBufferTransfer::modeZeroEmptiesTheDestination()
{
    setup();
    dst->getsample(0, rate);
    transferarea(src.get(), dst.get(), QRectF(), 0, 0, 0, 0);
    QCOMPARE(dstlayer->length, 0.0);
    QCOMPARE(dst->cachestart, unsettime);
    QCOMPARE(dst->getsample(0, rate), 0.0f);
    QVERIFY(srclayer->length > 1.9);
    // The same for a Buffer cleared through itself, whatever the rectangle.
    transferarea(src.get(), src.get(), QRectF(0.1, 100, 0.1, -50), 1, 0, 0, 0);
    QCOMPARE(srclayer->length, 0.0);
}

void TestBufferTransfer::moveInsideOneBufferCopiesCleanly_data()
{
    QTest::addColumn<int>("fo");
    QTest::addColumn<int>("bo");
    QTest::newRow("later") << 3 << 0;
    QTest::newRow("earlier") << -3 << 0;
    QTest::newRow("higher") << 0 << 2;
    QTest::newRow("lower") << 0 << -2;
    QTest::newRow("later and higher") << 2 << 4;
}

// Source and destination overlap inside one Buffer: every destination bin must
// come from the bins as they were before the call, never from a bin the move
// has already written.
void TestBufferTransfer::moveInsideOneBufferCopiesCleanly()
{
    QFETCH(int, fo);
    QFETCH(int, bo);
    setup();
    const Rect r = rect(0.5, 0.1, 6000, 2000);
    const Block a = grab(*src, r.f0, r.f1, r.b0, r.b1);
    transferarea(src.get(), src.get(), r.area, 0, 1, float(fo * hop) / rate, float(bo * rate) / n);
    for (int c = 0; c < 2; ++c)
        for (int f = r.f0; f < r.f1; ++f) {
            // Four turns of a quarter each per frame: bo = 4 is a whole turn.
            const int turns = ((f - r.f0) * bo) % 4;
            for (int k = r.b0; k <= r.b1; ++k) {
                QVector2D v = a[size_t(c)][size_t(f - r.f0)][size_t(k - r.b0)];
                for (int t = 0; t < (turns + 4) % 4; ++t)
                    v = QVector2D(-v.y(), v.x());
                if (!near(src->getbin(c, f + fo, k + bo), v))
                    QFAIL(qPrintable(QString("channel %1 frame %2 bin %3").arg(c).arg(f).arg(k)));
            }
        }
}

void TestBufferTransfer::cutInsideOneBufferSilences()
{
    setup();
    const Rect r = rect(0.5, 0.05, 6000, 2000);
    const QVector2D outside = src->getbin(0, r.f1, r.b0);
    transferarea(src.get(), src.get(), r.area, 0, 4, 0, 0);
    for (int f = r.f0; f < r.f1; ++f)
        for (int k = r.b0; k <= r.b1; ++k)
            QCOMPARE(src->getbin(1, f, k), QVector2D(0, 0));
    QVERIFY(near(src->getbin(0, r.f1, r.b0), outside));
}

void TestBufferTransfer::moveBeforeFrameZeroIsSkipped()
{
    setup();
    const Rect r = rect(0, 6.0 * hop / rate, 5000, 1000);
    QCOMPARE(r.f0, 0);
    QCOMPARE(r.f1, 6);
    const Block a = grab(*src, 0, 6, r.b0, r.b1);
    transferarea(src.get(), dst.get(), r.area, 0, 1, -3.0f * hop / rate, 0);
    // Nothing was written for frames -3..-1: the write-back reaches back only
    // by the margins of frame 0.
    QVERIFY(dstlayer->start >= -2.0 * hop / rate - 1e-9);
    for (int f = 0; f < 3; ++f)
        for (int k = r.b0; k <= r.b1; ++k)
            QVERIFY(near(dst->getbin(0, f, k), a[0][size_t(f + 3)][size_t(k - r.b0)]));
}

void TestBufferTransfer::emptyRectangleOnlyFlushesAndRestores()
{
    setup();
    const QRectF sel(0.2, 9000, 0.3, -3000);
    src->inselection(sel);
    dst->inselection(sel);
    const IntRange bins = dst->selectionbins;
    const int far = roundhalfup(0.45 * rate / hop);
    const QVector2D before = dst->getbin(0, far, 40);
    QVERIFY(before != QVector2D(0, 0));
    dst->setsample(0, roundhalfup(0.3 * rate), 0.25f);
    QVERIFY(!dst->dirtysamples[0].empty());
    transferarea(src.get(), dst.get(), QRectF(0.3, 20000, 0, -20000), 0, 5, 0, 0);
    QVERIFY(dst->dirtysamples[0].empty());
    QCOMPARE(src->selection, sel);
    QCOMPARE(dst->selection, sel);
    QCOMPARE(dst->selectionbins.low, bins.low);
    QCOMPARE(dst->selectionbins.high, bins.high);
    QVERIFY(near(dst->getbin(0, far, 40), before));
    QVERIFY(dstlayer->dirtymin <= 0.3 && dstlayer->dirtymax >= 0.3);
}

void TestBufferTransfer::rectangleBeyondNyquistAndZero()
{
    setup();
    const Rect r = rect(0.6, 0.02, 30000, -500);
    QCOMPARE(r.b0, 0);
    QCOMPARE(r.b1, n / 2);
    const Block a = grab(*src, r.f0, r.f1, 0, n / 2);
    transferarea(src.get(), dst.get(), r.area, 0, 5, 0, 0);
    for (int f = r.f0; f < r.f1; ++f)
        for (int k : {0, 1, n / 2 - 1, n / 2})
            QVERIFY(near(dst->getbin(0, f, k), a[0][size_t(f - r.f0)][size_t(k)]));
}

void TestBufferTransfer::unboundDestinationRefuses()
{
    setup();
    Buffer empty;
    empty.infftparam(2, n, overlap, false);
    const QVector2D before = src->getbin(0, 300, 10);
    transferarea(src.get(), &empty, QRectF(0.1, 5000, 0.5, -4000), 0, 4, 0, 0);
    QVERIFY(empty.writewithoutlayer);
    QCOMPARE(src->getbin(0, 300, 10), before);
    transferarea(src.get(), &empty, QRectF(), 0, 0, 0, 0);
    QVERIFY(srclayer->length > 1.9);
}

// After the call the destination's layer holds the copied signal: a full-band
// copy of a stretch of time reproduces the source's samples there.
void TestBufferTransfer::layersHoldTheResult()
{
    setup(4);
    transferarea(src.get(), dst.get(), QRectF(0.5, rate, 0.5, -rate), 0, 5, 0, 0);
    const auto want = readlayer(srclayer.get(), roundhalfup(0.6 * rate), 1000, 1);
    const auto got = readlayer(dstlayer.get(), roundhalfup(0.6 * rate), 1000, 1);
    for (int i = 0; i < 1000; ++i)
        QVERIFY2(std::fabs(got[size_t(i)] - want[size_t(i)]) < 1e-5, QByteArray::number(i));
    // Outside the rectangle the destination keeps its own signal.
    const auto mine = noise(length, 34, 0.5f);
    QCOMPARE(readlayer(dstlayer.get(), roundhalfup(0.2 * rate), 1, 1)[0], mine[size_t(roundhalfup(0.2 * rate))]);
}

QTEST_GUILESS_MAIN(TestBufferTransfer)
#include "tst_buffer_transfer.moc"
