// The interaction engine: every pointer, pen and key event of every channel
// view passes here, in one fixed order of modes, and is echoed to the views.
#include <QApplication>
#include <QCursor>
#include <QPixmap>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QShortcut>
#include <QSplitter>
#include "core/buffer.h"
#include "core/globals.h"
#include "core/utility.h"
#include "panels/layersgui.h"
#include "sdk/interfaces.h"
#include "sdk/offthreadtool.h"
#include "sdk/toolnotes.h"
#include "spectrumgui.h"

namespace {

bool unset(double v)
{
    return float(v) == float(unsettime);
}

void refreshstatus()
{
    if (layersgui)
        layersgui->inrefreshstatus();
}

// What the tool has to say of its strokes, when it says anything.
ToolNotes* notes(ToolInterface* tool)
{
    return qobject_cast<ToolNotes*>(dynamic_cast<QObject*>(tool));
}

// The tool's steps may run off the window's thread, on the settings it takes first.
OffThreadTool* offthread(ToolInterface* tool)
{
    return qobject_cast<OffThreadTool*>(dynamic_cast<QObject*>(tool));
}

} // namespace

void SpectrumGui::finishstroke()
{
    if (!tool || mousepressure <= 0)
        return;
    // A release the engine never got (the pointer left the views, the tool
    // or the mode changed): the tool sees one at the last position.
    inmouseevent(mouseposition, 0.0f, 0, mousechannel, false);
}

void SpectrumGui::keepforlater(const LaterEvent& event)
{
    if (!event.escape) {
        // The views draw the pointer where it is now, and their next moves
        // carry its pressure.
        emit outmouseevent(event.position, event.pressure);
        emit outupdategl();
    }
    if (!later.isEmpty()) {
        const LaterEvent& last = later.constLast();
        if (!event.escape && !last.escape && event.key == 0 && last.key == 0 && event.channel == last.channel
            && (event.pressure > 0) == (last.pressure > 0) && event.modifiers == last.modifiers) {
            later.last() = event;
            return;
        }
    }
    later.append(event);
}

void SpectrumGui::takeuplater()
{
    if (takinglater)
        return;
    const QScopedValueRollback<bool> taking(takinglater, true);
    while (!later.isEmpty()) {
        const LaterEvent e = later.takeFirst();
        if (e.escape) {
            escapeKey();
            continue;
        }
        latermodifiers = e.modifiers;
        inmouseevent(e.position, e.pressure, e.key, e.channel, e.timecursorarea);
        latermodifiers.reset();
    }
}

void SpectrumGui::inmouseevent(QPointF mousepos, float pressure, int key, qint32 channel,
                               bool timecursorarea)
{
    // A move or scale step waits for its utilities with the event loop
    // running; what reaches the views meanwhile (the leave that the progress
    // window's opening sends) is no step of the drag that waits. The next
    // event after the step tells where the pointer and its button are.
    if (scalerunning)
        return;
    if (strokerunning) {
        // A leave that comes meanwhile (a window opening over the view) is no
        // step of the stroke: the next event tells where the pointer is. A
        // pressed stroke gets its moves wherever the pointer goes anyway.
        if (!unset(mousepos.x()) || !unset(mousepos.y()))
            keepforlater({mousepos, pressure, key, channel, timecursorarea, QApplication::keyboardModifiers(), false});
        return;
    }
    const auto takeup = qScopeGuard([this] { takeuplater(); });
    double x = mousepos.x();
    double y = mousepos.y();
    float p = pressure;
    const float P = mousepressure;
    const double X = mouseposition.x();
    const double Y = mouseposition.y();
    const Qt::KeyboardModifiers mods = latermodifiers.value_or(QApplication::keyboardModifiers());
    latermodifiers.reset();
    const bool shift = mods & Qt::ShiftModifier;
    const bool outside = unset(x) || unset(y);
    const auto toolinhand = [this] {
        return tool && slottable.bound[0] && selectionmode == -1 && panzoommode == -1 && transportmode == -1;
    };
    // A tool in hand that takes every press (noise registration at the view's
    // top edge) leaves the time cursor alone.
    if (toolinhand() && notes(tool) && notes(tool)->ownspresses())
        timecursorarea = false;
    QString note, notetitle; // what the tool says of a stroke that did nothing

    // Axis lock. The release still takes the locked position (the tools
    // paint its travel, which must stay on the line); the lock ends after it.
    if (!shift)
        axislock = 0;
    else if (axislock == 0 && p > 0) {
        if (y != Y)
            axislock = 2;
        if (x != X)
            axislock = 1;
    }
    if (axislock == 1 && !outside)
        y = Y;
    else if (axislock == 2 && !outside)
        x = X;
    if (p <= 0)
        axislock = 0;

    // The device cursor moves with the pointer events as well as with the timer.
    if (transportmode >= 0)
        inupdatedevicetime(false);

    // Time cursor (never to the unset marker of a pointer outside the views).
    if (timecursormode == 1) {
        if (p > 0 && !unset(x)) {
            timecursor = x;
            setdevicetime(x);
            emit outdevicecursor(x, 3, false);
            refreshstatus();
        }
    } else if ((timecursorarea && P == 0) || timecursordrag) {
        emit outmousecursor(QCursor(QPixmap(QStringLiteral(":/cursors/time.png"))));
        if (p > 0) {
            if (!unset(x)) {
                timecursor = x;
                setdevicetime(x);
                emit outdevicecursor(x, 3, false);
                refreshstatus();
            }
            timecursordrag = true;
            mouseposition = QPointF(x, y);
            mousepressure = p;
            emit outmouseevent(mouseposition, p);
            emit outupdategl();
            return;
        }
    }
    if (timecursormode != 1 && p == 0) {
        if (!timecursorarea)
            emit outmousecursor(cursor);
        timecursordrag = false;
    }

    // Move and scale: a drag step for every movement, the final pass at the
    // release. A drag that cannot go on ends here, as if the pressure were 0.
    if (movescalemode >= 0) {
        if (p > 0 && !outside && (std::fabs(x - X) > 1e-12 || std::fabs(y - Y) > 1e-12)
            && !movescaledrag(x, y, X, Y))
            p = 0;
        if (p == 0 && P > 0)
            movescalerelease();
    }

    // Pan.
    if (panzoommode >= 0 && panzoommode <= 2 && p > 0 && !outside) {
        QRectF a = displayarea;
        if (panzoommode != 2)
            a.moveLeft(a.x() + X - x);
        if (panzoommode != 1)
            a.moveTop(a.y() + Y - y);
        indisplayarea(a);
        x = X;
        y = Y;
    }

    // Zoom about the pointer.
    if (panzoommode >= 3 && panzoommode <= 5 && p > 0 && !outside) {
        zoomanchor = QPointF(x, y);
        const QRectF a = displayarea;
        double left = a.x(), right = a.x() + a.width();
        double top = a.y(), bottom = a.y() + a.height();
        if (panzoommode != 5 && a.width() != 0) {
            const float q = float((x - X) / a.width());
            const double k = 1.0 + double(float(-3.0 * double(q)));
            left = k * a.x() + (1 - k) * x;
            right = k * (a.x() + a.width()) + (1 - k) * x;
        }
        if (panzoommode != 4 && a.height() != 0) {
            const float q = float((y - Y) / -a.height());
            const double k = 1.0 + double(float(-3.0 * double(q)));
            top = k * a.y() + (1 - k) * zoomanchor.y();
            bottom = k * (a.y() + a.height()) + (1 - k) * zoomanchor.y();
        }
        indisplayarea(QRectF(left, top, right - left, bottom - top));
    }

    // Selection.
    if (selectionmode != -1 && p > 0 && !outside) {
        if (P == 0) {
            if (transportmode >= 0)
                indevicepause();
            cleanclipboard();
            selection = QRectF(0, 0, 0, 0);
            selectionanchor = QPointF(x, y);
            emit outselection(selection);
        } else {
            const double ax = selectionanchor.x(), ay = selectionanchor.y();
            double start = std::min(ax, x), length = std::fabs(x - ax);
            double top = std::max(ay, y), height = std::min(ay, y) - top;
            if (selectionmode == 1) {
                top = samplerate;
                height = -samplerate;
            } else if (selectionmode == 2) {
                layer* all = alllayers();
                const double s = all ? all->spanstart() : unsettime;
                const double d = all ? all->spanlength() : 0;
                if (unset(s) || d <= 0) {
                    start = displayarea.x();
                    length = displayarea.width();
                } else {
                    start = s;
                    length = d;
                }
            }
            selection = QRectF(start, top, length, height);
            emit outselection(selection);
            if (selectionmode != 2) {
                timecursor = start;
                setdevicetime(start);
                emit outdevicecursor(start, 3, false);
            }
        }
    }

    // Tool stroke. The release always reaches the tool that saw the press
    // (with Ctrl held or off the views too): its commit comes with it.
    const bool strokeend = p <= 0 && P > 0;
    const bool release = tool && toolstroke && strokeend;
    if (release || (toolinhand() && !(mods & Qt::ControlModifier) && !outside)) {
        layer* current = slottable.bound[1];
        layer* clip = slottable.bound[2];
        const double s1 = current ? current->spanstart() : 0;
        const double l1 = current ? current->spanlength() : 0;
        const double s2 = clip ? clip->spanstart() : 0;
        const double l2 = clip ? clip->spanlength() : 0;
        refreshdatainterface(tool);
        OffThreadTool* offthreadtool = offthread(tool);
        if (offthreadtool)
            offthreadtool->takesettings();
        // A release off the views ends the stroke where the pointer left.
        const double tx = outside ? X : x;
        const double ty = outside ? Y : y;
        // From the unset position (the pointer came back without a hover) the
        // stroke starts at the pointer: the tool first gets the hover it
        // missed, which also drops a preview left where the pointer went out.
        float dx = 0, dy = 0, dp = p - P;
        const bool fromnowhere = unset(X) || unset(Y);
        if (!outside && !fromnowhere) {
            dx = float(x - X);
            dy = float(y - Y);
        }
        const bool missedhover = !outside && fromnowhere && p > 0 && P == 0;
        if (shift && p > 0 && P == 0 && laststroke.set) {
            dx = float(x) - laststroke.time;
            dy = float(y) - laststroke.frequency;
            dp = p - laststroke.pressure;
        }
        if (p > 0) {
            laststroke = {true, float(x), float(y), p};
            toolstroke = true;
        } else if (strokeend) {
            toolstroke = false;
        }
        // What a tool takes from the mix and the current layer lands within
        // their audio: the clipboard it computes in, and so whatever it
        // commits from there, grows no further (a layer extracted from a
        // recording is never longer than the recording).
        double from = 0, to = -1; // none: no bound
        for (layer* l : {slottable.bound[0], current})
            if (l && l->spanlength() > 0) {
                const double a = l->spanstart(), b = a + l->spanlength();
                const bool first = to < from;
                from = first ? a : std::min(from, a);
                to = first ? b : std::max(to, b);
            }
        const auto step = [&] {
            slottable.buffer[2]->boundgrowth(from, to);
            const auto lift = qScopeGuard([] { slottable.buffer[2]->boundgrowth(0, -1); });
            if (missedhover)
                tool->process(float(x), float(y), 0, 0, 0, 0, key, channel);
            tool->process(float(tx), float(ty), p, dx, dy, dp, key, channel);
            // Writing back what the tool changed belongs to the step.
            for (int slot : {1, 2})
                if (slottable.bound[slot])
                    slottable.buffer[slot]->flush();
        };
        if (key == 0 && offthreadtool) {
            const QScopedValueRollback<bool> busy(strokerunning, true);
            // Moves that come during a press carry its pressure.
            emit outmouseevent(QPointF(x, y), p);
            QShortcut* escape = nullptr;
            for (QShortcut* s : shortcuts)
                if (s->key() == QKeySequence(Qt::Key_Escape))
                    escape = s;
            runstep(step, {splitter, escape});
        } else {
            step();
        }
        if (current && slottable.bound[1] == current) {
            flushedit(1, s1, l1);
            if (strokeend) {
                mousepressure = p; // the stroke has ended, whatever the entry brings
                pushbackup(tool->label, tool->icon);
            }
        }
        if (clip && slottable.bound[2] == clip) {
            flushedit(2, s2, l2);
            clip->resetdirty();
        }
        if (strokeend) {
            if (const ToolNotes* said = notes(tool))
                note = said->strokenote();
            notetitle = tool->name;
            asknolayer();
        }
    } else if (tool && strokeend && slottable.bound[1]) {
        // The stroke ended where the tool never saw a press (Ctrl held all
        // along): whatever the layer holds of it still becomes its entry.
        slottable.buffer[1]->flush();
        mousepressure = p;
        pushbackup(tool->label, tool->icon);
    }

    // Tail.
    layer* clip = slottable.bound[2];
    if (clip && clip->spanlength() > 0)
        emit outglmessage(tr("Press [TAB] to preview clipboard"), colorclipboard);
    else
        emit outglmessage(QString(), QColor());
    mouseposition = QPointF(x, y);
    mousepressure = p;
    if (unset(x) && unset(y))
        channel = -1;
    if (channel != mousechannel)
        emit outcurrentchannel(channel);
    mousechannel = channel;
    emit outmouseevent(mouseposition, p);
    emit outupdategl();
    refreshstatus();
    // Once the stroke is over and echoed: a box during it would take its events.
    if (!note.isEmpty())
        transportwarning(notetitle, note);
}
