#include "channelsgui.h"

ChannelsGui* channelsgui = nullptr;

ChannelsGui::ChannelsGui(QWidget* mainwindow) : mainwindow(mainwindow)
{
    channelsgui = this;
}

ChannelsGui::~ChannelsGui()
{
    if (channelsgui == this)
        channelsgui = nullptr;
}
