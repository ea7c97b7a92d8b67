#pragma once
// The path of this program's own executable: what the workstation links
// register with other programs and what a second instance is started from.
// Tests point it at a program of their own that notes how it was started.
#include <QString>

QString selfexecutable();

// An empty path brings back the running program's own.
void setselfexecutable(const QString& path);
