// Closing a project with unsaved changes asks first, whichever way it is
// closed: Yes saves (a save that does not happen keeps the project open), No
// gives the changes up, Cancel keeps everything. An end asked for by the
// system asks nobody and leaves the work to the next run's recovery.
#include <QTemporaryDir>

#include "panelrig.h"
#include "panels/projectlayers.h"
#include "view/glchannel.h"

class TestProjectClose : public QObject
{
    Q_OBJECT

private slots:
    void init() { QSettings().clear(); }
    void savedProjectClosesWithoutAsking();
    void cancelKeepsNoDiscards();
    void yesSavesFirst();
    void reopeningAfterYesShowsWhatWasSaved();
    void yesWithoutASaveKeepsTheProject();
    void everyWayOfClosingAsks();
    void systemEndLeavesTheWorkToRecover();
    void systemEndOfASavedProject();
};

namespace {

QString sessionfilepath()
{
    return sessionpath + QStringLiteral("/session(%1).kvx").arg(sessionid);
}

QStringList layerfiles(PanelRig& r)
{
    QStringList files;
    for (int i = 0; i < r.rows(); ++i)
        files << r.at(i)->file->fileName();
    return files;
}

bool anyexists(const QStringList& files)
{
    return std::any_of(files.begin(), files.end(), [](const QString& f) { return QFile::exists(f); });
}

bool allexist(const QStringList& files)
{
    return std::all_of(files.begin(), files.end(), [](const QString& f) { return QFile::exists(f); });
}

// The questions asked under the close title.
QList<PromptRequest> closequestions(const PanelRig& r)
{
    QList<PromptRequest> found;
    for (const PromptRequest& p : r.asked)
        if (p.title == QLatin1String("Close Project"))
            found << p;
    return found;
}

} // namespace

void TestProjectClose::savedProjectClosesWithoutAsking()
{
    PanelRig r;
    QTemporaryDir folder;
    project(r, 2);
    const QString file = folder.filePath("kept.kvp");
    answerfile(r, file);
    r.panel()->SaveAs();
    QVERIFY(!r.window()->isWindowModified());
    const QStringList files = layerfiles(r);
    QVERIFY(r.panel()->Close());
    QVERIFY(r.asked.isEmpty());
    QCOMPARE(r.rows(), 0);
    QVERIFY(!anyexists(files));
    // With nothing open there is nothing to ask about either.
    r.window()->setWindowModified(true);
    QVERIFY(r.panel()->Close());
    QVERIFY(r.asked.isEmpty());
}

void TestProjectClose::cancelKeepsNoDiscards()
{
    PanelRig r;
    project(r, 2);
    QVERIFY(r.window()->isWindowModified());
    const QStringList files = layerfiles(r);
    const std::vector<float> samples = samplefile(r.at(1));

    r.answers["Close Project"] = QMessageBox::Cancel;
    QVERIFY(!r.panel()->Close());
    QCOMPARE(r.asked.size(), 1);
    const PromptRequest& question = r.asked.at(0);
    QCOMPARE(question.text, QString("Save changes to Untitled.kvp ?"));
    QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(question.icon, QMessageBox::Question);
    QCOMPARE(question.parent, static_cast<QWidget*>(r.window()));
    // Everything as it was, the session that could bring it back included.
    QCOMPARE(r.names(), QStringList({"A", "B"}));
    QCOMPARE(samplefile(r.at(1)), samples);
    QVERIFY(allexist(files));
    QVERIFY(r.window()->isWindowModified());
    QVERIFY(QFile::exists(sessionfilepath()));
    checkbindings(r);

    r.answers["Close Project"] = QMessageBox::No;
    QVERIFY(r.panel()->Close());
    QCOMPARE(r.rows(), 0);
    QVERIFY(!anyexists(files));
    QVERIFY(!QFile::exists(sessionfilepath()));
    QVERIFY(r.rig.filerequests.isEmpty());

    // A box answered otherwise (closed some other way) gives the changes up too.
    project(r, 1);
    r.answers["Close Project"] = QMessageBox::Ok;
    QVERIFY(r.panel()->Close());
    QCOMPARE(r.rows(), 0);
    QCOMPARE(closequestions(r).size(), 3);
}

void TestProjectClose::yesSavesFirst()
{
    QTemporaryDir folder;
    const QString named = folder.filePath("song.kvp");
    const QString untitled = folder.filePath("fresh.kvx");
    {
        PanelRig r;
        project(r, 2);
        answerfile(r, named);
        r.panel()->SaveAs();
        QCOMPARE(r.rig.filerequests.size(), 1);
        // A change after the save: a new row.
        r.panel()->NewLayer();
        QVERIFY(r.window()->isWindowModified());
        r.answers["Close Project"] = QMessageBox::Yes;
        QVERIFY(r.panel()->Close());
        QCOMPARE(closequestions(r).size(), 1);
        QCOMPARE(closequestions(r).at(0).text, QString("Save changes to song.kvp ?"));
        // Saved to its own file, without asking where.
        QCOMPARE(r.rig.filerequests.size(), 1);
        QCOMPARE(r.rows(), 0);
        QVERIFY(r.panel()->OpenProject(named));
        QCOMPARE(r.names(), QStringList({"New Layer", "A", "B"}));
    }
    {
        // An untitled project is saved where the user says.
        PanelRig r;
        project(r, 2);
        answerfile(r, untitled);
        r.answers["Close Project"] = QMessageBox::Yes;
        QVERIFY(r.panel()->Close());
        QCOMPARE(r.rig.filerequests.size(), 1);
        QCOMPARE(r.rows(), 0);
        QVERIFY(r.panel()->OpenXML(untitled));
        QCOMPARE(r.names(), QStringList({"A", "B"}));
        QCOMPARE(samplefile(r.at(1)).at(1), 2.25f);
    }
}

void TestProjectClose::reopeningAfterYesShowsWhatWasSaved()
{
    // Opening the open project's own file with changes pending: Yes saves
    // them into it, and what is opened is what was just saved.
    QTemporaryDir folder;
    for (const QString& name : {QString("song.kvp"), QString("song.kvx")}) {
        PanelRig r;
        project(r, 1);
        const QString file = folder.filePath(name);
        answerfile(r, file);
        r.panel()->SaveAs();
        r.panel()->NewLayer();
        QVERIFY(r.window()->isWindowModified());
        r.answers["Close Project"] = QMessageBox::Yes;
        QVERIFY(name.endsWith(".kvp") ? r.panel()->OpenProject(file) : r.panel()->OpenXML(file));
        QCOMPARE(closequestions(r).size(), 1);
        QCOMPARE(r.names(), QStringList({"New Layer", "A"}));
        QVERIFY(!r.window()->isWindowModified());
        QVERIFY(r.panel()->Close());
    }
}

void TestProjectClose::yesWithoutASaveKeepsTheProject()
{
    PanelRig r;
    QTemporaryDir folder;
    project(r, 2);
    const QStringList files = layerfiles(r);
    r.answers["Close Project"] = QMessageBox::Yes;

    // The file dialog is cancelled.
    answerfile(r, QString());
    QVERIFY(!r.panel()->Close());
    QCOMPARE(r.rig.filerequests.size(), 1);
    QCOMPARE(r.names(), QStringList({"A", "B"}));
    QVERIFY(allexist(files));
    QVERIFY(r.window()->isWindowModified());

    // The save fails: a folder stands where the file would go.
    const QString blocked = folder.filePath("blocked.kvp");
    QVERIFY(QDir().mkpath(blocked));
    answerfile(r, blocked);
    QVERIFY(!r.panel()->Close());
    QVERIFY(r.titles().contains("Save Project"));
    QCOMPARE(r.names(), QStringList({"A", "B"}));
    QVERIFY(allexist(files));
    QVERIFY(r.window()->isWindowModified());
    checkbindings(r);
}

void TestProjectClose::everyWayOfClosingAsks()
{
    PanelRig r;
    QTemporaryDir folder;
    project(r, 1);
    const QString other = folder.filePath("other.kvp");
    answerfile(r, other);
    r.panel()->SaveAs();
    r.panel()->NewLayer();
    r.panel()->NewLayer();
    QCOMPARE(r.rows(), 3);
    const QStringList before = r.names();
    r.answers["Close Project"] = QMessageBox::Cancel;

    // Opening another project, "New Project", "Close Project" and the exit.
    answerfile(r, other);
    r.window()->openprojectact->trigger();
    QCOMPARE(r.names(), before);
    r.window()->closeact->trigger();
    QCOMPARE(r.names(), before);
    r.window()->newprojectact->trigger();
    QCOMPARE(r.names(), before);
    QVERIFY(!r.window()->close());
    QCOMPARE(r.names(), before);
    QCOMPARE(closequestions(r).size(), 4);
    for (const PromptRequest& question : closequestions(r))
        QCOMPARE(question.text, QString("Save changes to other.kvp ?"));

    // No: the other project opens in its place.
    r.answers["Close Project"] = QMessageBox::No;
    r.window()->openprojectact->trigger();
    QCOMPARE(r.names(), QStringList({"A"}));
    QVERIFY(!r.window()->isWindowModified());
    QVERIFY(r.window()->close());
    QCOMPARE(closequestions(r).size(), 5);
}

void TestProjectClose::systemEndLeavesTheWorkToRecover()
{
    PanelRig r;
    project(r, 2);
    const QStringList files = layerfiles(r);
    r.window()->endrequested = true;
    QVERIFY(r.window()->close());
    QVERIFY(r.asked.isEmpty());
    // The session file and the layers' files stay, and they hold the work.
    ProjectData data;
    QString why;
    QVERIFY2(readkvx(sessionfilepath(), &data, &why), qPrintable(why));
    QCOMPARE(data.rows.size(), 2);
    QStringList named;
    for (const ProjectRow& row : data.rows)
        named << row.samples;
    QCOMPARE(named, files);
    for (int i = 0; i < 2; ++i) {
        QFile samples(files.at(i));
        QVERIFY(samples.open(QIODevice::ReadOnly));
        const QByteArray bytes = samples.readAll();
        QCOMPARE(bytes.size(), 8000 * 2 * 4);
        float first = 0;
        memcpy(&first, bytes.constData() + 4, 4);
        QCOMPARE(first, float(i + 1) + 0.25f);
    }
    for (const QString& f : files + QStringList{sessionfilepath()})
        QFile::remove(f);
}

void TestProjectClose::systemEndOfASavedProject()
{
    // Saved work is in its file: the session goes as at any close.
    PanelRig r;
    QTemporaryDir folder;
    project(r, 2);
    answerfile(r, folder.filePath("saved.kvp"));
    r.panel()->SaveAs();
    const QStringList files = layerfiles(r);
    r.window()->endrequested = true;
    QVERIFY(r.window()->close());
    QVERIFY(r.asked.isEmpty());
    QVERIFY(!QFile::exists(sessionfilepath()));
    QVERIFY(!anyexists(files));
}

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    TestProjectClose test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_projectclose.moc"
