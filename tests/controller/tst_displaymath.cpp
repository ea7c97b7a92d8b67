// The rules of the visible area: clamps, zoom and pan steps, scroll-bar
// scales and the edge spin boxes.
#include <QtTest>
#include <cmath>
#include <limits>

#include "controller/displaymath.h"

Q_DECLARE_METATYPE(DisplayEdge)
Q_DECLARE_METATYPE(ScrollSetting)

namespace {

constexpr double notanumber = std::numeric_limits<double>::quiet_NaN();
constexpr double infinite = std::numeric_limits<double>::infinity();

bool near(const QRectF& a, const QRectF& b)
{
    auto eq = [](double u, double v) { return std::fabs(u - v) <= 1e-9 * std::max(1.0, std::fabs(v)); };
    return eq(a.x(), b.x()) && eq(a.y(), b.y()) && eq(a.width(), b.width())
           && eq(a.height(), b.height());
}

QByteArray text(const QRectF& r)
{
    return QByteArray("(") + QByteArray::number(r.x(), 'g', 12) + ", "
           + QByteArray::number(r.y(), 'g', 12) + ", " + QByteArray::number(r.width(), 'g', 12)
           + ", " + QByteArray::number(r.height(), 'g', 12) + ")";
}

#define COMPARE_AREA(actual, expected)                                                           \
    QVERIFY2(near(actual, expected), text(actual) + " != " + text(expected))

DisplayExtent project(int rate, double start, double length)
{
    DisplayExtent e;
    e.samplerate = rate;
    e.haslayers = true;
    e.start = start;
    e.length = length;
    e.layersrate = rate;
    return e;
}

} // namespace

class TestDisplayMath : public QObject
{
    Q_OBJECT
private slots:
    void clamp_data()
    {
        QTest::addColumn<QRectF>("request");
        QTest::addColumn<int>("rate");
        QTest::addColumn<bool>("haslayers");
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("length");
        QTest::addColumn<QRectF>("expected");

        QTest::newRow("span above half the rate is cut to it")
            << QRectF(0, 30000, 10, -30000) << 44100 << true << 0.0 << 60.0
            << QRectF(0, 22050, 10, -22050);
        QTest::newRow("band below 0 Hz moves up, span kept")
            << QRectF(0, 1000, 10, -3000) << 44100 << true << 0.0 << 60.0
            << QRectF(0, 3000, 10, -3000);
        QTest::newRow("band above Nyquist moves down")
            << QRectF(0, 25000, 10, -1000) << 44100 << true << 0.0 << 60.0
            << QRectF(0, 22050, 10, -1000);
        QTest::newRow("longer than the project: cut, then at the start")
            << QRectF(5, 1000, 100, -1000) << 44100 << true << 0.0 << 60.0
            << QRectF(0, 1000, 60, -1000);
        QTest::newRow("before a late project start")
            << QRectF(-1, 1000, 4, -1000) << 48000 << true << 2.0 << 10.0
            << QRectF(2, 1000, 4, -1000);
        QTest::newRow("past the project end")
            << QRectF(58, 1000, 4, -1000) << 44100 << true << 0.0 << 60.0
            << QRectF(56, 1000, 4, -1000);
        QTest::newRow("no project format: taken as it is")
            << QRectF(100, 50000, 5, -90000) << 0 << true << 0.0 << 60.0
            << QRectF(100, 50000, 5, -90000);
        QTest::newRow("no all-layers container: taken as it is")
            << QRectF(100, 50000, 5, -90000) << 44100 << false << 0.0 << 60.0
            << QRectF(100, 50000, 5, -90000);
        QTest::newRow("no extent yet: only the frequency is clamped")
            << QRectF(100, 30000, 5, -1000) << 44100 << true << unsettime << 0.0
            << QRectF(100, 22050, 5, -1000);
        QTest::newRow("zero length and span become the smallest area")
            << QRectF(3, 500, 0, 0) << 44100 << true << 0.0 << 60.0
            << QRectF(3, 500, 0.001, -1);
        QTest::newRow("inverted area becomes the smallest area")
            << QRectF(3, 500, -2, 400) << 0 << false << 0.0 << 0.0
            << QRectF(3, 500, 0.001, -1);
        QTest::newRow("project shorter than 1 ms keeps its start")
            << QRectF(0, 500, 10, -100) << 44100 << true << 1.0 << 0.0005
            << QRectF(1, 500, 0.001, -100);
    }

    void clamp()
    {
        QFETCH(QRectF, request);
        QFETCH(int, rate);
        QFETCH(bool, haslayers);
        QFETCH(double, start);
        QFETCH(double, length);
        QFETCH(QRectF, expected);
        DisplayExtent e = project(rate, start, length);
        e.haslayers = haslayers;
        const auto result = clampdisplayarea(request, e);
        QVERIFY(result.has_value());
        COMPARE_AREA(*result, expected);
        QVERIFY(result->width() >= mindisplaylength);
        QVERIFY(-result->height() >= mindisplayspan);
    }

    void clamprefusesnonfinite_data()
    {
        QTest::addColumn<QRectF>("request");
        QTest::newRow("start not a number") << QRectF(notanumber, 100, 1, -10);
        QTest::newRow("infinite top") << QRectF(0, infinite, 1, -10);
        QTest::newRow("infinite length") << QRectF(0, 100, infinite, -10);
        QTest::newRow("span not a number") << QRectF(0, 100, 1, notanumber);
    }

    void clamprefusesnonfinite()
    {
        QFETCH(QRectF, request);
        QVERIFY(!clampdisplayarea(request, project(44100, 0, 60)).has_value());
        QVERIFY(!clampdisplayarea(request, DisplayExtent()).has_value());
    }

    void steps_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<int>("direction");
        QTest::addColumn<QRectF>("area");
        QTest::addColumn<QRectF>("expected");
        QTest::newRow("time zoom in keeps the centre")
            << "zoomtime" << 1 << QRectF(0, 1000, 15, -500) << QRectF(1, 1000, 13, -500);
        QTest::newRow("time zoom in on 40 s")
            << "zoomtime" << 1 << QRectF(0, 1000, 40, -500)
            << QRectF(40.0 / 15, 1000, 40 - 80.0 / 15, -500);
        QTest::newRow("time zoom out")
            << "zoomtime" << -1 << QRectF(15, 1000, 15, -500) << QRectF(14, 1000, 17, -500);
        QTest::newRow("frequency zoom in: both edges inward by span/15")
            << "zoomfreq" << 1 << QRectF(0, 1000, 10, -300) << QRectF(0, 980, 10, -260);
        QTest::newRow("frequency zoom out")
            << "zoomfreq" << -1 << QRectF(0, 1000, 10, -300) << QRectF(0, 1020, 10, -340);
        QTest::newRow("time pan later by length/40")
            << "pantime" << 1 << QRectF(10, 1000, 40, -500) << QRectF(11, 1000, 40, -500);
        QTest::newRow("time pan earlier")
            << "pantime" << -1 << QRectF(10, 1000, 40, -500) << QRectF(9, 1000, 40, -500);
        QTest::newRow("frequency pan up by span/40")
            << "panfreq" << 1 << QRectF(0, 1000, 10, -400) << QRectF(0, 1010, 10, -400);
        QTest::newRow("frequency pan down")
            << "panfreq" << -1 << QRectF(0, 1000, 10, -400) << QRectF(0, 990, 10, -400);
        QTest::newRow("direction 0 changes nothing")
            << "zoomfreq" << 0 << QRectF(0, 1000, 10, -400) << QRectF(0, 1000, 10, -400);
    }

    void steps()
    {
        QFETCH(QString, step);
        QFETCH(int, direction);
        QFETCH(QRectF, area);
        QFETCH(QRectF, expected);
        QRectF result;
        if (step == "zoomtime")
            result = zoomtime(area, direction);
        else if (step == "zoomfreq")
            result = zoomfreq(area, direction);
        else if (step == "pantime")
            result = pantime(area, direction);
        else
            result = panfreq(area, direction);
        COMPARE_AREA(result, expected);
    }

    void repeatedzoomnevercollapses()
    {
        QRectF area(0, 20000, 30, -20000);
        const DisplayExtent e = project(44100, 0, 60);
        for (int i = 0; i < 2000; ++i)
            area = *clampdisplayarea(zoomfreq(zoomtime(area, 1), 1), e);
        QVERIFY(area.width() >= mindisplaylength);
        QVERIFY(-area.height() >= mindisplayspan);
        QVERIFY(isfinitearea(area));
    }

    void scrollsettings_data()
    {
        QTest::addColumn<QString>("bar");
        QTest::addColumn<QRectF>("area");
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("length");
        QTest::addColumn<int>("rate");
        QTest::addColumn<ScrollSetting>("expected");
        QTest::newRow("time bar from 3.7 s")
            << "time" << QRectF(3.7, 1000, 10, -1000) << 0.0 << 60.0 << 44100
            << ScrollSetting{0, 500, 100, 37};
        QTest::newRow("time bar of a project starting at 2 s")
            << "time" << QRectF(3, 1000, 4, -1000) << 2.0 << 10.0 << 44100
            << ScrollSetting{20, 80, 40, 30};
        QTest::newRow("time bar without extent")
            << "time" << QRectF(0, 1000, 10, -1000) << unsettime << 0.0 << 44100
            << ScrollSetting{0, 0, 100, 0};
        QTest::newRow("frequency bar over all frequencies")
            << "freq" << QRectF(0, 22050, 10, -22050) << 0.0 << 60.0 << 44100
            << ScrollSetting{0, 0, 2205, 0};
        QTest::newRow("frequency bar over a band from 5 kHz")
            << "freq" << QRectF(0, 10000, 10, -5000) << 0.0 << 60.0 << 44100
            << ScrollSetting{-1705, 0, 500, -500};
    }

    void scrollsettings()
    {
        QFETCH(QString, bar);
        QFETCH(QRectF, area);
        QFETCH(double, start);
        QFETCH(double, length);
        QFETCH(int, rate);
        QFETCH(ScrollSetting, expected);
        const ScrollSetting s = bar == "time" ? timescrollsetting(area, start, length)
                                              : freqscrollsetting(area, rate);
        QCOMPARE(s.minimum, expected.minimum);
        QCOMPARE(s.maximum, expected.maximum);
        QCOMPARE(s.pagestep, expected.pagestep);
        QCOMPARE(s.value, expected.value);
        // The value the bar is given never reads as a move of the area.
        if (bar == "time")
            QVERIFY(!areafortimescroll(area, s.value).has_value());
        else
            QVERIFY(!areaforfreqscroll(area, s.value).has_value());
    }

    void scrollvalues()
    {
        const QRectF area(0, 22050, 10, -1000);
        COMPARE_AREA(*areafortimescroll(area, 37), QRectF(3.7, 22050, 10, -1000));
        // The bar's minimum stands for the highest band, 0 for a band from 0 Hz.
        const ScrollSetting s = freqscrollsetting(area, 44100);
        COMPARE_AREA(*areaforfreqscroll(area, 0), QRectF(0, 1000, 10, -1000));
        const QRectF top = *areaforfreqscroll(QRectF(0, 1000, 10, -1000), s.minimum);
        COMPARE_AREA(top, QRectF(0, 22050, 10, -1000));
    }

    void edges_data()
    {
        QTest::addColumn<DisplayEdge>("edge");
        QTest::addColumn<double>("value");
        QTest::addColumn<QRectF>("expected");
        // All rows edit the area (2, 5000, 8, -2000): 2 s to 10 s, 3000 Hz to 5000 Hz.
        QTest::newRow("start keeps the end") << DisplayEdge::start << 4.0 << QRectF(4, 5000, 6, -2000);
        QTest::newRow("start past the end leaves 1 ms")
            << DisplayEdge::start << 12.0 << QRectF(12, 5000, 0.001, -2000);
        QTest::newRow("end keeps the start") << DisplayEdge::end << 5.0 << QRectF(2, 5000, 3, -2000);
        QTest::newRow("end before the start leaves 1 ms ending there")
            << DisplayEdge::end << 1.0 << QRectF(0.999, 5000, 0.001, -2000);
        QTest::newRow("length") << DisplayEdge::length << 5.0 << QRectF(2, 5000, 5, -2000);
        QTest::newRow("length 0 is 1 ms") << DisplayEdge::length << 0.0 << QRectF(2, 5000, 0.001, -2000);
        QTest::newRow("high keeps the low edge") << DisplayEdge::high << 8000.0 << QRectF(2, 8000, 8, -5000);
        QTest::newRow("high below the low edge leaves 1 Hz")
            << DisplayEdge::high << 2000.0 << QRectF(2, 2000, 8, -1);
        QTest::newRow("low keeps the top") << DisplayEdge::low << 1000.0 << QRectF(2, 5000, 8, -4000);
        QTest::newRow("low above the top leaves 1 Hz")
            << DisplayEdge::low << 6000.0 << QRectF(2, 6001, 8, -1);
        QTest::newRow("range keeps the low edge") << DisplayEdge::range << 500.0 << QRectF(2, 3500, 8, -500);
        QTest::newRow("range 0 is 1 Hz") << DisplayEdge::range << 0.0 << QRectF(2, 3001, 8, -1);
    }

    void edges()
    {
        QFETCH(DisplayEdge, edge);
        QFETCH(double, value);
        QFETCH(QRectF, expected);
        const auto result = editdisplayedge(QRectF(2, 5000, 8, -2000), edge, value);
        QVERIFY(result.has_value());
        COMPARE_AREA(*result, expected);
    }

    void edgesignoretheircurrentvalue_data()
    {
        QTest::addColumn<DisplayEdge>("edge");
        QTest::addColumn<double>("value");
        QTest::newRow("start within the same ms") << DisplayEdge::start << 2.0004;
        QTest::newRow("end within the same ms") << DisplayEdge::end << 10.0;
        QTest::newRow("length within the same ms") << DisplayEdge::length << 8.0009;
        QTest::newRow("high within the same Hz") << DisplayEdge::high << 5000.7;
        QTest::newRow("low") << DisplayEdge::low << 3000.0;
        QTest::newRow("range") << DisplayEdge::range << 2000.2;
        QTest::newRow("not a number") << DisplayEdge::start << notanumber;
        QTest::newRow("infinite") << DisplayEdge::range << infinite;
    }

    void edgesignoretheircurrentvalue()
    {
        QFETCH(DisplayEdge, edge);
        QFETCH(double, value);
        QVERIFY(!editdisplayedge(QRectF(2, 5000, 8, -2000), edge, value).has_value());
    }

    void saturatingconversions()
    {
        QCOMPARE(truncint(-2.7), -2);
        QCOMPARE(truncint(1e300), INT_MAX);
        QCOMPARE(truncint(-1e300), INT_MIN);
        QCOMPARE(truncint(notanumber), 0);
        QCOMPARE(roundint(-2.5), -2);
        QCOMPARE(roundint(2.5), 3);
        QCOMPARE(roundint(1e300), INT_MAX);
    }
};

QTEST_APPLESS_MAIN(TestDisplayMath)
#include "tst_displaymath.moc"
