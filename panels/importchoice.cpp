#include "importchoice.h"

#include <QRegularExpression>

QString fileextension(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? fileName : fileName.mid(dot);
}

int pluginforextension(const QList<QStringList>& plugins, const QString& fileName, QString* filter)
{
    // The extension is a pattern as it stands (its "." matches any character),
    // followed by the space or bracket that ends an entry of a filter.
    const QRegularExpression pattern(fileextension(fileName).toLower() + QStringLiteral("[ )]"));
    int chosen = -1;
    if (!pattern.isValid())
        return chosen;
    for (int p = 0; p < plugins.size(); ++p)
        for (const QString& candidate : plugins.at(p))
            if (pattern.match(candidate.toLower()).hasMatch()) {
                chosen = p;
                if (filter)
                    *filter = candidate;
            }
    return chosen;
}

int pluginforfilter(const QList<QStringList>& plugins, const QString& filter)
{
    int chosen = -1;
    for (int p = 0; p < plugins.size(); ++p)
        if (plugins.at(p).contains(filter))
            chosen = p;
    return chosen;
}
