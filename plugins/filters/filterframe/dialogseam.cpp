#include "dialogseam.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>
#include <algorithm>

#include "fitsize.h"

namespace {
filtermodalhook modalhook = nullptr;
filterfilehook filehook = nullptr;
filternoticehook noticehook = nullptr;
} // namespace

void filterframesethooks(filtermodalhook modal, filterfilehook file, filternoticehook notice)
{
    modalhook = modal;
    filehook = file;
    noticehook = notice;
}

namespace filterframe {

int runmodal(QDialog* dialog)
{
    // A narrow dialog would show its title cut short.
    dialog->setMinimumWidth(std::max(dialog->minimumWidth(), titlewidth(dialog->windowTitle())));
    return modalhook ? modalhook(dialog) : dialog->exec();
}

void warn(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    runmodal(&box);
}

QString askopenfile(QWidget* parent, const QString& caption, const QString& start)
{
    if (filehook)
        return filehook(false, caption, start, QString());
    return QFileDialog::getOpenFileName(parent, caption, start);
}

QString asksavefile(QWidget* parent, const QString& caption, const QString& filter, bool confirmoverwrite)
{
    if (filehook)
        return filehook(true, caption, QString(), filter);
    return QFileDialog::getSaveFileName(parent, caption, QString(), filter, nullptr,
                                        confirmoverwrite ? QFileDialog::Options() : QFileDialog::DontConfirmOverwrite);
}

Notice::Notice(QWidget* parent, const QString& text) : box(new QMessageBox(parent))
{
    box->setStandardButtons(QMessageBox::NoButton);
    box->setWindowModality(Qt::NonModal);
    box->setFixedWidth(300);
    box->setText(text);
    box->show();
    shown();
}

Notice::~Notice()
{
    if (box)
        box->hide();
    delete box.data();
}

void Notice::settext(const QString& text)
{
    if (!box)
        return;
    box->setText(text);
    shown();
}

bool Notice::waitfor(QProcess& process, const QString& waitingtext)
{
    // As long as a quick run takes, nothing but the notice is shown.
    const QDeadlineTimer askat(700);
    QEventLoop loop;
    QTimer tick; // the deadline is looked at even when nothing else happens
    tick.start(50);
    bool asking = false;
    bool cancelled = false;
    while (process.state() != QProcess::NotRunning && !cancelled) {
        if (!asking && box && askat.hasExpired()) {
            asking = true;
            // Modality is set on a hidden window; the program being waited
            // for keeps the keyboard.
            box->hide();
            box->setText(waitingtext);
            box->setStandardButtons(QMessageBox::Cancel);
            box->setWindowModality(Qt::ApplicationModal);
            box->setAttribute(Qt::WA_ShowWithoutActivating);
            box->show();
        }
        loop.processEvents(QEventLoop::WaitForMoreEvents
                           | (asking ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents));
        // Cancel, Escape and the close button all close the box.
        cancelled = asking && (!box || !box->isVisible());
    }
    if (cancelled && process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
    if (asking && box) {
        box->hide();
        box->setStandardButtons(QMessageBox::NoButton);
        box->setWindowModality(Qt::NonModal);
        if (!cancelled)
            box->show();
    }
    return !cancelled;
}

void Notice::shown()
{
    QApplication::processEvents();
    if (noticehook && box)
        noticehook(box);
}

} // namespace filterframe
