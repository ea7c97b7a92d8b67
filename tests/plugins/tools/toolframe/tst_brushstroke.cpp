#include <QTest>

#include <climits>
#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

#include "brushstroke.h"
#include "plugins/tools/hostslots.h"

// The brush geometry shared by the brush tools, checked against a block in
// which one frame is 1/128 s and one bin 32 Hz, so that half extents of whole
// and half cells are exact in binary.
class TestBrushStroke : public QObject
{
    Q_OBJECT

private slots:
    void rounding();
    void stampcount_data();
    void stampcount();
    void stamppositions();
    void travelFromTheUnsetPosition();
    void footprintAndWeights();
    void cellOrderAndMask();
    void cellsNoBufferHolds();
    void hoverResetAndCommit();
    void unusableBlock();
    void gain();
};

using Visit = std::tuple<int, int, int, float>; // channel, frame, bin, weight

static DataInterface block(int channels, int channelmask)
{
    DataInterface d;
    d.samplerate = 8192;
    d.fftsize = 256;
    d.overlap = 4; // hop 64: 128 frames per second; 32 Hz per bin
    d.channels = channels;
    d.channelmask = channelmask;
    d.getbin = [](int, int, int, int) { return QVector2D(); };
    d.setbin = [](int, int, int, int, float, float) {};
    d.transferarea = [](int, int, QRectF, int, int, float, float) {};
    return d;
}

static std::vector<Visit> stroke(const DataInterface& d, float x, float y, float dx, float dy,
                                 const toolframe::Brush& brush)
{
    std::vector<Visit> visits;
    toolframe::brushstroke(d, x, y, dx, dy, brush, [&](int channel, int frame, int bin, float w) {
        visits.emplace_back(channel, frame, bin, w);
    });
    return visits;
}

void TestBrushStroke::rounding()
{
    using toolframe::roundhalfup;
    QCOMPARE(roundhalfup(-2.5), -2);
    QCOMPARE(roundhalfup(2.5), 3);
    QCOMPARE(roundhalfup(-0.5), 0);
    QCOMPARE(roundhalfup(-0.51), -1);
    QCOMPARE(roundhalfup(1e300), INT_MAX);
    QCOMPARE(roundhalfup(-1e300), INT_MIN);
    QCOMPARE(roundhalfup(std::numeric_limits<double>::quiet_NaN()), 0);
}

void TestBrushStroke::stampcount_data()
{
    QTest::addColumn<double>("dx");
    QTest::addColumn<double>("dy");
    QTest::addColumn<double>("halfwidth");
    QTest::addColumn<double>("halfheight");
    QTest::addColumn<int>("stamps");
    QTest::newRow("no travel") << 0.0 << 0.0 << 0.1 << 100.0 << 1;
    QTest::newRow("3.5 half widths forward") << 0.4375 << 100.0 << 0.125 << 100.0 << 4;
    QTest::newRow("3.5 half widths backward") << -0.4375 << 100.0 << 0.125 << 100.0 << 5;
    QTest::newRow("small step back") << -0.01 << 0.0 << 0.1 << 100.0 << 2;
    QTest::newRow("small step on") << 0.01 << 0.0 << 0.1 << 100.0 << 1;
    QTest::newRow("frequency travel wins") << 0.1 << -250.0 << 0.1 << 100.0 << 4;
    QTest::newRow("no width: time adds nothing") << 5.0 << 250.0 << 0.0 << 100.0 << 3;
    QTest::newRow("no height: frequency adds nothing") << 0.25 << 9000.0 << 0.1 << 0.0 << 3;
    QTest::newRow("no extent at all") << 5.0 << 250.0 << 0.0 << 0.0 << 0;
    QTest::newRow("huge jump is bounded") << 1e30 << 0.0 << 0.005 << 0.0 << toolframe::maxstamps;
    QTest::newRow("huge jump backwards is bounded") << 0.0 << -1e30 << 0.0 << 100.0 << toolframe::maxstamps;
    QTest::newRow("travel past the bound") << 0.005 * toolframe::maxstamps * 3 << 0.0 << 0.005 << 0.0
                                           << toolframe::maxstamps;
}

void TestBrushStroke::stampcount()
{
    QFETCH(double, dx);
    QFETCH(double, dy);
    QFETCH(double, halfwidth);
    QFETCH(double, halfheight);
    QFETCH(int, stamps);
    QCOMPARE(toolframe::stampcount(dx, dy, halfwidth, halfheight), stamps);
}

void TestBrushStroke::stamppositions()
{
    std::vector<std::pair<float, float>> at;
    toolframe::forstamps(1.0f, 100.0f, 0.5f, -40.0f, 4, [&](float t, float f) { at.emplace_back(t, f); });
    // One step after the previous position (0.5 s, 140 Hz) up to the pointer.
    const std::vector<std::pair<float, float>> expected = {
        {0.625f, 130.0f}, {0.75f, 120.0f}, {0.875f, 110.0f}, {1.0f, 100.0f}};
    QCOMPARE(at, expected);

    at.clear();
    toolframe::forstamps(1.0f, 100.0f, 0.5f, -40.0f, 0, [&](float t, float f) { at.emplace_back(t, f); });
    QVERIFY(at.empty());
}

void TestBrushStroke::travelFromTheUnsetPosition()
{
    // A press after the pointer came back without a hover: the host's previous
    // position is the unset value, and the travel as a tool gets it in single
    // precision starts there. One stamp, at the pointer, as after a hover.
    const DataInterface d = block(1, 1);
    const toolframe::Brush brush{4.0 / 128, 128, 50};
    const float unset = 2147418112.0f;
    const std::vector<Visit> atpointer = stroke(d, 1.0f, 640.0f, 0, 0, brush);
    QVERIFY(!atpointer.empty());
    QCOMPARE(stroke(d, 1.0f, 640.0f, 1.0f - unset, 640.0f - unset, brush), atpointer);
    QCOMPARE(stroke(d, 100.0f, 640.0f, 100.0f - unset, 0, brush), stroke(d, 100.0f, 640.0f, 0, 0, brush));
    // The pointer itself off the views paints nothing.
    QVERIFY(stroke(d, unset, unset, 0, 0, brush).empty());

    // A long real travel ends exactly at the pointer, in double precision.
    std::vector<std::pair<double, double>> at;
    toolframe::forstamps(3.0, 640.0, 3.0e6, 0.0, 1000, [&](double t, double f) { at.emplace_back(t, f); });
    QCOMPARE(at.back(), std::make_pair(3.0, 640.0));
    QCOMPARE(at.front().first, 3.0 - 3.0e6 + 3.0e3);
}

void TestBrushStroke::footprintAndWeights()
{
    const DataInterface d = block(1, 1);
    // Half extents of 2.5 frames and 2.5 bins: halves round up, so the box
    // reaches one cell further on the positive side.
    toolframe::Footprint hard = toolframe::Footprint::of(d, {5.0 / 128, 160, 0});
    QCOMPARE(hard.cmin, -2);
    QCOMPARE(hard.cmax, 3);
    QCOMPARE(hard.bmin, -2);
    QCOMPARE(hard.bmax, 3);
    QCOMPARE(hard.weight(0, 0), 1.0f);
    QCOMPARE(hard.weight(-2, -2), 1.0f);
    QCOMPARE(hard.weight(2, 2), 1.0f);
    QCOMPARE(hard.weight(3, 0), 0.0f);
    QCOMPARE(hard.weight(0, 3), 0.0f);

    toolframe::Footprint pyramid = toolframe::Footprint::of(d, {5.0 / 128, 160, 100});
    QCOMPARE(pyramid.weight(0, 0), float(1 / 1.001));
    QCOMPARE(pyramid.weight(1, 0), float((1 - 1.0 / 3) / 1.001));
    QCOMPARE(pyramid.weight(-2, 1), float((1 - 2.0 / 3) / 1.001));
    QCOMPARE(pyramid.weight(3, 0), 0.0f);

    // Flat top with linear flanks: 50 % softness over a half extent of 4 cells.
    toolframe::Footprint soft = toolframe::Footprint::of(d, {8.0 / 128, 0, 50});
    QCOMPARE(soft.cmax, 4);
    QCOMPARE(soft.weight(1, 0), 1.0f);
    QCOMPARE(soft.weight(3, 0), float(0.25 / 0.501));

    // An axis of a single offset contributes the factor 1.
    toolframe::Footprint column = toolframe::Footprint::of(d, {0, 160, 0});
    QCOMPARE(column.cmin, 0);
    QCOMPARE(column.cmax, 0);
    QCOMPARE(column.weight(0, 0), 1.0f);
    QCOMPARE(column.weight(0, 3), 0.0f);
}

void TestBrushStroke::cellOrderAndMask()
{
    // Three channels of which the middle one is off; one hard stamp of 3 x 3
    // cells, whose outer ring weighs 0.
    const DataInterface d = block(3, 0b101);
    const std::vector<Visit> visits = stroke(d, 10.0f / 128, 640.0f, 0, 0, {2.0 / 128, 64, 0});
    std::vector<Visit> expected;
    for (int c = -1; c <= 1; ++c)
        for (int channel : {0, 2})
            for (int b = -1; b <= 1; ++b)
                expected.emplace_back(channel, 10 + c, 20 + b, (c == 0 && b == 0) ? 1.0f : 0.0f);
    QCOMPARE(visits, expected);

    // Channels beyond the project's count are never visited, whatever the mask.
    DataInterface one = block(1, -1);
    for (const Visit& v : stroke(one, 10.0f / 128, 640.0f, 0, 0, {2.0 / 128, 64, 0}))
        QCOMPARE(std::get<0>(v), 0);
}

void TestBrushStroke::cellsNoBufferHolds()
{
    const DataInterface d = block(1, 1);
    // At the origin the box reaches frame -1 and bin -1; at the top bin it
    // reaches above fftsize/2. Those cells are skipped, the rest visited.
    std::vector<Visit> visits = stroke(d, 0, 0, 0, 0, {2.0 / 128, 64, 0});
    QCOMPARE(visits.size(), size_t(4));
    for (const Visit& v : visits) {
        QVERIFY(std::get<1>(v) >= 0);
        QVERIFY(std::get<2>(v) >= 0);
    }
    visits = stroke(d, 1.0f, 4096.0f, 0, 0, {2.0 / 128, 64, 0});
    QCOMPARE(visits.size(), size_t(6));
    for (const Visit& v : visits)
        QVERIFY(std::get<2>(v) <= 128);
}

void TestBrushStroke::hoverResetAndCommit()
{
    HostSlots spectra(8192, 256, 4, 2, 64);
    spectra.channelmask = 0b10;
    DataInterface d;
    spectra.fill(d);
    d.clipboardarea = QRectF(0.5, 3000, 1.25, -2000);

    float dx = 0.3f, dy = 50;
    QVERIFY(!toolframe::hoverreset(d, 1, 1, dx, dy)); // press
    QVERIFY(!toolframe::hoverreset(d, 0, -1, dx, dy)); // release
    QVERIFY(spectra.transfers.isEmpty());
    QCOMPARE(dx, 0.3f);
    QCOMPARE(dy, 50.0f);

    spectra.set(2, 1, 5, 5, {1, 1});
    QVERIFY(toolframe::hoverreset(d, 0, 0, dx, dy));
    QCOMPARE(dx, 0.0f);
    QCOMPARE(dy, 0.0f);
    QCOMPARE(spectra.transfers.size(), 1);
    const AreaTransfer empty = spectra.transfers.first();
    QCOMPARE(empty.source, 2);
    QCOMPARE(empty.destination, 2);
    QCOMPARE(empty.area, QRectF(0, 0, 0, 0));
    QCOMPARE(empty.channelmask, 0b10);
    QCOMPARE(empty.mode, 0);
    QCOMPARE(spectra.get(2, 1, 5, 5), QVector2D());

    // The commit covers what the event painted beyond the area the host
    // computed before the call (frames of 1/128 s), over the whole band.
    toolframe::FrameSpan painted;
    painted.add(200, 300);
    toolframe::commitwritten(d, painted);
    QCOMPARE(spectra.transfers.size(), 2);
    const AreaTransfer commit = spectra.transfers.last();
    QCOMPARE(commit.source, 2);
    QCOMPARE(commit.destination, 1);
    QCOMPARE(commit.area, QRectF(0.5, 4096, 301.0 / 128 - 0.5, -4096));
    QCOMPARE(commit.channelmask, 0b10);
    QCOMPARE(commit.mode, 9);
    QCOMPARE(commit.dtime, 0.0f);
    QCOMPARE(commit.dfreq, 0.0f);
}

void TestBrushStroke::unusableBlock()
{
    const toolframe::Brush brush{0.1, 200, 50};
    DataInterface empty; // as constructed, before the host filled it
    QVERIFY(!toolframe::blockready(empty));
    QVERIFY(stroke(empty, 1, 1000, 0.5, 0, brush).empty());
    toolframe::emptyscratch(empty); // no callback: nothing to call

    DataInterface nohop = block(1, 1);
    nohop.overlap = 512; // hop 256 / 512 = 0
    QVERIFY(!toolframe::blockready(nohop));
    QVERIFY(stroke(nohop, 1, 1000, 0.5, 0, brush).empty());

    DataInterface nocallback = block(1, 1);
    nocallback.setbin = nullptr;
    QVERIFY(stroke(nocallback, 1, 1000, 0.5, 0, brush).empty());

    QVERIFY(!stroke(block(1, 1), 1, 1000, 0.5, 0, brush).empty());
}

void TestBrushStroke::gain()
{
    QCOMPARE(toolframe::brushgain(-24, true, 1.0f), 1.0 / 16);
    QCOMPARE(toolframe::brushgain(-24, true, 0.25f), 1.0 / 64);
    QCOMPARE(toolframe::brushgain(-24, true, 0.0f), 1.0 / 16); // hover and release
    QCOMPARE(toolframe::brushgain(-24, false, 0.25f), 1.0 / 16);
    QVERIFY(std::abs(toolframe::brushgain(3, false, 1.0f) - std::sqrt(2.0)) < 1e-12);
}

QTEST_GUILESS_MAIN(TestBrushStroke)
#include "tst_brushstroke.moc"
