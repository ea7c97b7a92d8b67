#include "previewcycle.h"

#include "dialogseam.h"
#include "hostlink.h"

namespace filterframe {

QDialog* OwnedDialog::make(QWidget* parent, const QString& title)
{
    if (!dialog) {
        dialog = new QDialog(parent);
        dialog->setModal(true);
        dialog->setWindowTitle(title);
    }
    return dialog;
}

QPushButton* newapplybutton(QDialog* dialog)
{
    auto* button = new QPushButton(QCoreApplication::translate("FilterPlugin", "Apply"));
    QObject::connect(button, &QPushButton::clicked, dialog, &QDialog::accept);
    return button;
}

bool readyfor(const DataInterface& data, QWidget* parent, int channellimit)
{
    if (!blockready(data))
        return false;
    if (channelsof(data, channellimit).empty()) {
        // A commit with no channel would reach every channel.
        warn(parent, QCoreApplication::translate("FilterPlugin", "No channel selected"),
             QCoreApplication::translate("FilterPlugin", "Please switch on a channel first."));
        return false;
    }
    return true;
}

PreviewCycle mixcycle(int channellimit)
{
    PreviewCycle cycle;
    cycle.area = &DataInterface::layerarea;
    cycle.mode = copymode;
    cycle.channellimit = channellimit;
    cycle.inruns = true;
    return cycle;
}

PreviewCycle inplacecycle(int channellimit)
{
    PreviewCycle cycle = mixcycle(channellimit);
    cycle.mode = -1;
    return cycle;
}

PreviewCycle generatorcycle()
{
    PreviewCycle cycle;
    cycle.area = &DataInterface::clipboardarea;
    cycle.mode = loudermode;
    cycle.needsselection = true;
    return cycle;
}

namespace {

// `parts` through `apply`, each committed when `mode` is set, under the
// host's wait; true when all of them were.
bool applyparts(const FilterInterface& filter, const std::vector<QRectF>& parts, const ApplyArea& apply, int mask,
                int mode)
{
    const double count = double(parts.size());
    const auto work = [&](const std::function<bool(int)>& going) {
        for (size_t i = 0; i < parts.size(); ++i) {
            const Going share = [&](double s) { return going(int((double(i) + s) / count * 100)); };
            if (!share(0))
                return false;
            apply(parts[i], share);
            // Nothing of a cancelled computation is committed.
            if (!share(1))
                return false;
            if (mode >= 0)
                commitscratch(filter, parts[i], mask, mode);
        }
        return true;
    };
    const QString text = QCoreApplication::translate("FilterPlugin", "Applying %1...").arg(filter.label);
    return hostrunwork(host(), filter.label, text, work) == WorkEnd::Done;
}

} // namespace

bool runcycle(FilterInterface& filter, QWidget* parent, QDialog* dialog, const PreviewCycle& cycle,
              const std::function<void()>& before, const PrepareApply& prepare)
{
    if (!dialog || !blockready(filter))
        return false;
    if (cycle.needsselection && !filter.areaselected) {
        warn(parent, QCoreApplication::translate("FilterPlugin", "No area selected"),
             QCoreApplication::translate("FilterPlugin", "Please select an area first."));
        return false;
    }
    if (!readyfor(filter, parent, cycle.channellimit))
        return false;
    if (before)
        before();
    if (runmodal(dialog) != QDialog::Accepted)
        return false;
    const QRectF area = filter.*cycle.area;
    const int mask = maskof(channelsof(filter, cycle.channellimit));
    const std::vector<QRectF> parts = cycle.inruns ? cachedruns(filter, area) : std::vector<QRectF>{area};
    const bool done = applyparts(filter, parts, prepare(), mask, cycle.mode);
    emptyscratch(filter);
    return done;
}

void runpreview(const FilterInterface& filter, const PreviewCycle& cycle, const PrepareApply& prepare)
{
    if (!applyparts(filter, {filter.*cycle.area}, prepare(), 0, -1)) {
        emptyscratch(filter);
        return;
    }
    if (filter.previewhook)
        filter.previewhook();
}

} // namespace filterframe
