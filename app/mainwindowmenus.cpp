// Where the main window's controls go: the docks, the six tool bars with the
// grouped mode buttons and the compact grids, the menu bar and the three
// context menus.
#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDial>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QMenu>
#include <QMenuBar>
#include <QSignalMapper>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "controller/spectrumgui.h"
#include "core/globals.h"
#include "mainwindow.h"
#include "qtoolbarext.h"
#include "qtoolbuttonext.h"
#include "view/viewcontextmenu.h"

namespace {
const QString spectrum = QStringLiteral("SpectrumGui");

QWidget* grid(QWidget* parent, QLayout* layout)
{
    auto* w = new QWidget(parent);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    w->setLayout(layout);
    return w;
}
} // namespace

void MainWindow::createdocks()
{
    setDockOptions(QMainWindow::AnimatedDocks);
    struct Entry
    {
        QDockWidget** member;
        QDockWidget** global;
        const char* title;
        int maxheight;
        QDockWidget::DockWidgetFeatures features;
    };
    const Entry entries[] = {
        {&historydock, &historydockptr, QT_TR_NOOP("History"), 180,
         QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable},
        {&channelsdock, &channelsdockptr, QT_TR_NOOP("Channels"), 150,
         QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable},
        {&layersdock, &layersdockptr, QT_TR_NOOP("Layers"), 0,
         QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable},
    };
    for (const Entry& s : entries) {
        auto* dock = new QDockWidget(tr(s.title), this);
        dock->setObjectName(QString::fromLatin1(s.title));
        if (s.maxheight > 0)
            dock->setMaximumHeight(s.maxheight);
        dock->setFeatures(s.features);
        dock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
        addDockWidget(Qt::RightDockWidgetArea, dock, Qt::Vertical);
        *s.member = dock;
        *s.global = dock;
    }
}

QToolButtonExt* MainWindow::modebutton(QAction* const (&family)[3], const char* toggledslot, const char* numericslot)
{
    auto* button = new QToolButtonExt(this);
    auto* menu = new QMenu(this);
    for (QAction* a : family) {
        menu->addAction(a);
        toolmodes->addAction(a);
    }
    button->setDefaultAction(menu->actions().first());
    button->setMenu(menu);
    connect(button, &QToolButton::triggered, button, &QToolButton::setDefaultAction);
    links.add(button, "toggled(bool)", spectrumgui, spectrum, toggledslot);
    links.add(button, "toggled(bool)", pagemapper, QStringLiteral("page mapper"), "map()");
    pagemapper->setMapping(button, 0);
    // Every action of the family belongs to the button; the first stays its face.
    for (int i = 2; i >= 0; --i)
        button->setDefaultAction(family[i]);
    links.add(button, "mouseDoubleClicked()", spectrumgui, spectrum, numericslot);
    links.add(button, "mouseRightClicked()", spectrumgui, spectrum, numericslot);
    return button;
}

void MainWindow::createtoolbars()
{
    const auto extbar = [this](const char* title, Qt::ToolBarAreas areas) {
        auto* bar = new QToolBarExt(tr(title), this);
        bar->setObjectName(QString::fromLatin1(title));
        bar->setAllowedAreas(areas);
        return bar;
    };
    filebar = extbar(QT_TR_NOOP("File"), Qt::AllToolBarAreas);
    addToolBar(Qt::TopToolBarArea, filebar);
    editbar = extbar(QT_TR_NOOP("Edit"), Qt::AllToolBarAreas);
    addToolBar(Qt::TopToolBarArea, editbar);
    devicebar = extbar(QT_TR_NOOP("Device Controls"), Qt::AllToolBarAreas);
    addToolBar(Qt::TopToolBarArea, devicebar);
    spectralbar = extbar(QT_TR_NOOP("Spectral Settings"), Qt::TopToolBarArea | Qt::BottomToolBarArea);
    addToolBar(Qt::TopToolBarArea, spectralbar);
    addToolBarBreak(Qt::TopToolBarArea);
    toolsettingsbar = new QToolBar(tr("Tool Settings"), this);
    toolsettingsbar->setObjectName(QStringLiteral("Tool Settings"));
    toolsettingsbar->setAllowedAreas(Qt::AllToolBarAreas);
    addToolBar(Qt::TopToolBarArea, toolsettingsbar);
    addToolBarBreak(Qt::TopToolBarArea);
    toolsbar = extbar(QT_TR_NOOP("Tools"), Qt::LeftToolBarArea | Qt::RightToolBarArea);
    addToolBar(Qt::LeftToolBarArea, toolsbar);
    for (QToolBarExt* bar : {filebar, editbar, devicebar, spectralbar})
        links.add(bar, "noActionClicked()", spectrumgui, spectrum, "notool()");

    filebar->addAction(importact);
    filebar->addAction(saveact);

    toolsettings = new QStackedWidget(this);
    toolsettings->addWidget(new QWidget(toolsettings));
    toolsettingsbar->addWidget(toolsettings);
    pagemapper = new QSignalMapper(this);
    connect(pagemapper, &QSignalMapper::mappedInt, toolsettings, &QStackedWidget::setCurrentIndex);

    editbar->addAction(undoact);
    editbar->addAction(redoact);
    editbar->addSeparator();
    selectbutton = modebutton(selectact, "indrawselection(bool)", "inselectionnumeric()");
    movebutton = modebutton(moveact, "inmovescale(bool)", "inmovenumeric()");
    scalebutton = modebutton(scaleact, "inmovescale(bool)", "inscalenumeric()");
    editbar->addWidget(selectbutton);
    editbar->addWidget(movebutton);
    editbar->addWidget(scalebutton);
    editbar->addSeparator();
    snapbutton = new QToolButtonExt(this);
    snapbutton->setDefaultAction(snapact);
    links.add(snapbutton, "mouseDoubleClicked()", spectrumgui, spectrum, "insnapnumeric()");
    links.add(snapbutton, "mouseRightClicked()", spectrumgui, spectrum, "insnapnumeric()");
    editbar->addWidget(snapbutton);
    editbar->addSeparator();
    for (QAction* a : {deleteact, cutact, copyact, pasteact}) {
        editbar->addAction(a);
        links.add(a, "triggered()", pagemapper, QStringLiteral("page mapper"), "map()");
        pagemapper->setMapping(a, 0);
    }

    timecursorbutton = new QToolButtonExt(this);
    timecursorbutton->setDefaultAction(timecursoract);
    toolmodes->addAction(timecursoract);
    links.add(timecursorbutton, "mouseDoubleClicked()", spectrumgui, spectrum, "intimecursornumeric()");
    links.add(timecursorbutton, "mouseRightClicked()", spectrumgui, spectrum, "intimecursornumeric()");
    devicebar->addWidget(timecursorbutton);
    devicebar->addAction(rewindact);
    playbutton = new QToolButton(this);
    playmenu = new QMenu(this);
    for (QAction* a : {playact, playstartact, loopact, playclipact})
        playmenu->addAction(a);
    playbutton->setDefaultAction(playact);
    playbutton->setMenu(playmenu);
    connect(playbutton, &QToolButton::triggered, playbutton, &QToolButton::setDefaultAction);
    for (int i = 3; i >= 0; --i)
        playbutton->setDefaultAction(playmenu->actions().at(i));
    playgroup = new QActionGroup(this);
    playgroup->setExclusive(true);
    for (QAction* a : {playact, playstartact, loopact, recordact})
        playgroup->addAction(a);
    devicebar->addWidget(playbutton);
    devicebar->addAction(recordact);
    devicebar->addWidget(volumespin);
    auto* playswitches = grid(this, new QVBoxLayout);
    for (QCheckBox* box : {pausebox, scrollbox, smartbox})
        playswitches->layout()->addWidget(box);
    devicebar->addWidget(playswitches);

    auto* transform = new QGridLayout;
    QWidget* transformgrid = grid(this, transform);
    transform->addWidget(ffttypebox, 0, 0, 1, 2);
    transform->addWidget(subwinbox, 0, 2);
    transform->addWidget(fftsizebox, 1, 0);
    transform->addWidget(fftoverlapbox, 1, 2);
    spectralbar->addWidget(transformgrid);
    spectralbar->addSeparator();
    auto* levels = new QGridLayout;
    QWidget* levelsgrid = grid(this, levels);
    levels->addWidget(zebraslider, 0, 0);
    levels->addWidget(zebraspin, 0, 1);
    levels->addWidget(multslider, 1, 0);
    levels->addWidget(multspin, 1, 1);
    levels->addWidget(gammaslider, 2, 0);
    levels->addWidget(gammaspin, 2, 1);
    spectralbar->addWidget(levelsgrid);
    QWidget* switches = grid(this, new QVBoxLayout);
    switches->layout()->addWidget(gridbox);
    switches->layout()->addWidget(bilinbox);
    spectralbar->addWidget(switches);
    spectralbar->addSeparator();
    panbutton = modebutton(panact, "inpanzoom(bool)", "inpanreset()");
    zoombutton = modebutton(zoomact, "inpanzoom(bool)", "inzoomreset()");
    spectralbar->addWidget(panbutton);
    spectralbar->addWidget(zoombutton);
    displacebutton = new QToolButtonExt(this);
    displacebutton->setDefaultAction(displaceact);
    displacebutton->setContextMenuPolicy(Qt::NoContextMenu);
    toolmodes->addAction(displaceact);
    links.add(displacebutton, "mouseDoubleClicked()", spectrumgui, spectrum, "indispreset()");
    links.add(displacebutton, "mouseRightClicked()", spectrumgui, spectrum, "indispreset()");
    spectralbar->addWidget(displacebutton);
    snapbutton->setContextMenuPolicy(Qt::NoContextMenu);
    auto* area = new QGridLayout;
    QWidget* areagrid = grid(this, area);
    area->addWidget(dispstart, 0, 0);
    area->addWidget(dispend, 0, 1);
    area->addWidget(displength, 0, 2);
    area->addWidget(displow, 1, 0);
    area->addWidget(disphigh, 1, 1);
    area->addWidget(disprange, 1, 2);
    area->addWidget(dispsize, 2, 0);
    area->addWidget(dispangle, 2, 1);
    area->addWidget(resetviewbutton, 2, 2);
    spectralbar->addWidget(areagrid);
}

void MainWindow::createmenus()
{
    // Entries in order; a null entry is a separator.
    const auto fill = [](QMenu* menu, std::initializer_list<QAction*> entries) {
        for (QAction* a : entries) {
            if (a)
                menu->addAction(a);
            else
                menu->addSeparator();
        }
        return menu;
    };
    QMenuBar* bar = menuBar();
    filemenu = fill(bar->addMenu(tr("&File")), {newprojectact, openprojectact, recoveract, importact, exportact,
                                                exportmixact, exportcalleract, saveact, saveasact, closeact, nullptr});
    for (QAction* a : recentacts)
        if (a)
            filemenu->addAction(a);
    fill(filemenu, {nullptr, exitact});

    editmenu = fill(bar->addMenu(tr("&Edit")),
                    {undoact, redoact, nullptr, snapact, nullptr, deleteact, cutact, copyact, pasteact, nullptr,
                     inserttimeact, removetimeact, nullptr, setmouseact, settimecursoract, setselectact});
    viewcontextmenu = fill(new QMenu(this), {snapact, nullptr, setmouseact, settimecursoract, setselectact});
    viewcontextmenu->setObjectName(QLatin1String(viewcontextmenuname)); // how the views find it

    layermenu = fill(bar->addMenu(tr("&Layer")),
                     {newlayeract, propertiesact, duplicateact, deletelayeract, nullptr, calibrateact, zoomextentsact,
                      moveupact, movedownact, nullptr, mergedownact, mergeactiveact, mergeallact, nullptr,
                      resampleact});
    layeritemmenu = fill(new QMenu(this), {propertiesact, duplicateact, deletelayeract, nullptr, calibrateact,
                                           zoomextentsact, moveupact, movedownact, nullptr, mergedownact});
    layerlistmenu = fill(new QMenu(this), {newlayeract, nullptr, mergeactiveact, mergeallact});

    filtersmenu = bar->addMenu(tr("Fil&ters"));
    devicesmenu = bar->addMenu(tr("&Devices"));

    unitsmenu = bar->addMenu(tr("&Units"));
    const char* unittitles[4] = {QT_TR_NOOP("Time"), QT_TR_NOOP("Frequency"), QT_TR_NOOP("Power"),
                                 QT_TR_NOOP("Phase Velocity")};
    for (int g = 0; g < 4; ++g) {
        QMenu* sub = unitsmenu->addMenu(tr(unittitles[g]));
        sub->addActions(unitactions[g]);
    }

    viewmenu = fill(bar->addMenu(tr("&View")), {fullscreenact, nullptr});
    toolbarsmenu = viewmenu->addMenu(tr("Toolbars"));
    for (QToolBar* b : std::initializer_list<QToolBar*>{filebar, editbar, devicebar, spectralbar, toolsbar,
                                                        toolsettingsbar})
        toolbarsmenu->addAction(b->toggleViewAction());
    docksmenu = viewmenu->addMenu(tr("Docks"));
    for (QDockWidget* d : {historydock, channelsdock, layersdock})
        docksmenu->addAction(d->toggleViewAction());
    fill(viewmenu, {loadlayoutact, savelayoutact, nullptr, advancedact});

    linkmenu = fill(bar->addMenu(tr("Lin&k")), {cakewalkact, protoolsact, samplitudeact, otherdawsact});
    helpmenu = fill(bar->addMenu(tr("&Help")), {contentact, shortcutsact, pluginsact, logact, aboutact});
}
