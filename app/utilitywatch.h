#pragma once
// The window of the one wait (core/utility.h), shown while work that can be
// cancelled runs: it appears when the work lasts more than a moment, shows
// its progress, and its Cancel (or Escape) ends the work.
class QWidget;

// Installs the watch over `parent`; uninstalled when `parent` goes.
void installutilitywatch(QWidget* parent);
