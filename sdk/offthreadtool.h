#pragma once
// A tool whose steps may run off the window's thread implements OffThreadTool
// besides ToolInterface and lists it in Q_INTERFACES. Before every process
// call, on the window's thread, the host calls takesettings: the tool copies
// what its settings widgets hold, and process reads those copies only, never a
// widget. The host may then make the pointer calls (key 0) on a worker thread,
// one at a time, while the window keeps answering: a setting changed
// meanwhile counts from the next call on. Calls with a key stay on the
// window's thread, where a tool may change its widgets (and take them again).
//
// Shared by pointer between separately built host and plugins: the layout
// must never change.
#include <QtPlugin>

class OffThreadTool
{
public:
    virtual ~OffThreadTool() {}
    virtual void takesettings() = 0;
};

Q_DECLARE_INTERFACE(OffThreadTool, "com.MURROWGATE.Korvane.Plugin.OffThreadTool/1.0")
