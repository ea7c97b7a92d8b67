#pragma once
// One area transfer that a tool asked of its host, as the tool tests record it.
#include <QRectF>

struct AreaTransfer
{
    int source, destination;
    QRectF area;
    int channelmask, mode;
    float dtime, dfreq;
};
