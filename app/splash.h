#pragma once
// The splash screen shown while the main window is built.
#include <QString>

class QSplashScreen;

QSplashScreen* makesplash();
// Left-aligned grey progress text; a null splash is ignored.
void showsplashmessage(QSplashScreen* splash, const QString& text);
