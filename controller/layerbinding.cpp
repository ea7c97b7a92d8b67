// Binding layers to the three slots: where the project format is fixed and
// released, the channel views are made and deleted, and the clipboard layer
// lives; plus the per-channel visibility and the clipboard refreshes.
#include <QMessageBox>
#include <QScrollBar>
#include <QSplitter>

#include "app/qscrollbarext.h"
#include "channelnames.h"
#include "core/buffer.h"
#include "core/transferarea.h"
#include "displaymath.h"
#include "spectrumgui.h"
#include "core/analysiswindow.h"
#include "view/glchannel.h"

namespace {

bool usableformat(const layer* l)
{
    return l->samplerate > 0 && l->channels > 0 && l->channels <= Buffer::maxchannels;
}

} // namespace

bool SpectrumGui::bindlayer(qint32 layertype, layer* l)
{
    if (layertype < 0 || layertype > 2)
        return false;
    Buffer* buffer = slottable.buffer[layertype];

    if (slottable.bound[layertype] == l) {
        // A recording may still hold samples in the cache: they are kept.
        buffer->reload();
        emit outdisplayarea(displayarea, displayarea, layertype);
        return true;
    }

    // A layer that cannot join the project is refused before anything is
    // stopped or dropped, so that a refusal leaves everything as it was.
    if (l && (!usableformat(l)
              || (samplerate != 0 && (l->samplerate != samplerate || l->channels != channels))))
        return false;

    if (transportmode >= 0)
        indevicepause();

    // Only the current layer keeps its frames for the next history entry; an
    // edit of it kept without one gets it now, or stays for good.
    if (layertype == 1 && slottable.bound[1]) {
        inrecordpending();
        if (pendingedit())
            keeppending(slottable.bound[1]);
        pendinglayer = nullptr;
        slottable.bound[1]->dropbefore();
    }
    // A Shift-stroke joins only a stroke of the layer it paints.
    if (layertype == 1)
        laststroke = {};

    if (!l) {
        emit outresetdrawtex(layertype);
        buffer->bindlayer(nullptr);
        emit outbindlayer(nullptr, layertype);
        slottable.bound[layertype] = nullptr;
        if (!slottable.buffer[0]->boundlayer && !slottable.buffer[1]->boundlayer)
            closeproject();
        emit outupdategl();
        return true;
    }

    if (samplerate == 0)
        setprojectformat(l);

    if (layertype == 1) {
        l->keepbefore(); // copies nothing: frames are put aside as edits overwrite them
        slottable.bound[1] = l;
        buffer->bindlayer(l);
        emit outbindlayer(l, 1);
        const bool noselection = selection.width() == 0 && selection.height() == 0;
        if (smartcursor && l->length > 0 && noselection
            && (timecursor < l->start || timecursor > l->start + l->length)) {
            timecursor = l->start;
            setdevicetime(timecursor);
            emit outdevicecursor(l->start, 3, false);
        }
    } else {
        slottable.bound[layertype] = l;
        buffer->bindlayer(l);
        emit outbindlayer(l, layertype);
    }

    // Nothing of the new layer is out of date: the views dropped what they
    // held of the former one, and a picture one takes over from another slot
    // is right as it is.
    emit outdisplayarea(displayarea, QRectF(), layertype);
    if (alllayers())
        setscrollbars();
    emit outupdategl();
    return true;
}

void SpectrumGui::setprojectformat(layer* l)
{
    samplerate = l->samplerate;
    channels = l->channels;
    speakermask = l->speakermask;
    mousechannel = -1;
    channelmask = (1 << channels) - 1;

    firstview->show();
    for (int c = 1; c < channels; ++c) {
        GLChannel* v = makeview(c);
        splitter->addWidget(v);
        connectview(v);
    }
    const int total = splitter->orientation() == Qt::Horizontal ? splitter->width()
                                                                 : splitter->height();
    splitter->setSizes(QList<int>(channels, total / channels));

    clipboardlayer = new layer();
    clipboardlayer->resample(samplerate, channels, speakermask);
    slottable.bound[2] = clipboardlayer;
    slottable.buffer[2]->bindlayer(clipboardlayer);
    emit outbindlayer(clipboardlayer, 2);

    if (layer* all = alllayers()) {
        const double s = all->spanstart();
        const double d = all->spanlength();
        const bool unset = s >= unsettime;
        const int half = samplerate / 2;
        indisplayarea(QRectF(unset ? 0.0 : s, half, unset ? 10.0 : s + d, -half));
        if (d > 0) {
            timecursor = s;
            setdevicetime(s);
        }
    }

    emit outchannels(channels);
    for (int c = 0; c < channels; ++c)
        emit outchanneldescription(c, channelname(speakermask, c));

    // Views and caches take the parameters as the caches would clamp them,
    // also while no window length was chosen yet.
    emit outfftparam(ffttype, clampfftsize(fftsize), clampfftoverlap(fftoverlap), fftsubwin);
    emit outmultiplier(multiplier);
    emit outgamma(gamma);
    emit outzebra(zebra);
    emit outdisplacement(displacement);
    emit outfiltering(filtering);
    emit outphase(phase);
    emit outselection(selection);
    emit outmouseevent(mouseposition, mousepressure);
    emit outmousecursor(cursor);
    emit outdevicecursor(timecursor, 3, false);

    // The chosen devices open now that there is a format to open them for.
    opendevice(false);
    opendevice(true);
}

void SpectrumGui::closeproject()
{
    closedevice(false);
    closedevice(true);

    deleteviews();
    firstview->hide();

    slottable.buffer[2]->bindlayer(nullptr);
    emit outbindlayer(nullptr, 2);
    slottable.bound[2] = nullptr;
    delete clipboardlayer;
    clipboardlayer = nullptr;

    notool();
    laststroke = {}; // a Shift-stroke in the next project does not join this one's

    samplerate = channels = speakermask = channelmask = 0;
    emit outchannels(0);

    clearscrollbars();

    selection = QRectF(0, 0, 0, 0);
    emit outselection(selection);

    if (nolayerbox)
        nolayerbox->hide();
}

void SpectrumGui::inchannelactive(qint32 channel, bool active)
{
    if (channel < 0 || channel >= channels || channel >= splitter->count())
        return;
    splitter->widget(channel)->setVisible(active);
    if (active)
        channelmask |= 1 << channel;
    else
        channelmask &= ~(1 << channel);
}

void SpectrumGui::refreshclipboard()
{
    slottable.buffer[2]->flush();
    emit outdisplayarea(displayarea, displayarea, 2);
}

void SpectrumGui::cleanclipboard()
{
    if (!clipboardlayer || slottable.bound[2] != clipboardlayer)
        return;
    // The repaint covers what the clipboard held, so its extent is taken
    // before it is emptied.
    const QRectF update(clipboardlayer->start, displayarea.y(), clipboardlayer->length,
                        displayarea.height());
    transferarea(slottable.buffer[2], slottable.buffer[2], QRectF(), channelmask, 0, 0, 0);
    emit outdisplayarea(displayarea, update, 2);
}
