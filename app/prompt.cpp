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
    if (!request.yestext.isEmpty() && box.button(QMessageBox::Yes))
        box.button(QMessageBox::Yes)->setText(request.yestext);
    const int result = box.exec();
    if (box.clickedButton() == nullptr)
        return QMessageBox::NoButton;
    return static_cast<QMessageBox::StandardButton>(result);
}

void setpromptanswerer(PromptAnswerer a)
{
    answerer() = std::move(a);
}
