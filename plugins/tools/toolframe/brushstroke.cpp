#include "brushstroke.h"

#include <cmath>

namespace toolframe {

bool blockready(const DataInterface& data)
{
    return data.samplerate > 0 && data.channels > 0 && data.fftsize > 1 && data.overlap > 0
           && data.fftsize / data.overlap > 0 && data.getbin && data.setbin && data.transferarea;
}

double brushgain(double strengthdb, bool usepressure, float pressure)
{
    double gain = std::pow(2.0, strengthdb / 6.0);
    if (usepressure && pressure > 0.0f)
        gain *= pressure;
    return gain;
}

void emptyscratch(const DataInterface& data)
{
    if (data.transferarea)
        data.transferarea(scratchbuffer, scratchbuffer, QRectF(0, 0, 0, 0), data.channelmask, 0, 0, 0);
}

bool hoverreset(const DataInterface& data, float pressure, float dpressure, float& dx, float& dy)
{
    if (!ishover(pressure, dpressure))
        return false;
    emptyscratch(data);
    dx = 0;
    dy = 0;
    return true;
}

static int hop(const DataInterface& data)
{
    return data.fftsize / data.overlap;
}

int centreframe(const DataInterface& data, double t)
{
    return roundhalfup(t * data.samplerate / hop(data));
}

int centrebin(const DataInterface& data, double f)
{
    return roundhalfup(f * data.fftsize / data.samplerate);
}

// |floor(travel / half)|, limited to the stamps one event may make.
static long long halfsteps(double travel, double half)
{
    const double q = std::floor(travel / half);
    if (std::isnan(q))
        return 0;
    return static_cast<long long>(std::min(std::fabs(q), double(maxstamps - 1)));
}

int stampcount(double dx, double dy, double halfwidth, double halfheight)
{
    const bool timeaxis = halfwidth > 0;
    const bool freqaxis = halfheight > 0;
    if (!timeaxis && !freqaxis)
        return 0;
    long long n = 0;
    if (timeaxis)
        n = std::max(n, halfsteps(dx, halfwidth));
    if (freqaxis)
        n = std::max(n, halfsteps(dy, halfheight));
    return static_cast<int>(n + 1);
}

Footprint Footprint::of(const DataInterface& data, const Brush& brush)
{
    const double framesper = double(data.samplerate) / hop(data); // frames per second
    const double binsper = double(data.fftsize) / data.samplerate;  // bins per Hz
    const double halfwidth = brush.timerange / 2;
    const double halfheight = brush.freqrange / 2;
    // No settable brush comes near this; it only keeps the offset loops finite
    // for a nonsensical block.
    const auto offset = [](double v) { return std::clamp(roundhalfup(v), -(1 << 24), 1 << 24); };
    Footprint fp;
    fp.cmin = offset(-halfwidth * framesper);
    fp.cmax = offset(halfwidth * framesper);
    fp.bmin = offset(-halfheight * binsper);
    fp.bmax = offset(halfheight * binsper);
    fp.soft = (brush.softness + 0.1) / 100;
    return fp;
}

} // namespace toolframe
