#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QThread>
#include <QTime>

#include <memory>
#include <vector>

#include "core/globals.h"
#include "core/log.h"
#include "testsupport.h"

namespace {

constexpr int slotsize = 256;
constexpr int ringsize = 76800;

QList<QPair<QtMsgType, QString>> captured;

void capture(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    captured.append({type, message});
}

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// Routes Qt's messages to a handler for the guard's life and then gives the
// test framework its own handler back.
struct MessageGuard {
    QtMessageHandler previous;
    explicit MessageGuard(QtMessageHandler handler) : previous(qInstallMessageHandler(handler)) {}
    ~MessageGuard() { qInstallMessageHandler(previous); }
};

QByteArray stripzeros(QByteArray bytes)
{
    bytes.replace('\0', QByteArray());
    return bytes;
}

// Checks that the text the log viewer renders is well-formed: only the log's
// own tags, balanced and closed before each line break, and only entities for
// the special characters. Returns the first problem, empty when there is none.
QString htmlproblem(const QByteArray& html)
{
    QStringList open;
    qsizetype i = 0;
    while (i < html.size()) {
        const char c = html.at(i);
        if (c == '<') {
            const qsizetype end = html.indexOf('>', i);
            if (end < 0)
                return "unterminated tag at " + QString::number(i);
            const QByteArray tag = html.mid(i + 1, end - i - 1);
            if (tag == "i")
                open << "i";
            else if (tag == "font color=red" || tag == "font color=blue")
                open << "font";
            else if (tag == "/i" || tag == "/font") {
                if (open.isEmpty() || open.takeLast() != tag.mid(1))
                    return "unbalanced " + QString::fromLatin1(tag);
            } else if (tag == "br") {
                if (!open.isEmpty())
                    return "line break inside <" + open.last() + ">";
            } else
                return "foreign tag <" + QString::fromLatin1(tag) + ">";
            i = end + 1;
        } else if (c == '>') {
            return "stray > at " + QString::number(i);
        } else if (c == '&') {
            const qsizetype end = html.indexOf(';', i);
            const QByteArray entity = end < 0 ? html.mid(i, 8) : html.mid(i, end - i + 1);
            static const QSet<QByteArray> known{"&amp;", "&lt;", "&gt;", "&quot;", "&#39;"};
            if (!known.contains(entity))
                return "broken entity " + QString::fromLatin1(entity);
            i = end + 1;
        } else {
            ++i;
        }
    }
    return open.isEmpty() ? QString() : "unclosed <" + open.last() + ">";
}

} // namespace

class TestLog : public QObject {
    Q_OBJECT

    int serial = 0;

    // A fresh logs folder and session name for each log the test opens.
    QString openlog(int level, const QString& folder = QString())
    {
        logspath = QDir::tempPath() + "/" + (folder.isEmpty() ? QString("logs%1").arg(serial) : folder);
        QDir().mkpath(logspath);
        sessionid = QString("2031.01.01-00.00.00.%1").arg(serial++, 3, 10, QChar('0'));
        if (!loginit(level))
            return QString();
        return logfilepath();
    }

    static QByteArray readlog()
    {
        QFile file(logfilepath());
        if (!file.open(QIODevice::ReadOnly))
            return QByteArray();
        return file.readAll();
    }

    static QByteArray slot(const QByteArray& log, int ring, int index)
    {
        return log.mid(qsizetype(ring) * ringsize + qsizetype(index) * slotsize, slotsize);
    }

    static QByteArray marker() { return QByteArray("<br>") + QByteArray(slotsize - 4, '\0'); }

private slots:
    void initTestCase()
    {
        kvtestfolders();
        // Before any loginit the lines are lost and nothing breaks.
        {
            MessageGuard guard(quiet);
            logmessage("early");
            logerror("early");
            logverbose("early");
        }
        QVERIFY(logfilepath().isEmpty());
    }

    void freshlogholdsoneline()
    {
        const QString path = openlog(0);
        QCOMPARE(path, logspath + "/" + sessionid + ".htm");
        QCOMPARE(QFileInfo(path).size(), qint64(230400));
        QVERIFY(readlog().count('\0') == 230400);

        const QTime before = QTime::currentTime();
        QTest::ignoreMessage(QtDebugMsg, "x");
        logmessage("x");
        const QTime after = QTime::currentTime();

        const QByteArray text = stripzeros(readlog());
        const QRegularExpression form("^<i>([0-9]{2}\\.[0-9]{2}\\.[0-9]{2}\\.[0-9]{3})</i> x<br><br>$");
        const QRegularExpressionMatch match = form.match(QString::fromLatin1(text));
        QVERIFY2(match.hasMatch(), text.constData());
        const QTime stamp = QTime::fromString(match.captured(1), "HH.mm.ss.zzz");
        QVERIFY(stamp.isValid());
        if (before <= after) // not across midnight
            QVERIFY(stamp >= before && stamp <= after);
        QCOMPARE(slot(readlog(), 0, 1), marker());
    }

    void levelschoosetherings_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("red");
        QTest::addColumn<bool>("blue");
        QTest::newRow("0") << 0 << false << false;
        QTest::newRow("1") << 1 << true << false;
        QTest::newRow("2") << 2 << true << true;
        QTest::newRow("256 keeps the low byte") << 256 << false << false;
        QTest::newRow("-1 is 255") << -1 << true << true;
    }

    void levelschoosetherings()
    {
        QFETCH(int, level);
        QFETCH(bool, red);
        QFETCH(bool, blue);
        QVERIFY(!openlog(level).isEmpty());
        captured.clear();
        {
            MessageGuard guard(capture);
            logmessage("plain one");
            logerror("red one");
            logverbose("blue one");
        }

        const QByteArray log = readlog();
        QVERIFY(stripzeros(slot(log, 0, 0)).endsWith("</i> plain one<br>"));
        QCOMPARE(stripzeros(slot(log, 1, 0)).endsWith("</i> <font color=red>red one</font><br>"), red);
        QCOMPARE(stripzeros(slot(log, 2, 0)).endsWith("</i> <font color=blue>blue one</font><br>"), blue);
        if (!red)
            QCOMPARE(log.mid(ringsize, ringsize).count('\0'), ringsize);
        if (!blue)
            QCOMPARE(log.mid(2 * ringsize, ringsize).count('\0'), ringsize);

        // The plain line goes to the debug output, the error to the critical
        // output, both bare; verbose lines go only to the file.
        QList<QPair<QtMsgType, QString>> expected{{QtDebugMsg, "plain one"}};
        if (red)
            expected.append({QtCriticalMsg, "red one"});
        QCOMPARE(captured, expected);
    }

    void ringswrap()
    {
        QVERIFY(!openlog(2).isEmpty());
        MessageGuard guard(quiet);
        logerror("kept red");
        for (int i = 0; i < 299; ++i)
            logmessage(QString("line %1").arg(i));
        QByteArray log = readlog();
        QVERIFY(stripzeros(slot(log, 0, 0)).endsWith(" line 0<br>"));
        QVERIFY(stripzeros(slot(log, 0, 298)).endsWith(" line 298<br>"));
        QCOMPARE(log.mid(76544, 256), marker());

        logmessage("line 299");
        log = readlog();
        QVERIFY(stripzeros(slot(log, 0, 0)).endsWith(" line 299<br>"));
        QCOMPARE(slot(log, 0, 1), marker()); // the oldest line gave way to the marker
        QVERIFY(stripzeros(slot(log, 0, 2)).endsWith(" line 2<br>"));
        QCOMPARE(slot(log, 0, 299), marker());
        // The rings keep their own slots: the plain ring never reaches the red one.
        QVERIFY(stripzeros(slot(log, 1, 0)).endsWith("<font color=red>kept red</font><br>"));
        QCOMPARE(slot(log, 1, 1), marker());
        QCOMPARE(log.size(), 230400);
    }

    void longlinesfilltheirslot()
    {
        QVERIFY(!openlog(2).isEmpty());
        {
            MessageGuard guard(quiet);
            logmessage(QString(300, 'x'));
            logerror(QString(300, 'y'));
            logverbose(QString(300, '&'));
            logmessage(QString(300, '<'));
        }
        const QByteArray log = readlog();

        const QByteArray plain = slot(log, 0, 0);
        QCOMPARE(plain.count('\0'), 0);
        QVERIFY(plain.startsWith("<i>"));
        QVERIFY(plain.endsWith(QByteArray(232, 'x') + "<br>"));
        QCOMPARE(slot(log, 0, 2), marker());

        const QByteArray red = slot(log, 1, 0);
        QCOMPARE(red.count('\0'), 0);
        QVERIFY(red.endsWith("y</font><br>"));

        // A cut never splits an entity.
        const QByteArray blue = stripzeros(slot(log, 2, 0));
        QVERIFY(blue.size() <= slotsize && blue.size() > slotsize - 5);
        QVERIFY(blue.endsWith("&amp;</font><br>"));
        QVERIFY(stripzeros(slot(log, 0, 1)).endsWith("&lt;<br>"));

        QCOMPARE(htmlproblem(stripzeros(log)), QString());
    }

    void messagesareescaped()
    {
        QVERIFY(!openlog(2).isEmpty());
        {
            MessageGuard guard(quiet);
            logmessage("<script>alert(1)</script> & \"quoted\"");
            logerror("a < b > c & d</font><font color=green>");
            logverbose("</i><br>");
            logmessage(QString::fromUtf8("caf\u00e9 \u20ac"));
        }
        const QByteArray log = readlog();
        QVERIFY(stripzeros(slot(log, 0, 0)).endsWith("</i> &lt;script&gt;alert(1)&lt;/script&gt; &amp; &quot;quoted&quot;<br>"));
        QVERIFY(stripzeros(slot(log, 1, 0)).endsWith("a &lt; b &gt; c &amp; d&lt;/font&gt;&lt;font color=green&gt;</font><br>"));
        QVERIFY(stripzeros(slot(log, 2, 0)).endsWith("<font color=blue>&lt;/i&gt;&lt;br&gt;</font><br>"));
        // Latin-1 text, with '?' for what it cannot hold.
        QVERIFY(stripzeros(slot(log, 0, 1)).endsWith("</i> caf\xe9 ?<br>"));
        QCOMPARE(htmlproblem(stripzeros(log)), QString());
    }

    void pruningkeepsforeignfiles()
    {
        const QString folder = QDir::tempPath() + "/prunelogs";
        QDir().mkpath(folder + "/archive");
        QDir().mkpath(folder + "/1999.01.01-00.00.00.000.htm"); // a folder with a log's name
        auto touch = [](const QString& path) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("old");
        };
        QStringList logs;
        for (int i = 0; i < 12; ++i)
            logs << QString("2020.01.%1-10.00.00.000.htm").arg(i + 1, 2, 10, QChar('0'));
        for (const QString& name : logs)
            touch(folder + "/" + name);
        const QStringList foreign{"notes.txt", "2020.01.01.htm", "2020.01.01-10.00.00.000.htm.bak",
                                  "archive/2000.01.01-00.00.00.000.htm"};
        for (const QString& name : foreign)
            touch(folder + "/" + name);
        QVERIFY(QFile::link(folder + "/notes.txt", folder + "/2001.01.01-00.00.00.000.htm"));
        // A file already named like this run's log, older by name than all others.
        touch(folder + "/2000.06.01-00.00.00.000.htm");

        logsmax = 10;
        logspath = folder;
        sessionid = "2000.06.01-00.00.00.000";
        QVERIFY(loginit(0));

        QDir dir(folder);
        const QStringList left = dir.entryList(QDir::Files | QDir::NoSymLinks, QDir::Name);
        QStringList expected = foreign.mid(0, 3) + logs.mid(3) + QStringList{"2000.06.01-00.00.00.000.htm"};
        expected.sort();
        QStringList sortedleft = left;
        sortedleft.sort();
        QCOMPARE(sortedleft, expected);
        QVERIFY(QFileInfo::exists(folder + "/archive/2000.01.01-00.00.00.000.htm"));
        QVERIFY(QFileInfo(folder + "/1999.01.01-00.00.00.000.htm").isDir());
        QVERIFY(QFileInfo(folder + "/2001.01.01-00.00.00.000.htm").isSymLink());
        QCOMPARE(QFileInfo(logfilepath()).size(), qint64(230400));

        // logsmax 1 keeps the new log alone; 0 must not go below nothing.
        for (int max : {1, 0}) {
            logsmax = max;
            sessionid = QString("2040.01.01-00.00.00.00%1").arg(max);
            QVERIFY(loginit(0));
            const QStringList logsleft = dir.entryList(QDir::Files | QDir::NoSymLinks)
                                             .filter(QRegularExpression("^[0-9.]{10}-[0-9.]{12}\\.htm$"));
            QCOMPARE(logsleft, QStringList{sessionid + ".htm"});
            QVERIFY(QFileInfo::exists(folder + "/notes.txt"));
        }
        logsmax = 10;
    }

    void failedinitwritesnothing()
    {
        const QString path = openlog(0);
        QVERIFY(!path.isEmpty());
        {
            MessageGuard guard(quiet);
            logmessage("before");
            logspath = QDir::tempPath() + "/missing/folder";
            QVERIFY(!loginit(2));
            QVERIFY(logfilepath().isEmpty());
            logmessage("after");
            logerror("after");
            logverbose("after");
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = stripzeros(file.readAll());
        QVERIFY(text.contains("before"));
        QVERIFY(!text.contains("after"));
    }

    void threadswritewholelines()
    {
        QVERIFY(!openlog(2).isEmpty());
        {
            MessageGuard guard(quiet);
            std::vector<std::unique_ptr<QThread>> threads;
            for (int t = 0; t < 4; ++t) {
                threads.emplace_back(QThread::create([t] {
                    for (int n = 0; n < 60; ++n) {
                        logmessage(QString("t%1 n%2").arg(t).arg(n));
                        logerror(QString("t%1 n%2").arg(t).arg(n));
                    }
                }));
                threads.back()->start();
            }
            for (auto& thread : threads)
                QVERIFY(thread->wait(30000));
        }

        const QByteArray log = readlog();
        for (int ring : {0, 1}) {
            QSet<QString> seen;
            const QRegularExpression form(ring == 0 ? "^<i>[0-9.]{12}</i> (t[0-3] n[0-9]+)<br>$"
                                                    : "^<i>[0-9.]{12}</i> <font color=red>(t[0-3] n[0-9]+)</font><br>$");
            for (int s = 0; s < 240; ++s) {
                const QString line = QString::fromLatin1(stripzeros(slot(log, ring, s)));
                const QRegularExpressionMatch match = form.match(line);
                QVERIFY2(match.hasMatch(), qPrintable(line));
                seen.insert(match.captured(1));
            }
            QCOMPARE(seen.size(), 240);
            QCOMPARE(slot(log, ring, 240), marker());
        }
    }
};

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
