#include "utilitywatch.h"

#include <QPointer>
#include <QProgressDialog>

#include "core/utility.h"

namespace {

// Long enough that quick runs (a preview step) show nothing.
constexpr int showafterms = 700;

QPointer<QProgressDialog> dialog;

} // namespace

void installutilitywatch(QWidget* parent)
{
    UtilityWatch watch;
    QPointer<QWidget> owner(parent);
    watch.begin = [owner](const QString& text) {
        if (!owner || dialog)
            return;
        dialog = new QProgressDialog(text, QProgressDialog::tr("Cancel"), 0, 0, owner);
        dialog->setWindowTitle(QProgressDialog::tr("Please wait"));
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->setMinimumDuration(showafterms);
        dialog->setValue(0);
    };
    watch.shown = [] { return dialog && dialog->isVisible(); };
    watch.cancelled = [] { return dialog && dialog->wasCanceled(); };
    watch.end = [] { delete dialog.data(); };
    setutilitywatch(watch);
    QObject::connect(parent, &QObject::destroyed, [] { setutilitywatch({}); });
}
