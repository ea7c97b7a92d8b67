#pragma once
// The second half of the start: the splash screen, the main window with its
// stored geometry, the file argument or the start window, and the event loop.
#include "startup.h"

class TabletApplication;

// Returns the event loop's result; writes "session ended" when it returns.
int runprogram(TabletApplication& app, const StartResult& start);
