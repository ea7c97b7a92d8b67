#include "filterplugin.h"

#include <QVBoxLayout>

#include <cmath>

#include "generatorcontrols.h"
#include "typednumber.h"

using namespace filterframe;

bool FilterPlugin::initialize(const QString& pluginfile, QWidget* mainwindow)
{
    name = tr("Generate Frequency");
    label = tr("Frequency");
    category = QStringLiteral("Generate");
    parent = mainwindow;
    if (dialog.get())
        return true;
    QDialog* box = dialog.make(mainwindow, tr("Generate Frequency"));
    power = newpowerbox(-12.0);
    frequency = new TypedDoubleSpinBox;
    frequency->setDecimals(1);
    frequency->setRange(0.1, 100000.0);
    frequency->setValue(1000.0);
    frequency->setPrefix(tr("freq.: "));
    frequency->setSuffix(tr("Hz"));
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(power);
    layout->addWidget(frequency);
    layout->addWidget(newpreviewbutton(this));
    layout->addWidget(newapplybutton(box));
    return true;
}

ApplyArea FilterPlugin::applier()
{
    if (!dialog.get() || !blockready(*this))
        return [](const QRectF&, const Going&) {};
    const double g = std::pow(2.0, power->value() / 6.0);
    const double f = frequency->value();
    return [this, g, f](const QRectF& area, const Going& going) {
        emptyscratch(*this);
        const std::vector<int> list = channelsof(*this);
        const Span samples = samplesof(*this, area);
        // Every channel gets the same wave, starting at phase 0 on the area's
        // first sample.
        double phase = 0;
        for (int k = samples.first; k <= samples.last; ++k) {
            if ((k - samples.first) % 65536 == 0
                && !going(double(k - samples.first) / (double(samples.last) - samples.first + 1)))
                return;
            const float value = float(std::sin(phase) * g);
            for (int c : list)
                setsample(scratchbuffer, c, k, value);
            phase += 1.0 / samplerate * f * 3.141593 * 2;
        }
    };
}

void FilterPlugin::preview()
{
    runpreview(*this, generatorcycle(), [this] { return applier(); });
}

bool FilterPlugin::process()
{
    return runcycle(*this, parent, dialog.get(), generatorcycle(), nullptr, [this] { return applier(); });
}
