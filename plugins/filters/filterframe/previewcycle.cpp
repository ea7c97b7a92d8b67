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
              const std::function<void()>& before, const std::function<void()>& apply)
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
    apply();
    commitscratch(data, data.*cycle.area, maskof(channelsof(data, cycle.channellimit)), cycle.mode);
    emptyscratch(data);
    return true;
}

void runpreview(const FilterInterface& filter, const std::function<void()>& apply)
{
    apply();
    if (filter.previewhook)
        filter.previewhook();
}

} // namespace filterframe
