#include "pluginhost.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPluginLoader>
#include <QStringList>

#include "core/fileutils.h"
#include "core/log.h"
#include "hostservices.h"
#include "sdk/binruns.h"
#include "sdk/hostservices.h"
#include "sdk/interfaces.h"

namespace {

const PluginKindInfo kinds[] = {
    {PluginKind::File, "/Plugins/Files", " : Loading Plugins/Files...", QT_TRANSLATE_NOOP("MainWindow", "File"),
     "not a file plugin: %1", "file not initialized: %1"},
    {PluginKind::Device, "/Plugins/Devices", " : Loading Plugins/Devices...",
     QT_TRANSLATE_NOOP("MainWindow", "Device"), "not a device plugin: %1", "device not initialized: %1"},
    {PluginKind::Tool, "/Plugins/Tools", " : Loading Plugins/Tools...", QT_TRANSLATE_NOOP("MainWindow", "Tool"),
     "not a tool plugin: %1", "tool not initialized: %1"},
    {PluginKind::Filter, "/Plugins/Filters", " : Loading Plugins/Filters...",
     QT_TRANSLATE_NOOP("MainWindow", "Filter"), "not a filter plugin: %1", "filter not initialized: %1"},
};

// One pass over one kind's files: load, cast, initialize, list.
class KindLoader
{
public:
    KindLoader(const PluginKindInfo& info, QWidget* mainwindow, PluginPlacement& placement, int& rows)
        : info(info), mainwindow(mainwindow), placement(placement), rows(rows)
    {
    }

    // Returns the plugin cast to Interface, or null; `ok` tells whether its
    // initialize succeeded. `listed` decides from an initialised plugin whether
    // it gets a row (a failed one always does).
    template <class Interface, class Listed>
    Interface* load(const QString& path, Listed listed, bool& ok)
    {
        ok = false;
        QObject* instance = nullptr;
        {
            QPluginLoader loader(path);
            instance = loader.instance();
        }
        if (!instance)
            return nullptr;
        auto* plugin = qobject_cast<Interface*>(instance);
        if (!plugin) {
            logerror(QString::fromLatin1(info.notkind).arg(path));
            return nullptr;
        }
        if (auto* user = qobject_cast<HostUser*>(instance))
            user->sethost(programservices());
        if (auto* user = qobject_cast<BinRunUser*>(instance))
            user->setbinruns(programbinruns());
        ok = plugin->initialize(path, mainwindow);
        if (!ok)
            logerror(QString::fromLatin1(info.notinit).arg(path));
        if (!ok || listed(plugin))
            list(path, plugin->name);
        return plugin;
    }

    // Every plugin of `paths` whose initialize succeeded, in load order.
    template <class Interface, class Listed>
    QList<Interface*> loadall(const QStringList& paths, Listed listed)
    {
        QList<Interface*> plugins;
        bool ok = false;
        for (const QString& path : paths)
            if (auto* p = load<Interface>(path, listed, ok); p && ok)
                plugins.append(p);
        return plugins;
    }

private:
    void list(const QString& path, const QString& name)
    {
        placement.listed(QFileInfo(path).fileName(), QCoreApplication::translate("MainWindow", info.type), name);
        ++rows;
    }

    const PluginKindInfo& info;
    QWidget* mainwindow;
    PluginPlacement& placement;
    int& rows;
};

bool isiofilter(const FilterInterface* filter)
{
    return filter->category == QLatin1String("IO");
}

} // namespace

const PluginKindInfo& pluginkindinfo(PluginKind kind)
{
    return kinds[static_cast<int>(kind)];
}

int loadplugins(const QString& root, const QString& version, QWidget* mainwindow, PluginPlacement& placement)
{
    // Every folder is listed before anything is loaded: a plugin's initialize
    // cannot change what the others are.
    QStringList paths[4];
    for (int k = 0; k < 4; ++k)
        listfiles(root + QString::fromLatin1(kinds[k].folder), paths[k]);

    int rows = 0;
    auto begin = [&](PluginKind kind) {
        placement.splash(version + QString::fromLatin1(pluginkindinfo(kind).splash));
        return KindLoader(pluginkindinfo(kind), mainwindow, placement, rows);
    };
    const auto always = [](auto*) { return true; };
    bool ok = false;

    placement.files(begin(PluginKind::File).loadall<FileInterface>(paths[0], always));
    placement.devices(begin(PluginKind::Device).loadall<DeviceInterface>(paths[1], always));
    {
        KindLoader loader = begin(PluginKind::Tool);
        QList<ToolInterface*> loaded, placed;
        for (const QString& path : paths[2])
            if (auto* p = loader.load<ToolInterface>(path, always, ok)) {
                // A failed initialize may have made its settings bar already.
                if (!loaded.contains(p))
                    loaded.append(p);
                if (ok && !p->icon.isNull() && !p->label.isEmpty())
                    placed.append(p);
            }
        placement.adopttoolbars(loaded);
        placement.tools(placed);
    }
    {
        const auto listedfilter = [](FilterInterface* f) { return !isiofilter(f); };
        QList<FilterInterface*> filters, iofilters;
        for (FilterInterface* p : begin(PluginKind::Filter).loadall<FilterInterface>(paths[3], listedfilter))
            if (!p->label.isEmpty())
                (isiofilter(p) ? iofilters : filters).append(p);
        placement.filters(filters);
        placement.iofilters(iofilters);
    }
    logmessage(QStringLiteral("%1 plugins loaded").arg(rows));
    return rows;
}
