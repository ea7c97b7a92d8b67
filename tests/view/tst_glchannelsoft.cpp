// The limited tier, forced for the whole process before the first context:
// the user is warned once, the first view reports that the full tier is off,
// and the 1 kHz sine is still drawn as a line at its row in its slot colour;
// grid, labels and read-out are drawn without blending.
#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "bitmapreader.h"
#include "glviewtestsupport.h"
#include "testsupport.h"

class TestGLChannelSoft : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        kvtestfolders();
        QVERIFY(startlog());
    }

    void cleanup() { QCOMPARE(GLChannel::glerrorcount.load(), 0); }

    void limitedTierDrawsTheLine()
    {
        QVERIFY(GLChannel::forcesoft());
        BoxAnswerer answerer;
        std::unique_ptr<layer> sine(makesinelayer(1000, 0.5, 48000, 1, 2.0));
        auto view = std::make_unique<GLChannel>(0, nullptr, nullptr);
        QSignalSpy enabled(view.get(), &GLChannel::outglenabled);
        QVERIFY(GLChannel::glsl);
        QVERIFY(!GLChannel::fullext);
        QCOMPARE(GLChannel::texinternalformat, 0x803Eu); // GL_ALPHA16
        view->resize(400, 300);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get(), 30000));
        QVERIFY(enabled.count() == 1 || enabled.wait(30000));
        QCOMPARE(enabled.count(), 1);
        QCOMPARE(enabled.at(0).at(0).toBool(), false);

        driveview(*view, sine.get(), 0, QRectF(0, 4000, 2, -4000));
        QVERIFY(waitfortextures(*view, {0}));
        QImage image = view->grabFramebuffer();
        QVERIFY(std::abs(brightestrow(image, 200) - 225) <= 2);
        QRgb p = image.pixel(200, 225);
        QVERIFY2(qGreen(p) > 200 && qRed(p) < 30 && qBlue(p) < 30, qPrintable(QColor(p).name()));
        p = image.pixel(200, 50);
        QVERIFY2(qRed(p) + qGreen(p) + qBlue(p) < 30, qPrintable(QColor(p).name()));

        // Mix and current layer add up here too.
        view->inbindlayer(sine.get(), 1);
        view->indisplayarea(QRectF(0, 4000, 2, -4000), QRectF(), 1);
        QVERIFY(waitfortextures(*view, {1}));
        view->inmouseevent(QPointF(0.5, 2000.0), 1.0f);
        image = view->grabFramebuffer();
        p = image.pixel(200, 225);
        QVERIFY2(qRed(p) > 200 && qGreen(p) > 200, qPrintable(QColor(p).name()));
        // No per-slot values at the pointer in this tier.
        QCOMPARE(view->pixelvalues[0], -1.0f);

        // The warning comes once, half a second after the first view.
        QVERIFY(waituntil([&] { return !answerer.titles.isEmpty(); }, 30000));
        QCOMPARE(answerer.titles, QStringList{"Limited OpenGL 2.0 support"});
        auto second = std::make_unique<GLChannel>(0, nullptr, nullptr);
        QSignalSpy secondenabled(second.get(), &GLChannel::outglenabled);
        QVERIFY(secondenabled.wait(30000));
        QVERIFY(kvtimerspassed(2000));
        QCOMPARE(answerer.titles.size(), 1);

        const QString log = logtext();
        QVERIFY(log.contains("Limited OpenGL support: HWA 0 NPOT 1 FLOAT 1 FBO 1 FRAG 1"));
        QVERIFY(log.contains("A16 texture format"));
        QCOMPARE(log.count("GPU: "), 1); // probed once for all views
        QVERIFY(!log.contains("gl error"));
    }

    void gridAndReadOutReplaceWhatLiesBelow()
    {
        BoxAnswerer answerer;
        BitmapReader reader;
        QVERIFY(reader.valid());
        unittime = -1;
        unitfreq = -10;
        std::unique_ptr<layer> sine(makesinelayer(1000, 0.5, 48000, 1, 2.0));
        auto view = makeview(0);
        QVERIFY(view);
        driveview(*view, sine.get(), 0, QRectF(0, 4000, 2, -4000));
        view->ingrid(1);
        QVERIFY(waitfortextures(*view, {0}));
        QImage image = view->grabFramebuffer();
        auto level = [&](int x, int y) {
            const QRgb p = image.pixel(x, y);
            return std::max({qRed(p), qGreen(p), qBlue(p)});
        };
        // Lines in plain grey 0.07, over the sine as well.
        QVERIFY(std::abs(std::max(level(39, 100), level(40, 100)) - 18) <= 2);
        view->ingrid(0);
        const QImage plain = view->grabFramebuffer();
        view->ingrid(1);
        bool replaced = false;
        for (int y = 220; y <= 230; ++y) {
            const QRgb p = image.pixel(100, y);
            const bool wasgreen = qGreen(plain.pixel(100, y)) > 200;
            replaced = replaced || (wasgreen && std::abs(qGreen(p) - 18) <= 2 && std::abs(qRed(p) - 18) <= 2);
        }
        QVERIFY(replaced);
        // Labels in grey 0.5.
        QCOMPARE(reader.read(image, QPointF(40 - 12, 298), 9, 3), QString("0.2"));
        QCOMPARE(reader.read(image, QPointF(400 - 28, 116.5), 9, 4), QString("2500"));
        int glyph = 0;
        for (int x = 372; x < 400; ++x)
            for (int y = 108; y < 116; ++y)
                glyph = std::max(glyph, level(x, y));
        QVERIFY2(glyph > 50 && glyph <= 128, qPrintable(QString::number(glyph)));

        // The read-out: an opaque box with channel, time and frequency, and no
        // slot rows, since this tier has no values at the pointer.
        QSignalSpy pointer(view.get(), &GLChannel::outmouseevent);
        QMouseEvent move(QEvent::MouseMove, QPointF(300, 225), view->mapToGlobal(QPointF(300, 225)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view.get(), &move);
        QVERIFY(!pointer.isEmpty());
        view->inmouseevent(pointer.last().at(0).toPointF(), 0.0f);
        image = view->grabFramebuffer();
        QCOMPARE(reader.read(image, QPointF(2, 10), 10, 15), QString("Channel #0 (2D)"));
        QCOMPARE(reader.read(image, QPointF(2, 20), 10, 12), QString("Time: 1.500s"));
        QCOMPARE(reader.read(image, QPointF(2, 30), 10, 14), QString("Freq: 1000.0Hz"));
        int rows = 0;
        for (int x = 0; x < 190; ++x)
            for (int y = 31; y < 60; ++y)
                rows = std::max(rows, level(x, y));
        QCOMPARE(rows, 0);
        QCOMPARE(std::max(level(39, 100), level(40, 100)) > 10, true);
        QCOMPARE(std::max(level(39, 50), level(40, 50)), 0);
        QCOMPARE(GLChannel::glerrorcount.load(), 0);
    }
};

int main(int argc, char** argv)
{
    GLChannel::setforcesoft(true);
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    TestGLChannelSoft test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_glchannelsoft.moc"
