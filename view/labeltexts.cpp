#include "labeltexts.h"

#include <cmath>

#include "sdk/rounding.h"
#include "gridlines.h"

const char* const notenames[12] = {"C ", "C#", "D ", "D#", "E ", "F ", "F#", "G ", "G#", "A ", "A#", "B "};

namespace {

const char* const slotprefixes[3] = {"Mix:       ", "Select:    ", "Clipboard: "};

QString slotprefix(int slot)
{
    return QString::fromLatin1(slotprefixes[slot >= 0 && slot < 3 ? slot : 0]);
}

QString sign(double v)
{
    return v < 0 ? QStringLiteral("- ") : QStringLiteral("+");
}

QString fixed(double v, int decimals, int width = 0, QChar fill = u' ')
{
    return QString("%1").arg(v, width, 'f', decimals, fill);
}

} // namespace

QString clocktime(double seconds, double tolerance)
{
    const double a = std::fabs(seconds) + tolerance / 1000;
    const double minutes = std::floor(a / 60);
    const double secs = std::floor(a - 60 * minutes);
    const double millis = std::floor((a - 60 * minutes - secs) * 1000);
    return QString("%1%2:%3.%4")
        .arg(seconds < 0 ? QStringLiteral("- ") : QString())
        .arg(qlonglong(minutes), 2, 10, QChar(u'0'))
        .arg(qlonglong(secs), 2, 10, QChar(u'0'))
        .arg(qlonglong(millis), 3, 10, QChar(u'0'));
}

QString gridtimelabel(double d, float unittime)
{
    // Grid values accumulate by addition (1.6 may arrive as 1.5999999999999999);
    // truncating those would label the line a millisecond early.
    if (unittime == 0)
        return clocktime(d, 1e-6);
    return QString("%1").arg(d);
}

QString gridfreqlabel(double d, float unitfreq)
{
    if (unitfreq == -10)
        return QString("%1").arg(d);
    if (unitfreq == -11)
        return QString("%1x2%2").arg(d).arg(QChar(piglyph));
    if (unitfreq == -12)
        return QString("%1x360").arg(d);
    return QString();
}

QString gridnotelabel(int i)
{
    if (i < 0)
        return QString();
    return QString("%1%2").arg(QString::fromLatin1(notenames[i % 12])).arg(i / 12);
}

QString gridoctavelabel(int i, double f)
{
    const int r = (((i + 30) % 6) + 6) % 6;
    if (r == 0)
        return QString("%1").arg(f);
    if (r == 2)
        return QStringLiteral("1/3");
    if (r == 3)
        return QStringLiteral("1/2");
    if (r == 4)
        return QStringLiteral("2/3");
    return QString();
}

QString readoutchannel(int channel, double dispx)
{
    const QString relief = dispx != 0 ? QString(" %1%").arg(roundhalfupclamped(dispx * 0.015625 * 100)) : QString("");
    return QString("Channel #%1 (%2D%3)").arg(channel).arg(dispx != 0 ? 3 : 2).arg(relief);
}

QString readouttime(double t, float unittime, int samplerate, int fftsize, int fftoverlap)
{
    if (!std::isfinite(t))
        return QString();
    if (unittime == 0)
        return "Time: " + clocktime(t);
    const double k = timeunitfactor(unittime, samplerate, fftsize, fftoverlap);
    if (k == 0)
        return QString();
    const char* form = unittime == -1   ? "Time: %1s"
                       : unittime == -2 ? "Time: %1smp"
                       : unittime == -3 ? "Time: %1win"
                       : unittime == -4 ? "Time: %1ft"
                       : unittime < 300 ? "Time: %1bt"
                                        : "Time: %1frm";
    return QString(form).arg(fixed(t * k, unittime > 0 ? 2 : 3));
}

QString readoutfreq(double f, float unitfreq, int samplerate, int fftsize)
{
    if (!std::isfinite(f))
        return QString();
    if (unitfreq == -10 || unitfreq == -14)
        return QString("Freq: %1Hz").arg(fixed(f, 1));
    if (unitfreq == -11 || unitfreq == -12) {
        if (samplerate <= 0 || fftsize <= 0)
            return QString();
        const double b = f * fftsize / samplerate;
        const int n = roundhalfupclamped(b);
        const float r = float(b - n);
        if (unitfreq == -11)
            return QString("Freq: %1x2%2%3%4rad/win")
                .arg(n)
                .arg(QChar(piglyph))
                .arg(sign(r))
                .arg(fixed(2 * std::fabs(r) * 3.1415926536, 1));
        return QString("Freq: %1x360%3%4deg/win").arg(n).arg(sign(r)).arg(fixed(std::fabs(r) * 360, 1));
    }
    if (unitfreq == -13) {
        const double p = std::fabs(std::trunc(f));
        int octave = -6, semitone = 0, cents = 0;
        QString name = QStringLiteral("  ");
        if (p >= 1) {
            const double v = (std::log(p) - 6.0867747269123065) / 0.6931471805599453 + 4.75;
            octave = int(std::floor(v));
            const double x = v - octave;
            semitone = int(std::floor(x * 12));
            cents = int(std::floor((x - semitone / 12.0) * 1200));
            if (cents > 50) {
                if (semitone == 11)
                    ++octave;
                cents -= 100;
                semitone = (semitone + 1) % 12;
            }
            name = QString::fromLatin1(notenames[semitone]);
        }
        return QString("Freq: %1%2%3%4%5")
            .arg(f < 0 ? QStringLiteral("- ") : QString(""))
            .arg(name)
            .arg(octave)
            .arg(sign(cents))
            .arg(std::abs(cents), 2, 10, QChar(u'0'));
    }
    return QString();
}

QString readoutlevel(int slot, float value, float unitpow, int mult, int gamma)
{
    const float level = float(std::pow(double(value), gamma / 10.0) / std::pow(2.0, mult / 6.0));
    if (unitpow == -20)
        return slotprefix(slot) + QString("%1dB").arg(20 * std::log10(double(level)), 3, 'f', 1, QChar(u'0'));
    if (unitpow == -21)
        return slotprefix(slot) + QString("%1%").arg(double(level) * 100, 3, 'f', 2, QChar(u'0'));
    if (unitpow == -22)
        return slotprefix(slot) + QString("%1").arg(double(level), 0, 'E', 2);
    return QString();
}

QString readoutphase(int slot, float value, float unitphase, double f, int samplerate, int fftsize)
{
    if (samplerate <= 0 || fftsize <= 0 || !std::isfinite(f))
        return QString();
    const double phi = value * 6.2831853 - 3.1415927;
    const int n = roundhalfupclamped(f / samplerate * fftsize);
    if (unitphase == -11)
        return slotprefix(slot)
               + QString("%1x2%2%3%4rad/win").arg(n).arg(QChar(piglyph)).arg(sign(phi)).arg(fixed(std::fabs(phi), 2));
    if (unitphase == -12)
        return slotprefix(slot)
               + QString("%1x360%2%3deg/win")
                     .arg(n)
                     .arg(sign(phi))
                     .arg(fixed(std::fabs(phi) * 180 / 3.1415926536, 0, 3, u'0'));
    if (unitphase == -10)
        return slotprefix(slot)
               + QString("%1Hz").arg(fixed(double(samplerate) / fftsize * (phi / 6.2831853 + n), 0, 3, u'0'));
    return QString();
}
