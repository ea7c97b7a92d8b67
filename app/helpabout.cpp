#include "helpabout.h"

#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QVBoxLayout>

#include "core/globals.h"
#include "mainwindow.h"
#include "urlopener.h"

namespace {

QString anchor(const char* address, const char* text)
{
    return QStringLiteral("<a href=\"%1\">%2</a>").arg(QLatin1String(address), QLatin1String(text));
}

// A label whose links go to the desktop's browser.
QLabel* linklabel(QWidget* parent, const QString& text, const QString& style)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::RichText);
    label->setText(text);
    label->setStyleSheet(style);
    label->setTextInteractionFlags(Qt::TextBrowserInteraction);
    QObject::connect(label, &QLabel::linkActivated, label, [](const QString& address) { openurl(QUrl(address)); });
    return label;
}

} // namespace

QUrl docurl(const QString& page)
{
    return QUrl::fromLocalFile(rootpath + QStringLiteral("/Resources/Doc/") + page);
}

QString aboutheader(const QString& version, const QString& company, const QString& domain)
{
    return QStringLiteral("<center><img src=':/stylesheets/logo.png' width=128 height=128><br><i>%1</i><br>")
               .arg(version.toHtmlEscaped())
           + QStringLiteral("<a href=\"https://%1\"><b>%2</b></a></center>")
                 .arg(domain.toHtmlEscaped(), company.toHtmlEscaped());
}

// The credits name the components this build is made with and calls, under
// their own licences; a list of others would credit what is not there.
QString aboutcredits(const QString& qtversion)
{
    return QStringLiteral("<b>Third-Party Components</b><br><br>")
           + QStringLiteral("Developped using ") + anchor("https://www.qt.io", "Qt SDK")
           + QStringLiteral(" (Qt %1) under the LGPL v3<br>").arg(qtversion)
           + QStringLiteral("The Qt libraries are linked dynamically and can be replaced.<br><br>")
           + QStringLiteral("This software uses:<br><br>")
           + anchor("https://www.opengl.org", "OpenGL") + QStringLiteral("<br>")
           + anchor("https://openal-soft.org", "OpenAL Soft") + QStringLiteral(" under the LGPL v2<br>")
           + anchor("https://github.com/mborgerding/kissfft", "Kiss FFT library")
           + QStringLiteral(" by Mark Borgerding under revised BSD License<br>")
           + anchor("https://ffmpeg.org", "FFmpeg utility")
           + QStringLiteral(" by the FFmpeg developers under the GPL v2<br>")
           + anchor("https://sox.sourceforge.net", "SoX utility")
           + QStringLiteral(" by Chris Bagwell and the SoX developers under the GPL v2<br>")
           + anchor("https://breakfastquay.com/rubberband/", "Rubber Band utility")
           + QStringLiteral(" by Chris Cannam under the GPL v2<br>");
}

void MainWindow::createaboutbox()
{
    aboutbox = new QDialog(this);
    aboutbox->setModal(true);
    aboutbox->setWindowTitle(tr("About %1").arg(QCoreApplication::applicationName()));
    aboutbox->setWindowFlags(aboutbox->windowFlags() & ~Qt::WindowContextHelpButtonHint);
    aboutbox->setStyleSheet(
        QStringLiteral("background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #303030, stop:1 #202020)"));
    auto* box = new QVBoxLayout(aboutbox);
    box->setContentsMargins(3, 3, 3, 3);
    QLabel* header = linklabel(aboutbox,
                               aboutheader(QCoreApplication::applicationVersion(),
                                           QCoreApplication::organizationName(),
                                           QCoreApplication::organizationDomain()),
                               QStringLiteral("background-color: transparent; color: #808080; padding: 0px"));
    header->setFixedHeight(160);
    box->addWidget(header);
    box->addWidget(linklabel(aboutbox, aboutcredits(QString::fromLatin1(qVersion())),
                             QStringLiteral("background-color: #808080; padding: 5px; border-radius: 4px; "
                                            "font-size: 11px;")));
}

void MainWindow::showhelp()
{
    openurl(docurl(QStringLiteral("index.htm")));
}

void MainWindow::showshortcuts()
{
    openurl(docurl(QStringLiteral("shortcuts.htm")));
}

void MainWindow::linkotherdaws()
{
    openurl(docurl(QStringLiteral("integration.htm")));
}
