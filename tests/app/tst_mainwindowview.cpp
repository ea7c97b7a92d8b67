// The whole window on the bundled sample: the start values of the window's
// controls reach the controller, and each channel view draws a spectrogram,
// on the screen too after Close Project and after a channel was switched off.
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QScreen>
#include <QProcess>
#include <QTest>

#include "controller/spectrumgui.h"
#include "core/layer.h"
#include "panels/channelsgui.h"
#include "panels/layersgui.h"
#include "panels/qtreewidgetext.h"
#include "view/glchannel.h"
#include "windowrig.h"

class TestMainWindowView : public QObject
{
    Q_OBJECT

private slots:
    void sampleShowsAsASpectrogram();
    void drawnAgainAfterCloseAndChannelSwitch();
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

void TestMainWindowView::drawnAgainAfterCloseAndChannelSwitch()
{
    WindowRig w(QStringLiteral(KV_TEST_ROOT));
    w->resize(1280, 720);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
    const QString stereo = QStringLiteral(KV_TEST_ROOT) + "/Resources/Samples/Sample.wav";
    const QString mono = QDir::tempPath() + "/mono.wav";
    QProcess sox;
    sox.start(utilpath + "/sox/sox", {stereo, mono, "remix", "1"});
    QVERIFY(sox.waitForFinished(30000));
    QCOMPARE(sox.exitCode(), 0);
    // What the X server shows where the view lies, not what the view would
    // draw now; other tests' windows on the same display are put behind.
    const auto onscreen = [&w](int channel) {
        GLChannel* view = spectrumgui->view(channel);
        if (!view || !view->isVisible())
            return false;
        w->raise();
        const QPoint at = view->mapToGlobal(QPoint(0, 0));
        return spectrogram(
            QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), view->width(), view->height()).toImage());
    };
    // A view that stays black fails here, well inside the test's own limit
    // (QTRY_ doubles its wait on a failure to report what would have done).
    const auto drawn = [&](bool second) {
        return QTest::qWaitFor([&] { return onscreen(0) && (!second || onscreen(1)); }, 30000);
    };
    // After Close Project the first view of the next project is shown again
    // at the size it had when the last one was closed.
    const QStringList files{stereo, mono, stereo};
    for (int i = 0; i < files.size(); ++i) {
        if (i > 0) {
            w->closeact->trigger();
            QCOMPARE(layersgui->tree->topLevelItemCount(), 0);
        }
        layersgui->Import(files[i], QString());
        QCOMPARE(layersgui->tree->topLevelItemCount(), 1);
        QVERIFY2(drawn(files[i] != mono),
                 qPrintable(QString("import %1 (%2) is not on the screen").arg(i + 1).arg(QFileInfo(files[i]).fileName())));
    }
    // Channel 1 off and on again in the Channels panel, the window's size untouched.
    QTreeWidget* channels = channelsgui->tree;
    const QRect row = channels->visualItemRect(channels->topLevelItem(1));
    const QPoint activecell(channels->header()->sectionViewportPosition(0) + 4, row.center().y());
    const int height = spectrumgui->view(0)->height();
    QTest::mouseClick(channels->viewport(), Qt::LeftButton, Qt::NoModifier, activecell);
    QVERIFY(QTest::qWaitFor([&] { return spectrumgui->view(0)->height() > height; }, 30000)); // channel 0 takes the room
    QTest::mouseClick(channels->viewport(), Qt::LeftButton, Qt::NoModifier, activecell);
    QVERIFY2(drawn(true), "the views are not on the screen after channel 1 was switched off and on");
    QVERIFY(w->close());
}

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    TestMainWindowView test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindowview.moc"
