#pragma once
// The editor's one top-level window. It builds the docks, the controllers, the
// actions, tool bars and menus, loads the plugins and wires everything to the
// controllers; it holds no spectral logic of its own.
#include <QColor>
#include <QFileSystemWatcher>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

#include "signallinks.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QDial;
class QDialog;
class QDockWidget;
class QDoubleSpinBox;
class QLabel;
class QMenu;
class QMessageBox;
class QPushButton;
class QSignalMapper;
class QSlider;
class QSpinBox;
class QSplashScreen;
class QStackedWidget;
class QTextEdit;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QToolBarExt;
class QToolButtonExt;
class ToolInterface;
class FileInterface;
class DeviceInterface;
class FilterInterface;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // A bare window with only its central widget, for the tests of the parts
    // that live in it.
    MainWindow();
    // The whole editor window; `splash` (may be null) shows the progress.
    explicit MainWindow(QSplashScreen* splash);
    ~MainWindow() override;

    // The filters' preview hook: plays the clipboard until the user stops it.
    static void previewclipboard();
    // Opens the start window (when that part of the shell exists).
    void showstartwindow();
    // The note at the right of the status line about devices that failed;
    // an empty text removes it.
    void showdevicenote(const QString& text);

    // An action with the window as parent, its icon through the shared transparency mask.
    QAction* makeaction(const QString& text, const char* icon = nullptr);

    // The wiring table of the window (what is connected and what waits for
    // its receiver).
    const SignalLinks& signallinks() const { return links; }
    // Calls of the window on the controllers that could not be made (the
    // receiver lacks the method), as "Receiver::method(args)".
    const QStringList& pendingcalls() const { return missingcalls; }

    // Tool groups of the "Tools" bar (one-column and two-column layouts).
    QList<QWidget*> toolgroups1;
    QList<QWidget*> toolgroups2;
    QStackedWidget* toolsettings = nullptr;
    QSignalMapper* pagemapper = nullptr;
    QActionGroup* playbackdevices = nullptr;
    QActionGroup* recorddevices = nullptr;
    QDialog* startwindow = nullptr;
    QActionGroup* toolmodes = nullptr;
    bool fullscreen = false;
    // The file a calling program handed over (a file argument or a file-open
    // event that became a layer): the result can be exported back to it.
    QString callerpath;
    // Set when the system asks the program to end: the window closes without
    // asking anything (no export back; the session file keeps the work).
    bool endrequested = false;

    QDockWidget* historydock = nullptr;
    QDockWidget* channelsdock = nullptr;
    QDockWidget* layersdock = nullptr;

    QToolBarExt* filebar = nullptr;
    QToolBarExt* editbar = nullptr;
    QToolBarExt* devicebar = nullptr;
    QToolBarExt* spectralbar = nullptr;
    QToolBar* toolsettingsbar = nullptr;
    QToolBarExt* toolsbar = nullptr;

    QToolButtonExt* selectbutton = nullptr;
    QToolButtonExt* movebutton = nullptr;
    QToolButtonExt* scalebutton = nullptr;
    QToolButtonExt* panbutton = nullptr;
    QToolButtonExt* zoombutton = nullptr;
    QToolButtonExt* snapbutton = nullptr;
    QToolButtonExt* timecursorbutton = nullptr;
    QToolButtonExt* displacebutton = nullptr;
    QToolButton* playbutton = nullptr;
    QMenu* playmenu = nullptr;
    QActionGroup* playgroup = nullptr;
    QToolButton* expandbutton = nullptr;

    QMenu* filemenu = nullptr;
    QMenu* editmenu = nullptr;
    QMenu* viewcontextmenu = nullptr;
    QMenu* layermenu = nullptr;
    QMenu* layeritemmenu = nullptr;
    QMenu* layerlistmenu = nullptr;
    QMenu* filtersmenu = nullptr;
    QMenu* devicesmenu = nullptr;
    QMenu* unitsmenu = nullptr;
    QMenu* viewmenu = nullptr;
    QMenu* toolbarsmenu = nullptr;
    QMenu* docksmenu = nullptr;
    QMenu* linkmenu = nullptr;
    QMenu* helpmenu = nullptr;
    QMenu* playbackmenu = nullptr;
    QMenu* recordmenu = nullptr;

    QDialog* pluginsdialog = nullptr;
    QTreeWidget* pluginslist = nullptr;
    QMessageBox* nolayerbox = nullptr;
    QLabel* devicenote = nullptr; // in the status line, while a device has failed
    QLabel* callernote = nullptr; // in the status line for a while: Export to Caller without a caller

    // Advanced settings, About box and log viewer: built once, hidden.
    QDialog* advanceddialog = nullptr;
    QPushButton* sessionpathbutton = nullptr;
    QPushButton* logspathbutton = nullptr;
    QPushButton* mixcolorbutton = nullptr;
    QPushButton* selectcolorbutton = nullptr;
    QPushButton* clipboardcolorbutton = nullptr;
    QDialog* aboutbox = nullptr;
    QDialog* logviewer = nullptr;
    QTextEdit* logtext = nullptr;
    QComboBox* loglist = nullptr;
    QPushButton* logrefreshbutton = nullptr;
    QPushButton* logsavebutton = nullptr;

    // Project, history, mode, edit and layer actions.
    QAction* newprojectact = nullptr;
    QAction* openprojectact = nullptr;
    QAction* recoveract = nullptr;
    QAction* importact = nullptr;
    QAction* exportact = nullptr;
    QAction* exportmixact = nullptr;
    QAction* exportcalleract = nullptr;
    QAction* saveact = nullptr;
    QAction* saveasact = nullptr;
    QAction* closeact = nullptr;
    QAction* recentacts[10] = {};
    QAction* exitact = nullptr;
    QAction* undoact = nullptr;
    QAction* redoact = nullptr;
    QAction* snapact = nullptr;
    QAction* selectact[3] = {};
    QAction* moveact[3] = {};
    QAction* scaleact[3] = {};
    QAction* deleteact = nullptr;
    QAction* cutact = nullptr;
    QAction* copyact = nullptr;
    QAction* pasteact = nullptr;
    QAction* inserttimeact = nullptr;
    QAction* removetimeact = nullptr;
    QAction* setmouseact = nullptr;
    QAction* settimecursoract = nullptr;
    QAction* setselectact = nullptr;
    QAction* newlayeract = nullptr;
    QAction* duplicateact = nullptr;
    QAction* deletelayeract = nullptr;
    QAction* propertiesact = nullptr;
    QAction* zoomextentsact = nullptr;
    QAction* calibrateact = nullptr;
    QAction* moveupact = nullptr;
    QAction* movedownact = nullptr;
    QAction* mergedownact = nullptr;
    QAction* mergeactiveact = nullptr;
    QAction* mergeallact = nullptr;
    QAction* resampleact = nullptr;
    QAction* timecursoract = nullptr;
    QAction* panact[3] = {};
    QAction* zoomact[3] = {};
    QAction* displaceact = nullptr;

    // Transport actions and device controls.
    QAction* rewindact = nullptr;
    QAction* playact = nullptr;
    QAction* playstartact = nullptr;
    QAction* loopact = nullptr;
    QAction* playclipact = nullptr;
    QAction* recordact = nullptr;
    QSpinBox* volumespin = nullptr;
    QDial* volumedial = nullptr;
    QCheckBox* pausebox = nullptr;
    QCheckBox* scrollbox = nullptr;
    QCheckBox* clipbox = nullptr;
    QCheckBox* smartbox = nullptr;

    // Spectral settings and display controls.
    QComboBox* ffttypebox = nullptr;
    QComboBox* fftsizebox = nullptr;
    QComboBox* fftoverlapbox = nullptr;
    QCheckBox* subwinbox = nullptr;
    QSpinBox* zebraspin = nullptr;
    QSlider* zebraslider = nullptr;
    QSpinBox* multspin = nullptr;
    QSlider* multslider = nullptr;
    QDoubleSpinBox* gammaspin = nullptr;
    QSlider* gammaslider = nullptr;
    QCheckBox* gridbox = nullptr;
    QCheckBox* bilinbox = nullptr;
    QDoubleSpinBox* dispstart = nullptr;
    QDoubleSpinBox* dispend = nullptr;
    QDoubleSpinBox* displength = nullptr;
    QDoubleSpinBox* displow = nullptr;
    QDoubleSpinBox* disphigh = nullptr;
    QDoubleSpinBox* disprange = nullptr;
    QDoubleSpinBox* dispsize = nullptr;
    QDoubleSpinBox* dispangle = nullptr;
    QToolButton* resetviewbutton = nullptr;
    QAction* resetviewact = nullptr;

    // Unit actions: time, frequency, power, phase velocity.
    QActionGroup* unitgroups[4] = {};
    QList<QAction*> unitactions[4];

    // Window, link and help actions.
    QAction* fullscreenact = nullptr;
    QAction* loadlayoutact = nullptr;
    QAction* savelayoutact = nullptr;
    QAction* advancedact = nullptr;
    QAction* cakewalkact = nullptr;
    QAction* protoolsact = nullptr;
    QAction* samplitudeact = nullptr;
    QAction* otherdawsact = nullptr;
    QAction* contentact = nullptr;
    QAction* shortcutsact = nullptr;
    QAction* pluginsact = nullptr;
    QAction* logact = nullptr;
    QAction* aboutact = nullptr;

    // Device menu actions of the plugin host.
    QAction* playsettingsact = nullptr;
    QAction* playrestartact = nullptr;
    QAction* recordsettingsact = nullptr;
    QAction* recordrestartact = nullptr;
    // Tool actions in placement order.
    QList<QAction*> toolactions;

signals:
    void dropUrl(QList<QUrl> urlList);

public slots:
    void ShowStartDialog();
    void ShowStartCheck(bool show);
    void sessionimport(QString filename);
    // The same for a file whose name (its bytes as the system gave them) is no valid text.
    void sessionimportraw(const QByteArray& rawpath);
    void sessionexport();
    // The system asks the program to end (SIGTERM, SIGINT, SIGHUP).
    void systemend();
    void layerstate(bool exist, bool selected, bool multi);
    void toolexpand(bool expand);
    void intoolreset();
    void inpreviewclipboard();
    void inplayreset();
    void showhelp();
    void showshortcuts();
    void showlog();
    void changelog(int index);
    void savelog();
    void advsessionpath();
    void advsessionmax(int days);
    void advsessionclean();
    void advlogspath();
    void advlogsmax(int logs);
    void advlogsclean();
    void advprojectmax(int projects);
    void advhistorymax(int actions);
    void advcolorpickmix();
    void advcolorpickselect();
    void advcolorpickclipboard();
    void advcolorchangemix(QColor color);
    void advcolorchangeselect(QColor color);
    void advcolorchangeclipboard(QColor color);
    void advcolorreset();
    void advresetall();
    void openRecentFile();
    void setCurrentFile(QString fileName);
    void updateRecentFileActions();
    void inunit();
    void on_fullscreen();
    void on_loadlayout();
    void on_savelayout();
    void linkotherdaws();

protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    friend class MainWindowPlacement;

    void showprogress(QSplashScreen* splash, const QString& text);
    void createdocks();
    void createcontrollers();
    void createadvancedsettings();
    void createaboutbox();
    void createlogviewer();
    // Opens an installed help page; says so when the desktop cannot.
    void showpage(const QString& page);
    void choosefolder(QPushButton* button, const QString& caption, const char* key, const QString& changedtitle);
    void pickcolour(const QColor& current, void (MainWindow::*change)(QColor));
    void applycolour(QColor& colour, QPushButton* button, const char* key, const QColor& chosen);
    void repaintcolours();
    void createnolayerbox();
    void createactions();
    void createprojectactions();
    void createmodeactions();
    void createeditactions();
    void createlayeractions();
    void createdevicecontrols();
    void createspectralcontrols();
    void createpanzoomactions();
    void createviewcontrols();
    void createunitactions();
    void checkunittime();
    void createwindowactions();
    void createtoolbars();
    QToolButtonExt* modebutton(QAction* const (&family)[3], const char* toggledslot, const char* numericslot);
    void createmenus();
    void loadplugins(QSplashScreen* splash);
    void placedevices(const QList<DeviceInterface*>& devices);
    void placetools(const QList<ToolInterface*>& tools);
    void placefilters(const QList<FilterInterface*>& filters);
    void setstartvalues();
    void connectcontrollers();
    void applystyle();
    void restoredevices();
    void savegeometry();

    // Calls `signature` on `receiver` directly; records it when the receiver
    // has no such invokable method.
    bool invoke(QObject* receiver, const char* receivername, const char* signature,
                QGenericArgument argument = QGenericArgument(), QGenericArgument second = QGenericArgument());
    bool invokeresult(QObject* receiver, const char* receivername, const char* signature, QGenericReturnArgument result,
                      QGenericArgument argument = QGenericArgument());
    bool invokeon(QObject* receiver, const char* receivername, const char* signature,
                  const std::function<bool(const char*)>& call);
    // Deletes the four controllers once, in the order the exit sequence gives.
    void deletecontrollers();

    SignalLinks links;
    QStringList missingcalls;
    // Tools whose settings bar this window owns (deleted with the window).
    QList<ToolInterface*> tooltoolbars;
    bool controllersgone = false;
    bool closing = false; // inside closeEvent, possibly waiting on a question
    bool ownscontrollers = false;

public slots:
    // Workstation links: Cakewalk's Tools menu entry, the Pro Tools plug-in,
    // and the watch on Samplitude/Sequoia's effect files.
    void linkcakewalk();
    void linkprotools();
    void linkprotoolscheck();
    void linkprotoolswarning();
    void linksamplitude();
    void linksamplitudepath();
    void linksamplitudedirnotify(QString path);
    void linksamplitudefilenotify(QString path);

public:
    // Watches the two chosen folder trees while the Samplitude/Sequoia dialog is open.
    QFileSystemWatcher* samplitudewatcher = new QFileSystemWatcher(this);
    // The newest effect file: the one that a Yes to the open question edits.
    QString samplitudepending;
    bool samplitudeasking = false;
};

// Process-wide: the central widget and the three docks that the panels fill,
// and the two transport actions that the filter preview triggers.
extern QWidget* backgroundwidget;
extern QDockWidget* historydockptr;
extern QDockWidget* channelsdockptr;
extern QDockWidget* layersdockptr;
extern QAction* rewindaction;
extern QAction* playclipboardaction;
