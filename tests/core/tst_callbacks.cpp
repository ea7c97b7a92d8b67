#include <QFile>
#include <QTest>

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "core/buffer.h"
#include "core/callbacks.h"
#include "core/globals.h"
#include "core/layer.h"
#include "core/log.h"
#include "testsupport.h"

static constexpr int rate = 44100;
static constexpr int fftsize = 1024;

// The host callbacks as plugins see them: three slot Buffers in slottable,
// real layers behind them, and the session log that records refusals.
class TestCallbacks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void reachTheBuffers();
    void refusedCallsAreHarmlessAndLoggedOnce();
    void binsOfTheLastFrameFollowTheBuffer();
    void positionsPastTheLayerEndAreWritable();
    void transferClipsToTheAddressableRange();
    void lobeCentreIsOneForEveryWindow_data();
    void lobeCentreIsOneForEveryWindow();
    void estimatePeakOfASinusoid_data();
    void estimatePeakOfASinusoid();
    void estimatePeakEdges();

private:
    Buffer* buffers[3] = {};
    layer* layers[3] = {};
};

// A layer of `seconds` of interleaved samples made by f(channel, sample).
template <typename F>
static layer* makelayer(int channels, double seconds, F f)
{
    layer* l = new layer();
    l->samplerate = rate;
    l->channels = channels;
    const int frames = int(std::lround(seconds * rate));
    std::vector<float> data(size_t(frames) * channels);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            data[size_t(i) * channels + c] = f(c, i);
    l->write(data.data(), 0.0, double(frames) / rate);
    return l;
}

static float rampvalue(int c, int i)
{
    return 0.001f * float(i % 1000) + (c == 0 ? 0.0f : -0.5f);
}

// Bins that went through a write-back may differ in the last float digits.
static bool near(QVector2D a, QVector2D b)
{
    return (a - b).length() <= 1e-4f * std::max(1.0f, b.length());
}

// One sample of a layer's own file.
static float layersample(layer* l, int channel, int sample)
{
    float value = -99.0f;
    l->read(&value, double(sample) / l->samplerate, 1.0 / l->samplerate, channel, false);
    return value;
}

void TestCallbacks::initTestCase()
{
    kvtestfolders();
    sessionid = QStringLiteral("callbacks");
    QVERIFY(loginit(1));
    for (int k = 0; k < 3; ++k) {
        buffers[k] = new Buffer();
        slottable.buffer[k] = buffers[k];
    }
}

void TestCallbacks::cleanupTestCase()
{
    for (int k = 0; k < 3; ++k) {
        slottable.buffer[k] = nullptr;
        delete buffers[k];
        delete layers[k];
    }
}

// Every test starts from Hann 1024 / 4 on all three Buffers, a two-channel
// ramp bound to the mix and the current layer, and an empty clipboard.
void TestCallbacks::init()
{
    for (int k = 0; k < 3; ++k) {
        buffers[k]->bindlayer(nullptr);
        delete layers[k];
        layers[k] = nullptr;
        buffers[k]->infftparam(2, fftsize, 4, false);
        buffers[k]->inselection(QRectF());
    }
    layers[0] = makelayer(2, 2.0, rampvalue);
    layers[1] = makelayer(2, 2.0, rampvalue);
    layers[2] = new layer();
    layers[2]->samplerate = rate;
    layers[2]->channels = 2;
    for (int k = 0; k < 3; ++k)
        buffers[k]->bindlayer(layers[k]);
}

void TestCallbacks::reachTheBuffers()
{
    QCOMPARE(getsamplecb(1, 0, 1234), rampvalue(0, 1234));
    QCOMPARE(getsamplecb(1, 1, 1234), rampvalue(1, 1234));
    setsamplecb(1, 1, 1234, 0.75f);
    QCOMPARE(getsamplecb(1, 1, 1234), 0.75f);
    buffers[1]->flush();
    QCOMPARE(layersample(layers[1], 1, 1234), 0.75f);
    QCOMPARE(layersample(layers[1], 0, 1234), rampvalue(0, 1234));

    // The Nyquist bin travels in the imaginary part both ways.
    setbincb(1, 0, 100, fftsize / 2, 5, 7);
    QCOMPARE(getbincb(1, 0, 100, fftsize / 2), QVector2D(0, 7));
    setbincb(1, 0, 100, 10, 3, -4);
    QCOMPARE(getbincb(1, 0, 100, 10), QVector2D(3, -4));
    QCOMPARE(getwindowcb(fftsize / 2), buffers[0]->analysiswindow[fftsize / 2]);

    // A run of bins reads and writes what single calls do, across DC and
    // Nyquist, and a run past the frame's last bin reads 0 there and drops it.
    for (const int first : {0, fftsize / 2 - 3}) {
        const float in[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        float out[10];
        setbinscb(1, 1, 120, first, 5, in);
        getbinscb(1, 1, 120, first, 5, out);
        for (int i = 0; i < 5; ++i) {
            const QVector2D single = getbincb(1, 1, 120, first + i);
            QCOMPARE(QVector2D(out[2 * i], out[2 * i + 1]), single);
            if (first + i <= fftsize / 2)
                QCOMPARE(single, first + i == 0 ? QVector2D(in[0], 0)
                                 : first + i == fftsize / 2 ? QVector2D(0, in[2 * i + 1])
                                                            : QVector2D(in[2 * i], in[2 * i + 1]));
            else
                QCOMPARE(single, QVector2D(0, 0));
        }
    }

    // Copy a rectangle from the current layer into the clipboard.
    const QVector2D before = getbincb(1, 1, 40, 30);
    QVERIFY(before.length() > 0);
    transferareacb(1, 2, QRectF(0.1, rate / 2, 0.5, -rate / 2), 0, 5, 0, 0);
    QVERIFY(near(getbincb(2, 1, 40, 30), before));
    QVERIFY(layers[2]->length > 0.4);
    // Mode 0 empties the clipboard whatever the rectangle.
    transferareacb(2, 2, QRectF(), 0, 0, 0, 0);
    QCOMPARE(layers[2]->length, 0.0);

    // An unbound Buffer answers for itself and raises its flags, whatever the
    // channel: the filter command reads writewithoutlayer afterwards.
    buffers[2]->bindlayer(nullptr);
    QCOMPARE(getsamplecb(2, 5, 10), 0.0f);
    QVERIFY(buffers[2]->readwithoutlayer);
    setbincb(2, 7, 10, 3, 1, 1);
    QVERIFY(buffers[2]->writewithoutlayer);
}

void TestCallbacks::refusedCallsAreHarmlessAndLoggedOnce()
{
    const QVector2D zero(0, 0);

    // Buffer indices: outside 0..2, or a slot without a Buffer.
    QCOMPARE(getsamplecb(3, 0, 10), 0.0f);
    QCOMPARE(getsamplecb(-1, 0, 10), 0.0f);
    QCOMPARE(getbincb(7, 0, 10, 10), zero);
    setsamplecb(INT_MIN, 0, 10, 1.0f);
    setbincb(3, 0, 10, 10, 1, 1);
    transferareacb(0, 9, QRectF(0, rate / 2, 1, -rate / 2), 0, 5, 0, 0);
    slottable.buffer[2] = nullptr;
    QCOMPARE(getsamplecb(2, 0, 10), 0.0f);
    transferareacb(1, 2, QRectF(0, rate / 2, 1, -rate / 2), 0, 5, 0, 0);
    slottable.buffer[0] = nullptr;
    QCOMPARE(getwindowcb(5), 0.0f);
    QCOMPARE(getlobecb(0), 0.0f);
    QCOMPARE(estimatepeakcb(1, 2, 1), zero);
    slottable.buffer[0] = buffers[0];
    slottable.buffer[2] = buffers[2];
    QCOMPARE(layers[2]->length, 0.0);

    // Channels of a two-channel layer.
    QCOMPARE(getsamplecb(1, 2, 1000), 0.0f);
    QCOMPARE(getsamplecb(1, -1, 1000), 0.0f);
    setsamplecb(1, 2, 1000, 9.0f);
    setsamplecb(1, Buffer::maxchannels, 1000, 9.0f);
    setbincb(1, -3, 10, 10, 9, 9);
    QCOMPARE(getbincb(1, 2, 10, 10), zero);

    // Bins beyond N/2 would land in the next frame's floats.
    const QVector2D neighbour = getbincb(1, 0, 11, 1);
    setbincb(1, 0, 10, fftsize / 2 + 1, 9, 9);
    setbincb(1, 0, 10, -1, 9, 9);
    QCOMPARE(getbincb(1, 0, 11, 1), neighbour);
    QCOMPARE(getbincb(1, 0, 10, fftsize / 2 + 1), zero);

    // Positions beyond the addressable range, including frames whose centre
    // sample overflows an int.
    QCOMPARE(getsamplecb(1, 0, firstaddressablesample - 1), 0.0f);
    QCOMPARE(getsamplecb(1, 0, INT_MAX), 0.0f);
    setsamplecb(1, 0, lastaddressablesample + 1, 9.0f);
    setsamplecb(1, 0, INT_MIN, 9.0f);
    QCOMPARE(getbincb(1, 0, INT_MAX / 4, 5), zero);
    setbincb(1, 0, INT_MIN / 2, 5, 9, 9);

    // Window and lobe-table indices of the mix Buffer.
    QCOMPARE(getwindowcb(-1), 0.0f);
    QCOMPARE(getwindowcb(fftsize), 0.0f);
    QVERIFY(getwindowcb(fftsize - 1) > 0.0f);
    QCOMPARE(getlobecb(fftsize / 4), 0.0f);
    QCOMPARE(getlobecb(-fftsize / 4 - 0.5f), 0.0f);
    QCOMPARE(getlobecb(NAN), 0.0f);
    QCOMPARE(getlobecb(INFINITY), 0.0f);
    // The table's first and last entries are still inside.
    QCOMPARE(getlobecb(-fftsize / 4), buffers[0]->lobetable[0]);
    QCOMPARE(getlobecb(fftsize / 4 - 1.0f / 16), buffers[0]->lobetable[16 * (fftsize / 2) - 1]);

    // Nothing reached the layers.
    buffers[1]->flush();
    QCOMPARE(layers[1]->length, 2.0);
    QCOMPARE(layersample(layers[1], 0, 1000), rampvalue(0, 1000));
    QCOMPARE(layersample(layers[1], 1, 1000), rampvalue(1, 1000));

    // One line per kind, for the first refusal of that kind only.
    const QString log = kvlogtext();
    QCOMPARE(log.count("Plugin callback getsample: no buffer 3 "), 1);
    QCOMPARE(log.count(": no buffer"), 1);
    QCOMPARE(log.count("Plugin callback getsample: channel 2 outside 0 to 1"), 1);
    QCOMPARE(log.count(": channel"), 1);
    QCOMPARE(log.count("Plugin callback setbin: bin 513 outside 0 to 512"), 1);
    QCOMPARE(log.count(": bin "), 1);
    QCOMPARE(log.count("Plugin callback getsample: sample -32769 outside"), 1);
    QCOMPARE(log.count("Plugin callback getwindow: index -1 outside 0 to 1023"), 1);
    QCOMPARE(log.count("getwindow: index"), 1);
    QCOMPARE(log.count("Plugin callback getlobe: offset 256 bins"), 1);
    QCOMPARE(log.count("getlobe: offset"), 1);
    QCOMPARE(log.count("further refusals of this kind are not logged"), 6);
}

// The callbacks answer the bins of the frame they last found without looking
// it up again: a write-back, a selection or a window moved in between must
// not let a read or write through as if nothing had changed.
void TestCallbacks::binsOfTheLastFrameFollowTheBuffer()
{
    const int frame = 40, bin = 30, centre = frame * (fftsize / 4);
    const QVector2D was = getbincb(1, 0, frame, bin);
    setbincb(1, 0, frame, bin, 2 * was.x(), 2 * was.y());
    buffers[1]->flush();
    const float once = layersample(layers[1], 0, centre);
    QVERIFY(once != rampvalue(0, centre));
    // After the write-back the frame's next edit is written back too.
    setbincb(1, 0, frame, bin, 4 * was.x(), 4 * was.y());
    buffers[1]->flush();
    QVERIFY(layersample(layers[1], 0, centre) != once);
    QVERIFY(near(getbincb(1, 0, frame, bin), 4 * was));

    // A read far away moves the window; the frame is found again where it went.
    QVERIFY(getbincb(1, 0, 5000, bin).isNull());
    QVERIFY(near(getbincb(1, 0, frame, bin), 4 * was));
    // A selection that leaves the frame out reads it as zeros and keeps it.
    buffers[1]->inselection(QRectF(1.0, rate / 2, 0.5, -rate / 2));
    QCOMPARE(getbincb(1, 0, frame, bin), QVector2D(0, 0));
    setbincb(1, 0, frame, bin, 1, 1);
    buffers[1]->inselection(QRectF());
    QVERIFY(near(getbincb(1, 0, frame, bin), 4 * was));
}

void TestCallbacks::positionsPastTheLayerEndAreWritable()
{
    // A generator writes into the emptied clipboard far from time 0.
    const int sample = 10 * rate;
    setsamplecb(2, 1, sample, 0.5f);
    QCOMPARE(getsamplecb(2, 1, sample), 0.5f);
    buffers[2]->flush();
    QVERIFY(layers[2]->length > 0);
    QCOMPARE(layersample(layers[2], 1, sample), 0.5f);

    // So does a write just inside the lower limit of the range (zeros before
    // time 0 stay readable too).
    QCOMPARE(getsamplecb(1, 0, firstaddressablesample), 0.0f);
}

void TestCallbacks::transferClipsToTheAddressableRange()
{
    const QVector2D inside = getbincb(1, 0, 40, 30);
    QVERIFY(inside.length() > 0);

    // A rectangle from -10 s to 2 s keeps its addressable part.
    transferareacb(1, 2, QRectF(-10, rate / 2, 12, -rate / 2), 0, 5, 0, 0);
    QVERIFY(near(getbincb(2, 0, 40, 30), inside));
    QVERIFY(kvlogtext().contains("Plugin callback transferarea: time -10 to 2 s reaches outside"));

    // A rectangle that cannot become frames and bins is refused as a whole.
    transferareacb(2, 2, QRectF(), 0, 0, 0, 0);
    transferareacb(1, 2, QRectF(NAN, rate / 2, 1, -rate / 2), 0, 5, 0, 0);
    transferareacb(1, 2, QRectF(0, 1e30, 1, -1e30), 0, 5, 0, 0);
    transferareacb(1, 2, QRectF(0, rate / 2, 1, -rate / 2), 0, 1, 0, INFINITY);
    QCOMPARE(layers[2]->length, 0.0);
    QCOMPARE(kvlogtext().count("Plugin callback transferarea: area"), 1);
    // A shift outside the range in mode 1 leaves nothing to move.
    transferareacb(1, 2, QRectF(0, rate / 2, 1, -rate / 2), 0, 1, -1e6f, 0);
    QCOMPARE(layers[2]->length, 0.0);
}

void TestCallbacks::lobeCentreIsOneForEveryWindow_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("size");
    for (int type = 0; type <= 4; ++type)
        for (int size : {64, 1024, 16384})
            QTest::addRow("type %d size %d", type, size) << type << size;
}

void TestCallbacks::lobeCentreIsOneForEveryWindow()
{
    QFETCH(int, type);
    QFETCH(int, size);
    buffers[0]->infftparam(type, size, 4, false);
    const float centre = getlobecb(0);
    QVERIFY2(std::fabs(centre - 1.0f) < 0.01f, qPrintable(QString::number(centre)));
    // It falls off on both sides of the centre.
    QVERIFY(getlobecb(0.5f) < centre);
    QVERIFY(getlobecb(-0.5f) < centre);
}

void TestCallbacks::estimatePeakOfASinusoid_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("offset");
    const char* names[] = {"rectangular", "bartlett", "hann", "blackman", "blackman-harris"};
    for (int type = 0; type <= 4; ++type)
        for (double offset : {-0.45, -0.2, 0.0, 0.15, 0.3, 0.5})
            QTest::addRow("%s %+.2f", names[type], offset) << type << offset;
    // Farther out the bin beside the centre is the larger one.
    for (int type = 2; type <= 4; ++type)
        for (double offset : {-0.7, 0.8})
            QTest::addRow("%s %+.2f", names[type], offset) << type << offset;
}

void TestCallbacks::estimatePeakOfASinusoid()
{
    QFETCH(int, type);
    QFETCH(double, offset);
    const int bin = 100;
    const double amplitude = 0.4;
    const double frequency = (bin + offset) * rate / fftsize;
    buffers[0]->bindlayer(nullptr);
    delete layers[0];
    layers[0] = makelayer(1, 1.0, [&](int, int i) {
        return float(amplitude * std::sin(2 * M_PI * frequency * i / rate + 0.3));
    });
    buffers[0]->infftparam(type, fftsize, 4, false);
    buffers[0]->bindlayer(layers[0]);

    const int frame = 80; // well inside the signal
    float m[3];
    for (int k = 0; k < 3; ++k)
        m[k] = getbincb(0, 0, frame, bin - 1 + k).length();
    const QVector2D peak = estimatepeakcb(m[0], m[1], m[2]);
    QVERIFY2(std::fabs(peak.x() - offset) <= 1.0 / 16 + 1e-4,
             qPrintable(QString("offset %1").arg(peak.x())));
    QVERIFY2(std::fabs(peak.y() / amplitude - 1) < 0.03,
             qPrintable(QString("amplitude %1").arg(peak.y())));
}

void TestCallbacks::estimatePeakEdges()
{
    const QVector2D silent = estimatepeakcb(0, 0, 0);
    QCOMPARE(silent, QVector2D(0, 0));
    QCOMPARE(estimatepeakcb(1, 0, 1), QVector2D(0, 0));

    // A symmetric pair around a maximum: no offset, the centre corrected by the
    // window's centre value.
    const QVector2D symmetric = estimatepeakcb(1, 2, 1);
    QCOMPARE(symmetric.x(), 0.0f);
    QVERIFY(std::fabs(symmetric.y() - 2 / getlobecb(0)) < 1e-5f);

    // Three equal magnitudes count as a right-hand maximum.
    const QVector2D flat = estimatepeakcb(1, 1, 1);
    QVERIFY(flat.x() >= 0.5f && flat.x() <= 1.5f);
    QVERIFY(std::isfinite(flat.y()));

    QCOMPARE(estimatepeakcb(NAN, 1, 1), QVector2D(0, 0));
    QCOMPARE(estimatepeakcb(1, INFINITY, 1), QVector2D(0, 0));

    // The rectangular window's lobe vanishes one bin out: a centre sitting on
    // that zero keeps its own magnitude instead of an unbounded amplitude.
    buffers[0]->infftparam(0, fftsize, 4, false);
    const QVector2D onzero = estimatepeakcb(1, 1e-3f, 0);
    QCOMPARE(onzero.x(), -1.0f);
    QVERIFY(std::isfinite(onzero.y()));
    QCOMPARE(onzero.y(), 1e-3f);
}

QTEST_GUILESS_MAIN(TestCallbacks)
#include "tst_callbacks.moc"
