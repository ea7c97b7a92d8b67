#include "dialogseam.h"

#include <QDialog>

namespace {
codecbridgemodalhook modalhook = nullptr;
} // namespace

void codecbridgesethooks(codecbridgemodalhook modal)
{
    modalhook = modal;
}

int runmodal(QDialog* dialog)
{
    return modalhook ? modalhook(dialog) : dialog->exec();
}
