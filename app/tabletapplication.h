#pragma once
// The application object. Pen proximity events reach the application and not
// a widget, and a desktop file-open request is an application event too: both
// leave here as signals.
#include <QApplication>
#include <QString>

class QTabletEvent;

class TabletApplication : public QApplication
{
    Q_OBJECT
public:
    TabletApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
    // How many events this thread is delivering at once: above 1, an event
    // arrived in a nested loop (a question, a progress loop) and whatever
    // waits beneath it still holds its objects.
    static int deliverydepth();

signals:
    // The event is valid only during the emission: connect directly.
    void tabletEvent(QTabletEvent* event);
    void sessionimport(QString import);

protected:
    bool event(QEvent* event) override;
};
