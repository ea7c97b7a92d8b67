#include <QDoubleSpinBox>
#include <QVBoxLayout>

#include <cmath>

#include "plugins/filters/filterhost.h"

using namespace filtertest;

// The noise generator loaded from the installation root and run as the host
// runs it on two-channel layers of one second at 8000 Hz (window 256,
// overlap 4, so a bin is 31.25 Hz and a frame 8 ms).
class TestFlatfill : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void identityAndDialog();
    void needsASelection();
    void noiseInTheScratch_data();
    void noiseInTheScratch();
    void commitIntoSilence();
    void louderLayerStays();

private:
    static void setpower(QDialog* dialog, double power);
    bool run(int channelmask = 0b11) { return rig.run(filter, channelmask); }

    LoadedFilter loaded;
    FilterInterface* filter = nullptr;
    SlotRig rig;
};

constexpr int rate = 8000;
constexpr int length = rate;
// 0.25 s to 0.75 s, 1000 Hz to 2000 Hz: frames 31 to 94, bins 32 to 64.
const QRectF area(0.25, 2000, 0.5, -1000);

void TestFlatfill::setpower(QDialog* dialog, double power)
{
    dialog->findChild<QDoubleSpinBox*>()->setValue(power);
}


void TestFlatfill::initTestCase()
{
    hostfolders("flatfill");
    filter = loaded.load(QStringLiteral("flatfill"));
    QVERIFY(filter);
}

void TestFlatfill::init()
{
    forget();
    rig.setup(std::vector<float>(2 * length, 0.0f), rate, 2, 256, 4);
}

void TestFlatfill::identityAndDialog()
{
    QCOMPARE(filter->name, QString("Generate White Noise"));
    QCOMPARE(filter->category, QString("Generate"));
    QCOMPARE(filter->label, QString("White Noise"));
    rig.select(area);
    answer = [](QDialog* dialog) {
        [&] {
            QCOMPARE(dialog->windowTitle(), QString("Generate White Noise"));
            auto* layout = qobject_cast<QVBoxLayout*>(dialog->layout());
            QVERIFY(layout);
            QCOMPARE(layout->count(), 3);
            auto* power = qobject_cast<QDoubleSpinBox*>(layout->itemAt(0)->widget());
            QVERIFY(power);
            QCOMPARE(power->text(), QString("power: -30.0dB"));
            QCOMPARE(qobject_cast<QPushButton*>(layout->itemAt(1)->widget())->text(), QString("Preview..."));
            QCOMPARE(qobject_cast<QPushButton*>(layout->itemAt(2)->widget())->text(), QString("Apply"));
        }();
        return int(QDialog::Rejected);
    };
    QVERIFY(!run());
    QCOMPARE(seen.dialogs, 1);
}

void TestFlatfill::needsASelection()
{
    applywith(nullptr);
    QVERIFY(!run());
    QCOMPARE(seen.dialogs, 0);
    QCOMPARE(seen.titles, QStringList{"No area selected"});
    QCOMPARE(seen.texts, QStringList{"Please select an area first."});
    QCOMPARE(rig.current(0, 0, length), std::vector<float>(length, 0.0f));
}

void TestFlatfill::noiseInTheScratch_data()
{
    QTest::addColumn<double>("power");
    QTest::addColumn<float>("top");
    QTest::newRow("0 dB") << 0.0 << 1.0f;
    QTest::newRow("-6 dB") << -6.0 << 0.5f;
}

void TestFlatfill::noiseInTheScratch()
{
    QFETCH(double, power);
    QFETCH(float, top);
    rig.select(area);
    std::vector<QVector2D> first, second;
    std::vector<QVector2D>* into = &first;
    onpreview = [&] {
        for (int c = 0; c < 2; ++c)
            for (int f = 31; f <= 94; ++f)
                for (int b = 32; b <= 64; ++b)
                    into->push_back(getbincb(2, c, f, b));
        into = &second;
    };
    answer = [=](QDialog* dialog) {
        setpower(dialog, power);
        click(dialog, "Preview...");
        click(dialog, "Preview...");
        return int(QDialog::Rejected);
    };
    QVERIFY(!run());
    QCOMPARE(seen.previews, 2);
    QCOMPARE(first.size(), size_t(2 * 64 * 33));
    // Both parts lie in 0 .. the level and spread over it.
    float low = 1e9f, high = -1e9f;
    for (const QVector2D& v : first) {
        low = std::min({low, v.x(), v.y()});
        high = std::max({high, v.x(), v.y()});
    }
    QVERIFY(low >= 0.0f);
    QVERIFY(high <= top);
    QVERIFY(low < 0.01f * top);
    QVERIFY(high > 0.99f * top);
    // Each preview draws new noise.
    QVERIFY(first != second);
    QCOMPARE(rig.current(0, 0, length), std::vector<float>(length, 0.0f));
}

void TestFlatfill::commitIntoSilence()
{
    rig.select(area);
    applywith([](QDialog* dialog) { setpower(dialog, -12); });
    QVERIFY(run(0b10));
    rig.select(QRectF());
    // Energy in the area's band and time on channel 1 only.
    const auto energy = [](int channel, int f0, int f1, int b0, int b1) {
        double sum = 0;
        for (int f = f0; f <= f1; ++f)
            for (int b = b0; b <= b1; ++b)
                sum += getbincb(1, channel, f, b).lengthSquared();
        return sum / ((f1 - f0 + 1) * (b1 - b0 + 1));
    };
    const double inside = energy(1, 40, 85, 36, 60);
    QVERIFY(inside > 1e-3);
    QVERIFY(energy(1, 40, 85, 80, 120) < 1e-3 * inside);
    QVERIFY(energy(1, 0, 20, 36, 60) < 1e-3 * inside);
    QCOMPARE(energy(0, 0, 125, 0, 128), 0.0);
    QCOMPARE(rig.layers[2]->length, 0.0);
}

void TestFlatfill::louderLayerStays()
{
    // A tone at 1500 Hz (bin 48) of amplitude 0.8 against noise at -60 dB.
    std::vector<float> loud(length);
    for (int i = 0; i < length; ++i)
        loud[i] = float(0.8 * std::sin(2 * M_PI * 1500.0 * i / rate));
    rig.setup(interleave(loud, loud), rate, 2, 256, 4);
    const QVector2D peak = getbincb(1, 0, 60, 48);
    rig.select(area);
    applywith([](QDialog* dialog) { setpower(dialog, -60); });
    QVERIFY(run());
    rig.select(QRectF());
    QVERIFY((getbincb(1, 0, 60, 48) - peak).length() < 1e-3f * peak.length());
    const std::vector<float> now = rig.current(0, 2300, 3400);
    QVERIFY(maxdiff(now, std::vector<float>(loud.begin() + 2300, loud.begin() + 5700)) < 0.01f);
}

QTEST_MAIN(TestFlatfill)
#include "tst_flatfill.moc"
