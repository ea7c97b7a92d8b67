#pragma once
// The session log: one memory-mapped HTML file of three rings of fixed-size
// line slots (plain, red errors, blue verbose), so that any thread can log with
// a copy into mapped memory and the file on disk always holds the last lines.
#include <QString>

bool loginit(int level);
void logmessage(const QString& message);
void logerror(const QString& message);
void logverbose(const QString& message);
