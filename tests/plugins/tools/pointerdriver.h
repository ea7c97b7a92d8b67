#pragma once
// Loading a tool plugin from the build's installation root as the host does,
// and driving it with pointer events the way the host computes them: each
// event carries the change of time, frequency and pressure since the previous
// one, and the host refreshes the tool's block before every call.
#include <QDoubleSpinBox>
#include <QPluginLoader>
#include <QPointer>
#include <QTest>
#include <QToolBar>

#include <functional>

#include "interfaces.h"
#include "plugins/tools/tooldriver.h"

// Loads Plugins/Tools/<stem>.* and initialises it without a main window;
// null (with the reason in `error`) when any step fails or it has no bar.
inline ToolInterface* loadtool(QPluginLoader& loader, const QString& stem, QString& error)
{
    ToolInterface* tool = tooltest::loadtool(loader, stem, nullptr, error);
    if (tool && !tool->toolbar) {
        error = QStringLiteral("%1 has no settings bar").arg(stem);
        return nullptr;
    }
    return tool;
}

// The widgets on the tool's settings bar, in order.
inline QList<QWidget*> barwidgets(ToolInterface* tool)
{
    QList<QWidget*> widgets;
    for (QAction* action : tool->toolbar->actions())
        widgets.append(tool->toolbar->widgetForAction(action));
    return widgets;
}

// A spin box that the tool keeps on its bar without showing it, by prefix or
// suffix.
inline QDoubleSpinBox* hiddenbox(ToolInterface* tool, const QString& text)
{
    for (QDoubleSpinBox* box : tool->toolbar->findChildren<QDoubleSpinBox*>())
        if (box->prefix() == text || box->suffix() == text)
            return box;
    return nullptr;
}

// The identity a tool sets in initialize, its pictures, and a second
// initialize that keeps the bar the host holds.
inline bool identityis(ToolInterface* tool, const QPluginLoader& loader, const QString& name,
                       const QString& category, const QString& label, int barsize)
{
    QToolBar* bar = tool->toolbar;
    const bool first = tool->name == name && tool->category == category && tool->label == label
                       && tool->icon.size() == QSize(32, 32) && !tool->cursor.pixmap().isNull()
                       && tool->cursor.hotSpot() == QPoint(16, 16) && !bar->parent();
    return first && tool->initialize(loader.fileName(), nullptr) && tool->toolbar == bar
           && barwidgets(tool).size() == barsize;
}

// How a settings spin box must be set up.
struct SpinSpec
{
    QDoubleSpinBox* box;
    double minimum, maximum, step;
    int decimals;
    double value; // at start
    QString prefix, suffix, tooltip;
};

// `start` is the box's value before any test changed it.
inline bool spinboxis(const SpinSpec& e, double start)
{
    const QDoubleSpinBox* b = e.box;
    if (b && start == e.value && b->minimum() == e.minimum && b->maximum() == e.maximum
        && b->singleStep() == e.step && b->decimals() == e.decimals && b->prefix() == e.prefix
        && b->suffix() == e.suffix && b->toolTip() == e.tooltip)
        return true;
    qWarning("spin box %s%s is set up otherwise", qPrintable(e.prefix), qPrintable(e.suffix));
    return false;
}

// Shown with its bar, `shown` is visible and none of `hidden` is.
inline bool onlyshown(ToolInterface* tool, QWidget* shown, std::initializer_list<QWidget*> hidden)
{
    tool->toolbar->show();
    bool ok = QTest::qWaitForWindowExposed(tool->toolbar) && shown->isVisible();
    for (QWidget* widget : hidden)
        ok = ok && !widget->isVisible();
    tool->toolbar->hide();
    return ok;
}

// Unloading the plugin destroys its single object.
inline bool unloads(QPluginLoader& loader)
{
    QPointer<QObject> object = loader.instance();
    return loader.unload() && !object;
}

class Pointer
{
public:
    // refresh fills the block before each call, as the host does; after, if
    // given, runs once the call has returned (the host's write-back).
    Pointer(ToolInterface*& tool, std::function<void()> refresh, std::function<void()> after = {})
        : tool(tool), refresh(std::move(refresh)), after(std::move(after))
    {
    }

    // An event at (x, y) with the given pressure (0: no button).
    bool at(double x, double y, float pressure, int key = 0)
    {
        const float dx = float(x - lastx), dy = float(y - lasty), dp = pressure - lastp;
        lastx = x;
        lasty = y;
        lastp = pressure;
        refresh();
        const bool result = tool->process(float(x), float(y), pressure, dx, dy, dp, key, 0);
        if (after)
            after();
        return result;
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
    ToolInterface*& tool;
    std::function<void()> refresh;
    std::function<void()> after;
};
