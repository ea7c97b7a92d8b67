#pragma once
// Every dialog of codecbridge goes through here, so that an automated caller can
// answer it. Modal dialogs (message boxes, the raw PCM questions) run through
// runmodal(); the progress dialog of a conversion is handed to showprogress()
// when it is created and each time the converter's output changes it.
//
// A caller that must not wait for a person (the tests) resolves
// codecbridgesethooks from the loaded plugin file (QLibrary on the plugin's
// path) and installs its own answers:
//   - the modal hook gets the dialog instead of exec() and returns its result
//     code (QDialog::Accepted or Rejected); it may set the dialog's widgets first;
//   - the progress hook sees the dialog after each change and may cancel() it.
// Null hooks restore the ordinary behaviour.
#include <QtGlobal>

class QDialog;
class QProgressDialog;

using codecbridgemodalhook = int (*)(QDialog* dialog);
using codecbridgeprogresshook = void (*)(QProgressDialog* dialog);

extern "C" Q_DECL_EXPORT void codecbridgesethooks(codecbridgemodalhook modal, codecbridgeprogresshook progress);

int runmodal(QDialog* dialog);
void showprogress(QProgressDialog* dialog);
