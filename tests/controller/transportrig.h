#pragma once
// The controller with its real Buffers, device thread and layer container,
// the six transport actions and device choices wired to it as the shell wires
// them, and every message box answered (and noted) by the test.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <QPluginLoader>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <memory>

#include "app/mainwindow.h"
#include "app/prompt.h"
#include "controller/spectrumgui.h"
#include "core/buffer.h"
#include "core/layer.h"
#include "core/layerhelpers.h"
#include "core/log.h"
#include "panels/layersgui.h"
#include "sdk/interfaces.h"
#include "testsupport.h"

// `seconds` of a sine of `frequency` Hz at `amplitude` in every channel, from `start` on.
inline layer* tonelayer(int rate, int channels, double start, double seconds, double frequency,
                        float amplitude = 0.5f)
{
    return makelayer(rate, channels, start, int(std::lround(seconds * rate)), [=](int k, int) {
        return amplitude * float(std::sin(2 * M_PI * frequency * k / rate));
    });
}

// What every transport test sets up once: private folders, the session log
// and the meta-types that cross into the device thread.
inline bool transporttestsetup()
{
    kvtestfolders();
    registerlayermetatype();
    registerinterfacetypes();
    return loginit(2);
}

struct TransportRig
{
    MainWindow* window = nullptr;
    SpectrumGui* gui = nullptr;
    LayersGui* panel = nullptr;
    QComboBox* sizes = nullptr;
    QAction* actions[6] = {}; // by mode + 1: rewind, play, from start, loop, clipboard, record
    QList<PromptRequest> asked;
    QList<layer*> layers; // owned

    TransportRig()
    {
        setpromptanswerer([this](const PromptRequest& r) {
            asked << r;
            return QMessageBox::Ok;
        });
        window = new MainWindow();
        window->resize(800, 600);
        gui = new SpectrumGui(window);
        panel = new LayersGui(window);
        sizes = new QComboBox(window);
        for (int size = 64; size <= 65536; size *= 2)
            sizes->addItem(QString::number(size), size);
        QObject::connect(sizes, &QComboBox::currentIndexChanged, gui, &SpectrumGui::infftsize);
        sizes->setCurrentIndex(6); // 4096
        for (int mode = -1; mode <= 4; ++mode) {
            auto* a = new QAction(QStringLiteral("mode %1").arg(mode), window);
            a->setData(mode);
            QObject::connect(a, &QAction::triggered, gui, &SpectrumGui::indevicetrig);
            actions[mode + 1] = a;
        }
    }
    ~TransportRig()
    {
        delete gui;
        delete panel;
        delete window;
        qDeleteAll(layers);
        setpromptanswerer({});
    }

    QAction* action(int mode) const { return actions[mode + 1]; }

    // Makes `l` a layer of the project: the first one fixes the format of
    // the containers. As the current layer it is bound to slot 1, otherwise
    // it joins the mix, which is bound to slot 0.
    bool add(layer* l, bool current)
    {
        layers << l;
        if (!panel->alllayers) {
            panel->alllayers = new layer();
            panel->alllayers->resample(l->samplerate, l->channels, l->speakermask);
            panel->mixlayer = new layer();
            panel->mixlayer->resample(l->samplerate, l->channels, l->speakermask);
        }
        panel->alllayers->addchild(l);
        if (current)
            return gui->bindlayer(1, l);
        panel->mixlayer->addchild(l);
        return gui->bindlayer(0, panel->mixlayer);
    }

    // Chooses entry `description` of `device` as the shell's device menu does.
    void choose(DeviceInterface* device, const QString& description, bool record)
    {
        QAction a(description);
        a.setData(QVariant::fromValue(device));
        QObject::connect(&a, &QAction::triggered, gui,
                         record ? &SpectrumGui::indevicerecord : &SpectrumGui::indeviceplay);
        a.trigger();
    }

    // Unbinds everything, which closes the project and with it the devices,
    // and waits until the device thread has done so.
    bool closeproject()
    {
        gui->bindlayer(1, nullptr);
        gui->bindlayer(0, nullptr);
        return gui->waitdevice(30000);
    }

    // Waits until the run has ended by itself and the device thread is back.
    bool idle(int ms = 30000)
    {
        return QTest::qWaitFor([this] { return gui->transportmode == -1; }, ms) && gui->stopflag()
            && gui->waitdevice(ms);
    }
};

// The history entries the controller pushes; their chunks belong to the
// receiver, here the spy, which deletes them.
struct BackupSpy : QSignalSpy
{
    explicit BackupSpy(SpectrumGui* gui) : QSignalSpy(gui, &SpectrumGui::outbackuplayer) {}
    ~BackupSpy()
    {
        for (const QList<QVariant>& e : *this) {
            delete e.at(3).value<layer*>();
            delete e.at(4).value<layer*>();
        }
    }
    layer* before(int i) const { return at(i).at(3).value<layer*>(); }
    layer* after(int i) const { return at(i).at(4).value<layer*>(); }
};

inline QString sessionlog()
{
    QFile file(logfilepath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll().replace('\0', QByteArray()));
}

// The device cursor positions reported while a run went on.
inline QList<double> runcursor(const QSignalSpy& spy)
{
    QList<double> times;
    for (const QList<QVariant>& e : spy)
        if (e.at(2).toBool())
            times << e.at(0).toDouble();
    return times;
}

// Loads a plugin by path and initialises it as the shell does.
inline DeviceInterface* loaddevice(QPluginLoader& loader, const QString& path)
{
    loader.setFileName(path);
    auto* device = qobject_cast<DeviceInterface*>(loader.instance());
    if (device && !device->initialize(path, nullptr))
        return nullptr;
    return device;
}

// The transport needs no drawing: these tests run on the offscreen platform
// without a display, so that no OpenGL driver is loaded and the leak check
// at exit stays on. The views then find no OpenGL and say so in a box, which
// is closed here.
#define KV_HEADLESS_TEST_MAIN(TestClass)                                                        \
    int main(int argc, char** argv)                                                             \
    {                                                                                           \
        qunsetenv("DISPLAY");                                                                   \
        qputenv("QT_QPA_PLATFORM", "offscreen");                                               \
        QApplication app(argc, argv);                                                           \
        QTimer closer;                                                                          \
        QObject::connect(&closer, &QTimer::timeout, [] {                                        \
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))      \
                box->done(QMessageBox::Ok);                                                     \
        });                                                                                     \
        closer.start(50);                                                                       \
        TestClass test;                                                                         \
        return QTest::qExec(&test, argc, argv);                                                 \
    }
