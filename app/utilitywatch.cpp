#include "utilitywatch.h"

#include <QPointer>
#include <QProgressBar>
#include <QProgressDialog>

#include "core/utility.h"

namespace {

// Long enough that quick runs (a preview step) show nothing.
constexpr int showafterms = 700;

QPointer<QProgressDialog> dialog;
QPointer<QProgressBar> bar;
// A run that starts while another is watched (from an event of the outer
// wait) shares its window, which goes with the outer one.
int depth = 0;

} // namespace

void installutilitywatch(QWidget* parent)
{
    UtilityWatch watch;
    QPointer<QWidget> owner(parent);
    watch.begin = [owner](const QString& title, const QString& text) {
        if (depth++ > 0 || !owner)
            return;
        dialog = new QProgressDialog(text, QProgressDialog::tr("Cancel"), 0, 0, owner);
        // The bar is set directly: the dialog's own setValue runs every
        // pending event once it is shown, from inside whoever reports.
        bar = new QProgressBar(dialog);
        bar->setRange(0, 0);
        dialog->setBar(bar);
        dialog->setWindowTitle(title.isEmpty() ? QProgressDialog::tr("Please wait") : title);
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->setMinimumDuration(showafterms);
        dialog->setValue(0);
    };
    watch.shown = [] { return dialog && dialog->isVisible(); };
    watch.cancelled = [] { return dialog && dialog->wasCanceled(); };
    watch.progress = [](int percent) {
        if (!bar)
            return;
        if (bar->maximum() == 0)
            bar->setRange(0, 100);
        if (percent > bar->value())
            bar->setValue(percent);
    };
    watch.end = [] {
        if (depth > 0 && --depth == 0)
            delete dialog.data();
    };
    setutilitywatch(watch);
    QObject::connect(parent, &QObject::destroyed, [] { setutilitywatch({}); });
}
