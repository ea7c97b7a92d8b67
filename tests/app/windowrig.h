#pragma once
// A whole main window on a temporary installation root, with the session log
// open, every message box and file chooser answered by the test, and the
// addresses handed to the desktop kept instead of opened.
#include <QApplication>
#include <QDialog>
#include <QLibrary>
#include <QMenu>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>
#include <memory>

#include "app/filechooser.h"
#include "app/mainwindow.h"
#include "app/prompt.h"
#include "app/urlopener.h"
#include "apptestsupport.h"
#include "core/log.h"

struct WindowRig
{
    std::unique_ptr<MainWindow> window;
    QList<PromptRequest> asked;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    QList<FileRequest> filerequests;
    QString fileanswer; // empty: the chooser was cancelled
    QList<QUrl> opened;

    explicit WindowRig(const QString& root = QString())
    {
        // Qt's complaint about a style sheet of ours (a colour it cannot read,
        // a rule it cannot parse) fails the test that built the window.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QCssParser|[Ss]tyle ?[Ss]heet")));
        kvtestfolders();
        if (!root.isEmpty())
            rootpath = root;
        identify();
        if (logfilepath().isEmpty()) {
            sessionid = QDateTime::currentDateTime().toString("yyyy.MM.dd-HH.mm.ss.zzz");
            loginit(2);
        }
        setpromptanswerer([this](const PromptRequest& r) {
            asked << r;
            return answer;
        });
        setfileanswerer([this](const FileRequest& r) {
            filerequests << r;
            return fileanswer;
        });
        seturlopener([this](const QUrl& url) {
            opened << url;
            return true;
        });
        window = std::make_unique<MainWindow>(static_cast<QSplashScreen*>(nullptr));
        // The file plugin's own boxes (a file it cannot decode) are answered as well.
        QLibrary codec(rootpath + "/Plugins/Files/codecbridge.so");
        using modalhook = int (*)(QDialog*);
        if (auto sethooks = reinterpret_cast<void (*)(modalhook)>(codec.resolve("codecbridgesethooks")))
            sethooks(&codecbridgeanswer);
    }
    // Every codecbridge message box is closed with Ok, every other dialog of it declined.
    static int codecbridgeanswer(QDialog* dialog)
    {
        return qobject_cast<QMessageBox*>(dialog) ? int(QMessageBox::Ok) : int(QDialog::Rejected);
    }
    ~WindowRig()
    {
        window.reset();
        setpromptanswerer({});
        setfileanswerer({});
        seturlopener({});
    }
    MainWindow* operator->() const { return window.get(); }

    // The names the settings store is kept under, also for values a test
    // stores before the window is built.
    static void identify()
    {
        QCoreApplication::setApplicationName("Korvane");
        QCoreApplication::setOrganizationName("Murrowgate");
        QCoreApplication::setApplicationVersion("1.0");
    }
};

// Texts of a menu's entries, "—" for a separator, "[title]" before a submenu's entries.
inline QStringList menutexts(const QMenu* menu)
{
    QStringList texts;
    for (QAction* a : menu->actions())
        texts << (a->isSeparator() ? QStringLiteral("—") : a->text());
    return texts;
}

// The entry `text` of the submenu titled `submenu` (a device category).
inline QAction* submenuentry(const QMenu* menu, const QString& submenu, const QString& text)
{
    for (QAction* a : menu->actions())
        if (a->menu() && a->text() == submenu)
            for (QAction* d : a->menu()->actions())
                if (d->text() == text)
                    return d;
    return nullptr;
}
