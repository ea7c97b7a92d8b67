#include "toolwidgets.h"

#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QToolBar>

#include "ownthread.h"
#include "typednumber.h"

// The frame's own pictures live in this static library; registering them by
// hand keeps the linker from dropping them.
static void initframeresources()
{
    static bool done = false;
    if (!done) {
        Q_INIT_RESOURCE(toolframe);
        done = true;
    }
}

namespace toolframe {

static QString tr(const char* text)
{
    return QCoreApplication::translate("ToolPlugin", text);
}

double valueof(const QDoubleSpinBox* box)
{
    return ownthread(box)->value();
}

bool checkedof(const QAbstractButton* button)
{
    return ownthread(button)->isChecked();
}

QDoubleSpinBox* newspinbox(const SpinSetup& setup)
{
    auto* box = new TypedDoubleSpinBox();
    box->setDecimals(setup.decimals);
    box->setRange(setup.minimum, setup.maximum);
    box->setSingleStep(setup.step);
    box->setValue(setup.value);
    box->setPrefix(setup.prefix);
    box->setSuffix(setup.suffix);
    if (!setup.tooltip.isEmpty())
        box->setToolTip(setup.tooltip);
    return box;
}

QDoubleSpinBox* newfreqrange(double start)
{
    return newspinbox({0, 10000, 100, 0, start, tr("freq range:"), tr(" Hz"), {}});
}

QDoubleSpinBox* newtimerange(double start)
{
    return newspinbox({0, 10, 0.1, 2, start, tr("time range:"), tr("s"), {}});
}

QDoubleSpinBox* newsoftness(double start)
{
    return newspinbox({0, 100, 10, 0, start, tr("softness:"), tr("%"), {}});
}

QDoubleSpinBox* newstrength(double minimum, double maximum, double start, const QString& tooltip)
{
    return newspinbox({minimum, maximum, 1, 1, start, {}, tr("dB"), tooltip});
}

QPushButton* newtabletbutton()
{
    initframeresources();
    auto* button = new QPushButton();
    // Loaded at once, so that the icon does not depend on the resource later.
    button->setIcon(QIcon(QPixmap(QStringLiteral(":/resources/tablet.png"))));
    button->setToolTip(tr("use tablet pressure"));
    button->setCheckable(true);
    button->setChecked(true);
    return button;
}

QLabel* newhelplabel(const QString& text)
{
    return new QLabel(text);
}

QToolBar* newsettingsbar(std::initializer_list<QWidget*> widgets)
{
    auto* bar = new QToolBar();
    for (QWidget* widget : widgets)
        bar->addWidget(widget);
    return bar;
}

void keephidden(QToolBar* bar, std::initializer_list<QWidget*> widgets)
{
    for (QWidget* widget : widgets) {
        widget->setParent(bar);
        widget->hide();
    }
}

QPixmap loadicon(const QString& resource)
{
    return QPixmap(resource);
}

QCursor loadcursor(const QString& resource)
{
    const QPixmap picture(resource);
    if (picture.isNull())
        return QCursor();
    return QCursor(picture, -1, -1);
}

} // namespace toolframe
