#pragma once
// The seam for external command-line utilities (sox, rubberband): run one
// program, or several side by side, with argument lists, wait a bounded time
// and report what happened.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

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
    // piece of its output, for the watch to show.
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

// What the user sees while utilities run in the GUI thread, whose event loop
// keeps running meanwhile (user input waits until the watch shows its
// window): begin(title, text) before the wait, shown() and cancelled()
// polled during it, progress(percent) when a listener reports some, end()
// after it. The shell installs one; without one the runs cannot be cancelled.
struct UtilityWatch
{
    std::function<void(const QString& title, const QString& text)> begin;
    std::function<bool()> shown;
    std::function<bool()> cancelled;
    std::function<void(int percent)> progress;
    std::function<void()> end;
};
void setutilitywatch(const UtilityWatch& watch);
// How far a watched run has come (0 to 100), for the watch to show.
void utilityprogress(int percent);

// Makes the watched runs made while it lives one run for the user (one
// window, one Cancel, one bar that only grows); `text` says what is done.
// Outside the GUI thread it does nothing.
class UtilityWatchSpan
{
public:
    explicit UtilityWatchSpan(const QString& text);
    ~UtilityWatchSpan();
    UtilityWatchSpan(const UtilityWatchSpan&) = delete;
    UtilityWatchSpan& operator=(const UtilityWatchSpan&) = delete;

private:
    bool begun = false;
};

// Work of the program's own that grows with a file (a pass over a layer's
// samples), watched like a utility: in the GUI thread it runs in a thread of
// its own while the event loop runs as in a watched utility run, with the
// watch's progress and Cancel; elsewhere it runs in place. `work` calls
// going(percent) now and then (below 0: not said) and ends soon once that
// returns false.
enum class WorkEnd { Done, Failed, Cancelled };
WorkEnd runwatchedwork(const QString& text, const std::function<bool(const std::function<bool(int)>& going)>& work);
