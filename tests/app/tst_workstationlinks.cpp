#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include "app/commonfiles.h"
#include "app/mainwindow.h"
#include "app/platformregistry.h"
#include "app/prompt.h"
#include "app/protoolslink.h"
#include "app/selfexecutable.h"
#include "windowrig.h"

namespace {

// Answers each box with the next planned button (Cancel once the plan is
// used up) and keeps what was asked.
struct Asker
{
    QList<PromptRequest> asked;
    QList<QMessageBox::StandardButton> plan;
    Asker()
    {
        setpromptanswerer([this](const PromptRequest& r) {
            asked << r;
            return plan.isEmpty() ? QMessageBox::Cancel : plan.takeFirst();
        });
    }
    ~Asker() { setpromptanswerer({}); }
    QString last() const { return asked.isEmpty() ? QString() : asked.last().title + ": " + asked.last().text; }
};

QByteArray readfile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writefile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

const QString toolsmenu = "HKEY_LOCAL_MACHINE/SOFTWARE/%1Cakewalk Music Software/Tools Menu/";
const QString admin = "Require Admin Rights";
const QString installtext = "You need admin rights for this integration. Log-in as admin and retry.";

} // namespace

// The Cakewalk Tools menu entry and the Pro Tools plug-in, through the window's
// link slots, on the stand-ins of the key store and the shared program folder
// in the test's own home.
class TestWorkstationLinks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase() { setselfexecutable(QString()); }
    void cakewalkEntryInBothKeys();
    void cakewalkResetEmptiesOnlyItsKeys();
    void cakewalkWithoutRightsWarns();
    void protoolsInstallsIntoTheFirstFolderThatExists();
    void protoolsWithTwoLinksTouchesOnlyTheFirst();
    void protoolsWithoutProductOrLink();
    void protoolsFailuresNameTheirStep();
    void protoolsReplacesAHalfCopiedLink();
    void protoolsWithoutItsPluginKeepsTheLink();
    void protoolsCheckOffersToRelinkAStaleLink();
    void windowChecksTheLinkAtStart();

private:
    // The link files of plug-ins folder `i` with their content, "<missing>" for none.
    QStringList link(int i) const;
    void installlink(int i, const QByteArray& apppath) const;
    QStringList folders;
    const QString executable = "/opt/Korvane 1.0/bin/Korvane";
};

void TestWorkstationLinks::initTestCase()
{
    QCoreApplication::setApplicationName("Korvane");
    QCoreApplication::setOrganizationName("Murrowgate");
    setselfexecutable(executable);
    folders = protoolslink::pluginfolders();
    // Where a user finds the stand-ins: below the data folder, laid out as the workstations expect.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    QCOMPARE(folders, (QStringList{data + "/Program Files/Common Files/Digidesign/DAE/Plug-Ins",
                                   data + "/Program Files (x86)/Common Files/Digidesign/DAE/Plug-Ins"}));
    QVERIFY(registryfile().startsWith(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)));
}

void TestWorkstationLinks::init()
{
    kvtestfolders();
    utilpath = QDir::tempPath() + "/util";
    QDir(utilpath).removeRecursively();
    writefile(utilpath + "/daeplugin/Korvane.dpm", "plug-in");
    writefile(utilpath + "/daeplugin/Korvane.dpm.rsr", "resources");
    for (const QString& common : commonfilesfolders())
        QDir(QFileInfo(common).path()).removeRecursively();
    QFileInfo(registryfile()).isDir() ? void(QDir(registryfile()).removeRecursively()) : void(QFile::remove(registryfile()));
}

QStringList TestWorkstationLinks::link(int i) const
{
    QStringList contents;
    for (const QString& file : protoolslink::linkfiles(folders.at(i)))
        contents << QFileInfo(file).fileName() + "=" + QString::fromUtf8(readfile(file));
    return contents;
}

void TestWorkstationLinks::installlink(int i, const QByteArray& apppath) const
{
    const QStringList files = protoolslink::linkfiles(folders.at(i));
    writefile(files.at(0), "old plug-in");
    writefile(files.at(1), "old resources");
    writefile(files.at(2), apppath);
    writefile(files.at(3), "/old/protools.wav");
}

void TestWorkstationLinks::cakewalkEntryInBothKeys()
{
    MainWindow w;
    Asker a;
    a.plan = {QMessageBox::Cancel};
    w.linkcakewalk();
    QCOMPARE(a.asked.size(), 1);
    const PromptRequest& question = a.asked.first();
    QCOMPARE(question.title, QString("Cakewalk SONAR"));
    QCOMPARE(question.text, QString("Korvane integration"));
    QCOMPARE(question.buttons, QMessageBox::Apply | QMessageBox::Reset | QMessageBox::Cancel);
    QCOMPARE(question.defaultbutton, QMessageBox::NoButton);
    QCOMPARE(question.parent, &w);
    QVERIFY(!QFile::exists(registryfile())); // Cancel writes nothing

    a.plan = {QMessageBox::Apply};
    w.linkcakewalk();
    QCOMPARE(a.asked.size(), 2);
    QSettings store(registryfile(), QSettings::IniFormat);
    for (const QString& node : {QString("Wow6432Node/"), QString()}) {
        const QString key = toolsmenu.arg(node) + "Korvane/";
        // Each separator of the path as two backslashes.
        QCOMPARE(store.value(key + "ExePath").toString(), QString(R"(\\opt\\Korvane 1.0\\bin\\Korvane)"));
        QCOMPARE(store.value(key + "MenuText").toString(), QString("&Korvane"));
        QCOMPARE(store.value(key + "StatusBarText").toString(), QString("Run Korvane"));
        QCOMPARE(store.value(key + "Type").toString(), QString("WaveEditor"));
    }
}

void TestWorkstationLinks::cakewalkResetEmptiesOnlyItsKeys()
{
    {
        QSettings store(registryfile(), QSettings::IniFormat);
        store.setValue(toolsmenu.arg("") + "Korvane/Stale", "left by an older version");
        store.setValue(toolsmenu.arg("") + "Other Editor/Type", "WaveEditor");
    }
    MainWindow w;
    Asker a;
    a.plan = {QMessageBox::Apply, QMessageBox::Reset};
    w.linkcakewalk();
    w.linkcakewalk();
    QCOMPARE(a.asked.size(), 2); // no warning
    QSettings store(registryfile(), QSettings::IniFormat);
    for (const QString& node : {QString("Wow6432Node/"), QString()}) {
        store.beginGroup(toolsmenu.arg(node) + "Korvane");
        QVERIFY2(store.allKeys().isEmpty(), qPrintable(store.allKeys().join(", ")));
        store.endGroup();
    }
    QCOMPARE(store.value(toolsmenu.arg("") + "Other Editor/Type").toString(), QString("WaveEditor"));
}

void TestWorkstationLinks::cakewalkWithoutRightsWarns()
{
    // A store that cannot be written, as a protected key.
    QVERIFY(QDir().mkpath(registryfile()));
    MainWindow w;
    Asker a;
    for (QMessageBox::StandardButton choice : {QMessageBox::Apply, QMessageBox::Reset}) {
        a.asked.clear();
        a.plan = {choice, QMessageBox::Ok};
        w.linkcakewalk();
        QCOMPARE(a.asked.size(), 2);
        QCOMPARE(a.last(), admin + ": " + installtext);
        QCOMPARE(a.asked.last().icon, QMessageBox::Warning);
        QCOMPARE(a.asked.last().buttons, QMessageBox::Ok);
        QCOMPARE(a.asked.last().parent, &w);
    }
    a.asked.clear();
    a.plan = {QMessageBox::Cancel};
    w.linkcakewalk();
    QCOMPARE(a.asked.size(), 1);
}

void TestWorkstationLinks::protoolsInstallsIntoTheFirstFolderThatExists()
{
    MainWindow w;
    Asker a;
    QVERIFY(QDir().mkpath(folders.at(1)));
    a.plan = {QMessageBox::Apply};
    w.linkprotools();
    QCOMPARE(a.asked.size(), 1);
    QCOMPARE(a.asked.first().title, QString("Pro Tools/Media Composer"));
    QCOMPARE(a.asked.first().text, QString("Pro Tools/Media Composer integration"));
    QCOMPARE(a.asked.first().buttons, QMessageBox::Apply | QMessageBox::Reset | QMessageBox::Cancel);
    QCOMPARE(a.asked.first().defaultbutton, QMessageBox::NoButton);
    // The plug-in copied, the two paths written without a line end.
    const QStringList installed{"Korvane.dpm=plug-in", "Korvane.dpm.rsr=resources",
                                "Korvane.dpm.apppath=" + executable,
                                "Korvane.dpm.wavpath=" + QDir::tempPath() + "/protools.wav"};
    QCOMPARE(link(1), installed);
    QVERIFY(!QFileInfo::exists(folders.at(0)));

    // Once the native folder exists, Apply moves the link there.
    QVERIFY(QDir().mkpath(folders.at(0)));
    a.plan = {QMessageBox::Apply};
    w.linkprotools();
    QCOMPARE(a.asked.size(), 2);
    QCOMPARE(link(0), installed);
    QCOMPARE(QDir(folders.at(1)).entryList(QDir::Files), QStringList());

    // Cancel changes nothing.
    w.linkprotools();
    QCOMPARE(a.asked.size(), 3);
    QCOMPARE(link(0), installed);
}

void TestWorkstationLinks::protoolsWithTwoLinksTouchesOnlyTheFirst()
{
    installlink(0, "/old/Korvane");
    installlink(1, "/older/Korvane");
    const QStringList second = link(1);
    MainWindow w;
    Asker a;
    a.plan = {QMessageBox::Apply};
    w.linkprotools();
    QCOMPARE(a.asked.size(), 1);
    QCOMPARE(link(0).at(2), "Korvane.dpm.apppath=" + executable);
    QCOMPARE(link(1), second);
    // The first link names this program now: nothing to offer at start.
    w.linkprotoolscheck();
    QVERIFY(kvtimerspassed(2000));
    QCOMPARE(a.asked.size(), 1);

    a.plan = {QMessageBox::Reset};
    w.linkprotools();
    QCOMPARE(a.asked.size(), 2);
    QCOMPARE(QDir(folders.at(0)).entryList(QDir::Files), QStringList());
    QCOMPARE(link(1), second);
}

void TestWorkstationLinks::protoolsWithoutProductOrLink()
{
    MainWindow w;
    Asker a;
    a.plan = {QMessageBox::Apply, QMessageBox::Ok, QMessageBox::Reset, QMessageBox::Ok};
    w.linkprotools();
    QCOMPARE(a.last(), QString("No Avid/Digidesign Product: No Avid/Digidesign product was found."));
    QCOMPARE(a.asked.last().icon, QMessageBox::Warning);
    w.linkprotools();
    QCOMPARE(a.last(),
             QString("No Pro Tools/Media Composer integration: No Pro Tools/Media Composer integration was found."));
    QCOMPARE(a.asked.size(), 4);
    QVERIFY(!QFileInfo::exists(folders.at(0)) && !QFileInfo::exists(folders.at(1)));
}

void TestWorkstationLinks::protoolsFailuresNameTheirStep()
{
    MainWindow w;
    Asker a;
    // Resources without the plug-in: nothing to remove, and the copy stops at the file there.
    writefile(folders.at(0) + "/Korvane.dpm.rsr", "foreign");
    a.plan = {QMessageBox::Apply};
    w.linkprotools();
    QCOMPARE(a.asked.size(), 2);
    QCOMPARE(a.last(), admin + ": " + installtext);
    QCOMPARE(readfile(folders.at(0) + "/Korvane.dpm.rsr"), QByteArray("foreign"));

    // A file of the link that cannot be removed stops the removal there.
    QDir(folders.at(0)).removeRecursively();
    installlink(0, "/old/Korvane");
    QFile::remove(folders.at(0) + "/Korvane.dpm.rsr");
    writefile(folders.at(0) + "/Korvane.dpm.rsr/held", "in use");
    a.asked.clear();
    a.plan = {QMessageBox::Apply};
    w.linkprotools();
    QCOMPARE(a.last(), admin + ": You need admin rights to reset this integration. Log-in as admin and retry.");
    QVERIFY(!QFileInfo::exists(folders.at(0) + "/Korvane.dpm"));
    QCOMPARE(readfile(folders.at(0) + "/Korvane.dpm.apppath"), QByteArray("/old/Korvane"));

    // A path file that cannot be written leaves a link that names nobody: said as a failed install.
    QDir(folders.at(1)).removeRecursively();
    QVERIFY(QDir().mkpath(folders.at(1) + "/Korvane.dpm.apppath"));
    QDir(folders.at(0)).removeRecursively();
    a.asked.clear();
    a.plan = {QMessageBox::Apply};
    w.linkprotools();
    QCOMPARE(a.last(), admin + ": " + installtext);
    QCOMPARE(readfile(folders.at(1) + "/Korvane.dpm"), QByteArray("plug-in"));

    installlink(0, "/old/Korvane");
    QFile::remove(folders.at(0) + "/Korvane.dpm.rsr");
    writefile(folders.at(0) + "/Korvane.dpm.rsr/held", "in use");
    a.asked.clear();
    a.plan = {QMessageBox::Reset};
    w.linkprotools();
    QCOMPARE(a.last(), admin + ": You need admin rights to remove this integration. Log-in as admin and retry.");
    QCOMPARE(a.asked.size(), 2);
}

void TestWorkstationLinks::protoolsReplacesAHalfCopiedLink()
{
    // A copy that failed part-way left the plug-in alone; the next Apply must not
    // take the missing files for files it may not remove.
    writefile(folders.at(0) + "/Korvane.dpm", "half");
    MainWindow w;
    Asker a;
    a.plan = {QMessageBox::Apply};
    w.linkprotools();
    QCOMPARE(a.asked.size(), 1);
    QCOMPARE(link(0).mid(0, 3), (QStringList{"Korvane.dpm=plug-in", "Korvane.dpm.rsr=resources",
                                             "Korvane.dpm.apppath=" + executable}));
}

void TestWorkstationLinks::protoolsWithoutItsPluginKeepsTheLink()
{
    installlink(0, "/old/Korvane");
    const QStringList before = link(0);
    QDir(utilpath + "/daeplugin").removeRecursively();
    MainWindow w;
    Asker a;
    a.plan = {QMessageBox::Apply};
    w.linkprotools();
    QCOMPARE(a.asked.size(), 2);
    QCOMPARE(a.asked.last().icon, QMessageBox::Warning);
    QVERIFY2(a.asked.last().text.contains(utilpath + "/daeplugin"), qPrintable(a.last()));
    QCOMPARE(link(0), before);
}

void TestWorkstationLinks::protoolsCheckOffersToRelinkAStaleLink()
{
    MainWindow w;
    Asker a;
    // No link: nothing to check.
    w.linkprotoolscheck();
    QVERIFY(kvtimerspassed(2000));
    QVERIFY(a.asked.isEmpty());

    // A path with a line end is another path.
    installlink(0, QFile::encodeName(executable) + "\n");
    a.plan = {QMessageBox::No};
    w.linkprotoolscheck();
    QVERIFY(a.asked.isEmpty()); // asked a moment later, once the window is up
    QVERIFY(QTest::qWaitFor([&] { return !a.asked.isEmpty(); }, 30000));
    QCOMPARE(a.last(), QString("Pro Tools/Media Composer: Pro Tools/Media Composer plugin does not link<br/>to "
                               "this version of Korvane. Relink ?"));
    QCOMPARE(a.asked.last().buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(readfile(folders.at(0) + "/Korvane.dpm.apppath"), QFile::encodeName(executable) + "\n");

    // Yes leads to the link's own question, and Apply there relinks.
    a.asked.clear();
    a.plan = {QMessageBox::Yes, QMessageBox::Apply};
    w.linkprotoolscheck();
    QVERIFY(QTest::qWaitFor([&] { return a.asked.size() == 2; }, 30000));
    QCOMPARE(a.last(), QString("Pro Tools/Media Composer: Pro Tools/Media Composer integration"));
    QCOMPARE(readfile(folders.at(0) + "/Korvane.dpm.apppath"), QFile::encodeName(executable));
    QVERIFY(kvtimerspassed(2000));
    QCOMPARE(a.asked.size(), 2);
}

void TestWorkstationLinks::windowChecksTheLinkAtStart()
{
    installlink(0, "/another/installation/bin/Korvane");
    WindowRig w;
    setpromptanswerer([&w](const PromptRequest& r) {
        w.asked << r;
        return QMessageBox::No;
    });
    QVERIFY(QTest::qWaitFor([&] { return !w.asked.isEmpty(); }, 30000));
    QCOMPARE(w.asked.last().title, QString("Pro Tools/Media Composer"));
    QVERIFY(w.asked.last().text.startsWith("Pro Tools/Media Composer plugin does not link"));
    QCOMPARE(w.asked.last().parent, w.window.get());
}

QTEST_MAIN(TestWorkstationLinks)
#include "tst_workstationlinks.moc"
