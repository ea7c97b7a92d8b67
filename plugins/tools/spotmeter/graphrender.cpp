#include "graphrender.h"

#include <QPainter>
#include <QPalette>
#include <QPen>

GraphRender::GraphRender(QWidget* parent) : QWidget(parent)
{
    setBackgroundRole(QPalette::Light);
    setAutoFillBackground(true);
}

void GraphRender::setChannel(qint32 number)
{
    channel = number;
}

void GraphRender::setColor(QColor mix, QColor select, QColor clipboard)
{
    colormix = mix;
    colorselect = select;
    colorclipboard = clipboard;
}

void GraphRender::setValues(float start, float end, float bottom, float top, QString hunit, QString vunit,
                            qint32 count, float* mix, float* select, float* clip)
{
    numvalues = 0;
    arraymix = {};
    arrayselect = {};
    arrayclip = {};
    startvalue = start;
    endvalue = end;
    bottomvalue = bottom;
    topvalue = top;
    horizontalunit = hunit;
    verticalunit = vunit;
    if (count > 0 && mix && select && clip) {
        numvalues = count;
        arraymix.assign(mix, mix + count);
        arrayselect.assign(select, select + count);
        arrayclip.assign(clip, clip + count);
    }
    update();
}

static QString labeltext(float value, const QString& unit)
{
    return QStringLiteral("%1 %2").arg(double(value), 0, 'g').arg(unit);
}

QList<GraphRender::Label> GraphRender::labels(QSize size) const
{
    const int w = size.width();
    const int h = size.height();
    QList<Label> list;
    list.append({QRect(QPoint(0, 0), QPoint(69, 9)), tr("Channel #%1").arg(channel)});
    // Just below each inner grid line; none at the edges.
    for (int i = 1; i <= 7; ++i) {
        const int y = h - i * h / 8;
        const float value = bottomvalue + (topvalue - bottomvalue) * i * 0.125f;
        list.append({QRect(QPoint(0, y), QPoint(79, y + 9)), labeltext(value, verticalunit)});
    }
    // At the left edge and at each vertical grid line; none at the right edge.
    for (int j = 0; j <= 3; ++j) {
        const int x = j * w / 4;
        const float value = startvalue + (endvalue - startvalue) * j * 0.25f;
        list.append({QRect(QPoint(x, h - 10), QPoint(x + 79, h - 1)), labeltext(value, horizontalunit)});
    }
    return list;
}

QPolygonF GraphRender::curve(const float* values, int count, QSize size, float bottom, float top)
{
    QPolygonF points;
    // One point has no horizontal extent to spread over and draws nothing.
    if (count < 2 || !values)
        return points;
    const double w = size.width();
    const double h = size.height();
    points.reserve(count);
    for (int k = 0; k < count; ++k)
        points.append(QPointF(w * k / (count - 1), h - h * (double(values[k]) - bottom) / (double(top) - bottom)));
    return points;
}

void GraphRender::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const int w = width();
    const int h = height();
    const QColor textcolour(50, 50, 50, 255);

    if (numvalues >= 1) {
        painter.setPen(QColor(100, 100, 100, 255));
        for (int i = 1; i <= 7; ++i) {
            const int y = h - i * h / 8;
            painter.drawLine(0, y, w, y);
        }
        for (int j = 1; j <= 3; ++j) {
            const int x = j * w / 4;
            painter.drawLine(x, 0, x, h);
        }

        painter.setPen(textcolour);
        for (const Label& label : labels(size()))
            painter.drawText(label.rect, Qt::AlignLeft | Qt::AlignVCenter, label.text);

        const struct
        {
            const std::vector<float>& values;
            const QColor& colour;
        } curves[] = {{arraymix, colormix}, {arrayselect, colorselect}, {arrayclip, colorclipboard}};
        for (const auto& c : curves) {
            QPen pen(c.colour);
            pen.setCosmetic(true);
            painter.setPen(pen);
            painter.drawPolyline(curve(c.values.data(), numvalues, size(), bottomvalue, topvalue));
        }
    }

    painter.setPen(textcolour);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(0, 0, w - 2, h - 2);
}
