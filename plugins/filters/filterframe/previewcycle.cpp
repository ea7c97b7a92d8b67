#include "previewcycle.h"

#include "dialogseam.h"

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

PreviewCycle generatorcycle()
{
    PreviewCycle cycle;
    cycle.area = &DataInterface::clipboardarea;
    cycle.mode = loudermode;
    cycle.needsselection = true;
    return cycle;
}

bool runcycle(DataInterface& data, QWidget* parent, QDialog* dialog, const PreviewCycle& cycle,
              const std::function<void()>& before, const ApplyArea& apply)
{
    if (!dialog || !blockready(data))
        return false;
    if (cycle.needsselection && !data.areaselected) {
        warn(parent, QCoreApplication::translate("FilterPlugin", "No area selected"),
             QCoreApplication::translate("FilterPlugin", "Please select an area first."));
        return false;
    }
    if (!readyfor(data, parent, cycle.channellimit))
        return false;
    if (before)
        before();
    if (runmodal(dialog) != QDialog::Accepted)
        return false;
    const QRectF area = data.*cycle.area;
    const int mask = maskof(channelsof(data, cycle.channellimit));
    for (const QRectF& part : cycle.inruns ? cachedruns(data, area) : std::vector<QRectF>{area}) {
        apply(part);
        commitscratch(data, part, mask, cycle.mode);
    }
    emptyscratch(data);
    return true;
}

void runpreview(const FilterInterface& filter, const PreviewCycle& cycle, const ApplyArea& apply)
{
    apply(filter.*cycle.area);
    if (filter.previewhook)
        filter.previewhook();
}

} // namespace filterframe
