#include "splash.h"

#include <QPixmap>
#include <QSplashScreen>

QSplashScreen* makesplash()
{
    return new QSplashScreen(QPixmap(QStringLiteral(":/splash.png")));
}

void showsplashmessage(QSplashScreen* splash, const QString& text)
{
    if (splash)
        splash->showMessage(text, Qt::AlignLeft, QColor(120, 120, 120, 255));
}
