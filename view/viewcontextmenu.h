#pragma once
// The main window owns the context menu of the channel views ("Snap to grid",
// "Set mouse cursor position...", "Set time cursor position...", "Set select
// area..."). It is its child QMenu of this object name; a view finds it
// through mainwindowptr, so the view library needs nothing of the shell.
inline constexpr char viewcontextmenuname[] = "viewcontextmenu";
