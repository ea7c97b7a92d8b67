#include "filterplugin.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <cmath>
#include <memory>
#include <vector>

#include "core/rounding.h"
#include "dialogseam.h"
#include "filterblock.h"
#include "previewcycle.h"

using namespace filterframe;

namespace {

// The files of a chosen name: the name without a ".pfm" extension, then
// "-chan<channel>.pfm".
QString channelfile(const QString& chosen, int channel)
{
    QString base = chosen;
    if (base.endsWith(QLatin1String(".pfm"), Qt::CaseInsensitive))
        base.chop(4);
    return base + QStringLiteral("-chan%1.pfm").arg(channel);
}

} // namespace

bool FilterPlugin::initialize(const QString& pluginfile, QWidget* mainwindow)
{
    name = tr("IO Export Bitmap");
    label = tr("Export Bitmap");
    category = QStringLiteral("IO");
    parent = mainwindow;
    return true;
}

bool FilterPlugin::process()
{
    if (!readyfor(*this, parent))
        return false;
    // Counted from the start of the area, so that a file always holds
    // exactly the pixels its header declares.
    const int h = hop(*this);
    const int bins = roundhalfupclamped(-layerarea.height() * fftsize / samplerate);
    const int frames = roundhalfupclamped(layerarea.width() * samplerate / h);
    const int firstframe = roundhalfupclamped(layerarea.x() * samplerate / h);
    const int topbin = roundhalfupclamped(layerarea.y() * fftsize / samplerate);
    if (bins < 1 || frames < 1) {
        warn(parent, tr("Export Bitmap"), tr("The area holds no spectrum to export."));
        return false;
    }
    const QString chosen = asksavefile(parent, tr("Export bitmap"), tr("Portable Float Map (*.pfm)"));
    if (chosen.isEmpty())
        return false;

    const std::vector<int> list = channelsof(*this);
    std::vector<std::unique_ptr<QFile>> files;
    for (int c : list) {
        auto file = std::make_unique<QFile>(channelfile(chosen, c));
        if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            warn(parent, tr("Export Bitmap"),
                 tr("The file %1 could not be written.").arg(QDir::toNativeSeparators(file->fileName())));
            return false;
        }
        files.push_back(std::move(file));
    }

    Notice notice(parent, tr("Exporting..."));
    const QByteArray header = QStringLiteral("Pf %1 %2 %3 ").arg(bins).arg(frames).arg(-1.0, 0, 'g').toLatin1();
    bool written = true;
    for (auto& file : files)
        written = file->write(header) == header.size() && written;
    QByteArray row(qsizetype(bins) * 4, Qt::Uninitialized);
    for (int r = 0; r < frames && written; ++r)
        for (size_t i = 0; i < list.size(); ++i) {
            for (int p = 0; p < bins; ++p) {
                const QVector2D v = getbin(layerbuffer, list[i], firstframe + r, topbin - p);
                qToLittleEndian(std::sqrt(v.x() * v.x() + v.y() * v.y()), row.data() + qsizetype(p) * 4);
            }
            written = files[i]->write(row) == row.size() && written;
        }
    for (auto& file : files) {
        written = file->flush() && written;
        file->close();
    }
    if (!written) {
        warn(parent, tr("Export Bitmap"), tr("The bitmaps could not be written completely."));
        return false;
    }
    return true;
}
