#include <QTemporaryDir>

#include "panelrig.h"

// "Open Project": the dialog, the remembered folder, the file handed on by
// its extension and the window's state afterwards.
class TestProjectOpen : public QObject
{
    Q_OBJECT

private slots:
    void init() { QSettings().clear(); }
    void dialogStartsInTheSamplesFolderAndRemembersTheLastOne();
    void openingLeavesTheWindowInTheProjectsState();
};

namespace {
// Opens a project through the chooser, which answers `file` (empty: cancelled).
FileRequest openproject(PanelRig& r, const QString& file)
{
    r.rig.fileanswer = file;
    r.rig.filerequests.clear();
    r.panel()->Open();
    return r.rig.filerequests.value(0);
}
} // namespace

void TestProjectOpen::dialogStartsInTheSamplesFolderAndRemembersTheLastOne()
{
    PanelRig r;
    QTemporaryDir work;
    const QString song = work.filePath("song.KVP");
    QFile(song).open(QIODevice::WriteOnly);

    // Cancelled: nothing is remembered.
    FileRequest seen = openproject(r, QString());
    QCOMPARE(seen.kind, FileRequest::Open);
    QCOMPARE(seen.parent, r.window());
    QCOMPARE(seen.caption, QString("Open Project"));
    QCOMPARE(seen.path, rootpath + "/Resources/Samples");
    QCOMPARE(seen.filter, QString("Korvane Project (*.kvp *.kvx)"));
    QVERIFY(!QSettings().contains("lastprojectfolder"));

    // A name in capitals is no project file: its folder is remembered, nothing opens.
    openproject(r, song);
    QCOMPARE(QSettings().value("lastprojectfolder").toString(), work.path());
    QCOMPARE(r.rows(), 0);
    QVERIFY(r.asked.isEmpty());

    seen = openproject(r, QString());
    QCOMPARE(seen.path, work.path());
}

void TestProjectOpen::openingLeavesTheWindowInTheProjectsState()
{
    PanelRig r;
    project(r, 2);
    click(r, 1, 3);
    QCOMPARE(r.panel()->currentitem, r.item(1));
    QTemporaryDir work;
    const QString file = work.filePath("session.kvx");
    QFile(file).open(QIODevice::WriteOnly);

    // As if the window had been told otherwise: Open reports the panel's state again.
    r.window()->layerstate(false, false, false);
    QVERIFY(!r.window()->closeact->isEnabled());
    openproject(r, file);
    QCOMPARE(QSettings().value("lastprojectfolder").toString(), work.path());
    QVERIFY(r.window()->closeact->isEnabled());
    QVERIFY(r.window()->propertiesact->isEnabled());
    QVERIFY(r.window()->mergedownact->isEnabled());
    QCOMPARE(r.names(), (QStringList{"A", "B"}));

    // Without a current row, the commands on it stay off.
    r.panel()->NoItemClicked();
    r.window()->layerstate(false, false, false);
    openproject(r, file);
    QVERIFY(r.window()->closeact->isEnabled());
    QVERIFY(!r.window()->propertiesact->isEnabled());
    QCOMPARE(r.window()->propertiesact->statusTip(), QString("DISABLED: Select a layer first."));

    // A cancelled dialog reports nothing.
    r.window()->layerstate(false, false, false);
    openproject(r, QString());
    QVERIFY(!r.window()->closeact->isEnabled());
}

QTEST_MAIN(TestProjectOpen)
#include "tst_projectopen.moc"
