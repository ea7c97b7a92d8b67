#pragma once
// The edit controller of the spectrogram: it owns the channel views, the
// three slot Buffers, the visible time-frequency area and the transform and
// display parameters, and it turns the shell's commands and the views'
// gestures into edits. It is a thread whose own event loop only hosts the
// DeviceThread; every slot of the controller itself runs in the GUI thread.
#include <QColor>
#include <QCursor>
#include <QHash>
#include <QList>
#include <QPixmap>
#include <QPointF>
#include <QRectF>
#include <QSemaphore>
#include <QSize>
#include <QString>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVector>

#include <atomic>
#include <optional>

#include "core/layer.h"
#include "view/wheelnotches.h"

class QAction;
class QMessageBox;
class QPushButton;
class QShortcut;
class QSplitter;
class QTabletEvent;
class QScrollBarExt;
class GLChannel;
class DeviceInterface;
class ToolInterface;
class DataInterface;
class DeviceThread;
struct DeviceReport;
class Buffer;
class LayersGui;
struct DisplayExtent;
struct UtilityCommand;
struct UtilityResult;

// The process-wide selection: a time-frequency rectangle, all zero when
// nothing is selected (a selection exists when its width or height is not 0).
extern QRectF selection;
inline bool selectionexists()
{
    return selection.width() != 0 || selection.height() != 0;
}

class SpectrumGui : public QThread
{
    Q_OBJECT
public:
    explicit SpectrumGui(QWidget* mainwindow);
    ~SpectrumGui() override;

    // Binds `l` (null unbinds) to slot `layertype` (0 mix, 1 current layer,
    // 2 clipboard). The first layer bound fixes the project format and makes
    // the views; unbinding the last of the mix and the current layer closes
    // the project. Returns false, changing nothing, for a layer whose format
    // differs from the project's or that has no usable format.
    bool bindlayer(qint32 layertype, layer* l);
    // Writes the clipboard Buffer back to its layer and repaints the clipboard.
    void refreshclipboard();

    // The view of channel c (null outside the project's channels).
    GLChannel* view(int channel) const;
    // How long the destructor waits for the device thread to end its loop.
    static constexpr unsigned long threadwaitms = 5000;

    QSplitter* splitter = nullptr;
    QScrollBarExt* timescrollbar = nullptr;
    QScrollBarExt* freqscrollbar = nullptr;
    QPushButton* orientationbutton = nullptr;
    QMessageBox* nolayerbox = nullptr; // the shell's "No layer selected" box
    int samplerate = 0;  // 0: no project format yet
    int channels = 0;
    int speakermask = 0;
    int channelmask = 0; // bit c: channel c is shown
    int ffttype = 4;
    int fftsize = 0; // 0: no window length chosen yet
    int fftsizeindex = 0;
    int fftoverlap = 2;
    bool fftsubwin = false;
    bool snapshotwarned = false; // the user was told that edits cannot be undone for now
    bool pushing = false; // inside pushbackup, whose message box may bring mouse events
    // An edit of the current layer that was kept without a history entry:
    // the layer, what its entry is called, and why it could not be made.
    layer* pendinglayer = nullptr;
    QString pendingdescription;
    QPixmap pendingicon;
    QString pendingreason;
    bool retrying = false; // inside inrecordpending: its failure is told by the refusal that follows
    QCursor cursor = QCursor(Qt::ArrowCursor);
    GLChannel* firstview = nullptr;
    DeviceInterface* playdevice = nullptr;
    QString playdescription;
    DeviceInterface* recorddevice = nullptr;
    QString recorddescription;
    QAction* toolaction = nullptr;
    ToolInterface* tool = nullptr;
    QRectF displayarea = QRectF(0, 0, 0, 0);
    QPointF selectionanchor = QPointF(0, 0);
    int timecursormode = 0;
    double timecursor = 0;
    double recordmark = 0;
    // Shared with a device run through plain pointers: both threads reach
    // these three only as atomics (devicetime(), setdevicetime() and the like).
    alignas(std::atomic_ref<double>::required_alignment) double currenttime = 0;
    QRectF playrange = QRectF(0, 0, 0, 0);
    int volumevalue = 0;
    alignas(std::atomic_ref<float>::required_alignment) float volume = 1.0f;
    alignas(std::atomic_ref<bool>::required_alignment) bool stop = true; // true: stop asked or idle
    int pause = 0;
    int scroll = 0;
    int clipsolo = 1;
    int smartcursor = 0;
    int devicelayer = 0;
    int transportmode = -1; // -1: no transport run
    QAction* transportaction = nullptr;
    QTimer devicetimer;
    int multiplier = 1;
    int gamma = 50; // tenths
    int zebra = 0;
    QPointF displacement = QPointF(0, 180.0); // size, angle in degrees
    int grid = 0;
    int filtering = 0;
    int phase = 0;
    int snap = 0;
    float mousepressure = 0;
    QPointF mouseposition = QPointF(0, 0);
    QPointF zoomanchor = QPointF(0, 0);
    int mousechannel = -1;
    int panzoommode = -1;
    int displacemode = 0;
    int selectionmode = -1;
    int movescalemode = -1;
    bool verticalchannels = true;
    QWidget* mainwindow = nullptr;

signals:
    void outselection(QRectF selection);
    void outvolume(int volume);
    void outdevicecursor(double devicecursor, qint32 devicelayer, bool deviceselected);
    void outsnap(int snap);
    void outfftsizeindex(int index);
    void outdisplace(int displace);
    void outmultiplier(int mult);
    void outgamma(int gamma);
    void outgamma(double gamma);
    void outzebra(int zebra);
    void outdispsize(double size);
    void outdispangle(double angle);
    void outdisplacement(QPointF disp);
    void outgrid(int grid);
    void outfiltering(int filt);
    void outphase(int phase);
    void outdisplaystart(double time);
    void outdisplayend(double time);
    void outdisplaylength(double time);
    void outdisplaylow(double freq);
    void outdisplayhigh(double freq);
    void outdisplayrange(double freq);
    void outtimescroll(int value);
    void outfreqscroll(int value);
    void outbackuplayer(QPixmap icon, QString description, layer* source, layer* backupbefore,
                        layer* backupafter, QRectF select);
    void outchannels(qint32 channels);
    void outchanneldescription(qint32 channel, QString description);
    void outcurrentchannel(qint32 channel);
    void devicePlayOpen(DeviceInterface* device, QString description);
    void devicePlayStart(DeviceInterface* device, QString description, qint32 layertype, qint32 loop,
                         QRectF range, double* currenttime, float* volume, bool* stop);
    void devicePlayClose(DeviceInterface* device, QString description);
    void deviceRecordOpen(DeviceInterface* device, QString description);
    void deviceRecordStart(DeviceInterface* device, QString description, qint32 layertype,
                           qint32 loop, QRectF range, double* currenttime, float* volume,
                           bool* stop);
    void deviceRecordClose(DeviceInterface* device, QString description);
    void outfftparam(qint32 ffttype, qint32 fftsize, qint32 fftoverlap, bool fftsubwin);
    void outdisplayarea(QRectF area, QRectF updatearea = QRectF(), qint32 layertype = 3);
    void outbindlayer(layer* bindlayer, qint32 layertype);
    void outtexrequest(qint32 layertype, QRectF area, QSize texres, QRectF updatearea = QRectF());
    void outmouseevent(QPointF mousepos, float mousepressure);
    void outmousecursor(QCursor mousecursor);
    void outglenabled(bool enabled);
    void outtoolreset();
    void outplayreset();
    void outglmessage(QString message, QColor color);
    void outupdategl();
    void outtabletEvent(QTabletEvent* event);
    void outresetdrawtex(qint32 type);

public slots:
    void insnap(bool toggled);
    void inpanreset();
    void inzoomreset();
    void indevicepause();
    void involume(int volume);
    void inscroll(int scroll);
    void inclipsolo(int clipsolo);
    void insmartcursor(int smartcursor);
    void inffttype(int type);
    void infftsize(int size);
    void infftoverlap(int overlap);
    void infftsubwin(int subwin);
    void inmultiplier(int mult);
    void ingamma(int gamma);
    void ingamma(double gamma);
    void inzebra(int zebra);
    void indispreset();
    void indispsize(double size);
    void indispangle(double angle);
    void indisplacement(QPointF disp);
    void ingrid(int grid);
    void infiltering(int filt);
    void inphase(int phase);
    void indisplaystart(double time);
    void indisplayend(double time);
    void indisplaylength(double time);
    void indisplaylow(double freq);
    void indisplayhigh(double freq);
    void indisplayrange(double freq);
    void intimescroll();
    void infreqscroll();
    void indevicelog(QString action, QString description, bool result);
    void notool();
    void inunit();
    void inchannelactive(qint32 channel, bool active);
    void inzoomselected();
    void indisplayarea(QRectF area);
    void inupdategl();
    void inglenabled(bool enabled);
    void changechannelsorientation();
    void escapeKey();
    void fftsizekey();
    void timecursorkey();
    void panzoomkey();
    void scrollbarzoom(int delta);
    void cleanclipboard();
    void inDropUrl(QList<QUrl> urlList);

    // Transport
public:
    // How long a stop waits for the device thread to come back from a run.
    static constexpr int devicewaitms = 3000;

    double devicetime() const
    {
        return std::atomic_ref<double>(const_cast<double&>(currenttime)).load();
    }
    void setdevicetime(double t) { std::atomic_ref<double>(currenttime).store(t); }
    bool stopflag() const { return std::atomic_ref<bool>(const_cast<bool&>(stop)).load(); }
    void setstopflag(bool s) { std::atomic_ref<bool>(stop).store(s); }
    void setdevicegain(float g) { std::atomic_ref<float>(volume).store(g); }

    // True when every device operation sent so far has returned within `ms`.
    bool waitdevice(int ms = devicewaitms);

public slots:
    void indevicetrig();
    void inupdatedevicetime(bool updategl = true);
    void inpause(int pause);
    void indeviceplay();
    void indevicerecord();
    void indeviceplaysettings();
    void indevicerecordsettings();
    void indeviceplayrestart();
    void indevicerecordrestart();

private:
    // Lives in the controller's thread during run(). Atomic, so that the
    // run's start and end hand over to this thread in a way ThreadSanitizer
    // sees (QSemaphore and QThread::wait do it inside Qt): the destructor's
    // load after wait() sees everything run() did, the device's calls
    // included.
    std::atomic<DeviceThread*> devicethread{nullptr};
    QSemaphore devicethreadready;
    // A start was sent and no wait has seen it return yet.
    bool runpending = false;
    // Whether the last open of the playback (0) and record (1) device failed:
    // a start that fails after it says the device could not be opened.
    bool openfailed[2] = {false, false};
    // The status line's note of the last failure of each device, until it
    // opens or starts again.
    QString devicenote[2];

    // The stop sequence; false when the device did not return in time.
    bool stoprun();
    QRectF transportrange(int mode, DataInterface* block);
    void choosedevice(bool record);
    void restartdevice(bool record);
    void opendevice(bool record, bool asked = false);
    void showdevicenote();
    // After an operation that answers a command the user just gave: its own
    // report decides whether a box tells of its failure (the others go to
    // the log and the status line only).
    void answerasked();
    void answerdevice(const DeviceReport& report);
    // What the user is told of a failed open or start (empty: nothing to tell).
    QString devicefailure(const QString& action, const QString& description, bool result) const;
    void closedevice(bool record);
    void transportwarning(const QString& title, const QString& text);

protected:
    void run() override;

private:
    // Parts of wheel notches turned over the scroll bars so far.
    WheelNotches scrollwheel;
    // The controller's own clipboard layer (slot 2 while a project is open).
    layer* clipboardlayer = nullptr;
    QList<QShortcut*> shortcuts;

    GLChannel* makeview(int channel);
    void connectview(GLChannel* v);
    void disconnectview(GLChannel* v);
    void deleteviews(); // the views of channels 1 and up
    DisplayExtent extent() const;
    layer* alllayers() const;
    void setscrollbars();
    void clearscrollbars();
    void setprojectformat(layer* l);
    void closeproject();
    void transformupdate();

    // Mouse, plugins and undo
public:
    // Where the interaction engine keeps the last event that reached the tool
    // with pressure: a Shift-stroke continues from it. Before the first stroke
    // on the current layer there is none, and a Shift-stroke starts afresh.
    struct StrokePoint
    {
        bool set = false;
        float time = 0;
        float frequency = 0;
        float pressure = 0;
    };
    int axislock = 0; // 0 free, 1 time only (frequency held), 2 frequency only
    bool timecursordrag = false;
    StrokePoint laststroke;
    // The tool has seen a pressed event of the stroke under way: its release
    // reaches it, whatever is held or wherever the pointer went.
    bool toolstroke = false;
    // A step of the tool runs on a worker thread with the event loop going
    // (runstep, core/utility.h); the pointer events and Escape that come meanwhile are
    // taken up after it.
    bool strokerunning = false;

public slots:
    void inmouseevent(QPointF mousepos, float mousepressure, int key, qint32 mousechannel,
                      bool timecursorarea);
    void refreshdatainterface(DataInterface* plugin);
    void intool(bool toggled);
    void infilter();
    void pushbackup(QString description, QPixmap icon);
    void pushbackup(QString description);
    void inrestorelayer(layer* source, layer* restore, QRectF select);
    // Before Undo or Redo read the history: an edit of the current layer
    // that was kept without an entry gets one now, if there is room.
    void inrecordpending();

private:
    struct LaterEvent
    {
        QPointF position;
        float pressure = 0;
        int key = 0;
        qint32 channel = -1;
        bool timecursorarea = false;
        Qt::KeyboardModifiers modifiers;
        bool escape = false;
    };
    QList<LaterEvent> later;
    bool takinglater = false;
    // The modifiers held at the event being taken up late.
    std::optional<Qt::KeyboardModifiers> latermodifiers;
    // Keeps an event for after the running step; a move follows the move
    // before it when nothing else came between: the tool's travel from the
    // last event it saw covers the path.
    void keepforlater(const LaterEvent& event);
    void takeuplater();
    void undoerror(const QString& text);
    // The current layer holds an edit that has no history entry.
    bool pendingedit() const;
    // That edit stays for good: the layer's entries from before it go,
    // since restoring any of them would remove it.
    void keeppending(layer* l);
    // Ends a tool stroke whose release never reached the engine: the tool
    // gets a release at the last position and the edit becomes its entry.
    void finishstroke();
    // Offers a new layer, without blocking, when the last filter run or tool
    // stroke wrote into the current-layer slot while no layer was bound there.
    void asknolayer();
    // Writes Buffer `slot` back and repaints the span the edit touched, given
    // the layer's span before it; true when something was repainted.
    bool flushedit(int slot, double start, double length);
    // A filter run that the user cancelled changes nothing: the current
    // layer gets back the frames it kept from before the run, and no entry.
    // False when it has none to give back (the edit then stays).
    bool dropcancellededit(double start, double length);

    // Interaction modes, numeric dialogs, move and scale
public:
    // How long each run of sox or rubberband may take.
    static inline int utilitywaitms = 30000;

    // Where the move and scale modes work: the selection when the mode was
    // switched on, the drag offsets since then, and a frozen copy of the
    // clipboard with its own Buffer (both owned while a mode is on).
    QRectF scaleorigin = QRectF(0, 0, 0, 0);
    float dragtime = 0; // seconds
    float dragfreq = 0; // Hz
    layer* scalesource = nullptr;
    Buffer* scalebuffer = nullptr;
    // A utility run of a move or scale step is going on (the event loop runs
    // meanwhile), and whether the user cancelled one since the step began.
    bool scalerunning = false;
    bool scalecancelled = false;

    // One drag step of the move or scale mode from the previous position;
    // false when the drag has to end (nothing selected, or a utility failed).
    bool movescaledrag(double x, double y, double previousx, double previousy);
    // The release after a drag: a scale gets its final pass.
    void movescalerelease();

public slots:
    void indrawselection(bool toggled);
    void inpanzoom(bool toggled);
    void indisplace(bool toggled);
    void intimecursortoggled(bool toggled);
    void insnapnumeric();
    void intimecursornumeric();
    void inselectionnumeric();
    void inmovescale(bool toggled);
    void inmovenumeric();
    void inscalenumeric();
    void inprogressscale();

private:
    // The file of the frozen copy that the per-channel wave files were split
    // from, and the gain that kept it clear of sox's clipping; empty when
    // they are missing or stale.
    QString splitsource;
    float splitgain = 1;
    // A scale preview changed the clipboard since the last final pass.
    bool scalepending = false;

    // Switches the move or scale mode off and removes its copy and files.
    void endmovescale();
    // The frozen copy split into one wave file per channel (kept while the
    // copy stays the same); false with the reason when sox failed.
    bool splitclipboard(QString& why);
    // Runs the commands of a step watched and cancellable: sox, or rubberband
    // for the final pass with its progress.
    QList<UtilityResult> runscaleutilities(const QList<UtilityCommand>& commands, bool final);
    // Stretches the frozen copy by `timefactor` and transposes it by
    // `semitones` into the clipboard: sox for a preview, rubberband for the
    // final pass. On a failure the clipboard stays as it was and `why` says
    // what went wrong.
    bool scaleclipboard(double timefactor, double semitones, bool final, QString& why);
    // The frozen copy's bins into the emptied clipboard, shifted by the offsets.
    void moveclipboard();
    // The selection and the clipboard after the offsets changed in a move
    // mode, and in a scale mode (a preview, or the final pass); a failed
    // scale gives the old offsets back and says why.
    void reposition();
    bool rescale(bool final, float oldtime, float oldfreq);
    // Repaints the clipboard over the selection before and after a step and
    // over its span before (clipstart, cliplength) and after.
    void showclipboardchange(const QRectF& before, double clipstart, double cliplength);
    // The scale of the current offsets: the new selection, the time factor
    // and the transposition in semitones.
    QRectF scaledselection(double* timefactor = nullptr, double* semitones = nullptr) const;
    void movescalewarning(const QString& why);

    // Edit commands, time edits and calibration
public slots:
    void indel();
    void incut();
    void incopy();
    void inpaste();
    void ininserttime();
    void inremovetime();
    void incalibrate(bool average, bool peak, float calibration, bool calzebra, bool calmult,
                     bool calvol, float* layerfactor);

private:
    // True when no transport run holds the device; otherwise says so.
    bool deviceidle();
    // Applies one area transfer of the edit commands over an area (the
    // selection) for the active channels (none active: nothing is touched).
    void editarea(int source, int destination, int mode, const QRectF& area);
    // The area widened to the frames of the current layer whose synthesis
    // reaches its samples (what Delete silences).
    QRectF framesreaching(const QRectF& area) const;
    void renewscalesource();
    // Asks for a range and runs `edit` of the layer panel on it.
    void timeedit(const QString& title, bool (LayersGui::*edit)(double, double));
};

// The one controller of the main window (null while there is none).
extern SpectrumGui* spectrumgui;
