// The start window: import a file, make a new layer or open a project, reopen
// a recent project, or read the introduction pages.
#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QSettings>
#include <QToolButton>

#include "core/fileutils.h"
#include "core/globals.h"
#include "helpabout.h"
#include "mainwindow.h"
#include "sessionfolder.h"
#include "urlopener.h"

namespace {

const QString startupkey = QStringLiteral("showstartupwindow");

// A button that shows `action` with the face given here. The face is put back
// whenever the action changes (enabled state, tips), which would otherwise
// reset the button to the action's own text and tips.
QToolButton* actionbutton(QWidget* parent, QDialog* dialog, QAction* action, const QString& text, const QIcon& icon)
{
    auto* button = new QToolButton(parent);
    button->setDefaultAction(action);
    const QString tip = action->statusTip();
    const auto face = [button, text, icon, tip] {
        if (!text.isEmpty())
            button->setText(text);
        if (!icon.isNull())
            button->setIcon(icon);
        button->setToolTip(tip);
        button->setStatusTip(tip);
    };
    face();
    QObject::connect(action, &QAction::changed, button, face);
    QObject::connect(button, &QToolButton::clicked, dialog, &QDialog::hide);
    return button;
}

QString bannertext()
{
    const auto address = [](const char* page) {
        return docurl(QLatin1String(page)).toString(QUrl::FullyEncoded).toHtmlEscaped();
    };
    return QStringLiteral("<a href=\"%1\">Introduction</a><br/><a href=\"%2\">Video Tutorials</a><br/>")
        .arg(address("intro.htm"), address("quickstart.htm"));
}

} // namespace

void MainWindow::ShowStartDialog()
{
    delete startwindow;
    auto* dialog = new QDialog(this);
    startwindow = dialog;
    dialog->setModal(false);
    dialog->setWindowTitle(QStringLiteral("New Project"));
    dialog->setFixedWidth(280);
    dialog->setMinimumHeight(180);
    dialog->setWindowFlags(dialog->windowFlags() & ~Qt::WindowContextHelpButtonHint);
    dialog->setContentsMargins(0, 0, 0, 0);
    auto* grid = new QGridLayout(dialog);
    grid->setContentsMargins(0, 2, 0, 2);

    auto* banner = new QLabel(bannertext(), dialog);
    banner->setTextFormat(Qt::RichText);
    banner->setTextInteractionFlags(Qt::TextBrowserInteraction);
    connect(banner, &QLabel::linkActivated, banner, [](const QString& address) { openurl(QUrl(address)); });
    banner->setAlignment(Qt::AlignRight | Qt::AlignTop);
    banner->setFixedHeight(40);
    banner->setStyleSheet(QStringLiteral(
        "background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 rgba(255,255,255,20), stop:1 rgba(255,255,255,10));"
        " background-image: url(:/stylesheets/banner.png); padding: 2px; border: 1px solid rgba(0,0,0,20);"));
    grid->addWidget(banner, 0, 0, 1, -1);

    const struct
    {
        QAction* action;
        const char* text;
    } large[3] = {{importact, nullptr}, {newlayeract, "New Layer"}, {openprojectact, nullptr}};
    for (int column = 0; column < 3; ++column) {
        if (!large[column].action)
            continue;
        QToolButton* button =
            actionbutton(this, dialog, large[column].action, QLatin1String(large[column].text), QIcon());
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setFixedSize(80, 48);
        grid->addWidget(button, 1, column);
    }

    auto* recent = new QLabel(QStringLiteral("Recent Projects:"), dialog);
    recent->setStyleSheet(QStringLiteral("font-size: 15px;"));
    grid->addWidget(recent, 2, 0, 1, 2);

    int row = 3;
    const QIcon linkicon(transparencyicon(QStringLiteral(":/icons/New.png")));
    for (int i = 0; i < projectmax && i < 10 && recentacts[i]; ++i) {
        if (recentacts[i]->text().isEmpty())
            continue;
        QToolButton* link = actionbutton(nullptr, dialog, recentacts[i], QString(), linkicon);
        link->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        link->setObjectName(QStringLiteral("Link"));
        link->setFixedSize(280, 16);
        grid->addWidget(link, row++, 0, 1, -1);
    }

    // After a run that died, its work is one click away.
    if (recoveract && !endedsession(sessionpath, sessionid).isEmpty()) {
        QToolButton* link = actionbutton(nullptr, dialog, recoveract,
                                         QStringLiteral("Recover the session of a run that did not end normally"),
                                         QIcon(transparencyicon(QStringLiteral(":/icons/Open.png"))));
        link->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        link->setObjectName(QStringLiteral("Link"));
        link->setFixedSize(280, 16);
        grid->addWidget(link, row++, 0, 1, -1);
    }

    auto* check = new QCheckBox(QStringLiteral("Show window at startup"), dialog);
    check->setChecked(QSettings().value(startupkey, true).toBool());
    connect(check, &QCheckBox::toggled, this, &MainWindow::ShowStartCheck);
    grid->addWidget(check, row, 0, 1, -1, Qt::AlignBottom);

    dialog->show();
}

void MainWindow::ShowStartCheck(bool show)
{
    QSettings().setValue(startupkey, show);
}
