#pragma once
// The seam for external command-line utilities (sox, rubberband): run one
// program, or several side by side, with argument lists, wait a bounded time
// and report what happened.
#include <QList>
#include <QString>
#include <QStringList>

class QObject;

struct UtilityResult
{
    bool started = false;       // the program could be started
    bool exitednormally = false; // it ended by itself (no crash, no kill)
    int exitcode = -1;
    bool timedout = false;      // still running at the limit; it was killed
    QString output;             // standard output and error, merged

    bool succeeded() const { return started && exitednormally && !timedout && exitcode == 0; }
    // One line that says why the run failed, with the program's own message.
    QString failuretext() const;
};

struct UtilityCommand
{
    QString program;
    QStringList arguments;
};

// The command line as it would read: program and arguments joined by blanks.
QString utilitycommandline(const QString& program, const QStringList& arguments);

// Runs program with arguments (never through a shell), closes its standard
// input at once and waits at most timeoutms; logs the command line.
UtilityResult runutility(const QString& program, const QStringList& arguments, int timeoutms = 30000);

// Starts every command at once, then waits for each in turn, at most
// timeoutms from the start of its own wait; one still running then is killed.
// When a listener is given, each process's readyReadStandardOutput() reaches
// the listener's slot `member` (SLOT() form) before the output is collected:
// the slot may peek at the output of its sender but must not read it.
QList<UtilityResult> runutilities(const QList<UtilityCommand>& commands, int timeoutms = 30000,
                                  QObject* listener = nullptr, const char* member = nullptr);
