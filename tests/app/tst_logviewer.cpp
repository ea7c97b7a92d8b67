#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

#include "app/logviewer.h"
#include "windowrig.h"

// The log viewer on a logs folder with older logs, other files and the running
// session's log.
class TestLogViewer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void listAndLayout();
    void refreshShowsNewLines();
    void otherLogsWithoutZeroBytes();
    void saveCopies();

private:
    static void writefile(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    std::unique_ptr<WindowRig> w;
};

void TestLogViewer::initTestCase()
{
    kvtestfolders();
    const QByteArray zeros(3, '\0');
    writefile(logspath + "/2020.01.01-00.00.00.000.htm", QByteArray("<b>old</b>") + zeros + " session" + zeros);
    writefile(logspath + "/sub/2019.05.05-00.00.00.000.htm", "in a sub-folder");
    writefile(logspath + "/sub/deeper/x.htm", "deeper");
    writefile(logspath + "/notes.txt", "not a log");
    writefile(logspath + "/LOUD.HTM", "upper case");
    w = std::make_unique<WindowRig>();
}

void TestLogViewer::listAndLayout()
{
    QVERIFY((*w)->logviewer->isModal() && (*w)->logviewer->isHidden());
    QCOMPARE((*w)->logviewer->windowTitle(), "Log Output (current session: " + sessionid + ")");

    QStringList names, paths;
    for (int i = 0; i < (*w)->loglist->count(); ++i) {
        names << (*w)->loglist->itemText(i);
        paths << (*w)->loglist->itemData(i).toString();
    }
    // Sub-folders first at each level; only names ending in ".htm".
    QCOMPARE(names, (QStringList{"x", "2019.05.05-00.00.00.000", "2020.01.01-00.00.00.000", sessionid}));
    QCOMPARE(paths.last(), logfilepath());
    QCOMPARE((*w)->loglist->currentIndex(), 3);
    QVERIFY((*w)->logtext->toPlainText().isEmpty()); // nothing read before the viewer is shown
}

void TestLogViewer::refreshShowsNewLines()
{
    (*w)->logact->trigger();
    QVERIFY((*w)->logviewer->isVisible());
    QVERIFY((*w)->logtext->toPlainText().contains("initialization finished"));
    logmessage("a line written while the viewer is open");
    QVERIFY(!(*w)->logtext->toPlainText().contains("while the viewer is open"));
    (*w)->logrefreshbutton->click();
    QVERIFY((*w)->logtext->toPlainText().contains("a line written while the viewer is open"));
    (*w)->logviewer->hide();
}

void TestLogViewer::otherLogsWithoutZeroBytes()
{
    QCOMPARE(readlog(logspath + "/2020.01.01-00.00.00.000.htm"), QByteArray("<b>old</b> session"));
    QVERIFY(readlog(logspath + "/none.htm").isEmpty());
    (*w)->loglist->setCurrentIndex(2);
    QCOMPARE((*w)->logtext->toPlainText(), QString("old session"));
    (*w)->showlog(); // the choice survives between showings
    QCOMPARE((*w)->loglist->currentIndex(), 2);
    QCOMPARE((*w)->logtext->toPlainText(), QString("old session"));
    (*w)->logviewer->hide();
}

void TestLogViewer::saveCopies()
{
    (*w)->loglist->setCurrentIndex(3);
    QTemporaryDir dir;
    const QString copy = dir.filePath("copy.htm");
    w->fileanswer = "";
    (*w)->logsavebutton->click();
    QCOMPARE(w->filerequests.last().caption, QString("Save Log"));
    QCOMPARE(w->filerequests.last().path, sessionid);
    QCOMPARE(w->filerequests.last().filter, QString("HTML Log (*.htm)"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());

    w->fileanswer = copy;
    (*w)->logsavebutton->click();
    QFile saved(copy);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    QVERIFY(!bytes.contains('\0'));
    QVERIFY(bytes.contains("initialization finished"));
    QVERIFY(bytes.size() < QFileInfo(logfilepath()).size());

    // Saving over the running log would cut the mapped file short: it is refused.
    w->fileanswer = logfilepath();
    (*w)->logsavebutton->click();
    QCOMPARE(QFileInfo(logfilepath()).size(), qint64(230400));
    logmessage("the log goes on");
    QVERIFY(kvlogtext().contains("the log goes on"));
}

QTEST_MAIN(TestLogViewer)
#include "tst_logviewer.moc"
