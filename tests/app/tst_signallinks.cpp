#include <QAction>
#include <QSignalSpy>
#include <QTest>

#include "app/signallinks.h"

class Receiver : public QObject
{
    Q_OBJECT
public:
    QStringList calls;
signals:
    void relayed();
public slots:
    void first() { calls << "first"; }
    void second() { calls << "second"; }
    void value(int v) { calls << QString::number(v); }
};

class TestSignalLinks : public QObject
{
    Q_OBJECT

private slots:
    void connectsInOrderAndReportsTheRest();
};

void TestSignalLinks::connectsInOrderAndReportsTheRest()
{
    QAction action("&New Project");
    QAction other("Other");
    other.setObjectName("otheraction");
    Receiver receiver;
    SignalLinks links;
    links.add(&action, "triggered()", &receiver, "Receiver", "second()");
    links.add(&action, "triggered()", &receiver, "Receiver", "first()");
    links.add(&action, "triggered( )", &receiver, "Receiver", "relayed()"); // signal to signal
    links.add(&action, "triggered()", &receiver, "Receiver", "notyet()");
    links.add(&other, "toggled(bool)", nullptr, "Advanced Settings dialog", "show()");
    links.add(&other, "nosuchsignal()", &receiver, "Receiver", "first()");
    QCOMPARE(links.connectall(), 3);
    QCOMPARE(links.pending(),
             (QStringList{"\"&New Project\" triggered() -> Receiver::notyet()",
                          "otheraction toggled(bool) -> Advanced Settings dialog::show()",
                          "otheraction nosuchsignal() -> Receiver::first()"}));

    QSignalSpy relayed(&receiver, &Receiver::relayed);
    action.trigger();
    QCOMPARE(receiver.calls, (QStringList{"second", "first"}));
    QCOMPARE(relayed.count(), 1);

    // A second pass connects nothing twice.
    QCOMPARE(links.connectall(), 3);
    action.trigger();
    QCOMPARE(receiver.calls.size(), 4);
}

QTEST_MAIN(TestSignalLinks)
#include "tst_signallinks.moc"
