#pragma once
// The settings that the frequency and harmonics extraction tools share, made
// like the other settings widgets (on the heap, without a parent).
class QDoubleSpinBox;

namespace toolframe {

// What those settings held when the host last had them taken
// (OffThreadTool): the values a step works with, wherever it runs.
struct PeakSettings
{
    bool alive = false;    // the widgets existed
    double tolerance = 0;  // dB
    double timelimit = 0;  // s
    int spread = 0;        // bins
    double pure = 0;       // 0 to 1
    // On the widgets' thread.
    static PeakSettings take(const QDoubleSpinBox* tolerance, const QDoubleSpinBox* timelimit,
                             const QDoubleSpinBox* spread, const QDoubleSpinBox* purefreq);
};

QDoubleSpinBox* newtolerance();  // dB below the first peak at which tracking stops
QDoubleSpinBox* newtimelimit();  // s on either side of the pointer
QDoubleSpinBox* newspread();     // bins on either side of a peak
QDoubleSpinBox* newpurefreq();   // % blend from the mix towards the pure lobe

} // namespace toolframe
