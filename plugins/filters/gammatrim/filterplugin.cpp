#include "filterplugin.h"

#include <QGridLayout>
#include <QLabel>

#include <cmath>

#include "typednumber.h"

using namespace filterframe;

namespace {

// Slider steps per spin box unit: level, gamma, offset.
constexpr double levelscale = 5;
constexpr double gammascale = 10;
constexpr double offsetscale = 1000;

// A spin box value on its slider's grid, truncated toward zero.
int slidervalue(double value, double scale)
{
    return int(std::trunc(value * scale));
}

QSlider* newslider(int minimum, int maximum, int value)
{
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setRange(minimum, maximum);
    slider->setValue(value);
    slider->setFixedWidth(200);
    return slider;
}

QDoubleSpinBox* newspinbox(double minimum, double maximum, double value, int decimals)
{
    auto* spinbox = new TypedDoubleSpinBox;
    spinbox->setDecimals(decimals);
    spinbox->setRange(minimum, maximum);
    spinbox->setValue(value);
    return spinbox;
}

// The power law on one part: |x|^e with the sign of x, where 0 counts as negative.
// An exponent of 1 (gamma 1) gives |x| exactly, without the costly power.
float power(float x, double e)
{
    if (e == 1.0)
        return x > 0 ? x : -std::fabs(x);
    return float(std::pow(std::fabs(double(x)), e) * (x > 0 ? 1.0 : -1.0));
}

} // namespace

bool FilterPlugin::initialize(const QString& pluginfile, QWidget* mainwindow)
{
    name = tr("Mix Level/Gamma/Offset");
    label = tr("Level/Gamma/Offset");
    category = QStringLiteral("Mix");
    parent = mainwindow;
    if (dialog.get())
        return true;
    QDialog* box = dialog.make(mainwindow, tr("Level/Gamma/Offset"));
    levelslider = newslider(-80, 80, 0);
    levelspin = newspinbox(-200.0, 200.0, 0.0, 1);
    levelspin->setSuffix(tr("dB"));
    gammaslider = newslider(2, 50, 10);
    gammaspin = newspinbox(0.1, 10.0, 1.0, 1);
    gammaspin->setPrefix(QString(QChar(0x0263)));
    offsetslider = newslider(-80, 80, 0);
    offsetspin = newspinbox(-50.0, 50.0, 0.0, 3);

    auto* grid = new QGridLayout(box);
    const QString captions[3] = {tr("Level:"), tr("Gamma:"), tr("Offset:")};
    QSlider* rowsliders[3] = {levelslider, gammaslider, offsetslider};
    QDoubleSpinBox* rowspins[3] = {levelspin, gammaspin, offsetspin};
    for (int row = 0; row < 3; ++row) {
        grid->addWidget(new QLabel(captions[row]), row, 0);
        grid->addWidget(rowsliders[row], row, 1, 1, 2);
        grid->addWidget(rowspins[row], row, 3);
        connect(rowsliders[row], &QSlider::valueChanged, this, &FilterPlugin::refreshS);
        connect(rowspins[row], &QDoubleSpinBox::valueChanged, this, &FilterPlugin::refreshV);
    }
    grid->addWidget(newpreviewbutton(this), 3, 2, 1, 1);
    grid->addWidget(newapplybutton(box), 3, 3);
    return true;
}

void FilterPlugin::refreshV()
{
    if (!dialog.get() || rewriting)
        return;
    levelslider->setValue(slidervalue(levelspin->value(), levelscale));
    gammaslider->setValue(slidervalue(gammaspin->value(), gammascale));
    offsetslider->setValue(slidervalue(offsetspin->value(), offsetscale));
}

void FilterPlugin::refreshS()
{
    if (!dialog.get())
        return;
    // The sliders win: rewriting one spin box must not pull the other sliders
    // back to spin boxes not yet rewritten.
    rewriting = true;
    levelspin->setValue(levelslider->value() / levelscale);
    gammaspin->setValue(gammaslider->value() / gammascale);
    offsetspin->setValue(offsetslider->value() / offsetscale);
    rewriting = false;
}

ApplyArea FilterPlugin::applier(int target)
{
    if (!dialog.get() || !blockready(*this))
        return [](const QRectF&, const Going&) {};
    const double g = std::pow(2.0, levelspin->value() / 6.0);
    const double e = 1.0 / gammaspin->value();
    const double o = offsetspin->value();
    return [this, g, e, o, target](const QRectF& area, const Going& going) {
        emptyscratch(*this);
        const std::vector<int> list = channelsof(*this);
        Span frames = framesof(*this, area);
        // The layer takes the frames a commit of the area would copy: the
        // next run begins with the end frame, which must be mapped once.
        if (target == layerbuffer)
            --frames.last;
        const Span bins = binsof(*this, area);
        std::vector<float> pairs(bins.empty() ? 0 : 2 * size_t(bins.last - bins.first + 1));
        for (int f = frames.first; f <= frames.last; ++f) {
            if (!going(double(f - frames.first) / (double(frames.last) - frames.first + 1)))
                return;
            for (int c : list) {
                readbins(*this, layerbuffer, c, f, bins, pairs.data());
                if (e == 1.0 && o == 0) {
                    // The level alone, in a loop the compiler can widen; the
                    // same floats as below.
                    for (float& x : pairs)
                        x = power(float(g * x), 1.0);
                    writebins(*this, target, c, f, bins, pairs.data());
                    continue;
                }
                for (size_t i = 0; i < pairs.size(); i += 2) {
                    float re = power(float(g * pairs[i]), e);
                    float im = power(float(g * pairs[i + 1]), e);
                    // No offset scales each magnitude by n / m = 1 exactly.
                    const float m = o != 0 ? std::sqrt(re * re + im * im) : 0.0f;
                    if (m > 0) {
                        const float n = float(std::max(double(m) + o, 0.0));
                        re *= n / m;
                        im *= n / m;
                    }
                    pairs[i] = re;
                    pairs[i + 1] = im;
                }
                writebins(*this, target, c, f, bins, pairs.data());
            }
        }
    };
}

void FilterPlugin::preview()
{
    runpreview(*this, mixcycle(), [this] { return applier(scratchbuffer); });
}

bool FilterPlugin::process()
{
    return runcycle(*this, parent, dialog.get(), inplacecycle(), nullptr, [this] { return applier(layerbuffer); });
}
