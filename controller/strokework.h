#pragma once
// One step of a tool stroke can take long (a wide brush at a long window reads
// and writes many frames): it runs on a worker thread while the GUI thread
// goes on handling events, so that the views keep drawing and the pointer and
// Escape are heard. Input meanwhile reaches only the channel views (pointer,
// left button, wheel, keys) and the Escape shortcut; other input is dropped,
// as under a modal window, since it could change what the step works on.
#include <functional>

class QObject;
class QWidget;

namespace strokework {

// Runs `work` on a worker thread and returns once it has ended; when it takes
// more than a moment the event loop runs meanwhile under the rule above:
// `views` holds the widgets that take input, `escape` is the shortcut that is
// let through.
void run(const std::function<void()>& work, QWidget* views, QObject* escape);

// Whether a tool plugin object lets its pointer events be processed off the
// GUI thread (its dynamic property "offguithread").
bool offguithread(const QObject* tool);

} // namespace strokework
