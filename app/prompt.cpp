#include "prompt.h"

#include <QAbstractButton>

namespace {
PromptAnswerer& answerer()
{
    static PromptAnswerer current;
    return current;
}
} // namespace

QMessageBox::StandardButton prompt(const PromptRequest& request)
{
    if (answerer())
        return answerer()(request);
    QMessageBox box(request.icon, request.title, request.text, request.buttons, request.parent);
    box.setDefaultButton(request.defaultbutton);
    if (request.staysontop)
        box.setWindowFlags(box.windowFlags() | Qt::WindowStaysOnTopHint);
    if (!request.yestext.isEmpty() && box.button(QMessageBox::Yes))
        box.button(QMessageBox::Yes)->setText(request.yestext);
    const int result = box.exec();
    if (box.clickedButton() == nullptr)
        return QMessageBox::NoButton;
    return static_cast<QMessageBox::StandardButton>(result);
}

QMessageBox::StandardButton ask(QWidget* parent, const QString& title, const QString& text,
                                QMessageBox::StandardButtons buttons)
{
    PromptRequest request;
    request.parent = parent;
    request.icon = QMessageBox::Question;
    request.title = title;
    request.text = text;
    request.buttons = buttons;
    return prompt(request);
}

void tell(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text)
{
    PromptRequest request;
    request.parent = parent;
    request.icon = icon;
    request.title = title;
    request.text = text;
    prompt(request);
}

void setpromptanswerer(PromptAnswerer a)
{
    answerer() = std::move(a);
}
