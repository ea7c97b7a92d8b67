#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include "graphrender.h"

// The graph widget on its own: what it keeps of the curves handed to it, where
// its points and labels go, and what it paints.
class TestGraphRender : public QObject
{
    Q_OBJECT

private slots:
    void construction();
    void keepsItsOwnCopies();
    void curvePoints();
    void labelsAndTheirPlaces();
    void outlineOnlyWithoutCurves();
    void gridAndCurves();
    void curvesInOrder();
    void onePointDrawsNoCurve();
};

// The widget as it shows on screen, painted into a picture.
static QImage picture(GraphRender& render)
{
    QImage image(render.size(), QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    render.render(&image);
    return image;
}

// Whether the pixel leans clearly towards one of the three primaries.
static bool leans(QRgb pixel, int primary)
{
    const int c[3] = {qRed(pixel), qGreen(pixel), qBlue(pixel)};
    return c[primary] > c[(primary + 1) % 3] + 60 && c[primary] > c[(primary + 2) % 3] + 60;
}

void TestGraphRender::construction()
{
    GraphRender render;
    QVERIFY(!render.colormix.isValid() && !render.colorselect.isValid() && !render.colorclipboard.isValid());
    QVERIFY(render.horizontalunit.isEmpty() && render.verticalunit.isEmpty());
    QCOMPARE(render.numvalues, 0);
    QCOMPARE(render.backgroundRole(), QPalette::Light);
    QVERIFY(render.autoFillBackground());
    QCOMPARE(render.metaObject()->className(), "GraphRender");
    QCOMPARE(render.metaObject()->methodCount() - render.metaObject()->methodOffset(), 3);
}

void TestGraphRender::keepsItsOwnCopies()
{
    GraphRender render;
    render.setChannel(5);
    render.setColor(Qt::red, Qt::green, Qt::blue);
    QCOMPARE(render.channel, 5);
    QCOMPARE(render.colorselect, QColor(Qt::green));

    float mix[3] = {1, 2, 3}, select[3] = {4, 5, 6}, clip[3] = {7, 8, 9};
    render.setValues(-1, 1, -90, -10, "s", "dB", 3, mix, select, clip);
    mix[0] = select[1] = clip[2] = 100; // the caller's arrays stay the caller's
    QCOMPARE(render.numvalues, 3);
    QCOMPARE(render.arraymix, (std::vector<float>{1, 2, 3}));
    QCOMPARE(render.arrayselect, (std::vector<float>{4, 5, 6}));
    QCOMPARE(render.arrayclip, (std::vector<float>{7, 8, 9}));
    QCOMPARE(render.startvalue, -1.0f);
    QCOMPARE(render.topvalue, -10.0f);
    QCOMPARE(render.horizontalunit, QString("s"));

    // No curves: the old ones are dropped, the axes are taken.
    render.setValues(0, 4000, 0, 0.08f, "Hz", "", 0, nullptr, nullptr, nullptr);
    QCOMPARE(render.numvalues, 0);
    QVERIFY(render.arraymix.empty() && render.arrayselect.empty() && render.arrayclip.empty());
    QCOMPARE(render.endvalue, 4000.0f);
    QCOMPARE(render.horizontalunit, QString("Hz"));
}

void TestGraphRender::curvePoints()
{
    const float values[] = {0, 0.25f, 0.5f, 0.75f, 1};
    const QPolygonF points = GraphRender::curve(values, 5, QSize(200, 160), 0, 1);
    QCOMPARE(points, (QPolygonF{{0, 160}, {50, 120}, {100, 80}, {150, 40}, {200, 0}}));
    // Values beyond the range fall outside the widget.
    const float wide[] = {-1, 3};
    QCOMPARE(GraphRender::curve(wide, 2, QSize(100, 100), 0, 1), (QPolygonF{{0, 200}, {100, -200}}));
    QVERIFY(GraphRender::curve(values, 1, QSize(200, 160), 0, 1).isEmpty());
    QVERIFY(GraphRender::curve(values, 0, QSize(200, 160), 0, 1).isEmpty());
}

void TestGraphRender::labelsAndTheirPlaces()
{
    GraphRender render;
    render.setChannel(3);
    render.setValues(0, 2, -90, -10, "s", "dB", 0, nullptr, nullptr, nullptr);
    const QList<GraphRender::Label> labels = render.labels(QSize(201, 161));
    QCOMPARE(labels.size(), 1 + 7 + 4);
    QCOMPARE(labels[0].text, QString("Channel #3"));
    QCOMPARE(labels[0].rect, QRect(QPoint(0, 0), QPoint(69, 9)));
    // Just below the inner grid lines, from the bottom up; pixel places
    // truncate.
    const char* vertical[] = {"-80 dB", "-70 dB", "-60 dB", "-50 dB", "-40 dB", "-30 dB", "-20 dB"};
    const int rows[] = {141, 121, 101, 81, 61, 41, 21};
    for (int i = 0; i < 7; ++i) {
        QCOMPARE(labels[1 + i].text, QString(vertical[i]));
        QCOMPARE(labels[1 + i].rect, QRect(QPoint(0, rows[i]), QPoint(79, rows[i] + 9)));
    }
    // From the left edge to three quarters; none at the right edge.
    const char* horizontal[] = {"0 s", "0.5 s", "1 s", "1.5 s"};
    const int columns[] = {0, 50, 100, 150};
    for (int j = 0; j < 4; ++j) {
        QCOMPARE(labels[8 + j].text, QString(horizontal[j]));
        QCOMPARE(labels[8 + j].rect, QRect(QPoint(columns[j], 151), QPoint(columns[j] + 79, 160)));
    }
    // An empty unit leaves the number; six significant digits.
    render.setValues(0, 1.0f / 3, 0, 0.08f, "Hz", "", 0, nullptr, nullptr, nullptr);
    const QList<GraphRender::Label> other = render.labels(QSize(200, 160));
    QCOMPARE(other[1].text, QString("0.01 "));
    QCOMPARE(other[9].text, QString("0.0833333 Hz"));
}

void TestGraphRender::outlineOnlyWithoutCurves()
{
    GraphRender render;
    render.resize(200, 160);
    const QImage image = picture(render);
    const QRgb background = image.pixel(100, 70);
    QVERIFY(qGray(background) > 150);
    // No grid line at y = 80 or x = 50, no labels, no channel text.
    for (int x = 20; x < 190; ++x)
        QCOMPARE(image.pixel(x, 80), background);
    for (int y = 20; y < 150; ++y)
        QCOMPARE(image.pixel(50, y), background);
    for (int x = 3; x < 60; ++x)
        for (int y = 2; y < 9; ++y)
            QCOMPARE(image.pixel(x, y), background);
    // The outline runs along the left edge.
    QVERIFY(qGray(image.pixel(0, 80)) < qGray(background) - 40);
}

void TestGraphRender::gridAndCurves()
{
    GraphRender render;
    render.resize(200, 160);
    render.setColor(QColor(255, 0, 0), QColor(0, 200, 0), QColor(0, 0, 255));
    float mix[] = {0.5f, 0.5f, 0.5f};    // y = 110
    float select[] = {1.1f, 1.1f, 1.1f}; // y = 50
    float clip[] = {-1, -1, -1};         // below the widget
    render.setValues(0, 1, 0, 1.6f, "s", "", 3, mix, select, clip);
    const QImage image = picture(render);
    const QRgb background = image.pixel(120, 130);
    // Grid lines at y = 160 - i * 20 and x = j * 50.
    const auto darker = [&](int x, int y) { return qGray(image.pixel(x, y)) < qGray(background) - 20; };
    QVERIFY(darker(120, 80) || darker(120, 79));
    QVERIFY(darker(50, 130) || darker(49, 130));
    // The curves, away from the grid.
    QVERIFY(leans(image.pixel(120, 110), 0) || leans(image.pixel(120, 109), 0));
    QVERIFY(leans(image.pixel(120, 50), 1) || leans(image.pixel(120, 49), 1));
    for (int y = 0; y < 160; ++y)
        QVERIFY(!leans(image.pixel(120, y), 2));
}

void TestGraphRender::curvesInOrder()
{
    // Three curves on the same line: the clipboard's is drawn last.
    GraphRender render;
    render.resize(200, 160);
    render.setColor(QColor(255, 0, 0), QColor(0, 200, 0), QColor(0, 0, 255));
    float same[] = {0.5f, 0.5f};
    render.setValues(0, 1, 0, 1.6f, "s", "", 2, same, same, same);
    const QImage image = picture(render);
    QVERIFY(leans(image.pixel(120, 110), 2) || leans(image.pixel(120, 109), 2));
}

void TestGraphRender::onePointDrawsNoCurve()
{
    GraphRender render;
    render.resize(200, 160);
    render.setColor(QColor(255, 0, 0), QColor(255, 0, 0), QColor(255, 0, 0));
    float one[] = {0.5f};
    render.setValues(0, 1, 0, 1, "s", "", 1, one, one, one);
    const QImage image = picture(render);
    for (int y = 0; y < 160; ++y)
        for (int x = 0; x < 200; ++x)
            QVERIFY(!leans(image.pixel(x, y), 0));
    // The grid is there: one point is a curve set.
    QVERIFY(qGray(image.pixel(120, 80)) < qGray(image.pixel(120, 130)) - 20
            || qGray(image.pixel(120, 79)) < qGray(image.pixel(120, 130)) - 20);
}

QTEST_MAIN(TestGraphRender)
#include "tst_graphrender.moc"
