#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QSignalSpy>
#include <QTest>

#include "app/qlabelext.h"
#include "app/qtoolbarext.h"
#include "app/qtoolbuttonext.h"

class TestWidgetExt : public QObject
{
    Q_OBJECT

private slots:
    void toolBarReportsClicksBesideItsButtons();
    void toolButtonRightClickNeitherChecksNorTriggers();
    void toolButtonDoubleClickDoesNotToggleTwice();
    void rotatedLabelDrawsFromTheCentre();
};

void TestWidgetExt::toolBarReportsClicksBesideItsButtons()
{
    QMainWindow window;
    auto* bar = new QToolBarExt("File", &window);
    window.addToolBar(bar);
    QAction* action = bar->addAction("one");
    window.resize(400, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window, 30000));
    QSignalSpy spy(bar, &QToolBarExt::noActionClicked);
    QSignalSpy triggered(action, &QAction::triggered);

    QWidget* button = bar->widgetForAction(action);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(triggered.count(), 1);

    const QPoint empty(bar->width() - 5, bar->height() / 2);
    QVERIFY(bar->actionAt(empty) == nullptr);
    QTest::mouseClick(bar, Qt::LeftButton, {}, empty);
    QCOMPARE(spy.count(), 1);
    QTest::mouseClick(bar, Qt::RightButton, {}, empty);
    QCOMPARE(spy.count(), 1);
}

void TestWidgetExt::toolButtonRightClickNeitherChecksNorTriggers()
{
    QWidget parent;
    auto* button = new QToolButtonExt(&parent);
    auto* action = new QAction("mode", &parent);
    action->setCheckable(true);
    button->setDefaultAction(action);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent, 30000));
    QSignalSpy right(button, &QToolButtonExt::mouseRightClicked);
    QSignalSpy triggered(action, &QAction::triggered);

    QTest::mouseClick(button, Qt::RightButton);
    QCOMPARE(right.count(), 1);
    QCOMPARE(triggered.count(), 0);
    QVERIFY(!action->isChecked());

    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(action->isChecked());
    QCOMPARE(right.count(), 1);
}

void TestWidgetExt::toolButtonDoubleClickDoesNotToggleTwice()
{
    QWidget parent;
    auto* button = new QToolButtonExt(&parent);
    button->setCheckable(true);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent, 30000));
    QSignalSpy dbl(button, &QToolButtonExt::mouseDoubleClicked);
    QSignalSpy toggled(button, &QToolButton::toggled);

    // A real double click: press, release, then the double-click event and its release.
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::mouseDClick(button, Qt::LeftButton);
    QCOMPARE(dbl.count(), 1);
    QCOMPARE(toggled.count(), 1);
    QVERIFY(button->isChecked());
}

// Where the text's ink lies relative to the label's centre.
static QRect inkbox(QLabelExt& label)
{
    QImage image(label.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    label.render(&image);
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                box |= QRect(x, y, 1, 1);
    return box;
}

void TestWidgetExt::rotatedLabelDrawsFromTheCentre()
{
    QLabelExt label("MMMM");
    label.setStyleSheet("background: white; color: black;");
    label.resize(120, 120);
    const QPoint centre(60, 60);

    const QRect flat = inkbox(label);
    QVERIFY(!flat.isEmpty());
    QVERIFY2(flat.left() >= centre.x() - 1 && flat.bottom() <= centre.y() + 2, "text runs right from the centre");
    QVERIFY(flat.width() > flat.height());

    label.setrotation(-90);
    QCOMPARE(label.rotation(), -90);
    const QRect up = inkbox(label);
    QVERIFY(!up.isEmpty());
    QVERIFY2(up.bottom() <= centre.y() + 1 && up.right() <= centre.x() + 2, "text runs up from the centre");
    QVERIFY(up.height() > up.width());
}

QTEST_MAIN(TestWidgetExt)
#include "tst_widgetext.moc"
