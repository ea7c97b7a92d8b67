#include <QDialog>
#include <QDir>
#include <QDateTime>
#include <QFile>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/filechooser.h"
#include "app/mainwindow.h"
#include "app/prompt.h"
#include "app/selfexecutable.h"
#include "apptestsupport.h"

namespace {

void writefile(const QString& path, const QByteArray& bytes = "RIFF")
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// The file is older than the second within which the link takes it for new.
bool aged(const QString& path)
{
    const QFileInfo info(path);
    const QDateTime created = info.birthTime().isValid() ? info.birthTime() : info.metadataChangeTime();
    return created.msecsTo(QDateTime::currentDateTime()) > 1000;
}

// Runs `body` while the link's dialog is open, then stops the connection.
void withdialog(MainWindow& w, const std::function<void(QDialog*)>& body)
{
    QTimer::singleShot(0, &w, [&w, body] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            qFatal("the link's dialog is not open");
        body(dialog);
        for (QPushButton* b : dialog->findChildren<QPushButton*>())
            if (b->text() == "Stop connection")
                b->click();
    });
    w.linksamplitude();
}

} // namespace

// The watch on the workstation's effect files, with the real file-system
// watcher and a stand-in program as the second instance.
class TestSamplitudeLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase() { setselfexecutable(QString()); }
    void dialogWatchesTheStoredFolderTrees();
    void newEffectFileOpensInASecondInstance();
    void onlyEffectNamesAreOffered();
    void oldFilesAreNotOffered();
    void filesWhileAskingMakeOneQuestion();
    void aChangeSoonAfterCreationAsksAgain();
    void choosingAFolderMovesTheWatch();

private:
    // The arguments of each start of the stand-in program, one start per line.
    QStringList starts() const;
    QString project, audio, startlog;
    QList<PromptRequest> asked;
    std::function<QMessageBox::StandardButton(const PromptRequest&)> answer;
};

void TestSamplitudeLink::initTestCase()
{
    QCoreApplication::setApplicationName("Korvane");
    QCoreApplication::setOrganizationName("Murrowgate");
    // The second instance notes its arguments and exits.
    const QString program = QDir::tempPath() + "/second-instance.sh";
    startlog = QDir::tempPath() + "/starts.txt";
    QFile script(program);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(QString("#!/bin/sh\necho \"$# $*\" >> '%1'\n").arg(startlog).toUtf8());
    script.close();
    QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    setselfexecutable(program);
}

void TestSamplitudeLink::init()
{
    QSettings().clear();
    project = QDir::tempPath() + "/project";
    audio = QDir::tempPath() + "/audio";
    QDir(project).removeRecursively();
    QDir(audio).removeRecursively();
    QDir().mkpath(project + "/takes");
    QDir().mkpath(audio);
    QFile::remove(startlog);
    asked.clear();
    answer = [](const PromptRequest&) { return QMessageBox::No; };
    setpromptanswerer([this](const PromptRequest& r) {
        asked << r;
        return answer(r);
    });
}

void TestSamplitudeLink::cleanup()
{
    setpromptanswerer({});
    setfileanswerer({});
}

QStringList TestSamplitudeLink::starts() const
{
    QFile file(startlog);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

void TestSamplitudeLink::dialogWatchesTheStoredFolderTrees()
{
    MainWindow w;
    // Never chosen: the buttons show their captions and nothing is watched.
    withdialog(w, [&](QDialog* dialog) {
        QCOMPARE(dialog->windowTitle(), QString("Samplitude/Sequoia"));
        QCOMPARE(dialog->parent(), &w);
        QCOMPARE(dialog->findChild<QLabel*>()->text(),
                 QString("Make sur <i>Destructive effect calculation</i> is set to <i>Generate a new FX</i> <br/>and "
                         "<i>highest resolution (32 Bit Float)</i> in Samplitude/Sequoia"));
        auto* first = dialog->findChild<QPushButton*>("samplitudepath0");
        auto* second = dialog->findChild<QPushButton*>("samplitudepath1");
        QVERIFY(first && second);
        QCOMPARE(first->text(), QString("Samplitude/Sequoia project folder"));
        QCOMPARE(first->toolTip(), QString("Samplitude/Sequoia project folder"));
        QCOMPARE(second->text(), QString("Project's audio files folder"));
        QCOMPARE(second->toolTip(), QString("Project's audio files folder"));
        QVERIFY(w.samplitudewatcher->directories().isEmpty());
    });

    // Stored folders are watched with every folder below them; a one-letter
    // name is not, even when such a folder exists.
    QSettings().setValue("samplitudepath0", project);
    QSettings().setValue("samplitudepath1", "x");
    QDir().mkpath("x");
    withdialog(w, [&](QDialog* dialog) {
        QCOMPARE(dialog->findChild<QPushButton*>("samplitudepath0")->text(), project);
        QStringList watched = w.samplitudewatcher->directories();
        watched.sort();
        QCOMPARE(watched, (QStringList{project, project + "/takes"}));
    });
    // Closed, the link watches nothing and hears nothing, where a watcher of
    // the test's own hears the new file.
    QVERIFY(w.samplitudewatcher->directories().isEmpty());
    QVERIFY(w.samplitudewatcher->files().isEmpty());
    QFileSystemWatcher witness({project + "/takes"});
    QSignalSpy heard(&witness, &QFileSystemWatcher::directoryChanged);
    writefile(project + "/takes/late_FX1.wav");
    QVERIFY(heard.wait(30000));
    QCoreApplication::processEvents();
    QVERIFY(asked.isEmpty());
}

void TestSamplitudeLink::newEffectFileOpensInASecondInstance()
{
    QSettings().setValue("samplitudepath1", audio);
    answer = [](const PromptRequest&) { return QMessageBox::Yes; };
    MainWindow w;
    withdialog(w, [&](QDialog*) {
        writefile(audio + "/Take 3_FX1.wav");
        QVERIFY(QTest::qWaitFor([&] { return !starts().isEmpty(); }, 30000));
    });
    QCOMPARE(asked.size(), 1);
    const PromptRequest& question = asked.first();
    QCOMPARE(question.text, QString("Edit in Korvane ?"));
    QVERIFY(question.title.isEmpty());
    QVERIFY(!question.parent);
    QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(question.defaultbutton, QMessageBox::Yes);
    QVERIFY(question.staysontop);
    // One argument, the effect file, and the first instance waited for it.
    QCOMPARE(starts(), QStringList{"1 " + audio + "/Take 3_FX1.wav"});
}

void TestSamplitudeLink::onlyEffectNamesAreOffered()
{
    QSettings().setValue("samplitudepath0", project);
    MainWindow w;
    withdialog(w, [&](QDialog*) {
        for (const char* name : {"take_fx1.wav", "take_FX1.WAV", "take1.wav", "take_FX1.wav.bak", "take_FX1.aif"})
            writefile(project + "/" + name);
        w.linksamplitudedirnotify(project);
        QVERIFY(asked.isEmpty());
        QVERIFY(w.samplitudewatcher->files().isEmpty());
        // The folders below are watched from the start; one made later is not:
        // a file there is passed over, the one written after it is offered.
        writefile(project + "/takes/take_FX2.wav");
        QVERIFY(QTest::qWaitFor([&] { return asked.size() == 1; }, 30000));
        QDir().mkpath(project + "/later");
        writefile(project + "/later/take_FX3.wav");
        writefile(project + "/takes/take_FX4.wav");
        QVERIFY(QTest::qWaitFor([&] { return w.samplitudepending.endsWith("take_FX4.wav"); }, 30000));
        QCOMPARE(asked.size(), 2);
    });
    QVERIFY(starts().isEmpty()); // answered No
}

void TestSamplitudeLink::oldFilesAreNotOffered()
{
    MainWindow w;
    writefile(audio + "/take_FX1.wav");
    QVERIFY(QTest::qWaitFor([&] { return aged(audio + "/take_FX1.wav"); }, 30000));
    w.linksamplitudedirnotify(audio);
    w.linksamplitudefilenotify(audio + "/take_FX1.wav");
    QVERIFY(asked.isEmpty());
    // A file that is gone is not offered either.
    w.linksamplitudefilenotify(audio + "/gone_FX1.wav");
    QVERIFY(asked.isEmpty());
    writefile(audio + "/take_FX2.wav");
    w.linksamplitudedirnotify(audio);
    QCOMPARE(asked.size(), 1);
    QCOMPARE(w.samplitudewatcher->files(), QStringList{audio + "/take_FX2.wav"});
    // Already watched: the folder's next change does not offer it again.
    w.linksamplitudedirnotify(audio);
    QCOMPARE(asked.size(), 1);
}

void TestSamplitudeLink::filesWhileAskingMakeOneQuestion()
{
    QSettings().setValue("samplitudepath0", project);
    MainWindow w;
    answer = [&](const PromptRequest&) {
        // The workstation writes two more while the question is open.
        writefile(project + "/b_FX.wav");
        writefile(project + "/c_FX.wav");
        if (!QTest::qWaitFor([&] { return w.samplitudepending.endsWith("c_FX.wav"); }, 30000))
            qWarning("the later files were not noticed while asking");
        return QMessageBox::Yes;
    };
    withdialog(w, [&](QDialog*) {
        writefile(project + "/a_FX.wav");
        QVERIFY(QTest::qWaitFor([&] { return !starts().isEmpty(); }, 30000));
        // What came in while asking is done with: the next file is the next question.
        answer = [](const PromptRequest&) { return QMessageBox::No; };
        writefile(project + "/d_FX.wav");
        QVERIFY(QTest::qWaitFor([&] { return w.samplitudepending.endsWith("d_FX.wav"); }, 30000));
    });
    QCOMPARE(asked.size(), 2);
    QCOMPARE(starts(), QStringList{"1 " + project + "/c_FX.wav"});
}

void TestSamplitudeLink::aChangeSoonAfterCreationAsksAgain()
{
    QSettings().setValue("samplitudepath1", audio);
    MainWindow w;
    withdialog(w, [&](QDialog*) {
        const QString take = audio + "/take_FX1.wav";
        writefile(take);
        QVERIFY(QTest::qWaitFor([&] { return asked.size() == 1; }, 30000));
        writefile(take, "data");
        QVERIFY(QTest::qWaitFor([&] { return asked.size() == 2; }, 30000));
        // Gone, or changed later on, it asks no more: the next new file is
        // the next question.
        QFile::remove(take);
        writefile(audio + "/take_FX2.wav");
        QVERIFY(QTest::qWaitFor([&] { return w.samplitudepending.endsWith("take_FX2.wav"); }, 30000));
        QCOMPARE(asked.size(), 3);
        QVERIFY(QTest::qWaitFor([&] { return aged(audio + "/take_FX2.wav"); }, 30000));
        writefile(audio + "/take_FX2.wav", "more");
        writefile(audio + "/take_FX3.wav");
        QVERIFY(QTest::qWaitFor([&] { return w.samplitudepending.endsWith("take_FX3.wav"); }, 30000));
        QCOMPARE(asked.size(), 4);
    });
}

void TestSamplitudeLink::choosingAFolderMovesTheWatch()
{
    QSettings().setValue("samplitudepath0", project);
    MainWindow w;
    withdialog(w, [&](QDialog* dialog) {
        auto* button = dialog->findChild<QPushButton*>("samplitudepath0");
        // Cancelled: nothing changes.
        QList<FileRequest> requests;
        QString choice;
        setfileanswerer([&](const FileRequest& r) {
            requests << r;
            return choice;
        });
        button->click();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.first().kind, FileRequest::Folder);
        QCOMPARE(requests.first().caption, QString("Select a Project/Samples path"));
        QCOMPARE(requests.first().path, project);
        QCOMPARE(requests.first().parent, &w);
        QCOMPARE(button->text(), project);
        QCOMPARE(w.samplitudewatcher->directories().size(), 2);
        // A one-character answer counts as cancelled too.
        choice = "/";
        button->click();
        QCOMPARE(button->text(), project);

        choice = audio;
        button->click();
        QCOMPARE(button->text(), audio);
        QCOMPARE(w.samplitudewatcher->directories(), QStringList{audio});
        writefile(audio + "/take_FX1.wav");
        QVERIFY(QTest::qWaitFor([&] { return asked.size() == 1; }, 30000));
    });
    QCOMPARE(QSettings().value("samplitudepath0").toString(), audio);
}

QTEST_MAIN(TestSamplitudeLink)
#include "tst_samplitudelink.moc"
