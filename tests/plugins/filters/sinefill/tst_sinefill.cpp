#include <QDoubleSpinBox>
#include <QVBoxLayout>

#include <cmath>

#include "plugins/filters/filterhost.h"

using namespace filtertest;

// The sine generator loaded from the installation root and run as the host
// runs it on two-channel layers of one second at 8000 Hz (window 256,
// overlap 4).
class TestSinefill : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void identityAndDialog();
    void needsASelection();
    void sineInTheScratch_data();
    void sineInTheScratch();
    void commitIntoSilence();
    void outsideTheBandLittleChanges();
    void louderLayerStays();

private:
    static void set(QDialog* dialog, double power, double frequency);
    bool run(int channelmask = 0b11) { return rig.run(filter, channelmask); }
    // Root mean square of channel c of the current layer over samples from .. to - 1.
    double rms(int channel, int from, int to);

    LoadedFilter loaded;
    FilterInterface* filter = nullptr;
    SlotRig rig;
};

constexpr int rate = 8000;
constexpr int length = rate;

// The generator's own phase steps: 1 / rate x f x 3.141593 x 2 per sample.
static float sinevalue(int k, double power, double frequency)
{
    double phase = 0;
    for (int i = 0; i < k; ++i)
        phase += 1.0 / rate * frequency * 3.141593 * 2;
    return float(std::sin(phase) * std::pow(2.0, power / 6));
}

static std::vector<float> tone(double amplitude, double frequency)
{
    std::vector<float> v(length);
    for (int i = 0; i < length; ++i)
        v[i] = float(amplitude * std::sin(2 * M_PI * frequency * i / rate));
    return v;
}

void TestSinefill::set(QDialog* dialog, double power, double frequency)
{
    const auto spins = dialog->findChildren<QDoubleSpinBox*>();
    spins.at(0)->setValue(power);
    spins.at(1)->setValue(frequency);
}


double TestSinefill::rms(int channel, int from, int to)
{
    const std::vector<float> v = rig.current(channel, from, to - from);
    double sum = 0;
    for (float x : v)
        sum += double(x) * x;
    return std::sqrt(sum / v.size());
}

void TestSinefill::initTestCase()
{
    hostfolders("sinefill");
    filter = loaded.load(QStringLiteral("sinefill"));
    QVERIFY(filter);
}

void TestSinefill::init()
{
    forget();
    rig.setup(std::vector<float>(2 * length, 0.0f), rate, 2, 256, 4);
}

void TestSinefill::identityAndDialog()
{
    QCOMPARE(filter->name, QString("Generate Frequency"));
    QCOMPARE(filter->category, QString("Generate"));
    QCOMPARE(filter->label, QString("Frequency"));
    rig.select(QRectF(0.25, 1500, 0.5, -1000));
    answer = [](QDialog* dialog) {
        [&] {
            QCOMPARE(dialog->windowTitle(), QString("Generate Frequency"));
            auto* layout = qobject_cast<QVBoxLayout*>(dialog->layout());
            QVERIFY(layout);
            QCOMPARE(layout->count(), 4);
            auto* power = qobject_cast<QDoubleSpinBox*>(layout->itemAt(0)->widget());
            auto* frequency = qobject_cast<QDoubleSpinBox*>(layout->itemAt(1)->widget());
            QVERIFY(power && frequency);
            QCOMPARE(power->text(), QString("power: -12.0dB"));
            QCOMPARE(power->minimum(), -90.0);
            QCOMPARE(power->maximum(), 0.0);
            QCOMPARE(frequency->text(), QString("freq.: 1000.0Hz"));
            QCOMPARE(frequency->minimum(), 0.1);
            QCOMPARE(frequency->maximum(), 100000.0);
            QCOMPARE(qobject_cast<QPushButton*>(layout->itemAt(2)->widget())->text(), QString("Preview..."));
            QCOMPARE(qobject_cast<QPushButton*>(layout->itemAt(3)->widget())->text(), QString("Apply"));
        }();
        return int(QDialog::Rejected);
    };
    QVERIFY(!run());
    QCOMPARE(seen.dialogs, 1);
}

void TestSinefill::needsASelection()
{
    applywith(nullptr);
    QVERIFY(!run());
    QCOMPARE(seen.dialogs, 0);
    QCOMPARE(seen.titles, QStringList{"No area selected"});
    QCOMPARE(seen.texts, QStringList{"Please select an area first."});
    QCOMPARE(rig.current(0, 0, length), std::vector<float>(length, 0.0f));
    QCOMPARE(rig.layers[2]->length, 0.0);
}

void TestSinefill::sineInTheScratch_data()
{
    QTest::addColumn<double>("power");
    QTest::addColumn<double>("frequency");
    QTest::addColumn<QRectF>("area");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::newRow("0 dB") << 0.0 << 1000.0 << QRectF(0.25, 1500, 0.5, -1000) << 2000 << 6000;
    QTest::newRow("-6 dB") << -6.0 << 777.7 << QRectF(0.25, 1500, 0.5, -1000) << 2000 << 6000;
    // One second exactly: rate + 1 samples.
    QTest::newRow("one second") << -3.0 << 333.3 << QRectF(0, 4000, 1, -4000) << 0 << 8000;
}

void TestSinefill::sineInTheScratch()
{
    QFETCH(double, power);
    QFETCH(double, frequency);
    QFETCH(QRectF, area);
    QFETCH(int, first);
    QFETCH(int, last);
    rig.select(area);
    int wrong = 0;
    float peak = 0;
    onpreview = [&] {
        for (int k = first; k <= last; ++k) {
            const float want = sinevalue(k - first, power, frequency);
            peak = std::max(peak, std::fabs(getsamplecb(2, 0, k)));
            // Both channels carry the same wave, starting at phase 0 and
            // running up to the area's last sample.
            if (getsamplecb(2, 0, k) != want || getsamplecb(2, 1, k) != want)
                ++wrong;
        }
    };
    answer = [=](QDialog* dialog) {
        set(dialog, power, frequency);
        click(dialog, "Preview...");
        return int(QDialog::Rejected);
    };
    QVERIFY(!run());
    QCOMPARE(seen.previews, 1);
    QCOMPARE(wrong, 0);
    QVERIFY(std::fabs(peak - std::pow(2.0, power / 6)) < 1e-3);
    // Closed without "Apply": the layer is untouched.
    QCOMPARE(rig.current(0, 0, length), std::vector<float>(length, 0.0f));
}

void TestSinefill::commitIntoSilence()
{
    // 0.25 s to 0.75 s, 800 Hz to 1200 Hz; channel 1 switched off.
    rig.select(QRectF(0.25, 1200, 0.5, -400));
    applywith([](QDialog* dialog) { set(dialog, -6, 1000); });
    QVERIFY(run(0b01));
    // A sine of amplitude 0.5 inside the area, nothing well outside it.
    QVERIFY(std::fabs(rms(0, 2800, 5200) - 0.5 / std::sqrt(2.0)) < 0.02);
    QVERIFY(rms(0, 0, 1700) < 1e-3);
    QVERIFY(rms(0, 6300, length) < 1e-3);
    QCOMPARE(rig.current(1, 0, length), std::vector<float>(length, 0.0f));
    QCOMPARE(rig.layers[2]->length, 0.0);
}

void TestSinefill::outsideTheBandLittleChanges()
{
    rig.select(QRectF(0.25, 1200, 0.5, -400));
    applywith([](QDialog* dialog) { set(dialog, 0, 3000); });
    QVERIFY(run());
    QVERIFY(rms(0, 0, length) < 0.01);
}

void TestSinefill::louderLayerStays()
{
    const std::vector<float> loud = tone(0.8, 1000);
    rig.setup(interleave(loud, loud), rate, 2, 256, 4);
    rig.select(QRectF(0.25, 1200, 0.5, -400));
    applywith([](QDialog* dialog) { set(dialog, -30, 1000); });
    QVERIFY(run());
    // Where the generated wave starts and stops it is louder than the tone
    // in some bins of the band's edges; inside the area the tone is kept.
    const std::vector<float> now = rig.current(0, 2300, 3400);
    QVERIFY(maxdiff(now, std::vector<float>(loud.begin() + 2300, loud.begin() + 5700)) < 1e-3f);
}

QTEST_MAIN(TestSinefill)
#include "tst_sinefill.moc"
