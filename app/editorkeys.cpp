#include "editorkeys.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QWidget>

namespace {

// Watches the application's events for one window, which owns it.
class EditorKeys : public QObject
{
public:
    explicit EditorKeys(QWidget* window) : QObject(window), window(window) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::ShortcutOverride:
            if (mustreachwindow(watched, static_cast<QKeyEvent*>(event))) {
                // Not taken here (nor by the parents, which see it next): the
                // window's shortcut gets the key.
                event->ignore();
                return true;
            }
            break;
        case QEvent::KeyPress:
            if (QWidget* f = field(watched))
                notetyping(f, static_cast<QKeyEvent*>(event));
            break;
        case QEvent::FocusIn:
            if (QWidget* f = field(watched))
                watchapply(f);
            break;
        case QEvent::FocusOut:
            if (watched == typing)
                typing = nullptr;
            break;
        default:
            break;
        }
        return false;
    }

private:
    // A text field of the window: a number box, or a line of text of its own.
    QWidget* field(QObject* object) const
    {
        auto* w = qobject_cast<QWidget*>(object);
        if (!w || w->window() != window)
            return nullptr;
        if (qobject_cast<QAbstractSpinBox*>(w))
            return w;
        if (qobject_cast<QLineEdit*>(w) && !qobject_cast<QAbstractSpinBox*>(w->parentWidget()))
            return w;
        return nullptr;
    }

    static bool modeletter(const QKeyEvent* key)
    {
        return key->key() >= Qt::Key_A && key->key() <= Qt::Key_Z
               && (key->modifiers() & ~Qt::ShiftModifier) == Qt::NoModifier;
    }

    bool mustreachwindow(QObject* watched, const QKeyEvent* key) const
    {
        auto* w = qobject_cast<QWidget*>(watched);
        if (!w || !modeletter(key) || w->window() != window)
            return false;
        return !typing || (w != typing && !typing->isAncestorOf(w));
    }

    void notetyping(QWidget* f, const QKeyEvent* key)
    {
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            typing = nullptr;
        else if (key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete
                 || (!key->text().isEmpty() && key->text().at(0).isPrint()))
            typing = f;
    }

    void watchapply(QWidget* f)
    {
        if (auto* box = qobject_cast<QAbstractSpinBox*>(f))
            connect(box, &QAbstractSpinBox::editingFinished, this, &EditorKeys::applied, Qt::UniqueConnection);
        else if (auto* line = qobject_cast<QLineEdit*>(f))
            connect(line, &QLineEdit::editingFinished, this, &EditorKeys::applied, Qt::UniqueConnection);
    }

    // Editing also finishes when the field loses the focus: the focus then
    // stays where the hand put it. Only Return, with the field still in
    // focus, hands it back.
    void applied()
    {
        auto* f = qobject_cast<QWidget*>(sender());
        if (!f || !f->hasFocus())
            return;
        typing = nullptr;
        window->setFocus(Qt::OtherFocusReason);
    }

    QWidget* window;
    QPointer<QWidget> typing; // typed in since it took the focus or was last applied
};

} // namespace

void installeditorkeys(QWidget* window)
{
    new EditorKeys(window);
}
