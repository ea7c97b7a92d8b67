#pragma once
// The window shown while sox or rubberband runs in the GUI thread: it
// appears when a run lasts more than a moment, and its Cancel ends the run.
class QWidget;

// Installs the watch over `parent`; uninstalled when `parent` goes.
void installutilitywatch(QWidget* parent);
