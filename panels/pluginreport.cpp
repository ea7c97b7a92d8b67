#include "pluginreport.h"

#include <QObject>

#include "core/log.h"
#include "sdk/interfaces.h"

PluginReport pluginreport(FileInterface* plugin)
{
    PluginReport report;
    // Plugins derive from QObject first; a plugin object that is none has nothing to say.
    const auto* object = dynamic_cast<const QObject*>(plugin);
    if (!object)
        return report;
    report.message = object->property(filereportmessage).toString();
    report.details = object->property(filereportdetails).toString();
    report.cancelled = object->property(filereportcancelled).toBool();
    return report;
}

void logreport(const QString& what, const QString& file, const PluginReport& report)
{
    if (report.message.isEmpty() && report.details.isEmpty())
        return;
    logerror(QStringLiteral("%1 %2: %3").arg(what, file, report.message));
    for (const QString& line : report.details.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        logerror(QStringLiteral("  %1").arg(line));
}
