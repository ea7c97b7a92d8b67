#pragma once
// What the mode slots, the numeric dialogs and the move and scale machinery
// share: the mode value a sender carries, the mode cursors, and two small
// questions about the process-wide state.
#include <QCursor>

class QObject;

// The integer data of the sending action, or of a tool button's default
// action; false (and logged) when the sender carries none.
bool modevalue(QObject* sender, int& mode);

// A mode cursor from a resource image, its hot spot in the middle.
QCursor modecursor(const char* image);

// Every slot Buffer forgets what it cached, as the clipboard is about to
// change beneath them.
void resetslotbuffers();
