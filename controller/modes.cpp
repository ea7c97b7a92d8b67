// The interaction modes that the mouse engine obeys: selection, pan and zoom,
// displacement and the time cursor, each with the cursor it shows. The modes
// are the integer data of the shell's checkable actions; an action being
// unchecked clears its mode only while that mode is the one in force, as the
// old action's "off" may arrive after the new one's "on".
#include <QAction>
#include <QToolButton>

#include "core/buffer.h"

#include "core/log.h"
#include "modesupport.h"
#include "spectrumgui.h"

bool modevalue(QObject* sender, int& mode)
{
    QAction* action = qobject_cast<QAction*>(sender);
    if (auto* button = qobject_cast<QToolButton*>(sender))
        action = button->defaultAction();
    bool ok = false;
    if (action)
        mode = action->data().toInt(&ok);
    if (!ok)
        logerror(QStringLiteral("Mode switched without an action that holds its value"));
    return ok;
}

QCursor modecursor(const char* image)
{
    // A hot spot of (-1, -1) is the middle of the image.
    return QCursor(QPixmap(QString::fromLatin1(image)), -1, -1);
}

void resetslotbuffers()
{
    for (Buffer* buffer : slottable.buffer)
        if (buffer)
            buffer->indatareset();
}

namespace {

// Sets `member` to the sender's mode when toggled on, clears it when toggled
// off while it holds that mode; true when the mode was switched on.
bool switchmode(QObject* sender, bool toggled, int& member)
{
    int mode = -1;
    if (!modevalue(sender, mode))
        return false;
    if (toggled)
        member = mode;
    else if (member == mode)
        member = -1;
    return toggled;
}

} // namespace

void SpectrumGui::indrawselection(bool toggled)
{
    if (!switchmode(sender(), toggled, selectionmode))
        return;
    cursor = modecursor(":/cursors/select.png");
    emit outmousecursor(cursor);
    emit outupdategl();
}

void SpectrumGui::inpanzoom(bool toggled)
{
    if (!switchmode(sender(), toggled, panzoommode))
        return;
    if (panzoommode >= 0 && panzoommode <= 2)
        cursor = modecursor(":/cursors/hand.png");
    else if (panzoommode >= 3 && panzoommode <= 5)
        cursor = modecursor(":/cursors/zoom.png");
    emit outmousecursor(cursor);
    emit outupdategl();
}

void SpectrumGui::indisplace(bool toggled)
{
    if (!toggled) {
        // The views keep the value; the cursor stays until another mode sets its own.
        displacemode = 0;
        emit outdisplace(0);
        return;
    }
    displacemode = 1;
    cursor = modecursor(":/cursors/displace.png");
    emit outdisplace(1);
    emit outmousecursor(cursor);
    emit outupdategl();
}

void SpectrumGui::intimecursortoggled(bool toggled)
{
    if (!toggled) {
        timecursormode = 0;
        return;
    }
    timecursormode = 1;
    cursor = modecursor(":/cursors/time.png");
    emit outmousecursor(cursor);
    emit outupdategl();
}
