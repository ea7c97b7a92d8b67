// The visible time-frequency area: how it is set and clamped, and every way
// of moving it that belongs to the controller (scroll bars and their wheel,
// the pan and zoom keys, the edge spin boxes, zoom and pan resets, and the
// time cursor keys that the area follows).
#include <QShortcut>
#include <QSignalBlocker>
#include <cstdlib>

#include "app/qscrollbarext.h"
#include "displaymath.h"
#include "panels/layersgui.h"
#include "spectrumgui.h"

DisplayExtent SpectrumGui::extent() const
{
    DisplayExtent e;
    e.samplerate = samplerate;
    if (layer* all = alllayers()) {
        e.haslayers = true;
        e.start = all->spanstart();
        e.length = all->spanlength();
        e.layersrate = all->samplerate;
    }
    return e;
}

void SpectrumGui::indisplayarea(QRectF area)
{
    const auto clamped = clampdisplayarea(area, extent());
    if (!clamped)
        return;
    const QRectF former = displayarea;
    displayarea = *clamped;
    const double x = displayarea.x(), y = displayarea.y();
    const double w = displayarea.width(), h = displayarea.height();
    emit outdisplaystart(x);
    emit outdisplayend(x + w);
    emit outdisplaylength(w);
    emit outdisplaylow(y + h);
    emit outdisplayhigh(y);
    emit outdisplayrange(-h);
    emit outdisplayarea(displayarea, QRectF(0, 0, 0, 0), 3);
    // The pointer stays where it is on the screen: the read-out names what
    // lies under it now (a pointer never seen is at frequency 0 and shows none).
    const QPointF p = mouseposition;
    if (p.x() < unsettime && p.y() < unsettime && p.y() >= 0.1 && former.width() != 0 && former.height() != 0) {
        mouseposition = QPointF(x + (p.x() - former.x()) * w / former.width(),
                                y + (p.y() - former.y()) * h / former.height());
        emit outmouseevent(mouseposition, mousepressure);
    }
    if (alllayers())
        setscrollbars();
}

namespace {

// Setting a bar never reports back: the area is already where the bar says.
void applyscroll(QScrollBar* bar, const ScrollSetting& s)
{
    const QSignalBlocker blocker(bar);
    bar->setRange(s.minimum, s.maximum);
    bar->setPageStep(s.pagestep);
    bar->setValue(s.value);
}

} // namespace

void SpectrumGui::setscrollbars()
{
    const DisplayExtent e = extent();
    applyscroll(timescrollbar, timescrollsetting(displayarea, e.start, e.length));
    applyscroll(freqscrollbar, freqscrollsetting(displayarea, e.layersrate));
}

void SpectrumGui::clearscrollbars()
{
    applyscroll(timescrollbar, ScrollSetting());
    applyscroll(freqscrollbar, ScrollSetting());
}

void SpectrumGui::intimescroll()
{
    if (const auto area = areafortimescroll(displayarea, timescrollbar->value()))
        indisplayarea(*area);
}

void SpectrumGui::infreqscroll()
{
    if (const auto area = areaforfreqscroll(displayarea, freqscrollbar->value()))
        indisplayarea(*area);
}

void SpectrumGui::scrollbarzoom(int delta)
{
    auto* bar = qobject_cast<QScrollBar*>(sender());
    if (!bar || delta == 0)
        return;
    const bool horizontal = bar->orientation() == Qt::Horizontal;
    const int notches = scrollwheel.take(delta, horizontal ? 0 : 1);
    if (notches == 0)
        return;
    const int direction = notches > 0 ? 1 : -1;
    QRectF area = displayarea;
    for (int i = 0; i < std::abs(notches); ++i)
        area = horizontal ? zoomtime(area, direction) : zoomfreq(area, direction);
    indisplayarea(area);
    emit outupdategl();
}

void SpectrumGui::panzoomkey()
{
    auto* shortcut = qobject_cast<QShortcut*>(sender());
    if (!shortcut)
        return;
    const QKeySequence key = shortcut->key();
    QRectF area;
    if (key == QKeySequence(Qt::SHIFT | Qt::Key_Left))
        area = pantime(displayarea, -1);
    else if (key == QKeySequence(Qt::SHIFT | Qt::Key_Right))
        area = pantime(displayarea, 1);
    else if (key == QKeySequence(Qt::SHIFT | Qt::Key_Up))
        area = panfreq(displayarea, 1);
    else if (key == QKeySequence(Qt::SHIFT | Qt::Key_Down))
        area = panfreq(displayarea, -1);
    else if (key == QKeySequence(Qt::CTRL | Qt::Key_Left))
        area = zoomtime(displayarea, -1);
    else if (key == QKeySequence(Qt::CTRL | Qt::Key_Right))
        area = zoomtime(displayarea, 1);
    else if (key == QKeySequence(Qt::CTRL | Qt::Key_Up))
        area = zoomfreq(displayarea, 1);
    else if (key == QKeySequence(Qt::CTRL | Qt::Key_Down))
        area = zoomfreq(displayarea, -1);
    else
        return;
    indisplayarea(area);
    emit outupdategl();
}

void SpectrumGui::timecursorkey()
{
    auto* shortcut = qobject_cast<QShortcut*>(sender());
    if (!shortcut)
        return;
    const QKeySequence key = shortcut->key();
    const double step = displayarea.width() / 100;
    if (key == QKeySequence(Qt::Key_Left))
        timecursor -= step;
    else if (key == QKeySequence(Qt::Key_Right))
        timecursor += step;
    else
        return;
    setdevicetime(timecursor);

    const double lastpart = displayarea.x() + displayarea.width() - step;
    if (timecursor > lastpart) {
        QRectF area = displayarea;
        area.moveLeft(area.x() + timecursor - lastpart);
        indisplayarea(area);
    }
    if (timecursor < displayarea.x()) {
        QRectF area = displayarea;
        area.moveLeft(timecursor);
        indisplayarea(area);
    }
    emit outdevicecursor(timecursor, 3, false);
    emit outupdategl();
    if (layersgui)
        layersgui->inrefreshstatus();
}

void SpectrumGui::inzoomselected()
{
    layer* current = slottable.bound[1];
    if (!current || current->start >= unsettime || !(current->length > 0))
        return;
    const double start = current->start;
    const bool noselection = selection.width() == 0 && selection.height() == 0;
    const bool containsstart =
        selection.x() < start && start < selection.x() + selection.width();
    if (smartcursor && (noselection || containsstart)) {
        timecursor = start;
        setdevicetime(start);
        emit outdevicecursor(start, 3, false);
    }
    indisplayarea(QRectF(start, displayarea.y(), current->length, displayarea.height()));
}

void SpectrumGui::inzoomreset()
{
    const DisplayExtent e = extent();
    if (!e.haslayers || !(e.length > 0) || samplerate <= 0)
        return;
    const double n = samplerate * 0.5;
    indisplayarea(QRectF(e.start, n, e.length, -n));
}

void SpectrumGui::inpanreset()
{
    const DisplayExtent e = extent();
    if (!e.haslayers || !(e.length > 0))
        return;
    const double h = displayarea.height();
    indisplayarea(QRectF(e.start, -h, displayarea.width(), h));
}

void SpectrumGui::indisplaystart(double time)
{
    if (const auto area = editdisplayedge(displayarea, DisplayEdge::start, time))
        indisplayarea(*area);
}

void SpectrumGui::indisplayend(double time)
{
    if (const auto area = editdisplayedge(displayarea, DisplayEdge::end, time))
        indisplayarea(*area);
}

void SpectrumGui::indisplaylength(double time)
{
    if (const auto area = editdisplayedge(displayarea, DisplayEdge::length, time))
        indisplayarea(*area);
}

void SpectrumGui::indisplaylow(double freq)
{
    if (const auto area = editdisplayedge(displayarea, DisplayEdge::low, freq))
        indisplayarea(*area);
}

void SpectrumGui::indisplayhigh(double freq)
{
    if (const auto area = editdisplayedge(displayarea, DisplayEdge::high, freq))
        indisplayarea(*area);
}

void SpectrumGui::indisplayrange(double freq)
{
    if (const auto area = editdisplayedge(displayarea, DisplayEdge::range, freq))
        indisplayarea(*area);
}

void SpectrumGui::inupdategl()
{
    emit outupdategl();
}

void SpectrumGui::inunit()
{
    emit outupdategl();
}
