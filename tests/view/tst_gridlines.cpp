// Grid lines of the display units and snapping to them: step choice, line
// values, unit factors, the tone grids, the reach of a snap, and degenerate
// areas that must neither hang nor move the position.
#include <QTest>
#include <cmath>
#include <limits>

#include "view/gridlines.h"

namespace {

const SnapFrame seconds{QRectF(0, 4000, 2, -4000), QSize(400, 300), 48000, 4096, 4};

} // namespace

class TestGridLines : public QObject
{
    Q_OBJECT
private slots:
    void stepHoldsAtLeastFiveSteps()
    {
        QCOMPARE(gridstep(1), 0.2);
        QCOMPARE(gridstep(7), 1.0);
        QCOMPARE(gridstep(4), 0.5);
        QCOMPARE(gridstep(1.9), 0.2);
        QCOMPARE(gridstep(22050), 2000.0);
        QCOMPARE(gridstep(0.003), 0.0005);
        for (double bad : {0.0, -3.0, std::nan(""), std::numeric_limits<double>::infinity()})
            QCOMPARE(gridstep(bad), 0.0);
    }

    void valuesAccumulateFromTheFirstLine()
    {
        const QVector<double> hz = gridvalues(0, 22050, 22050);
        QCOMPARE(hz.size(), 12);
        QCOMPARE(hz.first(), 0.0);
        QCOMPARE(hz.last(), 22000.0);
        // Lines below the start of the span are included from the floor down.
        const QVector<double> t = gridvalues(-1.2, 2.8, 4);
        QCOMPARE(t, QVector<double>({-1.5, -1, -0.5, 0, 0.5, 1, 1.5, 2, 2.5}));
    }

    // Values so large that adding the step leaves them as they are, or
    // non-finite bounds: no lines, and no endless loop.
    void unusableSpansGiveNoLines()
    {
        QVERIFY(gridvalues(1e17, 1e17 + 16, 16).isEmpty());
        QVERIFY(gridvalues(0, 1, 0).isEmpty());
        QVERIFY(gridvalues(std::nan(""), 1, 1).isEmpty());
        QVERIFY(gridvalues(0, std::numeric_limits<double>::infinity(), 1).isEmpty());
        // Bounds that disagree with the span are cut at the limit.
        QCOMPARE(gridvalues(0, 1e9, 1).size(), maxgridlines);
    }

    void unitFactors()
    {
        QCOMPARE(timeunitfactor(0, 48000, 4096, 4), 1.0);
        QCOMPARE(timeunitfactor(-1, 48000, 4096, 4), 1.0);
        QCOMPARE(timeunitfactor(-2, 48000, 4096, 4), 48000.0);
        QCOMPARE(timeunitfactor(-3, 48000, 4096, 4), 48000.0 / 4096);
        QCOMPARE(timeunitfactor(-4, 48000, 4096, 3), 48000.0 / 1365); // whole hops
        QCOMPARE(timeunitfactor(120, 48000, 4096, 4), 2.0);            // beats per minute
        QCOMPARE(timeunitfactor(-5, 48000, 4096, 4), 0.0);
        QCOMPARE(timeunitfactor(-2, 0, 4096, 4), 0.0);
        QCOMPARE(timeunitfactor(-3, 48000, 0, 4), 0.0);
        QCOMPARE(timeunitfactor(-4, 48000, 2, 4), 0.0);

        QCOMPARE(frequnitfactor(-10, 48000, 4096), 1.0);
        QCOMPARE(frequnitfactor(-11, 48000, 4096), 4096.0 / 48000);
        QCOMPARE(frequnitfactor(-12, 48000, 4096), 4096.0 / 48000);
        QCOMPARE(frequnitfactor(-11, 0, 4096), 0.0);
        QCOMPARE(frequnitfactor(-13, 48000, 4096), 0.0);
    }

    void toneGrids()
    {
        const QVector<ToneLine> notes = tonelines(-13);
        QCOMPARE(notes.size(), 144);
        QCOMPARE(notes[57].frequency, 440.0);
        QVERIFY(notes[48].octave && !notes[57].octave);
        const QVector<ToneLine> octaves = tonelines(-14);
        QCOMPARE(octaves.size(), 102);
        QCOMPARE(octaves.first().index, -30);
        QCOMPARE(octaves.first().frequency, 31.25);
        QVERIFY(octaves.first().octave && !octaves[1].octave);
        QVERIFY(tonelines(-10).isEmpty());
    }

    void distancesRoundHalfUp()
    {
        const AxisScale one{1, 1};
        QCOMPARE(one.distance(-2.5), -2);
        QCOMPARE(one.distance(2.5), 3);
        QCOMPARE(AxisScale({400, 2}).distance(0.03), 6);
        // Far-off values are held, not overflowed; an empty scale reaches nothing.
        QCOMPARE(one.distance(1e300), 2147418112);
        QCOMPARE(AxisScale({400, 0}).distance(0), AxisScale::unreachable);
        QCOMPARE(AxisScale({0, 2}).offset(1), 0);
        QCOMPARE(AxisScale({400, std::nan("")}).distance(0), AxisScale::unreachable);
    }

    // Lines every 40 pixels in time (0.2 s) and every 37.5 pixels in
    // frequency (500 Hz): within 6 pixels the position lands on the line.
    void linearSnapWithinSixPixels()
    {
        QCOMPARE(snapposition(QPointF(0.22, 1000 + 4 / 0.075), seconds, -1, -10), QPointF(0.2, 1000));
        QCOMPARE(snapposition(QPointF(0.23, 1000), seconds, -1, -10).x(), 0.2);   // 6 px
        QCOMPARE(snapposition(QPointF(0.235, 1000), seconds, -1, -10).x(), 0.235); // 7 px
        QCOMPARE(snapposition(QPointF(1.0, 1100), seconds, -1, -10).y(), 1100.0);  // 7.5 px
        // Minutes:seconds share the seconds grid; samples put a line every
        // 10000 samples (0.208 s).
        QCOMPARE(snapposition(QPointF(1.79, 10), seconds, 0, -10), QPointF(1.8, 0));
        QCOMPARE(snapposition(QPointF(1.79, 10), seconds, -2, -10).x(), 1.79);
        QVERIFY(std::fabs(snapposition(QPointF(1.68, 10), seconds, -2, -10).x() - 80000.0 / 48000) < 1e-12);
    }

    // The running value moves from line to line: the last one within reach of
    // the value reached so far wins.
    void snapWalksFromLineToLine()
    {
        const AxisScale one{1, 1};
        QCOMPARE(snaptolines(3, {0, 5, 10}, one), 10.0);
        QCOMPARE(snaptolines(3, {0, 10}, one), 0.0);
    }

    void toneSnap()
    {
        // 0..1000 Hz over 300 pixels: C#4 lies 4.7 pixels above C4 and is no
        // candidate, so a pointer right on it lands on C4.
        const SnapFrame tall{QRectF(0, 1000, 2, -1000), QSize(400, 300), 48000, 4096, 4};
        const double c4 = 440 * std::pow(2.0, 4 - 4.75);
        QCOMPARE(snapposition(QPointF(1, 275), tall, -1, -13).y(), c4);
        QCOMPARE(snapposition(QPointF(1, 279), tall, -1, -13).y(), c4);
        QCOMPARE(snapposition(QPointF(1, 445), tall, -1, -13).y(), 440.0);
        // 0..4000 Hz: D#5 is under 1 pixel away but within 10 pixels of C5,
        // and C5 and F5 are 7 pixels away.
        QCOMPARE(snapposition(QPointF(1, 610), seconds, -1, -13).y(), 610.0);
        QCOMPARE(snapposition(QPointF(1, 1010), tall, -1, -14).y(), 1000.0);
    }

    void otherUnitsAndEmptyAreasKeepThePosition()
    {
        const QPointF p(0.22, 1010);
        QCOMPARE(snapposition(p, seconds, -5, -20), p);
        QCOMPARE(snapposition(p, SnapFrame{QRectF(), QSize(400, 300), 48000, 4096, 4}, -1, -10), p);
        QCOMPARE(snapposition(p, SnapFrame{QRectF(0, 4000, 2, -4000), QSize(0, 0), 48000, 4096, 4}, -1, -13), p);
        const double nan = std::nan("");
        QCOMPARE(snapposition(p, SnapFrame{QRectF(nan, 4000, nan, -4000), QSize(400, 300), 48000, 4096, 4}, -1, -21).x(),
                 0.22);
        QCOMPARE(snapposition(p, SnapFrame{QRectF(1e17, 4000, 10, -4000), QSize(400, 300), 48000, 4096, 4}, -1, -21).x(),
                 0.22);
    }
};

QTEST_APPLESS_MAIN(TestGridLines)

#include "tst_gridlines.moc"
