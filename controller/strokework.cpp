#include "strokework.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QMouseEvent>
#include <QThread>
#include <QVariant>
#include <QWidget>
#include <memory>

namespace {

// Well below what a user notices as a window that stops answering.
constexpr int quickms = 25;

class InputHold : public QObject
{
public:
    InputHold(QWidget* views, QObject* escape) : views(views), escape(escape)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~InputHold() override { QCoreApplication::instance()->removeEventFilter(this); }

    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        if (event->type() == QEvent::Shortcut)
            return receiver != escape;
        auto* widget = qobject_cast<QWidget*>(receiver);
        // Window-level events are passed on to a widget, judged there.
        if (!widget)
            return false;
        const QEvent::Type t = event->type();
        const bool dropping = t == QEvent::DragEnter || t == QEvent::DragMove || t == QEvent::Drop;
        const bool closing = t == QEvent::Close && event->spontaneous();
        if (!event->isInputEvent() && !dropping && !closing)
            return false;
        if (!views || !(widget == views || views->isAncestorOf(widget)))
            return true;
        switch (t) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
            return static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton;
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
            return false;
        default:
            return true; // menus, double clicks, drops
        }
    }

private:
    QWidget* views;
    QObject* escape;
};

} // namespace

namespace strokework {

void run(const std::function<void()>& work, QWidget* views, QObject* escape)
{
    QEventLoop loop;
    const std::unique_ptr<QThread> worker(QThread::create(work));
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    worker->start();
    // A quick step holds the GUI thread for the moment it takes, with
    // nothing run in between, as when the tool ran there.
    if (worker->wait(QDeadlineTimer(quickms)))
        return;
    const InputHold hold(views, escape);
    loop.exec();
    worker->wait();
}

bool offguithread(const QObject* tool)
{
    return tool && tool->property("offguithread").toBool();
}

} // namespace strokework
