// The whole window on the bundled sample: the start values of the window's
// controls reach the controller, and each channel view draws a spectrogram.
#include <QDoubleSpinBox>
#include <QProcess>
#include <QTest>

#include "controller/spectrumgui.h"
#include "core/layer.h"
#include "panels/layersgui.h"
#include "view/glchannel.h"
#include "windowrig.h"

class TestMainWindowView : public QObject
{
    Q_OBJECT

private slots:
    void sampleShowsAsASpectrogram();
};

void TestMainWindowView::sampleShowsAsASpectrogram()
{
    WindowRig w(QStringLiteral(KV_TEST_ROOT));
    w->resize(1280, 720);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get(), 30000));

    const QString raw = QDir::tempPath() + "/sample.raw";
    QProcess sox;
    sox.start(utilpath + "/sox/sox", {QStringLiteral(KV_TEST_ROOT) + "/Resources/Samples/Sample.wav", "-t", "raw",
                                      "-e", "floating-point", "-b", "32", raw});
    QVERIFY(sox.waitForFinished(30000));
    QCOMPARE(sox.exitCode(), 0);
    const int rate = 44100;
    auto* sample = new layer(raw, "Sample", true, 1, 1.0f, rate, 2, 0, 8.0, true);
    layersgui->alllayers = new layer();
    layersgui->alllayers->resample(rate, 2, 0);
    layersgui->alllayers->addchild(sample);
    layersgui->mixlayer = new layer();
    layersgui->mixlayer->resample(rate, 2, 0);
    layersgui->mixlayer->addchild(sample);
    projectformat = {rate, 2, sample->speakermask};
    QVERIFY(spectrumgui->bindlayer(0, layersgui->mixlayer));
    QCOMPARE(spectrumgui->fftsize, 2048);
    QCOMPARE(w->dispend->value(), 8.0);
    QCOMPARE(w->disphigh->value(), 22050.0);

    for (int channel = 0; channel < 2; ++channel) {
        GLChannel* view = spectrumgui->view(channel);
        QVERIFY(view && view->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(spectrogram(view->grabFramebuffer()), 30000);
    }
    w->grab().save("window.png"); // left in the test's folder for a look

    QVERIFY(w->close());
    QVERIFY(!spectrumgui);
    delete sample;
}

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    TestMainWindowView test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindowview.moc"
