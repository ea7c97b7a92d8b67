#pragma once
// The shell's wiring as data: every (sender, signal) -> (receiver, slot) pair
// of the main window is listed in one table and connected by one function.
// A pair whose receiver does not exist yet, or does not have the method, stays
// unconnected and is reported, so that nothing is wired to a stand-in.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

struct SignalLink
{
    QPointer<QObject> sender;
    QByteArray signal; // "triggered()"
    QPointer<QObject> receiver;
    QString receivername; // for the report when the receiver is missing
    QByteArray method;    // a slot or a signal of the receiver: "Undo()"
    Qt::ConnectionType type = Qt::AutoConnection;
    bool connected = false;
};

class SignalLinks
{
public:
    // Adds a pair; the connection is made by connectall, in the order added.
    void add(QObject* sender, const char* signal, QObject* receiver, const QString& receivername,
             const char* method, Qt::ConnectionType type = Qt::AutoConnection);
    // Connects every pair not yet connected whose receiver has the method.
    // Returns the number of pairs that stay unconnected.
    int connectall();

    const QList<SignalLink>& links() const { return table; }
    // "sender: signal -> Receiver::method" for every unconnected pair.
    QStringList pending() const;
    static QString describe(const SignalLink& link);

private:
    QList<SignalLink> table;
};
