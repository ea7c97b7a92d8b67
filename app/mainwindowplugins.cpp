// Where the loaded plugins go: file plugins to the layer panel, devices to the
// Playback and Record menus, tools to the groups of the Tools bar with their
// settings pages, filters to the Filters menu; the Plugins dialog lists them
// all. Also the enabling of the window's items by the layer state.
#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDial>
#include <QDialog>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalMapper>
#include <QSlider>
#include <QSpinBox>
#include <QSplashScreen>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "controller/spectrumgui.h"
#include "core/fileutils.h"
#include "core/globals.h"
#include "prompt.h"
#include "mainwindow.h"
#include "panels/layersgui.h"
#include "pluginhost.h"
#include "qtoolbarext.h"
#include "sdk/interfaces.h"
#include "splash.h"

namespace {
const QString spectrum = QStringLiteral("SpectrumGui");
} // namespace

class MainWindowPlacement : public PluginPlacement
{
public:
    MainWindowPlacement(MainWindow* window, QSplashScreen* splash) : window(window), splashscreen(splash) {}

    void splash(const QString& text) override { showsplashmessage(splashscreen, text); }
    void listed(const QString& file, const QString& type, const QString& description) override
    {
        auto* row = new QTreeWidgetItem(window->pluginslist);
        row->setText(0, file);
        row->setText(1, type);
        row->setText(2, description);
    }
    void files(const QList<FileInterface*>& plugins) override
    {
        for (FileInterface* plugin : plugins)
            window->invoke(layersgui, "LayersGui", "AddPlugin(FileInterface*)",
                           Q_ARG(FileInterface*, plugin));
    }
    void devices(const QList<DeviceInterface*>& plugins) override { window->placedevices(plugins); }
    void tools(const QList<ToolInterface*>& plugins) override { window->placetools(plugins); }
    void adopttoolbars(const QList<ToolInterface*>& plugins) override
    {
        for (ToolInterface* tool : plugins)
            if (tool->toolbar && !window->tooltoolbars.contains(tool))
                window->tooltoolbars.append(tool);
    }
    void filters(const QList<FilterInterface*>& plugins) override { window->placefilters(plugins); }
    // The file exchange filters get a submenu of their own after the others,
    // without the preview hook: what they produce is not a sound to play.
    void iofilters(const QList<FilterInterface*>& plugins) override
    {
        if (plugins.isEmpty())
            return;
        QMenu* io = window->filtersmenu->addMenu(QStringLiteral("IO"));
        for (FilterInterface* filter : plugins) {
            auto* action = new QAction(filter->label, window);
            action->setData(QVariant::fromValue(filter));
            io->addAction(action);
            window->links.add(action, "triggered()", spectrumgui, spectrum, "infilter()");
        }
        window->links.connectall();
    }

private:
    MainWindow* window;
    QSplashScreen* splashscreen;
};

void MainWindow::loadplugins(QSplashScreen* splash)
{
    pluginsdialog = new QDialog(this);
    pluginsdialog->setModal(true);
    pluginsdialog->setWindowTitle(QStringLiteral("Plugins"));
    pluginsdialog->setFixedSize(500, 400);
    pluginslist = new QTreeWidget(pluginsdialog);
    pluginslist->setRootIsDecorated(false);
    pluginslist->setColumnCount(3);
    pluginslist->setHeaderLabels({tr("Plugin File"), tr("Type"), tr("Description")});
    pluginslist->setColumnWidth(0, 130);
    pluginslist->setColumnWidth(1, 50);
    pluginslist->setColumnWidth(2, 290);
    auto* layout = new QVBoxLayout(pluginsdialog);
    layout->addWidget(pluginslist);
    connect(pluginsact, &QAction::triggered, pluginsdialog, &QDialog::show);

    MainWindowPlacement placement(this, splash);
    ::loadplugins(rootpath, QCoreApplication::applicationVersion(), this, placement);
}

void MainWindow::placedevices(const QList<DeviceInterface*>& devices)
{
    struct Pass
    {
        QMenu** menu;
        const char* title;
        QActionGroup** group;
        QStringList DeviceInterface::*list;
        const char* slot;
        QAction** settings;
        const char* settingsslot;
        QAction** restart;
        const char* restartslot;
    };
    const Pass passes[] = {
        {&playbackmenu, "Playback", &playbackdevices, &DeviceInterface::playdevices, "indeviceplay()",
         &playsettingsact, "indeviceplaysettings()", &playrestartact, "indeviceplayrestart()"},
        {&recordmenu, "Record", &recorddevices, &DeviceInterface::recorddevices, "indevicerecord()",
         &recordsettingsact, "indevicerecordsettings()", &recordrestartact, "indevicerecordrestart()"},
    };
    for (const Pass& pass : passes) {
        *pass.menu = new QMenu(QString::fromLatin1(pass.title), this);
        devicesmenu->addMenu(*pass.menu);
        *pass.group = new QActionGroup(this);
        (*pass.group)->setExclusive(true);
        for (DeviceInterface* device : devices) {
            const QStringList& descriptions = device->*pass.list;
            if (device->category.isEmpty() || descriptions.isEmpty())
                continue;
            QMenu* sub = (*pass.menu)->addMenu(device->category);
            for (const QString& description : descriptions) {
                auto* action = new QAction(description, this);
                action->setCheckable(true);
                action->setData(QVariant::fromValue(device));
                (*pass.group)->addAction(action);
                sub->addAction(action);
                links.add(action, "triggered()", spectrumgui, spectrum, pass.slot);
            }
        }
        (*pass.menu)->addSeparator();
        *pass.settings = (*pass.menu)->addAction(QStringLiteral("Settings..."));
        links.add(*pass.settings, "triggered()", spectrumgui, spectrum, pass.settingsslot);
        *pass.restart = (*pass.menu)->addAction(QStringLiteral("Restart Device"));
        links.add(*pass.restart, "triggered()", spectrumgui, spectrum, pass.restartslot);
    }
    links.connectall();
}

namespace {
const char* const toolcategories[5] = {"Info", "Extract", "Modify", "Draw", ""};

QWidget* toolgroup(QWidget* parent, const QString& category)
{
    auto* group = new QWidget(parent);
    group->setObjectName(category);
    auto* layout = new QGridLayout(group);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* header = new QLabel(category.isEmpty() ? QString() : category + QLatin1Char(':'), group);
    header->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    header->setStyleSheet(QStringLiteral(
        "font-size: 9px; border-top: 1px solid qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 rgba(0,0,0,30), "
        "stop:1 rgba(0,0,0,10));"));
    header->setFixedHeight(16);
    layout->addWidget(header, 0, 0, 1, -1);
    return group;
}

QToolButton* toolbutton(QWidget* parent, QAction* action)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QStringLiteral("Tool"));
    button->setDefaultAction(action);
    return button;
}
} // namespace

void MainWindow::placetools(const QList<ToolInterface*>& tools)
{
    expandbutton = new QToolButton(toolsbar);
    expandbutton->setCheckable(true);
    expandbutton->setObjectName(QStringLiteral("expand"));
    expandbutton->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Minimum);
    toolsbar->addWidget(expandbutton);
    toolsbar->setFloatable(false);
    toolsbar->setMovable(false);
    connect(expandbutton, &QToolButton::toggled, this, &MainWindow::toolexpand);

    QList<ToolInterface*> remaining = tools;
    int n = 1;
    for (const char* name : toolcategories) {
        const QString category = QString::fromLatin1(name);
        QWidget* narrow = toolgroup(toolsbar, category);
        narrow->setFixedSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        toolsbar->addWidget(narrow);
        toolgroups1.append(narrow);
        QWidget* wide = toolgroup(toolsbar, category);
        wide->setFixedSize(0, 0);
        toolsbar->addWidget(wide);
        toolgroups2.append(wide);
        int k = 0;
        for (auto it = remaining.begin(); it != remaining.end();) {
            ToolInterface* tool = *it;
            if (!category.isEmpty() && tool->category != category) {
                ++it;
                continue;
            }
            auto* action = new QAction(QIcon(transparencyicon(tool->icon)),
                                       tool->category + QStringLiteral(": ") + tool->label, this);
            action->setCheckable(true);
            action->setData(QVariant::fromValue(tool));
            toolmodes->addAction(action);
            QString suffix;
            if (n <= 10)
                action->setShortcut(QKeySequence(Qt::Key(Qt::Key_0 + n % 10)));
            else if (n <= 20)
                action->setShortcut(QKeySequence(Qt::ALT | Qt::Key(Qt::Key_0 + (n - 10) % 10)));
            if (n <= 9)
                suffix = QStringLiteral(" [%1]").arg(n);
            else if (n == 10)
                suffix = QStringLiteral(" [0]");
            else if (n <= 19)
                suffix = QStringLiteral(" [alt+%1]").arg(n - 10);
            else if (n == 20)
                suffix = QStringLiteral(" [alt+0]");
            action->setStatusTip(action->text() + suffix);
            static_cast<QGridLayout*>(narrow->layout())->addWidget(toolbutton(narrow, action), k + 1, 0);
            static_cast<QGridLayout*>(wide->layout())->addWidget(toolbutton(wide, action), k / 2 + 1, k % 2);
            if (tool->toolbar)
                toolsettings->addWidget(tool->toolbar);
            pagemapper->setMapping(action, n);
            links.add(action, "toggled(bool)", spectrumgui, spectrum, "intool(bool)");
            links.add(action, "triggered()", pagemapper, QStringLiteral("page mapper"), "map()");
            toolactions.append(action);
            it = remaining.erase(it);
            ++n;
            ++k;
        }
    }
    links.add(toolsbar, "noActionClicked()", spectrumgui, spectrum, "notool()");
    links.connectall();
}

void MainWindow::placefilters(const QList<FilterInterface*>& filters)
{
    QList<QMenu*> submenus;
    for (FilterInterface* filter : filters) {
        QMenu* target = filtersmenu;
        if (!filter->category.isEmpty()) {
            target = nullptr;
            for (QMenu* sub : submenus)
                if (sub->title() == filter->category)
                    target = sub;
            if (!target) {
                target = new QMenu(filter->category, this);
                filtersmenu->addMenu(target);
                submenus.append(target);
            }
        }
        auto* action = new QAction(filter->label, this);
        action->setData(QVariant::fromValue(filter));
        target->addAction(action);
        links.add(action, "triggered()", spectrumgui, spectrum, "infilter()");
        filter->previewhook = &MainWindow::previewclipboard;
    }
    links.connectall();
}

void MainWindow::toolexpand(bool expand)
{
    for (QWidget* w : toolgroups1)
        w->setFixedSize(expand ? QSize(0, 0) : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    for (QWidget* w : toolgroups2)
        w->setFixedSize(expand ? QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX) : QSize(0, 0));
}

namespace {
// An action or a widget, enabled and given its status tip the same way.
struct StateItem
{
    QAction* action = nullptr;
    QWidget* widget = nullptr;
    bool enabled() const { return action ? action->isEnabled() : widget->isEnabled(); }
    QString tip() const { return action ? action->statusTip() : widget->statusTip(); }
    QObject* object() const { return action ? static_cast<QObject*>(action) : widget; }
    void set(bool on, const QString& tip) const
    {
        if (action) {
            action->setEnabled(on);
            action->setStatusTip(tip);
        } else {
            widget->setEnabled(on);
            widget->setStatusTip(tip);
        }
    }
};

void collecttools(const QList<QWidget*>& groups, const char* category, QList<StateItem>& items)
{
    for (QWidget* group : groups)
        if (group->objectName() == QLatin1String(category))
            for (QToolButton* b : group->findChildren<QToolButton*>(QStringLiteral("Tool")))
                if (b->defaultAction())
                    items.append({b->defaultAction(), nullptr});
}
} // namespace

void MainWindow::layerstate(bool exist, bool selected, bool multi)
{
    QList<StateItem> classes[3];
    for (QWidget* w : std::initializer_list<QWidget*>{historydock, channelsdock})
        classes[0].append({nullptr, w});
    for (QAction* a : {closeact, undoact, redoact, snapact, selectact[0], selectact[1], selectact[2], moveact[0],
                       moveact[1], moveact[2], scaleact[0], scaleact[1], scaleact[2], copyact, inserttimeact,
                       removetimeact, setmouseact, settimecursoract, setselectact, mergeactiveact, mergeallact,
                       resampleact, timecursoract, rewindact, panact[0], panact[1], panact[2], zoomact[0],
                       zoomact[1], zoomact[2], displaceact})
        classes[0].append({a, nullptr});
    for (QWidget* w : std::initializer_list<QWidget*>{
             playbutton, volumespin, volumedial, pausebox, scrollbox, smartbox, ffttypebox, fftsizebox, fftoverlapbox,
             subwinbox, zebraspin, zebraslider, multspin, multslider, gammaspin, gammaslider, gridbox, bilinbox,
             dispstart, dispend, displength, displow, disphigh, disprange, dispsize, dispangle, resetviewbutton})
        classes[0].append({nullptr, w});
    collecttools(toolgroups1 + toolgroups2, "Info", classes[0]);
    for (QAction* a : {deleteact, cutact, pasteact, duplicateact, deletelayeract, propertiesact, zoomextentsact,
                       calibrateact, moveupact, movedownact, mergedownact, recordact})
        classes[1].append({a, nullptr});
    if (filtersmenu)
        for (QAction* a : filtersmenu->actions())
            classes[1].append({a, nullptr});
    collecttools(toolgroups1 + toolgroups2, "Modify", classes[1]);
    collecttools(toolgroups1 + toolgroups2, "Draw", classes[1]);
    collecttools(toolgroups1 + toolgroups2, "Extract", classes[2]);

    const QString nolayer = QStringLiteral("DISABLED: Create or import a layer first.");
    const QString noselection = QStringLiteral("DISABLED: Select a layer first.");
    const QString noother = QStringLiteral("DISABLED: Create and select another layer for extraction.");
    for (int c = 0; c < 3; ++c) {
        const bool holds = c == 0 ? exist : c == 1 ? exist && selected : exist && selected && multi;
        QString why;
        if (!exist)
            why = nolayer;
        else if (c >= 1 && !selected)
            why = c == 2 && !multi ? noother : noselection;
        else if (c == 2 && !multi)
            why = noother;
        for (const StateItem& item : classes[c]) {
            // The bare window of the tests has none of these widgets and actions.
            if (!item.object())
                continue;
            if (item.enabled())
                item.object()->setProperty("originaltooltip", item.tip());
            item.set(holds, holds ? item.object()->property("originaltooltip").toString() : why);
        }
    }
}

void MainWindow::inpreviewclipboard()
{
    previewclipboard();
}

void MainWindow::previewclipboard()
{
    if (spectrumgui)
        spectrumgui->refreshclipboard();
    if (playclipboardaction)
        playclipboardaction->trigger();
    PromptRequest request;
    request.parent = mainwindowptr;
    request.title = QStringLiteral("Filter preview");
    request.text = QStringLiteral("Preview...");
    request.buttons = QMessageBox::Yes;
    request.defaultbutton = QMessageBox::Yes;
    request.yestext = QStringLiteral("Stop");
    prompt(request);
    if (rewindaction)
        rewindaction->trigger();
}
