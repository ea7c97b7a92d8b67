#pragma once
// The settings that the frequency and harmonics extraction tools share, made
// like the other settings widgets (on the heap, without a parent).
class QDoubleSpinBox;

namespace toolframe {

QDoubleSpinBox* newtolerance();  // dB below the first peak at which tracking stops
QDoubleSpinBox* newtimelimit();  // s on either side of the pointer
QDoubleSpinBox* newspread();     // bins on either side of a peak
QDoubleSpinBox* newpurefreq();   // % blend from the mix towards the pure lobe

} // namespace toolframe
