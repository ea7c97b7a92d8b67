// The small dialogs that let the user type what would otherwise be dragged:
// the pointer position, the time cursor, the selection, and the offsets and
// factors of the move and scale modes.
#include <QDialog>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

#include "core/buffer.h"
#include "core/globals.h"
#include "core/log.h"
#include "sdk/rounding.h"
#include "panels/layersgui.h"
#include "modesupport.h"
#include "scalecommands.h"
#include "sdk/fitsize.h"
#include "sdk/typednumber.h"
#include "spectrumgui.h"
#include "view/glchannel.h"

namespace {

// A fixed-size dialog of boxes stacked above an "Ok" button: 160 x 140, or
// as much more as the boxes need to show their values whole.
class NumericDialog : public QDialog
{
public:
    NumericDialog(QWidget* parent, const QString& title) : QDialog(parent), column(new QVBoxLayout(this))
    {
        setWindowTitle(title);
        setFixedSize(160, 140);
    }

    QDoubleSpinBox* number(const QString& prefix, const QString& suffix, double low, double high, int decimals,
                           double value)
    {
        auto* box = new TypedDoubleSpinBox(this);
        box->setDecimals(decimals);
        box->setRange(low, high);
        box->setValue(value);
        box->setPrefix(prefix);
        box->setSuffix(suffix);
        column->addWidget(box);
        connect(box, &QDoubleSpinBox::textChanged, this, &NumericDialog::fit);
        return box;
    }

    QSpinBox* whole(const QString& prefix, int low, int high)
    {
        auto* box = new TypedSpinBox(this);
        box->setRange(low, high);
        box->setValue(low);
        box->setPrefix(prefix);
        column->addWidget(box);
        connect(box, &QSpinBox::textChanged, this, &NumericDialog::fit);
        return box;
    }

    bool ask()
    {
        auto* ok = new QPushButton(SpectrumGui::tr("Ok"), this);
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        column->addWidget(ok);
        fit();
        return exec() == QDialog::Accepted;
    }

private:
    // Measured in the font and style the boxes are drawn with, again as a
    // value typed in grows.
    void fit()
    {
        ensurePolished();
        for (QAbstractSpinBox* box : findChildren<QAbstractSpinBox*>())
            box->setMinimumWidth(fitsize::need(box));
        setFixedSize(QSize(160, 140).expandedTo(minimumSizeHint()));
    }

    QVBoxLayout* column;
};

// A dialog opened from a mode button switches that button's mode on first.
void checkdefaultaction(QObject* sender)
{
    if (auto* button = qobject_cast<QToolButton*>(sender))
        if (QAction* action = button->defaultAction(); action && action->isCheckable() && !action->isChecked())
            action->setChecked(true);
}

} // namespace

void SpectrumGui::insnapnumeric()
{
    const QRectF a = displayarea;
    NumericDialog dialog(mainwindow, tr("Mouse cursor position"));
    QDoubleSpinBox* time = dialog.number(tr("time: "), tr(" s"), -unsettime, unsettime, 2, a.x() + a.width() / 2);
    QDoubleSpinBox* frequency =
        dialog.number(tr("frequency: "), tr(" Hz"), 0, unsettime, 2, a.y() + a.height() / 2);
    // Every channel of the project can take the pointer.
    QSpinBox* channel = dialog.whole(tr("channel: "), 0, std::max(channels - 1, 0));
    if (!dialog.ask())
        return;
    const double t = time->value();
    const double f = frequency->value();
    const int c = channel->value();
    if (!(channelmask & (1 << c)))
        return;
    if (t < a.x() || t > a.x() + a.width() || f < a.y() + a.height() || f > a.y())
        return;
    mouseposition = QPointF(t, f);
    // The view moves the system pointer there; its mouse move takes the ordinary road.
    if (GLChannel* v = view(c))
        v->insnapnumeric(mouseposition);
}

void SpectrumGui::intimecursornumeric()
{
    bool ok = false;
    const double value = asknumber(mainwindow, tr("time cursor"), tr("time cursor position:"), devicetime(),
                                   -unsettime, unsettime, 2, &ok);
    if (!ok)
        return;
    setdevicetime(value);
    timecursor = value;
    emit outdevicecursor(value, 3, false);
    emit outupdategl();
    if (layersgui)
        layersgui->inrefreshstatus();
}

void SpectrumGui::inselectionnumeric()
{
    const QRectF s = selection;
    NumericDialog dialog(mainwindow, tr("Select Area"));
    QDoubleSpinBox* start = dialog.number(tr("start: "), tr(" s"), -unsettime, unsettime, 2, s.x());
    QDoubleSpinBox* end = dialog.number(tr("end: "), tr(" s"), -unsettime, unsettime, 2, s.x() + s.width());
    QDoubleSpinBox* bottom =
        dialog.number(tr("bottom: "), tr(" Hz"), -unsettime, unsettime, 2, s.y() + s.height());
    QDoubleSpinBox* top = dialog.number(tr("top: "), tr(" Hz"), -unsettime, unsettime, 2, s.y());
    if (!dialog.ask())
        return;
    // Stored as typed: an end before the start gives a negative length.
    selection = QRectF(start->value(), top->value(), end->value() - start->value(), bottom->value() - top->value());
    emit outselection(selection);
}

void SpectrumGui::inmovenumeric()
{
    if (!selectionexists())
        return;
    checkdefaultaction(sender());
    if (movescalemode < 0 || movescalemode > 2 || !scalebuffer || fftsize <= 0 || fftoverlap <= 0
        || samplerate <= 0) {
        logerror(QStringLiteral("Move dialog without a move mode or a transform"));
        return;
    }
    NumericDialog dialog(mainwindow, tr("Move"));
    QDoubleSpinBox* frames = dialog.number(tr("time: "), tr(" ft"), -unsettime, unsettime, 0, 0);
    QDoubleSpinBox* bins = dialog.number(tr("frequency: "), tr(" bin"), -unsettime, unsettime, 0, 0);
    if (!dialog.ask())
        return;
    if (transportmode >= 0)
        indevicepause();
    resetslotbuffers();
    // Whole transform frames and bins; a bin is samplerate / fftsize Hz
    // exactly, so that one bin moves by one bin at every window length.
    const int hop = fftsize / fftoverlap;
    dragtime += float(double(hop) * double(roundhalfup64(frames->value())) / samplerate);
    dragfreq += float(double(roundhalfup64(bins->value())) * samplerate / fftsize);
    reposition();
}

void SpectrumGui::inscalenumeric()
{
    if (!selectionexists())
        return;
    checkdefaultaction(sender());
    if (movescalemode < 3 || movescalemode > 5) {
        logerror(QStringLiteral("Scale dialog without a scale mode"));
        return;
    }
    const QRectF o = scaleorigin;
    const double timepercent = o.width() != 0 ? selection.width() * 100 / o.width() : 100;
    const double frequencypercent = o.height() != 0 ? selection.height() * 100 / o.height() : 100;
    NumericDialog dialog(mainwindow, tr("Scale"));
    QDoubleSpinBox* time = dialog.number(tr("time: "), tr("%"), 10, 1000, 0, timepercent);
    QDoubleSpinBox* frequency = dialog.number(tr("frequency: "), tr("%"), 10, 1000, 0, frequencypercent);
    if (!dialog.ask())
        return;
    if (transportmode >= 0)
        indevicepause();
    resetslotbuffers();
    const float oldtime = dragtime;
    const float oldfreq = dragfreq;
    scaleoffsets(o, time->value() / 100, frequency->value() / 100, std::fabs(displayarea.height()), dragtime,
                 dragfreq);
    rescale(true, oldtime, oldfreq);
}
