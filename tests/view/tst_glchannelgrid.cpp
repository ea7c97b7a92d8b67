// The grid, its labels, the phase-velocity warning and the read-out box of a
// channel view in the full tier (Mesa under Xvfb), read back from the frame:
// lines at the positions of the display units, legible labels read glyph by
// glyph, the read-out rows of a known sine at the pointer in the chosen units
// and slot colours, and the box gone once the pointer has left.
#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <memory>

#include "bitmapreader.h"
#include "glviewtestsupport.h"
#include "testsupport.h"
#include "view/labeltexts.h"

namespace {

const QRectF area(0, 4000, 2, -4000); // 0..2 s, 0..4 kHz in 400 x 300 pixels
constexpr int linerow = 225;          // 1 kHz

int brightness(QRgb p)
{
    return std::max({qRed(p), qGreen(p), qBlue(p)});
}

bool grey(QRgb p, int low, int high)
{
    return qRed(p) >= low && qRed(p) <= high && std::abs(qRed(p) - qGreen(p)) <= 2 && std::abs(qRed(p) - qBlue(p)) <= 2;
}

// The brighter of two neighbouring columns (or rows): a line on a pixel
// boundary may fall on either side.
int brighter(const QImage& image, int x0, int y0, int x1, int y1)
{
    return std::max(brightness(image.pixel(x0, y0)), brightness(image.pixel(x1, y1)));
}

// Brightest pixel in a rectangle of the frame.
int brightest(const QImage& image, const QRect& rect)
{
    int best = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            best = std::max(best, brightness(image.pixel(x, y)));
    return best;
}

// Row (pixels from the top) of a frequency in the test area.
double rowof(double f)
{
    return (4000 - f) * 300 / 4000;
}

// What the controller does with a pointer position that a view reports: it
// hands it back to the view.
void echopointer(GLChannel& view, QSignalSpy& spy)
{
    QVERIFY(!spy.isEmpty());
    view.inmouseevent(spy.takeLast().at(0).toPointF(), 0.0f);
}

void movepointer(GLChannel& view, QPointF pixel)
{
    QMouseEvent move(QEvent::MouseMove, pixel, view.mapToGlobal(pixel), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&view, &move);
}

} // namespace

class TestGLChannelGrid : public QObject
{
    Q_OBJECT
    std::unique_ptr<layer> sine, quiet;
    BitmapReader reader;

    std::unique_ptr<GLChannel> gridview()
    {
        auto view = makeview(0);
        if (!view)
            return nullptr;
        driveview(*view, sine.get(), 0, area);
        view->ingrid(1);
        if (!waitfortextures(*view, {0}))
            return nullptr;
        return view;
    }

private slots:
    void initTestCase()
    {
        kvtestfolders();
        QVERIFY(startlog());
        QVERIFY(reader.valid());
        sine.reset(makesinelayer(1000, 0.5, 48000, 1, 2.0));
        quiet.reset(makesinelayer(1000, 0.125, 48000, 1, 2.0));
        QVERIFY(sine && quiet);
    }

    void init()
    {
        unittime = -1;
        unitfreq = -10;
        unitpow = -20;
        unitphase = -11;
    }

    void cleanup() { QCOMPARE(GLChannel::glerrorcount.load(), 0); }

    void cleanupTestCase()
    {
        const QString log = logtext();
        QVERIFY(!log.contains("gl error"));
    }

    // Seconds and Hz over 0..2 s and 0..4 kHz: time lines every 0.2 s (40
    // pixels), frequency lines every 500 Hz (37.5 pixels), the zero line
    // brighter, each line lightening what lies below it.
    void linesAtTheirPositions()
    {
        auto view = gridview();
        QVERIFY(view);
        const QImage image = view->grabFramebuffer();
        for (int k = 1; k <= 9; ++k) {
            const int x = 40 * k;
            QVERIFY2(grey(image.pixel(x - 1, 100), 14, 22) || grey(image.pixel(x, 100), 14, 22),
                     qPrintable(QString("time line %1").arg(k)));
            QVERIFY(brightness(image.pixel(x + 20, 100)) < 5);
        }
        for (int k = 1; k <= 7; ++k) {
            const int y = int(std::floor(rowof(500 * k)));
            if (y == linerow)
                continue;
            QVERIFY2(std::abs(brighter(image, 100, y - 1, 100, y) - 18) <= 4, qPrintable(QString("row %1").arg(y)));
            QVERIFY(brightness(image.pixel(100, y + 15)) < 5);
        }
        // Over the sine's row the line adds grey where there is room for it:
        // red and blue, not the saturated green.
        bool lightened = false;
        for (int y = linerow - 5; y <= linerow + 5; ++y) {
            const QRgb p = image.pixel(100, y);
            lightened = lightened || (qGreen(p) > 200 && std::abs(qRed(p) - 18) <= 4 && std::abs(qBlue(p) - 18) <= 4);
        }
        QVERIFY(lightened);
        // Where time and frequency lines cross they add up.
        QVERIFY(brighter(image, 119, 262, 120, 262) > 26 || brighter(image, 119, 263, 120, 263) > 26);

        // From -1 s to 3 s: lines every 0.5 s (50 pixels); the one at 0 s is brighter.
        view->indisplayarea(QRectF(-1, 4000, 4, -4000), QRectF(), 3);
        const QImage shifted = view->grabFramebuffer();
        QVERIFY(std::abs(brighter(shifted, 99, 100, 100, 100) - 38) <= 4);
        QVERIFY(std::abs(brighter(shifted, 149, 100, 150, 100) - 18) <= 4);
    }

    void labelsAreLegible()
    {
        auto view = gridview();
        QVERIFY(view);
        const QImage image = view->grabFramebuffer();
        // Time labels centred under their lines, 2 pixels above the bottom.
        QCOMPARE(reader.read(image, QPointF(40 - 12, 298), 9, 3), QString("0.2"));
        QCOMPARE(reader.read(image, QPointF(200 - 4, 298), 9, 1), QString("1"));
        QCOMPARE(reader.read(image, QPointF(320 - 12, 298), 9, 3), QString("1.6"));
        // Frequency labels at the right edge, 4 pixels below their lines.
        QCOMPARE(reader.read(image, QPointF(400 - 28, rowof(2500) + 4), 9, 4), QString("2500"));
        QCOMPARE(reader.read(image, QPointF(400 - 28, rowof(3500) + 4), 9, 4), QString("3500"));
        // The glyphs are grey, at most 0.8 x 66 % over black.
        const QRect label(372, int(rowof(2500) - 5), 28, 9);
        const int glyph = brightest(image, label);
        QVERIFY2(glyph > 60 && glyph <= 0.8 * 0.66 * 255 + 3, qPrintable(QString::number(glyph)));
        for (int y = label.top(); y <= label.bottom(); ++y)
            for (int x = label.left(); x <= label.right(); ++x)
                QVERIFY(grey(image.pixel(x, y), 0, 255));
        // Their black cells darken what lies below to a third: the sine under
        // the label of 1000 Hz.
        QVERIFY(qGreen(image.pixel(300, linerow)) > 200);
        const int under = std::min(qGreen(image.pixel(373, linerow)), qGreen(image.pixel(381, linerow)));
        QVERIFY2(under < 100, qPrintable(QString::number(under)));
    }

    void labelsInTheChosenUnits()
    {
        auto view = gridview();
        QVERIFY(view);
        // Minutes and seconds over 10 s: a line every 2 s (80 pixels).
        unittime = 0;
        view->indisplayarea(QRectF(0, 4000, 10, -4000), QRectF(), 3);
        QImage image = view->grabFramebuffer();
        QCOMPARE(reader.read(image, QPointF(160 - 36, 298), 9, 9), QString("00:04.000"));

        // Samples at 48 kHz over 2 s: a line every 10000 samples.
        unittime = -2;
        view->indisplayarea(area, QRectF(), 3);
        image = view->grabFramebuffer();
        const double x = 20000 / 48000.0 * 200;
        QCOMPARE(reader.read(image, QPointF(x - 20, 298), 9, 5), QString("20000"));

        // Cycles per window: a line every 50 x 2π (585.9 Hz).
        unitfreq = -11;
        image = view->grabFramebuffer();
        const double y = rowof(50 * 48000 / 4096.0);
        QCOMPARE(reader.read(image, QPointF(400 - 35, y + 4), 9, 5), "50x2" + QString(QChar(piglyph)));

        // Notes: with 13.3 Hz per pixel G#4 follows C 4, A 5 follows F 5.
        unitfreq = -13;
        image = view->grabFramebuffer();
        const double g4 = 440 * std::pow(2.0, 56 / 12.0 - 4.75);
        QCOMPARE(reader.read(image, QPointF(400 - 21, rowof(g4) + 4), 9, 3), QString("G#4"));
        QCOMPARE(reader.read(image, QPointF(400 - 21, rowof(880) + 4), 9, 3), QString("A 5"));
        QVERIFY(brighter(image, 100, int(rowof(880)) - 1, 100, int(rowof(880))) > 10);
        // A 4 lies too close to G#4 at this height: no line.
        QVERIFY(brightness(image.pixel(100, int(std::floor(rowof(440))))) < 5);
    }

    void phaseWarningWithoutTimeResolution()
    {
        auto view = makeview(0);
        QVERIFY(view);
        view->infftparam(2, 4096, 4, false);
        view->indisplayarea(area, QRectF(), 3);
        view->inphase(1);
        const QString warning("Zoom time to display phase velocity");
        const QPointF corner(200 - (warning.size() * 9) / 2, 156);
        // No texture yet: the warning, in dark red while the pointer is elsewhere.
        QImage image = view->grabFramebuffer();
        QCOMPARE(reader.read(image, corner, 12, warning.size()), warning);
        auto reddest = [&] {
            QRgb best = 0;
            for (int x = int(corner.x()); x < int(corner.x()) + 315; ++x)
                for (int y = 144; y < 156; ++y)
                    if (qRed(image.pixel(x, y)) > qRed(best))
                        best = image.pixel(x, y);
            return best;
        };
        const QRgb dark = reddest();
        QVERIFY2(qRed(dark) > 50 && qRed(dark) <= 128 && qGreen(dark) == 0 && qBlue(dark) == 0,
                 qPrintable(QColor(dark).name()));
        // Twice as bright once the pointer is over the view.
        movepointer(*view, QPointF(10, 10));
        image = view->grabFramebuffer();
        const QRgb bright = reddest();
        QVERIFY2(std::abs(qRed(dark) / double(qRed(bright)) - 0.5) < 0.03 && qGreen(bright) == 0,
                 qPrintable(QColor(bright).name()));

        // A texture of 17 columns per window can show the phase velocity.
        driveview(*view, sine.get(), 0, area);
        view->ingrid(1);
        QVERIFY(waitfortextures(*view, {0}));
        image = view->grabFramebuffer();
        QVERIFY(reader.read(image, corner, 12, warning.size()) != warning);
        // Zoomed out to 200 s it has less than 2 again.
        view->indisplayarea(QRectF(0, 4000, 200, -4000), QRectF(), 3);
        QVERIFY(waitfortextures(*view, {0}));
        QCOMPARE(reader.read(view->grabFramebuffer(), corner, 12, warning.size()), warning);
        // Without the grid: no warning, no lines, no labels.
        view->ingrid(0);
        image = view->grabFramebuffer();
        QCOMPARE(brightest(image, QRect(0, 130, 400, 30)), 0);
        QCOMPARE(brightest(image, QRect(0, 280, 400, 20)), 0);
    }

    void readOutOfASineInEveryUnit()
    {
        auto view = makeview(0);
        QVERIFY(view);
        QVERIFY(drivemixandcurrent(*view, sine.get(), area));
        view->inbindlayer(quiet.get(), 2);
        view->indisplayarea(area, QRectF(), 2);
        QVERIFY(waitfortextures(*view, {2}));
        view->ingrid(0);
        QSignalSpy pointer(view.get(), &GLChannel::outmouseevent);
        // Right of the rows, so that the pointer's crosshair stays clear of them.
        movepointer(*view, QPointF(300, linerow)); // 1.5 s, 1000 Hz
        echopointer(*view, pointer);
        QCOMPARE(view->mousepos, QPointF(1.5, 1000.0));
        QImage image = view->grabFramebuffer();
        auto row = [&](int below, const QString& text) {
            return reader.read(image, QPointF(2, below), 10, text.size());
        };

        QCOMPARE(row(10, "Channel #0 (2D)"), QString("Channel #0 (2D)"));
        QCOMPARE(row(20, "Time: 1.500s"), QString("Time: 1.500s"));
        QCOMPARE(row(30, "Freq: 1000.0Hz"), QString("Freq: 1000.0Hz"));
        // Each slot's level at the pointer; the clipboard holds the sine at a
        // quarter of the amplitude: 12 dB less.
        const float* v = view->pixelvalues;
        QVERIFY(v[0] > 0 && v[1] > 0 && v[2] > 0);
        QVERIFY2(std::fabs(20 * std::log10(v[0] / v[2]) - 12.04) < 0.3, qPrintable(QString::number(v[0] / v[2])));
        for (int k = 0; k < 3; ++k) {
            const QString text = readoutlevel(k, v[k], -20, 24, 10);
            QCOMPARE(row(40 + 10 * k, text), text);
        }
        // In the slot colours: green, red, and (70, 70, 255).
        auto colourof = [&](int below) {
            QRgb best = 0;
            for (int y = below - 9; y < below; ++y)
                for (int x = 2; x < 90; ++x)
                    if (brightness(image.pixel(x, y)) > brightness(best))
                        best = image.pixel(x, y);
            return best;
        };
        QRgb c = colourof(40);
        QVERIFY2(qGreen(c) > 150 && qRed(c) < 30 && qBlue(c) < 30, qPrintable(QColor(c).name()));
        c = colourof(50);
        QVERIFY2(qRed(c) > 150 && qGreen(c) < 30 && qBlue(c) < 30, qPrintable(QColor(c).name()));
        c = colourof(60);
        QVERIFY2(qBlue(c) > 150 && qRed(c) > 25 && qRed(c) < 90 && qGreen(c) < 90, qPrintable(QColor(c).name()));

        // Other units for the same pointer.
        unittime = 0;
        unitfreq = -13;
        unitpow = -21;
        image = view->grabFramebuffer();
        QCOMPARE(row(20, "Time: 00:01.500"), QString("Time: 00:01.500"));
        QCOMPARE(row(30, "Freq: B 5+21"), QString("Freq: B 5+21"));
        for (int k = 0; k < 3; ++k) {
            const QString text = readoutlevel(k, v[k], -21, 24, 10);
            QCOMPARE(row(40 + 10 * k, text), text);
        }
        unittime = -3;
        unitfreq = -11;
        unitpow = -22;
        image = view->grabFramebuffer();
        QCOMPARE(row(20, "Time: 17.578win"), QString("Time: 17.578win"));
        const QString bins = readoutfreq(1000, -11, 48000, 4096);
        QCOMPARE(row(30, bins), bins);
        QVERIFY(bins.contains(QChar(piglyph)));
        const QString value = readoutlevel(2, v[2], -22, 24, 10);
        QVERIFY(value.contains("E-0"));
        QCOMPARE(row(60, value), value);

        // The phase display: each slot's phase velocity at the pointer.
        view->inphase(1);
        unitphase = -12;
        image = view->grabFramebuffer();
        for (int k = 0; k < 3; ++k) {
            QVERIFY(v[k] > 0);
            const QString text = readoutphase(k, v[k], -12, 1000, 48000, 4096);
            QVERIFY(text.contains("85x360"));
            QCOMPARE(row(40 + 10 * k, text), text);
        }
    }

    void readOutFollowsThePointer()
    {
        auto view = makeview(0);
        QVERIFY(view);
        driveview(*view, sine.get(), 0, area);
        QVERIFY(waitfortextures(*view, {0}));
        view->inmessage("Saved", QColor(255, 255, 0));
        // The box without the column where the pointer's crosshair may fall;
        // with nothing in it, it holds only the faint edge of the sine.
        const QRect box(0, 0, 190, 60);
        QVERIFY(brightest(view->grabFramebuffer(), box) < 8);

        // A position reported by another channel's view: drawn at half brightness.
        view->inmouseevent(QPointF(1.0, 1000.0), 0.0f);
        QImage image = view->grabFramebuffer();
        QCOMPARE(reader.read(image, QPointF(2, 10), 10, 15), QString("Channel #0 (2D)"));
        const int half = brightest(image, QRect(2, 0, 112, 10));
        QVERIFY2(half > 50 && half <= 128, qPrintable(QString::number(half)));
        // The message centred at the top, 12 pixels high, in its colour.
        QCOMPARE(reader.read(image, QPointF(200 - 22, 12), 12, 5), QString("Saved"));
        QRgb m = 0;
        for (int x = 178; x < 223; ++x)
            if (std::abs(x - 200) > 2 && brightness(image.pixel(x, 6)) > brightness(m)) // clear of the crosshair
                m = image.pixel(x, 6);
        QVERIFY2(qRed(m) > 50 && qRed(m) <= 128 && std::abs(qRed(m) - qGreen(m)) <= 2 && qBlue(m) < 5,
                 qPrintable(QColor(m).name()));

        // The pointer over this view: full brightness.
        QSignalSpy pointer(view.get(), &GLChannel::outmouseevent);
        movepointer(*view, QPointF(100, linerow));
        echopointer(*view, pointer);
        image = view->grabFramebuffer();
        QCOMPARE(reader.read(image, QPointF(2, 20), 10, 12), QString("Time: 0.500s"));
        const int full = brightest(image, QRect(2, 0, 112, 10));
        QVERIFY2(std::abs(half / double(full) - 0.5) < 0.03, qPrintable(QString("%1 and %2").arg(half).arg(full)));

        // Leaving the view: the controller hands the off-screen position back.
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(view.get(), &leave);
        QVERIFY(!view->hover);
        QCOMPARE(pointer.last().at(0).toPointF(), QPointF(unsettime, unsettime));
        echopointer(*view, pointer);
        image = view->grabFramebuffer();
        QVERIFY(brightest(image, box) < 8);

        // Below 0.1 Hz there is no read-out either.
        view->inmouseevent(QPointF(1.0, 0.05), 0.0f);
        QVERIFY(brightest(view->grabFramebuffer(), box) < 8);
        view->inmouseevent(QPointF(1.0, 0.1), 0.0f);
        QVERIFY(brightest(view->grabFramebuffer(), box) > 50);
    }
};

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    TestGLChannelGrid test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_glchannelgrid.moc"
