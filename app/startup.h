#pragma once
// The first half of the program's start: identity, settings, process-wide
// folders, limits and colours, the command line and the session log with its
// start lines. The second half (splash, main window, event loop) is in program.h.
#include <QByteArray>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

struct StartOptions
{
    QStringList arguments;  // the program path first, as the application has them
    QList<QByteArray> rawarguments; // the same as the system gave them (may be left empty)
    QString executablefolder; // the installation root is its parent
};

struct StartResult
{
    bool logopen = false; // false: the start failed (the user was told why)
    QString fileargument; // the last argument that names an existing file
    QByteArray rawfileargument; // its bytes, when its name is no valid text
    int loglevel = 0;
};

StartResult startsession(const StartOptions& options);

// The process-wide values that start-up reads from the settings, with their
// defaults; the advanced settings use the same function to re-read them.
void readlimitsandcolours();
// The three layer colours alone, with their defaults.
void readcolours();

// Where a window stored at `pos` with `size` goes: there when its title bar
// lies on one of the screens (available areas, the primary first), else at
// the primary screen's corner: a position saved with another monitor
// attached must not put the window out of reach.
QPoint visibleposition(const QPoint& pos, const QSize& size, const QList<QRect>& screens);
// The size of such a window once it is at visibleposition(pos, ...): no
// larger than the screen it is on, whatever the settings say.
QSize visiblesize(const QPoint& pos, const QSize& size, const QList<QRect>& screens);
