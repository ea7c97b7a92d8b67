#pragma once
// A whole main window on the build's installation root with one shown layer
// of a generated signal, current and in the mix, and the mouse on its views:
// hovering, pressing and dragging in time and frequency.
#include <QDoubleSpinBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "controller/spectrumgui.h"
#include "core/layer.h"
#include "panels/layersgui.h"
#include "panels/panelrig.h"
#include "view/glchannel.h"
#include "windowrig.h"

struct EditRig
{
    static constexpr int rate = 44100;
    std::unique_ptr<WindowRig> rig;
    layer* current = nullptr;

    // `signal(k, c)` is sample k of channel c.
    EditRig(int channels, double seconds, const std::function<float(int, int)>& signal)
    {
        rig = std::make_unique<WindowRig>(QStringLiteral(KV_TEST_ROOT));
        (*rig)->resize(1280, 900);
        (*rig)->show();
        if (!QTest::qWaitForWindowExposed(rig->window.get(), 30000))
            qWarning("the window was not exposed");
        current = new layer();
        current->resample(rate, channels, 0);
        current->name = QStringLiteral("Signal");
        const int frames = int(seconds * rate);
        std::vector<float> data(size_t(frames) * channels);
        for (int k = 0; k < frames; ++k)
            for (int c = 0; c < channels; ++c)
                data[size_t(k) * channels + c] = signal(k, c);
        current->write(data.data(), 0, seconds);
        current->resetdirty();
        layersgui->alllayers = new layer();
        layersgui->alllayers->resample(rate, channels, 0);
        layersgui->alllayers->addchild(current);
        layersgui->mixlayer = new layer();
        layersgui->mixlayer->resample(rate, channels, 0);
        projectformat = {rate, channels, current->speakermask};
        if (!spectrumgui->bindlayer(0, layersgui->mixlayer) || !spectrumgui->bindlayer(1, current))
            qWarning("the layer was not bound");
        (*rig)->layerstate(true, true, false);
        QApplication::processEvents();
    }
    ~EditRig()
    {
        if (rig && rig->window)
            (*rig)->close();
        rig.reset();
        delete current;
    }
    MainWindow* window() const { return rig->window.get(); }
    GLChannel* view(int channel = 0) const { return spectrumgui->view(channel); }

    QPointF pixel(double t, double f, int channel = 0) const
    {
        const QRectF a = view(channel)->displayarea;
        return QPointF((t - a.x()) / a.width() * view(channel)->width(),
                       (f - a.y()) / a.height() * view(channel)->height());
    }
    void mouse(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons,
               int channel = 0) const
    {
        GLChannel* v = view(channel);
        QMouseEvent event(type, at, v->mapToGlobal(at), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(v, &event);
    }
    void mouse(QEvent::Type type, double t, double f, Qt::MouseButton button, Qt::MouseButtons buttons,
               int channel = 0) const
    {
        mouse(type, pixel(t, f, channel), button, buttons, channel);
    }
    // Hover at the start, press, move in `steps` steps and release at the
    // end; the pixels of both ends are taken before the drag, so that a drag
    // that moves the view moves the pointer as a hand would.
    void drag(double t0, double f0, double t1, double f1, int steps = 20, int channel = 0) const
    {
        const QPointF from = pixel(t0, f0, channel), to = pixel(t1, f1, channel);
        mouse(QEvent::MouseMove, from, Qt::NoButton, Qt::NoButton, channel);
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, channel);
        for (int i = 1; i <= steps; ++i)
            mouse(QEvent::MouseMove, from + (to - from) * i / steps, Qt::NoButton, Qt::LeftButton, channel);
        mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, channel);
    }
    // What the prompts titled `title` asked so far, as "title: text".
    QStringList prompts(const QString& title) const
    {
        QStringList list;
        for (const PromptRequest& r : rig->asked)
            if (r.title == title)
                list << r.title + ": " + r.text;
        return list;
    }
};

// A sine of `frequency` Hz at `amplitude`.
inline std::function<float(int, int)> sine(double frequency, float amplitude = 0.4f)
{
    return [=](int k, int) { return amplitude * float(std::sin(2 * M_PI * frequency * k / EditRig::rate)); };
}

// Presses the dialog's "Ok" button.
inline void pressok(QDialog* dialog)
{
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == "Ok")
            button->click();
}

inline QByteArray describe(const QRectF& r)
{
    return QString("(%1, %2, %3, %4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toUtf8();
}

// The spin box of a dialog with the given prefix.
template <typename Box>
Box* boxwithprefix(QWidget* dialog, const QString& prefix)
{
    for (Box* box : dialog->findChildren<Box*>())
        if (box->prefix() == prefix)
            return box;
    return nullptr;
}

// Answers the next "Select Area" dialog: notes what it offers (start, end,
// bottom, top) in `offered`, types `values` in the same order when given and
// presses Ok.
inline void answerselectarea(QList<double>* offered, const QList<double>& values = {})
{
    whendialog<QDialog>([=](QDialog* dialog) {
        const char* const prefixes[] = {"start: ", "end: ", "bottom: ", "top: "};
        for (int i = 0; i < 4; ++i) {
            auto* box = boxwithprefix<QDoubleSpinBox>(dialog, prefixes[i]);
            if (offered)
                *offered << box->value();
            if (i < values.size())
                box->setValue(values[i]);
        }
        pressok(dialog);
    });
}
