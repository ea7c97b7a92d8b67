#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include "app/identity.h"
#include "app/prompt.h"
#include "app/sessionlock.h"
#include "app/startup.h"
#include "apptestsupport.h"
#include "core/globals.h"
#include "core/log.h"

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void identityFromTheResource();
    void identityNeedsASoftwareRoot();
    void firstStartUsesTheDefaults();
    void storedValuesAndCommandLine();
    void switchesAreExact();
    void lastExistingFileWins();
    void unwritableLogsFolderFailsWithAMessage();
    void unwritableSessionFolderIsSaid();
    void windowsOffEveryScreenComeBack();

private:
    StartResult start(const QStringList& args);
    QString exefolder() const { return QDir::currentPath() + "/inst/bin"; }
};

void TestStartup::init()
{
    QSettings().clear();
    QSettings().sync();
    setpromptanswerer({});
}

StartResult TestStartup::start(const QStringList& args)
{
    StartOptions options;
    options.arguments = QStringList{"/opt/korvane/bin/Korvane"} + args;
    options.executablefolder = exefolder();
    const StartResult result = startsession(options);
    sessionlock().release();
    return result;
}

void TestStartup::identityFromTheResource()
{
    const SoftwareIdentity id = readidentity();
    QCOMPARE(id.name, QString("Korvane"));
    QCOMPARE(id.company, QString("Murrowgate"));
    QCOMPARE(id.version, QString("1.0"));
    QVERIFY(!id.website.isEmpty());
}

void TestStartup::identityNeedsASoftwareRoot()
{
    QFile file("other.xml");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<program><name>X</name><version>2</version></program>");
    file.close();
    const SoftwareIdentity other = readidentity("other.xml");
    QVERIFY(other.name.isEmpty() && other.version.isEmpty() && other.company.isEmpty());

    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("<software><version>3</version><extra><name>no</name></extra><name>Y</name></software>");
    file.close();
    const SoftwareIdentity reordered = readidentity("other.xml");
    QCOMPARE(reordered.name, QString("Y"));
    QCOMPARE(reordered.version, QString("3"));
}

void TestStartup::firstStartUsesTheDefaults()
{
    const StartResult result = start({});
    QVERIFY(result.logopen);
    QVERIFY(result.fileargument.isEmpty());
    QCOMPARE(QCoreApplication::applicationName(), QString("Korvane"));
    QCOMPARE(QCoreApplication::organizationName(), QString("Murrowgate"));
    QVERIFY(QFile::exists(QDir::homePath() + "/config/Murrowgate/Korvane.conf"));

    QCOMPARE(rootpath, QDir::currentPath() + "/inst");
    QCOMPARE(utilpath, rootpath + "/Resources/Util");
    QCOMPARE(sessionpath, QDir::tempPath() + "/kvtmp");
    QVERIFY(QFileInfo(sessionpath).isDir());
    QCOMPARE(logspath, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/Korvane logs");
    QVERIFY(QFileInfo(logspath).isDir());
    QCOMPARE(sessionmax, 10);
    QCOMPARE(logsmax, 10);
    QCOMPARE(projectmax, 5);
    QCOMPARE(historymax, 8);
    QCOMPARE(colormix, QColor(0, 255, 0));
    QCOMPARE(colorselect, QColor(255, 0, 0));
    QCOMPARE(colorclipboard, QColor(70, 70, 255));
    QVERIFY(QDateTime::fromString(sessionid, "yyyy.MM.dd-HH.mm.ss.zzz").isValid());

    QSettings settings;
    QCOMPARE(settings.value("forcesoft").toBool(), false);
    QCOMPARE(settings.value("loglevel").toInt(), 2);
    QCOMPARE(result.loglevel, 2);

    QCOMPARE(logfilepath(), logspath + "/" + sessionid + ".htm");
    const QStringList lines = plainloglines(logfilepath());
    QVERIFY(lines.size() >= 5);
    QCOMPARE(lines.at(0), QString("/opt/korvane/bin/Korvane "));
    QCOMPARE(lines.at(1), QString("session %1 started - log level: 2").arg(sessionid));
    QCOMPARE(lines.at(2), QString("launching Korvane (1.0 - x%1 - Qt %2)").arg(QSysInfo::WordSize == 64 ? 64 : 86).arg(qVersion()));
    QVERIFY(lines.at(3).startsWith("OS: "));
    QCOMPARE(lines.at(4), QString("CPU: %1 cores").arg(QThread::idealThreadCount()));
}

void TestStartup::storedValuesAndCommandLine()
{
    {
        QSettings settings;
        settings.setValue("sessionpath", QDir::currentPath() + "/my session/a/b");
        settings.setValue("logspath", QDir::currentPath() + "/my logs");
        settings.setValue("sessionmax", 25);
        settings.setValue("logsmax", "many"); // not a number: as if never set
        settings.setValue("projectmax", 40);  // the menu holds ten at most
        settings.setValue("historymax", 4);
        settings.setValue("colormix", QColor(1, 2, 3, 4));
        settings.setValue("colorselect", "#102030");
        settings.setValue("colorclipboard", "no colour");
    }
    QFile arg("take me.wav");
    QVERIFY(arg.open(QIODevice::WriteOnly));
    arg.close();
    const StartResult result = start({"-soft", "take me.wav"});
    QVERIFY(result.logopen);
    QCOMPARE(sessionpath, QDir::currentPath() + "/my session/a/b");
    QVERIFY(QFileInfo(sessionpath).isDir());
    QCOMPARE(logspath, QDir::currentPath() + "/my logs");
    QCOMPARE(sessionmax, 25);
    QCOMPARE(logsmax, 10);
    QCOMPARE(projectmax, 10);
    QCOMPARE(historymax, 4);
    QCOMPARE(colormix, QColor(1, 2, 3, 4));
    QCOMPARE(colorselect, QColor(0x10, 0x20, 0x30));
    QVERIFY(!colorclipboard.isValid());
    QCOMPARE(QSettings().value("forcesoft").toBool(), true);
    QCOMPARE(result.fileargument, QString("take me.wav"));
    QCOMPARE(plainloglines(logfilepath()).value(0), QString("/opt/korvane/bin/Korvane -soft take me.wav "));
}

void TestStartup::switchesAreExact()
{
    QSettings().setValue("forcesoft", true); // reset at every start
    start({"-Soft", "-softer", "soft", "-DEBUG"});
    QCOMPARE(QSettings().value("forcesoft").toBool(), false);
    QCOMPARE(QSettings().value("loglevel").toInt(), 2);

    // A switch that also names a file is both.
    QFile("-soft").open(QIODevice::WriteOnly);
    const StartResult result = start({"-soft"});
    QCOMPARE(QSettings().value("forcesoft").toBool(), true);
    QCOMPARE(result.fileargument, QString("-soft"));
    QFile::remove("-soft");
}

void TestStartup::lastExistingFileWins()
{
    QFile("first.wav").open(QIODevice::WriteOnly);
    QFile("second.wav").open(QIODevice::WriteOnly);
    QDir().mkpath("a folder");
    const StartResult result = start({"first.wav", "second.wav", "missing.wav", "a folder"});
    QCOMPARE(result.fileargument, QString("second.wav"));
}

void TestStartup::unwritableLogsFolderFailsWithAMessage()
{
    // A file where the logs folder should be: no log can be made there.
    QFile("blocked").open(QIODevice::WriteOnly);
    QSettings().setValue("logspath", QDir::currentPath() + "/blocked");
    QList<PromptRequest> asked;
    setpromptanswerer([&](const PromptRequest& r) {
        asked << r;
        return QMessageBox::Ok;
    });
    const StartResult result = start({});
    QVERIFY(!result.logopen);
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.at(0).title, QString("Error creating log file"));
    QCOMPARE(asked.at(0).text, "Could not create log file.<br/>Check file permissions for " + QDir::currentPath() + "/blocked");
    QCOMPARE(asked.at(0).icon, QMessageBox::Critical);
    QVERIFY(asked.at(0).parent == nullptr);
    // The failed start leaves no lock behind in the session folder.
    QVERIFY(QDir(sessionpath).entryList({"instance(*).lock"}, QDir::Files).isEmpty());
}

void TestStartup::unwritableSessionFolderIsSaid()
{
    // A file where the session folder should be: no layer file can go there.
    QFile("notafolder").open(QIODevice::WriteOnly);
    const QString folder = QDir::currentPath() + "/notafolder";
    QSettings().setValue("sessionpath", folder);
    QList<PromptRequest> asked;
    setpromptanswerer([&](const PromptRequest& r) {
        asked << r;
        return QMessageBox::Ok;
    });
    const StartResult result = start({});
    QVERIFY(result.logopen); // the program still starts
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.at(0).title, QString("Session Folder"));
    QCOMPARE(asked.at(0).icon, QMessageBox::Warning);
    QVERIFY2(asked.at(0).text.startsWith("The session folder " + folder + " cannot take new files"),
             qPrintable(asked.at(0).text));
}

void TestStartup::windowsOffEveryScreenComeBack()
{
    const QList<QRect> two{QRect(0, 0, 1600, 1000), QRect(1600, 0, 1280, 1024)};
    const QSize size(1280, 720);
    QCOMPARE(visibleposition(QPoint(100, 50), size, two), QPoint(100, 50));
    QCOMPARE(visibleposition(QPoint(2000, 300), size, two), QPoint(2000, 300)); // on the second screen
    QCOMPARE(visibleposition(QPoint(-100, 0), size, two), QPoint(-100, 0)); // most of its title bar shows
    QCOMPARE(visibleposition(QPoint(-1200, 0), size, two), QPoint(0, 0));   // a sliver: out of reach
    // Saved with a third screen that is gone, or pushed above the top: back on the first.
    QCOMPARE(visibleposition(QPoint(3000, 200), size, two), QPoint(0, 0));
    QCOMPARE(visibleposition(QPoint(-5000, -5000), size, two), QPoint(0, 0));
    QCOMPARE(visibleposition(QPoint(300, -40), size, two), QPoint(0, 0));
    // A position where the title bar's end is past the largest int, and a
    // size no screen has: on the first screen, and no larger than the one it is on.
    QCOMPARE(visibleposition(QPoint(INT_MAX - 10, INT_MAX - 10), size, two), QPoint(0, 0));
    QCOMPARE(visiblesize(QPoint(2000, 300), QSize(100000, 100000), two), QSize(1280, 1024));
    QCOMPARE(visiblesize(QPoint(100, 50), size, two), size);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
