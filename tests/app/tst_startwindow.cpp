#include <QCheckBox>
#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "app/sessionlock.h"
#include "windowrig.h"

// The start window: its cells, its links, what its buttons do and the setting
// that decides whether it opens at start.
class TestStartWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { WindowRig::identify(); }
    void init()
    {
        QSettings().clear();
        projectmax = 5;
    }
    void cellsAndRecentLinks();
    void noRecentProjects();
    void buttonsTriggerAndHide();
    void startupSetting();
    void reopeningReplaces();
    void bannerLinks();
    void dialogLinksAreConnected();
    void offersTheSessionOfARunThatDied();

private:
    static QWidget* cell(QDialog* dialog, int row, int column)
    {
        auto* grid = static_cast<QGridLayout*>(dialog->layout());
        QLayoutItem* item = grid->itemAtPosition(row, column);
        return item ? item->widget() : nullptr;
    }
};

void TestStartWindow::cellsAndRecentLinks()
{
    QSettings().setValue("recentFileList", QStringList{"/p/one.kvp", "/p/two.kvx"});
    projectmax = 3;
    WindowRig w;
    w->ShowStartDialog();
    QDialog* s = w->startwindow;
    QVERIFY(s && s->isVisible() && !s->isModal());
    QCOMPARE(s->parentWidget(), w.window.get());
    QCOMPARE(s->windowTitle(), QString("New Project"));
    auto* banner = qobject_cast<QLabel*>(cell(s, 0, 0));
    QVERIFY(banner && banner->text().contains(">Introduction</a><br/>"));
    QVERIFY(!QImage(":/stylesheets/banner.png").isNull());

    QAction* large[3] = {w->importact, w->newlayeract, w->openprojectact};
    for (int column = 0; column < 3; ++column) {
        auto* b = qobject_cast<QToolButton*>(cell(s, 1, column));
        QVERIFY(b);
        QCOMPARE(b->defaultAction(), large[column]);
        QCOMPARE(b->toolTip(), large[column]->statusTip());
        QCOMPARE(b->statusTip(), large[column]->statusTip());
    }
    auto* newlayer = qobject_cast<QToolButton*>(cell(s, 1, 1));
    QCOMPARE(newlayer->text(), QString("New Layer"));
    // The layer state changes the action while the window is open; the face stays.
    const QString tip = newlayer->toolTip();
    w->layerstate(false, false, false);
    w->newlayeract->setStatusTip("something else");
    QCOMPARE(newlayer->text(), QString("New Layer"));
    QCOMPARE(newlayer->toolTip(), tip);

    auto* label = qobject_cast<QLabel*>(cell(s, 2, 0));
    QVERIFY(label);
    QCOMPARE(label->text(), QString("Recent Projects:"));
    for (int row = 3; row < 5; ++row) {
        auto* link = qobject_cast<QToolButton*>(cell(s, row, 0));
        QVERIFY(link);
        QCOMPARE(link->defaultAction(), w->recentacts[row - 3]);
        QCOMPARE(link->objectName(), QString("Link")); // drawn as a link by the style sheet
        QCOMPARE(link->toolTip(), QString("Open previous project"));
    }
    QCOMPARE(qobject_cast<QToolButton*>(cell(s, 3, 0))->text(), QString("1 one.kvp"));
    QCOMPARE(qobject_cast<QToolButton*>(cell(s, 4, 0))->text(), QString("2 two.kvx"));
    auto* check = qobject_cast<QCheckBox*>(cell(s, 5, 0));
    QVERIFY(check);
    QCOMPARE(check->text(), QString("Show window at startup"));
    QVERIFY(check->isChecked());
}

void TestStartWindow::noRecentProjects()
{
    QSettings().setValue("recentFileList", QStringList{"/p/one.kvp"});
    projectmax = 0;
    WindowRig w;
    w->ShowStartDialog();
    QVERIFY(qobject_cast<QLabel*>(cell(w->startwindow, 2, 0)));
    QVERIFY(qobject_cast<QCheckBox*>(cell(w->startwindow, 3, 0)));
    QVERIFY(w->startwindow->findChildren<QToolButton*>("Link").isEmpty());
}

void TestStartWindow::buttonsTriggerAndHide()
{
    QSettings().setValue("recentFileList", QStringList{"/p/one.kvp"});
    WindowRig w;
    w->ShowStartDialog();
    QSignalSpy imported(w->importact, &QAction::triggered);
    qobject_cast<QToolButton*>(cell(w->startwindow, 1, 0))->click();
    QCOMPARE(imported.size(), 1);
    QVERIFY(w->startwindow->isHidden());

    w->ShowStartDialog();
    QSignalSpy reopened(w->recentacts[0], &QAction::triggered);
    qobject_cast<QToolButton*>(cell(w->startwindow, 3, 0))->click();
    QCOMPARE(reopened.size(), 1);
    QVERIFY(w->startwindow->isHidden());

    // The title bar's close hides the window and triggers nothing.
    w->ShowStartDialog();
    QList<QSignalSpy*> spies;
    for (QAction* a : {w->importact, w->newlayeract, w->openprojectact, w->recentacts[0]})
        spies << new QSignalSpy(a, &QAction::triggered);
    w->startwindow->close();
    QVERIFY(w->startwindow->isHidden());
    for (QSignalSpy* spy : spies)
        QCOMPARE(spy->size(), 0);
    qDeleteAll(spies);
}

void TestStartWindow::startupSetting()
{
    WindowRig w;
    w->ShowStartDialog();
    auto* check = w->startwindow->findChild<QCheckBox*>();
    check->setChecked(false);
    QCOMPARE(QSettings().value("showstartupwindow"), QVariant(false));
    w->ShowStartDialog();
    QVERIFY(!w->startwindow->findChild<QCheckBox*>()->isChecked());
    w->startwindow->findChild<QCheckBox*>()->setChecked(true);
    QCOMPARE(QSettings().value("showstartupwindow"), QVariant(true));

    // "New Project" still opens it, after the project was closed.
    QSettings().setValue("showstartupwindow", false);
    w->startwindow->hide();
    w->newprojectact->trigger();
    QVERIFY(w->startwindow->isVisible());
}

void TestStartWindow::reopeningReplaces()
{
    WindowRig w;
    w->ShowStartDialog();
    QPointer<QDialog> first = w->startwindow;
    w->ShowStartDialog();
    QVERIFY(first.isNull());
    int windows = 0;
    for (QDialog* d : w->findChildren<QDialog*>())
        windows += d->windowTitle() == "New Project";
    QCOMPARE(windows, 1);
}

void TestStartWindow::bannerLinks()
{
    QTemporaryDir odd(QDir::tempPath() + "/root #1 X-XXXXXX");
    WindowRig w(odd.path());
    w->ShowStartDialog();
    auto* banner = qobject_cast<QLabel*>(cell(w->startwindow, 0, 0));
    const QRegularExpression href("href=\"([^\"]+)\"");
    for (auto it = href.globalMatch(banner->text()); it.hasNext();)
        emit banner->linkActivated(it.next().captured(1).replace("&amp;", "&"));
    QCOMPARE(w.opened.size(), 2);
    // The installation path's '#' and blank stay part of the file's path.
    QCOMPARE(w.opened.at(0).toLocalFile(), odd.path() + "/Resources/Doc/intro.htm");
    QCOMPARE(w.opened.at(1).toLocalFile(), odd.path() + "/Resources/Doc/quickstart.htm");
    QVERIFY(w->startwindow->isVisible());
}

void TestStartWindow::dialogLinksAreConnected()
{
    WindowRig w;
    const QStringList methods = {"ShowStartDialog()", "on_loadlayout()", "on_savelayout()", "showlog()",
                                 "showhelp()", "showshortcuts()", "linkotherdaws()", "openRecentFile()", "show()"};
    int seen = 0;
    for (const SignalLink& link : w->signallinks().links())
        if (methods.contains(QString::fromLatin1(link.method)) && link.sender && link.sender->parent() == w.window.get()
            && qobject_cast<QAction*>(link.sender)) {
            QVERIFY2(link.connected, qPrintable(SignalLinks::describe(link)));
            ++seen;
        }
    QCOMPARE(seen, 9 + projectmax); // each recent action has its own link
    w->advancedact->trigger();
    QVERIFY(w->advanceddialog->isVisible());
    w->aboutact->trigger();
    QVERIFY(w->aboutbox->isVisible());
}

void TestStartWindow::offersTheSessionOfARunThatDied()
{
    projectmax = 0;
    WindowRig w;
    const auto recoverlink = [&]() -> QToolButton* {
        for (QToolButton* link : w->startwindow->findChildren<QToolButton*>("Link"))
            if (link->defaultAction() == w->recoveract)
                return link;
        return nullptr;
    };
    w->ShowStartDialog();
    QVERIFY(!recoverlink());

    const QString id = "2001.02.03-04.05.06.789";
    QFile session(sessionpath + "/session(" + id + ").kvx");
    QVERIFY(session.open(QIODevice::WriteOnly));
    session.close();
    // Its run still going: nothing to recover.
    {
        InstanceLock running;
        QVERIFY(running.acquire(sessionpath, id));
        w->ShowStartDialog();
        QVERIFY(!recoverlink());
    }
    w->ShowStartDialog();
    QToolButton* link = recoverlink();
    QVERIFY(link);
    QCOMPARE(link->text(), QString("Recover the session of a run that did not end normally"));
    QCOMPARE(cell(w->startwindow, 3, 0), link);
    QSignalSpy recovered(w->recoveract, &QAction::triggered);
    link->click();
    QCOMPARE(recovered.size(), 1);
    QVERIFY(w->startwindow->isHidden());
    session.remove();
}

QTEST_MAIN(TestStartWindow)
#include "tst_startwindow.moc"
