#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>

#include "plugins/filters/filterhost.h"

using namespace filtertest;

// The channel mixer loaded from the installation root and run as the host
// runs it on a two-channel layer of one second at 8000 Hz (window 256,
// overlap 4): a sum of sines in channel 0, noise in channel 1.
class TestRoutematrix : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void identityAndDialog();
    void identityWritesBackUnchanged();
    void swapAndSum_data();
    void swapAndSum();
    void switchedOffChannels();
    void previewFillsTheScratch();
    void selectionLimitsTheArea();
    void noChannelSwitchedOn();
    void dialogGoneWithTheWindow(); // last: it unloads the plugin

private:
    // Sets weight (target, source) in percent in the dialog.
    static void setweight(QDialog* dialog, int target, int source, int percent);
    static QSlider* slider(QDialog* dialog, int target, int source);
    bool run(int channelmask) { return rig.run(filter, channelmask); }

    LoadedFilter loaded;
    FilterInterface* filter = nullptr;
    SlotRig rig;
    std::vector<float> a, b; // the two channels as they were
};

constexpr int rate = 8000;
constexpr int length = rate;
// The area's frames end at the layer's ends, so the first and last half
// window of samples also hold frames that are not in it.
constexpr int edge = 128;

static std::vector<float> inner(const std::vector<float>& v)
{
    return std::vector<float>(v.begin() + edge, v.end() - edge);
}

QSlider* TestRoutematrix::slider(QDialog* dialog, int target, int source)
{
    auto* tabs = dialog->findChild<QTabWidget*>();
    return tabs->widget(target)->findChildren<QSlider*>().at(source);
}

void TestRoutematrix::setweight(QDialog* dialog, int target, int source, int percent)
{
    slider(dialog, target, source)->setValue(percent);
}


void TestRoutematrix::initTestCase()
{
    hostfolders("routematrix");
    filter = loaded.load(QStringLiteral("routematrix"));
    QVERIFY(filter);
    a = sines(length, rate);
    b = noise(length, 7, 0.3f);
}

void TestRoutematrix::init()
{
    forget();
    rig.setup(interleave(a, b), rate, 2, 256, 4);
    // Every test starts from the identity matrix.
    if (filter) {
        answer = [](QDialog* dialog) {
            click(dialog, QStringLiteral("Reset"));
            return int(QDialog::Rejected);
        };
        rig.fill(*filter, 0b11);
        filter->process();
        forget();
    }
}

void TestRoutematrix::cleanupTestCase()
{
    forget();
}

void TestRoutematrix::identityAndDialog()
{
    QCOMPARE(filter->name, QString("Mix Channels"));
    QCOMPARE(filter->category, QString("Mix"));
    QCOMPARE(filter->label, QString("Channels"));

    answer = [](QDialog* dialog) {
        [&] {
            QCOMPARE(dialog->windowTitle(), QString("Mix Channels"));
            QVERIFY(dialog->isModal());
            auto* tabs = dialog->findChild<QTabWidget*>();
            QVERIFY(tabs);
            QCOMPARE(tabs->count(), 8);
            QCOMPARE(tabs->toolTip(), QString("Target Channel"));
            for (int t = 0; t < 8; ++t) {
                QCOMPARE(tabs->tabText(t), QString("Channel #%1").arg(t));
                const auto sliders = tabs->widget(t)->findChildren<QSlider*>();
                const auto spins = tabs->widget(t)->findChildren<QSpinBox*>();
                const auto labels = tabs->widget(t)->findChildren<QLabel*>();
                QCOMPARE(sliders.size(), 8);
                QCOMPARE(spins.size(), 8);
                QCOMPARE(labels.size(), 8);
                // The identity, captions counted from 0.
                for (int s = 0; s < 8; ++s) {
                    QCOMPARE(sliders[s]->value(), s == t ? 100 : 0);
                    QCOMPARE(spins[s]->value(), s == t ? 100 : 0);
                    QCOMPARE(labels[s]->text(), QString("Chan #%1").arg(s));
                }
            }
            // Slider and spin box of a cell hold one value.
            auto* cell = tabs->widget(3)->findChildren<QSlider*>().at(5);
            auto* number = tabs->widget(3)->findChildren<QSpinBox*>().at(5);
            cell->setValue(42);
            QCOMPARE(number->value(), 42);
            number->setValue(17);
            QCOMPARE(cell->value(), 17);
            QStringList buttons;
            for (QPushButton* button : dialog->findChildren<QPushButton*>())
                buttons.append(button->text());
            QCOMPARE(buttons, QStringList({"Reset", "Preview...", "Apply"}));
            click(dialog, "Reset");
            QCOMPARE(cell->value(), 0);
        }();
        return int(QDialog::Rejected);
    };
    const std::vector<float> before = rig.current(0, 0, length);
    QVERIFY(!run(0b11));
    QCOMPARE(seen.dialogs, 1);
    QCOMPARE(rig.current(0, 0, length), before);
    QCOMPARE(rig.layers[2]->length, 0.0);
}

void TestRoutematrix::identityWritesBackUnchanged()
{
    applywith(nullptr);
    QVERIFY(run(0b11));
    QVERIFY(maxdiff(rig.current(0, 0, length), a) < 1e-4f);
    QVERIFY(maxdiff(rig.current(1, 0, length), b) < 1e-4f);
    // The scratch is empty again.
    QCOMPARE(rig.layers[2]->length, 0.0);
}

void TestRoutematrix::swapAndSum_data()
{
    QTest::addColumn<QList<int>>("weights"); // (0,0), (0,1), (1,0), (1,1)
    QTest::addColumn<QList<float>>("mix");   // a and b into channel 0, then channel 1
    QTest::newRow("swap") << QList<int>{0, 100, 100, 0} << QList<float>{0, 1, 1, 0};
    QTest::newRow("sum, not normalised") << QList<int>{100, 100, 0, 100} << QList<float>{1, 1, 0, 1};
    QTest::newRow("halves") << QList<int>{50, 50, 50, 50} << QList<float>{0.5f, 0.5f, 0.5f, 0.5f};
}

void TestRoutematrix::swapAndSum()
{
    QFETCH(QList<int>, weights);
    QFETCH(QList<float>, mix);
    applywith([weights](QDialog* dialog) {
        setweight(dialog, 0, 0, weights[0]);
        setweight(dialog, 0, 1, weights[1]);
        setweight(dialog, 1, 0, weights[2]);
        setweight(dialog, 1, 1, weights[3]);
    });
    QVERIFY(run(0b11));
    std::vector<float> want0(length), want1(length);
    for (int i = 0; i < length; ++i) {
        want0[i] = mix[0] * a[i] + mix[1] * b[i];
        want1[i] = mix[2] * a[i] + mix[3] * b[i];
    }
    QVERIFY(maxdiff(inner(rig.current(0, 0, length)), inner(want0)) < 2e-4f);
    QVERIFY(maxdiff(inner(rig.current(1, 0, length)), inner(want1)) < 2e-4f);
}

void TestRoutematrix::switchedOffChannels()
{
    // Only channel 0 is on: channel 1 still feeds it with its hidden weight,
    // but is neither computed nor committed.
    bool shown[2] = {true, true};
    bool tabon[2] = {true, true};
    applywith([&](QDialog* dialog) {
        setweight(dialog, 0, 1, 50);
        setweight(dialog, 1, 0, 100);
        tabon[0] = dialog->findChild<QTabWidget*>()->isTabEnabled(0);
        tabon[1] = dialog->findChild<QTabWidget*>()->isTabEnabled(1);
        shown[0] = !slider(dialog, 0, 0)->isHidden();
        shown[1] = !slider(dialog, 0, 1)->isHidden();
    });
    QVERIFY(run(0b01));
    QVERIFY(tabon[0] && !tabon[1]);
    QVERIFY(shown[0] && !shown[1]);
    std::vector<float> want0(length);
    for (int i = 0; i < length; ++i)
        want0[i] = a[i] + 0.5f * b[i];
    QVERIFY(maxdiff(inner(rig.current(0, 0, length)), inner(want0)) < 2e-4f);
    QCOMPARE(rig.current(1, 0, length), b);
}

void TestRoutematrix::previewFillsTheScratch()
{
    int checked = 0;
    onpreview = [&] {
        // Channel 1's spectrum in the scratch's channel 0, and the reverse.
        for (int f : {3, 60, 120})
            for (int bin : {0, 17, 64, 128}) {
                QCOMPARE(getbincb(2, 0, f, bin), getbincb(1, 1, f, bin));
                QCOMPARE(getbincb(2, 1, f, bin), getbincb(1, 0, f, bin));
                ++checked;
            }
    };
    answer = [](QDialog* dialog) {
        setweight(dialog, 0, 0, 0);
        setweight(dialog, 0, 1, 100);
        setweight(dialog, 1, 0, 100);
        setweight(dialog, 1, 1, 0);
        click(dialog, "Preview...");
        // A second preview starts from an empty scratch and gives the same.
        click(dialog, "Preview...");
        click(dialog, "Reset");
        return int(QDialog::Rejected);
    };
    const std::vector<float> before = rig.current(0, 0, length);
    QVERIFY(!run(0b11));
    QCOMPARE(seen.previews, 2);
    QCOMPARE(checked, 24);
    QCOMPARE(rig.current(0, 0, length), before);

    // "Reset" brought the identity back.
    applywith(nullptr);
    QVERIFY(run(0b11));
    QVERIFY(maxdiff(rig.current(0, 0, length), a) < 1e-4f);
}

void TestRoutematrix::selectionLimitsTheArea()
{
    // 0.25 s to 0.5 s over the whole band.
    rig.select(QRectF(0.25, rate / 2, 0.25, -rate / 2));
    applywith([](QDialog* dialog) {
        setweight(dialog, 0, 0, 0);
        setweight(dialog, 0, 1, 100);
    });
    QVERIFY(run(0b11));
    const std::vector<float> now = rig.current(0, 0, length);
    const auto part = [](const std::vector<float>& v, int from, int to) {
        return std::vector<float>(v.begin() + from, v.begin() + to);
    };
    // Well inside the area channel 0 holds channel 1; well outside it is untouched.
    QVERIFY(maxdiff(part(now, 2300, 3700), part(b, 2300, 3700)) < 2e-4f);
    QVERIFY(maxdiff(part(now, 0, 1700), part(a, 0, 1700)) < 1e-4f);
    QVERIFY(maxdiff(part(now, 4300, length), part(a, 4300, length)) < 1e-4f);
    QVERIFY(maxdiff(rig.current(1, 0, length), b) < 1e-4f);
}

void TestRoutematrix::noChannelSwitchedOn()
{
    // A commit with no channel would reach them all.
    applywith([](QDialog* dialog) { setweight(dialog, 0, 0, 0); });
    QVERIFY(!run(0));
    QCOMPARE(seen.dialogs, 0);
    QCOMPARE(seen.titles, QStringList{"No channel selected"});
    QCOMPARE(seen.texts, QStringList{"Please switch on a channel first."});
    QCOMPARE(rig.current(0, 0, length), a);
    QCOMPARE(rig.current(1, 0, length), b);
}

void TestRoutematrix::dialogGoneWithTheWindow()
{
    // The main window deletes the dialog with its other children; the filter
    // then runs nothing, and unloading it frees nothing twice.
    QPointer<QDialog> dialog;
    answer = [&](QDialog* d) {
        dialog = d;
        return int(QDialog::Rejected);
    };
    run(0b11);
    QVERIFY(dialog);
    delete dialog.data();
    forget();
    QVERIFY(!run(0b11));
    QCOMPARE(seen.dialogs, 0);
    QCOMPARE(rig.current(0, 0, length), a);

    QPointer<QObject> object = loaded.object();
    QVERIFY(loaded.unload());
    QVERIFY(!object);
    filter = nullptr;
}

QTEST_MAIN(TestRoutematrix)
#include "tst_routematrix.moc"
