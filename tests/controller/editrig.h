#pragma once
// The whole main window with a project of tone layers, for the edit commands,
// the time edits and the calibration: areas are selected through the mouse
// engine, the layers are read back from their own sample files and tones are
// measured by correlation.
#include <QAction>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>

#include <cmath>
#include <complex>

#include "core/layerhelpers.h"
#include "panels/historygui.h"
#include "panels/panelrig.h"
#include "panels/qtreewidgetext.h"

// Sum of sines: (frequency Hz, amplitude) pairs, the same in every channel
// unless `perchannel` scales channel c by (1 + c).
inline void tones(layer* l, double seconds, const QList<QPair<double, float>>& parts,
                  bool perchannel = false)
{
    const int rate = l->samplerate;
    fill(l, 0.0, int(std::lround(seconds * rate)), [&](int k, int c) {
        double v = 0;
        for (const auto& p : parts)
            v += p.second * std::sin(2 * M_PI * p.first * k / rate);
        return float(perchannel ? v * (1 + c) : v);
    });
    l->resetdirty();
}

// The amplitude of a `frequency` Hz sine in channel `channel` of the layer's
// own samples between t0 and t1 (layer time), by correlation.
inline double amplitude(layer* l, double frequency, double t0, double t1, int channel = 0)
{
    const std::vector<float> data = samplefile(l);
    const int rate = l->samplerate;
    const qint64 first = std::lround((t0 - l->start) * rate);
    const qint64 last = std::lround((t1 - l->start) * rate);
    std::complex<double> sum = 0;
    qint64 n = 0;
    for (qint64 k = first; k < last; ++k, ++n) {
        const qint64 index = k * l->channels + channel;
        const double v = k >= 0 && index < qint64(data.size()) ? data[size_t(index)] : 0.0;
        // Phase by absolute time, so that the layer's start does not matter.
        const double t = double(k) / rate + l->start;
        sum += v * std::polar(1.0, -2 * M_PI * frequency * t);
    }
    return n > 0 ? 2.0 * std::abs(sum) / double(n) : 0.0;
}

// Draws a selection with the mouse engine as the select mode does.
inline void select(const QRectF& area)
{
    SpectrumGui* gui = spectrumgui;
    const int mode = gui->selectionmode;
    gui->selectionmode = 0;
    const QPointF from(area.x(), area.y());
    const QPointF to(area.x() + area.width(), area.y() + area.height());
    gui->inmouseevent(from, 1.0f, 0, 0, false);
    gui->inmouseevent(to, 1.0f, 0, 0, false);
    gui->inmouseevent(to, 0.0f, 0, 0, false);
    gui->selectionmode = mode;
}

inline void unselect()
{
    selection = QRectF(0, 0, 0, 0);
    emit spectrumgui->outselection(selection);
}

inline int historyrows()
{
    return historygui->tree->topLevelItemCount();
}

inline QString historytext(int row)
{
    return historygui->tree->topLevelItem(row)->text(1);
}

// The transport action of a mode in the window's tool bar.
inline QAction* transportaction(MainWindow* window, int mode)
{
    for (QAction* a : window->findChildren<QAction*>())
        if (a->data().metaType() == QMetaType::fromType<int>() && a->data().toInt() == mode
            && a->text().contains("space"))
            return a;
    return nullptr;
}
