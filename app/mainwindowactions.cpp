// The main window's command actions: project, history, editing modes, edit,
// layer, window, link and help commands. Each is wired through the window's
// signal table to the controller slot that carries it out.
#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QKeySequence>

#include "controller/spectrumgui.h"
#include "core/fileutils.h"
#include "core/globals.h"
#include "mainwindow.h"
#include "panels/historygui.h"
#include "panels/layersgui.h"

namespace {
const QString spectrum = QStringLiteral("SpectrumGui");
const QString layers = QStringLiteral("LayersGui");
const QString history = QStringLiteral("HistoryGui");
const QString windowname = QStringLiteral("MainWindow");
} // namespace

QAction* MainWindow::makeaction(const QString& text, const char* icon)
{
    auto* action = new QAction(text, this);
    if (icon)
        action->setIcon(QIcon(transparencyicon(QString::fromLatin1(icon))));
    return action;
}

void MainWindow::createactions()
{
    createprojectactions();
    createmodeactions();
    createeditactions();
    createlayeractions();
    timecursoract = makeaction(tr("Time Cursor [c]"), ":/icons/TimeCursor.png");
    timecursoract->setShortcut(QKeySequence(Qt::Key_C));
    timecursoract->setCheckable(true);
    timecursoract->setStatusTip(QStringLiteral("Define time cursor position"));
    links.add(timecursoract, "toggled(bool)", spectrumgui, spectrum, "intimecursortoggled(bool)");
    createdevicecontrols();
    createspectralcontrols();
    createpanzoomactions();
    createviewcontrols();
    createunitactions();
    createwindowactions();
}

void MainWindow::createprojectactions()
{
    newprojectact = makeaction(tr("&New Project"), ":/icons/New.png");
    newprojectact->setShortcuts(QKeySequence::New);
    newprojectact->setStatusTip(QStringLiteral("Start a new project"));
    links.add(newprojectact, "triggered()", layersgui, layers, "Close()");
    links.add(newprojectact, "triggered()", this, windowname, "ShowStartDialog()");

    openprojectact = makeaction(tr("&Open Project"), ":/icons/Open.png");
    openprojectact->setShortcuts(QKeySequence::Open);
    links.add(openprojectact, "triggered()", layersgui, layers, "Open()");
    recoveract = makeaction(tr("&Recover Session"));
    links.add(recoveract, "triggered()", layersgui, layers, "Recover()");
    importact = makeaction(tr("&Import Layer"), ":/icons/Import.png");
    importact->setStatusTip(QStringLiteral("Import an audio file into a new layer"));
    links.add(importact, "triggered()", layersgui, layers, "Import()");
    exportact = makeaction(tr("&Export Layer"), ":/icons/Export.png");
    links.add(exportact, "triggered()", layersgui, layers, "Export()");
    exportmixact = makeaction(tr("Export &Mix"), ":/icons/ExportMix.png");
    links.add(exportmixact, "triggered()", layersgui, layers, "ExportMix()");
    exportcalleract = makeaction(QStringLiteral("Export to &Caller"));
    links.add(exportcalleract, "triggered()", this, windowname, "sessionexport()");
    saveact = makeaction(tr("&Save Project"), ":/icons/Save.png");
    saveact->setShortcuts(QKeySequence::Save);
    links.add(saveact, "triggered()", layersgui, layers, "Save()");
    saveasact = makeaction(tr("Save Project As..."));
    saveasact->setShortcuts(QKeySequence::SaveAs);
    links.add(saveasact, "triggered()", layersgui, layers, "SaveAs()");
    closeact = makeaction(tr("&Close Project"));
    closeact->setShortcuts(QKeySequence::Close);
    closeact->setStatusTip(QStringLiteral("Close the current project"));
    links.add(closeact, "triggered()", layersgui, layers, "Close()");

    for (int i = 0; i < projectmax && i < 10; ++i) {
        recentacts[i] = new QAction(this);
        recentacts[i]->setVisible(false);
        recentacts[i]->setStatusTip(QStringLiteral("Open previous project"));
        links.add(recentacts[i], "triggered()", this, windowname, "openRecentFile()");
    }
    updateRecentFileActions();

    exitact = makeaction(tr("&Exit"));
    exitact->setShortcuts(QKeySequence::Quit);
    exitact->setStatusTip(QStringLiteral("Exit %1").arg(QCoreApplication::applicationName()));
    links.add(exitact, "triggered()", this, windowname, "close()");

    undoact = makeaction(tr("&Undo"), ":/icons/Undo.png");
    undoact->setShortcuts(QKeySequence::Undo);
    undoact->setStatusTip(QStringLiteral("Undo previous modification"));
    links.add(undoact, "triggered()", historygui, history, "Undo()");
    redoact = makeaction(tr("&Redo"), ":/icons/Redo.png");
    redoact->setShortcuts(QKeySequence::Redo);
    redoact->setStatusTip(QStringLiteral("Redo modification"));
    links.add(redoact, "triggered()", historygui, history, "Redo()");
}

namespace {
struct ModeEntry
{
    const char* text;
    const char* icon;
    QKeyCombination key;
    const char* tip;
    int data;
};
} // namespace

// One checkable action per entry; the family is wired through its tool button.
static void makefamily(MainWindow* w, QAction* (&family)[3], const ModeEntry (&entries)[3],
                       QAction* (MainWindow::*make)(const QString&, const char*))
{
    for (int i = 0; i < 3; ++i) {
        family[i] = (w->*make)(MainWindow::tr(entries[i].text), entries[i].icon);
        family[i]->setShortcut(QKeySequence(entries[i].key));
        family[i]->setCheckable(true);
        family[i]->setStatusTip(QString::fromLatin1(entries[i].tip));
        family[i]->setData(entries[i].data);
    }
}

void MainWindow::createmodeactions()
{
    snapact = makeaction(tr("Snap to grid"), ":/icons/Snap.png");
    snapact->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    snapact->setCheckable(true);
    snapact->setStatusTip(QStringLiteral("Snap mouse to units grid"));
    links.add(snapact, "toggled(bool)", spectrumgui, spectrum, "insnap(bool)");

    static const ModeEntry select[3] = {
        {QT_TR_NOOP("&Select [s]"), ":/icons/Select.png", Qt::Key_S, "Select time/frequency area", 0},
        {QT_TR_NOOP("&Select Time [t]"), ":/icons/SelectTime.png", Qt::Key_T, "Select time area", 1},
        {QT_TR_NOOP("&Select Frequency [f]"), ":/icons/SelectFreq.png", Qt::Key_F, "Select frequency area", 2},
    };
    static const ModeEntry move[3] = {
        {QT_TR_NOOP("&move [m]"), ":/icons/Move.png", Qt::Key_M, "Move clipboard area", 0},
        {QT_TR_NOOP("&move Time [alt+t]"), ":/icons/MoveTime.png", Qt::ALT | Qt::Key_T,
         "Move clipboard area (time)", 1},
        {QT_TR_NOOP("&move Frequency [alt+f]"), ":/icons/MoveFreq.png", Qt::ALT | Qt::Key_F,
         "Move clipboard area (frequency)", 2},
    };
    static const ModeEntry scale[3] = {
        {QT_TR_NOOP("&scale [x]"), ":/icons/Scale.png", Qt::Key_X, "Move clipboard area", 3},
        {QT_TR_NOOP("&scale Time [ctrl+alt+t]"), ":/icons/ScaleTime.png", Qt::CTRL | Qt::ALT | Qt::Key_T,
         "Move clipboard area (time)", 4},
        {QT_TR_NOOP("&scale Frequency [ctrl+alt+f]"), ":/icons/ScaleFreq.png", Qt::CTRL | Qt::ALT | Qt::Key_F,
         "Move clipboard area (frequency)", 5},
    };
    makefamily(this, selectact, select, &MainWindow::makeaction);
    makefamily(this, moveact, move, &MainWindow::makeaction);
    makefamily(this, scaleact, scale, &MainWindow::makeaction);
}

void MainWindow::createpanzoomactions()
{
    static const ModeEntry pan[3] = {
        {QT_TR_NOOP("&Pan [p]"), ":/icons/Pan.png", Qt::Key_P, "Pan view", 0},
        {QT_TR_NOOP("&Pan Time [shift+t]"), ":/icons/PanTime.png", Qt::SHIFT | Qt::Key_T, "Pan view (time)", 1},
        {QT_TR_NOOP("&Pan Frequency [shift+f]"), ":/icons/PanFreq.png", Qt::SHIFT | Qt::Key_F,
         "Pan view (frequency)", 2},
    };
    static const ModeEntry zoom[3] = {
        {QT_TR_NOOP("&Zoom [z]"), ":/icons/Zoom.png", Qt::Key_Z, "Zoom view", 3},
        {QT_TR_NOOP("&Zoom Time [ctrl+t]"), ":/icons/ZoomTime.png", Qt::CTRL | Qt::Key_T, "Zoom view (time)", 4},
        {QT_TR_NOOP("&Zoom Frequency [ctrl+f]"), ":/icons/ZoomFreq.png", Qt::CTRL | Qt::Key_F,
         "Zoom view (frequency)", 5},
    };
    makefamily(this, panact, pan, &MainWindow::makeaction);
    makefamily(this, zoomact, zoom, &MainWindow::makeaction);
    displaceact = makeaction(tr("3D Displace [d]"), ":/icons/Displace.png");
    displaceact->setShortcut(QKeySequence(Qt::Key_D));
    displaceact->setCheckable(true);
    displaceact->setStatusTip(QStringLiteral("3D Displace"));
    links.add(displaceact, "toggled(bool)", spectrumgui, spectrum, "indisplace(bool)");
}

void MainWindow::createeditactions()
{
    deleteact = makeaction(tr("&Delete"), ":/icons/Delete.png");
    deleteact->setShortcut(QKeySequence(Qt::Key_Delete));
    deleteact->setStatusTip(QStringLiteral("Delete selected layer or area from selected layer"));
    links.add(deleteact, "triggered()", spectrumgui, spectrum, "indel()");
    cutact = makeaction(tr("&Cut"), ":/icons/Cut.png");
    cutact->setShortcuts(QKeySequence::Cut);
    cutact->setStatusTip(QStringLiteral("Cut area from selected layer to clipboard"));
    links.add(cutact, "triggered()", spectrumgui, spectrum, "incut()");
    copyact = makeaction(tr("&Copy"), ":/icons/Copy.png");
    copyact->setShortcuts(QKeySequence::Copy);
    copyact->setStatusTip(
        QStringLiteral("Duplicate selected layer, or copy an area to clipboard (from mix or selected layer)"));
    links.add(copyact, "triggered()", spectrumgui, spectrum, "incopy()");
    pasteact = makeaction(tr("&Paste"), ":/icons/Paste.png");
    pasteact->setShortcuts(QKeySequence::Paste);
    pasteact->setStatusTip(QStringLiteral("Paste from clipboard to selected layer"));
    links.add(pasteact, "triggered()", spectrumgui, spectrum, "inpaste()");
    inserttimeact = makeaction(QStringLiteral("Insert time..."));
    inserttimeact->setStatusTip(QStringLiteral("Insert time to mix or selected layer)"));
    links.add(inserttimeact, "triggered()", spectrumgui, spectrum, "ininserttime()");
    removetimeact = makeaction(QStringLiteral("Remove time..."));
    removetimeact->setStatusTip(QStringLiteral("Remove time from mix or selected layer"));
    links.add(removetimeact, "triggered()", spectrumgui, spectrum, "inremovetime()");
    setmouseact = makeaction(QStringLiteral("Set mouse cursor position..."));
    links.add(setmouseact, "triggered()", spectrumgui, spectrum, "insnapnumeric()");
    settimecursoract = makeaction(QStringLiteral("Set time cursor position..."));
    links.add(settimecursoract, "triggered()", spectrumgui, spectrum, "intimecursornumeric()");
    setselectact = makeaction(QStringLiteral("Set select area..."));
    links.add(setselectact, "triggered()", spectrumgui, spectrum, "inselectionnumeric()");
}

void MainWindow::createlayeractions()
{
    struct Entry
    {
        QAction** member;
        const char* text;
        const char* icon;
        QKeySequence key;
        const char* tip;
        const char* slot;
    };
    const Entry entries[] = {
        {&newlayeract, QT_TR_NOOP("New..."), ":/icons/NewLayer.png", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N),
         "Create an empty layer", "NewLayer()"},
        {&duplicateact, QT_TR_NOOP("Duplicate"), nullptr, QKeySequence(Qt::CTRL | Qt::Key_D),
         "Duplicate selected layer", "DuplicateLayer()"},
        {&deletelayeract, QT_TR_NOOP("Delete [del]"), ":/icons/Trash.png", QKeySequence(), "Delete selected layer",
         "DeleteLayer()"},
        {&propertiesact, QT_TR_NOOP("Properties..."), nullptr, QKeySequence(), "Set selected layer properties",
         "Properties()"},
        {&zoomextentsact, QT_TR_NOOP("Zoom Extents"), nullptr, QKeySequence(), "Zoom extents of the selected layer",
         "ZoomExtents()"},
        {&calibrateact, QT_TR_NOOP("Calibrate..."), nullptr, QKeySequence(), "Calibrate selected layer",
         "Calibrate()"},
        {&moveupact, QT_TR_NOOP("Move Up"), nullptr, QKeySequence(Qt::SHIFT | Qt::Key_PageUp),
         "Move selected layer up in the layer list", "MoveUp()"},
        {&movedownact, QT_TR_NOOP("Move Down"), nullptr, QKeySequence(Qt::SHIFT | Qt::Key_PageDown),
         "Move selected layer down in the layer list", "MoveDown()"},
        {&mergedownact, QT_TR_NOOP("Merge Down"), nullptr, QKeySequence(Qt::CTRL | Qt::Key_E),
         "Merge selected layer with the layer below", "MergeDown()"},
        {&mergeactiveact, QT_TR_NOOP("Merge Active"), nullptr, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E),
         "Merge all active layers", "MergeActive()"},
        {&mergeallact, QT_TR_NOOP("Merge All"), nullptr, QKeySequence(), "Merge all layers", "MergeAll()"},
        {&resampleact, QT_TR_NOOP("Resample Project..."), nullptr, QKeySequence(),
         "Resample whole project (samplerate and channels)", "ResampleProject()"},
    };
    for (const Entry& s : entries) {
        QAction* a = makeaction(tr(s.text), s.icon);
        if (!s.key.isEmpty())
            a->setShortcut(s.key);
        a->setStatusTip(QString::fromLatin1(s.tip));
        links.add(a, "triggered()", layersgui, layers, s.slot);
        *s.member = a;
    }
}

void MainWindow::createwindowactions()
{
    fullscreenact = makeaction(tr("&Fullscreen"));
    fullscreenact->setShortcut(QKeySequence(Qt::Key_F11));
    links.add(fullscreenact, "triggered()", this, windowname, "on_fullscreen()");
    loadlayoutact = makeaction(tr("&Load layout..."));
    links.add(loadlayoutact, "triggered()", this, windowname, "on_loadlayout()");
    savelayoutact = makeaction(tr("&Save layout..."));
    links.add(savelayoutact, "triggered()", this, windowname, "on_savelayout()");
    advancedact = makeaction(tr("&Advanced settings..."));
    links.add(advancedact, "triggered()", advanceddialog, QStringLiteral("Advanced Settings dialog"), "show()");
    cakewalkact = makeaction(tr("Cakewalk SONAR..."));
    links.add(cakewalkact, "triggered()", this, windowname, "linkcakewalk()");
    protoolsact = makeaction(tr("Pro Tools/Media Composer..."));
    links.add(protoolsact, "triggered()", this, windowname, "linkprotools()");
    samplitudeact = makeaction(tr("Samplitude/Sequoia..."));
    links.add(samplitudeact, "triggered()", this, windowname, "linksamplitude()");
    otherdawsact = makeaction(tr("Other DAWs/Samplers..."));
    links.add(otherdawsact, "triggered()", this, windowname, "linkotherdaws()");
    contentact = makeaction(tr("&Content"), ":/icons/Help.png");
    contentact->setShortcuts(QKeySequence::HelpContents);
    links.add(contentact, "triggered()", this, windowname, "showhelp()");
    shortcutsact = makeaction(tr("&Shortcuts"));
    links.add(shortcutsact, "triggered()", this, windowname, "showshortcuts()");
    pluginsact = makeaction(tr("Plugins"));
    logact = makeaction(QStringLiteral("Log Output"));
    links.add(logact, "triggered()", this, windowname, "showlog()");
    aboutact = makeaction(tr("About"));
    links.add(aboutact, "triggered()", aboutbox, QStringLiteral("About box"), "show()");
}
