#pragma once
// The seam for external command-line utilities (sox, rubberband): run one
// program, or several side by side, with argument lists, wait a bounded time
// and report what happened; and the one wait of the window's thread, which
// every long job goes through.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

#include "sdk/hostservices.h"

class QObject;

struct UtilityResult
{
    bool started = false;       // the program could be started
    bool exitednormally = false; // it ended by itself (no crash, no kill)
    int exitcode = -1;
    bool timedout = false;      // still running at the limit; it was killed
    bool cancelled = false;     // the user ended the run; it was killed
    QString output;             // standard output and error, merged

    bool succeeded() const { return started && exitednormally && !timedout && exitcode == 0; }
    // One line that says why the run failed, with the program's own message.
    QString failuretext() const;
};

struct UtilityCommand
{
    QString program;
    QStringList arguments;
    // Optional: how far the run has come (0 to 100; below 0 not said) by a
    // chunk of its output, for the watch to show.
    std::function<int(const QByteArray& output)> progress = {};
};

// What the time limit of a run counts: the whole run, or the time since the
// utility last printed anything (for work that grows with its input and
// prints its progress: it runs as long as it goes on, and only one that
// stops answering is ended).
enum class UtilityLimit { Total, Silence };

// The command line as it would read: program and arguments joined by blanks.
QString utilitycommandline(const QString& program, const QStringList& arguments);

// Runs program with arguments (never through a shell), closes its standard
// input at once and waits at most timeoutms; logs the command line.
// watched: in the GUI thread, wait with the event loop running and the
// watch below shown (see runutilities).
UtilityResult runutility(const QString& program, const QStringList& arguments, int timeoutms = 30000,
                         bool watched = false);
UtilityResult runutility(const UtilityCommand& command, int timeoutms, UtilityLimit limit, bool watched);

// Starts every command at once and waits for them: each at most timeoutms
// from the start of its own wait, or, when `watched` and in the GUI thread,
// all of them at most timeoutms with the event loop running and the watch
// below shown. One still running then, or when the watch is cancelled, is
// killed. A caller that asks for `watched` must bear the events that run
// meanwhile (timers, queued signals; user input waits for the watch).
// When a listener is given, each process's readyReadStandardOutput() reaches
// the listener's slot `member` (SLOT() form) before the output is collected:
// the slot may peek at the output of its sender but must not read it, and
// may report what it read with utilityprogress. `title` names the watch's
// window (empty: the watch's own title).
QList<UtilityResult> runutilities(const QList<UtilityCommand>& commands, int timeoutms = 30000,
                                  QObject* listener = nullptr, const char* member = nullptr,
                                  bool watched = false, const QString& title = QString(),
                                  UtilityLimit limit = UtilityLimit::Total);

// The one wait of the program. While work runs that the window's thread
// waits for (a utility, a pass of the program's own over a file, a tool step,
// a plugin's work through the host services), that thread waits here: the
// window keeps drawing and its timers fire, and the wait ends when the work
// does or the user cancels it.
//
// Cancel: work that can be cancelled shows, once it has lasted a moment, a
// window (the watch below) with its progress and Cancel; Cancel or Escape
// there ends the wait. A tool step cannot be cancelled halfway; Escape ends
// its stroke after it.
//
// Input: while waiting, input events reach only what the wait lets take them
// (`WaitInput`: the channel views' pointer, left button, wheel and keys
// during a tool step, and its Escape shortcut) and, once it shows, the
// watch's window, which is modal; all other input is refused, as under a
// modal window, since it could change what the work works on.
struct WaitInput
{
    QObject* takes = nullptr;  // this widget and its children take input
    QObject* escape = nullptr; // this shortcut still fires
};

// The watch's window, installed by the shell: begin(title, text) before a
// wait (empty title: its own), shown() and cancelled() polled during it,
// progress(percent) and settext(text) when the work reports some, end()
// after it. Without one nothing is shown and nothing can be cancelled.
struct UtilityWatch
{
    std::function<void(const QString& title, const QString& text)> begin;
    std::function<bool()> shown;
    std::function<bool()> cancelled;
    std::function<void(int percent)> progress;
    std::function<void(const QString& text)> settext;
    std::function<void()> end;
};
void setutilitywatch(const UtilityWatch& watch);
// During a wait: how far it has come (0 to 100), and what its window says.
void utilityprogress(int percent);
void utilitytext(const QString& text);
// How many waits the user has cancelled since the start: a caller that sees
// it change knows that something it called was cancelled.
int cancelledwaits();

// Makes the waits made while it lives one wait for the user (one window, one
// Cancel, one bar that only grows); `text` says what is done. Outside the GUI
// thread it does nothing.
class UtilityWatchSpan
{
public:
    explicit UtilityWatchSpan(const QString& text, const QString& title = QString());
    ~UtilityWatchSpan();
    UtilityWatchSpan(const UtilityWatchSpan&) = delete;
    UtilityWatchSpan& operator=(const UtilityWatchSpan&) = delete;

private:
    bool begun = false;
};

// In the GUI thread: waits as above until busy() (asked after every event
// handled meanwhile, and every 50 ms) turns false; true when cancelled.
// Elsewhere it only waits.
bool waitwhile(const std::function<bool()>& busy, const QString& title, const QString& text);

// Work of the program's own that grows with a file (a pass over a layer's
// samples), or a plugin's through the host services: in the GUI thread it
// runs on a thread of its own under the wait, with the watch's progress and
// Cancel; elsewhere it runs in place. `work` calls going(percent) now and
// then (below 0: not said) and ends soon once that returns false.
WorkEnd runwatchedwork(const QString& text, const HostWork& work, const QString& title = QString());

// Work that cannot be stopped halfway (a tool step, the copies of a history
// entry): on a thread of its own while the window's thread waits under
// `input`, without a window or Cancel. Work that ends within a moment (25 ms)
// holds the window's thread for that moment only, with nothing run in
// between, as when it ran there.
void runstep(const std::function<void()>& work, const WaitInput& input);
