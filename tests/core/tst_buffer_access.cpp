// Binding, the cache window and its relocation, the sample and bin accessors,
// and the write-back of edits to the layer.
#include <QtTest>
#include <cmath>

#include "buffertestsupport.h"

namespace {

constexpr int rate = 48000;
constexpr int length = 480000; // 10 s

} // namespace

class TestBufferAccess : public QObject
{
    Q_OBJECT

    std::vector<float> left, right;

    std::unique_ptr<layer> stereo(double start = 0) { return makelayer(interleave(left, right), rate, 2, start); }

private slots:
    void initTestCase();
    void bindingTakesTheFormat();
    void bindingRefusesTooManyChannels();
    void unboundBufferRaisesFlags();
    void channelIndexIsChecked();
    void firstReadLoadsTheWindowAroundTheSample();
    void relocationMovesByWholeHops();
    void strokeGrowsTheWindowWithinItsBound_data();
    void strokeGrowsTheWindowWithinItsBound();
    void nyquistTravelsInTheImaginarySlot();
    void sampleEditReachesTheLayerExactly();
    void sampleEditUnderSelectionWritesAllItChanged();
    void dataResetDropsEdits();
    void editsOutsideTheSelectionAreDropped();
    void sampleEditSurvivesNewSelection();
    void sampleThenFrameEditKeepsBoth();
    void frameThenSampleEditKeepsBoth();
    void farLayerPositions();
    void parameterChangeWritesBackAndRecomputesRanges();
    void meaninglessSelectionIsHarmless();
};

void TestBufferAccess::initTestCase()
{
    kvtestfolders();
    left = noise(length, 7, 0.8f);
    right = sines(length, rate);
}

void TestBufferAccess::bindingTakesTheFormat()
{
    auto l = stereo();
    Buffer b;
    b.infftparam(2, 1024, 4, false);
    b.inselection(QRectF(1.0, 2000, 0.5, -1000));
    b.bindlayer(l.get());
    QCOMPARE(b.samplerate, rate);
    QCOMPARE(b.channels, 2);
    QCOMPARE(b.cachelength, 131072.0 / rate);
    QCOMPARE(b.cachestart, unsettime);
    // The selection's ranges follow the layer's rate.
    QCOMPARE(b.selectionsamples.low, rate);
    QCOMPARE(b.selectionsamples.high, rate * 3 / 2);
    QCOMPARE(b.selectionframes.low, roundhalfup(rate / 256.0));
    QCOMPARE(b.selectionbins.low, roundhalfup(1000 * 1024.0 / rate));
    QCOMPARE(b.selectionbins.high, roundhalfup(2000 * 1024.0 / rate));
    b.bindlayer(nullptr);
    QCOMPARE(b.boundlayer, nullptr);
    QCOMPARE(b.samplerate, 0);
    QCOMPARE(b.channels, 0);
    QCOMPARE(b.cachelength, 0.0);
}

void TestBufferAccess::bindingRefusesTooManyChannels()
{
    std::vector<float> nine(9 * 1000, 0.25f);
    auto big = makelayer(nine, rate, 9);
    auto l = stereo();
    Buffer b;
    b.infftparam(2, 1024, 4, false);
    b.bindlayer(l.get());
    b.bindlayer(big.get());
    QCOMPARE(b.boundlayer, nullptr);
    QCOMPARE(b.channels, 0);
    QCOMPARE(b.getsample(0, 10), 0.0f);
    QVERIFY(b.readwithoutlayer);
    // Eight channels are fine and grow the storage.
    std::vector<float> eight(8 * 200000);
    for (size_t i = 0; i < eight.size(); ++i)
        eight[i] = float(i % 8) / 8.0f;
    auto wide = makelayer(eight, rate, 8);
    b.bindlayer(wide.get());
    QCOMPARE(b.channels, 8);
    QCOMPARE(b.getsample(7, 100000), 7.0f / 8.0f);
    QVERIFY(b.spectrum[7] != nullptr);
}

void TestBufferAccess::unboundBufferRaisesFlags()
{
    Buffer b;
    b.infftparam(2, 1024, 4, false);
    QCOMPARE(b.getsample(0, 0), 0.0f);
    QVERIFY(b.readwithoutlayer);
    QVERIFY(!b.writewithoutlayer);
    QCOMPARE(b.getbin(0, 0, 0), QVector2D(0, 0));
    b.setsample(0, 0, 1);
    QVERIFY(b.writewithoutlayer);
    b.writewithoutlayer = false;
    b.setbin(0, 0, 1, 1, 1);
    QVERIFY(b.writewithoutlayer);
    b.flush();
    auto l = stereo();
    b.bindlayer(l.get());
    QVERIFY(!b.readwithoutlayer && !b.writewithoutlayer);
}

void TestBufferAccess::channelIndexIsChecked()
{
    auto l = stereo();
    Buffer b;
    b.infftparam(2, 1024, 4, false);
    b.bindlayer(l.get());
    QCOMPARE(b.getsample(1, 1000), right[1000]);
    QCOMPARE(b.getsample(2, 1000), 0.0f);
    QCOMPARE(b.getsample(-1, 1000), 0.0f);
    QCOMPARE(b.getbin(2, 10, 10), QVector2D(0, 0));
    b.setsample(2, 1000, 1);
    b.setsample(-1, 1000, 1);
    b.setbin(7, 10, 10, 1, 1);
    b.setbin(1, 10, 513, 1, 1);
    b.setbin(1, 10, -1, 1, 1);
    for (int c = 0; c < Buffer::maxchannels; ++c) {
        QVERIFY(b.dirtysamples[c].empty());
        QVERIFY(b.dirtyframes[c].empty());
    }
    QVERIFY(!b.writewithoutlayer && !b.readwithoutlayer);
}

void TestBufferAccess::firstReadLoadsTheWindowAroundTheSample()
{
    auto l = stereo();
    Buffer b;
    b.infftparam(4, 2048, 8, false);
    b.bindlayer(l.get());
    const int s = 200000;
    QCOMPARE(b.getsample(0, s), left[size_t(s)]);
    QVERIFY(b.cachestart != unsettime);
    const int hop = 256;
    QCOMPARE(b.cachestartsample % hop, 0);
    QCOMPARE(b.cachestartframe * hop, b.cachestartsample);
    // Centred on the sample, to the hop.
    QVERIFY(std::abs(b.cachestartsample + Buffer::cachesamples / 2 - s) <= hop / 2);
    QCOMPARE(b.cachedsamples.low, b.cachestartsample + 2048);
    QCOMPARE(b.cachedsamples.high, b.cachestartsample + Buffer::cachesamples - 2048);
    QCOMPARE(b.cachedframes.low, b.cachestartframe + 8);
    QCOMPARE(b.cachedframes.high, b.cachestartframe + Buffer::cachesamples / hop - 8);
    // The whole array was read, margins included.
    for (int i : {-Buffer::margin, -1, 0, Buffer::cachesamples + Buffer::margin - 1})
        QCOMPARE(b.timebufferA[1][i], right[size_t(b.cachestartsample + i)]);
}

void TestBufferAccess::relocationMovesByWholeHops()
{
    auto l = stereo();
    Buffer b;
    b.infftparam(2, 1024, 4, false);
    b.bindlayer(l.get());
    const int hop = 256;
    b.getsample(0, 240000);
    const int start = b.cachestartsample;
    // Inside the valid range nothing moves.
    b.getsample(0, b.cachedsamples.high);
    b.getbin(0, b.cachedframes.low, 3);
    QCOMPARE(b.cachestartsample, start);
    // Just outside it the window moves, by a whole number of hops, and the
    // values there are the layer's.
    const int beyond = b.cachedsamples.high + 1;
    QCOMPARE(b.getsample(0, beyond), left[size_t(beyond)]);
    QVERIFY(b.cachestartsample != start);
    QCOMPARE((b.cachestartsample - start) % hop, 0);
    QCOMPARE(b.cachestartframe * hop, b.cachestartsample);
    // Every valid sample and frame is right after the move, both directions
    // and by more than the whole array.
    Buffer fresh;
    fresh.infftparam(2, 1024, 4, false);
    fresh.bindlayer(l.get());
    for (int target : {100000, 300000, 250000, 60000, 420000, 400000}) {
        QCOMPARE(b.getsample(1, target), right[size_t(target)]);
        for (int s = b.cachedsamples.low; s <= b.cachedsamples.high; s += 997)
            QCOMPARE(b.timebufferB[1][s - b.cachestartsample], s >= 0 && s < length ? right[size_t(s)] : 0.0f);
        // Frames match a fresh analysis of the same place.
        const int f = b.cachedframes.low + 3;
        fresh.indatareset();
        for (int bin : {0, 17, 512}) {
            const QVector2D got = b.getbin(0, f, bin);
            const QVector2D want = fresh.getbin(0, f, bin);
            QVERIFY2((got - want).length() < 1e-4, QByteArray::number(target));
        }
        const int lastinlayer = std::min(b.cachedframes.high, (length - 1024) / 256);
        QVERIFY(b.getbin(0, lastinlayer, 100) != QVector2D(0, 0));
    }
}

void TestBufferAccess::strokeGrowsTheWindowWithinItsBound_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("overlap");
    QTest::addColumn<int>("channels");
    QTest::addColumn<double>("seconds");
    QTest::newRow("stereo 4 s at 4096/4: held whole") << 4096 << 4 << 2 << 4.0;
    QTest::newRow("8 channels 5 s at 8192/16: past the bound") << 8192 << 16 << 8 << 5.0;
}

// Steps that go back over the frames of the step before, twice in a row (a
// brush dragged), grow the window to hold them, so that a further step over
// them moves nothing; within its memory bound, and back to its usual size
// once an access elsewhere is no such step. Edits and their inverses made
// across such windows cancel to the bit.
void TestBufferAccess::strokeGrowsTheWindowWithinItsBound()
{
    QFETCH(int, size);
    QFETCH(int, overlap);
    QFETCH(int, channels);
    QFETCH(double, seconds);
    const int samples = int((seconds + 2) * rate);
    const std::vector<float> audio = noise(size_t(samples * channels), 5, 0.5f);
    auto l = makelayer(audio, rate, channels);
    Buffer b;
    b.infftparam(4, size, overlap, false);
    b.bindlayer(l.get());
    const int hop = size / overlap;
    const int first = int(0.5 * rate / hop), last = int((0.5 + seconds) * rate / hop);
    const int bin = size / 8;
    auto step = [&](float gain) {
        for (int f = first; f <= last; ++f)
            for (int c = 0; c < channels; ++c) {
                const QVector2D v = b.getbin(c, f, bin);
                b.setbin(c, f, bin, gain * v.x(), gain * v.y());
            }
        b.flush();
    };
    step(2);
    step(0.5f); // one pass back (a paste after a cut) is no stroke
    QCOMPARE(b.windowsamples, Buffer::cachesamples);
    step(2);
    const qint64 perframe = channels * qint64(size + 4 * hop) * qint64(sizeof(float));
    const bool whole = (last - first + 1 + 2 * overlap) * perframe < Buffer::grownbytes;
    QVERIFY(b.windowsamples > Buffer::cachesamples);
    QVERIFY(b.windowframes() * perframe <= Buffer::grownbytes);
    QCOMPARE(whole, b.windowframes() > last - first);
    const int start = b.cachestartsample;
    step(0.5f);
    if (whole)
        QCOMPARE(b.cachestartsample, start);
    std::vector<float> got(audio.size());
    l->read(got.data(), 0, double(samples) / rate, -1, false);
    QVERIFY(got == audio);
    b.getsample(0, samples - 1);
    QCOMPARE(b.windowsamples, Buffer::cachesamples);
    QCOMPARE(b.cachelength, double(Buffer::cachesamples) / rate);
}

void TestBufferAccess::nyquistTravelsInTheImaginarySlot()
{
    auto l = stereo();
    Buffer b;
    b.infftparam(2, 512, 4, false);
    b.bindlayer(l.get());
    const int f = 1000;
    b.setbin(0, f, 256, 5, 7);
    QCOMPARE(b.getbin(0, f, 256), QVector2D(0, 7));
    b.setbin(0, f, 0, 3, 9);
    QCOMPARE(b.getbin(0, f, 0), QVector2D(3, 0));
    const float* frame = b.spectrum[0] + qint64(f - b.cachestartframe) * 512;
    QCOMPARE(frame[0], 3.0f);
    QCOMPARE(frame[1], 7.0f);
    b.setbin(0, f, 5, -1, 2);
    QCOMPARE(b.getbin(0, f, 5), QVector2D(-1, 2));
    QCOMPARE(frame[10], -1.0f);
    QCOMPARE(frame[11], 2.0f);
    QCOMPARE(b.dirtyframes[0].low, f - 1);
    QCOMPARE(b.dirtyframes[0].high, f + 1);
    QVERIFY(b.dirtyframes[1].empty());
}

void TestBufferAccess::sampleEditReachesTheLayerExactly()
{
    auto l = stereo();
    Buffer b;
    b.infftparam(3, 1024, 4, false);
    b.bindlayer(l.get());
    const int s = 123456;
    b.setsample(1, s, 0.625f);
    QCOMPARE(b.getsample(1, s), 0.625f);
    QCOMPARE(readlayer(l.get(), s, 1, 1)[0], right[size_t(s)]);
    QCOMPARE(b.dirtysamples[1].low, s - 1);
    QCOMPARE(b.dirtysamples[1].high, s + 1);
    b.flush();
    QVERIFY(b.dirtysamples[1].empty());
    const auto got = readlayer(l.get(), s - 2000, 4001, 1);
    const auto other = readlayer(l.get(), s - 2000, 4001, 0);
    for (int i = 0; i <= 4000; ++i) {
        const int at = s - 2000 + i;
        QCOMPARE(got[size_t(i)], at == s ? 0.625f : right[size_t(at)]);
        QCOMPARE(other[size_t(i)], left[size_t(at)]);
    }
    QVERIFY(l->dirtymin <= double(s) / rate && l->dirtymax >= double(s + 1) / rate);
    // The frames were re-analysed from the edit.
    Buffer check;
    check.infftparam(3, 1024, 4, false);
    check.bindlayer(l.get());
    const int f = roundhalfup(s / 256.0);
    QVERIFY((b.getbin(1, f, 40) - check.getbin(1, f, 40)).length() < 1e-4);
}

// With a band selection the resynthesis reaches past the edited samples; all
// of it must reach the layer, so the layer equals the full-band signal.
void TestBufferAccess::sampleEditUnderSelectionWritesAllItChanged()
{
    auto l = stereo();
    Buffer b;
    b.infftparam(2, 1024, 8, false);
    b.bindlayer(l.get());
    b.inselection(QRectF(2.0, 8000, 1.0, -4000));
    const int s = 2 * rate + 5000;
    b.getsample(0, s);
    b.setsample(0, s, b.getsample(0, s) + 0.5f);
    b.flush();
    const int first = b.cachedsamples.low, count = b.cachedsamples.high - first;
    const auto got = readlayer(l.get(), first, count, 0);
    int changed = 0;
    for (int i = 0; i < count; ++i) {
        QCOMPARE(got[size_t(i)], b.timebufferA[0][first + i - b.cachestartsample]);
        if (got[size_t(i)] != left[size_t(first + i)])
            ++changed;
    }
    // The resynthesis rewrote more than the three dirty samples.
    QVERIFY(changed > 100);
}

void TestBufferAccess::dataResetDropsEdits()
{
    auto l = stereo();
    Buffer b;
    b.infftparam(2, 1024, 4, false);
    b.bindlayer(l.get());
    const int f = 600;
    const QVector2D before = b.getbin(0, f, 20);
    b.setbin(0, f, 20, 100, 100);
    b.setsample(1, f * 256, 0.9f);
    b.indatareset();
    QVERIFY(b.dirtyframes[0].empty() && b.dirtysamples[1].empty());
    QCOMPARE(b.cachestart, unsettime);
    QVERIFY((b.getbin(0, f, 20) - before).length() < 1e-6);
    QCOMPARE(b.getsample(1, f * 256), right[size_t(f * 256)]);
    b.flush();
    QVERIFY(l->dirtymin > l->dirtymax);
}

void TestBufferAccess::editsOutsideTheSelectionAreDropped()
{
    auto l = stereo();
    Buffer b;
    b.infftparam(2, 1024, 4, false);
    b.bindlayer(l.get());
    b.inselection(QRectF(1.0, 5000, 1.0, -2000));
    const int inside = roundhalfup(1.5 * rate / 256), outside = roundhalfup(2.5 * rate / 256);
    b.setbin(0, outside, 100, 1, 1);
    b.setbin(0, inside, b.freqtobin(4000), 1, 1);
    QCOMPARE(b.dirtyframes[0].low, inside - 1);
    QCOMPARE(b.dirtyframes[0].high, inside + 1);
    b.setbin(0, inside, b.freqtobin(1000), 1, 1);
    QCOMPARE(b.getbin(0, inside, b.freqtobin(1000)), QVector2D(0, 0));
    QCOMPARE(b.dirtyframes[0].high, inside + 1);
    b.setsample(0, int(0.5 * rate), 1);
    QVERIFY(b.dirtysamples[0].empty());
    QCOMPARE(b.getsample(0, int(0.5 * rate)), 0.0f);
}

// A sample edit lives in the band signal; a new selection rebuilds that signal,
// so the edit must reach the layer first.
void TestBufferAccess::sampleEditSurvivesNewSelection()
{
    auto l = stereo();
    Buffer b;
    b.infftparam(2, 1024, 4, false);
    b.bindlayer(l.get());
    const int s = 3 * rate;
    b.setsample(0, s, -0.75f);
    b.inselection(QRectF(2.5, 10000, 1.0, -5000));
    QVERIFY(b.dirtysamples[0].empty());
    QCOMPARE(readlayer(l.get(), s, 1, 0)[0], -0.75f);
    QCOMPARE(b.timebufferA[0][s - b.cachestartsample], -0.75f);
    b.inselection(QRectF());
    QCOMPARE(b.getsample(0, s), -0.75f);
}

// The result of a sample edit and a frame edit over the same span, written
// back together, must be what writing them back one after the other gives.
void TestBufferAccess::sampleThenFrameEditKeepsBoth()
{
    std::vector<float> silence(size_t(length), 0.0f);
    auto together = makelayer(silence, rate, 1);
    auto apart = makelayer(silence, rate, 1);
    const int s = 5 * rate, f = roundhalfup(s / 256.0);
    Buffer a, b;
    for (Buffer* x : {&a, &b}) {
        x->infftparam(2, 1024, 4, false);
    }
    a.bindlayer(together.get());
    b.bindlayer(apart.get());
    a.setsample(0, s, 0.5f);
    a.setbin(0, f, 64, 0.03f, -0.02f);
    a.flush();
    b.setsample(0, s, 0.5f);
    b.flush();
    b.setbin(0, f, 64, 0.03f, -0.02f);
    b.flush();
    const auto x = readlayer(together.get(), s - 2048, 4096, 0);
    const auto y = readlayer(apart.get(), s - 2048, 4096, 0);
    double worst = 0, energy = 0;
    for (int i = 0; i < 4096; ++i) {
        worst = std::max(worst, double(std::fabs(x[size_t(i)] - y[size_t(i)])));
        if (i != 2048)
            energy += double(y[size_t(i)]) * y[size_t(i)];
    }
    QVERIFY2(worst < 1e-5, QByteArray::number(worst));
    QVERIFY(std::fabs(y[2048] - 0.5f) < 0.1f);
    QVERIFY(energy > 1e-3);
}

void TestBufferAccess::frameThenSampleEditKeepsBoth()
{
    std::vector<float> silence(size_t(length), 0.0f);
    auto l = makelayer(silence, rate, 1);
    const int s = 5 * rate, f = roundhalfup(s / 256.0);
    Buffer b;
    b.infftparam(2, 1024, 4, false);
    b.bindlayer(l.get());
    b.setbin(0, f, 64, 0.03f, -0.02f);
    b.setsample(0, s + 10, 0.5f);
    b.flush();
    const auto x = readlayer(l.get(), s - 2048, 4096, 0);
    QCOMPARE(x[2048 + 10], 0.5f);
    double energy = 0;
    for (int i = 0; i < 4096; ++i)
        if (i != 2048 + 10)
            energy += double(x[size_t(i)]) * x[size_t(i)];
    QVERIFY(energy > 1e-3);
}

// Far along the time line sample and frame indices come near the int range;
// the window arithmetic must still put every sample in its place.
void TestBufferAccess::farLayerPositions()
{
    const double start = 40000.0; // 1.92e9 samples
    auto l = makelayer(interleave(left, right), rate, 2, start);
    Buffer b;
    b.infftparam(2, 4096, 16, false);
    b.bindlayer(l.get());
    const qint64 base = qint64(start * rate);
    for (qint64 at : {base + 1000, base + 400000, base + 200000}) {
        QCOMPARE(b.getsample(0, int(at)), left[size_t(at - base)]);
        QCOMPARE(qint64(b.cachestartsample) % 256, 0);
    }
    b.setsample(1, int(base + 300000), 0.125f);
    b.flush();
    QCOMPARE(readlayer(l.get(), base + 300000, 1, 1)[0], 0.125f);
    QCOMPARE(readlayer(l.get(), base + 300001, 1, 1)[0], right[300001]);
    // Indices the window cannot reach read nothing and move nothing.
    const int start0 = b.cachestartsample;
    QCOMPARE(b.getsample(0, 2147418000), 0.0f);
    QCOMPARE(b.getbin(0, 2147418000 / 256 * 2, 3), QVector2D(0, 0));
    QCOMPARE(b.cachestartsample, start0);
}

void TestBufferAccess::parameterChangeWritesBackAndRecomputesRanges()
{
    auto l = stereo();
    Buffer b;
    b.infftparam(2, 1024, 4, false);
    b.bindlayer(l.get());
    b.setsample(0, 100000, 0.3f);
    b.infftparam(2, 2048, 4, false);
    QCOMPARE(readlayer(l.get(), 100000, 1, 0)[0], 0.3f);
    QCOMPARE(b.cachestart, unsettime);
    b.inselection(QRectF(1.0, 4000, 1.0, -2000));
    QCOMPARE(b.selectionbins.high, roundhalfup(4000 * 2048.0 / rate));
    b.infftparam(2, 4096, 8, false);
    QCOMPARE(b.selectionbins.low, roundhalfup(2000 * 4096.0 / rate));
    QCOMPARE(b.selectionbins.high, roundhalfup(4000 * 4096.0 / rate));
    QCOMPARE(b.selectionframes.low, roundhalfup(rate / 512.0));
}

// Not-a-number and huge selections from callers give defined ranges.
void TestBufferAccess::meaninglessSelectionIsHarmless()
{
    auto l = stereo();
    Buffer b;
    b.infftparam(2, 1024, 4, false);
    b.bindlayer(l.get());
    b.inselection(QRectF(qQNaN(), 5000, 1.0, -1000));
    QCOMPARE(b.selectionsamples.low, 0);
    QCOMPARE(b.selectionframes.low, 0);
    b.inselection(QRectF(-1e30, 1e30, 2e30, -2e30));
    QCOMPARE(b.selectionsamples.low, -2147418112);
    QCOMPARE(b.selectionsamples.high, 2147418112);
    QCOMPARE(b.selectionbins.low, 0);
    QCOMPARE(b.selectionbins.high, 512);
    QCOMPARE(b.getsample(0, 1000), left[1000]);
    QCOMPARE(b.freqtobin(qQNaN()), 0);
}

QTEST_GUILESS_MAIN(TestBufferAccess)
#include "tst_buffer_access.moc"
