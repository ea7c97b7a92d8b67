// The transform parameters (window type, length, overlap, sub-window) and
// the display parameters of the spectrogram, kept here and handed on to every
// view and, for the transform, to the three Buffers; plus the playback gain
// and the OpenGL availability relay.
#include <QComboBox>
#include <QShortcut>
#include <cmath>

#include "displaymath.h"
#include "spectrumgui.h"
#include "core/analysiswindow.h"

void SpectrumGui::transformupdate()
{
    if (fftsize <= 0)
        return;
    emit outfftparam(ffttype, fftsize, fftoverlap, fftsubwin);
    emit outdisplayarea(displayarea, displayarea, 3);
}

void SpectrumGui::inffttype(int type)
{
    // Types 0 Rectangular .. 4 Blackman-Harris; anything else is the default.
    ffttype = type >= 0 && type <= 4 ? type : 4;
    transformupdate();
}

void SpectrumGui::infftsize(int)
{
    // The list's entries carry their lengths; the index alone says nothing.
    auto* list = qobject_cast<QComboBox*>(sender());
    if (!list)
        return;
    fftsizeindex = list->currentIndex();
    const int v = list->currentData().toInt();
    if (v <= 0)
        return;
    fftsize = clampfftsize(v);
    transformupdate();
}

void SpectrumGui::infftoverlap(int)
{
    auto* list = qobject_cast<QComboBox*>(sender());
    if (!list)
        return;
    fftoverlap = clampfftoverlap(list->currentData().toInt());
    transformupdate();
}

void SpectrumGui::infftsubwin(int subwin)
{
    fftsubwin = subwin != 0;
    transformupdate();
}

void SpectrumGui::fftsizekey()
{
    // The keys move the shell's list; its answer through infftsize changes
    // the length, so list and controller never disagree.
    auto* shortcut = qobject_cast<QShortcut*>(sender());
    if (!shortcut)
        return;
    const QKeySequence key = shortcut->key();
    if (key == QKeySequence(Qt::Key_PageDown))
        emit outfftsizeindex(std::max(fftsizeindex - 1, 0));
    else if (key == QKeySequence(Qt::Key_PageUp))
        emit outfftsizeindex(std::min(fftsizeindex + 1, 10));
}

void SpectrumGui::inmultiplier(int mult)
{
    multiplier = mult;
    emit outmultiplier(mult);
}

void SpectrumGui::ingamma(int value)
{
    gamma = value;
    emit outgamma(value / 10.0);
}

void SpectrumGui::ingamma(double value)
{
    if (!std::isfinite(value))
        return;
    gamma = truncint(value * 10);
    emit outgamma(gamma);
}

void SpectrumGui::inzebra(int value)
{
    zebra = value;
    emit outzebra(value);
}

void SpectrumGui::indisplacement(QPointF disp)
{
    if (!std::isfinite(disp.x()) || !std::isfinite(disp.y()))
        return;
    const double angle = std::fmod(disp.y(), 360.0);
    displacement = QPointF(disp.x(), angle);
    emit outdispsize(disp.x());
    emit outdispangle(angle);
    emit outdisplacement(displacement);
}

void SpectrumGui::indispsize(double size)
{
    if (std::isfinite(size) && roundint(size) != roundint(displacement.x()))
        indisplacement(QPointF(size, displacement.y()));
}

void SpectrumGui::indispangle(double angle)
{
    if (std::isfinite(angle) && roundint(angle) != roundint(displacement.y()))
        indisplacement(QPointF(displacement.x(), angle));
}

void SpectrumGui::indispreset()
{
    indisplacement(QPointF(0, 180.0));
}

void SpectrumGui::ingrid(int value)
{
    grid = value;
    emit outgrid(value);
}

void SpectrumGui::infiltering(int value)
{
    filtering = value;
    emit outfiltering(value);
}

void SpectrumGui::inphase(int value)
{
    phase = value;
    emit outphase(value);
}

void SpectrumGui::insnap(bool toggled)
{
    snap = toggled ? 1 : 0;
    emit outsnap(snap);
}

void SpectrumGui::involume(int value)
{
    volumevalue = value;
    setdevicegain(static_cast<float>(std::pow(2.0, value / 6.0)));
}

void SpectrumGui::inglenabled(bool enabled)
{
    emit outglenabled(enabled);
}
