// Calibration of the display from the current layer: the Calibrate Layer
// dialog of the main window on a known sine, and the measurement itself
// (peak, average of frame peaks, the selection's time span, the channels),
// with the values that reach the zebra, multiplier and volume controls.
#include "editrig.h"

namespace {

constexpr int rate = 8000;
constexpr double tone = 2000; // a quarter of the rate: the samples hit the peaks exactly

// One row holding a 2000 Hz sine: `first` amplitude during the first
// second, `second` during the next (none when 0), channel c times (1 + c)
// when `perchannel`.
layer* sine(PanelRig& r, float first, float second = 0, int channels = 1, bool perchannel = false)
{
    project(r, 1, rate, channels);
    layer* l = r.at(0);
    const int frames = second > 0 ? 2 * rate : rate;
    fill(l, 0.0, frames, [=](int k, int c) {
        const float a = k < rate ? first : second;
        return float(a * std::sin(2 * M_PI * tone * k / rate)) * (perchannel ? float(1 + c) : 1.0f);
    });
    l->resetdirty();
    click(r, 0, 3);
    return l;
}

struct Emitted
{
    QSignalSpy zebra{spectrumgui, &SpectrumGui::outzebra};
    QSignalSpy multiplier{spectrumgui, &SpectrumGui::outmultiplier};
    QSignalSpy volume{spectrumgui, &SpectrumGui::outvolume};
    int count() const { return int(zebra.size() + multiplier.size() + volume.size()); }
};

// The factor that incalibrate gives for a peak (or average) measurement
// against 0 dB, starting from `given`.
float factor(bool average, float given = -99.0f)
{
    float f = given;
    spectrumgui->incalibrate(average, !average, 0.0f, false, false, false, &f);
    return f;
}

bool near(double a, double b, double tolerance = 1e-4)
{
    return std::fabs(a - b) <= tolerance;
}

} // namespace

class TestCalibration : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QSettings().clear(); }

    void dialogCalibratesAHalfScaleSine()
    {
        PanelRig r;
        layer* l = sine(r, 0.5f);
        SpectrumGui* gui = spectrumgui;
        const int zebra = gui->zebra, multiplier = gui->multiplier, volume = gui->volumevalue;
        bool peakchecked = false;
        whendialog<QDialog>([&](QDialog* dialog) {
            const QList<QRadioButton*> radios = dialog->findChildren<QRadioButton*>();
            peakchecked = radios.size() == 2 && radios[1]->isChecked();
            for (QPushButton* b : dialog->findChildren<QPushButton*>())
                if (b->text() == "Calibrate")
                    b->click();
        });
        r.window()->calibrateact->trigger();
        QVERIFY(peakchecked);
        // 0.5 is 6.02 dB below full scale: the layer is raised by that, and
        // the display and the playback lowered by the 6 whole steps.
        auto* spin = r.part<QDoubleSpinBox>(0, LayersGui::SpinRole);
        QCOMPARE(spin->value(), 6.0);
        QVERIFY(near(l->volume, 2.0, 1e-5));
        QCOMPARE(gui->zebra, zebra + 6);
        QCOMPARE(gui->multiplier, multiplier - 6);
        QCOMPARE(gui->volumevalue, volume - 6);
        QVERIFY(r.asked.isEmpty());
    }

    void fullScaleNeedsNoChange()
    {
        PanelRig r;
        sine(r, 1.0f);
        SpectrumGui* gui = spectrumgui;
        Emitted emitted;
        float f = -99;
        gui->incalibrate(false, true, 0.0f, true, true, true, &f);
        QCOMPARE(f, 0.0f);
        QCOMPARE(emitted.zebra.size(), 1);
        QCOMPARE(emitted.zebra.at(0).at(0).toInt(), gui->zebra);
        QCOMPARE(emitted.multiplier.at(0).at(0).toInt(), gui->multiplier);
        QCOMPARE(emitted.volume.at(0).at(0).toInt(), gui->volumevalue);

        // Only the controls asked for move; the reference level counts.
        Emitted some;
        const int multiplier = gui->multiplier;
        gui->incalibrate(false, true, -12.0f, false, true, false, &f);
        QCOMPARE(f, -12.0f);
        // (The multiplier control echoes the value back once.)
        QVERIFY(some.zebra.isEmpty() && some.volume.isEmpty());
        QCOMPARE(some.multiplier.at(0).at(0).toInt(), multiplier + 12);
    }

    void peakAndAverageOfFramePeaks()
    {
        PanelRig r;
        sine(r, 1.0f, 0.5f);
        // Window 2048, overlap 4: frames of 512 samples; two seconds give
        // frames 0 to 29, of which 0 to 15 reach into the loud second.
        QCOMPARE(factor(false), 0.0f);
        const double average = (16 * 1.0 + 14 * 0.5) / 30;
        QVERIFY2(near(factor(true), -20 * std::log10(average)), qPrintable(QString::number(factor(true))));
    }

    void theSelectionLimitsTimeButNotBand()
    {
        PanelRig r;
        sine(r, 1.0f, 0.5f);
        // The quiet second, in a band that leaves the tone out.
        select(QRectF(1.0, 500, 1.0, -400));
        QVERIFY(near(factor(false), 20 * std::log10(2.0)));
        QVERIFY(near(factor(true), 20 * std::log10(2.0)));
    }

    void activeChannelsAreMeasured()
    {
        PanelRig r;
        sine(r, 0.5f, 0, 2, true); // channel 0 at 0.5, channel 1 at 1.0
        QCOMPARE(factor(false), 0.0f);
        spectrumgui->inchannelactive(1, false);
        QVERIFY(near(factor(false), 20 * std::log10(2.0)));
        spectrumgui->inchannelactive(0, false);
        QCOMPARE(spectrumgui->channelmask, 0);
        QCOMPARE(factor(false), 0.0f); // none switched on: every channel counts
    }

    void theLayerVolumeIsTakenIntoAccount()
    {
        PanelRig r;
        layer* l = sine(r, 0.5f);
        l->volume = 2.0f; // already heard 6 dB louder
        SpectrumGui* gui = spectrumgui;
        Emitted emitted;
        float f = 0;
        gui->incalibrate(false, true, 0.0f, true, true, true, &f);
        QVERIFY(near(f, 20 * std::log10(2.0)));
        QCOMPARE(emitted.zebra.at(0).at(0).toInt(), gui->zebra);
        QCOMPARE(emitted.volume.at(0).at(0).toInt(), gui->volumevalue);
    }

    void nothingToMeasureChangesNothing()
    {
        PanelRig r;
        layer* l = sine(r, 0.0f);
        Emitted emitted;
        QCOMPARE(factor(false, 3.5f), 3.5f);
        QCOMPARE(r.titles(), QStringList{"Calibrate Layer"});

        // A range shorter than two frames has no frame to average.
        fill(l, 0.0, rate, [](int k, int) { return float(std::sin(2 * M_PI * tone * k / rate)); });
        select(QRectF(0.5, 4000, 0.05, -4000));
        QCOMPARE(factor(true, 3.5f), 3.5f);
        QCOMPARE(r.asked.size(), 2);
        unselect();

        // A layer at volume 0 cannot be matched by a gain in dB.
        l->volume = 0;
        QCOMPARE(factor(false, 3.5f), 3.5f);
        QCOMPARE(r.asked.size(), 3);
        QCOMPARE(emitted.count(), 0);

        // Without a current layer the factor is 1 and nothing is said.
        r.panel()->NoItemClicked();
        QCOMPARE(factor(false, 3.5f), 1.0f);
        QCOMPARE(r.asked.size(), 3);
        QCOMPARE(emitted.count(), 0);
    }
};

QTEST_MAIN(TestCalibration)
#include "tst_calibration.moc"
