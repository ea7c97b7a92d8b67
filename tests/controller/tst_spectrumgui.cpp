// The spectrum controller with its real views, Buffers and layers: building
// and tearing down, binding layers of the project format, the display area
// through its slots, scroll bars, keys and wheel, and the parameters.
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalSpy>
#include <QSplitter>
#include <QWheelEvent>
#include <QtTest>
#include <cmath>
#include <memory>
#include <vector>

#include "app/mainwindow.h"
#include "app/qscrollbarext.h"
#include "controller/spectrumgui.h"
#include "core/buffer.h"
#include "core/layer.h"
#include "core/log.h"
#include "panels/layersgui.h"
#include "testsupport.h"
#include "view/glchannel.h"

namespace {

// A layer in the given format, holding `seconds` of a sine of `frequency` Hz
// (silence for 0 Hz) from `start` on, in every channel.
layer* makelayer(int rate, int channels, double start = 0, double seconds = 0,
                 double frequency = 0, float amplitude = 0.5f)
{
    auto* l = new layer();
    l->resample(rate, channels, 0);
    if (seconds > 0) {
        const qint64 frames = qint64(std::floor(seconds * rate + 0.5));
        std::vector<float> data(size_t(frames * channels));
        for (qint64 i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c)
                data[size_t(i * channels + c)] =
                    amplitude * float(std::sin(2 * M_PI * frequency * double(i) / rate));
        l->write(data.data(), start, seconds);
    }
    return l;
}

bool near(double a, double b)
{
    return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b));
}

bool near(const QRectF& a, const QRectF& b)
{
    return near(a.x(), b.x()) && near(a.y(), b.y()) && near(a.width(), b.width())
           && near(a.height(), b.height());
}

QByteArray text(const QRectF& r)
{
    return QString("(%1, %2, %3, %4)").arg(r.x(), 0, 'g', 12).arg(r.y(), 0, 'g', 12)
        .arg(r.width(), 0, 'g', 12).arg(r.height(), 0, 'g', 12).toUtf8();
}

#define COMPARE_AREA(actual, expected)                                                           \
    QVERIFY2(near(actual, expected), text(actual) + " != " + text(expected))

// A main window with the controller and the layer panel, and a project whose
// layers the test owns until the panel takes the containers.
struct Rig
{
    MainWindow window;
    SpectrumGui* gui = nullptr;
    LayersGui* panel = nullptr;
    std::vector<std::unique_ptr<layer>> layers;

    Rig()
    {
        window.resize(900, 700);
        gui = new SpectrumGui(&window);
        panel = new LayersGui(&window);
    }
    ~Rig()
    {
        delete gui;
        delete panel;
    }

    layer* own(layer* l)
    {
        layers.emplace_back(l);
        return l;
    }

    // The panel's two containers over the given layers, in the project format.
    layer* containers(const QList<layer*>& members)
    {
        layer* first = members.first();
        panel->alllayers = new layer();
        panel->alllayers->resample(first->samplerate, first->channels, first->speakermask);
        panel->mixlayer = new layer();
        panel->mixlayer->resample(first->samplerate, first->channels, first->speakermask);
        for (layer* l : members) {
            panel->alllayers->addchild(l);
            panel->mixlayer->addchild(l);
        }
        projectformat = {first->samplerate, first->channels, first->speakermask};
        return panel->mixlayer;
    }

    // Opens a project of one layer bound as the mix.
    layer* openproject(int rate, int channels, double start, double seconds)
    {
        layer* l = own(makelayer(rate, channels, start, seconds));
        layer* mix = containers({l});
        if (!gui->bindlayer(0, mix))
            return nullptr;
        return l;
    }

    QShortcut* shortcut(const QKeySequence& key)
    {
        for (QShortcut* s : window.findChildren<QShortcut*>())
            if (s->key() == key)
                return s;
        return nullptr;
    }

    void press(const QKeySequence& key)
    {
        QShortcut* s = shortcut(key);
        QVERIFY2(s, key.toString().toUtf8());
        emit s->activated();
    }
};

QComboBox* sizelist(SpectrumGui* gui, QWidget* parent)
{
    auto* list = new QComboBox(parent);
    for (int size = 64; size <= 65536; size *= 2)
        list->addItem(QString::number(size), size);
    QObject::connect(list, &QComboBox::currentIndexChanged, gui, &SpectrumGui::infftsize);
    QObject::connect(gui, &SpectrumGui::outfftsizeindex, list, &QComboBox::setCurrentIndex);
    return list;
}

} // namespace

class TestSpectrumGui : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        kvtestfolders();
        QVERIFY(loginit(2));
    }

    void cleanup()
    {
        selection = QRectF(0, 0, 0, 0);
        projectformat = ProjectFormat();
    }

    void construction()
    {
        Rig rig;
        SpectrumGui* gui = rig.gui;
        QVERIFY(gui->isRunning());
        QCOMPARE(gui->splitter->count(), 1);
        QVERIFY(gui->firstview);
        QVERIFY(gui->firstview->isHidden());
        QCOMPARE(gui->splitter->orientation(), Qt::Vertical);
        QCOMPARE(gui->timescrollbar->maximum(), 0);
        QCOMPARE(gui->freqscrollbar->minimum(), 0);
        QCOMPARE(gui->timescrollbar->orientation(), Qt::Horizontal);
        QCOMPARE(gui->freqscrollbar->orientation(), Qt::Vertical);
        QCOMPARE(gui->orientationbutton->toolTip(), QString("Orientation of Channels [o]"));
        // The controller's keys; the layer panel of the rig adds Shift+S, Up and Down.
        int controllerkeys = 0;
        for (QShortcut* s : rig.window.findChildren<QShortcut*>())
            if (s->key() != QKeySequence(Qt::SHIFT | Qt::Key_S) && s->key() != QKeySequence(Qt::Key_Up)
                && s->key() != QKeySequence(Qt::Key_Down))
                ++controllerkeys;
        QCOMPARE(controllerkeys, 13);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(slottable.buffer[i]);
            QVERIFY(!slottable.bound[i]);
        }
        QCOMPARE(gui->displayarea, QRectF(0, 0, 0, 0));
        QCOMPARE(selection, QRectF(0, 0, 0, 0));
        QCOMPARE(spectrumgui, gui);
    }

    void orientationtoggles()
    {
        Rig rig;
        rig.gui->orientationbutton->click();
        QCOMPARE(rig.gui->splitter->orientation(), Qt::Horizontal);
        QVERIFY(!rig.gui->verticalchannels);
        rig.gui->orientationbutton->click();
        QCOMPARE(rig.gui->splitter->orientation(), Qt::Vertical);
        QVERIFY(rig.gui->verticalchannels);
    }

    void teardownleavesnothingbehind()
    {
        const QStringList before = kvsessionfiles();
        {
            Rig rig;
            layer* a = rig.openproject(44100, 2, 0, 2);
            QVERIFY(a);
            QVERIFY(rig.gui->bindlayer(1, a));
            QVERIFY(a->keepsbefore());
            QVERIFY(slottable.bound[2]);
            QElapsedTimer clock;
            clock.start();
            delete rig.gui;
            rig.gui = nullptr;
            QVERIFY(clock.elapsed() < qint64(SpectrumGui::threadwaitms));
            for (int i = 0; i < 3; ++i) {
                QVERIFY(!slottable.buffer[i]);
                QVERIFY(!slottable.bound[i]);
            }
            QVERIFY(!spectrumgui);
        }
        QCOMPARE(kvsessionfiles(), before);
    }

    void emptyprojectteardown()
    {
        auto window = std::make_unique<MainWindow>();
        auto* gui = new SpectrumGui(window.get());
        QVERIFY(gui->isRunning());
        delete gui;
        QCOMPARE(window->findChildren<QShortcut*>().size(), 0);
    }

    void firstbindingopensproject()
    {
        Rig rig;
        QSignalSpy channels(rig.gui, &SpectrumGui::outchannels);
        QSignalSpy names(rig.gui, &SpectrumGui::outchanneldescription);
        QSignalSpy params(rig.gui, &SpectrumGui::outfftparam);
        layer* l = rig.openproject(44100, 2, 0, 10);
        QVERIFY(l);
        SpectrumGui* gui = rig.gui;
        QCOMPARE(gui->samplerate, 44100);
        QCOMPARE(gui->channels, 2);
        QCOMPARE(gui->speakermask, 0x3);
        QCOMPARE(gui->channelmask, 0x3);
        QCOMPARE(gui->splitter->count(), 2);
        QVERIFY(!gui->firstview->isHidden());
        QCOMPARE(gui->view(1)->channel, 1);
        QCOMPARE(channels.count(), 1);
        QCOMPARE(channels.at(0).at(0).toInt(), 2);
        QCOMPARE(names.count(), 2);
        QCOMPARE(names.at(0).at(1).toString(), QString("Front Left"));
        QCOMPARE(names.at(1).at(1).toString(), QString("Front Right"));
        // No window length chosen yet: the views and caches get the smallest.
        QCOMPARE(params.count(), 1);
        QCOMPARE(params.at(0).at(1).toInt(), 64);
        QCOMPARE(slottable.buffer[0]->boundlayer, rig.panel->mixlayer);
        QCOMPARE(slottable.bound[0], rig.panel->mixlayer);
        layer* clipboard = slottable.bound[2];
        QVERIFY(clipboard);
        QCOMPARE(clipboard->samplerate, 44100);
        QCOMPARE(clipboard->channels, 2);
        QCOMPARE(slottable.buffer[2]->boundlayer, clipboard);
        COMPARE_AREA(gui->displayarea, QRectF(0, 22050, 10, -22050));
        QCOMPARE(gui->view(1)->boundlayers[0], rig.panel->mixlayer);
        QCOMPARE(gui->firstview->boundlayers[2], clipboard);
        QCOMPARE(gui->timescrollbar->maximum(), 0);
        QCOMPARE(gui->freqscrollbar->pageStep(), 2205);
    }

    void projectviewextent_data()
    {
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QRectF>("area");
        QTest::addColumn<double>("cursor");
        QTest::newRow("from 0 s") << 0.0 << 30.0 << QRectF(0, 24000, 30, -24000) << 0.0;
        QTest::newRow("late start") << 5.0 << 3.0 << QRectF(5, 24000, 3, -24000) << 5.0;
        QTest::newRow("no audio yet") << 0.0 << 0.0 << QRectF(0, 24000, 10, -24000) << 0.0;
    }

    void projectviewextent()
    {
        QFETCH(double, start);
        QFETCH(double, seconds);
        QFETCH(QRectF, area);
        QFETCH(double, cursor);
        Rig rig;
        rig.gui->timecursor = 99;
        QVERIFY(rig.openproject(48000, 1, start, seconds));
        COMPARE_AREA(rig.gui->displayarea, area);
        QCOMPARE(rig.gui->timecursor, seconds > 0 ? cursor : 99.0);
    }

    void sixchannelnames()
    {
        Rig rig;
        QSignalSpy names(rig.gui, &SpectrumGui::outchanneldescription);
        QVERIFY(rig.openproject(44100, 6, 0, 1));
        const QStringList expected{"Front Left", "Front Right", "Front Center",
                                   "Low Frequency", "Back Left", "Back Right"};
        QCOMPARE(names.count(), 6);
        for (int c = 0; c < 6; ++c)
            QCOMPARE(names.at(c).at(1).toString(), expected[c]);
        QCOMPARE(rig.gui->splitter->count(), 6);
    }

    void refusedbindingchangesnothing_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::newRow("other rate") << 48000 << 2;
        QTest::newRow("other channel count") << 44100 << 1;
        QTest::newRow("more channels than a cache holds") << 44100 << 9;
    }

    void refusedbindingchangesnothing()
    {
        QFETCH(int, rate);
        QFETCH(int, channels);
        Rig rig;
        layer* a = rig.openproject(44100, 2, 0, 2);
        QVERIFY(rig.gui->bindlayer(1, a));
        QVERIFY(a->keepsbefore());
        layer* other = rig.own(makelayer(rate, channels, 0, 1));
        QSignalSpy bound(rig.gui, &SpectrumGui::outbindlayer);
        QSignalSpy repaint(rig.gui, &SpectrumGui::outupdategl);
        QVERIFY(!rig.gui->bindlayer(1, other));
        QVERIFY(a->keepsbefore());
        QVERIFY(!other->keepsbefore());
        QCOMPARE(slottable.bound[1], a);
        QCOMPARE(slottable.buffer[1]->boundlayer, a);
        QCOMPARE(rig.gui->samplerate, 44100);
        QCOMPARE(rig.gui->channels, 2);
        QCOMPARE(bound.count(), 0);
        QCOMPARE(repaint.count(), 0);
    }

    void unusableformatrefusedinemptyproject()
    {
        Rig rig;
        auto* none = rig.own(new layer());
        QVERIFY(!rig.gui->bindlayer(0, none));
        QCOMPARE(rig.gui->samplerate, 0);
        QCOMPARE(rig.gui->splitter->count(), 1);
        QVERIFY(!slottable.bound[2]);
        QVERIFY(!rig.gui->bindlayer(3, rig.own(makelayer(44100, 1))));
    }

    void rebindingsamelayeronlyrepaintsitsslot()
    {
        Rig rig;
        QVERIFY(rig.openproject(44100, 1, 0, 1));
        QSignalSpy area(rig.gui, &SpectrumGui::outdisplayarea);
        QSignalSpy repaint(rig.gui, &SpectrumGui::outupdategl);
        QVERIFY(rig.gui->bindlayer(0, rig.panel->mixlayer));
        QCOMPARE(area.count(), 1);
        QCOMPARE(area.at(0).at(2).toInt(), 0);
        QCOMPARE(repaint.count(), 0);
    }

    void unbindinglastlayerclosesproject()
    {
        Rig rig;
        QVERIFY(rig.openproject(44100, 2, 0, 30));
        QVERIFY(rig.gui->timescrollbar->maximum() == 0);
        rig.gui->indisplaylength(10);
        QCOMPARE(rig.gui->timescrollbar->maximum(), 200);
        selection = QRectF(1, 1000, 2, -500);
        const QStringList withclipboard = kvsessionfiles();
        QSignalSpy channels(rig.gui, &SpectrumGui::outchannels);
        QSignalSpy selected(rig.gui, &SpectrumGui::outselection);
        QSignalSpy toolreset(rig.gui, &SpectrumGui::outtoolreset);
        QVERIFY(rig.gui->bindlayer(0, nullptr));
        QCOMPARE(channels.count(), 1);
        QCOMPARE(channels.at(0).at(0).toInt(), 0);
        QCOMPARE(rig.gui->samplerate, 0);
        QCOMPARE(rig.gui->channelmask, 0);
        QCOMPARE(rig.gui->splitter->count(), 1);
        QVERIFY(rig.gui->firstview->isHidden());
        QVERIFY(!slottable.bound[2]);
        QCOMPARE(rig.gui->timescrollbar->maximum(), 0);
        QCOMPARE(rig.gui->freqscrollbar->minimum(), 0);
        QCOMPARE(selection, QRectF(0, 0, 0, 0));
        QCOMPARE(selected.count(), 1);
        QCOMPARE(toolreset.count(), 1);
        QCOMPARE(kvsessionfiles().size(), withclipboard.size() - 1);
        // Any format opens the next project.
        delete rig.panel->alllayers;
        delete rig.panel->mixlayer;
        layer* next = rig.own(makelayer(48000, 1, 0, 1));
        QVERIFY(rig.gui->bindlayer(0, rig.containers({next})));
        QCOMPARE(rig.gui->samplerate, 48000);
        QCOMPARE(rig.gui->splitter->count(), 1);
    }

    // Only the current layer keeps its frames for the history, from the
    // moment it becomes current, and becoming current copies nothing.
    void keptframesfollowthecurrentlayer()
    {
        Rig rig;
        layer* a = rig.own(makelayer(44100, 1, 0, 1.0));
        layer* b = rig.own(makelayer(44100, 1, 0, 2.5));
        QVERIFY(rig.gui->bindlayer(0, rig.containers({a, b})));
        const qint64 bytes = kvsessionbytes();
        QVERIFY(rig.gui->bindlayer(1, a));
        QVERIFY(a->keepsbefore() && !b->keepsbefore());
        QCOMPARE(a->beforeextent().length, 1.0);
        QVERIFY(rig.gui->bindlayer(1, b));
        QVERIFY(!a->keepsbefore() && b->keepsbefore());
        QCOMPARE(b->beforeextent().length, 2.5);
        QCOMPARE(kvsessionbytes(), bytes);
        QVERIFY(rig.gui->bindlayer(1, a));
        QVERIFY(a->keepsbefore() && !b->keepsbefore());
        QVERIFY(rig.gui->bindlayer(1, nullptr));
        QVERIFY(!a->keepsbefore() && !b->keepsbefore());
    }

    void smartcursor_data()
    {
        QTest::addColumn<double>("cursor");
        QTest::addColumn<double>("expected");
        QTest::newRow("before the layer moves to its start") << 3.0 << 12.0;
        QTest::newRow("inside the layer stays") << 13.0 << 13.0;
    }

    void smartcursor()
    {
        QFETCH(double, cursor);
        QFETCH(double, expected);
        Rig rig;
        layer* l = rig.openproject(44100, 1, 12, 8);
        rig.gui->insmartcursor(1);
        rig.gui->timecursor = cursor;
        QVERIFY(rig.gui->bindlayer(1, l));
        QCOMPARE(rig.gui->timecursor, expected);
    }

    void channelactive()
    {
        Rig rig;
        QVERIFY(rig.openproject(44100, 2, 0, 1));
        rig.gui->inchannelactive(1, false);
        QCOMPARE(rig.gui->channelmask, 0x1);
        QVERIFY(rig.gui->view(1)->isHidden());
        rig.gui->inchannelactive(1, false);
        QCOMPARE(rig.gui->channelmask, 0x1);
        rig.gui->inchannelactive(1, true);
        QCOMPARE(rig.gui->channelmask, 0x3);
        QVERIFY(!rig.gui->view(1)->isHidden());
        rig.gui->inchannelactive(5, false);
        rig.gui->inchannelactive(-1, false);
        QCOMPARE(rig.gui->channelmask, 0x3);
    }

    void cleanclipboard()
    {
        Rig rig;
        QVERIFY(rig.openproject(44100, 1, 0, 5));
        layer* clipboard = slottable.bound[2];
        std::vector<float> data(44100, 0.25f);
        clipboard->write(data.data(), 2.0, 1.0);
        QSignalSpy area(rig.gui, &SpectrumGui::outdisplayarea);
        rig.gui->cleanclipboard();
        QCOMPARE(clipboard->length, 0.0);
        QCOMPARE(area.count(), 1);
        const QRectF update = area.at(0).at(1).toRectF();
        QCOMPARE(update.x(), 2.0);
        QCOMPARE(update.width(), 1.0);
        QCOMPARE(area.at(0).at(2).toInt(), 2);
    }

    void displayareasignals()
    {
        Rig rig;
        QVERIFY(rig.openproject(44100, 1, 0, 60));
        QSignalSpy start(rig.gui, &SpectrumGui::outdisplaystart);
        QSignalSpy end(rig.gui, &SpectrumGui::outdisplayend);
        QSignalSpy range(rig.gui, &SpectrumGui::outdisplayrange);
        QSignalSpy low(rig.gui, &SpectrumGui::outdisplaylow);
        QSignalSpy area(rig.gui, &SpectrumGui::outdisplayarea);
        QSignalSpy timebar(rig.gui->timescrollbar, &QScrollBar::valueChanged);
        rig.gui->indisplayarea(QRectF(3.7, 10000, 10, -5000));
        QCOMPARE(start.at(0).at(0).toDouble(), 3.7);
        QCOMPARE(end.at(0).at(0).toDouble(), 13.7);
        QCOMPARE(range.at(0).at(0).toDouble(), 5000.0);
        QCOMPARE(low.at(0).at(0).toDouble(), 5000.0);
        QCOMPARE(area.count(), 1);
        QCOMPARE(area.at(0).at(1).toRectF(), QRectF(0, 0, 0, 0));
        QCOMPARE(area.at(0).at(2).toInt(), 3);
        // The bars follow without reporting back.
        QCOMPARE(timebar.count(), 0);
        QCOMPARE(rig.gui->timescrollbar->value(), 37);
        QCOMPARE(rig.gui->timescrollbar->maximum(), 500);
        QCOMPARE(rig.gui->freqscrollbar->value(), -500);
        COMPARE_AREA(rig.gui->displayarea, QRectF(3.7, 10000, 10, -5000));
        // Not finite: refused, nothing sent.
        rig.gui->indisplayarea(QRectF(std::nan(""), 0, 1, -1));
        QCOMPARE(area.count(), 1);
        COMPARE_AREA(rig.gui->displayarea, QRectF(3.7, 10000, 10, -5000));
    }

    void scrollbarsmovethearea()
    {
        Rig rig;
        QVERIFY(rig.openproject(44100, 1, 0, 60));
        rig.gui->indisplayarea(QRectF(0, 10000, 10, -1000));
        rig.gui->timescrollbar->setValue(37);
        COMPARE_AREA(rig.gui->displayarea, QRectF(3.7, 10000, 10, -1000));
        rig.gui->freqscrollbar->setValue(rig.gui->freqscrollbar->minimum());
        COMPARE_AREA(rig.gui->displayarea, QRectF(3.7, 22050, 10, -1000));
        rig.gui->freqscrollbar->setValue(0);
        COMPARE_AREA(rig.gui->displayarea, QRectF(3.7, 1000, 10, -1000));
    }

    void scrollbarwheelzooms_data()
    {
        QTest::addColumn<bool>("timebar");
        QTest::addColumn<int>("delta");
        QTest::addColumn<QRectF>("expected");
        QTest::newRow("time in") << true << 120 << QRectF(21, 10000, 13, -3000);
        QTest::newRow("time out") << true << -120 << QRectF(19, 10000, 17, -3000);
        QTest::newRow("frequency in") << false << 120 << QRectF(20, 9800, 15, -2600);
        QTest::newRow("frequency out") << false << -120 << QRectF(20, 10200, 15, -3400);
    }

    void scrollbarwheelzooms()
    {
        QFETCH(bool, timebar);
        QFETCH(int, delta);
        QFETCH(QRectF, expected);
        Rig rig;
        QVERIFY(rig.openproject(44100, 1, 0, 60));
        rig.gui->indisplayarea(QRectF(20, 10000, 15, -3000));
        QScrollBarExt* bar = timebar ? rig.gui->timescrollbar : rig.gui->freqscrollbar;
        QSignalSpy repaint(rig.gui, &SpectrumGui::outupdategl);
        const QPointF at(2, 2);
        QWheelEvent wheel(at, bar->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(bar, &wheel);
        COMPARE_AREA(rig.gui->displayarea, expected);
        QCOMPARE(repaint.count(), 1);
    }

    void panzoomkeys_data()
    {
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QRectF>("expected");
        // All rows start from (10, 10000, 40, -4000).
        QTest::newRow("Shift+Left") << QKeySequence(Qt::SHIFT | Qt::Key_Left) << QRectF(9, 10000, 40, -4000);
        QTest::newRow("Shift+Right") << QKeySequence(Qt::SHIFT | Qt::Key_Right) << QRectF(11, 10000, 40, -4000);
        QTest::newRow("Shift+Up") << QKeySequence(Qt::SHIFT | Qt::Key_Up) << QRectF(10, 10100, 40, -4000);
        QTest::newRow("Shift+Down") << QKeySequence(Qt::SHIFT | Qt::Key_Down) << QRectF(10, 9900, 40, -4000);
        QTest::newRow("Ctrl+Left") << QKeySequence(Qt::CTRL | Qt::Key_Left)
                                   << QRectF(10 - 40.0 / 15, 10000, 40 + 80.0 / 15, -4000);
        QTest::newRow("Ctrl+Right") << QKeySequence(Qt::CTRL | Qt::Key_Right)
                                    << QRectF(10 + 40.0 / 15, 10000, 40 - 80.0 / 15, -4000);
        QTest::newRow("Ctrl+Up") << QKeySequence(Qt::CTRL | Qt::Key_Up)
                                 << QRectF(10, 10000 - 4000.0 / 15, 40, -4000 + 8000.0 / 15);
        QTest::newRow("Ctrl+Down") << QKeySequence(Qt::CTRL | Qt::Key_Down)
                                   << QRectF(10, 10000 + 4000.0 / 15, 40, -4000 - 8000.0 / 15);
    }

    void panzoomkeys()
    {
        QFETCH(QKeySequence, key);
        QFETCH(QRectF, expected);
        Rig rig;
        QVERIFY(rig.openproject(44100, 1, 0, 100));
        rig.gui->indisplayarea(QRectF(10, 10000, 40, -4000));
        QSignalSpy repaint(rig.gui, &SpectrumGui::outupdategl);
        rig.press(key);
        COMPARE_AREA(rig.gui->displayarea, expected);
        QCOMPARE(repaint.count(), 1);
    }

    void timecursorkeys()
    {
        Rig rig;
        QVERIFY(rig.openproject(44100, 1, 0, 60));
        rig.gui->indisplayarea(QRectF(0, 10000, 10, -4000));
        QSignalSpy cursor(rig.gui, &SpectrumGui::outdevicecursor);
        rig.press(QKeySequence(Qt::Key_Right));
        QVERIFY(near(rig.gui->timecursor, 0.1));
        QCOMPARE(rig.gui->currenttime, rig.gui->timecursor);
        QCOMPARE(cursor.count(), 1);
        QVERIFY(near(cursor.at(0).at(0).toDouble(), 0.1));
        // The area follows once the cursor enters its last hundredth.
        for (int i = 0; i < 99; ++i)
            rig.press(QKeySequence(Qt::Key_Right));
        QVERIFY(near(rig.gui->timecursor, 10.0));
        QVERIFY(near(rig.gui->displayarea.x(), 0.1));
        rig.press(QKeySequence(Qt::Key_Left));
        QVERIFY(near(rig.gui->timecursor, 9.9));
        QVERIFY(near(rig.gui->displayarea.x(), 0.1));
        rig.gui->timecursor = 0.05;
        rig.press(QKeySequence(Qt::Key_Left));
        QVERIFY(near(rig.gui->timecursor, -0.05));
        QVERIFY(near(rig.gui->displayarea.x(), 0.0)); // clamped at the project start
    }

    void resetsandzoomselected()
    {
        Rig rig;
        layer* a = rig.own(makelayer(44100, 1, 2, 6));
        layer* b = rig.own(makelayer(44100, 1, 20, 10));
        QVERIFY(rig.gui->bindlayer(0, rig.containers({a, b})));
        COMPARE_AREA(rig.gui->displayarea, QRectF(2, 22050, 28, -22050));
        rig.gui->indisplayarea(QRectF(10, 9000, 5, -1000));
        rig.gui->inpanreset();
        COMPARE_AREA(rig.gui->displayarea, QRectF(2, 1000, 5, -1000));
        rig.gui->inzoomreset();
        COMPARE_AREA(rig.gui->displayarea, QRectF(2, 22050, 28, -22050));
        rig.gui->indisplayarea(QRectF(10, 9000, 5, -1000));
        rig.gui->insmartcursor(1);
        rig.gui->timecursor = 0;
        QVERIFY(rig.gui->bindlayer(1, b));
        rig.gui->timecursor = 0;
        rig.gui->inzoomselected();
        COMPARE_AREA(rig.gui->displayarea, QRectF(20, 9000, 10, -1000));
        QCOMPARE(rig.gui->timecursor, 20.0);
    }

    void edgeboxes()
    {
        Rig rig;
        QVERIFY(rig.openproject(44100, 1, 0, 60));
        rig.gui->indisplayarea(QRectF(2, 5000, 8, -2000));
        QSignalSpy area(rig.gui, &SpectrumGui::outdisplayarea);
        rig.gui->indisplaystart(2.0);
        rig.gui->indisplayhigh(5000.0);
        rig.gui->indisplayrange(2000.0);
        QCOMPARE(area.count(), 0);
        rig.gui->indisplayend(1.0);
        COMPARE_AREA(rig.gui->displayarea, QRectF(0.999, 5000, 0.001, -2000));
        rig.gui->indisplaylength(4);
        COMPARE_AREA(rig.gui->displayarea, QRectF(0.999, 5000, 4, -2000));
        rig.gui->indisplaylow(6000);
        COMPARE_AREA(rig.gui->displayarea, QRectF(0.999, 6001, 4, -1));
        QCOMPARE(area.count(), 3);
    }

    void transformparameters()
    {
        Rig rig;
        QVERIFY(rig.openproject(44100, 1, 0, 5));
        QSignalSpy params(rig.gui, &SpectrumGui::outfftparam);
        // Before a window length is chosen, the others are only stored.
        rig.gui->inffttype(2);
        rig.gui->infftsubwin(2);
        QCOMPARE(params.count(), 0);
        QCOMPARE(rig.gui->ffttype, 2);
        QVERIFY(rig.gui->fftsubwin);

        QComboBox* sizes = sizelist(rig.gui, &rig.window);
        sizes->setCurrentIndex(6);
        QCOMPARE(rig.gui->fftsize, 4096);
        QCOMPARE(rig.gui->fftsizeindex, 6);
        QCOMPARE(params.count(), 1);
        QCOMPARE(params.at(0).at(1).toInt(), 4096);
        QCOMPARE(slottable.buffer[0]->fftsize, 4096);
        QCOMPARE(rig.gui->firstview->fftsize, 4096);

        // Entries that are no window length are clamped as the caches would.
        sizes->addItem("odd", 3000);
        sizes->setCurrentIndex(11);
        QCOMPARE(rig.gui->fftsize, 2048);
        sizes->addItem("none", 0);
        sizes->setCurrentIndex(12);
        QCOMPARE(rig.gui->fftsize, 2048);
        QCOMPARE(rig.gui->fftsizeindex, 12);

        QComboBox overlaps(&rig.window);
        for (int v : {2, 4, 8, 16, 1, 32, 12})
            overlaps.addItem(QString::number(v), v);
        connect(&overlaps, &QComboBox::currentIndexChanged, rig.gui, &SpectrumGui::infftoverlap);
        overlaps.setCurrentIndex(2);
        QCOMPARE(rig.gui->fftoverlap, 8);
        overlaps.setCurrentIndex(4);
        QCOMPARE(rig.gui->fftoverlap, 2);
        overlaps.setCurrentIndex(6);
        QCOMPARE(rig.gui->fftoverlap, 8);
        overlaps.setCurrentIndex(5);
        QCOMPARE(rig.gui->fftoverlap, 16);
        rig.gui->inffttype(9);
        QCOMPARE(rig.gui->ffttype, 4);
        QCOMPARE(params.last().at(0).toInt(), 4);
        QCOMPARE(params.last().at(2).toInt(), 16);
    }

    void pagekeysstepthesizelist_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("up");
        QTest::addColumn<int>("expected");
        QTest::newRow("up") << 5 << true << 6;
        QTest::newRow("up at the top") << 10 << true << 10;
        QTest::newRow("down") << 5 << false << 4;
        QTest::newRow("down at the bottom") << 0 << false << 0;
    }

    void pagekeysstepthesizelist()
    {
        QFETCH(int, index);
        QFETCH(bool, up);
        QFETCH(int, expected);
        Rig rig;
        QComboBox* sizes = sizelist(rig.gui, &rig.window);
        sizes->setCurrentIndex(index);
        if (index == 0)
            emit sizes->currentIndexChanged(0);
        QSignalSpy step(rig.gui, &SpectrumGui::outfftsizeindex);
        rig.press(QKeySequence(up ? Qt::Key_PageUp : Qt::Key_PageDown));
        QCOMPARE(step.count(), 1);
        QCOMPARE(step.at(0).at(0).toInt(), expected);
        QCOMPARE(rig.gui->fftsizeindex, expected);
        QCOMPARE(rig.gui->fftsize, 64 << expected);
    }

    void displayparameters()
    {
        Rig rig;
        QVERIFY(rig.openproject(44100, 2, 0, 1));
        SpectrumGui* gui = rig.gui;
        QSignalSpy gammareal(gui, qOverload<double>(&SpectrumGui::outgamma));
        QSignalSpy gammatenths(gui, qOverload<int>(&SpectrumGui::outgamma));
        gui->ingamma(4.56);
        QCOMPARE(gui->gamma, 45);
        QCOMPARE(gammatenths.last().at(0).toInt(), 45);
        QCOMPARE(gui->view(1)->gamma, 45);
        gui->ingamma(45);
        QCOMPARE(gammareal.last().at(0).toDouble(), 4.5);
        gui->ingamma(std::nan(""));
        QCOMPARE(gui->gamma, 45);
        // A view's change reaches the controller and every other view.
        emit gui->firstview->outgamma(33);
        QCOMPARE(gui->gamma, 33);
        emit gui->view(1)->outmultiplier(12);
        QCOMPARE(gui->multiplier, 12);
        QCOMPARE(gui->firstview->mult, 12);

        QSignalSpy size(gui, &SpectrumGui::outdispsize);
        QSignalSpy angle(gui, &SpectrumGui::outdispangle);
        QSignalSpy disp(gui, &SpectrumGui::outdisplacement);
        gui->indisplacement(QPointF(3, 450));
        QCOMPARE(gui->displacement, QPointF(3, 90));
        QCOMPARE(size.last().at(0).toDouble(), 3.0);
        QCOMPARE(angle.last().at(0).toDouble(), 90.0);
        QCOMPARE(disp.last().at(0).toPointF(), QPointF(3, 90));
        QCOMPARE(gui->view(1)->disp, QPointF(3, 90));
        gui->indisplacement(QPointF(1, -30));
        QCOMPARE(gui->displacement, QPointF(1, -30));
        gui->indispreset();
        QCOMPARE(gui->displacement, QPointF(0, 180));
        const int sent = disp.count();
        gui->indispangle(180.4);
        gui->indispsize(0.3);
        QCOMPARE(disp.count(), sent);
        gui->indispangle(370);
        QCOMPARE(gui->displacement, QPointF(0, 10));

        gui->inzebra(7);
        gui->ingrid(1);
        gui->infiltering(0);
        gui->inphase(1);
        QCOMPARE(gui->view(1)->zebra, 7);
        QCOMPARE(gui->view(1)->grid, 1);
        QCOMPARE(gui->view(1)->filt, 0);
        QCOMPARE(gui->view(1)->phase, 1);
        gui->insnap(true);
        QCOMPARE(gui->snap, 1);
        QCOMPARE(gui->firstview->snap, 1);
        gui->insnap(false);
        QCOMPARE(gui->snap, 0);
    }

    void volume_data()
    {
        QTest::addColumn<int>("dial");
        QTest::addColumn<float>("gain");
        QTest::newRow("0 dB") << 0 << 1.0f;
        QTest::newRow("+6") << 6 << 2.0f;
        QTest::newRow("-6") << -6 << 0.5f;
        QTest::newRow("-12") << -12 << 0.25f;
    }

    void volume()
    {
        QFETCH(int, dial);
        QFETCH(float, gain);
        Rig rig;
        rig.gui->involume(dial);
        QCOMPARE(rig.gui->volumevalue, dial);
        QCOMPARE(rig.gui->volume, gain);
    }

    void escape()
    {
        Rig rig;
        layer* a = rig.openproject(44100, 1, 0, 1);
        QVERIFY(rig.gui->bindlayer(1, a));
        QSignalSpy toolreset(rig.gui, &SpectrumGui::outtoolreset);
        rig.gui->panzoommode = 3;
        rig.press(QKeySequence(Qt::Key_Escape));
        QCOMPARE(toolreset.count(), 1);
        QCOMPARE(slottable.bound[1], a);
        rig.gui->panzoommode = -1;
        // Neither a mode nor full screen: the current layer is cleared.
        rig.press(QKeySequence(Qt::Key_Escape));
        QVERIFY(!slottable.bound[1]);
        QCOMPARE(toolreset.count(), 1);
    }

    void escapeleavesfullscreen()
    {
        Rig rig;
        rig.window.show();
        rig.window.on_fullscreen();
        QVERIFY(rig.window.isFullScreen());
        rig.press(QKeySequence(Qt::Key_Escape));
        QVERIFY(!rig.window.isFullScreen());
    }
};

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    TestSpectrumGui test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_spectrumgui.moc"
