#include "dialogseam.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <algorithm>

#include "fitsize.h"
#include "hostlink.h"

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

bool Notice::waitfor(QProcess& process, const QString& title, const QString& waitingtext)
{
    // The host's window says what is waited for, with Cancel; the notice
    // steps aside meanwhile.
    if (box)
        box->hide();
    const bool cancelled =
        hostwaitwhile(host(), title, waitingtext, [&] { return process.state() != QProcess::NotRunning; });
    if (cancelled && process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
    if (box && !cancelled)
        box->show();
    return !cancelled;
}

void Notice::shown()
{
    QApplication::processEvents();
    if (noticehook && box)
        noticehook(box);
}

} // namespace filterframe
