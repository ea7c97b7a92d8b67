#pragma once
// The one way the shell asks the user something in a message box. Tests set an
// answerer so that nothing waits for a person; without one a modal box is shown.
#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

struct PromptRequest
{
    QWidget* parent = nullptr;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultbutton = QMessageBox::NoButton;
    QString yestext; // replaces the text of the Yes button when not empty
    bool staysontop = false; // keeps the box above other programs' windows
};

// Shows the box (or asks the answerer) and returns the button chosen; Escape
// or closing the box gives the escape button Qt picks (Cancel or No when offered).
QMessageBox::StandardButton prompt(const PromptRequest& request);

// The common boxes: a question with its buttons and no default, and a message
// (a warning, an error) with one OK button.
QMessageBox::StandardButton ask(QWidget* parent, const QString& title, const QString& text,
                                QMessageBox::StandardButtons buttons);
void tell(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text);

using PromptAnswerer = std::function<QMessageBox::StandardButton(const PromptRequest&)>;
// An empty answerer brings the modal box back.
void setpromptanswerer(PromptAnswerer answerer);
