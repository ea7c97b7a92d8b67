#pragma once
// The one harness of the tool tests: a tool plugin loaded from the build's
// installation root as the host loads it, checks of its identity and settings
// bar, and the host's side of its strokes. Every event carries the change of
// time, frequency and pressure since the previous one, and the host refreshes
// the tool's block before every call: from the real spectral core
// (hostslots.h, hostbuffers.h) or, for the frequency and harmonics tools,
// from the in-memory grids of spectrumgrids.h.
#include <QDir>
#include <QDoubleSpinBox>
#include <QPluginLoader>
#include <QPointer>
#include <QPointF>
#include <QRectF>
#include <QTest>
#include <QToolBar>
#include <QVector2D>

#include <algorithm>
#include <cmath>
#include <functional>

#include "interfaces.h"
#include "offthreadtool.h"

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

// The same without a main window; a tool without a settings bar fails too.
inline ToolInterface* loadtool(QPluginLoader& loader, const QString& name, QString& error)
{
    ToolInterface* tool = loadtool(loader, name, nullptr, error);
    if (tool && !tool->toolbar) {
        error = QStringLiteral("%1 has no settings bar").arg(name);
        return nullptr;
    }
    return tool;
}

// Unloading the plugin destroys its single object.
inline bool unloads(QPluginLoader& loader)
{
    QPointer<QObject> object = loader.instance();
    return loader.unload() && !object;
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

// A spin box that the tool keeps on its bar without showing it, by prefix or suffix.
inline QDoubleSpinBox* hiddenbox(const ToolInterface* tool, const QString& text)
{
    for (QDoubleSpinBox* box : tool->toolbar->findChildren<QDoubleSpinBox*>())
        if (box->prefix() == text || box->suffix() == text)
            return box;
    return nullptr;
}

// Shown with its bar, `shown` is visible and none of `hidden` is.
inline bool onlyshown(ToolInterface* tool, QWidget* shown, std::initializer_list<QWidget*> hidden)
{
    tool->toolbar->show();
    bool ok = QTest::qWaitForWindowExposed(tool->toolbar, 30000) && shown->isVisible();
    for (QWidget* widget : hidden)
        ok = ok && !widget->isVisible();
    tool->toolbar->hide();
    return ok;
}

// How a settings spin box is set up; describe() names the first difference.
struct Spin
{
    double minimum, maximum, step;
    int decimals;
    double value;
    QString prefix, suffix, tooltip;

    QString describe(const QDoubleSpinBox* box) const { return box ? describe(box, box->value()) : describe(box, 0); }
    // `start` is the box's value before any test changed it.
    QString describe(const QDoubleSpinBox* box, double start) const
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
        if (start != value)
            return differs("value", number(start), number(value));
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

// A second initialize keeps the bar the host holds, with its `barsize` widgets.
inline bool keepsbar(ToolInterface* tool, const QPluginLoader& loader, int barsize)
{
    QToolBar* bar = tool->toolbar;
    return tool->initialize(loader.fileName(), nullptr) && tool->toolbar == bar
           && settingwidgets(tool).size() == barsize;
}

// As the host does before every call: a tool whose steps may run off the
// window's thread takes its settings first.
inline void takesettings(ToolInterface* tool)
{
    if (auto* offthread = qobject_cast<OffThreadTool*>(dynamic_cast<QObject*>(tool)))
        offthread->takesettings();
}

// The host's calls during strokes: every event refreshes the block first
// (refresh) and, if given, the host writes back after it (after).
class Pointer
{
public:
    Pointer(ToolInterface*& tool, std::function<void()> refresh, std::function<void()> after = {})
        : toolslot(&tool), refresh(std::move(refresh)), after(std::move(after))
    {
    }

    // An event with the given changes since the previous one.
    bool send(float x, float y, float pressure, float dx, float dy, float dpressure, int key = 0)
    {
        lastx = x;
        lasty = y;
        lastp = pressure;
        refresh();
        takesettings(*toolslot);
        const bool result = (*toolslot)->process(x, y, pressure, dx, dy, dpressure, key, 0);
        if (after)
            after();
        return result;
    }
    // An event at (x, y) with the given pressure (0: no button).
    bool at(double x, double y, float pressure, int key = 0)
    {
        return send(float(x), float(y), pressure, float(x - lastx), float(y - lasty), pressure - lastp, key);
    }
    // Hover at (x, y), press there, drag to each point in turn, release at the last.
    void stroke(double x, double y, std::initializer_list<QPointF> drags = {}, float pressure = 1.0f)
    {
        at(x, y, 0);
        at(x, y, pressure);
        for (const QPointF& p : drags)
            at(p.x(), p.y(), pressure);
        at(lastx, lasty, 0);
    }
    // Forgets the previous event, as when the pointer enters from elsewhere.
    void jumpto(double x, double y, float pressure = 0)
    {
        lastx = x;
        lasty = y;
        lastp = pressure;
    }

    double lastx = 0, lasty = 0;
    float lastp = 0;

private:
    ToolInterface** toolslot;
    std::function<void()> refresh;
    std::function<void()> after;
};

// The pointer with the short strokes that the cell checks use.
struct Strokes : Pointer
{
    using Pointer::Pointer;

    // A hover at (x, y) after some travel, a press there, a drag by (dx, dy)
    // when there is one, and the release where the drag ended.
    bool stroke(float x, float y, float pressure = 1.0f, float dx = 0, float dy = 0)
    {
        bool ok = send(x, y, 0, 0.01f, 20, 0);
        ok = send(x, y, pressure, 0, 0, pressure) && ok;
        if (dx != 0 || dy != 0)
            ok = send(x + dx, y + dy, pressure, dx, dy, 0) && ok;
        return send(x + dx, y + dy, 0, 0, 0, -pressure) && ok;
    }
};

// What a cell holds after value was written to it: bin 0 keeps only the real
// part (the DC value), the top bin only the imaginary part (the Nyquist value).
template <class Cells>
QVector2D stored(const Cells& grids, int bin, QVector2D value)
{
    if (bin == 0)
        value.setY(0);
    if (bin == grids.fftsize / 2)
        value.setX(0);
    return value;
}

// Whether a cell holds what writing expected there leaves, within float
// rounding; names the cell otherwise.
template <class Cells>
bool holds(const Cells& grids, int buffer, int channel, int frame, int bin, QVector2D expected)
{
    expected = stored(grids, bin, expected);
    const QVector2D actual = grids.get(buffer, channel, frame, bin);
    if ((actual - expected).length() <= 1e-6f * std::max(1.0f, expected.length()))
        return true;
    qWarning("buffer %d channel %d frame %d bin %d: (%g, %g), expected (%g, %g)", buffer, channel, frame, bin,
             actual.x(), actual.y(), expected.x(), expected.y());
    return false;
}

// Whether the transfers asked for are just one emptying of the scratch buffer
// over the channels of `mask`.
template <class Cells>
bool onlyemptied(const Cells& grids, int mask)
{
    if (grids.transfers.size() != 1)
        return false;
    const auto& t = grids.transfers.first();
    return t.source == 2 && t.destination == 2 && t.mode == 0 && t.channelmask == mask;
}

// The commits (transfers in mode 9 from the scratch buffer into the current
// layer) among the recorded transfers.
template <class Cells>
QList<typename Cells::Transfer> commits(const Cells& grids)
{
    QList<typename Cells::Transfer> list;
    for (const typename Cells::Transfer& t : grids.transfers)
        if (t.mode == 9)
            list.append(t);
    return list;
}

} // namespace tooltest
