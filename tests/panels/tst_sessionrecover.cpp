// The session of a run that died, and the session file of this one, in a
// whole main window: a Recover that fails leaves the dead session's files as
// they were, a row whose samples are gone is left out by name, the session
// file follows Undo and Redo as it follows edits, and a run killed in the
// middle of its edits gives its edited layer back.
#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <csignal>

#include "core/checksum.h"
#include "core/layerhelpers.h"
#include "fulldisk.h"
#include "panelrig.h"
#include "panels/historygui.h"
#include "panels/projectlayers.h"

class TestSessionRecover : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void failedRecoverKeepsTheDeadSessionsFiles();
    void recoverCancelledAtTheCloseQuestionKeepsBoth();
    void recoverLeavesOutARowWhoseSamplesAreGone();
    void sessionFileFollowsUndoAndRedo();
    void recoveredSessionKeepsItsProjectFile();
    void editedLayerComesBackAfterSigkill();
    void aBeforeCopyThatCannotBeTrustedIsSaid_data();
    void aBeforeCopyThatCannotBeTrustedIsSaid();
};

namespace {

const QString deadid = QStringLiteral("2001.02.03-04.05.06.789");

QString deadsession()
{
    return sessionpath + "/session(" + deadid + ").kvx";
}

QString ownsession()
{
    return sessionpath + "/session(" + sessionid + ").kvx";
}

// A layer file of the dead run: one second of stereo at 8000 Hz holding
// `value` and `value` + 0.25, followed by `extra` more bytes.
QString deadlayer(const QString& tag, float value, int extra = 0)
{
    const QString path = sessionpath + "/layer(" + tag + ").pcm";
    std::vector<float> frames(16000);
    for (size_t i = 0; i < frames.size(); i += 2) {
        frames[i] = value;
        frames[i + 1] = value + 0.25f;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(reinterpret_cast<const char*>(frames.data()), qint64(frames.size() * 4));
    file.write(QByteArray(extra, '\0'));
    return path;
}

// The dead run's session file, one row per sample file, named A, B...
void writedeadsession(const QStringList& samples, const QString& project = QString())
{
    ProjectData data;
    data.project = project;
    data.samplerate = 8000;
    data.channels = 2;
    data.speakermask = 3;
    for (const QString& path : samples) {
        ProjectRow row;
        row.name = QString(QChar(char16_t('A' + data.rows.size())));
        row.samplerate = 8000;
        row.channels = 2;
        row.speakermask = 3;
        row.length = 1.0;
        row.samples = path;
        row.bytes = 64000;
        data.rows << row;
    }
    data.current = int(data.rows.size()) - 1;
    QFile file(deadsession());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(projectxml(data));
}

qint64 filesize(const QString& path)
{
    return QFileInfo(path).size();
}

} // namespace

void TestSessionRecover::init()
{
    QSettings().clear();
    kvtestfolders();
    for (const QString& name : kvsessionfiles())
        if (name.endsWith(".kvx") || name.endsWith(".pcm"))
            QFile::remove(sessionpath + "/" + name);
}

void TestSessionRecover::failedRecoverKeepsTheDeadSessionsFiles()
{
    // A is whole and taken over; B's file grew after the session was written,
    // so it is copied, and the copy does not fit on the disk.
    const QString a = deadlayer("dead0A", 1.0f);
    const QString b = deadlayer("dead0B", 2.0f, 16);
    writedeadsession({a, b});
    PanelRig r;
    r.answers["Recover Session"] = QMessageBox::Yes;
    {
        FullDisk full(40000);
        r.panel()->Recover();
    }
    QCOMPARE(r.titles(), (QStringList{"Recover Session", "Recover Session"}));
    QVERIFY2(r.asked.at(1).text.contains("could not be copied"), qPrintable(r.asked.at(1).text));
    QCOMPARE(r.rows(), 0);
    // Nothing of the dead session was lost: it can be recovered later.
    QCOMPARE(filesize(a), qint64(64000));
    QCOMPARE(filesize(b), qint64(64016));
    QVERIFY(QFileInfo::exists(deadsession()));

    r.asked.clear();
    r.panel()->Recover();
    QCOMPARE(r.titles(), QStringList{"Recover Session"});
    QCOMPARE(r.names(), (QStringList{"A", "B"}));
    QCOMPARE(r.at(0)->file->fileName(), a);
    QCOMPARE(samplefile(r.at(0)).at(1), 1.25f);
    QCOMPARE(samplefile(r.at(1)).size(), size_t(16000));
    QCOMPARE(samplefile(r.at(1)).at(0), 2.0f);
    QVERIFY(!QFileInfo::exists(deadsession()));
    QVERIFY(r.panel()->Close());
}

void TestSessionRecover::recoverCancelledAtTheCloseQuestionKeepsBoth()
{
    // The dead session's files are taken over before the open project is
    // closed; a Cancel there must hand them back untouched.
    const QString a = deadlayer("dead1A", 1.0f);
    writedeadsession({a});
    PanelRig r;
    project(r, 1);
    const std::vector<float> own = samplefile(r.at(0));
    r.answers["Recover Session"] = QMessageBox::Yes;
    r.answers["Close Project"] = QMessageBox::Cancel;
    r.panel()->Recover();
    QCOMPARE(r.titles(), (QStringList{"Recover Session", "Close Project"}));
    QCOMPARE(r.names(), QStringList{"A"});
    QCOMPARE(samplefile(r.at(0)), own);
    QVERIFY(r.window()->isWindowModified());
    QCOMPARE(filesize(a), qint64(64000));
    QVERIFY(QFileInfo::exists(deadsession()));

    r.asked.clear();
    r.answers["Close Project"] = QMessageBox::No;
    r.panel()->Recover();
    QCOMPARE(r.names(), QStringList{"A"});
    QCOMPARE(r.at(0)->file->fileName(), a);
    QCOMPARE(samplefile(r.at(0)).at(1), 1.25f);
    QVERIFY(!QFileInfo::exists(deadsession()));
    r.answers["Close Project"] = QMessageBox::No;
    QVERIFY(r.panel()->Close());
}

void TestSessionRecover::recoverLeavesOutARowWhoseSamplesAreGone()
{
    const QString a = deadlayer("dead1A", 1.0f);
    const QString b = deadlayer("dead1B", 2.0f);
    const QString c = deadlayer("dead1C", 3.0f);
    QFile(b).resize(32000); // cut short
    QFile::remove(c);
    writedeadsession({a, b, c});
    PanelRig r;
    r.answers["Recover Session"] = QMessageBox::Yes;
    r.panel()->Recover();
    QCOMPARE(r.titles(), QStringList{"Recover Session"});
    const QString text = r.asked.at(0).text;
    QVERIFY2(text.contains("1 layer(s)"), qPrintable(text));
    QVERIFY2(text.contains("layer &quot;B&quot;") && text.contains(b), qPrintable(text));
    QVERIFY2(text.contains("layer &quot;C&quot;") && text.contains(c), qPrintable(text));
    QCOMPARE(r.names(), QStringList{"A"});
    QCOMPARE(r.at(0)->file->fileName(), a);
    // The row left out keeps what it has.
    QCOMPARE(filesize(b), qint64(32000));
    QVERIFY(r.panel()->Close());

    // With no row left, nothing is offered and the reasons are told.
    QFile::remove(b);
    const QString d = deadlayer("dead1D", 4.0f);
    QFile::remove(d);
    writedeadsession({d});
    r.asked.clear();
    r.panel()->Recover();
    QCOMPARE(r.titles(), QStringList{"Recover Session"});
    QVERIFY2(r.asked.at(0).text.contains("could not be opened") && r.asked.at(0).text.contains(d),
             qPrintable(r.asked.at(0).text));
    QCOMPARE(r.rows(), 0);
}

void TestSessionRecover::sessionFileFollowsUndoAndRedo()
{
    PanelRig r;
    project(r, 1);
    layer* l = r.at(0);
    // An edit that makes the layer half a second longer.
    auto* before = new layer(l, 0.5, 1.0);
    const std::vector<float> data(16000, 0.5f);
    l->write(data.data(), 0.5, 1.0);
    auto* after = new layer(l, 0.5, 1.0);
    emit spectrumgui->outbackuplayer(QPixmap(), "Pencil", l, before, after, QRectF(0.5, 0, 1.0, 100));
    const auto sessionbytes = [&] {
        ProjectData session;
        QString error;
        if (!readkvx(ownsession(), &session, &error) || session.rows.size() != 1)
            return qint64(-1);
        return session.rows.at(0).bytes;
    };
    QCOMPARE(sessionbytes(), qint64(96000));
    historygui->Undo();
    QCOMPARE(filesize(l->file->fileName()), qint64(64000));
    QCOMPARE(sessionbytes(), qint64(64000));
    historygui->Redo();
    QCOMPARE(filesize(l->file->fileName()), qint64(96000));
    QCOMPARE(sessionbytes(), qint64(96000));
    QVERIFY(r.panel()->Close());
}

void TestSessionRecover::recoveredSessionKeepsItsProjectFile()
{
    PanelRig r;
    project(r, 1);
    const QString saved = QDir::tempPath() + "/Song.kvp";
    answerfile(r, saved);
    r.panel()->SaveAs();
    QCOMPARE(r.window()->windowFilePath(), saved);
    click(r, 0, 2); // a change after the save
    ProjectData session;
    QString error;
    QVERIFY2(readkvx(ownsession(), &session, &error), qPrintable(error));
    QCOMPARE(session.project, saved);
    r.answers["Close Project"] = QMessageBox::No;
    QVERIFY(r.panel()->Close());

    // A dead run's session of that project comes back under its name, and
    // Save writes there without asking for a name.
    writedeadsession({deadlayer("dead2A", 1.0f)}, saved);
    r.answers["Recover Session"] = QMessageBox::Yes;
    r.rig.filerequests.clear();
    r.panel()->Recover();
    QCOMPARE(r.names(), QStringList{"A"});
    QCOMPARE(r.window()->windowFilePath(), saved);
    QVERIFY(r.window()->isWindowModified());
    r.panel()->Save();
    QVERIFY(r.rig.filerequests.isEmpty());
    QVERIFY(!r.window()->isWindowModified());
    ProjectData reread;
    QVERIFY2(readkvp(saved, &reread, &error), qPrintable(error));
    QCOMPARE(reread.rows.size(), 1);
    QCOMPARE(reread.rows.at(0).name, QString("A"));
    QVERIFY(r.panel()->Close());
}

namespace {

// The run that dies: two Deletes through the window, the second undone, then
// a write whose frames are put aside for a history entry it never gets. The
// layer file as it stood before that write goes to `expected`, then the
// process is killed.
int editthendie(const QString& expected)
{
    PanelRig r;
    project(r, 1);
    click(r, 0, 3);
    layer* a = r.current();
    for (const QRectF& area : {QRectF(0.2, 4000, 0.3, -4000), QRectF(0.6, 4000, 0.2, -4000)}) {
        selection = area;
        emit spectrumgui->outselection(selection);
        r.window()->deleteact->trigger();
    }
    historygui->Undo();
    QFile out(expected);
    if (!out.open(QIODevice::WriteOnly) || out.write(filebytes(a)) != a->file->size() || !out.flush())
        return 1;
    const std::vector<float> pending(800, -0.5f);
    a->write(pending.data(), 0.9, 0.05);
    ::raise(SIGKILL);
    return 2;
}

} // namespace

void TestSessionRecover::editedLayerComesBackAfterSigkill()
{
    const QString expected = QDir::tempPath() + "/killed-run.pcm";
    QFile::remove(expected);
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {"--edit-then-die", expected});
    QVERIFY(child.waitForFinished(120000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QFile file(expected);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.size(), 64000);

    PanelRig r;
    r.answers["Recover Session"] = QMessageBox::Yes;
    r.panel()->Recover();
    QCOMPARE(r.names(), QStringList{"A"});
    QCOMPARE(filebytes(r.at(0)), bytes);
    // The first Delete is in it, the undone one is not, and the write that
    // was under way is taken back.
    const std::vector<float> v = samplefile(r.at(0));
    QVERIFY(std::fabs(v[2 * 2800]) < 0.05f);
    QVERIFY(std::fabs(v[2 * 5600] - 1.0f) < 0.05f);
    QVERIFY(std::fabs(v[2 * 7400] - 1.0f) < 0.05f);
    QVERIFY(r.panel()->Close());
}

void TestSessionRecover::aBeforeCopyThatCannotBeTrustedIsSaid_data()
{
    QTest::addColumn<QString>("damage"); // or a header field's offset and value, with a checksum that fits
    for (const char* damage : {"", "missing", "cut by one byte", "zeroed", "a byte flipped", "24 1e9", "24 -1",
                               "16 nan", "16 inf", "16 -1e12", "32 4000", "32 1000000000000"})
        QTest::newRow(*damage ? damage : "whole") << QString(damage);
}

// When what was put aside for an edit under way cannot be trusted, the layer comes back as its
// half-written file holds it, one box says so, both files stay, and it edits and saves as any other.
void TestSessionRecover::aBeforeCopyThatCannotBeTrustedIsSaid()
{
    QFETCH(QString, damage);
    PanelRig r;
    project(r, 1);
    click(r, 0, 3);
    layer* a = r.current();
    r.panel()->SaveSession();
    const QByteArray before = filebytes(a);
    const std::vector<float> pending(2 * 2400, -0.5f);
    a->write(pending.data(), 0.2, 0.3);
    const QByteArray torn = filebytes(a);
    // What the run left, beside the session folder under the same names.
    QTemporaryDir left;
    const QString samples = left.filePath(QFileInfo(a->file->fileName()).fileName());
    const QString kept = left.filePath(QFileInfo(a->keptfile()).fileName());
    QVERIFY(QFile::copy(a->file->fileName(), samples) && QFile::copy(a->keptfile(), kept));
    QFile session(ownsession());
    QVERIFY(session.open(QIODevice::ReadOnly));
    const QByteArray text = session.readAll().replace(sessionpath.toUtf8(), left.path().toUtf8());
    QVERIFY(text.contains("keptmarked=\"1\""));
    r.answers["Close Project"] = QMessageBox::No;
    QVERIFY(r.panel()->Close());
    QFile file(kept);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    const int at = damage.section(' ', 0, 0).toInt();
    const qint64 frames = damage.section(' ', 1).toLongLong(); // or a double: start, length
    const double value = damage.section(' ', 1).toDouble();
    if (damage == "cut by one byte")
        bytes.chop(1);
    else if (damage == "zeroed")
        bytes.fill('\0');
    else if (damage == "a byte flipped")
        bytes[bytes.size() - 100] = char(bytes[bytes.size() - 100] ^ 0x10);
    else if (at > 0)
        bytes.replace(at, 8, QByteArray(at == 32 ? reinterpret_cast<const char*>(&frames)
                                                 : reinterpret_cast<const char*>(&value), 8));
    const quint32 sum = checksum(bytes.constData(), 40);
    if (at > 0)
        bytes.replace(40, 4, QByteArray(reinterpret_cast<const char*>(&sum), 4));
    QVERIFY(file.resize(0) && file.seek(0) && file.write(bytes) == bytes.size());
    QVERIFY(damage != "missing" || file.remove());
    QFile dead(deadsession());
    QVERIFY(dead.open(QIODevice::WriteOnly) && dead.write(text) == text.size());
    dead.close();

    r.asked.clear();
    r.answers["Recover Session"] = QMessageBox::Yes;
    r.panel()->Recover();
    // One box, the question, and no word of a file cut short afterwards.
    QCOMPARE(r.titles(), QStringList{"Recover Session"});
    const QString said = r.asked.at(0).text;
    QVERIFY2(said.contains(damage.isEmpty() ? "Layer &quot;A&quot; comes back as it was before its last edit"
                                            : "Layer &quot;A&quot; may hold a half-written edit"),
             qPrintable(said));
    QCOMPARE(filebytes(r.at(0)), damage.isEmpty() ? before : torn);
    if (!damage.isEmpty()) {
        QVERIFY2(said.contains("Both files stay as they are: " + samples + " and " + kept + "."), qPrintable(said));
        QCOMPARE(filesize(samples), qint64(torn.size()));
        QCOMPARE(QFileInfo::exists(kept), damage != "missing");
    }
    // An edit and a save of it, opened again.
    selection = QRectF(0.1, 4000, 0.2, -4000);
    emit spectrumgui->outselection(selection);
    r.window()->deleteact->trigger();
    const QString kvp = left.filePath("after.kvp");
    QVERIFY(r.panel()->SaveProject(kvp));
    r.window()->setWindowModified(false);
    QVERIFY(r.panel()->OpenProject(kvp));
    QCOMPARE(r.titles(), QStringList{"Recover Session"});
    QCOMPARE(r.at(0)->length, 1.0);
    QVERIFY(r.panel()->Close());
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--edit-then-die")
        return editthendie(QString::fromLocal8Bit(argv[2]));
    TestSessionRecover test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_sessionrecover.moc"
