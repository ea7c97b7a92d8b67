// Channel views in the full tier (Mesa under Xvfb): a 1 kHz sine drawn as a
// line at its row in the colour of its slot, a sine between bins at full
// level, slot colours adding up, the
// displace relief, the read-back under the pointer, the decorations, request
// coalescing through the view, teardown while computing, and no OpenGL error
// anywhere.
#include <QApplication>
#include <QMouseEvent>
#include <QOpenGLFunctions_2_1>
#include <QOpenGLVersionFunctionsFactory>
#include <QTest>
#include <cmath>
#include <memory>

#include "glviewtestsupport.h"
#include "testsupport.h"

namespace {

const QRectF area(0, 4000, 2, -4000); // 0..2 s, 0..4 kHz
constexpr int linerow = 225;          // 1 kHz in a 300 pixel high view of 4 kHz

} // namespace

class TestGLChannel : public QObject
{
    Q_OBJECT
    std::unique_ptr<layer> sine;

private slots:
    void initTestCase()
    {
        kvtestfolders();
        QVERIFY(startlog());
        sine.reset(makesinelayer(1000, 0.5, 48000, 1, 2.0));
        QVERIFY(sine);
    }

    void cleanup() { QCOMPARE(GLChannel::glerrorcount.load(), 0); }

    void cleanupTestCase()
    {
        const QString log = logtext();
        QVERIFY(log.contains("RG32F texture format"));
        QVERIFY(!log.contains("Limited OpenGL support"));
        QVERIFY(!log.contains("compilation:"));
        QVERIFY(!log.contains("gl error"));
    }

    void probeChoosesFullTier()
    {
        QVERIFY(GLChannel::probe());
        QVERIFY(GLChannel::glsl);
        QVERIFY(GLChannel::fullext);
        QCOMPARE(GLChannel::texinternalformat, 0x8230u); // GL_RG32F
        QCOMPARE(GLChannel::texformat, 0x8227u);         // GL_RG
    }

    void mixLineInMixColour()
    {
        auto view = makeview(0);
        QVERIFY(view);
        driveview(*view, sine.get(), 0, area);
        QVERIFY(waitfortextures(*view, {0}));
        const QImage image = view->grabFramebuffer();
        QCOMPARE(image.size(), QSize(400, 300));
        QVERIFY(std::abs(brightestrow(image, 200) - linerow) <= 2);
        const QRgb line = image.pixel(200, linerow);
        QVERIFY2(qGreen(line) > 200 && qRed(line) < 30 && qBlue(line) < 30, qPrintable(QColor(line).name()));
        const QRgb far = image.pixel(200, 50);
        QVERIFY2(qRed(far) + qGreen(far) + qBlue(far) < 30, qPrintable(QColor(far).name()));
        // Before the layer's start nothing shows.
        view->indisplayarea(QRectF(-2, 4000, 2, -4000), QRectF(), 3);
        QVERIFY(waitfortextures(*view, {0}));
        const QImage before = view->grabFramebuffer();
        const QRgb early = before.pixel(100, linerow);
        QVERIFY2(qGreen(early) < 30, qPrintable(QColor(early).name()));
    }

    // A sine between two bins of a long window, in a view far lower than the
    // window has bins: its row is the strongest of the bins it stands for, so
    // the line shows at full level.
    void betweenBinsSineShows()
    {
        const double f = 48000 * 2731.5 / 65536; // about 2000.6 Hz
        std::unique_ptr<layer> between(makesinelayer(f, 0.5, 48000, 1, 4.0));
        auto view = makeview(0);
        QVERIFY(view);
        driveview(*view, between.get(), 0, QRectF(0, 24000, 4, -24000));
        view->infftparam(4, 65536, 4, false);
        view->indisplayarea(QRectF(0, 24000, 4, -24000), QRectF(), 3);
        QVERIFY(waitfortextures(*view, {0}));
        const QImage image = view->grabFramebuffer();
        const int row = qRound(300 * (1 - f / 24000));
        QVERIFY(std::abs(brightestrow(image, 200) - row) <= 2);
        QVERIFY2(qGreen(image.pixel(200, brightestrow(image, 200))) > 200,
                 qPrintable(QColor(image.pixel(200, row)).name()));
    }

    void slotColours()
    {
        auto view = makeview(0);
        QVERIFY(view);
        driveview(*view, sine.get(), 1, area);
        QVERIFY(waitfortextures(*view, {1}));
        QImage image = view->grabFramebuffer();
        QRgb p = image.pixel(200, linerow);
        QVERIFY2(qRed(p) > 200 && qGreen(p) < 30 && qBlue(p) < 30, qPrintable(QColor(p).name()));

        // Unbinding as the controller does: reset the texture, bind nothing.
        view->inresetdrawtex(1);
        view->inbindlayer(nullptr, 1);
        view->inbindlayer(sine.get(), 2);
        view->indisplayarea(area, QRectF(), 2);
        QVERIFY(waitfortextures(*view, {2}));
        image = view->grabFramebuffer();
        p = image.pixel(200, linerow);
        // The clipboard colour (70, 70, 255) at full level.
        QVERIFY2(std::abs(qRed(p) - 70) < 12 && std::abs(qGreen(p) - 70) < 12 && qBlue(p) > 240,
                 qPrintable(QColor(p).name()));
    }

    void mixAndCurrentAddUp()
    {
        auto view = makeview(0);
        QVERIFY(view);
        QVERIFY(drivemixandcurrent(*view, sine.get(), area));
        const QImage image = view->grabFramebuffer();
        const QRgb p = image.pixel(200, linerow);
        QVERIFY2(qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) < 30, qPrintable(QColor(p).name()));
    }

    // Without the values under the pointer the levels are mixed in their
    // colours in the map pass itself; with them, through the map frame
    // buffer. Both draw the same picture away from the crosshair.
    void pointerKeepsThePicture()
    {
        auto view = makeview(0);
        QVERIFY(view);
        QVERIFY(drivemixandcurrent(*view, sine.get(), area));
        view->ingamma(20); // levels between 0 and 1 across the line's flanks
        const QImage direct = view->grabFramebuffer();
        view->inmouseevent(QPointF(1.5, 3000.0), 1.0f);
        const QImage mapped = view->grabFramebuffer();
        QVERIFY(view->pixelvalues[0] > 0.0f); // read back: the map pass ran
        int worst = 0, lit = 0;
        for (int y = linerow - 12; y <= linerow + 12; ++y)
            for (int x = 10; x < 250; ++x) {
                const QRgb a = direct.pixel(x, y), b = mapped.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                  std::abs(qBlue(a) - qBlue(b))});
                lit += qRed(a) > 40 ? 1 : 0;
            }
        QVERIFY2(worst <= 2, qPrintable(QString::number(worst)));
        QVERIFY(lit > 100);
    }

    // The displacement repeats each level along its direction: upwards here.
    void displaceMakesRelief()
    {
        auto view = makeview(0);
        QVERIFY(view);
        driveview(*view, sine.get(), 0, area);
        QVERIFY(waitfortextures(*view, {0}));
        const int above = linerow - 8;
        QVERIFY(qGreen(view->grabFramebuffer().pixel(200, above)) < 30);
        view->indisplacement(QPointF(12, 90));
        QVERIFY(qGreen(view->grabFramebuffer().pixel(200, above)) > 100);
        // Pointing down, the rows above stay dark.
        view->indisplacement(QPointF(12, -90));
        QVERIFY(qGreen(view->grabFramebuffer().pixel(200, above)) < 30);
        QVERIFY(qGreen(view->grabFramebuffer().pixel(200, linerow + 8)) > 100);
    }

    void readBackUnderThePointer()
    {
        auto view = makeview(0);
        QVERIFY(view);
        driveview(*view, sine.get(), 0, area);
        QVERIFY(waitfortextures(*view, {0}));
        view->inmouseevent(QPointF(1.0, 1000.0), 1.0f);
        view->grabFramebuffer();
        QVERIFY(view->pixelvalues[0] > 0.9f);
        QCOMPARE(view->pixelvalues[1], 0.0f);
        QCOMPARE(view->pixelvalues[2], 0.0f);
        // The row under the pointer is lit across the layer, the column only near 1 kHz.
        QVERIFY(view->rowvalues[3 * 100] > 0.9f);
        QVERIFY(view->columnvalues[3 * 50] < 0.05f);
        // Outside the area the values stay as they were.
        view->inmouseevent(QPointF(5.0, 1000.0), 1.0f);
        view->grabFramebuffer();
        QVERIFY(view->pixelvalues[0] > 0.9f);
    }

    void decorationsDrawCleanly()
    {
        auto view = makeview(0);
        QVERIFY(view);
        QVERIFY(drivemixandcurrent(*view, sine.get(), area));
        const QRgb plain = view->grabFramebuffer().pixel(200, 50);

        // Peaks of 0.5 over a threshold of 2^(-12/6) = 0.25: the zebra stripes light
        // the otherwise black rows over the layer.
        view->inzebra(-12);
        const QImage zebra = view->grabFramebuffer();
        int lit = 0;
        for (int x = 150; x < 250; ++x)
            lit += qGreen(zebra.pixel(x, 50)) > 20 ? 1 : 0;
        QVERIFY2(lit > 20 && lit < 80, qPrintable(QString::number(lit)));
        QVERIFY(qRed(plain) + qGreen(plain) < 30);

        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::white);
        view->inmousecursor(QCursor(pixmap, 0, 0));
        view->inselection(QRectF(0.5, 3000, 1.0, -1500));
        view->indevicecursor(1.2, 1, true);
        view->inphase(1);
        view->indisplacement(QPointF(6, 30));
        view->inmouseevent(QPointF(1.0, 1000.0), 1.0f);
        const QImage all = view->grabFramebuffer();
        QVERIFY(!all.isNull());
        // The device cursor line in half the current-layer colour at 1.2 s.
        const int cx = qRound(1.2 / 2 * 400);
        int red = 0;
        for (int dx = -1; dx <= 1; ++dx)
            red = std::max(red, qRed(all.pixel(cx + dx, 150)));
        QVERIFY2(red > 80, qPrintable(QString::number(red)));
    }

    // The bands at the top and bottom edge light up near the device cursor;
    // without one they stay dark.
    void deviceCursorAreaOnlyNearTheCursor()
    {
        auto view = makeview(0);
        QVERIFY(view);
        driveview(*view, sine.get(), 0, area);
        QVERIFY(waitfortextures(*view, {0}));
        QMouseEvent move(QEvent::MouseMove, QPointF(200, 150), view->mapToGlobal(QPointF(200, 150)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view.get(), &move);
        view->inmouseevent(QPointF(1.0, 2000.0), 0.0f);
        auto band = [&] {
            const QImage image = view->grabFramebuffer();
            int best = 0;
            for (int y = 0; y < 7; ++y)
                for (int x = 250; x < 400; ++x)
                    best = std::max(best, qGreen(image.pixel(x, y)));
            return best;
        };
        QVERIFY(band() < 5);
        view->indevicecursor(1.02, 3, false);
        QVERIFY(band() > 30);
        view->indevicecursor(0.5, 3, false); // 100 pixels away
        QVERIFY(band() < 5);
    }

    // Silence is a plateau of zero magnitudes: its bin shift must come out as
    // a number, not 0/0.
    void silenceGivesNoNaN()
    {
        std::unique_ptr<layer> silence(makesinelayer(1000, 0.0, 48000, 1, 2.0));
        auto view = makeview(0);
        QVERIFY(view);
        driveview(*view, silence.get(), 0, area);
        view->inphase(1);
        QVERIFY(waitfortextures(*view, {0}));
        const QSize res = view->texres[0];
        std::vector<float> texels(size_t(res.width()) * res.height() * 4, -1.0f);
        view->makeCurrent();
        auto* gl = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_2_1>(view->context());
        QVERIFY(gl && gl->initializeOpenGLFunctions());
        gl->glBindTexture(GL_TEXTURE_2D, view->drawtex[0]);
        gl->glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, texels.data());
        gl->glBindTexture(GL_TEXTURE_2D, 0);
        view->doneCurrent();
        int nonfinite = 0;
        for (size_t i = 0; i < texels.size(); i += 4)
            nonfinite += std::isfinite(texels[i]) && std::isfinite(texels[i + 1]) ? 0 : 1;
        QCOMPARE(nonfinite, 0);
        QCOMPARE(texels[0], 0.0f);
        QCOMPARE(texels[1], 0.0f);
    }

    // Ten areas in a row: the view ends with the last one.
    void lastAreaWins()
    {
        std::unique_ptr<layer> longer(makesinelayer(1000, 0.5, 48000, 1, 30.0));
        auto view = makeview(0);
        QVERIFY(view);
        driveview(*view, longer.get(), 0, QRectF(0, 24000, 30, -24000));
        for (int i = 1; i <= 10; ++i)
            view->indisplayarea(QRectF(i, 4000, 2, -4000), QRectF(), 3);
        QVERIFY(waitfortextures(*view, {0}));
        QVERIFY(std::fabs(view->texarea[0].x() - 10.0) < 0.05);
        QCOMPARE(view->displayarea, QRectF(10, 4000, 2, -4000));
        QVERIFY(std::abs(brightestrow(view->grabFramebuffer(), 200) - linerow) <= 2);
    }

    // Views share the programs; the last one to go takes them along, and a new
    // view makes them again.
    void viewsShareTheirSetUp()
    {
        std::unique_ptr<layer> stereo(makesinelayer(1000, 0.5, 48000, 2, 2.0));
        auto first = makeview(0);
        auto second = makeview(1);
        QVERIFY(first && second);
        driveview(*second, stereo.get(), 0, area);
        QVERIFY(waitfortextures(*second, {0}));
        first.reset();
        const QImage image = second->grabFramebuffer();
        if (qEnvironmentVariableIsSet("KV_SAVE_VIEW"))
            image.save(qEnvironmentVariable("KV_SAVE_VIEW"));
        QVERIFY(std::abs(brightestrow(image, 200) - linerow) <= 2);
        second.reset();
        auto third = makeview(1);
        QVERIFY(third);
        driveview(*third, stereo.get(), 0, area);
        QVERIFY(waitfortextures(*third, {0}));
        QVERIFY(qGreen(third->grabFramebuffer().pixel(200, linerow)) > 200);
    }

    void deletedWhileComputing()
    {
        std::unique_ptr<layer> longer(makesinelayer(1000, 0.5, 48000, 1, 60.0));
        for (int round = 0; round < 3; ++round) {
            auto view = makeview(0);
            QVERIFY(view);
            view->infftparam(2, 65536, 4, false);
            for (int slot = 0; slot < 3; ++slot)
                view->inbindlayer(longer.get(), slot);
            view->indisplayarea(QRectF(0, 24000, 60, -24000), QRectF(), 3);
            QTest::qWait(5 * round);
            view.reset();
        }
        // The views waited for their computations: what those posted is
        // delivered now, and none of it may reach a deleted view.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
};

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    TestGLChannel test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_glchannel.moc"
