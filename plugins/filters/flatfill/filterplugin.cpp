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

ApplyArea FilterPlugin::applier()
{
    if (!dialog.get() || !blockready(*this))
        return [](const QRectF&, const Going&) {};
    const double g = std::pow(2.0, power->value() / 6.0);
    return [this, g](const QRectF& area, const Going& going) {
        emptyscratch(*this);
        const std::vector<int> list = channelsof(*this);
        const Span frames = framesof(*this, area);
        const Span bins = binsof(*this, area);
        // Both parts uniform in 0 .. g, so every phase lies in the first
        // quadrant; the generator is never seeded here, so each run gives new
        // noise.
        QRandomGenerator* random = QRandomGenerator::global();
        for (int f = frames.first; f <= frames.last; ++f) {
            if (!going(double(f - frames.first) / (double(frames.last) - frames.first + 1)))
                return;
            for (int c : list)
                for (int b = bins.first; b <= bins.last; ++b) {
                    const double a = random->bounded(32768);
                    const double i = random->bounded(32768);
                    setbin(scratchbuffer, c, f, b, float(g * a / 32767), float(g * i / 32767));
                }
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
