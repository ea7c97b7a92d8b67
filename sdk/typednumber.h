#pragma once
// Number boxes that take what the hand types. A plain spin box refuses the
// key that takes its text beyond the range, so -50 typed into a box of -12 to
// 12 became -5: here a number beyond the range is taken and, when it applies,
// brought to the range's end. And a typed value applies when it is complete
// (Return, leaving the field, a step of the arrows or a pause in the typing),
// never at every key: a box whose value comes back to it from its receiver
// rewrote itself under the hand and lost the next digit. Shared by the program
// and the plugins' settings widgets.
#include <QDoubleSpinBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace typednumber {

// A pause this long in the typing applies what stands in the field.
constexpr int pausems = 1000;

// The number of a spin box's text without its prefix, suffix and group
// separators; false when there is none.
template <class Box>
bool number(const Box* box, QString text, double& value)
{
    if (!box->prefix().isEmpty() && text.startsWith(box->prefix()))
        text.remove(0, box->prefix().size());
    if (!box->suffix().isEmpty() && text.endsWith(box->suffix()))
        text.chop(box->suffix().size());
    text = text.trimmed();
    text.remove(box->locale().groupSeparator());
    bool ok = false;
    value = box->locale().toDouble(text, &ok);
    return ok && std::isfinite(value);
}

} // namespace typednumber

template <class Box>
class TypedNumber : public Box
{
public:
    explicit TypedNumber(QWidget* parent = nullptr) : Box(parent)
    {
        this->setKeyboardTracking(false);
        pause.setSingleShot(true);
        pause.setInterval(typednumber::pausems);
        QObject::connect(this->lineEdit(), &QLineEdit::textEdited, &pause, [this] { pause.start(); });
        QObject::connect(this, &QAbstractSpinBox::editingFinished, &pause, &QTimer::stop);
        QObject::connect(&pause, &QTimer::timeout, this, [this] { applytyped(); });
    }

    QValidator::State validate(QString& text, int& pos) const override
    {
        const QValidator::State state = Box::validate(text, pos);
        double value = 0;
        return state == QValidator::Invalid && beyond(text, value) ? QValidator::Intermediate : state;
    }

    void fixup(QString& text) const override
    {
        Box::fixup(text);
        double value = 0;
        if (!beyond(text, value))
            return;
        const double end = std::clamp(value, double(this->minimum()), double(this->maximum()));
        if constexpr (std::is_same_v<decltype(this->minimum()), int>)
            text = this->prefix() + this->textFromValue(int(end)) + this->suffix();
        else
            text = this->prefix() + this->textFromValue(end) + this->suffix();
    }

private:
    bool beyond(const QString& text, double& value) const
    {
        return typednumber::number(this, text, value) && (value < this->minimum() || value > this->maximum());
    }

    // A pause within the typing (Return and leaving the field stop the
    // timer): applied, not rewritten under the hand, which may go on typing.
    // The field shows the value as the box writes it once the typing is over.
    void applytyped()
    {
        QLineEdit* edit = this->lineEdit();
        const QString typed = edit->text();
        const int cursor = edit->cursorPosition();
        this->interpretText();
        if (edit->text() != typed) {
            edit->setText(typed);
            edit->setCursorPosition(cursor);
        }
    }

    QTimer pause;
};

using TypedSpinBox = TypedNumber<QSpinBox>;
using TypedDoubleSpinBox = TypedNumber<QDoubleSpinBox>;

// QInputDialog::getDouble for a value in [low, high]. Its box refuses the key
// that leaves the range, so it is given room far beyond both ends, and the
// answer is brought back into the range.
inline double asknumber(QWidget* parent, const QString& title, const QString& label, double value, double low,
                        double high, int decimals, bool* ok)
{
    const double room = std::max(std::fabs(low), std::fabs(high)) * 1000 + 1000;
    const double answer = QInputDialog::getDouble(parent, title, label, value, low - room, high + room, decimals, ok);
    return std::clamp(answer, low, high);
}
