// The limited tier, forced for the whole process before the first context:
// the user is warned once, the first view reports that the full tier is off,
// and the 1 kHz sine is still drawn as a line at its row in its slot colour.
#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <memory>

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
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        QVERIFY(enabled.wait(2000) || enabled.count() == 1);
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
        QVERIFY(waituntil([&] { return !answerer.titles.isEmpty(); }, 5000));
        QCOMPARE(answerer.titles, QStringList{"Limited OpenGL 2.0 support"});
        auto second = std::make_unique<GLChannel>(0, nullptr, nullptr);
        QTest::qWait(800);
        QCOMPARE(answerer.titles.size(), 1);

        const QString log = logtext();
        QVERIFY(log.contains("Limited OpenGL support: HWA 0 NPOT 1 FLOAT 1 FBO 1 FRAG 1"));
        QVERIFY(log.contains("A16 texture format"));
        QCOMPARE(log.count("GPU: "), 1); // probed once for all views
        QVERIFY(!log.contains("gl error"));
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
