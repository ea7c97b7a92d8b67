#pragma once
// The system's requests to end (SIGTERM, SIGINT, SIGHUP), caught from the
// first moment of the program's life: until the main window can close itself
// they are remembered, so that start-up ends in order instead of being killed.
#include <functional>

// Installs the handlers; called first thing in the program entry.
void catchendsignals();
// True once an end signal has arrived.
bool endsignalled();
// Once the application object exists: `act` runs in the GUI thread's event
// loop for every end signal from now on, and for one that arrived before it
// was set. It replaces the previous action.
void setendaction(std::function<void()> act);
