// Running external utilities: arguments reach the program intact, output is
// merged, failures, crashes and hangs are told apart, and several run side by
// side with a listener hearing their output.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include "core/utility.h"
#include "testsupport.h"

// Notes what each process has written when it says it has output, without
// taking it away from the run.
class Listener : public QObject
{
    Q_OBJECT
public:
    QStringList heard;
public slots:
    void output()
    {
        auto* process = qobject_cast<QProcess*>(sender());
        if (process)
            heard << QString::fromLocal8Bit(process->peek(process->bytesAvailable()));
    }
};

class TestUtility : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString script(const QString& name, const QString& body)
    {
        const QString path = dir.path() + "/" + name;
        kvscript(path, body);
        return path;
    }

private slots:
    void initTestCase() { kvtestfolders(); }

    void argumentsandoutput()
    {
        const QString program = script("args", "for a in \"$@\"; do echo \"[$a]\"; done; echo err >&2; exit 0");
        const QStringList arguments{"a b", "it's \"q\"", "100%1", "*"};
        const UtilityResult r = runutility(program, arguments, 30000);
        QVERIFY(r.succeeded());
        QCOMPARE(r.output, QString("[a b]\n[it's \"q\"]\n[100%1]\n[*]\nerr\n"));
        QVERIFY(r.failuretext().isEmpty());
        QCOMPARE(utilitycommandline("/x/sox", {"-r", "a b"}), QString("/x/sox -r a b"));
    }

    void failures()
    {
        UtilityResult r = runutility(dir.path() + "/missing", {}, 30000);
        QVERIFY(!r.started);
        QVERIFY(!r.succeeded());
        QVERIFY(r.failuretext().startsWith("could not be started"));

        r = runutility(script("fail", "echo bad input; exit 3"), {}, 30000);
        QVERIFY(r.started && r.exitednormally);
        QCOMPARE(r.exitcode, 3);
        QCOMPARE(r.failuretext(), QString("exited with code 3: bad input"));

        r = runutility(script("crash", "kill -SEGV $$"), {}, 30000);
        QVERIFY(r.started && !r.exitednormally && !r.timedout);
        QVERIFY(!r.succeeded());
    }

    void inputclosedandtimeout()
    {
        // A program that reads its input ends at once: nothing is ever sent.
        UtilityResult r = runutility(script("cat", "cat"), {}, 30000);
        QVERIFY(r.succeeded());

        const QString pidfile = dir.path() + "/hang.pid";
        r = runutility(script("hang", "echo $$ > '" + pidfile + "'; exec sleep 20"), {}, 300);
        QVERIFY(r.timedout);
        QVERIFY(!r.succeeded());
        // Killed and reaped before the call returned, not left to run on.
        QFile file(pidfile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const pid_t pid = pid_t(file.readAll().trimmed().toLongLong());
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid, 0), -1);
    }

    void sideBySide()
    {
        // Each waits for the other's mark: they only finish when both run at once.
        const QString a = dir.path() + "/a", b = dir.path() + "/b";
        const QString wait = "touch '%1'; while [ ! -e '%2' ]; do sleep 0.02; done; echo done %3";
        const QList<UtilityResult> results =
            runutilities({{script("first", wait.arg(a, b, "1")), {}}, {script("second", wait.arg(b, a, "2")), {}},
                          {dir.path() + "/missing", {}}},
                         30000);
        QCOMPARE(results.size(), 3);
        QVERIFY(results[0].succeeded() && results[1].succeeded());
        QCOMPARE(results[0].output, QString("done 1\n"));
        QCOMPARE(results[1].output, QString("done 2\n"));
        QVERIFY(!results[2].started);
    }

    void listenerPeeksWithoutTaking()
    {
        Listener listener;
        const QString program = script("progress", "for p in 10 55 99; do printf '%s%%\\r' $p >&2; sleep 0.05; done; echo end");
        const QList<UtilityResult> results = runutilities({{program, {}}}, 30000, &listener, SLOT(output()));
        QVERIFY(results[0].succeeded());
        QCOMPARE(results[0].output, QString("10%\r55%\r99%\rend\n"));
        QVERIFY(!listener.heard.isEmpty());
        QVERIFY(listener.heard.join(QString()).contains("55%"));
    }

    void onlyTheHangingOneIsKilled()
    {
        const QList<UtilityResult> results =
            runutilities({{script("slow", "exec sleep 60"), {}}, {script("quick", "echo quick"), {}}}, 3000);
        QVERIFY(results[0].timedout);
        QVERIFY(results[1].succeeded());
        QCOMPARE(results[1].output, QString("quick\n"));
    }
};

QTEST_GUILESS_MAIN(TestUtility)
#include "tst_utility.moc"
