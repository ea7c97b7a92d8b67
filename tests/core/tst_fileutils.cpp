#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>

#include "core/checksum.h"
#include "core/fileutils.h"
#include "core/globals.h"
#include "core/log.h"
#include "testsupport.h"

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// Routes Qt's messages to a handler for the guard's life and then gives the
// test framework its own handler back.
struct MessageGuard {
    QtMessageHandler previous;
    explicit MessageGuard(QtMessageHandler handler) : previous(qInstallMessageHandler(handler)) {}
    ~MessageGuard() { qInstallMessageHandler(previous); }
};

bool writefile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray readfile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestFileUtils : public QObject {
    Q_OBJECT

    QTemporaryDir temp;

    QString path(const QString& relative) const { return QDir(temp.path()).absoluteFilePath(relative); }

private slots:
    void initTestCase()
    {
        kvtestfolders();
        QVERIFY(temp.isValid());
    }

    // The kept files of earlier runs carry these sums: any start, length and
    // continuation gives the CRC-32 a bit at a time gives.
    void checksumsAreCrc32()
    {
        QCOMPARE(checksum("123456789", 9), 0xCBF43926u);
        QCOMPARE(checksum("", 0), 0u);
        QByteArray bytes(300, '\0');
        quint32 seed = 1;
        for (char& b : bytes)
            b = char((seed = seed * 1103515245u + 12345u) >> 16);
        const auto bitwise = [&](int from, int to) {
            quint32 c = ~0u;
            for (int i = from; i < to; ++i) {
                c ^= quint8(bytes[i]);
                for (int k = 0; k < 8; ++k)
                    c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            return ~c;
        };
        for (int from = 0; from < 9; ++from)
            for (int to = from; to <= bytes.size(); to += 7) {
                const int cut = (from + to) / 2;
                QCOMPARE(checksum(bytes.constData() + from, to - from), bitwise(from, to));
                QCOMPARE(checksum(bytes.constData() + cut, to - cut, checksum(bytes.constData() + from, cut - from)),
                         bitwise(from, to));
            }
    }

    void listfilesorder()
    {
        const QString top = path("list");
        QVERIFY(writefile(top + "/b.txt", "b"));
        QVERIFY(writefile(top + "/a.txt", "a"));
        QVERIFY(writefile(top + "/z/c.txt", "c"));
        QVERIFY(writefile(top + "/m/y/d.txt", "d"));
        QVERIFY(writefile(top + "/m/e.txt", "e"));
        QVERIFY(writefile(top + "/.hidden", "h"));
        QDir().mkpath(top + "/empty");

        QStringList list{"kept"};
        listfiles(top, list);
        const QString abs = QFileInfo(top).absoluteFilePath();
        QCOMPARE(list, (QStringList{"kept", abs + "/m/y/d.txt", abs + "/m/e.txt", abs + "/z/c.txt", abs + "/a.txt",
                                    abs + "/b.txt"}));

        QStringList none;
        listfiles(path("nowhere"), none);
        listfiles(top + "/empty", none);
        QVERIFY(none.isEmpty());
    }

    void listfoldersorder()
    {
        const QString top = path("folders");
        QDir().mkpath(top + "/b/x");
        QDir().mkpath(top + "/a");
        QVERIFY(writefile(top + "/a/file.txt", "f"));

        QStringList list;
        listfolders(top, list);
        QCOMPARE(list, (QStringList{top, top + "/a", top + "/b", top + "/b/x"}));

        QStringList alone;
        listfolders(top + "/a", alone);
        QCOMPARE(alone, QStringList{top + "/a"});

        QStringList missing;
        listfolders(path("nowhere"), missing);
        QCOMPARE(missing, QStringList{path("nowhere")});
    }

    void symlinkloopsend()
    {
        const QString top = path("loop");
        QVERIFY(writefile(top + "/inner/f.txt", "f"));
        QVERIFY(QFile::link(top, top + "/inner/up"));       // back to the top
        QVERIFY(QFile::link(top + "/inner", top + "/self")); // a second way into inner

        QStringList files;
        listfiles(top, files);
        QCOMPARE(files.size(), 1);
        QVERIFY(files.first().endsWith("/f.txt"));

        QStringList folders;
        listfolders(top, folders);
        QCOMPARE(folders.size(), 2); // the top and inner, by whichever name came first
        QCOMPARE(folders.first(), top);

        QVERIFY(copyfolder(top, path("loopcopy")));
        QCOMPARE(readfile(path("loopcopy/inner/f.txt")), QByteArray("f"));
    }

    void copyfoldercopiesall()
    {
        const QString from = path("source");
        QVERIFY(writefile(from + "/one.txt", "1"));
        QVERIFY(writefile(from + "/.dot", "hidden"));
        QVERIFY(writefile(from + "/sub/two.txt", "22"));
        QVERIFY(writefile(from + "/sub/deeper/three.txt", "333"));
        QDir().mkpath(from + "/emptysub");

        const QString to = path("target");
        QVERIFY(copyfolder(from, to));
        QCOMPARE(readfile(to + "/one.txt"), QByteArray("1"));
        QCOMPARE(readfile(to + "/.dot"), QByteArray("hidden"));
        QCOMPARE(readfile(to + "/sub/two.txt"), QByteArray("22"));
        QCOMPARE(readfile(to + "/sub/deeper/three.txt"), QByteArray("333"));
        QVERIFY(QFileInfo(to + "/emptysub").isDir());
        QCOMPARE(readfile(from + "/one.txt"), QByteArray("1"));

        QVERIFY(!copyfolder(path("nowhere"), path("target2")));
        QVERIFY(!QFileInfo::exists(path("target2")));
        QVERIFY(!copyfolder(from, path("no/parent/target"))); // mkdir is not recursive
    }

    void copyfolderrefusesexistingfile()
    {
        const QString from = path("refuse");
        QVERIFY(writefile(from + "/a.txt", "new"));
        const QString to = path("refusetarget");
        QVERIFY(writefile(to + "/a.txt", "mine"));
        QVERIFY(!copyfolder(from, to));
        QCOMPARE(readfile(to + "/a.txt"), QByteArray("mine"));

        // The failure in a sub-folder is reported too.
        QVERIFY(writefile(path("refuse2/sub/b.txt"), "new"));
        QVERIFY(writefile(path("refuse2target/sub/b.txt"), "mine"));
        QVERIFY(!copyfolder(path("refuse2"), path("refuse2target")));
        QCOMPARE(readfile(path("refuse2target/sub/b.txt")), QByteArray("mine"));
    }

    void copyfolderintoitself()
    {
        const QString from = path("nest");
        QVERIFY(writefile(from + "/a.txt", "a"));
        QVERIFY(writefile(from + "/s/b.txt", "b"));
        QVERIFY(copyfolder(from, from + "/copy"));
        QCOMPARE(readfile(from + "/copy/a.txt"), QByteArray("a"));
        QCOMPARE(readfile(from + "/copy/s/b.txt"), QByteArray("b"));
        QVERIFY(!QFileInfo::exists(from + "/copy/copy"));
    }

    void transparencyfrommask()
    {
        const QImage mask(":/icons/Transparency.png");
        QCOMPARE(mask.size(), QSize(32, 32));
        int lowest = 255, highest = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                lowest = qMin(lowest, qGray(mask.pixel(x, y)));
                highest = qMax(highest, qGray(mask.pixel(x, y)));
            }
        QCOMPARE(lowest, 0);
        QCOMPARE(highest, 255);

        QPixmap white(32, 32);
        white.fill(Qt::white);
        const QPixmap result = transparencyicon(white);
        const QImage image = result.toImage().convertToFormat(QImage::Format_ARGB32);
        const QImage changed = white.toImage().convertToFormat(QImage::Format_ARGB32);
        QVERIFY(result.hasAlphaChannel());
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const int alpha = qGray(mask.pixel(x, y));
                QCOMPARE(qAlpha(image.pixel(x, y)), alpha);
                QCOMPARE(qAlpha(changed.pixel(x, y)), alpha); // the argument changed too
                if (alpha > 0)
                    QCOMPARE(qRed(image.pixel(x, y)), 255);
            }

        // The path form: an opaque coloured picture keeps its colour where the mask is opaque.
        QImage green(32, 32, QImage::Format_RGB32);
        green.fill(QColor(0, 200, 0));
        const QString file = path("green.png");
        QVERIFY(green.save(file));
        const QImage loaded = transparencyicon(file).toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(loaded.size(), QSize(32, 32));
        QCOMPARE(qAlpha(loaded.pixel(0, 0)), qGray(mask.pixel(0, 0)));
        QCOMPARE(loaded.pixel(16, 16), qRgba(0, 200, 0, 255));

        QVERIFY(transparencyicon(path("missing.png")).isNull());
    }

    void othersizesstayopaque()
    {
        logspath = path("logs");
        QDir().mkpath(logspath);
        sessionid = "2031.02.02-00.00.00.000";
        QVERIFY(loginit(1));
        QPixmap big(48, 48);
        big.fill(Qt::red);
        QPixmap result;
        {
            MessageGuard guard(quiet);
            result = transparencyicon(big);
        }
        QCOMPARE(result.size(), QSize(48, 48));
        QVERIFY(!result.toImage().hasAlphaChannel());
        QCOMPARE(result.toImage().pixel(0, 0), qRgb(255, 0, 0));

        QFile log(logfilepath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains("48x48"));
    }
};

QTEST_MAIN(TestFileUtils)
#include "tst_fileutils.moc"
