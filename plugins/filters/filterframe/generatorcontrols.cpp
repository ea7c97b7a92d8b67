#include "generatorcontrols.h"

#include <QCoreApplication>
#include <QDoubleSpinBox>

#include "typednumber.h"

namespace filterframe {

QDoubleSpinBox* newpowerbox(double start)
{
    auto* box = new TypedDoubleSpinBox;
    box->setDecimals(1);
    box->setRange(-90.0, 0.0);
    box->setValue(start);
    box->setPrefix(QCoreApplication::translate("FilterPlugin", "power: "));
    box->setSuffix(QCoreApplication::translate("FilterPlugin", "dB"));
    return box;
}

} // namespace filterframe
