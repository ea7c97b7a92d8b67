#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QSlider>

#include <cmath>

#include "core/keptframes.h"
#include "core/layerhelpers.h"
#include "plugins/filters/filterhost.h"

using namespace filtertest;

// Level, gamma and offset loaded from the installation root and run as the
// host runs it on a two-channel layer of one second at 8000 Hz (window 256,
// overlap 4): a sum of sines in channel 0, silence in channel 1.
class TestGammatrim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void identityAndDialog();
    void slidersAndSpinBoxes();
    void neutralWritesBackUnchanged();
    void longBandWithNothingKept_data();
    void longBandWithNothingKept();
    void level_data();
    void level();
    void gammaAndOffsetInTheScratch_data();
    void gammaAndOffsetInTheScratch();
    void cancelChangesNothing();

private:
    struct Controls
    {
        QSlider* sliders[3] = {};
        QDoubleSpinBox* spins[3] = {};
    };
    static Controls controls(QDialog* dialog);
    // Sets level, gamma and offset through the spin boxes.
    static void set(QDialog* dialog, double level, double gamma, double offset);
    bool run() { return rig.run(filter, 0b11); }

    LoadedFilter loaded;
    FilterInterface* filter = nullptr;
    SlotRig rig;
    std::vector<float> a;
};

constexpr int rate = 8000;
constexpr int length = rate;
constexpr int edge = 128; // half a window at each end of the layer

static std::vector<float> inner(const std::vector<float>& v)
{
    return std::vector<float>(v.begin() + edge, v.end() - edge);
}

TestGammatrim::Controls TestGammatrim::controls(QDialog* dialog)
{
    Controls c;
    const auto sliders = dialog->findChildren<QSlider*>();
    const auto spins = dialog->findChildren<QDoubleSpinBox*>();
    for (int i = 0; i < 3 && i < sliders.size() && i < spins.size(); ++i) {
        c.sliders[i] = sliders[i];
        c.spins[i] = spins[i];
    }
    return c;
}

void TestGammatrim::set(QDialog* dialog, double level, double gamma, double offset)
{
    const Controls c = controls(dialog);
    c.spins[0]->setValue(level);
    c.spins[1]->setValue(gamma);
    c.spins[2]->setValue(offset);
}


void TestGammatrim::initTestCase()
{
    hostfolders("gammatrim");
    filter = loaded.load(QStringLiteral("gammatrim"));
    QVERIFY(filter);
    a = sines(length, rate);
}

void TestGammatrim::init()
{
    forget();
    rig.setup(interleave(a, std::vector<float>(length, 0.0f)), rate, 2, 256, 4);
}

void TestGammatrim::identityAndDialog()
{
    QCOMPARE(filter->name, QString("Mix Level/Gamma/Offset"));
    QCOMPARE(filter->category, QString("Mix"));
    QCOMPARE(filter->label, QString("Level/Gamma/Offset"));
    answer = [](QDialog* dialog) {
        [&] {
            QCOMPARE(dialog->windowTitle(), QString("Level/Gamma/Offset"));
            auto* grid = qobject_cast<QGridLayout*>(dialog->layout());
            QVERIFY(grid);
            const Controls c = controls(dialog);
            const QStringList captions = {"Level:", "Gamma:", "Offset:"};
            for (int row = 0; row < 3; ++row) {
                auto* caption = qobject_cast<QLabel*>(grid->itemAtPosition(row, 0)->widget());
                QVERIFY(caption);
                QCOMPARE(caption->text(), captions[row]);
                QCOMPARE(grid->itemAtPosition(row, 1)->widget(), c.sliders[row]);
                QCOMPARE(grid->itemAtPosition(row, 3)->widget(), c.spins[row]);
            }
            QCOMPARE(c.spins[0]->suffix(), QString("dB"));
            QCOMPARE(c.spins[1]->prefix(), QString(QChar(0x0263)));
            QVERIFY(!grid->itemAtPosition(3, 1));
            auto* preview = qobject_cast<QPushButton*>(grid->itemAtPosition(3, 2)->widget());
            auto* apply = qobject_cast<QPushButton*>(grid->itemAtPosition(3, 3)->widget());
            QVERIFY(preview && apply);
            QCOMPARE(preview->text(), QString("Preview..."));
            QCOMPARE(apply->text(), QString("Apply"));
        }();
        return int(QDialog::Rejected);
    };
    QVERIFY(!run());
    QCOMPARE(seen.dialogs, 1);
}

void TestGammatrim::slidersAndSpinBoxes()
{
    answer = [](QDialog* dialog) {
        [&] {
            const Controls c = controls(dialog);
            // Beyond the slider's reach the spin box is pulled back onto it.
            c.spins[0]->setValue(30);
            QCOMPARE(c.sliders[0]->value(), 80);
            QCOMPARE(c.spins[0]->value(), 16.0);
            c.spins[0]->setValue(-200);
            QCOMPARE(c.sliders[0]->value(), -80);
            QCOMPARE(c.spins[0]->value(), -16.0);
            // Between two steps it is pulled toward zero.
            c.spins[0]->setValue(3.3);
            QCOMPARE(c.sliders[0]->value(), 16);
            QCOMPARE(c.spins[0]->value(), 3.2);
            c.spins[2]->setValue(0.5);
            QCOMPARE(c.sliders[2]->value(), 80);
            QCOMPARE(c.spins[2]->value(), 0.08);
            c.spins[2]->setValue(-0.057);
            QCOMPARE(c.sliders[2]->value(), -57);
            QCOMPARE(c.spins[2]->value(), -0.057);
            // A value the slider can express stays as typed.
            c.spins[1]->setValue(2.3);
            QCOMPARE(c.sliders[1]->value(), 23);
            QCOMPARE(c.spins[1]->value(), 2.3);
            // Moving one slider rewrites every spin box from its slider.
            c.spins[0]->blockSignals(true);
            c.spins[0]->setValue(7.77);
            c.spins[0]->blockSignals(false);
            c.sliders[1]->setValue(40);
            QCOMPARE(c.spins[1]->value(), 4.0);
            QCOMPARE(c.spins[0]->value(), 3.2);
            set(dialog, 0, 1, 0);
            QCOMPARE(c.sliders[0]->value(), 0);
            QCOMPARE(c.sliders[1]->value(), 10);
            QCOMPARE(c.sliders[2]->value(), 0);
        }();
        return int(QDialog::Rejected);
    };
    QVERIFY(!run());
}

void TestGammatrim::neutralWritesBackUnchanged()
{
    applywith([](QDialog* dialog) { set(dialog, 0, 1, 0); });
    QVERIFY(run());
    QVERIFY(maxdiff(rig.current(0, 0, length), a) < 1e-4f);
    QCOMPARE(rig.current(1, 0, length), std::vector<float>(length, 0.0f));
    QCOMPARE(rig.layers[2]->length, 0.0);
}

void TestGammatrim::longBandWithNothingKept_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("overlap");
    QTest::addColumn<double>("low"); // Hz; the band ends at 3000 Hz
    QTest::newRow("4096/16 1-3 kHz") << 4096 << 16 << 1000.0;
    QTest::newRow("65536/4 1-3 kHz") << 65536 << 4 << 1000.0;
    QTest::newRow("2048/4 full band") << 2048 << 4 << 0.0;
}

// A selection over 30 s, more than the host's cache holds at once, with no
// edited frame kept beyond it: the neutral setting leaves the layer as it
// was to the byte, and +6 dB gives what the same gain on the bins gives.
void TestGammatrim::longBandWithNothingKept()
{
    QFETCH(int, size);
    QFETCH(int, overlap);
    QFETCH(double, low);
    const auto restore = qScopeGuard([m = keptmemorylimit, d = keptdisklimit] {
        keptmemorylimit = m;
        keptdisklimit = d;
    });
    keptmemorylimit = keptdisklimit = 0;
    const int frames = 32 * rate;
    const std::vector<float> signal = interleave(sines(frames, rate), noise(frames, 4, 0.2f));
    const double top = low > 0 ? 3000 : rate / 2.0;
    const QRectF band(1.0, top, 30, low - top);
    const auto layerbytes = [this] {
        rig.flush();
        return filebytes(rig.layers[1].get());
    };
    rig.setup(signal, rate, 2, size, overlap);
    rig.select(band);
    const QByteArray before = layerbytes();
    applywith([](QDialog* dialog) { set(dialog, 0, 1, 0); });
    QVERIFY(run());
    QVERIFY(layerbytes() == before);

    applywith([](QDialog* dialog) { set(dialog, 6, 1, 0); });
    QVERIFY(run());
    const std::vector<float> filtered = kvfloats(layerbytes());
    rig.setup(signal, rate, 2, size, overlap);
    rig.select(band);
    const int hop = size / overlap;
    for (int f = roundhalfup(band.x() * rate / hop); f < roundhalfup(band.right() * rate / hop); ++f)
        for (int c = 0; c < 2; ++c)
            for (int b = 0; b <= size / 2; ++b) {
                const QVector2D v = getbincb(1, c, f, b);
                setbincb(1, c, f, b, 2 * v.x(), 2 * v.y());
            }
    const float error = maxdiff(filtered, kvfloats(layerbytes()));
    qInfo("+6 dB against the gain on the bins: %.1f dBFS", 20 * std::log10(std::max(error, 1e-30f)));
    QVERIFY(error < 1e-5f);
}

void TestGammatrim::level_data()
{
    QTest::addColumn<double>("db");
    QTest::addColumn<float>("factor");
    QTest::newRow("+6 dB doubles") << 6.0 << 2.0f;
    QTest::newRow("-6 dB halves") << -6.0 << 0.5f;
    QTest::newRow("-12 dB quarters") << -12.0 << 0.25f;
}

void TestGammatrim::level()
{
    QFETCH(double, db);
    QFETCH(float, factor);
    applywith([db](QDialog* dialog) { set(dialog, db, 1, 0); });
    QVERIFY(run());
    std::vector<float> want(a);
    for (float& v : want)
        v *= factor;
    QVERIFY(maxdiff(inner(rig.current(0, 0, length)), inner(want)) < 2e-4f);
}

void TestGammatrim::gammaAndOffsetInTheScratch_data()
{
    QTest::addColumn<double>("level");
    QTest::addColumn<double>("gamma");
    QTest::addColumn<double>("offset");
    QTest::newRow("gamma 2") << 0.0 << 2.0 << 0.0;
    QTest::newRow("gamma 0.5 after +6 dB") << 6.0 << 0.5 << 0.0;
    QTest::newRow("offset up") << 0.0 << 1.0 << 0.05;
    // The slider's end pulls -50 back to -0.08.
    QTest::newRow("offset down to nothing") << 0.0 << 1.0 << -50.0;
    QTest::newRow("all three") << -3.0 << 1.5 << -0.02;
}

void TestGammatrim::gammaAndOffsetInTheScratch()
{
    QFETCH(double, level);
    QFETCH(double, gamma);
    QFETCH(double, offset);
    int checked = 0;
    int silenced = 0;
    onpreview = [&] {
        const double g = std::pow(2.0, level / 6);
        for (int f : {0, 40, 125})
            for (int bin = 0; bin <= 128; bin += 8) {
                const QVector2D in = getbincb(1, 0, f, bin);
                double re = float(g * in.x());
                double im = float(g * in.y());
                re = std::pow(std::fabs(re), 1 / gamma) * (re > 0 ? 1 : -1);
                im = std::pow(std::fabs(im), 1 / gamma) * (im > 0 ? 1 : -1);
                const double m = std::hypot(re, im);
                const double scale = m > 0 ? std::max(m + offset, 0.0) / m : 1.0;
                const QVector2D out = getbincb(2, 0, f, bin);
                const double tolerance = 1e-5 * std::max(1.0, m);
                QVERIFY(std::fabs(out.x() - re * scale) <= tolerance);
                QVERIFY(std::fabs(out.y() - im * scale) <= tolerance);
                if (m > 0 && out.length() == 0)
                    ++silenced;
                // The silent channel stays silent whatever the offset.
                QCOMPARE(getbincb(2, 1, f, bin), QVector2D(0, 0));
                ++checked;
            }
    };
    answer = [&](QDialog* dialog) {
        set(dialog, level, gamma, offset);
        // What the controls hold once the sliders have had their say.
        const Controls c = controls(dialog);
        level = c.spins[0]->value();
        gamma = c.spins[1]->value();
        offset = c.spins[2]->value();
        click(dialog, "Preview...");
        return int(QDialog::Rejected);
    };
    QVERIFY(!run());
    QCOMPARE(seen.previews, 1);
    QCOMPARE(checked, 3 * 17);
    // A negative offset silences the bins it exceeds, and only those.
    QCOMPARE(silenced > 0, offset < 0);
}

void TestGammatrim::cancelChangesNothing()
{
    answer = [](QDialog* dialog) {
        set(dialog, 12, 3, 0.03);
        click(dialog, "Preview...");
        return int(QDialog::Rejected);
    };
    QVERIFY(!run());
    QCOMPARE(rig.current(0, 0, length), a);
}

QTEST_MAIN(TestGammatrim)
#include "tst_gammatrim.moc"
