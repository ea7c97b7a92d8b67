#include "gridlines.h"

#include <cmath>
#include <cstdlib>

#include "sdk/rounding.h"

bool AxisScale::valid() const
{
    return std::isfinite(pixels) && pixels > 0 && std::isfinite(units) && units != 0;
}

int AxisScale::distance(double v) const
{
    if (!valid())
        return unreachable;
    const double p = v * pixels / units;
    return std::isfinite(p) ? roundhalfupclamped(p) : unreachable;
}

int AxisScale::offset(double v) const
{
    const int d = distance(v);
    return d == unreachable ? 0 : d;
}

double timeunitfactor(float unittime, int samplerate, int fftsize, int fftoverlap)
{
    double k = 0;
    if (unittime == 0 || unittime == -1)
        k = 1;
    else if (unittime == -2)
        k = samplerate;
    else if (unittime == -3)
        k = fftsize > 0 ? double(samplerate) / fftsize : 0;
    else if (unittime == -4)
        k = fftoverlap > 0 && fftsize / fftoverlap > 0 ? double(samplerate) / (fftsize / fftoverlap) : 0;
    else if (unittime > 0)
        k = double(unittime) / 60;
    return std::isfinite(k) && k > 0 ? k : 0;
}

double frequnitfactor(float unitfreq, int samplerate, int fftsize)
{
    double k = 0;
    if (unitfreq == -10)
        k = 1;
    else if (unitfreq == -11 || unitfreq == -12)
        k = samplerate > 0 ? double(fftsize) / samplerate : 0;
    return std::isfinite(k) && k > 0 ? k : 0;
}

double gridstep(double span)
{
    if (!std::isfinite(span) || span <= 0)
        return 0;
    const double e = std::floor(std::log(span) / 2.302585092994046);
    double step = std::pow(10.0, e);
    if (span / step < 5) {
        step *= 0.5;
        if (span / step < 5)
            step /= 2.5;
    }
    return std::isfinite(step) && step > 0 ? step : 0;
}

QVector<double> gridvalues(double low, double high, double span)
{
    QVector<double> values;
    const double step = gridstep(span);
    if (step == 0 || !std::isfinite(low) || !std::isfinite(high))
        return values;
    const double first = step * std::floor(low / step);
    const double end = step * std::floor(high / step) + step;
    if (!std::isfinite(first) || !std::isfinite(end))
        return values;
    for (double d = first; d < end && values.size() < maxgridlines;) {
        values.append(d);
        const double next = d + step;
        if (!(next > d))
            return {}; // the step no longer moves values this large: no usable grid
        d = next;
    }
    return values;
}

QVector<ToneLine> tonelines(float unitfreq)
{
    QVector<ToneLine> lines;
    if (unitfreq == -13) {
        for (int i = 0; i <= 143; ++i)
            lines.append({i, 440.0 * std::pow(2.0, i / 12.0 - 4.75), i % 12 == 0});
    } else if (unitfreq == -14) {
        for (int i = -30; i <= 71; ++i)
            lines.append({i, 1000.0 * std::pow(2.0, i / 6.0), i % 6 == 0});
    }
    return lines;
}

double snaptolines(double value, const QVector<double>& lines, const AxisScale& scale, int reach)
{
    double running = value;
    for (double g : lines)
        if (std::abs(scale.distance(g - running)) <= reach)
            running = g;
    return running;
}

double snaptotones(double value, const QVector<ToneLine>& lines, const AxisScale& scale, int reach, int gap)
{
    double running = value;
    double reference = 0;
    for (const ToneLine& line : lines) {
        if (line.octave)
            reference = line.frequency;
        else if (!(scale.distance(line.frequency - reference) > gap))
            continue;
        if (std::abs(scale.distance(line.frequency - running)) <= reach)
            running = line.frequency;
    }
    return running;
}

QPointF snapposition(QPointF position, const SnapFrame& frame, float unittime, float unitfreq)
{
    const QRectF& a = frame.area;
    double t = position.x(), f = position.y();

    const double kt = timeunitfactor(unittime, frame.samplerate, frame.fftsize, frame.fftoverlap);
    const AxisScale xscale{double(frame.size.width()), a.width()};
    if (kt > 0 && xscale.valid()) {
        const double start = kt * a.x();
        const double span = kt * (a.x() + a.width()) - start;
        QVector<double> lines = gridvalues(start, start + span, span);
        for (double& d : lines)
            d = d * a.width() / span;
        t = snaptolines(t, lines, xscale);
    }

    const AxisScale yscale{double(frame.size.height()), -a.height()};
    if (yscale.valid()) {
        const double kf = frequnitfactor(unitfreq, frame.samplerate, frame.fftsize);
        if (kf > 0) {
            const double top = kf * a.y();
            QVector<double> lines = gridvalues(kf * (a.y() + a.height()), top, -kf * a.height());
            for (double& d : lines)
                d = d / kf;
            f = snaptolines(f, lines, yscale);
        } else {
            f = snaptotones(f, tonelines(unitfreq), yscale);
        }
    }
    return QPointF(t, f);
}
