#include "globals.h"

#include <QDir>

QString rootpath;
QString utilpath;
QString sessionpath = QDir::tempPath() + "/kvtmp";
QString logspath;
QString sessionid;
int sessionmax = 10;
int logsmax = 10;
int projectmax = 10;
int historymax = 100;

float unittime = 0;
float unitfreq = -10;
float unitpow = -20;
float unitphase = -11;

QColor colormix(0, 255, 0);
QColor colorselect(255, 0, 0);
QColor colorclipboard(70, 70, 255);

QWidget* mainwindowptr = nullptr;
