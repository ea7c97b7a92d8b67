#include "peakwidgets.h"

#include <QCoreApplication>
#include <QDoubleSpinBox>

#include "toolwidgets.h"

namespace toolframe {

static QString tr(const char* text)
{
    return QCoreApplication::translate("ToolPlugin", text);
}

PeakSettings PeakSettings::take(const QDoubleSpinBox* tolerance, const QDoubleSpinBox* timelimit,
                                const QDoubleSpinBox* spread, const QDoubleSpinBox* purefreq)
{
    PeakSettings taken;
    taken.alive = tolerance && timelimit && spread && purefreq;
    if (taken.alive) {
        taken.tolerance = valueof(tolerance);
        taken.timelimit = valueof(timelimit);
        taken.spread = int(valueof(spread));
        taken.pure = valueof(purefreq) / 100;
    }
    return taken;
}

QDoubleSpinBox* newtolerance()
{
    return newspinbox({-30, -0.0, 1, 1, -6, tr("tolerance:"), tr("dB"), {}});
}

QDoubleSpinBox* newtimelimit()
{
    return newspinbox({0, 10, 0.1, 2, 0.3, tr("time limit:") + QChar(0x00B1), tr("s"), {}});
}

QDoubleSpinBox* newspread()
{
    return newspinbox({1, 5, 1, 0, 2, tr("spread:"), tr("bins"), {}});
}

QDoubleSpinBox* newpurefreq()
{
    return newspinbox({0, 100, 10, 0, 0, tr("pure freq:"), tr("%"), {}});
}

} // namespace toolframe
