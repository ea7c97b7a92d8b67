#include "statusline.h"

#include <QCoreApplication>
#include <cmath>

#include "core/globals.h"

QString clocktext(double seconds)
{
    const double v = std::fabs(seconds);
    const double minutes = std::floor(v / 60);
    const double secs = std::floor(v - 60 * minutes);
    const double millis = std::floor((v - 60 * minutes - secs) * 1000);
    return QStringLiteral("%1%2:%3.%4")
        .arg(seconds < 0 ? QStringLiteral("-") : QStringLiteral(" "))
        .arg(static_cast<qlonglong>(minutes), 2, 10, QLatin1Char('0'))
        .arg(static_cast<qlonglong>(secs), 2, 10, QLatin1Char('0'))
        .arg(static_cast<qlonglong>(millis), 3, 10, QLatin1Char('0'));
}

std::optional<QString> statusline(const StatusInputs& in)
{
    const bool nostart = in.spanstart >= unsettime;
    const double u = in.unittime;
    auto tr = [](const char* text) { return QCoreApplication::translate("LayersGui", text); };

    if (u == 0) {
        return tr("%1Hz / %2 channel(s) / start:%3 length: %4 - cursor: %5")
            .arg(in.samplerate)
            .arg(in.channels)
            .arg(clocktext(nostart ? 0.0 : in.spanstart))
            .arg(clocktext(in.spanlength))
            .arg(clocktext(in.timecursor));
    }

    // Factors per unit; without a window length the window and frame counts
    // are 0 rather than a division by zero.
    const double n = in.fftsize;
    const int hop = in.fftoverlap > 0 ? in.fftsize / in.fftoverlap : 0;
    double factor = 0;
    const char* form = nullptr;
    if (u == -1) {
        factor = 1;
        form = "%1Hz / %2 channel(s) / start: %3s length: %4s - cursor time: %5s";
    } else if (u == -2) {
        factor = in.samplerate;
        form = "%1Hz / %2 channel(s) / start: %3smp length: %4smp - cursor time: %5smp";
    } else if (u == -3) {
        factor = n > 0 ? in.samplerate / n : 0;
        form = "%1Hz / %2 channel(s) / start: %3win length: %4win - cursor time: %5win";
    } else if (u == -4) {
        factor = hop > 0 ? static_cast<double>(in.samplerate) / hop : 0;
        form = "%1Hz / %2 channel(s) / start: %3fft length: %4fft - cursor time: %5fft";
    } else if (u > 0 && u < 300) {
        factor = u / 60.0;
        form = "%1Hz / %2 channel(s) / start: %3bt length: %4bt - cursor time: %5bt";
    } else if (u >= 300) {
        factor = u / 60.0;
        form = "%1Hz / %2 channel(s) / start: %3frm length: %4frm - cursor time: %5frm";
    } else {
        return std::nullopt;
    }
    auto number = [](double v) { return QString::number(v, 'g', 6); };
    return tr(form)
        .arg(in.samplerate)
        .arg(in.channels)
        .arg(number((nostart ? 0.0 : in.spanstart) * factor))
        .arg(number(in.spanlength * factor))
        .arg(number(in.timecursor * factor));
}
