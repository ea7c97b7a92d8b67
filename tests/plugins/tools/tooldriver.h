#pragma once
// A tool plugin loaded from the build's installation root as the host loads
// it, and the host's side of a stroke against the in-memory spectrogram grids
// of spectrumgrids.h: the block refreshed before every event, the event
// sequences of hover, press, drag and release, and the commit of the scratch
// buffer applied the way the host's area transfer does it.
#include <QDir>
#include <QDoubleSpinBox>
#include <QPluginLoader>
#include <QRectF>
#include <QToolBar>
#include <QVector2D>

#include <algorithm>
#include <cmath>

#include "interfaces.h"
#include "plugins/tools/spectrumgrids.h"

namespace tooltest {

// Loads the one file Plugins/Tools/<name>.* and initializes it with the given
// main window. Null, with the reason in error, when any step fails.
inline ToolInterface* loadtool(QPluginLoader& loader, const QString& name, QWidget* mainwindow,
                               QString& error)
{
    const QDir dir(QStringLiteral(KV_TEST_ROOT) + "/Plugins/Tools");
    const QStringList files = dir.entryList({name + ".*"}, QDir::Files);
    if (files.size() != 1) {
        error = QStringLiteral("%1 files for %2 in %3").arg(files.size()).arg(name, dir.path());
        return nullptr;
    }
    loader.setFileName(dir.absoluteFilePath(files.first()));
    if (!loader.load()) {
        error = loader.errorString();
        return nullptr;
    }
    auto* tool = qobject_cast<ToolInterface*>(loader.instance());
    if (!tool) {
        error = QStringLiteral("%1 is no tool plugin").arg(name);
        return nullptr;
    }
    if (!tool->initialize(loader.fileName(), mainwindow)) {
        error = QStringLiteral("%1 refused to initialize").arg(name);
        return nullptr;
    }
    return tool;
}

// The widgets on a tool's settings bar, in bar order.
inline QList<QWidget*> settingwidgets(const ToolInterface* tool)
{
    QList<QWidget*> widgets;
    if (tool->toolbar)
        for (QAction* action : tool->toolbar->actions())
            widgets.append(tool->toolbar->widgetForAction(action));
    return widgets;
}

// How a settings spin box is set up; describe() names the first difference.
struct Spin
{
    double minimum, maximum, step;
    int decimals;
    double value;
    QString prefix, suffix, tooltip;

    QString describe(const QDoubleSpinBox* box) const
    {
        if (!box)
            return QStringLiteral("no spin box");
        const auto differs = [](const char* what, const QString& actual, const QString& expected) {
            return QStringLiteral("%1 %2, expected %3").arg(QLatin1String(what), actual, expected);
        };
        const auto number = [](double v) { return QString::number(v, 'g', 10); };
        if (box->minimum() != minimum)
            return differs("minimum", number(box->minimum()), number(minimum));
        if (box->maximum() != maximum)
            return differs("maximum", number(box->maximum()), number(maximum));
        if (box->singleStep() != step)
            return differs("step", number(box->singleStep()), number(step));
        if (box->decimals() != decimals)
            return differs("decimals", number(box->decimals()), number(decimals));
        if (box->value() != value)
            return differs("value", number(box->value()), number(value));
        if (box->prefix() != prefix)
            return differs("prefix", box->prefix(), prefix);
        if (box->suffix() != suffix)
            return differs("suffix", box->suffix(), suffix);
        if (box->toolTip() != tooltip)
            return differs("tool tip", box->toolTip(), tooltip);
        return {};
    }
};

// The names, the icon and the cursor of a loaded tool; describe() names the
// first difference. Icons and cursors are 32 x 32 pictures with the cursor's
// hot spot in the middle.
struct Identity
{
    QString name, category, label;

    QString describe(const ToolInterface* tool) const
    {
        if (tool->name != name)
            return QStringLiteral("name ") + tool->name;
        if (tool->category != category)
            return QStringLiteral("category ") + tool->category;
        if (tool->label != label)
            return QStringLiteral("label ") + tool->label;
        if (tool->icon.isNull() || tool->icon.size() != QSize(32, 32))
            return QStringLiteral("no 32 x 32 icon");
        if (tool->cursor.pixmap().isNull() || tool->cursor.hotSpot() != QPoint(16, 16))
            return QStringLiteral("no cursor picture with its hot spot in the middle");
        if (!tool->toolbar || tool->toolbar->parent())
            return QStringLiteral("no settings bar of its own");
        return {};
    }
};

// The host's calls during strokes: every event refreshes the block first.
struct Driver
{
    ToolInterface* tool = nullptr;
    SpectrumGrids* grids = nullptr;
    int channelmask = 0b11;
    QRectF clipboardarea;

    bool send(float x, float y, float pressure, float dx, float dy, float dpressure, int key = 0) const
    {
        grids->fill(*tool, channelmask);
        tool->clipboardarea = clipboardarea;
        return tool->process(x, y, pressure, dx, dy, dpressure, key, 0);
    }

    // A hover at (x, y) after some travel, a press there, a drag by (dx, dy)
    // when there is one, and the release where the drag ended.
    bool stroke(float x, float y, float pressure = 1.0f, float dx = 0, float dy = 0) const
    {
        bool ok = send(x, y, 0, 0.01f, 20, 0);
        ok = send(x, y, pressure, 0, 0, pressure) && ok;
        if (dx != 0 || dy != 0)
            ok = send(x + dx, y + dy, pressure, dx, dy, 0) && ok;
        return send(x + dx, y + dy, 0, 0, 0, -pressure) && ok;
    }
};

// What the host's area transfer in mode 9 does with a recorded transfer: over
// the area's frames (end excluded) and bins (both ends included) of the
// channels of the mask (0: all), each destination cell takes the source cell
// when that is louder and stays on ties.
inline void applylouder(SpectrumGrids& grids, const SpectrumGrids::Transfer& t)
{
    const int hop = grids.fftsize / grids.overlap;
    const auto round = [](double v) { return int(std::floor(v + 0.5)); };
    const int f0 = round(t.area.x() * grids.samplerate / hop);
    const int f1 = round((t.area.x() + t.area.width()) * grids.samplerate / hop);
    const int b0 = round(grids.fftsize * std::max(t.area.y() + t.area.height(), 0.0) / grids.samplerate);
    const int b1 = round(grids.fftsize * std::min(t.area.y(), grids.samplerate / 2.0) / grids.samplerate);
    for (int frame = f0; frame < f1; ++frame)
        for (int channel = 0; channel < grids.channels; ++channel) {
            if (t.channelmask != 0 && !((t.channelmask >> channel) & 1))
                continue;
            for (int bin = b0; bin <= b1; ++bin) {
                const QVector2D a = grids.get(t.source, channel, frame, bin);
                const QVector2D b = grids.get(t.destination, channel, frame, bin);
                if (a.lengthSquared() > b.lengthSquared())
                    grids.set(t.destination, channel, frame, bin, a);
            }
        }
}

// What a cell holds after value was written to it: bin 0 keeps only the real
// part (the DC value), the top bin only the imaginary part (the Nyquist value).
inline QVector2D stored(const SpectrumGrids& grids, int bin, QVector2D value)
{
    if (bin == 0)
        value.setY(0);
    if (bin == grids.fftsize / 2)
        value.setX(0);
    return value;
}

// Whether a cell holds what writing expected there leaves, within float
// rounding; names the cell otherwise.
inline bool holds(const SpectrumGrids& grids, int buffer, int channel, int frame, int bin, QVector2D expected)
{
    expected = stored(grids, bin, expected);
    const QVector2D actual = grids.get(buffer, channel, frame, bin);
    if ((actual - expected).length() <= 1e-6f * std::max(1.0f, expected.length()))
        return true;
    qWarning("buffer %d channel %d frame %d bin %d: (%g, %g), expected (%g, %g)", buffer, channel, frame, bin,
             actual.x(), actual.y(), expected.x(), expected.y());
    return false;
}

// The commits (transfers in mode 9 from the scratch buffer into the current
// layer) among the recorded transfers.
inline QList<SpectrumGrids::Transfer> commits(const SpectrumGrids& grids)
{
    QList<SpectrumGrids::Transfer> list;
    for (const SpectrumGrids::Transfer& t : grids.transfers)
        if (t.mode == 9)
            list.append(t);
    return list;
}

// The host's part of the commits recorded so far: each applied as mode 9.
inline void applycommits(SpectrumGrids& grids)
{
    for (const SpectrumGrids::Transfer& t : commits(grids))
        applylouder(grids, t);
}

} // namespace tooltest
