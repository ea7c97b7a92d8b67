#pragma once
// The keyboard belongs to the editor. A mode letter (S, T, M, F and the
// others) pressed anywhere in the main window reaches the window's shortcuts,
// except inside a field being typed in; and a field of the window applied
// with Return hands the keyboard back to the window, so that the next letter
// switches a mode instead of going into the field.
class QWidget;

// Installs the rule over `window`; uninstalled when `window` goes.
void installeditorkeys(QWidget* window);
