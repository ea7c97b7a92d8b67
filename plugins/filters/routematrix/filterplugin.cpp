#include "filterplugin.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <array>

#include "typednumber.h"

using namespace filterframe;

bool FilterPlugin::initialize(const QString& pluginfile, QWidget* mainwindow)
{
    name = tr("Mix Channels");
    label = tr("Channels");
    category = QStringLiteral("Mix");
    parent = mainwindow;
    if (dialog.get())
        return true;
    QDialog* box = dialog.make(mainwindow, tr("Mix Channels"));
    tabs = new QTabWidget;
    tabs->setToolTip(tr("Target Channel"));
    for (int t = 0; t < size; ++t) {
        auto* page = new QWidget;
        auto* grid = new QGridLayout(page);
        for (int s = 0; s < size; ++s) {
            const int start = s == t ? 100 : 0;
            auto* slider = new QSlider(Qt::Vertical);
            slider->setRange(0, 100);
            slider->setValue(start);
            slider->setFixedHeight(200);
            slider->setToolTip(tr("Source Channel"));
            auto* spinbox = new TypedSpinBox;
            spinbox->setRange(0, 100);
            spinbox->setValue(start);
            spinbox->setSuffix(QStringLiteral("%"));
            spinbox->setToolTip(tr("Source Channel"));
            auto* caption = new QLabel(tr("Chan #%1").arg(s));
            caption->setToolTip(tr("Source Channel"));
            grid->addWidget(slider, 0, s, Qt::AlignHCenter);
            grid->addWidget(spinbox, 1, s);
            grid->addWidget(caption, 2, s);
            connect(slider, &QSlider::valueChanged, spinbox, &QSpinBox::setValue);
            connect(spinbox, &QSpinBox::valueChanged, slider, &QSlider::setValue);
            sliders[t][s] = slider;
            spinboxes[t][s] = spinbox;
            channellabels[t][s] = caption;
        }
        tabs->addTab(page, tr("Channel #%1").arg(t));
    }
    auto* buttons = new QWidget;
    auto* row = new QHBoxLayout(buttons);
    auto* resetbutton = new QPushButton(tr("Reset"));
    connect(resetbutton, &QPushButton::clicked, this, &FilterPlugin::reset);
    row->addWidget(resetbutton);
    row->addWidget(newpreviewbutton(this));
    row->addWidget(newapplybutton(box));
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
    return true;
}

void FilterPlugin::refreshmixer()
{
    if (channels <= 0 || !tabs)
        return;
    const unsigned mask = unsigned(channelmask);
    for (int t = 0; t < size; ++t) {
        tabs->setTabEnabled(t, (mask >> t) & 1u);
        for (int s = 0; s < size; ++s) {
            // Hidden cells keep their weights.
            const bool shown = (mask >> s) & 1u;
            sliders[t][s]->setVisible(shown);
            spinboxes[t][s]->setVisible(shown);
            channellabels[t][s]->setVisible(shown);
        }
    }
}

void FilterPlugin::reset()
{
    if (channels <= 0 || !tabs)
        return;
    for (int t = 0; t < size; ++t)
        for (int s = 0; s < size; ++s)
            sliders[t][s]->setValue(s == t ? 100 : 0);
}

ApplyArea FilterPlugin::applier()
{
    if (!tabs || !blockready(*this))
        return [](const QRectF&, const Going&) {};
    std::array<std::array<float, size>, size> weights;
    for (int t = 0; t < size; ++t)
        for (int s = 0; s < size; ++s)
            weights[t][s] = float(sliders[t][s]->value()) / 100.0f;
    return [this, weights](const QRectF& area, const Going& going) {
        emptyscratch(*this);
        // Every source takes part, switched on or not; only the matrix's channels.
        const int sources = std::min(channels, int(size));
        const std::vector<int> targets = channelsof(*this, size);
        const Span frames = framesof(*this, area);
        const Span bins = binsof(*this, area);
        QVector2D in[size];
        for (int f = frames.first; f <= frames.last; ++f) {
            if (!going(double(f - frames.first) / (double(frames.last) - frames.first + 1)))
                return;
            for (int b = bins.first; b <= bins.last; ++b) {
                for (int s = 0; s < sources; ++s)
                    in[s] = getbin(layerbuffer, s, f, b);
                for (int t : targets) {
                    float re = 0;
                    float im = 0;
                    for (int s = 0; s < sources; ++s) {
                        re += weights[t][s] * in[s].x();
                        im += weights[t][s] * in[s].y();
                    }
                    setbin(scratchbuffer, t, f, b, re, im);
                }
            }
        }
    };
}

void FilterPlugin::preview()
{
    runpreview(*this, mixcycle(size), [this] { return applier(); });
}

bool FilterPlugin::process()
{
    return runcycle(*this, parent, dialog.get(), mixcycle(size), [this] { refreshmixer(); },
                    [this] { return applier(); });
}
