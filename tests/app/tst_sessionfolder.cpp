#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>
#include <unistd.h>

#include "app/sessionfolder.h"
#include "app/sessionlock.h"
#include "panels/projectfile.h"

class TestSessionFolder : public QObject
{
    Q_OBJECT

private slots:
    void removesOnlyOldFilesOfOurs();
    void limitInDays_data();
    void limitInDays();
    void keepsFilesOfRunningInstances();
    void aSessionAndItsLayersGoTogether();
    void endedInstancesLeaveNothingBehind();
    void lockTakenWhileAnotherInstanceLooksStaysReal();
    void defaultFolderIsARealFolderOfTheUser();
    void defaultFolderAvoidsForeignOrLinkedFolders();

private:
    QTemporaryDir dir;
    QString make(const QString& name, int agedays, qint64 extrams = 0);
    QDateTime now = QDateTime::currentDateTime();
};

QString TestSessionFolder::make(const QString& name, int agedays, qint64 extrams)
{
    const QString path = dir.filePath(name);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        qFatal("cannot make %s", qPrintable(path));
    file.write("x");
    file.flush(); // a later flush would set the time again
    file.setFileTime(now.addDays(-agedays).addMSecs(-extrams), QFileDevice::FileModificationTime);
    return path;
}

void TestSessionFolder::removesOnlyOldFilesOfOurs()
{
    QDir(dir.path()).removeRecursively();
    QDir().mkpath(dir.path());
    const QString oldlayer = make("layer(AbC123).pcm", 11);
    const QString oldsession = make("session(2020.01.01-10.00.00.000).kvx", 40);
    const QString oldwork = make("scale(2020.01.01-10.00.00.000)-chan12.wav", 11);
    const QString younglayer = make("layer(Zz9988).pcm", 9);
    const QStringList kept = {
        make("notes.kvx.txt", 40),          make("LAYER(AbC123).PCM", 40), make("my.pcm", 40),
        make("layer(toolong7).pcm", 40),    make("session().kvx", 40),     make("sub/layer(AbC123).pcm", 40),
        make("session(x).kvx.bak", 40),     make("scale(x)-notes.wav", 40), make("scale()-clip.pcm", 40),
        make("scalechan0.wav", 40),
    };
    QCOMPARE(cleansessionfolder(dir.path(), 10, now), 3);
    QVERIFY(!QFile::exists(oldlayer));
    QVERIFY(!QFile::exists(oldsession));
    QVERIFY(!QFile::exists(oldwork));
    QVERIFY(QFile::exists(younglayer));
    for (const QString& path : kept)
        QVERIFY2(QFile::exists(path), qPrintable(path));
}

void TestSessionFolder::limitInDays_data()
{
    QTest::addColumn<int>("days");
    QTest::addColumn<int>("age");
    QTest::addColumn<bool>("removed");
    QTest::newRow("25 days, 26 old") << 25 << 26 << true;
    QTest::newRow("25 days, 24 old") << 25 << 24 << false;
    QTest::newRow("30 days, 31 old") << 30 << 31 << true;
    QTest::newRow("1 day, just under") << 1 << 0 << false;
}

void TestSessionFolder::limitInDays()
{
    QFETCH(int, days);
    QFETCH(int, age);
    QFETCH(bool, removed);
    const QString path = make("layer(limit1).pcm", age, age == 0 ? 3600 * 1000 : 0);
    cleansessionfolder(dir.path(), days, now);
    QCOMPARE(!QFile::exists(path), removed);
    QFile::remove(path);
}

void TestSessionFolder::keepsFilesOfRunningInstances()
{
    QTemporaryDir folder;
    // Another instance that started 20 days ago and is still running: its
    // session file and the layer files it wrote since its start are kept.
    const QDateTime start = now.addDays(-20);
    const QString liveid = start.toString("yyyy.MM.dd-HH.mm.ss.zzz");
    InstanceLock other;
    QVERIFY(other.acquire(folder.path(), liveid));
    QCOMPARE(livesessions(folder.path()), QStringList{liveid});

    auto touch = [&](const QString& name, const QDateTime& when) {
        QFile file(folder.filePath(name));
        file.open(QIODevice::ReadWrite);
        ProjectData empty;
        empty.samplerate = 8000;
        empty.channels = 1;
        file.write(name.endsWith(".kvx") ? projectxml(empty) : QByteArray("x"));
        file.flush();
        file.setFileTime(when, QFileDevice::FileModificationTime);
        return file.fileName();
    };
    const QString livesession = touch("session(" + liveid + ").kvx", now.addDays(-19));
    const QString livelayer = touch("layer(live01).pcm", now.addDays(-15));
    const QString before = touch("layer(gone01).pcm", now.addDays(-25));
    // Its Move/Scale work files, even one last written before its start.
    const QString livework = touch("scale(" + liveid + ")-clip.pcm", now.addDays(-21));
    const QString deadwork = touch("scale(2020.01.01-10.00.00.000)-scaled0.wav", now.addDays(-21));
    QCOMPARE(cleansessionfolder(folder.path(), 10, now), 2);
    QVERIFY(QFile::exists(livesession));
    QVERIFY(QFile::exists(livelayer));
    QVERIFY(QFile::exists(livework));
    QVERIFY(!QFile::exists(before));
    QVERIFY(!QFile::exists(deadwork));
    // "Clean Sessions" takes the files of ended instances only.
    const QString ownwork = touch("scale(2030.01.01-00.00.00.000)-chan0.wav", now.addDays(-30));
    const QString deadsource = touch("scale(2020.01.01-10.00.00.000)-source.pcm", now.addDays(-25));
    QCOMPARE(removesessionfiles(folder.path(), "2030.01.01-00.00.00.000"), 1);
    QVERIFY(QFile::exists(livework) && QFile::exists(ownwork));
    QVERIFY(!QFile::exists(deadsource));
    QVERIFY(QFile::remove(ownwork));

    // Once it has ended, its old files go.
    other.release();
    QCOMPARE(cleansessionfolder(folder.path(), 10, now), 3);
    QVERIFY(!QFile::exists(livesession));
    QVERIFY(!QFile::exists(livelayer));
    QVERIFY(!QFile::exists(livework));
}

void TestSessionFolder::aSessionAndItsLayersGoTogether()
{
    QDir(dir.path()).removeRecursively();
    QDir().mkpath(dir.path());
    // A dead run changed its session a day ago; one of its layers was last
    // written 12 days ago, the other is named relative to the folder.
    const QString untouched = make("layer(old001).pcm", 12);
    const QString relative = make("layer(old002).pcm", 12);
    const QString stray = make("layer(stray1).pcm", 12);
    // So do the files that keep a layer's frames during an edit.
    const QString kept = make("layer(old001).kept", 12), straykept = make("layer(stray2).kept", 12);
    ProjectData data;
    data.samplerate = 8000;
    data.channels = 1;
    for (const QString& samples : {untouched, QString("layer(old002).pcm")}) {
        ProjectRow row;
        row.name = "A";
        row.samplerate = 8000;
        row.channels = 1;
        row.samples = samples;
        row.bytes = 4;
        row.kept = data.rows.isEmpty() ? kept : QString();
        data.rows << row;
    }
    const QString session = make("session(2020.01.01-10.00.00.000).kvx", 1);
    auto write = [&](const QString& path, const QByteArray& text, int agedays) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
        file.flush();
        file.setFileTime(now.addDays(-agedays), QFileDevice::FileModificationTime);
    };
    write(session, projectxml(data), 1);
    QCOMPARE(cleansessionfolder(dir.path(), 10, now), 2);
    QVERIFY(QFile::exists(session));
    QVERIFY(QFile::exists(untouched));
    QVERIFY(QFile::exists(relative));
    QVERIFY(QFile::exists(kept));
    QVERIFY(!QFile::exists(stray) && !QFile::exists(straykept));

    // A session file that cannot be read might name any layer file: none goes.
    const QString damaged = make("session(2020.02.02-10.00.00.000).kvx", 1);
    write(session, projectxml(data), 11);
    QCOMPARE(cleansessionfolder(dir.path(), 10, now), 1);
    QVERIFY(!QFile::exists(session));
    QVERIFY(QFile::exists(untouched));
    QVERIFY(QFile::exists(relative));

    // Once the session file is old enough to go, its layers go with it.
    QVERIFY(QFile::remove(damaged));
    QCOMPARE(cleansessionfolder(dir.path(), 10, now), 3);
    QVERIFY(!QFile::exists(untouched));
    QVERIFY(!QFile::exists(relative));
    QVERIFY(!QFile::exists(kept));
}

void TestSessionFolder::endedInstancesLeaveNothingBehind()
{
    QTemporaryDir folder;
    // A lock file that nobody holds (its process was killed).
    const QString stale = folder.filePath(InstanceLock::filename("2021.05.05-05.05.05.005"));
    QFile file(stale);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    InstanceLock mine;
    QVERIFY(mine.acquire(folder.path(), "2030.01.01-00.00.00.000"));
    QVERIFY(mine.held());
    QCOMPARE(livesessions(folder.path()), QStringList{"2030.01.01-00.00.00.000"});
    QVERIFY(!QFile::exists(stale));
    // A second lock of the same session cannot be taken while the first is held.
    InstanceLock twin;
    QVERIFY(!twin.acquire(folder.path(), "2030.01.01-00.00.00.000"));
    mine.release();
    QVERIFY(QDir(folder.path()).entryList(QDir::Files).isEmpty());
}

void TestSessionFolder::lockTakenWhileAnotherInstanceLooksStaysReal()
{
    // Another instance looks for ended ones over and over while this one
    // starts: a lock it takes must be the file in the folder, never one that
    // the other removed in between (this instance would then look ended).
    QTemporaryDir folder;
    const QString id = "2030.02.02-02.02.02.002";
    const QString file = folder.filePath(InstanceLock::filename(id));
    std::atomic<bool> stop{false};
    std::thread other([&] {
        while (!stop)
            livesessions(folder.path());
    });
    int lost = 0;
    for (int i = 0; i < 4000; ++i) {
        InstanceLock lock;
        if (!lock.acquire(folder.path(), id)) {
            ++lost;
            break;
        }
        if (!QFile::exists(file))
            ++lost;
        lock.release();
    }
    stop = true;
    other.join();
    QCOMPARE(lost, 0);
}

void TestSessionFolder::defaultFolderIsARealFolderOfTheUser()
{
    QTemporaryDir temp;
    QString note = "unchanged";
    const QString chosen = defaultsessionfolder(temp.path(), &note);
    QCOMPARE(chosen, temp.path() + "/kvtmp");
    QVERIFY(note.isEmpty());
    const QFileInfo info(chosen);
    QVERIFY(info.isDir());
    QCOMPARE(info.permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup | QFile::WriteGroup),
             QFileDevice::Permissions());
    // An existing folder of ours is taken as it is.
    QCOMPARE(defaultsessionfolder(temp.path(), &note), chosen);
    QVERIFY(note.isEmpty());
}

void TestSessionFolder::defaultFolderAvoidsForeignOrLinkedFolders()
{
    QTemporaryDir temp, elsewhere;
    // Someone placed a link where the folder should be: never follow it.
    QVERIFY(QFile::link(elsewhere.path(), temp.path() + "/kvtmp"));
    QString note;
    const QString chosen = defaultsessionfolder(temp.path(), &note);
    QCOMPARE(chosen, temp.path() + QString("/kvtmp-%1").arg(::getuid()));
    QVERIFY(QFileInfo(chosen).isDir() && !QFileInfo(chosen).isSymLink());
    QVERIFY(note.contains(temp.path() + "/kvtmp"));
    QVERIFY(note.contains(chosen));

    // A plain file in both places: a fresh unique folder.
    QTemporaryDir temp2;
    QFile(temp2.path() + "/kvtmp").open(QIODevice::WriteOnly);
    QFile(temp2.path() + QString("/kvtmp-%1").arg(::getuid())).open(QIODevice::WriteOnly);
    const QString unique = defaultsessionfolder(temp2.path(), &note);
    QVERIFY(unique.startsWith(temp2.path() + "/kvtmp-"));
    QVERIFY(QFileInfo(unique).isDir());
    QVERIFY(!note.isEmpty());
}

QTEST_GUILESS_MAIN(TestSessionFolder)
#include "tst_sessionfolder.moc"
