#pragma once
// Settings widgets, icon and cursor of the tool plugins. Every widget is made
// on the heap without a parent and gets one when it is added to the settings
// tool bar; the host owns that bar (and so the widgets) from initialize on and
// deletes it. A plugin keeps guarded pointers to its widgets and never deletes
// them.
#include <QCursor>
#include <QPixmap>
#include <QString>

#include <initializer_list>

class QAbstractButton;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QToolBar;
class QWidget;

namespace toolframe {

// A spin box set up in this order: decimals, range, single step, value,
// prefix, suffix and tool tip (an empty text sets none).
struct SpinSetup
{
    double minimum = 0;
    double maximum = 0;
    double step = 1;
    int decimals = 0;
    double value = 0;
    QString prefix;
    QString suffix;
    QString tooltip;
};
QDoubleSpinBox* newspinbox(const SpinSetup& setup);

// A setting's value, read on its widget's own thread only (ownthread.h).
double valueof(const QDoubleSpinBox* box);
bool checkedof(const QAbstractButton* button);

// The brush settings common to the brush tools; only start values and the
// strength's range and tool tip differ between tools.
QDoubleSpinBox* newfreqrange(double start);  // full height, Hz
QDoubleSpinBox* newtimerange(double start);  // full width, s
QDoubleSpinBox* newsoftness(double start);   // soft edge, %
QDoubleSpinBox* newstrength(double minimum, double maximum, double start, const QString& tooltip); // dB

// Checkable button, checked at start: scale the strength by pen pressure.
QPushButton* newtabletbutton();
// One line of help text.
QLabel* newhelplabel(const QString& text);

// A tool bar without a parent holding the widgets in the given order.
QToolBar* newsettingsbar(std::initializer_list<QWidget*> widgets);
// Settings that a tool configures but does not show: hidden children of its
// bar, so that they live and die with the widgets that are shown.
void keephidden(QToolBar* bar, std::initializer_list<QWidget*> widgets);

// The tool's icon from a resource; a failed load gives a null pixmap.
QPixmap loadicon(const QString& resource);
// A cursor from a resource with its hot spot at the centre of the image; a
// failed load gives the default cursor.
QCursor loadcursor(const QString& resource);

} // namespace toolframe
