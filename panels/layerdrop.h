#pragma once
// Files dropped on the history or channel panel are imported by the layer
// panel, as if they had been dropped on the layer list.
#include <QList>
#include <QMetaObject>
#include <QUrl>

#include "panels/layersgui.h"

inline void droptolayers(const QList<QUrl>& urlList)
{
    if (layersgui)
        QMetaObject::invokeMethod(layersgui, "inDropUrl", Qt::DirectConnection, Q_ARG(QList<QUrl>, urlList));
}
