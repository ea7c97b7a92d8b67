#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

#include <csignal>

#include "apptestsupport.h"
#include "panels/layersgui.h"

// The real program, started on the bundled sample in this test's own home.
class TestProgram : public QObject
{
    Q_OBJECT

private slots:
    void startShowAndEnd();

private:
    QString logsfolder() const
    {
        return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/Korvane logs";
    }
    QString newestlog() const
    {
        const QFileInfoList logs = QDir(logsfolder()).entryInfoList({"*.htm"}, QDir::Files, QDir::Time);
        return logs.isEmpty() ? QString() : logs.first().absoluteFilePath();
    }
};

void TestProgram::startShowAndEnd()
{
    const QString sample = QStringLiteral(KV_TEST_ROOT) + "/Resources/Samples/Sample.wav";
    QVERIFY(QFile::exists(QStringLiteral(KV_PROGRAM)));
    QVERIFY(QFile::exists(sample));
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(KV_PROGRAM), {sample});
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(!newestlog().isEmpty() && plainloglines(newestlog()).contains("initialization finished"),
                             60000);
    const QString log = newestlog();
    // Give the views time to compute and draw the spectrogram; on a busy
    // machine the import and the transforms take longer.
    QImage screen, views;
    QElapsedTimer waited;
    waited.start();
    do {
        QTest::qWait(500);
        screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        // Inside the channel views of the 1280 x 720 window at (0, 0).
        views = screen.copy(QRect(250, 180, 700, 400));
    } while (!spectrogram(views) && waited.elapsed() < 60000);
    screen.save("screen.png");

    ::kill(program.processId(), SIGTERM);
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);

    const QStringList lines = plainloglines(log);
    QCOMPARE(lines.value(0), QString(KV_PROGRAM) + " " + sample + " ");
    QString missing;
    QVERIFY2(inorder(lines, {"session ", "launching Korvane (1.0 - x", "OS: ", "CPU: ", "initialization finished",
                             "session import " + sample, "exiting", "session ended"},
                     &missing),
             qPrintable(missing));

    // The spectrogram of the sample fills the channel views.
    QVERIFY(spectrogram(views));
}

QTEST_MAIN(TestProgram)
#include "tst_program.moc"
