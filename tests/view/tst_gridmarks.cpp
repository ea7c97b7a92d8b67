// The grid a view draws for a known display area: line positions, the
// brighter line at zero, labels in each unit, the thinning of the note and
// octave grids, and the resolution test of the phase-velocity warning.
#include <QTest>
#include <cmath>

#include "view/gridmarks.h"
#include "view/labeltexts.h"

namespace {

QVector<double> positions(const QVector<GridMark>& marks)
{
    QVector<double> p;
    for (const GridMark& m : marks)
        p << m.position;
    return p;
}

QStringList labels(const QVector<GridMark>& marks)
{
    QStringList l;
    for (const GridMark& m : marks)
        l << m.label;
    return l;
}

bool near(const QVector<double>& a, const QVector<double>& b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i)
        if (std::fabs(a[i] - b[i]) > 1e-9 * std::max(1.0, std::fabs(b[i])))
            return false;
    return true;
}

} // namespace

class TestGridMarks : public QObject
{
    Q_OBJECT
private slots:
    void oneSecondInSeconds()
    {
        const QVector<GridMark> marks = timegridmarks(QRectF(0, 4000, 1, -4000), -1, 48000, 4096, 4);
        QVERIFY(near(positions(marks), {0, 0.2, 0.4, 0.6, 0.8, 1.0}));
        QCOMPARE(labels(marks), QStringList({"0", "0.2", "0.4", "0.6", "0.8", "1"}));
        QCOMPARE(marks[0].grey, 0.15);
        for (int i = 1; i < marks.size(); ++i)
            QCOMPARE(marks[i].grey, 0.07);
    }

    void clockLabelsKeepTheirMilliseconds()
    {
        const QVector<GridMark> marks = timegridmarks(QRectF(0, 4000, 2, -4000), 0, 48000, 4096, 4);
        // The sum of eleven steps falls a hair short of the end: a twelfth line,
        // beyond the view.
        QCOMPARE(marks.size(), 12);
        QCOMPARE(marks[8].label, QString("00:01.600"));
        QCOMPARE(marks[10].label, QString("00:02.000"));
        QCOMPARE(marks[11].label, QString("00:02.200"));
    }

    void timeLinesInOtherUnits()
    {
        // 120 beats per minute over 4 s: 8 beats, a line and label per beat.
        QVector<GridMark> marks = timegridmarks(QRectF(0, 4000, 4, -4000), 120, 48000, 4096, 4);
        QVERIFY(near(positions(marks), {0, 0.5, 1, 1.5, 2, 2.5, 3, 3.5, 4}));
        QCOMPARE(labels(marks).last(), QString("8"));

        // 100 s at 20 kHz: two million samples, written in the general format.
        marks = timegridmarks(QRectF(0, 4000, 100, -4000), -2, 20000, 4096, 4);
        QCOMPARE(marks.size(), 11);
        QCOMPARE(marks[1].position, 10.0);
        QCOMPARE(marks[1].label, QString("200000"));
        QCOMPARE(marks.last().label, QString("2e+06"));

        // Windows of 4096 at 48 kHz: 11.72 per second, a line every second window.
        marks = timegridmarks(QRectF(0, 4000, 1, -4000), -3, 48000, 4096, 4);
        QCOMPARE(labels(marks), QStringList({"0", "2", "4", "6", "8", "10"}));
        QCOMPARE(marks[3].position, 6 * 4096 / 48000.0);

        // Frames of a hop of 1024 at 48 kHz over 0.8 s: 37.5 frames, a line every 5.
        marks = timegridmarks(QRectF(0, 4000, 0.8, -4000), -4, 48000, 4096, 4);
        QCOMPARE(labels(marks), QStringList({"0", "5", "10", "15", "20", "25", "30", "35"}));
        QCOMPARE(marks[1].position, 5 * 1024 / 48000.0);

        // A view that starts before zero: the lines start from the step below.
        marks = timegridmarks(QRectF(-1.2, 4000, 4, -4000), -1, 48000, 4096, 4);
        QVERIFY(near(positions(marks), {-1.5, -1, -0.5, 0, 0.5, 1, 1.5, 2, 2.5}));
        QCOMPARE(marks[3].grey, 0.15);

        QVERIFY(timegridmarks(QRectF(0, 4000, 1, -4000), -5, 48000, 4096, 4).isEmpty());
        QVERIFY(timegridmarks(QRectF(0, 4000, 1, -4000), -2, 0, 4096, 4).isEmpty());
    }

    // Accumulating -0.6 by 0.2 passes zero by a hair: that line stays dim.
    void zeroMissedByAccumulationStaysDim()
    {
        const QVector<GridMark> marks = timegridmarks(QRectF(-0.6, 4000, 1, -4000), -1, 48000, 4096, 4);
        bool nearzero = false;
        for (const GridMark& m : marks) {
            QCOMPARE(m.grey, 0.07);
            nearzero = nearzero || std::fabs(m.position) < 1e-9;
        }
        QVERIFY(nearzero);
    }

    void linearFrequencyLines()
    {
        QVector<GridMark> marks = freqgridmarks(QRectF(0, 22050, 1, -22050), 300, -10, 48000, 4096);
        QCOMPARE(marks.size(), 12);
        QCOMPARE(marks[0].position, 0.0);
        QCOMPARE(marks[0].grey, 0.15);
        QCOMPARE(marks[11].position, 22000.0);
        QCOMPARE(marks[11].grey, 0.07);
        QCOMPARE(marks[1].label, QString("2000"));

        // 0..24 kHz is 0..2048 cycles per window at 48 kHz and 4096 points.
        marks = freqgridmarks(QRectF(0, 24000, 1, -24000), 300, -11, 48000, 4096);
        QCOMPARE(marks.size(), 11);
        QCOMPARE(marks[1].position, 200 * 48000 / 4096.0);
        QCOMPARE(marks[1].label, "200x2" + QString(QChar(piglyph)));
        marks = freqgridmarks(QRectF(0, 24000, 1, -24000), 300, -12, 48000, 4096);
        QCOMPARE(marks[10].label, QString("2000x360"));

        QVERIFY(freqgridmarks(QRectF(0, 24000, 1, -24000), 300, -9, 48000, 4096).isEmpty());
    }

    void noteGridThinsWithTheHeight()
    {
        // 100 pixels per Hz: every one of the 144 notes is drawn and labelled.
        QVector<GridMark> marks = freqgridmarks(QRectF(0, 1000, 1, -1000), 100000, -13, 48000, 4096);
        QCOMPARE(marks.size(), 144);
        QCOMPARE(marks[57].label, QString("A 4"));
        QCOMPARE(marks[57].position, 440.0);
        QCOMPARE(marks[57].grey, 0.07);
        QCOMPARE(marks[48].label, QString("C 4"));
        QCOMPARE(marks[48].grey, 0.15);

        // 0..4 kHz in 300 pixels: the C of every octave stays, the other notes
        // only more than 10 pixels (133 Hz) above the line before.
        marks = freqgridmarks(QRectF(0, 4000, 1, -4000), 300, -13, 48000, 4096);
        int octaves = 0;
        double last = 0;
        for (const GridMark& m : marks) {
            if (m.grey == 0.15) {
                ++octaves;
                QVERIFY(m.label.startsWith("C "));
            } else {
                QVERIFY2(std::floor((m.position - last) * 300 / 4000 + 0.5) > 10, qPrintable(m.label));
            }
            last = m.position;
        }
        QCOMPARE(octaves, 12);
        QCOMPARE(labels(marks).mid(0, 10),
                 QStringList({"C 0", "C 1", "C 2", "C 3", "C 4", "G#4", "C 5", "F 5", "A 5", "C 6"}));
        QCOMPARE(marks.size(), 73);
    }

    void octaveGridFromItsLowestLine()
    {
        const QVector<GridMark> marks = freqgridmarks(QRectF(0, 1000, 1, -1000), 100000, -14, 48000, 4096);
        QCOMPARE(marks.size(), 102);
        QCOMPARE(marks[0].position, 31.25);
        QCOMPARE(marks[0].label, QString("31.25"));
        QCOMPARE(marks[30].position, 1000.0);
        QCOMPARE(marks[30].grey, 0.15);
        QCOMPARE(labels(marks).mid(30, 7), QStringList({"1000", "", "1/3", "1/2", "2/3", "", "2000"}));
        // Squeezed into 20 pixels the sixths go; the whole octaves stay.
        const QVector<GridMark> thin = freqgridmarks(QRectF(0, 24000, 1, -24000), 20, -14, 48000, 4096);
        int octaves = 0;
        double last = 0;
        for (const GridMark& m : thin) {
            octaves += m.grey == 0.15 ? 1 : 0;
            if (m.grey != 0.15)
                QVERIFY(std::floor((m.position - last) * 20 / 24000 + 0.5) > 10);
            last = m.position;
        }
        QCOMPARE(octaves, 17);
        // Inside the view only the whole octaves remain.
        int inside = 0;
        for (const GridMark& m : thin)
            inside += m.position <= 24000 ? 1 : 0;
        QCOMPARE(inside, 10);
        QCOMPARE(thin[1].position, 62.5);
    }

    void phaseResolution()
    {
        QRectF area[3];
        QSize res[3] = {QSize(-1, -1), QSize(-1, -1), QSize(-1, -1)};
        QCOMPARE(phasecolumnsperwindow(area, res, 48000, 4096), 0.0);
        // The mix: 400 columns over 2 s are 17 columns per 4096-point window.
        area[0] = QRectF(0, 4000, 2, -4000);
        res[0] = QSize(400, 300);
        QCOMPARE(phasecolumnsperwindow(area, res, 48000, 4096), 200 / (48000 / 4096.0));
        // The current layer comes first once it has more than one column and row.
        area[1] = QRectF(0, 4000, 200, -4000);
        res[1] = QSize(1, 300);
        QCOMPARE(phasecolumnsperwindow(area, res, 48000, 4096), 200 / (48000 / 4096.0));
        res[1] = QSize(400, 300);
        QVERIFY(phasecolumnsperwindow(area, res, 48000, 4096) < 2);
    }
};

QTEST_APPLESS_MAIN(TestGridMarks)
#include "tst_gridmarks.moc"
