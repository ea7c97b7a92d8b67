#include <QColorDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/sessionlock.h"
#include "app/startup.h"
#include "controller/spectrumgui.h"
#include "panels/layersgui.h"
#include "panels/projectfile.h"
#include "windowrig.h"

// The Advanced Settings dialog: what it shows, and what each control writes,
// removes or repaints.
class TestAdvancedSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { WindowRig::identify(); }
    void init() { QSettings().clear(); }
    void showsValuesAndWritesNothing();
    void limitsWriteAtOnce();
    void storedLimitsAreBounded();
    void folderChoosers();
    void cleanSessionsRemovesOnlyEndedSessionFiles();
    void clearLogsRemovesLogsOnly();
    void colourPickerAppliesEveryColour();
    void resets();

private:
    static QPushButton* button(WindowRig& w, const QString& text)
    {
        for (QPushButton* b : w->advanceddialog->findChildren<QPushButton*>())
            if (b->text() == text)
                return b;
        return nullptr;
    }
    static QSpinBox* spin(WindowRig& w, const QString& suffix)
    {
        for (QSpinBox* s : w->advanceddialog->findChildren<QSpinBox*>())
            if (s->suffix() == suffix)
                return s;
        return nullptr;
    }
    static void makeold(const QString& path)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
        file.flush(); // a later flush would change the time again
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
    }
};

void TestAdvancedSettings::showsValuesAndWritesNothing()
{
    sessionmax = 12;
    logsmax = 7;
    projectmax = 4;
    historymax = 12; // above the range: shown as 8, and not written
    colormix = QColor(1, 2, 3);
    WindowRig w;
    QVERIFY(w->advanceddialog->isModal() && w->advanceddialog->isHidden());
    QCOMPARE(w->sessionpathbutton->text(), sessionpath);
    QCOMPARE(w->logspathbutton->text(), logspath);
    const std::pair<const char*, int> spins[] = {{" days", 12}, {" logs", 7}, {" projects", 4}, {" actions", 8}};
    for (const auto& [suffix, value] : spins) {
        QVERIFY2(spin(w, suffix), suffix);
        QCOMPARE(spin(w, suffix)->value(), value);
    }
    QCOMPARE(w->mixcolorbutton->styleSheet(), QString("background: #010203"));
    QCOMPARE(w->selectcolorbutton->styleSheet(), QString("background: #ff0000"));
    QCOMPARE(w->clipboardcolorbutton->styleSheet(), QString("background: #4646ff"));
    for (const char* key : {"sessionmax", "logsmax", "projectmax", "historymax", "colormix"})
        QVERIFY2(!QSettings().contains(key), key);
    historymax = 8;
    projectmax = 5;
    colormix = QColor(0, 255, 0);
}

void TestAdvancedSettings::limitsWriteAtOnce()
{
    WindowRig w;
    spin(w, " days")->setValue(25);
    spin(w, " logs")->setValue(40);
    spin(w, " projects")->setValue(2);
    spin(w, " actions")->setValue(5);
    QSettings settings;
    QCOMPARE(settings.value("sessionmax").toInt(), 25);
    QCOMPARE(settings.value("logsmax").toInt(), 40);
    QCOMPARE(settings.value("projectmax").toInt(), 2);
    QCOMPARE(settings.value("historymax").toInt(), 5);
    QCOMPARE(sessionmax, 25);
    QCOMPARE(logsmax, 40);
    QCOMPARE(projectmax, 2);
    QCOMPARE(historymax, 5);
    projectmax = 5;
}

void TestAdvancedSettings::storedLimitsAreBounded()
{
    // Hand-edited values are held to what the dialog offers; no number counts as unset.
    QSettings settings;
    settings.setValue("sessionmax", 0);
    settings.setValue("logsmax", "abc");
    settings.setValue("projectmax", 99);
    settings.setValue("historymax", -3);
    readlimitsandcolours();
    QCOMPARE(sessionmax, 1);
    QCOMPARE(logsmax, 10);
    QCOMPARE(projectmax, 10);
    QCOMPARE(historymax, 4);
    settings.setValue("sessionmax", "-7");
    settings.setValue("historymax", 6);
    readlimitsandcolours();
    QCOMPARE(sessionmax, 1);
    QCOMPARE(historymax, 6);
    settings.clear();
    readlimitsandcolours();
    QCOMPARE(sessionmax, 10);
    QCOMPARE(projectmax, 5);
}

void TestAdvancedSettings::folderChoosers()
{
    WindowRig w;
    const QString session = sessionpath;
    w.fileanswer = "";
    w->sessionpathbutton->click();
    w.fileanswer = "/"; // one character: taken as cancelled
    w->sessionpathbutton->click();
    QCOMPARE(w.filerequests.size(), 2);
    QCOMPARE(w.filerequests.at(0).kind, FileRequest::Folder);
    QCOMPARE(w.filerequests.at(0).caption, QString("Select session folder"));
    QCOMPARE(w.filerequests.at(0).path, sessionpath); // the button's folder exists
    QVERIFY(!QSettings().contains("sessionpath"));
    QVERIFY(w.asked.isEmpty());

    QTemporaryDir chosen;
    w.fileanswer = chosen.path();
    w->sessionpathbutton->click();
    QCOMPARE(QSettings().value("sessionpath").toString(), chosen.path());
    QCOMPARE(w.asked.size(), 1);
    QCOMPARE(w.asked.at(0).title, QString("Session folder changed"));
    QCOMPARE(w.asked.at(0).text, QString("The change will take effect<br>next time you launch Korvane."));
    QCOMPARE(sessionpath, session); // this run keeps its folder
    QCOMPARE(w->sessionpathbutton->text(), session);

    w->logspathbutton->setText("/no/such/folder");
    w->logspathbutton->click();
    QCOMPARE(w.filerequests.last().caption, QString("Select logs folder"));
    QCOMPARE(w.filerequests.last().path, QString()); // a folder that does not exist is no start
    QCOMPARE(QSettings().value("logspath").toString(), chosen.path());
    QCOMPARE(w.asked.last().title, QString("Logs folder changed"));
}

void TestAdvancedSettings::cleanSessionsRemovesOnlyEndedSessionFiles()
{
    WindowRig w;
    const QString own = sessionpath + "/own.pcm"; // written by this run
    QFile file(own);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    // This run's session names an old layer file: both stay.
    ProjectData data;
    data.samplerate = 8000;
    data.channels = 1;
    ProjectRow row;
    row.name = "A";
    row.samplerate = 8000;
    row.channels = 1;
    row.samples = sessionpath + "/layer(mine01).pcm";
    row.bytes = 4;
    data.rows << row;
    const QString ownsession = "session(" + sessionid + ").kvx";
    makeold(row.samples);
    makeold(sessionpath + "/" + ownsession);
    QFile session(sessionpath + "/" + ownsession);
    QVERIFY(session.open(QIODevice::WriteOnly));
    session.write(projectxml(data));
    session.close();

    // The user's own files: a folder linked into the session folder, and a
    // link named like a layer file.
    QTemporaryDir user;
    const QStringList userfiles = {"song.kvx", "song.kvx.data/layer1.pcm", "take.pcm", "My projects/mix.kvx",
                                   "layer(abcdef).pcm", "session(2001.01.01-00.00.00.000).kvx"};
    for (const QString& name : userfiles)
        makeold(user.filePath(name));
    QVERIFY(QFile::link(user.path(), sessionpath + "/linked"));
    QVERIFY(QFile::link(user.filePath("take.pcm"), sessionpath + "/layer(link01).pcm"));

    // Only the files of ended sessions, by the names this program gives them.
    const QStringList gone = {"layer(abc123).pcm", "session(2001.01.01-00.00.00.000).kvx"};
    const QStringList kept = {"keep.PCM",       "readme.txt",          "notes.kvx.bak",
                              "sub/old.pcm",    "takes.pcm/a.pcm",     "takes.pcm/notes.txt",
                              "session().kvx",  "layer(toolong7).pcm", "sub/layer(abc123).pcm"};
    for (const QString& name : gone + kept)
        makeold(sessionpath + "/" + name);
    button(w, "Clean Sessions")->click();
    for (const QString& name : gone)
        QVERIFY2(!QFile::exists(sessionpath + "/" + name), qPrintable(name));
    for (const QString& name : kept + QStringList{ownsession, "layer(mine01).pcm"})
        QVERIFY2(QFile::exists(sessionpath + "/" + name), qPrintable(name));
    QVERIFY(QFile::exists(own));
    for (const QString& name : userfiles)
        QVERIFY2(QFile::exists(user.filePath(name)), qPrintable(name));
    QVERIFY(QFileInfo(sessionpath + "/layer(link01).pcm").isSymLink());
    QFile::remove(sessionpath + "/linked");
    QFile::remove(sessionpath + "/layer(link01).pcm");
}

void TestAdvancedSettings::clearLogsRemovesLogsOnly()
{
    WindowRig w;
    const QStringList gone = {"2020.01.01-00.00.00.000.htm", "sub/2020.01.02-00.00.00.000.htm"};
    const QStringList kept = {"notes.txt", "2020.01.03-00.00.00.000.HTM", "copy of a log.htm"};
    for (const QString& name : gone + kept)
        makeold(logspath + "/" + name);
    button(w, "Clear Logs")->click();
    for (const QString& name : gone)
        QVERIFY2(!QFile::exists(logspath + "/" + name), qPrintable(name));
    for (const QString& name : kept)
        QVERIFY2(QFile::exists(logspath + "/" + name), qPrintable(name));
    // The running session's log stays and goes on taking lines.
    logmessage("still logging");
    QVERIFY(kvlogtext().contains("still logging"));
}

void TestAdvancedSettings::colourPickerAppliesEveryColour()
{
    WindowRig w;
    QSignalSpy repaints(spectrumgui, &SpectrumGui::outupdategl);
    const QList<QColor> pointed = {Qt::red, Qt::blue, Qt::yellow, QColor(10, 20, 30), QColor(200, 100, 50)};
    QColor initial;
    bool hidesbuttons = false;
    std::function<void()> answer = [&] {
        auto* picker = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
        if (!picker) {
            QTimer::singleShot(10, answer);
            return;
        }
        initial = picker->currentColor();
        hidesbuttons = picker->testOption(QColorDialog::NoButtons);
        for (const QColor& c : pointed)
            picker->setCurrentColor(c);
        picker->reject();
    };
    QTimer::singleShot(0, answer);
    w->mixcolorbutton->click();
    QCOMPARE(initial, QColor(0, 255, 0));
    QVERIFY(hidesbuttons);
    QCOMPARE(colormix, pointed.last());
    QCOMPARE(QSettings().value("colormix").value<QColor>(), pointed.last());
    QCOMPARE(w->mixcolorbutton->styleSheet(), QString("background: #c86432"));
    QCOMPARE(repaints.size(), pointed.size());
    QVERIFY(w->pendingcalls().isEmpty()); // the layer rows took the colour too

    // The other two reach their own colour, button and key.
    w->advcolorchangeselect(QColor(1, 1, 1));
    w->advcolorchangeclipboard(QColor(2, 2, 2));
    QCOMPARE(colorselect, QColor(1, 1, 1));
    QCOMPARE(colorclipboard, QColor(2, 2, 2));
    QCOMPARE(w->selectcolorbutton->styleSheet(), QString("background: #010101"));
    QCOMPARE(QSettings().value("colorclipboard").value<QColor>(), QColor(2, 2, 2));
}

void TestAdvancedSettings::resets()
{
    WindowRig w;
    w->advcolorchangemix(Qt::white);
    w->advcolorchangeselect(Qt::black);
    w->advcolorchangeclipboard(Qt::gray);
    QSignalSpy repaints(spectrumgui, &SpectrumGui::outupdategl);
    button(w, "Reset Colors")->click();
    QCOMPARE(repaints.size(), 1);
    for (const char* key : {"colormix", "colorselect", "colorclipboard"})
        QVERIFY2(!QSettings().contains(key), key);
    QCOMPARE(colormix, QColor(0, 255, 0, 255));
    QCOMPARE(colorselect, QColor(255, 0, 0, 255));
    QCOMPARE(colorclipboard, QColor(70, 70, 255, 255));
    QCOMPARE(w->mixcolorbutton->styleSheet(), QString("background: #00ff00"));
    QCOMPARE(w->clipboardcolorbutton->styleSheet(), QString("background: #4646ff"));

    spin(w, " days")->setValue(20);
    QSettings().setValue("recentFileList", QStringList{"/a.kvp"});
    w->advcolorchangemix(Qt::white);
    button(w, "Reset All Settings")->click();
    QVERIFY(QSettings().allKeys().isEmpty());
    QCOMPARE(colormix, QColor(0, 255, 0, 255));
    QCOMPARE(w.asked.size(), 1);
    QCOMPARE(w.asked.at(0).title, QString("Reset all settings"));
    QCOMPARE(w.asked.at(0).text, QString("The change will take effect<br>next time you launch Korvane."));
    QCOMPARE(spin(w, " days")->value(), 20); // the dialog keeps showing what it showed
    QCOMPARE(sessionmax, 20);                // and this run keeps its values
}

QTEST_MAIN(TestAdvancedSettings)
#include "tst_advancedsettings.moc"
