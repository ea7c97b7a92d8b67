#pragma once
// The small plotting widget of the spotmeter graph window: three curves of one
// quantity (mix, current layer, clipboard) over a grid with axis labels and
// the channel number. It knows nothing of spectra; its owner hands it the
// curves, the axis ranges and units, and the colours.
#include <QColor>
#include <QList>
#include <QPolygonF>
#include <QRect>
#include <QString>
#include <QWidget>

#include <vector>

class GraphRender : public QWidget
{
    Q_OBJECT

public:
    explicit GraphRender(QWidget* parent = nullptr);

    // A text and the rectangle it is drawn in, left-aligned and centred
    // vertically.
    struct Label
    {
        QRect rect;
        QString text;
    };
    // The channel label, the vertical labels at 1/8 to 7/8 of the height and
    // the horizontal ones at 0 to 3/4 of the width, for a widget of that size.
    QList<Label> labels(QSize size) const;
    // A curve of count values as widget points: the first at the left edge,
    // the last at the right, bottom at the lower edge and top at the upper.
    static QPolygonF curve(const float* values, int count, QSize size, float bottom, float top);

    // What the widget holds; the slots change it.
    int channel = 0;
    QColor colormix;
    QColor colorselect;
    QColor colorclipboard;
    float startvalue = 0;  // horizontal value at the left edge
    float endvalue = 0;    // and at the right edge
    float bottomvalue = 0; // vertical value at the bottom edge
    float topvalue = 0;    // and at the top edge
    QString horizontalunit;
    QString verticalunit;
    int numvalues = 0; // points per curve; 0 while no curves are held
    // Own copies of the three curves, numvalues floats each.
    std::vector<float> arraymix;
    std::vector<float> arrayselect;
    std::vector<float> arrayclip;

public slots:
    void setChannel(qint32 channel); // no repaint
    void setColor(QColor colormix, QColor colorselect, QColor colorclipboard); // no repaint
    // Copies the caller's arrays (the caller keeps them) and repaints. With
    // numvalues 0 the arrays are not read and only the outline is drawn.
    void setValues(float startvalue, float endvalue, float bottomvalue, float topvalue, QString horizontalunit,
                   QString verticalunit, qint32 numvalues, float* arraymix, float* arrayselect,
                   float* arrayclip);

protected:
    void paintEvent(QPaintEvent* event) override;
};
