#include <QFileOpenEvent>
#include <QPointingDevice>
#include <QSignalSpy>
#include <QTabletEvent>
#include <QTest>

#include "app/tabletapplication.h"

class TestTabletApplication : public QObject
{
    Q_OBJECT

private slots:
    void proximityGoesOutAsACopy();
    void fileOpenBecomesAnImport();
};

void TestTabletApplication::proximityGoesOutAsACopy()
{
    auto* app = static_cast<TabletApplication*>(qApp);
    const QPointingDevice* pen = QPointingDevice::primaryPointingDevice();
    QTabletEvent enter(QEvent::TabletEnterProximity, pen, QPointF(3, 4), QPointF(3, 4), 0.5, 1, 2, 0, 0, 0,
                       Qt::NoModifier, Qt::NoButton, Qt::NoButton);
    QList<QEvent::Type> types;
    QList<const void*> seen;
    QList<QPointF> positions;
    connect(app, &TabletApplication::tabletEvent, this,
            [&](QTabletEvent* e) {
                types << e->type();
                seen << e;
                positions << e->position();
            },
            Qt::DirectConnection);
    QApplication::sendEvent(app, &enter);
    QTabletEvent leave(QEvent::TabletLeaveProximity, pen, QPointF(), QPointF(), 0, 0, 0, 0, 0, 0, Qt::NoModifier,
                       Qt::NoButton, Qt::NoButton);
    QApplication::sendEvent(app, &leave);
    QCOMPARE(types, (QList<QEvent::Type>{QEvent::TabletEnterProximity, QEvent::TabletLeaveProximity}));
    QVERIFY(seen.at(0) != &enter); // receivers get the application's own copy
    QCOMPARE(positions.at(0), QPointF(3, 4));

    // Other tablet events are not proximity: nothing is sent.
    QTabletEvent move(QEvent::TabletMove, pen, QPointF(1, 1), QPointF(1, 1), 0.3, 0, 0, 0, 0, 0, Qt::NoModifier,
                      Qt::NoButton, Qt::NoButton);
    QApplication::sendEvent(app, &move);
    QCOMPARE(types.size(), 2);
}

void TestTabletApplication::fileOpenBecomesAnImport()
{
    auto* app = static_cast<TabletApplication*>(qApp);
    QSignalSpy spy(app, &TabletApplication::sessionimport);
    QFileOpenEvent open(QStringLiteral("/tmp/a file.wav"));
    QApplication::sendEvent(app, &open);
    QFileOpenEvent empty(QString{});
    QApplication::sendEvent(app, &empty);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("/tmp/a file.wav"));
    QCOMPARE(spy.at(1).at(0).toString(), QString());
}

int main(int argc, char** argv)
{
    TabletApplication app(argc, argv);
    TestTabletApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_tabletapplication.moc"
