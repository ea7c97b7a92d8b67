#pragma once
// What a tool tells the host beyond the result of process. A tool that has
// something to tell implements ToolNotes besides ToolInterface and lists it in
// Q_INTERFACES; the host asks on the window's thread only, and serves a tool
// without it as before.
//
// Shared by pointer between separately built host and plugins: the layout
// must never change.
#include <QString>
#include <QtPlugin>

class ToolNotes
{
public:
    virtual ~ToolNotes() {}
    // Why the stroke that the last process call ended did nothing, in plain
    // words ("no noise is registered"); empty after every other call. The
    // host shows it once, in a box titled with the tool's name, after the
    // call that ends the stroke (which may have run off the window's thread).
    virtual QString strokenote() const = 0;
    // While true, every press in a view starts a stroke of the tool: the time
    // cursor takes no press near its line or the view's edges.
    virtual bool ownspresses() const = 0;
};

Q_DECLARE_INTERFACE(ToolNotes, "com.MURROWGATE.Korvane.Plugin.ToolNotes/1.0")
