#pragma once
// A whole main window on the build's installation root with a noise file,
// made by sox, imported through the layer panel, the tools on the Tools tool
// bar, and the pointer on the first channel view: hover, press, drag and
// release in seconds and Hz, with the keyboard modifiers a hand holds. What
// a stroke did is read back from the layer's sample file.
#include <QAction>
#include <QDoubleSpinBox>
#include <QMouseEvent>
#include <QProcess>
#include <QTest>
#include <QToolBar>
#include <cmath>
#include <complex>
#include <memory>
#include <vector>

#include "controller/spectrumgui.h"
#include "core/layer.h"
#include "panels/layersgui.h"
#include "panels/qtreewidgetext.h"
#include "sdk/interfaces.h"
#include "view/glchannel.h"
#include "windowrig.h"

namespace strokes {

constexpr int rate = 44100;

// Energy of samples [from, to) s between f1 and f2 Hz: Hann-windowed frames
// of 8192 with hop 4096, a direct transform of the band's bins only.
inline double bandenergy(const std::vector<float>& s, double from, double to, double f1, double f2)
{
    constexpr int n = 8192;
    const int first = int(f1 * n / rate), last = int(f2 * n / rate);
    std::vector<double> hann(n);
    for (int i = 0; i < n; ++i)
        hann[size_t(i)] = 0.5 - 0.5 * std::cos(2 * M_PI * i / n);
    double energy = 0;
    for (qint64 at = qint64(from * rate); at + n <= qint64(to * rate) && size_t(at + n) <= s.size(); at += n / 2) {
        for (int k = first; k <= last; ++k) {
            // The bin's phasor turned by one sample at a time.
            const std::complex<double> turn = std::polar(1.0, -2 * M_PI * k / n);
            std::complex<double> phasor = 1, sum = 0;
            for (int i = 0; i < n; ++i) {
                sum += hann[size_t(i)] * double(s[size_t(at + i)]) * phasor;
                phasor *= turn;
            }
            energy += std::norm(sum);
        }
    }
    return energy;
}

inline double db(double ratio)
{
    return 10 * std::log10(ratio);
}

inline QByteArray filebytes(layer* l)
{
    l->file->flush();
    QFile file(l->file->fileName());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The samples of a mono layer file.
inline std::vector<float> samples(const QByteArray& bytes)
{
    std::vector<float> s(size_t(bytes.size()) / sizeof(float));
    memcpy(s.data(), bytes.constData(), s.size() * sizeof(float));
    return s;
}

// Channel 0 of a layer from 0 to `seconds` on the timeline (a layer's file
// starts at the layer's own start), without its volume.
inline std::vector<float> timeline(layer* l, double seconds)
{
    std::vector<float> s(size_t(seconds * rate), 0.0f);
    l->read(s.data(), 0, seconds, 0, false);
    return s;
}

inline double largestdifference(const std::vector<float>& a, const std::vector<float>& b, double from, double to)
{
    double largest = 0;
    for (size_t i = size_t(from * rate); i < size_t(to * rate) && i < a.size() && i < b.size(); ++i)
        largest = std::max(largest, double(std::fabs(a[i] - b[i])));
    return largest;
}

// Makes a mono 32-bit float file of `seconds` with sox: `synth` arguments
// such as {"whitenoise"} or {"sine", "1000"}, then the volume.
inline bool soxfile(const QString& path, double seconds, const QStringList& synth, double volume)
{
    QProcess sox;
    sox.start(utilpath + "/sox/sox", QStringList{"-n", "-r", QString::number(rate), "-c", "1", "-e", "floating-point",
                                                 "-b", "32", path, "synth", QString::number(seconds)}
                                         + synth + QStringList{"vol", QString::number(volume)});
    return sox.waitForFinished(30000) && sox.exitCode() == 0;
}

struct StrokeRig
{
    std::unique_ptr<WindowRig> rig;
    layer* noise = nullptr; // the layer panel's
    GLChannel* view = nullptr;
    double seconds = 3.0;

    // The window shown, 3 s of white noise at 0.3 imported; no layer current.
    StrokeRig()
    {
        rig = std::make_unique<WindowRig>(QStringLiteral(KV_TEST_ROOT));
        (*rig)->resize(1280, 800);
        (*rig)->show();
        if (!QTest::qWaitForWindowExposed(rig->window.get(), 30000))
            qWarning("the window was not exposed");
        const QString wav = QDir::tempPath() + "/noise.wav";
        if (!soxfile(wav, seconds, {"whitenoise"}, 0.3))
            qWarning("sox made no noise file");
        layersgui->Import(wav, QString());
        if (layersgui->tree->topLevelItemCount() == 1)
            noise = LayersGui::rowlayer(layersgui->tree->topLevelItem(0));
        view = spectrumgui->view(0);
    }
    ~StrokeRig()
    {
        if (rig && rig->window)
            (*rig)->close();
    }
    MainWindow* window() const { return rig->window.get(); }

    // Makes row `index` the current layer, as a click on its name does.
    void choose(int index) const { layersgui->ItemClicked(layersgui->tree->topLevelItem(index), 3); }
    // A new empty layer on top, current; the noise stays in the mix.
    layer* newlayer() const
    {
        layersgui->NewLayer();
        return slottable.bound[1];
    }

    // Chooses the tool of that label (and category, where two share a label)
    // on the Tools tool bar.
    ToolInterface* tool(const QString& label, const QString& category = QString()) const
    {
        for (QAction* a : window()->toolactions) {
            auto* t = a->data().value<ToolInterface*>();
            if (t && t->label == label && (category.isEmpty() || t->category == category)) {
                a->trigger();
                return a->isChecked() ? t : nullptr;
            }
        }
        return nullptr;
    }
    template <typename Widget = QDoubleSpinBox>
    static Widget* setting(ToolInterface* t, const QString& prefix, const QString& suffix)
    {
        for (auto* box : t->toolbar->findChildren<Widget*>())
            if (box->prefix() == prefix && box->suffix() == suffix)
                return box;
        return nullptr;
    }
    // Sets the brush of a brush tool: full width s, full height Hz, softness %.
    static bool brush(ToolInterface* t, double timerange, double freqrange, double softness)
    {
        auto* w = setting(t, "time range:", "s");
        auto* h = setting(t, "freq range:", " Hz");
        auto* s = setting(t, "softness:", "%");
        if (!w || !h || !s)
            return false;
        w->setValue(timerange);
        h->setValue(freqrange);
        s->setValue(softness);
        return true;
    }

    QPoint pixel(double t, double f) const
    {
        const QRectF a = view->displayarea;
        return QPointF((t - a.x()) / a.width() * view->width(), (f - a.y()) / a.height() * view->height())
            .toPoint();
    }
    // A move without a button, as the window system sends it.
    void hover(double t, double f) const
    {
        const QPoint at = pixel(t, f);
        QMouseEvent event(QEvent::MouseMove, at, view->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view, &event);
    }
    // The pointer leaves the views.
    void leave() const
    {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(view, &event);
    }
    // Press, moves with the button down and release, each with the modifiers
    // the hand holds then (the application reads them from these events).
    void press(double t, double f, Qt::KeyboardModifiers mods = Qt::NoModifier) const
    {
        QTest::mousePress(view, Qt::LeftButton, mods, pixel(t, f));
    }
    void drag(double t, double f, Qt::KeyboardModifiers mods = Qt::NoModifier) const
    {
        QTest::mouseEvent(QTest::MouseMove, view, Qt::NoButton, mods, pixel(t, f));
    }
    void release(double t, double f, Qt::KeyboardModifiers mods = Qt::NoModifier) const
    {
        QTest::mouseRelease(view, Qt::LeftButton, mods, pixel(t, f));
    }
    // Hover at t0, press, drag to t1 in steps of `step` s and release at
    // `released`: the release event itself travels from t1 to there.
    void stroke(double t0, double t1, double released, double f, double step = 0.05) const
    {
        hover(t0, f);
        press(t0, f);
        const int steps = std::max(1, int(std::lround((t1 - t0) / step)));
        for (int i = 1; i <= steps; ++i)
            drag(t0 + (t1 - t0) * i / steps, f);
        release(released, f);
    }
};

} // namespace strokes
