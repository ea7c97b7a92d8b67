#include <QAction>
#include <QTest>

#include "app/recentprojects.h"
#include "panels/layersgui.h"
#include "panels/panelrig.h"

// The recent projects: the stored list, the File menu's entries and what
// choosing one asks of the layer panel.
class TestRecentProjects : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { WindowRig::identify(); }
    void init()
    {
        QSettings().clear();
        projectmax = 5;
    }
    void listRules();
    void openerByEnding();
    void entriesFollowTheList();
    void lowerLimitHidesEntries();
    void noEntriesAtZero();
    void choosingAnEntry();

private:
    static QStringList visibletexts(WindowRig& w)
    {
        QStringList texts;
        for (QAction* a : w->recentacts)
            if (a && a->isVisible())
                texts << a->text();
        return texts;
    }
    static QStringList stored() { return QSettings().value("recentFileList").toStringList(); }
};

void TestRecentProjects::listRules()
{
    QCOMPARE(pushrecent({"/a.kvp", "/b.kvp", "/c.kvp"}, "/b.kvp", 5), (QStringList{"/b.kvp", "/a.kvp", "/c.kvp"}));
    // Other letter case or separators make another entry.
    QCOMPARE(pushrecent({"/a.kvp"}, "/A.kvp", 5), (QStringList{"/A.kvp", "/a.kvp"}));
    QCOMPARE(pushrecent({"/a.kvp"}, "//a.kvp", 5), (QStringList{"//a.kvp", "/a.kvp"}));
    QCOMPARE(pushrecent({"1", "2", "3", "4"}, "5", 3), (QStringList{"5", "1", "2"}));
    QCOMPARE(pushrecent({"1"}, "2", 0), QStringList());
}

void TestRecentProjects::openerByEnding()
{
    QCOMPARE(QByteArray(recentopener("/p/song.kvp")), QByteArray("OpenProject(QString)"));
    QCOMPARE(QByteArray(recentopener("/p/session(x).kvx")), QByteArray("OpenXML(QString)"));
    for (const char* other : {"/p/song.KVP", "/p/song.wav", "/p/kvp", "/p/song.kvp.bak", ""})
        QVERIFY2(!recentopener(other), other);
}

void TestRecentProjects::entriesFollowTheList()
{
    const QStringList seven = {"/p/1.kvp", "/p/2.kvx", "/p/3.kvp", "/p/4.kvp", "/p/5.kvp", "/p/6.kvp", "/p/7.kvp"};
    QSettings().setValue("recentFileList", seven);
    WindowRig w;
    QCOMPARE(visibletexts(w), (QStringList{"&1 1.kvp", "&2 2.kvx", "&3 3.kvp", "&4 4.kvp", "&5 5.kvp"}));
    QCOMPARE(w->recentacts[1]->data().toString(), QString("/p/2.kvx"));
    QCOMPARE(stored(), seven); // trimmed only by the next use

    w->setCurrentFile("/q/missing.kvp");
    QCOMPARE(stored(), (QStringList{"/q/missing.kvp", "/p/1.kvp", "/p/2.kvx", "/p/3.kvp", "/p/4.kvp"}));
    QCOMPARE(visibletexts(w).first(), QString("&1 missing.kvp"));
    w->setCurrentFile("/p/3.kvp");
    QCOMPARE(stored().mid(0, 3), (QStringList{"/p/3.kvp", "/q/missing.kvp", "/p/1.kvp"}));
    QCOMPARE(w->recentacts[0]->data().toString(), QString("/p/3.kvp"));
}

void TestRecentProjects::lowerLimitHidesEntries()
{
    QSettings().setValue("recentFileList", QStringList{"/1.kvp", "/2.kvp", "/3.kvp", "/4.kvp", "/5.kvp"});
    WindowRig w;
    QCOMPARE(visibletexts(w).size(), 5);
    w->advprojectmax(3);
    w->setCurrentFile("/6.kvp");
    QCOMPARE(stored(), (QStringList{"/6.kvp", "/1.kvp", "/2.kvp"}));
    QCOMPARE(visibletexts(w), (QStringList{"&1 6.kvp", "&2 1.kvp", "&3 2.kvp"}));
    // Raising it again shows no more entries than the window has actions for.
    w->advprojectmax(10);
    w->updateRecentFileActions();
    QCOMPARE(visibletexts(w).size(), 3);
}

void TestRecentProjects::noEntriesAtZero()
{
    projectmax = 0;
    QSettings().setValue("recentFileList", QStringList{"/1.kvp"});
    WindowRig w;
    QVERIFY(!w->recentacts[0]);
    w->setCurrentFile("/2.kvp");
    QCOMPARE(stored(), QStringList());
}

void TestRecentProjects::choosingAnEntry()
{
    // A project of two rows saved by the panel, then closed.
    PanelRig r;
    project(r, 2);
    const std::vector<float> a = samplefile(r.at(0)), b = samplefile(r.at(1));
    const QString song = QDir::currentPath() + "/song.kvp";
    answerfile(r, song);
    r.panel()->SaveAs();
    QVERIFY(QFile::exists(song));
    QVERIFY(r.panel()->Close());
    QCOMPARE(r.rows(), 0);

    QSettings().setValue("recentFileList", QStringList{"/p/a.KVP", "/p/b.wav", song});
    r.window()->updateRecentFileActions();
    const QStringList before = r.window()->pendingcalls();
    r.window()->openRecentFile(); // not sent by an action: nothing
    r.window()->recentacts[0]->trigger();
    r.window()->recentacts[1]->trigger();
    QCOMPARE(r.window()->pendingcalls(), before);
    QCOMPARE(r.rows(), 0);
    QVERIFY(r.asked.isEmpty());

    // The entry opens the project: its rows with their samples, and the window names it.
    r.window()->recentacts[2]->trigger();
    QVERIFY(r.window()->pendingcalls().isEmpty());
    QCOMPARE(r.names(), (QStringList{"A", "B"}));
    QVERIFY(samplefile(r.at(0)) == a);
    QVERIFY(samplefile(r.at(1)) == b);
    QCOMPARE(r.window()->windowFilePath(), song);
    QVERIFY(!r.window()->isWindowModified());
    QCOMPARE(stored().value(0), song);
}

QTEST_MAIN(TestRecentProjects)
#include "tst_recentprojects.moc"
