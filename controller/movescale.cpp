// Moving and scaling the clipboard. A move shifts the bins of a frozen copy of
// the clipboard by the drag. A scale stretches and transposes that copy with
// external utilities: sox after every mouse step (a quick preview) and
// rubberband at the release (the final result), both on one wave file per
// channel that sox splits from the copy; sox merges the result back. The
// clipboard only changes once every run has succeeded. The runs wait with the
// event loop running, behind the shell's progress window, whose Cancel ends
// the step and leaves the clipboard as it was.
#include <QFile>
#include <QMutexLocker>
#include <QProcess>
#include <QScopedValueRollback>

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/buffer.h"
#include "core/globals.h"
#include "core/log.h"
#include "sdk/rounding.h"
#include "core/soxsamples.h"
#include "core/transferarea.h"
#include "core/utility.h"
#include "modesupport.h"
#include "scalecommands.h"
#include "spectrumgui.h"

namespace {

void removeworkfiles()
{
    for (int c = 0; c < Buffer::maxchannels; ++c) {
        QFile::remove(scalechanfile(c));
        QFile::remove(scaledchanfile(c));
    }
    QFile::remove(scaledclipfile());
    QFile::remove(scalesourcefile());
}

// The first failure among the runs, named after the utility.
QString firstfailure(const QString& utility, const QList<UtilityResult>& results)
{
    for (const UtilityResult& r : results)
        if (!r.succeeded())
            return utility + QLatin1Char(' ') + r.failuretext();
    return QString();
}

// A move goes by whole frames of the clipboard's transform: the time is
// rounded to a frame count once (halves away from zero, so that moving back
// by the same time takes the same count), and the selection and the content
// both move by that count.
double wholeframes(double time, const Buffer* b)
{
    const int h = b ? b->hop() : 0;
    if (h <= 0 || b->samplerate <= 0)
        return time;
    const double frames = time * b->samplerate / h;
    const double count = frames < 0 ? -std::floor(-frames + 0.5) : std::floor(frames + 0.5);
    return count * h / b->samplerate;
}

} // namespace

void SpectrumGui::movescalewarning(const QString& why)
{
    logerror(QStringLiteral("Move/Scale: ") + why);
    transportwarning(tr("Move/Scale"),
                     tr("The clipboard could not be scaled: %1<br/>The clipboard is left as it was.")
                         .arg(why.toHtmlEscaped()));
}

void SpectrumGui::inmovescale(bool toggled)
{
    int mode = -1;
    if (!modevalue(sender(), mode))
        return;
    if (!toggled) {
        // Only the mode in force ends: when one mode replaces another, the
        // old action's "off" may arrive after the new one's "on".
        if (mode == movescalemode)
            endmovescale();
        return;
    }
    if (mode < 0 || mode > 5) {
        logerror(QStringLiteral("Move/scale mode %1 does not exist").arg(mode));
        return;
    }
    dragtime = 0;
    dragfreq = 0;
    scaleorigin = selection;
    scalepending = false;
    if (!scalebuffer) {
        scalebuffer = new Buffer();
        scalebuffer->infftparam(ffttype, fftsize, fftoverlap, fftsubwin);
        connect(this, &SpectrumGui::outfftparam, scalebuffer, &Buffer::infftparam);
    }
    if (layer* clip = slottable.bound[2]) {
        slottable.buffer[2]->flush();
        scalebuffer->bindlayer(nullptr);
        delete scalesource;
        scalesource = new layer(*clip);
        scalebuffer->bindlayer(scalesource);
        QString why;
        scalecancelled = false;
        // A split cancelled here is tried again at the first scale step.
        if (scalesource->fileframes() > 0 && !splitclipboard(why))
            (scalecancelled ? logmessage : logerror)(QStringLiteral("The clipboard could not be split for scaling: ")
                                                     + why);
    }
    movescalemode = mode;
    cursor = modecursor(mode <= 2 ? ":/cursors/move.png" : ":/cursors/scale.png");
    emit outmousecursor(cursor);
    emit outupdategl();
}

void SpectrumGui::endmovescale()
{
    if (scalebuffer)
        scalebuffer->bindlayer(nullptr);
    delete scalesource;
    scalesource = nullptr;
    removeworkfiles();
    splitsource.clear();
    splitgain = 1;
    scalepending = false;
    if (scalebuffer) {
        disconnect(this, &SpectrumGui::outfftparam, scalebuffer, &Buffer::infftparam);
        delete scalebuffer;
        scalebuffer = nullptr;
    }
    movescalemode = -1;
}

QList<UtilityResult> SpectrumGui::runscaleutilities(const QList<UtilityCommand>& commands, bool final)
{
    // Events that reach the views meanwhile (the leave that the progress
    // window's opening sends) are no steps of the drag that waits here.
    const QScopedValueRollback<bool> busy(scalerunning, true);
    const QList<UtilityResult> results =
        final ? runutilities(commands, utilitywaitms, this, SLOT(inprogressscale()), true, tr("Scaling..."))
              : runutilities(commands, utilitywaitms, nullptr, nullptr, true);
    for (const UtilityResult& r : results)
        scalecancelled = scalecancelled || r.cancelled;
    return results;
}

bool SpectrumGui::splitclipboard(QString& why)
{
    if (!scalesource || !scalesource->file) {
        why = tr("there is nothing in the clipboard");
        return false;
    }
    // The copy may have been renewed (a cut or copy while the mode is on).
    const QString source = scalesource->file->fileName();
    if (!splitsource.isEmpty() && splitsource == source)
        return true;
    splitsource.clear();
    removeworkfiles();

    QString input = source;
    scalesource->file->flush();
    const float peak = filepeak(scalesource->file);
    if (peak < 0) {
        why = tr("the clipboard copy could not be read (%1)").arg(scalesource->file->errorString());
        return false;
    }
    const float gain = headroomgain(peak);
    if (gain != 1) {
        QFile quieter(scalesourcefile());
        if (!quieter.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || !scalefile(scalesource->file, &quieter, gain)) {
            why = tr("no room for a copy of the clipboard (%1)").arg(quieter.errorString());
            quieter.remove();
            return false;
        }
        input = quieter.fileName();
    }
    QList<UtilityCommand> commands;
    for (int c = 0; c < scalesource->channels; ++c)
        commands << UtilityCommand{soxprogram(),
                                   splitarguments(scalesource->samplerate, scalesource->channels, input, c)};
    const QList<UtilityResult> results = runscaleutilities(commands, false);
    QFile::remove(scalesourcefile());
    why = firstfailure(QStringLiteral("sox"), results);
    for (int c = 0; why.isEmpty() && c < scalesource->channels; ++c)
        if (QFile(scalechanfile(c)).size() <= 0)
            why = tr("sox wrote no wave file for channel %1").arg(c + 1);
    if (!why.isEmpty()) {
        removeworkfiles();
        return false;
    }
    splitsource = source;
    splitgain = gain;
    return true;
}

bool SpectrumGui::scaleclipboard(double timefactor, double semitones, bool final, QString& why)
{
    layer* clip = slottable.bound[2];
    if (!clip || !scalesource) {
        why = tr("there is nothing in the clipboard");
        return false;
    }
    if (!splitclipboard(why))
        return false;

    const int count = scalesource->channels;
    QList<UtilityCommand> commands;
    for (int c = 0; c < count; ++c) {
        if (channelmask & (1 << c)) {
            commands << (final ? UtilityCommand{rubberbandprogram(), finalarguments(c, timefactor, semitones)}
                               : UtilityCommand{soxprogram(), previewarguments(c, timefactor, semitones)});
            continue;
        }
        // A channel switched off keeps what the last pass made of it; one no
        // pass has scaled yet stays as in the copy.
        if (!QFile::exists(scaledchanfile(c)) && !QFile::copy(scalechanfile(c), scaledchanfile(c))) {
            why = tr("the unscaled channel %1 could not be copied").arg(c + 1);
            return false;
        }
    }
    const QList<UtilityResult> results = runscaleutilities(commands, final);
    why = firstfailure(final ? QStringLiteral("rubberband") : QStringLiteral("sox"), results);
    if (!why.isEmpty())
        return false;

    const QString merged = scaledclipfile();
    QFile::remove(merged);
    const UtilityResult merge = runscaleutilities(
        {{soxprogram(), mergearguments(scalesource->samplerate, count, count, merged)}}, false).constFirst();
    if (!merge.succeeded()) {
        why = QStringLiteral("sox ") + merge.failuretext();
        QFile::remove(merged);
        return false;
    }
    const double start = scalesource->spanstart();
    const double length = scalesource->spanlength() * timefactor;
    const qint64 framebytes = qint64(count) * 4;
    const qint64 expected = roundhalfup64(length * scalesource->samplerate);
    QFile result(merged);
    const qint64 frames = result.open(QIODevice::ReadOnly) ? result.size() / framebytes : 0;
    // The utilities round the length a little; a real shortfall is a failure.
    if (frames + 16 + expected / 100 < expected) {
        why = tr("the scaled clipboard holds %1 frames where %2 were expected").arg(frames).arg(expected);
        result.remove();
        return false;
    }

    // Emptied through its Buffer first (which takes the Buffer's lock and
    // then the layers'), then filled under the layers' lock alone.
    transferarea(slottable.buffer[2], slottable.buffer[2], QRectF(), channelmask, 0, 0, 0);
    bool written = true;
    {
        QMutexLocker lock(&layermutex);
        written = clip->file->seek(0) && scalefile(&result, clip->file, 1 / splitgain);
        clip->setlength(start, true, length);
        clip->resetdirty();
    }
    slottable.buffer[2]->indatareset();
    result.remove();
    if (!written) {
        why = tr("the clipboard could not be written (%1)").arg(clip->file->errorString());
        return false;
    }
    return true;
}

void SpectrumGui::moveclipboard()
{
    // The clipboard moves whole, with the selection that frames it: a channel
    // switched off meanwhile is not left behind (emptied and not moved back)
    // but goes along, so that a paste finds it where the selection is.
    Buffer* clipbuffer = slottable.buffer[2];
    const int everychannel = int((1u << std::clamp(channels, 0, 31)) - 1);
    transferarea(clipbuffer, clipbuffer, QRectF(), everychannel, 0, 0, 0);
    transferarea(scalebuffer, clipbuffer, scaleorigin, everychannel, 1,
                 float(wholeframes(dragtime, clipbuffer)), dragfreq);
    if (layer* clip = slottable.bound[2])
        clip->resetdirty();
}

void SpectrumGui::showclipboardchange(const QRectF& before, double clipstart, double cliplength)
{
    double low = std::min(before.x(), selection.x());
    double high = std::max(before.x() + before.width(), selection.x() + selection.width());
    if (cliplength > 0) {
        low = std::min(low, clipstart);
        high = std::max(high, clipstart + cliplength);
    }
    if (layer* clip = slottable.bound[2]) {
        const double length = clip->spanlength();
        if (length > 0) {
            low = std::min(low, clip->spanstart());
            high = std::max(high, clip->spanstart() + length);
        }
    }
    emit outdisplayarea(displayarea, QRectF(low, displayarea.y(), high - low, displayarea.height()), 2);
}

QRectF SpectrumGui::scaledselection(double* timefactor, double* semitones) const
{
    const ScaleGeometry g =
        scalegeometry(scaleorigin, selection.x(), dragtime, dragfreq, std::fabs(displayarea.height()));
    if (timefactor)
        *timefactor = g.timefactor;
    if (semitones)
        *semitones = g.semitones;
    return g.selection;
}

void SpectrumGui::reposition()
{
    const QRectF before = selection;
    selection = movedselection(scaleorigin, wholeframes(dragtime, slottable.buffer[2]), dragfreq);
    emit outselection(selection);
    layer* clip = slottable.bound[2];
    if (!clip || !scalesource || clip->spanlength() <= 0)
        return;
    const double clipstart = clip->spanstart();
    const double cliplength = clip->spanlength();
    moveclipboard();
    showclipboardchange(before, clipstart, cliplength);
}

bool SpectrumGui::rescale(bool final, float oldtime, float oldfreq)
{
    const QRectF before = selection;
    double timefactor = 1, semitones = 0;
    selection = scaledselection(&timefactor, &semitones);
    emit outselection(selection);
    layer* clip = slottable.bound[2];
    if (!clip || !scalesource || clip->spanlength() <= 0)
        return true;
    const double clipstart = clip->spanstart();
    const double cliplength = clip->spanlength();
    QString why;
    scalecancelled = false;
    if (!scaleclipboard(timefactor, semitones, final, why)) {
        dragtime = oldtime;
        dragfreq = oldfreq;
        selection = before;
        emit outselection(selection);
        if (scalecancelled) {
            // The user ended it: the drag ends with it, and no final pass follows.
            logmessage(QStringLiteral("Move/Scale: ") + why);
            scalepending = false;
        } else {
            movescalewarning(why);
        }
        return false;
    }
    scalepending = !final;
    showclipboardchange(before, clipstart, cliplength);
    return true;
}

bool SpectrumGui::movescaledrag(double x, double y, double previousx, double previousy)
{
    if (!(std::fabs(x - previousx) > 1e-12 || std::fabs(y - previousy) > 1e-12))
        return true;
    if (transportmode >= 0)
        indevicepause();
    resetslotbuffers();
    const float oldtime = dragtime;
    const float oldfreq = dragfreq;
    const int mode = movescalemode;
    if (mode == 0 || mode == 1 || mode == 3 || mode == 4)
        dragtime += float(x - previousx);
    if (mode == 0 || mode == 2 || mode == 3 || mode == 5)
        dragfreq += float(y - previousy);
    if (!selectionexists()) {
        transportwarning(tr("Move/Scale"), tr("Nothing in the clipboard (select an area, then use cut or copy)."));
        return false;
    }
    if (mode <= 2) {
        reposition();
        return true;
    }
    return rescale(false, oldtime, oldfreq);
}

void SpectrumGui::movescalerelease()
{
    if (transportmode >= 0)
        indevicepause();
    // Only a scale has release work, and only after a preview changed the clipboard.
    if (!selectionexists() || movescalemode < 3 || !scalepending)
        return;
    rescale(true, dragtime, dragfreq);
}

void SpectrumGui::inprogressscale()
{
    auto* process = qobject_cast<QProcess*>(sender());
    if (!process)
        return;
    // Peeked, not read: the run keeps the whole output for its report.
    utilityprogress(progresspercent(process->peek(process->bytesAvailable())));
}
