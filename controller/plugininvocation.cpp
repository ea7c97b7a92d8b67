// Handing work to tool and filter plugins: the data block snapshot before
// every call, choosing the tool, and a filter run with its write-back.
#include <QAction>
#include <QMessageBox>
#include <memory>
#include "core/buffer.h"
#include "core/callbacks.h"
#include "core/globals.h"
#include "core/log.h"
#include "core/utility.h"
#include "sdk/interfaces.h"
#include "spectrumgui.h"

namespace {

QRectF spanarea(layer* l, int half)
{
    if (!l)
        return QRectF(0, 0, 0, 0);
    return QRectF(l->spanstart(), half, l->spanlength(), -half);
}

} // namespace

void SpectrumGui::refreshdatainterface(DataInterface* plugin)
{
    if (!plugin)
        return;
    plugin->samplerate = samplerate;
    plugin->channels = channels;
    plugin->speakermask = speakermask;
    plugin->channelmask = channelmask;
    plugin->fftsize = fftsize;
    plugin->overlap = fftoverlap;
    if (float(selection.width()) != 0 || float(selection.height()) != 0) {
        plugin->areaselected = true;
        plugin->mixarea = plugin->clipboardarea = plugin->layerarea = selection;
    } else {
        plugin->areaselected = false;
        const int half = samplerate / 2;
        plugin->mixarea = spanarea(alllayers(), half);
        plugin->clipboardarea = spanarea(slottable.bound[2], half);
        plugin->layerarea = spanarea(slottable.bound[1], half);
    }
    layer* current = slottable.bound[1];
    plugin->buffergain[0] = 1.0f;
    plugin->buffergain[1] = current ? float(current->mixsign) * current->volume : 0.0f;
    plugin->buffergain[2] = 1.0f;
    plugin->unittime = unittime;
    plugin->unitfreq = unitfreq;
    plugin->unitpow = unitpow;
    plugin->unitphase = unitphase;
    plugin->colormix = colormix;
    plugin->colorselect = colorselect;
    plugin->colorclipboard = colorclipboard;
    fillcallbacks(plugin);
}

void SpectrumGui::intool(bool toggled)
{
    // The stroke of the tool being left ends with its own entry.
    finishstroke();
    toolstroke = false;
    cleanclipboard();
    if (!toggled) {
        toolaction = nullptr;
        tool = nullptr;
        return;
    }
    auto* action = qobject_cast<QAction*>(sender());
    toolaction = action;
    tool = nullptr;
    if (!action) {
        logerror(QStringLiteral("Tool chosen without its action"));
        return;
    }
    qRegisterMetaType<ToolInterface*>("ToolInterface*");
    const QVariant data = action->data();
    if (data.metaType() != QMetaType::fromType<ToolInterface*>()) {
        logerror(QStringLiteral("Tool action \"%1\" holds no tool").arg(action->text()));
        return;
    }
    tool = data.value<ToolInterface*>();
    if (!tool)
        return;
    cursor = tool->cursor;
    emit outmousecursor(cursor);
    emit outupdategl();
}

bool SpectrumGui::flushedit(int slot, double start, double length)
{
    layer* l = slottable.bound[slot];
    if (!l)
        return false;
    slottable.buffer[slot]->flush();
    double s, e;
    if (length <= 0) {
        s = l->dirtymin;
        e = l->dirtymax;
    } else if (l->spanlength() > 0) {
        s = std::min(start, l->dirtymin);
        e = std::max(start, l->dirtymax);
    } else {
        s = start;
        e = start + length;
    }
    if (!(e > s))
        return false;
    emit outdisplayarea(displayarea,
                        QRectF(s, displayarea.y(), e - s, displayarea.height()), slot);
    return true;
}

void SpectrumGui::infilter()
{
    if (transportmode >= 0)
        indevicepause();
    layer* current = slottable.bound[1];
    if (!current) {
        transportwarning(tr("No layer selected"), tr("Select a layer first."));
        return;
    }
    auto* action = qobject_cast<QAction*>(sender());
    qRegisterMetaType<FilterInterface*>("FilterInterface*");
    if (!action || action->data().metaType() != QMetaType::fromType<FilterInterface*>()) {
        logerror(QStringLiteral("Filter run without a filter action"));
        return;
    }
    auto* filter = action->data().value<FilterInterface*>();
    if (!filter) {
        logerror(QStringLiteral("Filter action \"%1\" holds no filter").arg(action->text()));
        return;
    }
    const double t0 = current->spanstart();
    const double d0 = current->spanlength();
    const int cancels = cancelledwaits();
    refreshdatainterface(filter);
    filter->process();
    const bool cancelled = cancelledwaits() != cancels;
    if (slottable.bound[1] == current && !(cancelled && dropcancellededit(t0, d0)) && flushedit(1, t0, d0))
        pushbackup(filter->label, QPixmap(QStringLiteral(":/icons/Menu.png")));
    if (layer* clip = slottable.bound[2]) {
        slottable.buffer[2]->flush();
        emit outdisplayarea(displayarea, displayarea, 2);
        clip->resetdirty();
    }
    asknolayer();
}

bool SpectrumGui::dropcancellededit(double start, double length)
{
    layer* current = slottable.bound[1];
    slottable.buffer[1]->flush();
    if (!(current->dirtymax > current->dirtymin))
        return true;
    // The frames kept from before would take an earlier edit without an
    // entry with them.
    if (!current->keepsbefore() || current->beforelost() || pendingedit())
        return false;
    const double t = current->dirtymin;
    const double d = current->dirtymax - current->dirtymin;
    // As long as the run took, under the same wait; the chunk lives and goes
    // on the wait's own thread.
    bool restored = false;
    runwatchedwork(tr("Giving the layer back what it held..."), [&](const std::function<bool(int)>&) {
        const std::unique_ptr<layer> before(current->beforechunk(t, d));
        if (!before || before->failed())
            return false;
        current->restorerange(before.get());
        restored = !current->failed();
        if (restored)
            current->keepbefore();
        return restored;
    });
    if (!restored)
        return false;
    slottable.buffer[1]->indatareset();
    const double s = length > 0 ? std::min(start, t) : t;
    const double e = std::max(length > 0 ? start + length : t + d, t + d);
    emit outdisplayarea(displayarea, QRectF(s, displayarea.y(), e - s, displayarea.height()), 1);
    current->resetdirty();
    return true;
}

void SpectrumGui::asknolayer()
{
    Buffer* buffer = slottable.buffer[1];
    if (!buffer || !buffer->writewithoutlayer)
        return;
    buffer->writewithoutlayer = false;
    if (nolayerbox) {
        nolayerbox->show();
        nolayerbox->raise();
    }
}
