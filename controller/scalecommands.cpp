#include "scalecommands.h"

#include <algorithm>
#include <cmath>

#include "core/globals.h"
#include "core/soxsamples.h"

namespace {

QString number(double value)
{
    return QString::number(value, 'g', 6);
}

// File names go to sox as they are: no wildcard expansion of the session path.
QStringList soxfile(const QString& path)
{
    return {QStringLiteral("--no-glob"), path};
}

} // namespace

QString soxprogram()
{
    return utilpath + QStringLiteral("/sox/sox");
}

QString rubberbandprogram()
{
    return utilpath + QStringLiteral("/rubberband/rubberband");
}

namespace {

QString scaleworkfile(const QString& what)
{
    return sessionpath + QStringLiteral("/scale(%1)-%2").arg(sessionid, what);
}

} // namespace

QString scalechanfile(int channel)
{
    return scaleworkfile(QStringLiteral("chan%1.wav").arg(channel));
}

QString scaledchanfile(int channel)
{
    return scaleworkfile(QStringLiteral("scaled%1.wav").arg(channel));
}

QString scaledclipfile()
{
    return scaleworkfile(QStringLiteral("clip.pcm"));
}

QString scalesourcefile()
{
    return scaleworkfile(QStringLiteral("source.pcm"));
}

QStringList splitarguments(int samplerate, int channels, const QString& input, int channel)
{
    return soxrawformat(samplerate, channels) + soxfile(input) + soxfile(scalechanfile(channel))
           + QStringList{QStringLiteral("remix"), QString::number(channel + 1)};
}

QStringList previewarguments(int channel, double timefactor, double semitones)
{
    return soxfile(scalechanfile(channel)) + soxfile(scaledchanfile(channel))
           + QStringList{QStringLiteral("tempo"), number(1 / timefactor), QStringLiteral("pitch"),
                         number(100 * semitones)};
}

QStringList finalarguments(int channel, double timefactor, double semitones)
{
    return {QStringLiteral("-t"), number(timefactor), QStringLiteral("-p"), number(semitones),
            scalechanfile(channel), scaledchanfile(channel)};
}

QStringList mergearguments(int samplerate, int channels, int sourcechannels, const QString& output)
{
    QStringList arguments;
    if (channels >= 2)
        arguments << QStringLiteral("-M");
    for (int c = 0; c < sourcechannels; ++c)
        arguments << soxfile(scaledchanfile(c));
    return arguments + soxrawformat(samplerate, channels) + soxfile(output);
}

ScaleGeometry scalegeometry(const QRectF& origin, double start, double dragtime, double dragfreq,
                            double band)
{
    ScaleGeometry g;
    if (origin.width() > 0) {
        const double width = origin.x() + origin.width() + dragtime - start;
        g.timefactor = std::clamp(width / origin.width(), minscalefactor, maxscalefactor);
    }
    if (band > 0)
        g.frequencyfactor = std::clamp(1 + 4 * dragfreq / band, minscalefactor, maxscalefactor);
    g.semitones = std::log(g.frequencyfactor) * 12 / std::log(2.0);
    g.selection = QRectF(start, g.frequencyfactor * origin.y(), g.timefactor * origin.width(),
                         g.frequencyfactor * origin.height());
    return g;
}

void scaleoffsets(const QRectF& origin, double timefactor, double frequencyfactor, double band,
                  float& dragtime, float& dragfreq)
{
    dragfreq = float((frequencyfactor - 1) * band / 4);
    dragtime = float(timefactor * origin.width() - origin.width());
}

QRectF movedselection(const QRectF& origin, double dragtime, double dragfreq)
{
    return QRectF(origin.x() + dragtime, origin.y() + dragfreq, origin.width(), origin.height());
}

int progresspercent(const QByteArray& text)
{
    const qsizetype percent = text.indexOf('%');
    if (percent < 0)
        return 0;
    qsizetype first = percent;
    while (first > 0 && percent - first < 3 && std::isdigit(static_cast<unsigned char>(text[first - 1])))
        --first;
    return first < percent ? std::min(text.mid(first, percent - first).toInt(), 100) : 0;
}
