#include "historygui.h"

HistoryGui* historygui = nullptr;

HistoryGui::HistoryGui(MainWindow* mainwindow) : mainwindow(mainwindow)
{
    historygui = this;
}

HistoryGui::~HistoryGui()
{
    if (historygui == this)
        historygui = nullptr;
}
