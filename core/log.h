#pragma once
// The session log: one memory-mapped HTML file of three rings of fixed-size
// line slots (plain, red errors, blue verbose), so that any thread can log with
// a copy into mapped memory and the file on disk always holds the last lines.
#include <QString>

bool loginit(int level);
void logmessage(const QString& message);
void logerror(const QString& message);
void logverbose(const QString& message);

// True for the names of session logs: "yyyy.MM.dd-HH.mm.ss.zzz.htm".
bool islogfilename(const QString& name);

// Path of the open log file, empty before loginit succeeded (for the log viewer and tests).
QString logfilepath();
