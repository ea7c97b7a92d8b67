#include <QDialog>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>

#include "app/helpabout.h"
#include "windowrig.h"

// The help pages (addresses handed to the desktop, and the installed pages
// themselves) and the About box.
class TestHelpAbout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCoreApplication::setOrganizationDomain("murrowgate.example");
    }
    void helpAddresses();
    void installedPagesAndTheirLinks();
    void shortcutsPageMatchesTheWindow();
    void aboutBox();

private:
    static QString page(const QString& name)
    {
        QFile file(QStringLiteral(KV_TEST_ROOT) + "/Resources/Doc/" + name);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
};

void TestHelpAbout::helpAddresses()
{
    WindowRig w;
    w->contentact->trigger();
    w->shortcutsact->trigger();
    w->otherdawsact->trigger();
    QCOMPARE(w.opened.size(), 3);
    const QString doc = rootpath + "/Resources/Doc/";
    QCOMPARE(w.opened.at(0), QUrl::fromLocalFile(doc + "index.htm"));
    QCOMPARE(w.opened.at(1), QUrl::fromLocalFile(doc + "shortcuts.htm"));
    QCOMPARE(w.opened.at(2), QUrl::fromLocalFile(doc + "integration.htm"));

    // A root without the pages, and with characters that mean something in an
    // address: the page is still asked for, by its true path, and nothing is said.
    rootpath = QDir::tempPath() + "/Kor vane #2?x";
    w->showhelp();
    QCOMPARE(w.opened.size(), 4);
    QCOMPARE(w.opened.last().scheme(), QString("file"));
    QCOMPARE(w.opened.last().toLocalFile(), rootpath + "/Resources/Doc/index.htm");
    QVERIFY(w.asked.isEmpty());

    // No program to show it: a box says so and names the page.
    seturlopener([&w](const QUrl& url) {
        w.opened << url;
        return false;
    });
    w->shortcutsact->trigger();
    QCOMPARE(w.asked.size(), 1);
    QCOMPARE(w.asked.at(0).title, QString("Help"));
    QCOMPARE(w.asked.at(0).icon, QMessageBox::Warning);
    QVERIFY2(w.asked.at(0).text.contains((rootpath + "/Resources/Doc/shortcuts.htm").toHtmlEscaped()),
             qPrintable(w.asked.at(0).text));
}

void TestHelpAbout::installedPagesAndTheirLinks()
{
    const QRegularExpression href("href=\"([^\"]+)\"");
    for (const char* name : {"index.htm", "shortcuts.htm", "integration.htm", "intro.htm", "quickstart.htm"}) {
        const QString text = page(name);
        QVERIFY2(text.contains("</html>"), name);
        for (auto it = href.globalMatch(text); it.hasNext();) {
            const QString target = it.next().captured(1);
            QVERIFY2(!page(target).isEmpty(), qPrintable(QString(name) + " -> " + target));
        }
    }
    QVERIFY(!QImage(":/stylesheets/logo.png").isNull());
}

void TestHelpAbout::shortcutsPageMatchesTheWindow()
{
    WindowRig w;
    const QString text = page("shortcuts.htm");
    const qsizetype start = text.indexOf("id=\"commands\""), end = text.indexOf("id=\"views\"");
    QVERIFY(start > 0 && end > start);
    const QString commands = text.mid(start, end - start);
    QMap<QString, QString> listed;
    const QRegularExpression row("<tr><td>([^<]+)</td><td>([^<]+)</td></tr>");
    for (auto it = row.globalMatch(commands); it.hasNext();) {
        const auto m = it.next();
        listed.insert(m.captured(1), m.captured(2));
    }
    QVERIFY(listed.size() > 30);
    // Every command with a key is listed with one of its keys, and every listed key is the command's.
    for (QAction* a : w->findChildren<QAction*>()) {
        if (a->shortcuts().isEmpty() || !a->isVisible() || w->toolactions.contains(a))
            continue;
        QString name = a->text();
        name.remove('&');
        QVERIFY2(listed.contains(name), qPrintable(name + " is missing"));
        const QKeySequence key = QKeySequence::fromString(listed.take(name), QKeySequence::PortableText);
        QVERIFY2(a->shortcuts().contains(key), qPrintable(name + ": " + key.toString()));
    }
    QVERIFY2(listed.isEmpty(), qPrintable(QStringList(listed.keys()).join(", ") + " are no commands"));
}

void TestHelpAbout::aboutBox()
{
    WindowRig w;
    w->aboutact->trigger();
    QDialog* about = w->aboutbox;
    QVERIFY(about->isVisible() && about->isModal());
    QCOMPARE(about->windowTitle(), QString("About Korvane"));
    const QList<QLabel*> labels = about->findChildren<QLabel*>();
    QCOMPARE(labels.size(), 2);
    QLabel* header = labels.at(0);
    QCOMPARE(header->text(), aboutheader("1.0", "Murrowgate", "murrowgate.example"));
    // Whatever the identity holds is shown as it is, the version in italics.
    const QString text = aboutheader("2.5 <beta>", "M & Co", "m.example");
    QVERIFY(text.startsWith(
        "<center><img src=':/stylesheets/logo.png' width=128 height=128><br><i>2.5 &lt;beta&gt;</i><br>"));
    QVERIFY(text.endsWith("m.example\"><b>M &amp; Co</b></a></center>"));

    const QString credits = labels.at(1)->text();
    QString missing;
    const QStringList lines = {"<b>Third-Party Components</b><br><br>Developped using ",
                               ">Qt SDK</a> (Qt " + QString::fromLatin1(qVersion()) + ") under the LGPL v3<br>",
                               "This software uses:<br><br>", ">OpenGL</a><br>", ">OpenAL Soft</a> under the LGPL v2<br>",
                               ">Kiss FFT library</a> by ", ">FFmpeg utility</a> by ", ">SoX utility</a> by ",
                               ">Rubber Band utility</a> by "};
    // Only what the program is built with and calls is credited.
    for (const char* absent : {"RtAudio", "MissWatson", "Installbuilder"})
        QVERIFY2(!credits.contains(QLatin1String(absent)), absent);
    qsizetype at = 0;
    for (const QString& line : lines) {
        const qsizetype found = credits.indexOf(line, at);
        QVERIFY2(found >= 0, qPrintable(line));
        at = found + line.size();
    }
    // Links go to the desktop's browser.
    emit labels.at(1)->linkActivated("https://ffmpeg.org");
    QCOMPARE(w.opened, QList<QUrl>{QUrl("https://ffmpeg.org")});
}

QTEST_MAIN(TestHelpAbout)
#include "tst_helpabout.moc"
