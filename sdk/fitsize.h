#pragma once
// Sizes given in pixels are minimums: a widget keeps at least the room that
// its text (and icon) needs in the font it is drawn with. That font may come
// after the widget is built (the application's style sheet, a dialog's own
// font, a desktop with larger fonts), so the size follows every change of
// font or style. Shared by the program and the plugins' settings widgets.
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QFontMetrics>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyleOptionSpinBox>
#include <QMetaObject>
#include <QObject>
#include <QWidget>
#include <algorithm>

namespace fitsize {

// The width of a spin box's text field (its frame, padding and buttons, as
// the style and style sheet draw them, lie around it).
inline int textfield(const QAbstractSpinBox* spin)
{
    QStyleOptionSpinBox option;
    option.initFrom(spin);
    option.buttonSymbols = spin->buttonSymbols();
    option.frame = spin->hasFrame();
    option.subControls = QStyle::SC_SpinBoxFrame | QStyle::SC_SpinBoxEditField;
    if (spin->buttonSymbols() != QAbstractSpinBox::NoButtons)
        option.subControls |= QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown;
    return spin->style()->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxEditField, spin).width();
}

// The width of a combo box's text field, beside its arrow.
inline int textfield(const QComboBox* box)
{
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.editable = box->isEditable();
    option.frame = box->hasFrame();
    return box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box).width();
}

// The widest entry of a combo box in its font.
inline int widestitem(const QComboBox* box)
{
    int widest = 0;
    for (int i = 0; i < box->count(); ++i)
        widest = std::max(widest, box->fontMetrics().horizontalAdvance(box->itemText(i)));
    return widest;
}

// The width a widget needs for what it shows. A spin box needs room for the
// text it shows, not for the widest number of its range (a box that takes
// any time would be wider than its bar); a combo box for its widest entry.
inline int need(QWidget* widget)
{
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(widget))
        return spin->width() - textfield(spin) + spin->fontMetrics().horizontalAdvance(spin->text()) + 2;
    if (auto* box = qobject_cast<QComboBox*>(widget))
        return box->width() - textfield(box) + widestitem(box) + 2;
    return widget->sizeHint().width();
}

class AtLeast : public QObject
{
public:
    AtLeast(QWidget* widget, int width, int height) : QObject(widget), widget(widget), width(width), height(height)
    {
        widget->installEventFilter(this);
        if (auto* spin = qobject_cast<QSpinBox*>(widget))
            QObject::connect(spin, &QSpinBox::textChanged, this, [this] { apply(); });
        if (auto* spin = qobject_cast<QDoubleSpinBox*>(widget))
            QObject::connect(spin, &QDoubleSpinBox::textChanged, this, [this] { apply(); });
        apply();
    }
    void apply()
    {
        if (height >= 0)
            widget->setFixedHeight(std::max(height, widget->sizeHint().height()));
        if (width >= 0)
            widget->setFixedWidth(std::max(width, fitsize::need(widget)));
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Polish:
        case QEvent::FontChange:
        case QEvent::StyleChange:
            // Measured once the widget itself has taken the change in.
            QMetaObject::invokeMethod(this, [this] { apply(); }, Qt::QueuedConnection);
            break;
        default:
            break;
        }
        return false;
    }

private:
    QWidget* widget;
    int width, height;
};

} // namespace fitsize

// The width a window needs for its whole title: the title bar draws it in a
// bold font, beside an icon and three buttons of about a line and a half each.
inline int titlewidth(const QString& title)
{
    QFont font = QApplication::font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(title) + 6 * metrics.height();
}

// Fixes the widget's width at `width` pixels or at what its contents need,
// whichever is more; the same for the height unless it is -1.
inline void fixedatleast(QWidget* widget, int width, int height = -1)
{
    new fitsize::AtLeast(widget, width, height);
}
