// The wheel over the controller's scroll bars becomes a signal and never
// moves the bar.
#include <QSignalSpy>
#include <QWheelEvent>
#include <QtTest>

#include "app/qscrollbarext.h"

class TestScrollBarExt : public QObject
{
    Q_OBJECT
private slots:
    void wheel_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QPoint>("angle");
        QTest::addColumn<int>("delta");
        QTest::newRow("vertical bar, away from the user") << int(Qt::Vertical) << QPoint(0, 120) << 120;
        QTest::newRow("vertical bar, towards the user") << int(Qt::Vertical) << QPoint(0, -240) << -240;
        QTest::newRow("horizontal bar") << int(Qt::Horizontal) << QPoint(0, 120) << 120;
        QTest::newRow("tilt wheel") << int(Qt::Horizontal) << QPoint(-120, 0) << -120;
    }

    void wheel()
    {
        QFETCH(int, orientation);
        QFETCH(QPoint, angle);
        QFETCH(int, delta);
        QScrollBarExt bar(static_cast<Qt::Orientation>(orientation), nullptr);
        bar.setRange(0, 100);
        bar.setValue(50);
        QSignalSpy wheel(&bar, &QScrollBarExt::wheel);
        QSignalSpy moved(&bar, &QScrollBar::valueChanged);
        const QPointF at(5, 5);
        QWheelEvent event(at, bar.mapToGlobal(at), QPoint(), angle, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QVERIFY(QApplication::sendEvent(&bar, &event));
        QCOMPARE(wheel.count(), 1);
        QCOMPARE(wheel.at(0).at(0).toInt(), delta);
        QCOMPARE(bar.value(), 50);
        QCOMPARE(moved.count(), 0);
    }

    void otherEventsStillReachTheBar()
    {
        QScrollBarExt bar(Qt::Horizontal, nullptr);
        bar.setRange(0, 100);
        bar.resize(200, 16);
        QSignalSpy moved(&bar, &QScrollBar::valueChanged);
        QTest::keyClick(&bar, Qt::Key_End);
        QCOMPARE(bar.value(), 100);
        QCOMPARE(moved.count(), 1);
    }
};

QTEST_MAIN(TestScrollBarExt)
#include "tst_qscrollbarext.moc"
