#include "filterplugin.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QSaveFile>
#include <QtEndian>

#include <cmath>
#include <memory>
#include <vector>

#include "rounding.h"
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
    const QString chosen = asksavefile(parent, tr("Export bitmap"), tr("Portable Float Map (*.pfm)"), false);
    if (chosen.isEmpty())
        return false;

    // Each picture is written beside its place and takes it only when all are
    // complete, so that a failure part-way leaves the files already there as
    // they were and adds none.
    const std::vector<int> list = channelsof(*this);
    std::vector<std::unique_ptr<QSaveFile>> files;
    std::vector<bool> existed;
    QStringList existing;
    for (int c : list) {
        auto file = std::make_unique<QSaveFile>(channelfile(chosen, c));
        const QString shown = QDir::toNativeSeparators(file->fileName());
        existed.push_back(QFileInfo::exists(file->fileName()));
        if (existed.back())
            existing.append(shown);
        if (!file->open(QIODevice::WriteOnly)) {
            warn(parent, tr("Export Bitmap"),
                 tr("The file %1 could not be written (%2).\nNo file was changed.").arg(shown, file->errorString()));
            return false;
        }
        files.push_back(std::move(file));
    }
    // The save dialog asked about the chosen name; these are the names written.
    if (!existing.isEmpty()) {
        QMessageBox question(QMessageBox::Question, tr("Export Bitmap"),
                             tr("These files already exist:\n%1\nDo you want to replace them?")
                                 .arg(existing.join(QLatin1Char('\n'))),
                             QMessageBox::Yes | QMessageBox::No, parent);
        question.setDefaultButton(QMessageBox::No);
        if (runmodal(&question) != QMessageBox::Yes)
            return false;
    }

    Notice notice(parent, tr("Exporting..."));
    const QByteArray header = QStringLiteral("Pf %1 %2 %3 ").arg(bins).arg(frames).arg(-1.0, 0, 'g').toLatin1();
    bool written = true;
    for (auto& file : files)
        written = file->write(header) == header.size() && written;
    const WorkEnd end = hostrunwork(host(), label, tr("Exporting..."), [&](const std::function<bool(int)>& going) {
        QByteArray row(qsizetype(bins) * 4, Qt::Uninitialized);
        for (int r = 0; r < frames && written; ++r) {
            if (!going(int(qint64(r) * 100 / frames)))
                return false;
            for (size_t i = 0; i < list.size(); ++i) {
                for (int p = 0; p < bins; ++p) {
                    const QVector2D v = getbin(layerbuffer, list[i], firstframe + r, topbin - p);
                    qToLittleEndian(std::sqrt(v.x() * v.x() + v.y() * v.y()), row.data() + qsizetype(p) * 4);
                }
                written = files[i]->write(row) == row.size() && written;
            }
        }
        return written;
    });
    // Cancelled: the files not committed leave those there as they were.
    if (end == WorkEnd::Cancelled)
        return false;
    if (!written) {
        warn(parent, tr("Export Bitmap"), tr("The bitmaps could not be written completely.\nNo file was changed."));
        return false;
    }
    std::vector<QString> created;
    for (size_t i = 0; i < files.size(); ++i) {
        if (!files[i]->commit()) {
            for (const QString& name : created)
                QFile::remove(name);
            warn(parent, tr("Export Bitmap"),
                 tr("The file %1 could not be written (%2).")
                     .arg(QDir::toNativeSeparators(files[i]->fileName()), files[i]->errorString()));
            return false;
        }
        if (!existed[i])
            created.push_back(files[i]->fileName());
    }
    return true;
}
