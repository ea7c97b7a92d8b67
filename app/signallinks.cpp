#include "signallinks.h"

#include <QMetaMethod>
#include <QMetaObject>

void SignalLinks::add(QObject* sender, const char* signal, QObject* receiver, const QString& receivername,
                      const char* method, Qt::ConnectionType type)
{
    SignalLink link;
    link.sender = sender;
    link.signal = QMetaObject::normalizedSignature(signal);
    link.receiver = receiver;
    link.receivername = receivername;
    link.method = QMetaObject::normalizedSignature(method);
    link.type = type;
    table.append(link);
}

int SignalLinks::connectall()
{
    int left = 0;
    for (SignalLink& link : table) {
        if (link.connected)
            continue;
        if (!link.sender || !link.receiver) {
            ++left;
            continue;
        }
        const QMetaObject* meta = link.receiver->metaObject();
        const int index = meta->indexOfMethod(link.method.constData());
        const int signalindex = link.sender->metaObject()->indexOfSignal(link.signal.constData());
        if (index < 0 || signalindex < 0) {
            ++left;
            continue;
        }
        const QMetaMethod target = meta->method(index);
        const QMetaMethod source = link.sender->metaObject()->method(signalindex);
        link.connected = bool(QObject::connect(link.sender, source, link.receiver, target, link.type));
        if (!link.connected)
            ++left;
    }
    return left;
}

QString SignalLinks::describe(const SignalLink& link)
{
    QString from = link.sender ? link.sender->objectName() : QStringLiteral("(gone)");
    // Actions and buttons are best known by their text.
    if (from.isEmpty() && link.sender && link.sender->property("text").isValid())
        from = QStringLiteral("\"%1\"").arg(link.sender->property("text").toString());
    if (from.isEmpty() && link.sender)
        from = QString::fromLatin1(link.sender->metaObject()->className());
    return QStringLiteral("%1 %2 -> %3::%4")
        .arg(from, QString::fromLatin1(link.signal), link.receivername, QString::fromLatin1(link.method));
}

QStringList SignalLinks::pending() const
{
    QStringList list;
    for (const SignalLink& link : table)
        if (!link.connected)
            list << describe(link);
    return list;
}
