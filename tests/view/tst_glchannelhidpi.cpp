// A channel view on a screen with a device pixel ratio of 2: the workers
// compute at device pixels, the spectrogram is drawn at full device
// resolution, and a displacement drag draws a relief as long as the drag.
#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <memory>

#include "glviewtestsupport.h"
#include "testsupport.h"

namespace {

const QRectF area(0, 4000, 2, -4000); // 0..2 s, 0..4 kHz

void mouse(GLChannel* view, QEvent::Type type, QPointF pixel, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent event(type, pixel, view->mapToGlobal(pixel), button, held, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
}

// Device rows from the top edge down to the highest pixel of column x whose
// green exceeds `level`.
int highestlit(const QImage& image, int x, int level)
{
    for (int y = 0; y < image.height(); ++y)
        if (qGreen(image.pixel(x, y)) > level)
            return y;
    return -1;
}

} // namespace

class TestGLChannelHiDpi : public QObject
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

    void drawsAtDevicePixels()
    {
        auto view = makeview(0, 300, 200);
        QVERIFY(view);
        QCOMPARE(view->devicePixelRatioF(), 2.0);
        driveview(*view, sine.get(), 0, area);
        view->infftparam(4, 65536, 16, false);
        view->indisplayarea(area, QRectF(), 3);
        QVERIFY(waitfortextures(*view, {0}));
        {
            QMutexLocker request(&view->texbuffers[0]->requestmutex);
            QCOMPARE(view->texbuffers[0]->texres, QSize(600, 400));
        }
        // About one row per device pixel: twice the rows of the widget's height.
        QVERIFY2(view->texres[0].height() > 300, qPrintable(QString::number(view->texres[0].height())));
        const QImage image = view->grabFramebuffer();
        QCOMPARE(image.size(), QSize(600, 400));
        QVERIFY(std::abs(brightestrow(image, 300) - 300) <= 2); // 1 kHz of 4 in 400 device rows
        int thick = 0;
        for (int y = 280; y < 320; ++y)
            thick += qGreen(image.pixel(300, y)) > 128 ? 1 : 0;
        QVERIFY2(thick >= 1 && thick <= 3, qPrintable(QString::number(thick)));
    }

    // A drag of 50 widget pixels upwards gives a displacement of 50, and the
    // relief reaches 50 widget pixels (100 device pixels) above the line.
    void displacementDragMatchesRelief()
    {
        auto view = makeview(0, 300, 200);
        QVERIFY(view);
        GLChannel* v = view.get();
        connect(v, &GLChannel::outmouseevent, v, [v](QPointF p, float pressure) { v->inmouseevent(p, pressure); });
        QSignalSpy displacement(v, &GLChannel::outdisplacement);
        connect(v, &GLChannel::outdisplacement, v, &GLChannel::indisplacement);
        driveview(*view, sine.get(), 0, area);
        QVERIFY(waitfortextures(*view, {0}));
        const int line = highestlit(view->grabFramebuffer(), 100, 150);
        QVERIFY2(std::abs(line - 298) <= 3, qPrintable(QString::number(line)));

        v->indisplace(1);
        mouse(v, QEvent::MouseMove, QPointF(150, 150), Qt::NoButton, Qt::NoButton);
        mouse(v, QEvent::MouseButtonPress, QPointF(150, 150), Qt::LeftButton, Qt::LeftButton);
        mouse(v, QEvent::MouseMove, QPointF(150, 100), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(displacement.size(), 1);
        const QPointF d = displacement.last().at(0).toPointF();
        QVERIFY(std::fabs(d.x() - 50) < 1e-9 && std::fabs(d.y() - 90) < 1e-9);
        mouse(v, QEvent::MouseButtonRelease, QPointF(150, 100), Qt::LeftButton, Qt::NoButton);
        QEvent leave(QEvent::Leave); // no pointer lines in the way
        QApplication::sendEvent(v, &leave);

        const int top = highestlit(view->grabFramebuffer(), 100, 150);
        QVERIFY2(std::abs((line - top) - 100) <= 3, qPrintable(QString("relief of %1 device pixels").arg(line - top)));
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_SCALE_FACTOR", "2");
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    TestGLChannelHiDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_glchannelhidpi.moc"
