// The panels' list widget: a press on no row is announced, a press on a row
// is not, and dropped files arrive as their URLs.
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidgetItem>

#include "panels/qtreewidgetext.h"

class TestQTreeWidgetExt : public QObject
{
    Q_OBJECT
private slots:
    void pressOnEmptyAreaOnly()
    {
        QTreeWidgetExt tree;
        tree.setColumnCount(1);
        tree.resize(200, 200);
        auto* row = new QTreeWidgetItem(QStringList{QStringLiteral("row")});
        tree.addTopLevelItem(row);
        tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tree, 30000));
        QSignalSpy none(&tree, &QTreeWidgetExt::noItemClicked);

        const QPoint onrow = tree.visualItemRect(row).center();
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, onrow);
        QCOMPARE(none.count(), 0);

        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, QPoint(20, 180));
        QCOMPARE(none.count(), 1);

        // Only the left button drops the current row.
        QTest::mouseClick(tree.viewport(), Qt::RightButton, {}, QPoint(20, 180));
        QCOMPARE(none.count(), 1);
    }

    void dropsCarryTheirUrls()
    {
        QTreeWidgetExt tree;
        QSignalSpy dropped(&tree, &QTreeWidgetExt::dropUrl);
        QMimeData data;
        const QList<QUrl> urls{QUrl::fromLocalFile(QStringLiteral("/tmp/a.wav")),
                               QUrl::fromLocalFile(QStringLiteral("/tmp/b.flac"))};
        data.setUrls(urls);

        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(tree.viewport(), &enter);
        QVERIFY(enter.isAccepted());

        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(tree.viewport(), &drop);
        QCOMPARE(dropped.count(), 1);
        QCOMPARE(dropped.at(0).at(0).value<QList<QUrl>>(), urls);

        QMimeData text;
        text.setText(QStringLiteral("not a file"));
        QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(tree.viewport(), &refused);
        QVERIFY(!refused.isAccepted());
    }
};

QTEST_MAIN(TestQTreeWidgetExt)
#include "tst_qtreewidgetext.moc"
