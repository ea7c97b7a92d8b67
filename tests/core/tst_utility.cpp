// Running external utilities: arguments reach the program intact, output is
// merged, and failures, crashes and hangs are told apart.
#include <QTemporaryDir>
#include <QtTest>

#include "core/utility.h"
#include "testsupport.h"

class TestUtility : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString script(const QString& name, const QString& body)
    {
        const QString path = dir.path() + "/" + name;
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(("#!/bin/sh\n" + body + "\n").toUtf8());
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

private slots:
    void initTestCase() { kvtestfolders(); }

    void argumentsandoutput()
    {
        const QString program = script("args", "for a in \"$@\"; do echo \"[$a]\"; done; echo err >&2; exit 0");
        const QStringList arguments{"a b", "it's \"q\"", "100%1", "*"};
        const UtilityResult r = runutility(program, arguments, 10000);
        QVERIFY(r.succeeded());
        QCOMPARE(r.output, QString("[a b]\n[it's \"q\"]\n[100%1]\n[*]\nerr\n"));
        QVERIFY(r.failuretext().isEmpty());
        QCOMPARE(utilitycommandline("/x/sox", {"-r", "a b"}), QString("/x/sox -r a b"));
    }

    void failures()
    {
        UtilityResult r = runutility(dir.path() + "/missing", {}, 10000);
        QVERIFY(!r.started);
        QVERIFY(!r.succeeded());
        QVERIFY(r.failuretext().startsWith("could not be started"));

        r = runutility(script("fail", "echo bad input; exit 3"), {}, 10000);
        QVERIFY(r.started && r.exitednormally);
        QCOMPARE(r.exitcode, 3);
        QCOMPARE(r.failuretext(), QString("exited with code 3: bad input"));

        r = runutility(script("crash", "kill -SEGV $$"), {}, 10000);
        QVERIFY(r.started && !r.exitednormally && !r.timedout);
        QVERIFY(!r.succeeded());
    }

    void inputclosedandtimeout()
    {
        // A program that reads its input ends at once: nothing is ever sent.
        UtilityResult r = runutility(script("cat", "cat"), {}, 10000);
        QVERIFY(r.succeeded());

        QElapsedTimer clock;
        clock.start();
        r = runutility(script("hang", "exec sleep 20"), {}, 300);
        QVERIFY(r.timedout);
        QVERIFY(!r.succeeded());
        QVERIFY(clock.elapsed() < 10000);
    }
};

QTEST_GUILESS_MAIN(TestUtility)
#include "tst_utility.moc"
