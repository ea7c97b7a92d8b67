#include "gridmarks.h"

#include "gridlines.h"
#include "labeltexts.h"

namespace {

double linegrey(double d)
{
    return d == 0 ? 0.15 : 0.07;
}

} // namespace

QVector<GridMark> timegridmarks(const QRectF& area, float unittime, int samplerate, int fftsize, int fftoverlap)
{
    QVector<GridMark> marks;
    const double k = timeunitfactor(unittime, samplerate, fftsize, fftoverlap);
    if (k == 0)
        return marks;
    const double start = k * area.x();
    const double span = k * (area.x() + area.width()) - start;
    for (double d : gridvalues(start, start + span, span))
        marks.append({d * area.width() / span, linegrey(d), gridtimelabel(d, unittime)});
    return marks;
}

QVector<GridMark> freqgridmarks(const QRectF& area, int heightpixels, float unitfreq, int samplerate, int fftsize)
{
    QVector<GridMark> marks;
    const double k = frequnitfactor(unitfreq, samplerate, fftsize);
    if (k > 0) {
        const double top = k * area.y();
        for (double d : gridvalues(k * (area.y() + area.height()), top, -k * area.height()))
            marks.append({d / k, linegrey(d), gridfreqlabel(d, unitfreq)});
        return marks;
    }
    const AxisScale scale{double(heightpixels), -area.height()};
    double last = 0;
    for (const ToneLine& line : tonelines(unitfreq)) {
        if (!line.octave && !(scale.distance(line.frequency - last) > 10))
            continue;
        last = line.frequency;
        const QString label = unitfreq == -13 ? gridnotelabel(line.index) : gridoctavelabel(line.index, line.frequency);
        marks.append({line.frequency, line.octave ? 0.15 : 0.07, label});
    }
    return marks;
}

double phasecolumnsperwindow(const QRectF texarea[3], const QSize texres[3], int samplerate, int fftsize)
{
    int k = -1;
    if (texres[1].width() > 1 && texres[1].height() > 1)
        k = 1;
    else if (texres[0].width() > 1 && texres[0].height() > 1)
        k = 0;
    if (k < 0 || samplerate <= 0 || fftsize <= 0)
        return 0;
    return (texres[k].width() / texarea[k].width()) / (double(samplerate) / fftsize);
}
