#pragma once
// The four plugin contracts. A plugin file holds one class that derives from
// QObject first and from one of these interfaces second, declares
// Q_PLUGIN_METADATA with the interface's identifier and Q_INTERFACES with the
// interface, and is exported by Qt's plugin macro, which creates its single
// instance on the first call and returns the same object afterwards. The
// constructor only builds empty members; everything else happens in
// initialize. Every operation returns true on success.
//
// Host and plugins are built separately: member order, member types and the
// order of the virtual operations must never change.
#include <QCursor>
#include <QMetaType>
#include <QObject>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QtPlugin>

#include "datainterface.h"

class QToolBar;
class QWidget;

// A tool acts where the user drags on the spectrogram. The host calls its
// process in the GUI thread, or, for a tool that implements OffThreadTool
// (offthreadtool.h), its pointer calls on a worker thread while the window
// keeps answering.
class ToolInterface : public DataInterface
{
public:
    virtual ~ToolInterface() {}
    virtual bool initialize(const QString& pluginfile, QWidget* mainwindow) = 0;
    // x time in s, y frequency in Hz, pressure the pen pressure, d* the change
    // since the previous event, key 0 for the mouse or the Qt key code, and the
    // channel under the pointer. The host ignores the result.
    virtual bool process(float x, float y, float pressure, float dx, float dy, float dpressure,
                         int key, qint32 mousechannel) = 0;

    QString name;
    QString category; // "Extract", "Modify", "Draw" or "Info"
    QString label;    // short name in the group, the menus and the history
    QPixmap icon;
    // The tool's settings bar, shown by the host while the tool is chosen.
    // initialize creates it on the heap without a parent; from then on the host
    // owns it: it reparents it into the main window and deletes it before the
    // main window is destroyed. The plugin never deletes it.
    QToolBar* toolbar = nullptr;
    QCursor cursor;   // the brush cursor
};

// A filter acts on the selection of the current layer, usually through a dialog.
class FilterInterface : public DataInterface
{
public:
    virtual ~FilterInterface() {}
    virtual bool initialize(const QString& pluginfile, QWidget* mainwindow) = 0;
    virtual bool process() = 0; // the host ignores the result

    QString name;
    QString category; // submenu: "IO", "Mix" or "Generate"
    QString label;    // menu entry and history text
    // Stored by the host after loading: plays the clipboard in a modal box.
    // A preview writes into the clipboard buffer first, then calls it.
    void (*previewhook)() = nullptr;
};

// A file plugin decodes and encodes audio. It exchanges audio with the host as
// headerless files of little-endian 32-bit float samples, interleaved frame by
// frame in channel order.
class FileInterface
{
public:
    virtual ~FileInterface() {}
    virtual bool initialize(const QString& pluginfile, QWidget* mainwindow) = 0;
    // Decodes source (picked with the import filter `filter`) into the raw file
    // destination and reports its format; the host sets every output to 0
    // first. A speaker mask of 0 takes the default for the channel count; start
    // left at 0 keeps the new layer where it is. True with a sample rate or a
    // channel count of 0 counts as a failure.
    virtual bool importFile(const QString& filter, const QString& source, const QString& destination,
                            int* samplerate, int* channels, int* speakermask, double* start,
                            double* length) = 0;
    // Encodes the raw file source into destination in the format `filter` names.
    virtual bool exportFile(const QString& filter, const QString& source, const QString& destination,
                            int samplerate, int channels) = 0;

    QString name;
    QStringList importfilters; // file-dialog filters: "Name (*.ext *.ext2)"
    QStringList exportfilters; // export format labels
};

// What a file plugin has to say beyond true or false, it leaves after each
// importFile and exportFile in dynamic properties of its QObject, so that the
// layout above stays as plugins were built against it (a plugin that sets none
// gets the host's plain "could not be read" or "could not be written"):
//   "message"   QString  in plain words, why the call failed or, after a
//                        success, what it left out; the host shows it in its
//                        one box, and the plugin shows no box of its own
//   "details"   QString  diagnostics for the session log (a converter's lines)
//   "cancelled" bool     the user stopped the call: a failure then needs no
//                        box, a success kept what was done until then
inline constexpr const char* filereportmessage = "message";
inline constexpr const char* filereportdetails = "details";
inline constexpr const char* filereportcancelled = "cancelled";

// What the host asks of an exportFile beyond the filter, in a dynamic property
// it sets before each call (a plugin that knows none writes what the filter names):
//   "writeback" bool  destination is the file a calling program handed over:
//                     write it in the coding and sample format it had when it
//                     was imported, where the filter's format would change them
inline constexpr const char* fileexportwriteback = "writeback";

// A device plugin plays and records buffers. The settings operations run on the
// GUI thread, the others one after the other on the controller's thread.
class DeviceInterface : public DataInterface
{
public:
    virtual ~DeviceInterface() {}
    virtual bool initialize(const QString& pluginfile, QWidget* mainwindow) = 0;
    virtual bool playSettings() = 0; // false: "No settings."
    virtual bool playOpen(const QString& description) = 0;
    // Plays buffer layertype over range's time span (looping when loop is not
    // 0), keeps *currenttime at the play position, follows *volume and returns
    // when *stop turns true or the range ends. The three values are shared with
    // the GUI thread without a lock.
    virtual bool playStart(const QString& description, qint32 layertype, qint32 loop, QRectF range,
                           double* currenttime, float* volume, bool* stop) = 0;
    virtual bool playClose(const QString& description) = 0;
    virtual bool recordSettings() = 0; // false: "No settings."
    virtual bool recordOpen(const QString& description) = 0;
    // Records into buffer layertype until *stop turns true.
    virtual bool recordStart(const QString& description, qint32 layertype, qint32 loop, QRectF range,
                             double* currenttime, float* volume, bool* stop) = 0;
    virtual bool recordClose(const QString& description) = 0;

    QString name;
    QString category;          // title of the host submenu of its devices
    QStringList playdevices;   // one description per playback device
    QStringList recorddevices; // one description per recording device
};

// moc reads these identifiers as literals; the plugins' Q_PLUGIN_METADATA must
// repeat them exactly.
Q_DECLARE_INTERFACE(FileInterface, "com.MURROWGATE.Korvane.Plugin.FileInterface/1.0")
Q_DECLARE_INTERFACE(DeviceInterface, "com.MURROWGATE.Korvane.Plugin.DeviceInterface/1.0")
Q_DECLARE_INTERFACE(ToolInterface, "com.MURROWGATE.Korvane.Plugin.ToolInterface/1.0")
Q_DECLARE_INTERFACE(FilterInterface, "com.MURROWGATE.Korvane.Plugin.FilterInterface/1.0")

// Interface pointers travel in QAction data and in queued signal arguments.
Q_DECLARE_METATYPE(ToolInterface*)
Q_DECLARE_METATYPE(DeviceInterface*)
Q_DECLARE_METATYPE(FilterInterface*)

// Registers the three pointer types by name, for string-based queued
// connections; the host calls it once at start.
inline void registerinterfacetypes()
{
    qRegisterMetaType<ToolInterface*>("ToolInterface*");
    qRegisterMetaType<DeviceInterface*>("DeviceInterface*");
    qRegisterMetaType<FilterInterface*>("FilterInterface*");
}
