#include "utilitywatch.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QProgressBar>
#include <QProgressDialog>
#include <algorithm>

#include "core/utility.h"

namespace {

// Long enough that quick runs (a preview step) show nothing.
constexpr int showafterms = 700;

// The run being watched: its window is only made once it has lasted, since
// a drag step runs the utilities several times a second.
struct Watched
{
    QString title;
    QString text;
    QDeadlineTimer showat;
    int percent = -1; // none reported
    QPointer<QProgressDialog> dialog;
    QPointer<QProgressBar> bar;
};
Watched watched;
// A run that starts while another is watched (from an event of the outer
// wait) shares its window, which goes with the outer one.
int depth = 0;

void setpercent()
{
    if (!watched.bar || watched.percent < 0)
        return;
    if (watched.bar->maximum() == 0)
        watched.bar->setRange(0, 100);
    if (watched.percent > watched.bar->value())
        watched.bar->setValue(watched.percent);
}

void show(QWidget* owner)
{
    auto* dialog = new QProgressDialog(watched.text, QProgressDialog::tr("Cancel"), 0, 0, owner);
    // The bar is set directly: the dialog's own setValue runs every pending
    // event once it is shown, from inside whoever reports.
    auto* bar = new QProgressBar(dialog);
    bar->setRange(0, 0);
    dialog->setBar(bar);
    dialog->setWindowTitle(watched.title.isEmpty() ? QProgressDialog::tr("Please wait") : watched.title);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setMinimumDuration(0);
    watched.dialog = dialog;
    watched.bar = bar;
    setpercent();
    dialog->show();
}

} // namespace

void installutilitywatch(QWidget* parent)
{
    UtilityWatch watch;
    QPointer<QWidget> owner(parent);
    watch.begin = [](const QString& title, const QString& text) {
        if (depth++ > 0)
            return;
        watched = Watched{title, text, QDeadlineTimer(showafterms), -1, nullptr, nullptr};
    };
    watch.shown = [owner] {
        if (depth > 0 && !watched.dialog && owner && watched.showat.hasExpired())
            show(owner);
        return watched.dialog && watched.dialog->isVisible();
    };
    watch.cancelled = [] { return watched.dialog && watched.dialog->wasCanceled(); };
    watch.progress = [](int percent) {
        watched.percent = std::max(watched.percent, percent);
        setpercent();
    };
    watch.settext = [](const QString& text) {
        watched.text = text;
        if (watched.dialog)
            watched.dialog->setLabelText(text);
    };
    watch.end = [] {
        if (depth > 0 && --depth == 0) {
            delete watched.dialog.data();
            watched = Watched();
        }
    };
    setutilitywatch(watch);
    QObject::connect(parent, &QObject::destroyed, [] { setutilitywatch({}); });
}
