#pragma once
// The seam for external command-line utilities (sox, rubberband): run one
// program with an argument list, wait a bounded time and report what happened.
#include <QString>
#include <QStringList>

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

// The command line as it would read: program and arguments joined by blanks.
QString utilitycommandline(const QString& program, const QStringList& arguments);

// Runs program with arguments (never through a shell), closes its standard
// input at once and waits at most timeoutms; logs the command line.
UtilityResult runutility(const QString& program, const QStringList& arguments, int timeoutms = 30000);
