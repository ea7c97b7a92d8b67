#include "dialogseam.h"

#include <QDialog>
#include <QProgressDialog>

namespace {
codecbridgemodalhook modalhook = nullptr;
codecbridgeprogresshook progresshook = nullptr;
} // namespace

void codecbridgesethooks(codecbridgemodalhook modal, codecbridgeprogresshook progress)
{
    modalhook = modal;
    progresshook = progress;
}

int runmodal(QDialog* dialog)
{
    return modalhook ? modalhook(dialog) : dialog->exec();
}

void showprogress(QProgressDialog* dialog)
{
    if (progresshook)
        progresshook(dialog);
}
