#pragma once
// What the host does for its plugins beyond the data block: the program's
// one wait, which keeps the window answering while long work runs, shows
// after a moment a window with the work's progress and Cancel, and lets
// input reach that window only.
//
// A plugin that wants the services implements HostUser besides its own
// interface and lists it in Q_INTERFACES; the host hands its services to
// every plugin object that answers HostUser's identifier, on the window's
// thread, before it calls initialize. They live as long as the plugins. A
// plugin given none (a host that offers none) does its work in place.
//
// These classes are shared by pointer between separately built host and
// plugins: their member order and types must never change; new services
// come as a new interface.
#include <QEventLoop>
#include <QString>
#include <QTimer>
#include <QtPlugin>

#include <functional>

// How a job ended.
enum class WorkEnd { Done, Failed, Cancelled };

// Work that runs on a thread of its own: it calls going(percent) now and then
// (below 0: how far is not said) and ends soon once that returns false; its
// result says whether it did what it should.
using HostWork = std::function<bool(const std::function<bool(int percent)>& going)>;

// Called on the window's thread only.
class HostServices
{
public:
    virtual ~HostServices() {}
    // Returns once busy() turns false, asking it after every event that the
    // window's thread handles meanwhile and at least every 50 ms. After a
    // moment a window shows `text` under `title` (empty: the host's own
    // title) with the progress reported and Cancel; Cancel or Escape there
    // ends the wait, and then the result is true. A wait begun during
    // another shares its window.
    virtual bool waitwhile(const QString& title, const QString& text, const std::function<bool()>& busy) = 0;
    // Runs `work` on a thread of its own under such a wait; Cancel makes
    // going() return false, and the result is then Cancelled.
    virtual WorkEnd runwork(const QString& title, const QString& text, const HostWork& work) = 0;
    // During a wait: how far it has come (0 to 100; the bar only grows) and
    // what its window says from now on.
    virtual void waitprogress(int percent) = 0;
    virtual void waittext(const QString& text) = 0;
};

class HostUser
{
public:
    virtual ~HostUser() {}
    virtual void sethost(HostServices* host) = 0;
};

// For plugins, the services or, without a host that offers them, the work
// done in place: without a window, progress or Cancel.
inline WorkEnd hostrunwork(HostServices* host, const QString& title, const QString& text, const HostWork& work)
{
    if (host)
        return host->runwork(title, text, work);
    return work([](int) { return true; }) ? WorkEnd::Done : WorkEnd::Failed;
}
inline bool hostwaitwhile(HostServices* host, const QString& title, const QString& text,
                          const std::function<bool()>& busy)
{
    if (host)
        return host->waitwhile(title, text, busy);
    QEventLoop loop;
    QTimer tick;
    tick.start(50);
    while (busy())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    return false;
}
inline void hostprogress(HostServices* host, int percent)
{
    if (host)
        host->waitprogress(percent);
}
inline void hosttext(HostServices* host, const QString& text)
{
    if (host)
        host->waittext(text);
}

Q_DECLARE_INTERFACE(HostServices, "com.MURROWGATE.Korvane.HostServices/1.0")
Q_DECLARE_INTERFACE(HostUser, "com.MURROWGATE.Korvane.Plugin.HostUser/1.0")
