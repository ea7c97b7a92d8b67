#pragma once
// The level control of the generators: "power: -12.0dB", -90 to 0 dB in
// tenths, made without a parent for the dialog's layout to take.
class QDoubleSpinBox;

namespace filterframe {

QDoubleSpinBox* newpowerbox(double start);

} // namespace filterframe
