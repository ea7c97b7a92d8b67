#include "tabletapplication.h"

#include <QFileOpenEvent>
#include <QTabletEvent>
#include <memory>

namespace {
thread_local int depth = 0;
}

TabletApplication::TabletApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TabletApplication::notify(QObject* receiver, QEvent* event)
{
    ++depth;
    const bool result = QApplication::notify(receiver, event);
    --depth;
    return result;
}

int TabletApplication::deliverydepth()
{
    return depth;
}

bool TabletApplication::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::TabletEnterProximity:
    case QEvent::TabletLeaveProximity: {
        // Receivers may keep nothing of it: the copy goes away after the emission.
        std::unique_ptr<QTabletEvent> copy(static_cast<QTabletEvent*>(event)->clone());
        emit tabletEvent(copy.get());
        break;
    }
    case QEvent::FileOpen:
        emit sessionimport(static_cast<QFileOpenEvent*>(event)->file());
        break;
    default:
        break;
    }
    return QApplication::event(event);
}
