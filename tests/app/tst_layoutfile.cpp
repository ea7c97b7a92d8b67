#include <QDockWidget>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include "app/layoutfile.h"
#include "app/qtoolbarext.h"
#include "windowrig.h"

// Window layout files: the byte format, and a real window saved and restored.
class TestLayoutFile : public QObject
{
    Q_OBJECT

private slots:
    void init() { QSettings().clear(); }
    void format();
    void choosersAndCancel();
    void roundTrip();
    void badFilesChangeNothing();

private:
    // The window shown at a known place and size.
    static void showwindow(WindowRig& w)
    {
        w->move(40, 30);
        w->resize(1000, 700);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get(), 30000));
        QTRY_COMPARE_WITH_TIMEOUT(w->size(), QSize(1000, 700), 30000);
    }
    static void writefile(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QTemporaryDir dir;
};

void TestLayoutFile::format()
{
    QCOMPARE(encodelayout("abc", "state"), QByteArray("\x03" "abcstate"));
    const QByteArray longest(255, 'g');
    const QByteArray bytes = encodelayout(longest, "s");
    QCOMPARE(bytes.size(), 257);
    QCOMPARE(quint8(bytes.at(0)), quint8(255));
    // One byte more would wrap the length and the file would not load back.
    QVERIFY(encodelayout(QByteArray(256, 'g'), "s").isEmpty());

    QByteArray geometry, state;
    QVERIFY(decodelayout(bytes, &geometry, &state));
    QCOMPARE(geometry, longest);
    QCOMPARE(state, QByteArray("s"));
    QVERIFY(!decodelayout(QByteArray(), &geometry, &state));
    QVERIFY(!decodelayout("\x05" "ab", &geometry, &state)); // fewer bytes than announced
    QVERIFY(!decodelayout("\x02" "ab", &geometry, &state)); // no state
}

void TestLayoutFile::choosersAndCancel()
{
    WindowRig w;
    const QPoint before = w->pos();
    w->on_savelayout();
    w->on_loadlayout();
    QCOMPARE(w.filerequests.size(), 2);
    const FileRequest save = w.filerequests.at(0), load = w.filerequests.at(1);
    QCOMPARE(save.kind, FileRequest::Save);
    QCOMPARE(save.caption, QString("Save Layout"));
    QCOMPARE(save.path, QString("default.kvl"));
    QCOMPARE(save.filter, QString("Korvane Layout (*.kvl)"));
    QCOMPARE(save.parent, w.window.get());
    QCOMPARE(load.kind, FileRequest::Open);
    QCOMPARE(load.caption, QString("Load Layout"));
    QCOMPARE(load.filter, QString("Korvane Layout (*.kvl)"));
    QVERIFY(!QFile::exists("default.kvl"));
    QCOMPARE(w->pos(), before);
}

void TestLayoutFile::roundTrip()
{
    WindowRig w;
    showwindow(w);
    const QPoint savedpos = w->pos();

    w.fileanswer = dir.filePath("mine.kvl");
    w->on_savelayout();
    QFile saved(w.fileanswer);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    const QByteArray geometry = w->saveGeometry();
    QCOMPARE(quint8(bytes.at(0)), quint8(geometry.size()));
    QCOMPARE(bytes.mid(1, geometry.size()), geometry);
    QCOMPARE(bytes.mid(1 + geometry.size()), w->saveState(0));

    w->move(300, 200);
    w->resize(850, 560);
    w->historydock->hide();
    w->editbar->hide();
    QTRY_COMPARE_WITH_TIMEOUT(w->size(), QSize(850, 560), 30000);
    w->on_loadlayout();
    QTRY_COMPARE_WITH_TIMEOUT(w->size(), QSize(1000, 700), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(w->pos(), savedpos, 30000);
    QVERIFY(w->historydock->isVisible());
    QVERIFY(w->editbar->isVisible());
    // The bar is back in its row, to the right of the File bar.
    QCOMPARE(w->toolBarArea(w->editbar), Qt::TopToolBarArea);
    QVERIFY(w->editbar->x() > w->filebar->x());
    QCOMPARE(w->editbar->y(), w->filebar->y());

    // A failed save (no such folder) writes nothing and keeps the window.
    w.fileanswer = dir.filePath("missing/folder/x.kvl");
    w->on_savelayout();
    QVERIFY(!QFile::exists(w.fileanswer));
}

void TestLayoutFile::badFilesChangeNothing()
{
    WindowRig w;
    showwindow(w);
    const QByteArray geometry = w->saveGeometry();
    const QByteArray state = w->saveState(0);
    w->resize(850, 560);
    w->historydock->hide();
    QTRY_COMPARE_WITH_TIMEOUT(w->size(), QSize(850, 560), 30000);

    const QString path = dir.filePath("bad.kvl");
    w.fileanswer = path;
    const QList<QByteArray> bad = {
        QByteArray(),
        char(geometry.size()) + geometry,                       // no state
        char(200) + geometry.left(10),                          // announces more than it holds
        QByteArray("\x04" "abcd") + state,                      // a geometry the toolkit refuses
        QByteArray(int(layoutfilelimit) + 1, '\x10'),           // far too large to be a layout
    };
    for (const QByteArray& bytes : bad) {
        writefile(path, bytes);
        w.asked.clear();
        w->on_loadlayout();
        QCOMPARE(w->size(), QSize(850, 560));
        QVERIFY(w->historydock->isHidden());
        // Said, not only logged.
        QCOMPARE(w.asked.size(), 1);
        QCOMPARE(w.asked.at(0).title, QString("Load Layout"));
        QVERIFY2(w.asked.at(0).text.startsWith(path.toHtmlEscaped()), qPrintable(w.asked.at(0).text));
    }

    // A state the toolkit refuses leaves the geometry that was restored first.
    writefile(path, char(geometry.size()) + geometry + QByteArray("not a window state"));
    w->on_loadlayout();
    QTRY_COMPARE_WITH_TIMEOUT(w->size(), QSize(1000, 700), 30000);
    QVERIFY(w->historydock->isHidden());
}

QTEST_MAIN(TestLayoutFile)
#include "tst_layoutfile.moc"
