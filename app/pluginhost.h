#pragma once
// Finds, loads, recognises and initialises the plugins of the installation,
// kind by kind (files, devices, tools, filters), hands the program's services
// (hostservices.h) to each that takes them, and hands each one that is
// fit for use to a placement: the main window in the program, a recorder in
// the tests. Plugins stay loaded until the process ends.
#include <QList>
#include <QString>

class QWidget;
class FileInterface;
class DeviceInterface;
class ToolInterface;
class FilterInterface;

enum class PluginKind { File, Device, Tool, Filter };

struct PluginKindInfo
{
    PluginKind kind;
    const char* folder;     // below the installation root
    const char* splash;     // splash text after the version
    const char* type;       // Type column of the Plugins dialog (translatable)
    const char* notkind;    // log line when the cast fails
    const char* notinit;    // log line when initialize fails
};

const PluginKindInfo& pluginkindinfo(PluginKind kind);

// What the host hands its plugins to. Each kind's list comes once, right after
// that kind was loaded, in load order; a plugin whose initialize failed never
// reaches it.
class PluginPlacement
{
public:
    virtual ~PluginPlacement() = default;
    virtual void splash(const QString& text) = 0;
    // One row of the Plugins dialog: file name, type text, the plugin's name.
    virtual void listed(const QString& file, const QString& type, const QString& description) = 0;
    virtual void files(const QList<FileInterface*>& plugins) = 0;
    virtual void devices(const QList<DeviceInterface*>& plugins) = 0;
    // Tools with an icon and a label.
    virtual void tools(const QList<ToolInterface*>& plugins) = 0;
    // Every tool that was loaded, placed or not: the host owns each one's settings bar.
    virtual void adopttoolbars(const QList<ToolInterface*>& plugins) = 0;
    // Filters with a label, other than those of the category "IO".
    virtual void filters(const QList<FilterInterface*>& plugins) = 0;
    // The filters of the category "IO" that have a label: they exchange files
    // with other programs, have no Plugins dialog row and are never previewed.
    virtual void iofilters(const QList<FilterInterface*>& plugins) = 0;
};

// Loads every file below root + "/Plugins/<Kind>" (sub-folders first, in name
// order, any file name) and returns the number of rows listed. `version`
// begins each splash text; `mainwindow` is what initialize receives.
int loadplugins(const QString& root, const QString& version, QWidget* mainwindow, PluginPlacement& placement);
