// A file handed over from outside becomes a layer and the caller's file: the
// edited result goes back into it when the user says so at exit, and only then.
#include <QDoubleSpinBox>
#include <QLabel>
#include <QStatusBar>
#include <QProcess>
#include <QTimer>
#include <QTest>
#include <cmath>
#include <vector>

#include "app/tabletapplication.h"
#include "panels/layersgui.h"
#include "panels/qtreewidgetext.h"
#include "view/glchannel.h"
#include "windowrig.h"

namespace {

// A short float (or 16-bit) WAV of a 440 Hz tone at 0.25, made by sox.
QString tonefile(const QString& name, bool sixteen = false)
{
    const QString path = QDir::tempPath() + "/" + name;
    QProcess sox;
    sox.start(utilpath + "/sox/sox", {"-n", "-r", "8000", "-c", "1", "-e", sixteen ? "signed-integer" : "floating-point",
                                      "-b", sixteen ? "16" : "32", path, "synth", "0.5", "sine", "440", "vol", "0.25"});
    sox.waitForFinished(30000);
    return sox.exitCode() == 0 ? path : QString();
}

// The largest magnitude of the samples sox decodes from a file.
double peak(const QString& path)
{
    QProcess sox;
    sox.start(utilpath + "/sox/sox", {path, "-t", "raw", "-e", "floating-point", "-b", "32", "-"});
    sox.waitForFinished(30000);
    double largest = 0;
    for (float v : kvfloats(sox.readAllStandardOutput()))
        largest = std::max(largest, double(std::fabs(v)));
    return largest;
}

QByteArray bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestCallerRoundTrip : public QObject
{
    Q_OBJECT
private slots:
    void editedResultGoesBackOnYes();
    void writtenBackInTheCallersFormat();
    void failedExportKeepsTheWindowOpen();
    void noStillAsksAboutUnsavedChanges();
    void endRequestDuringAQuestionLeavesTheWork();
    void onlyWhatBecameALayerIsTheCallers();
    void endRequestAsksNothingAndWritesNothing();
};

void TestCallerRoundTrip::editedResultGoesBackOnYes()
{
    WindowRig w(QStringLiteral(KV_TEST_ROOT));
    const QString file = tonefile("handed.wav");
    QVERIFY(!file.isEmpty());
    QVERIFY(std::fabs(peak(file) - 0.25) < 0.01);
    w->sessionimport(file);
    QCOMPARE(w->callerpath, QFileInfo(file).absoluteFilePath());

    // The edit: the layer 6 dB louder.
    QTreeWidgetItem* row = layersgui->tree->topLevelItem(0);
    auto* spin = qobject_cast<QDoubleSpinBox*>(row->data(3, LayersGui::SpinRole).value<QWidget*>());
    QVERIFY(spin);
    spin->setValue(6.0);

    // Cancel keeps the window and the file; Yes writes the result back.
    w.answer = QMessageBox::Cancel;
    QVERIFY(!w->close());
    QVERIFY(std::fabs(peak(file) - 0.25) < 0.01);
    w.answer = QMessageBox::Yes;
    QVERIFY(w->close());
    QCOMPARE(w.asked.size(), 2);
    QCOMPARE(w.asked.at(1).title, QString("Exiting"));
    QVERIFY2(std::fabs(peak(file) - 0.5) < 0.02, qPrintable(QString::number(peak(file))));
}

void TestCallerRoundTrip::writtenBackInTheCallersFormat()
{
    WindowRig w(QStringLiteral(KV_TEST_ROOT));
    // Without a caller the command says why it does nothing.
    w->exportcalleract->trigger();
    auto* note = w->statusBar()->findChild<QLabel*>("callernote");
    QVERIFY(note && !note->isHidden());
    QCOMPARE(note->text(), QString("No calling program handed a file over: there is nothing to export back to."));

    const QString file = tonefile("sixteen.wav", true);
    const QByteArray format = bytes(file).mid(12, 24); // the format chunk: encoding, channels, rate, bits
    w->sessionimport(file);
    QCOMPARE(w->callerpath, QFileInfo(file).absoluteFilePath());
    w->exportcalleract->trigger();
    QVERIFY(w.asked.isEmpty());
    QCOMPARE(bytes(file).mid(12, 24), format);
    QVERIFY(std::fabs(peak(file) - 0.25) < 0.01);
}

void TestCallerRoundTrip::failedExportKeepsTheWindowOpen()
{
    WindowRig w(QStringLiteral(KV_TEST_ROOT));
    const QString file = tonefile("blocked.wav");
    QVERIFY(!file.isEmpty());
    w->sessionimport(file);
    QCOMPARE(w->callerpath, QFileInfo(file).absoluteFilePath());
    const QString layerfile = LayersGui::rowlayer(layersgui->tree->topLevelItem(0))->file->fileName();

    // The caller's file cannot be written: a folder took its place.
    QVERIFY(QFile::remove(file));
    QVERIFY(QDir().mkpath(file));
    w.answer = QMessageBox::Yes;
    QVERIFY(!w->close());
    QCOMPARE(w.asked.size(), 2);
    QCOMPARE(w.asked.at(0).title, QString("Exiting"));
    QCOMPARE(w.asked.at(1).title, QString("Export to Caller"));
    QCOMPARE(w.asked.at(1).icon, QMessageBox::Critical);
    // Nothing is closed: the layer and its samples are still there.
    QVERIFY(layersgui);
    QCOMPARE(layersgui->tree->topLevelItemCount(), 1);
    QVERIFY(QFileInfo(layerfile).size() > 0);

    // Once the way is free, the same close writes the file and ends.
    QVERIFY(QDir(file).removeRecursively());
    QVERIFY(w->close());
    QVERIFY(std::fabs(peak(file) - 0.25) < 0.01);
}

void TestCallerRoundTrip::noStillAsksAboutUnsavedChanges()
{
    WindowRig w(QStringLiteral(KV_TEST_ROOT));
    const QString file = tonefile("declined.wav");
    w->sessionimport(file);
    QCOMPARE(w->callerpath, QFileInfo(file).absoluteFilePath());
    const QByteArray before = bytes(file);
    w.answer = QMessageBox::No;
    QVERIFY(w->close());
    QCOMPARE(w.asked.size(), 2);
    QCOMPARE(w.asked.at(0).title, QString("Exiting"));
    QCOMPARE(w.asked.at(1).title, QString("Close Project"));
    QCOMPARE(bytes(file), before);
}

void TestCallerRoundTrip::endRequestDuringAQuestionLeavesTheWork()
{
    // The system asks the program to end while the user looks at the close
    // question: the question goes away unanswered (Cancel), and the window
    // then closes from the main loop, leaving the work to recover.
    WindowRig w(QStringLiteral(KV_TEST_ROOT));
    const QString file = tonefile("interrupted.wav");
    w->sessionimport(file);
    QCOMPARE(layersgui->tree->topLevelItemCount(), 1);
    const QString layerfile = LayersGui::rowlayer(layersgui->tree->topLevelItem(0))->file->fileName();
    const QString session = sessionpath + "/session(" + sessionid + ").kvx";
    QVERIFY(QFile::exists(session));
    QMessageBox::StandardButton shown = QMessageBox::NoButton;
    MainWindow* window = w.window.get();
    setpromptanswerer([&](const PromptRequest& r) {
        w.asked << r;
        if (r.title != QLatin1String("Close Project"))
            return QMessageBox::No;
        QMessageBox box(r.icon, r.title, r.text, r.buttons, r.parent);
        QTimer::singleShot(20, window, &MainWindow::systemend);
        shown = QMessageBox::StandardButton(box.exec());
        return shown;
    });
    w->show();
    QTimer::singleShot(0, window, [window] { window->close(); });
    QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 30000);
    QCOMPARE(shown, QMessageBox::Cancel);
    QCOMPARE(w.asked.size(), 2);
    QVERIFY(window->endrequested);
    QVERIFY(QFile::exists(session));
    QVERIFY(QFileInfo(layerfile).size() > 0);
    QFile::remove(session);
    QFile::remove(layerfile);
}

void TestCallerRoundTrip::onlyWhatBecameALayerIsTheCallers()
{
    WindowRig w(QStringLiteral(KV_TEST_ROOT));
    const QString junk = QDir::tempPath() + "/junk.wav";
    QFile file(junk);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not audio at all, only words in a file named like a wave file");
    file.close();
    w->sessionimport(junk);
    QVERIFY(w->callerpath.isEmpty());
    w->sessionimport("/no/such/file.wav");
    QVERIFY(w->callerpath.isEmpty());
    const int asked = w.asked.size(); // the import's own error boxes
    QVERIFY(w->close());
    QCOMPARE(w.asked.size(), asked); // no export question
}

void TestCallerRoundTrip::endRequestAsksNothingAndWritesNothing()
{
    WindowRig w(QStringLiteral(KV_TEST_ROOT));
    const QString file = tonefile("ended.wav");
    w->sessionimport(file);
    QCOMPARE(w->callerpath, QFileInfo(file).absoluteFilePath());
    const QByteArray before = bytes(file);
    w->endrequested = true;
    w.answer = QMessageBox::Yes; // would export, were it asked
    QVERIFY(w->close());
    QVERIFY(w.asked.isEmpty());
    QCOMPARE(bytes(file), before);
}

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    TabletApplication app(argc, argv);
    TestCallerRoundTrip test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_callerroundtrip.moc"
