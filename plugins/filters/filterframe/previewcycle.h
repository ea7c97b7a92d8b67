#pragma once
// What the filters share around their dialog: its ownership, the buttons of
// the preview filters and the run of process() that computes the result into
// the scratch buffer, lets the user preview it and commits it into the current
// layer.
#include <QCoreApplication>
#include <QDialog>
#include <QPointer>
#include <QPushButton>
#include <QRectF>

#include <functional>

#include "filterblock.h"
#include "interfaces.h"

namespace filterframe {

// The filter's dialog has the main window as parent, so the main window
// deletes it, and the controls in it, when the window goes first; the plugin
// deletes it when the plugin goes first. Either way nothing is deleted twice.
class OwnedDialog
{
public:
    OwnedDialog() = default;
    OwnedDialog(const OwnedDialog&) = delete;
    OwnedDialog& operator=(const OwnedDialog&) = delete;
    ~OwnedDialog() { delete dialog.data(); }

    // A modal dialog with the title, made once; later calls keep it.
    QDialog* make(QWidget* parent, const QString& title);
    QDialog* get() const { return dialog.data(); }

private:
    QPointer<QDialog> dialog;
};

// "Apply" closes the dialog with acceptance; "Preview..." calls the plugin's
// preview() slot and leaves the dialog open.
QPushButton* newapplybutton(QDialog* dialog);
template <typename Plugin>
QPushButton* newpreviewbutton(Plugin* plugin)
{
    auto* button = new QPushButton(QCoreApplication::translate("FilterPlugin", "Preview..."));
    QObject::connect(button, &QPushButton::clicked, plugin, &Plugin::preview);
    return button;
}

// The checks every filter makes before it touches anything: a filled block
// (else false, silently: the host has not set the project up) and at least
// one of the first `channellimit` channels switched on (else a warning).
bool readyfor(const DataInterface& data, QWidget* parent, int channellimit = 32);

// What differs between the preview filters' runs.
struct PreviewCycle
{
    QRectF DataInterface::*area = &DataInterface::layerarea; // the area read and committed
    int mode = copymode;          // area transfer mode of the commit; below 0 none
    bool needsselection = false;  // refuse to run without a selection
    int channellimit = 32;        // channels the filter can compute
    // Computed and committed in runs of frames that the host still holds as
    // written (filterblock.h): a filter that rewrites the bins of the area.
    bool inruns = false;
};

// The mix filters read and commit the current layer's area and copy their
// result; the generators fill the selection and keep the louder bin.
PreviewCycle mixcycle(int channellimit = 32);
// A mix filter that maps each bin of the area onto itself writes its result
// into the current layer directly (frames first to end - 1 of the area, as a
// commit would copy them): no scratch to synthesise, keep and transfer.
PreviewCycle inplacecycle(int channellimit = 32);
PreviewCycle generatorcycle();

// How far the computation over one area has come (0 to 1); false once the
// user has cancelled, and the computation then ends early.
using Going = std::function<bool(double share)>;
// The filter's result over an area (of the cycle's kind) into the scratch,
// with the settings it was made with; it may run on another thread and
// touches no widget.
using ApplyArea = std::function<void(const QRectF& area, const Going& going)>;
// On the window's thread, once the user has asked for a result: reads the
// dialog's settings and gives the computation that uses them.
using PrepareApply = std::function<ApplyArea()>;

// process() of a preview filter: the checks, the dialog (before runs first),
// then on "Apply" the result into the scratch and its commit (run by run when
// the cycle says so), and an empty scratch. The computation and the commits
// run under the host's wait, titled with the filter's label: after a moment
// a window shows their progress and Cancel (hostlink.h). True when a result
// was committed in full; after a Cancel the host gives the layer back what it
// held before.
bool runcycle(FilterInterface& filter, QWidget* parent, QDialog* dialog, const PreviewCycle& cycle,
              const std::function<void()>& before, const PrepareApply& prepare);

// preview(): the result over the cycle's area into the scratch, under the
// same wait, then the host's preview, which plays the clipboard until the
// user stops it. A cancelled computation leaves the scratch empty and plays
// nothing.
void runpreview(const FilterInterface& filter, const PreviewCycle& cycle, const PrepareApply& prepare);

} // namespace filterframe
