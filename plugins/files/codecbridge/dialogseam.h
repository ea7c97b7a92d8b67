#pragma once
// Every dialog of codecbridge goes through here, so that an automated caller can
// answer it: modal dialogs (message boxes, the raw PCM questions) run through
// runmodal(). What a conversion shows while it runs is the host's (its wait).
//
// A caller that must not wait for a person (the tests) resolves
// codecbridgesethooks from the loaded plugin file (QLibrary on the plugin's
// path) and installs its own answer: the modal hook gets the dialog instead of
// exec() and returns its result code (QDialog::Accepted or Rejected); it may
// set the dialog's widgets first. A null hook restores the ordinary behaviour.
#include <QtGlobal>

class QDialog;

using codecbridgemodalhook = int (*)(QDialog* dialog);

extern "C" Q_DECL_EXPORT void codecbridgesethooks(codecbridgemodalhook modal);

int runmodal(QDialog* dialog);
