#pragma once
// Every dialog, message box and file question of a filter goes through here,
// so that a caller that must not wait for a person can answer them.
//
// Such a caller (the tests) resolves filterframesethooks from the loaded
// plugin file (QLibrary on the plugin's path) and installs its own answers:
//   - the modal hook gets each modal dialog or message box instead of exec()
//     and returns its result code; it may set the dialog's widgets and click
//     its buttons first;
//   - the file hook answers the open (save false) or save (save true) file
//     question with a path, or an empty text for a cancelled one;
//   - the notice hook sees each progress notice after it is shown and after
//     each change of its text.
// Null hooks bring back the ordinary dialogs. Each plugin carries its own copy
// of the frame, so the hooks of one plugin do not reach another.
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QtGlobal>

class QDialog;
class QProcess;
class QWidget;

using filtermodalhook = int (*)(QDialog* dialog);
using filterfilehook = QString (*)(bool save, const QString& caption, const QString& start,
                                   const QString& filter);
using filternoticehook = void (*)(QMessageBox* notice);

extern "C" Q_DECL_EXPORT void filterframesethooks(filtermodalhook modal, filterfilehook file,
                                                  filternoticehook notice);

namespace filterframe {

int runmodal(QDialog* dialog);

// A warning box with an Ok button.
void warn(QWidget* parent, const QString& title, const QString& text);

// File questions; an empty result means cancelled.
QString askopenfile(QWidget* parent, const QString& caption, const QString& start);
// `confirmoverwrite` false: the caller writes other files than the one chosen
// and asks about those itself.
QString asksavefile(QWidget* parent, const QString& caption, const QString& filter, bool confirmoverwrite = true);

// A message box without buttons that tells the user what a long step is doing.
// It is not modal; the event loop runs once after each change so that it is
// painted before the work goes on. It disappears with the object.
class Notice
{
public:
    Notice(QWidget* parent, const QString& text);
    ~Notice();
    Notice(const Notice&) = delete;
    Notice& operator=(const Notice&) = delete;
    void settext(const QString& text);
    // Waits for `process` (started) to end under the host's wait
    // (hostlink.h): the window keeps drawing and its timers fire; after a
    // moment the host's window shows `waitingtext` under `title` with Cancel,
    // which (as Escape) kills the process. The notice is hidden meanwhile.
    // False when the wait was cancelled. Without a host it waits in place.
    bool waitfor(QProcess& process, const QString& title, const QString& waitingtext);

private:
    void shown();
    QPointer<QMessageBox> box; // gone early when its parent goes
};

} // namespace filterframe
