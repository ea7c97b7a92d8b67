#include "filterplugin.h"

#include <QRandomGenerator>
#include <QVBoxLayout>

#include <cmath>

#include "generatorcontrols.h"

using namespace filterframe;

bool FilterPlugin::initialize(const QString& pluginfile, QWidget* mainwindow)
{
    name = tr("Generate White Noise");
    label = tr("White Noise");
    category = QStringLiteral("Generate");
    parent = mainwindow;
    if (dialog.get())
        return true;
    QDialog* box = dialog.make(mainwindow, tr("Generate White Noise"));
    power = newpowerbox(-30.0);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(power);
    layout->addWidget(newpreviewbutton(this));
    layout->addWidget(newapplybutton(box));
    return true;
}

void FilterPlugin::apply()
{
    if (!dialog.get() || !blockready(*this))
        return;
    emptyscratch(*this);
    const double g = std::pow(2.0, power->value() / 6.0);
    const std::vector<int> list = channelsof(*this);
    const Span frames = framesof(*this, clipboardarea);
    const Span bins = binsof(*this, clipboardarea);
    // Both parts uniform in 0 .. g, so every phase lies in the first quadrant;
    // the generator is never seeded here, so each run gives new noise.
    QRandomGenerator* random = QRandomGenerator::global();
    for (int f = frames.first; f <= frames.last; ++f)
        for (int c : list)
            for (int b = bins.first; b <= bins.last; ++b) {
                const double a = random->bounded(32768);
                const double i = random->bounded(32768);
                setbin(scratchbuffer, c, f, b, float(g * a / 32767), float(g * i / 32767));
            }
}

void FilterPlugin::preview()
{
    runpreview(*this, generatorcycle(), [this](const QRectF&) { apply(); });
}

bool FilterPlugin::process()
{
    return runcycle(*this, parent, dialog.get(), generatorcycle(), nullptr, [this](const QRectF&) { apply(); });
}
