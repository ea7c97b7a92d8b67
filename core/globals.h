#pragma once
// Process-wide values that the shell fixes at start (from the settings and the
// command line) and the core, the controller, the views and the panels read.
// They live here, in the lowest library, so that every subsystem can link them.
#include <QColor>
#include <QString>

#include "sdk/unsettime.h"

class QWidget;

extern QString rootpath;    // installation root: parent of the executable's folder
extern QString utilpath;    // rootpath + "/Resources/Util"
extern QString sessionpath; // folder of layer sample files and session files
extern QString logspath;    // folder of the session logs
extern QString sessionid;   // start time "yyyy.MM.dd-HH.mm.ss.zzz"
extern int sessionmax;      // days that old session files are kept
extern int logsmax;         // log files kept
extern int projectmax;      // recent projects listed (at most 10)
extern int historymax;      // history rows kept

// Display unit codes (see the Units menu): time 0..-4 or a count per minute,
// frequency -10..-14, power -20..-22, phase -10..-12.
extern float unittime;
extern float unitfreq;
extern float unitpow;
extern float unitphase;

// Colours of the three layer slots: mix, current layer, clipboard.
extern QColor colormix;
extern QColor colorselect;
extern QColor colorclipboard;

extern QWidget* mainwindowptr;
