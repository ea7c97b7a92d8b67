// Edits through the host callbacks give the same audio whatever their size and
// wherever the cache window was: round trips come back exact, reading the
// layer, for every window length and overlap, full band and band-limited.
#include <QtTest>
#include <cmath>
#include <kissfft/kiss_fftr.h>

#include "buffertestsupport.h"
#include "layerhelpers.h"
#include "core/callbacks.h"
#include "core/globals.h"
#include "core/keptframes.h"

namespace {

constexpr int rate = 48000;
constexpr double exact = 1e-5;     // -100 dBFS
constexpr double unchanged = 3e-6; // -110 dBFS

// Voiced syllables on a gliding pitch with formant-shaped harmonics, and
// noise bursts between them: what a spoken phrase puts into the frames.
std::vector<float> speech(size_t count, quint32 seed)
{
    std::vector<float> v(count);
    const std::vector<float> hiss = noise(count, seed, 0.15f);
    auto formant = [](double f, double centre, double width) {
        const double x = (f - centre) / width;
        return 1 / (1 + x * x);
    };
    double phase = 0;
    for (size_t i = 0; i < count; ++i) {
        const double t = double(i) / rate;
        const double f0 = 120 + 35 * std::sin(2 * M_PI * 0.7 * t);
        phase += 2 * M_PI * f0 / rate;
        const double syllable = std::max(0.0, std::sin(2 * M_PI * 2.5 * t));
        // sin(h x phase) by the recurrence of the harmonics.
        const double c2 = 2 * std::cos(phase);
        double previous = 0, current = std::sin(phase), voiced = 0;
        for (int h = 1; h * f0 < 5000; ++h) {
            const double f = h * f0;
            voiced += (formant(f, 600, 200) + 0.6 * formant(f, 1700, 250) + 0.3 * formant(f, 2600, 300))
                      * current / h;
            const double next = c2 * current - previous;
            previous = current;
            current = next;
        }
        v[i] = float(0.5 * syllable * voiced + (1 - syllable) * (1 - syllable) * hiss[i]);
    }
    return v;
}

// The first `count` samples of one phrase, made once for every row.
std::vector<float> speechprefix(size_t count)
{
    static const std::vector<float> phrase = speech(size_t(25 * rate), 3);
    return std::vector<float>(phrase.begin(), phrase.begin() + qint64(std::min(count, phrase.size())));
}

// Over the first `seconds` of the layer, or all of `want`.
double worstdifference(layer* l, const std::vector<float>& want, int channels, double seconds = 1e9)
{
    const size_t frames = std::min(want.size() / size_t(channels), size_t(seconds * rate));
    std::vector<float> got(frames * size_t(channels));
    l->read(got.data(), 0, double(frames) / rate, -1, false);
    double worst = 0;
    for (size_t i = 0; i < got.size(); ++i)
        worst = std::max(worst, double(std::fabs(got[i] - want[i])));
    return worst;
}

std::vector<float> contents(layer* l)
{
    std::vector<float> v(size_t(l->fileframes() * l->channels));
    l->read(v.data(), l->start, double(l->fileframes()) / l->samplerate, -1, false);
    return v;
}

QByteArray dbfs(double v)
{
    return QByteArray::number(v > 0 ? 20 * std::log10(v) : -999.0, 'f', 1) + " dBFS";
}

// The allowances of kept frames for one test: "ample" the defaults, "none"
// nothing at all, "shared" a few frames' worth of memory (the rest goes to
// the session folder), back as they were afterwards.
struct Allowance
{
    qint64 memory = keptmemorylimit, disk = keptdisklimit;
    explicit Allowance(const QString& kind)
    {
        if (kind == "none")
            keptmemorylimit = keptdisklimit = 0;
        else if (kind == "shared")
            keptmemorylimit = 64 << 10;
    }
    ~Allowance()
    {
        keptmemorylimit = memory;
        keptdisklimit = disk;
    }
};

// A textbook engine to measure against: least-squares weighted overlap-add
// with the Buffer's analysis window on one channel, keeping nothing between
// edits, each edit made on the analysis of what the last one left.
struct Textbook
{
    int n, hop, f0, f1, b0, b1; // size, hop, the area's frames [f0, f1) and bins [b0, b1]
    std::vector<float> window;
    using Frames = std::vector<std::vector<kiss_fft_cpx>>;

    Textbook(const Buffer& b, const QRectF& area)
        : n(b.fftsize), hop(b.hop()), f0(roundhalfup(area.x() * rate / hop)),
          f1(roundhalfup((area.x() + area.width()) * rate / hop)),
          b0(std::max(b.freqtobin(area.y() + area.height()), 0)), b1(std::min(b.freqtobin(area.y()), n / 2)),
          window(b.analysiswindow, b.analysiswindow + n)
    {
    }
    // Frame j, sample m is sample j * hop - n / 2 + m of the signal.
    Frames analyse(const std::vector<float>& x) const
    {
        kiss_fftr_cfg plan = kiss_fftr_alloc(n, 0, nullptr, nullptr);
        Frames frames(x.size() / size_t(hop) + 2, std::vector<kiss_fft_cpx>(size_t(n / 2 + 1)));
        std::vector<float> in(static_cast<size_t>(n));
        for (size_t j = 0; j < frames.size(); ++j) {
            for (int m = 0; m < n; ++m) {
                const qint64 k = qint64(j) * hop - n / 2 + m;
                in[size_t(m)] = k >= 0 && k < qint64(x.size()) ? x[size_t(k)] * window[size_t(m)] : 0;
            }
            kiss_fftr(plan, in.data(), frames[j].data());
        }
        kiss_fftr_free(plan);
        return frames;
    }
    std::vector<float> synthesise(const Frames& frames, size_t count) const
    {
        kiss_fftr_cfg plan = kiss_fftr_alloc(n, 1, nullptr, nullptr);
        std::vector<double> sum(count), weight(count);
        std::vector<float> out(static_cast<size_t>(n));
        for (size_t j = 0; j < frames.size(); ++j) {
            kiss_fftri(plan, frames[j].data(), out.data());
            for (int m = 0; m < n; ++m)
                if (const qint64 k = qint64(j) * hop - n / 2 + m; k >= 0 && k < qint64(count)) {
                    sum[size_t(k)] += double(out[size_t(m)]) / n * window[size_t(m)];
                    weight[size_t(k)] += double(window[size_t(m)]) * window[size_t(m)];
                }
        }
        kiss_fftr_free(plan);
        std::vector<float> y(count);
        for (size_t k = 0; k < count; ++k)
            y[k] = weight[k] > 0 ? float(sum[k] / weight[k]) : 0;
        return y;
    }
    // `edit(bin of x, bin of y)` on the area's bins of the analysis of `x`.
    template <typename Edit>
    std::vector<float> edited(const std::vector<float>& x, Edit edit, const Frames& y = {}) const
    {
        Frames frames = analyse(x);
        for (int j = f0; j < f1; ++j)
            for (int b = b0; b <= b1; ++b)
                edit(frames[size_t(j)][size_t(b)], y.empty() ? kiss_fft_cpx{} : y[size_t(j)][size_t(b)]);
        return synthesise(frames, x.size());
    }
    std::vector<float> scaled(const std::vector<float>& x, float g) const
    {
        return edited(x, [g](kiss_fft_cpx& v, kiss_fft_cpx) { v = {g * v.r, g * v.i}; });
    }
    // The analysis of a clipboard layer made of the area's bins of `x` times `g`.
    Frames clipboard(const std::vector<float>& x, float g) const
    {
        const Frames whole = analyse(x);
        Frames clip(whole.size(), std::vector<kiss_fft_cpx>(size_t(n / 2 + 1)));
        for (int j = f0; j < f1; ++j)
            for (int b = b0; b <= b1; ++b)
                clip[size_t(j)][size_t(b)] = {g * whole[size_t(j)][size_t(b)].r, g * whole[size_t(j)][size_t(b)].i};
        return analyse(synthesise(clip, x.size()));
    }
    // Cut into the clipboard, pasted back.
    std::vector<float> cutandpaste(const std::vector<float>& x) const
    {
        const std::vector<float> cut = edited(x, [](kiss_fft_cpx& v, kiss_fft_cpx) { v = {}; });
        return edited(cut, [](kiss_fft_cpx& v, kiss_fft_cpx c) { v = c; }, clipboard(x, 1));
    }
    // Times `g` into the clipboard, committed back, as a filter does.
    std::vector<float> committed(const std::vector<float>& x, float g) const
    {
        return edited(x, [](kiss_fft_cpx& v, kiss_fft_cpx c) { v = c; }, clipboard(x, g));
    }
};

double worstof(const std::vector<float>& a, const std::vector<float>& b, size_t count)
{
    double worst = 0;
    for (size_t i = 0; i < std::min({count, a.size(), b.size()}); ++i)
        worst = std::max(worst, double(std::fabs(a[i] - b[i])));
    return worst;
}

} // namespace

class TestBufferEdits : public QObject
{
    Q_OBJECT

    Buffer* buffers[3] = {};
    layer* layers[3] = {};
    // With `shared`, whatever happens between an edit and its inverse, another
    // layer takes the same edit too, through a Buffer of its own.
    bool shared = false;
    Buffer otherbuffer;
    std::vector<float> original;
    int channels = 1;

    // Binds a fresh current layer holding `samples`, an empty clipboard and an
    // empty scratch layer in the mix slot, all with the given transform.
    void setup(const std::vector<float>& samples, int chans, int type, int size, int overlap, int samplerate = rate)
    {
        channels = chans;
        original = samples;
        KeptFrames::beginedit(); // what tests before kept, or forgot, is another edit
        for (int k = 0; k < 3; ++k) {
            buffers[k]->bindlayer(nullptr);
            delete layers[k];
            layers[k] = nullptr;
            buffers[k]->infftparam(type, size, overlap, false);
            buffers[k]->inselection(QRectF());
        }
        layers[1] = makelayer(samples, samplerate, chans).release();
        for (int k : {0, 2}) {
            layers[k] = new layer();
            layers[k]->samplerate = samplerate;
            layers[k]->channels = chans;
        }
        for (int k = 0; k < 3; ++k)
            buffers[k]->bindlayer(layers[k]);
    }

    // Every bin of the rectangle, frame by frame, through the callbacks; the
    // frame of its end too when `lastframe`, as the filters count frames.
    template <typename F>
    void eachbin(const QRectF& area, F f, bool lastframe = false)
    {
        Buffer* b = buffers[1];
        const int hop = b->hop();
        const int f0 = roundhalfup(area.x() * rate / hop);
        const int f1 = roundhalfup((area.x() + area.width()) * rate / hop);
        const int b0 = std::max(b->freqtobin(area.y() + area.height()), 0);
        const int b1 = std::min(b->freqtobin(area.y()), b->fftsize / 2);
        for (int frame = f0; frame < f1 + int(lastframe); ++frame)
            for (int c = 0; c < channels; ++c)
                for (int bin = b0; bin <= b1; ++bin)
                    f(c, frame, bin);
    }

    void scalebins(const QRectF& area, float gain, int from, int to, bool lastframe = false)
    {
        eachbin(
            area,
            [&](int c, int frame, int bin) {
                const QVector2D v = getbincb(from, c, frame, bin);
                setbincb(to, c, frame, bin, gain * v.x(), gain * v.y());
            },
            lastframe);
    }

    // What may happen between an edit and its inverse. `before` is the
    // current layer as it was before the edit, for an undo and a redo.
    void between(const QString& what, const std::vector<float>& before, const QRectF& other)
    {
        layer* current = layers[1];
        if (shared) {
            layer otherlayer;
            otherlayer.samplerate = rate;
            otherlayer.channels = channels;
            otherlayer.write(original.data(), 0, double(original.size()) / channels / rate);
            otherbuffer.infftparam(buffers[1]->windowtype, buffers[1]->fftsize, buffers[1]->overlap, false);
            otherbuffer.bindlayer(&otherlayer);
            // In the other area's band from the start to its end: more than the edit.
            eachbin(QRectF(0, other.y(), other.right(), other.height()), [&](int c, int frame, int bin) {
                const QVector2D v = otherbuffer.getbin(c, frame, bin);
                otherbuffer.setbin(c, frame, bin, 2 * v.x(), 2 * v.y());
            });
            otherbuffer.bindlayer(nullptr);
        }
        if (what == "undo/redo") {
            const std::vector<float> after = contents(current);
            for (const auto* v : {&before, &after}) {
                current->write(v->data(), current->start, current->length);
                buffers[1]->indatareset();
            }
        } else if (what == "other area") {
            scalebins(other, 2, 1, 1);
            buffers[1]->flush();
        }
        layer spare;
        spare.samplerate = rate;
        spare.channels = channels;
        for (int k = 0; k < 3; ++k) {
            Buffer* b = buffers[k];
            if (what == "rebind") {
                b->bindlayer(&spare);
                b->bindlayer(layers[k]);
            } else if (what == "window move") {
                b->getsample(0, 60 * rate);
            } else if (what == "parameters") {
                const int size = b->fftsize, overlap = b->overlap, type = b->windowtype;
                b->infftparam((type + 1) % 5, size > 64 ? size / 2 : 128, overlap == 2 ? 4 : 2, false);
                b->infftparam(type, size, overlap, false);
            }
        }
    }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void roundTrips_data();
    void roundTrips();
    void identity_data();
    void identity();
    void editedBinsReadBackAfterTheWindowMoved();
    void hundredRounds_data();
    void hundredRounds();
    void smallMemoryKeepsEditsExact();
    void forgottenEditsGoWhole();
    void timeMovedUnderAnEdit();
    void movesLeaveNoHole_data();
    void movesLeaveNoHole();
    void editsStayLocal();
    void longEditsStayExact_data();
    void longEditsStayExact();
};

void TestBufferEdits::initTestCase()
{
    kvtestfolders();
    for (int k = 0; k < 3; ++k) {
        buffers[k] = new Buffer();
        slottable.buffer[k] = buffers[k];
    }
}

void TestBufferEdits::cleanupTestCase()
{
    for (int k = 0; k < 3; ++k) {
        slottable.buffer[k] = nullptr;
        delete buffers[k];
        delete layers[k];
    }
}

void TestBufferEdits::roundTrips_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("overlap");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("band");
    QTest::addColumn<bool>("voice");
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<QString>("memory");
    // Every size with every overlap; window types, bands, signals, lengths,
    // what happens between an edit and its inverse and the kept frames'
    // allowance take turns so that each appears with small and large windows.
    const QStringList betweens = {"nothing", "undo/redo", "rebind", "window move", "parameters", "other area"};
    const QStringList memories = {"ample", "none", "shared"};
    // Lengths fall with the overlap, which multiplies the bins per second;
    // the longer rectangles are band-limited, which keeps their bins few.
    int row = 0;
    for (int size : {256, 2048, 4096, 65536})
        for (int overlap : {2, 4, 16}) {
            const bool band = row % 2 == 1;
            const double seconds = overlap == 2 ? (band ? 4 : 2) : overlap == 4 ? 2 : (band ? 2 : 0.5);
            const int type = row % 5;
            const bool voice = (row / 2) % 2 == 1;
            const QString& between = betweens[(row * 5) % 6];
            const QString& memory = memories[(row * 7 / 3) % 3];
            QTest::addRow("%d/%d %gs type %d%s%s, %s between, %s memory", size, overlap, seconds, type,
                          band ? " band" : "", voice ? " speech" : " noise", qPrintable(between), qPrintable(memory))
                << size << overlap << seconds << type << band << voice << between << memory;
            ++row;
        }
    QTest::newRow("4096/4 20s speech band, undo/redo between, shared memory")
        << 4096 << 4 << 20.0 << 4 << true << true << QString("undo/redo") << QString("shared");
    // Wider than the window holds at once: an edit is written back in parts.
    QTest::newRow("65536/4 2s type 0 band noise, nothing between, no memory")
        << 65536 << 4 << 2.0 << 0 << true << false << QString("nothing") << QString("none");
    // Far more kept frames than the clipboard's own samples take.
    QTest::newRow("4096/16 30s speech band, window move between, ample memory")
        << 4096 << 16 << 30.0 << 4 << true << true << QString("window move") << QString("ample");
}

// +6/-6 dB through a clipboard commit as a filter makes it, cut + paste in
// place, +6/-6 dB through the bins, and a move there and back (in time, and
// with a band in frequency too) compared with a plain copy: each gives the
// layer back to -100 dBFS, whatever happened between the edit and its inverse.
// With nothing kept each is within 3 dB of a textbook engine's. A move gives
// the clipboard the samples of a copy moved by as many frames, kept or not.
void TestBufferEdits::roundTrips()
{
    QFETCH(int, size);
    QFETCH(int, overlap);
    QFETCH(double, seconds);
    QFETCH(int, type);
    QFETCH(bool, band);
    QFETCH(bool, voice);
    QFETCH(QString, meanwhile);
    QFETCH(QString, memory);
    const Allowance allowance(memory);
    shared = memory == "shared";
    const bool kept = memory != "none";
    const double margin = 1.0 + double(size) / rate;
    // Where the hop allows, a move time that is an exact half frame: the
    // move back by the same time must take the same count.
    const int hop = size / overlap;
    const double move = hop <= 512 ? hop / 256.0 : 0.75;
    const size_t frames = size_t((seconds + 3 * margin + move + 0.5) * rate);
    const std::vector<float> samples = voice ? speechprefix(frames) : noise(frames, 3, 0.5f);
    setup(samples, 1, type, size, overlap);
    const QRectF area =
        band ? QRectF(margin, 7000, seconds, -3000) : QRectF(margin, rate / 2.0, seconds, -rate / 2.0);
    // Another area, which the edit "other area" changes; the checks end well before it.
    const QRectF other(area.right() + margin, 5000, 0.5, -2000);
    const size_t checked = size_t((other.x() - margin / 2) * rate);
    auto worst = [&](layer* l, const std::vector<float>& want) {
        return worstdifference(l, want, 1, other.x() - margin / 2);
    };
    std::vector<float> before = contents(layers[1]);

    // x2 and x0.5 through the clipboard and a commit, as filters do, first,
    // while every frame is still the analysis of the layer.
    for (float g : {2.0f, 0.5f}) {
        if (g < 1)
            between(meanwhile, before, other);
        before = contents(layers[1]);
        transferareacb(2, 2, QRectF(), 0, 0, 0, 0);
        scalebins(area, g, 1, 2, true);
        transferareacb(2, 1, area, 0, 5, 0, 0);
    }
    const double filter = worst(layers[1], original);

    // Cut into the clipboard, paste back.
    setup(samples, 1, type, size, overlap);
    before = contents(layers[1]);
    transferareacb(1, 2, area, 0, 4, 0, 0);
    QVERIFY(worst(layers[1], original) > 1e-3); // the cut took something
    between(meanwhile, before, other);
    transferareacb(2, 1, area, 0, 5, 0, 0);
    const double cut = worst(layers[1], original);

    // The same on the current layer's bins.
    setup(samples, 1, type, size, overlap);
    before = contents(layers[1]);
    scalebins(area, 2, 1, 1);
    buffers[1]->flush();
    between(meanwhile, before, other);
    scalebins(area, 0.5f, 1, 1);
    buffers[1]->flush();
    const double gain = worst(layers[1], original);

    // A move there and back equals a plain copy; by half a bin up too within
    // a band. There, the clipboard holds what a move by no time gives.
    setup(samples, 1, type, size, overlap);
    const float dtime = float(move);
    const float dfreq = band ? 0.5f * rate / size : 0;
    const int count = roundhalfup(double(dtime) * rate / hop);
    std::vector<float> copy(frames);
    transferareacb(1, 0, area, 0, 5, 0, 0);
    layers[0]->read(copy.data(), 0, double(frames) / rate, -1, false);
    transferareacb(0, 0, QRectF(), 0, 0, 0, 0);
    transferareacb(1, 0, area, 0, 1, 0, dfreq);
    const double unmovedstart = layers[0]->start, unmovedlength = layers[0]->length;
    const std::vector<float> unmoved = contents(layers[0]);
    transferareacb(0, 0, QRectF(), 0, 0, 0, 0);
    transferareacb(2, 2, QRectF(), 0, 0, 0, 0);
    transferareacb(1, 2, area, 0, 1, dtime, dfreq);
    QCOMPARE(roundhalfup64((layers[2]->start - unmovedstart) * rate), qint64(count) * hop);
    QCOMPARE(roundhalfup64(layers[2]->length * rate), roundhalfup64(unmovedlength * rate));
    const double clipboard = worstof(contents(layers[2]), unmoved, unmoved.size());
    between(meanwhile, contents(layers[1]), other);
    transferareacb(2, 0, area.translated(double(count) * hop / rate, band ? double(rate) / size : 0), 0, 1,
                   -dtime, -dfreq);
    const double moved = worst(layers[0], copy);

    qInfo("cut+paste %s, bins %s, commit %s, move %s, moved clipboard %s", dbfs(cut).data(), dbfs(gain).data(),
          dbfs(filter).data(), dbfs(moved).data(), dbfs(clipboard).data());
    QVERIFY2(clipboard < exact, "moved clipboard: " + dbfs(clipboard));
    if (kept) {
        QVERIFY2(cut < exact, "cut + paste: " + dbfs(cut));
        QVERIFY2(gain < exact, "bins x2 x0.5: " + dbfs(gain));
        QVERIFY2(filter < exact, "commit x2 x0.5: " + dbfs(filter));
        QVERIFY2(moved < exact, "move there and back: " + dbfs(moved));
        return;
    }
    const Textbook textbook(*buffers[1], area);
    const double bookcut = worstof(textbook.cutandpaste(samples), samples, checked);
    const double bookgain = worstof(textbook.scaled(textbook.scaled(samples, 2), 0.5f), samples, checked);
    const double bookcommit = worstof(textbook.committed(textbook.committed(samples, 2), 0.5f), samples, checked);
    qInfo("textbook: cut+paste %s, bins %s, commit %s", dbfs(bookcut).data(), dbfs(bookgain).data(),
          dbfs(bookcommit).data());
    QVERIFY2(cut < std::max(M_SQRT2 * bookcut, exact), "cut + paste: " + dbfs(cut) + " textbook " + dbfs(bookcut));
    QVERIFY2(gain < std::max(M_SQRT2 * bookgain, exact), "bins x2 x0.5: " + dbfs(gain) + " textbook " + dbfs(bookgain));
    QVERIFY2(filter < std::max(M_SQRT2 * bookcommit, exact),
             "commit x2 x0.5: " + dbfs(filter) + " textbook " + dbfs(bookcommit));
}

void TestBufferEdits::identity_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("overlap");
    for (int size : {256, 2048, 4096, 65536})
        for (int overlap : {2, 4, 16})
            QTest::addRow("%d/%d", size, overlap) << size << overlap;
}

// Every bin read and written back unchanged, then every sample of a span
// under a band-limited selection, with nothing kept: the layer stays as it
// was, to the byte.
void TestBufferEdits::identity()
{
    QFETCH(int, size);
    QFETCH(int, overlap);
    const Allowance nothing("none");
    const size_t frames = size_t(7 * rate);
    setup(speechprefix(frames), 1, 4, size, overlap);
    const LayerState was = state(layers[1]);
    scalebins(QRectF(1.0, rate / 2.0, 1, -rate / 2.0), 1, 1, 1);
    const QRectF band(2.0, 7000, 3, -4000);
    buffers[1]->inselection(band);
    scalebins(band, 1, 1, 1);
    buffers[1]->flush();
    const double bins = worstdifference(layers[1], original, 1);
    // Past a top of the cache window (2.73 s long, centred on the first).
    for (int s = 2 * rate; s < 3.6 * rate; ++s)
        setsamplecb(1, 0, s, getsamplecb(1, 0, s));
    buffers[1]->inselection(QRectF());
    QVERIFY2(bins == 0, "bins: " + dbfs(bins));
    QVERIFY(state(layers[1]) == was);
}

// A zeroed frame and a bin set ten times louder read back as written after
// the window went far away and came back.
void TestBufferEdits::editedBinsReadBackAfterTheWindowMoved()
{
    const size_t frames = size_t(12 * rate);
    setup(noise(frames, 7, 0.5f), 1, 4, 2048, 4);
    Buffer* b = buffers[1];
    const int frame = roundhalfup(2.0 * rate / b->hop());
    const QVector2D loud = 10 * b->getbin(0, frame + 3, 40);
    for (int bin = 0; bin <= 1024; ++bin)
        b->setbin(0, frame, bin, 0, 0);
    b->setbin(0, frame + 3, 40, loud.x(), loud.y());
    b->getsample(0, 10 * rate); // far away: written back, window moved
    QVERIFY(b->cachestartsample > frame * b->hop());
    double energy = 0;
    for (int bin = 0; bin <= 1024; ++bin)
        energy += b->getbin(0, frame, bin).lengthSquared();
    QCOMPARE(energy, 0.0);
    QCOMPARE(b->getbin(0, frame + 3, 40), loud);
}

void TestBufferEdits::hundredRounds_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("overlap");
    QTest::addColumn<QString>("between"); // edits, rounds, sizes
    QTest::addColumn<QString>("memory");
    QTest::newRow("reset between edits") << 32768 << 4 << "edits" << "ample";
    QTest::newRow("size changed between rounds") << 4096 << 4 << "sizes" << "ample";
    QTest::newRow("nothing between") << 2048 << 16 << "" << "ample";
    QTest::newRow("nothing kept, reset between rounds") << 4096 << 16 << "rounds" << "none";
    // Nothing kept and a reset between x2 and x0.5: what an edit leaves
    // outside its area is never undone, by any engine that keeps nothing,
    // and grows by every round; it must grow no faster than a textbook's.
    QTest::newRow("nothing kept, reset between edits") << 2048 << 4 << "edits" << "none";
}

// 100 rounds of x2 and x0.5 on one area never drift beyond the error of one
// round (within float rounding), however the cache went between them.
void TestBufferEdits::hundredRounds()
{
    QFETCH(int, size);
    QFETCH(int, overlap);
    QFETCH(QString, between);
    QFETCH(QString, memory);
    const Allowance allowance(memory);
    const bool textbook = memory == "none" && between == "edits";
    const double margin = 1.0 + double(size) / rate;
    setup(noise(size_t((2 * margin + 2) * rate), 5, 0.5f), 1, 2, size, overlap);
    // Nothing kept: an area that the cache window holds whole.
    const QRectF area(margin, 5000, memory == "none" && !textbook ? 0.5 : 1.5, -600);
    const Textbook book(*buffers[1], area);
    std::vector<float> reference = original;
    double first = 0;
    for (int round = 0; round < (textbook ? 10 : 100); ++round) {
        for (float g : {2.0f, 0.5f}) {
            scalebins(area, g, 1, 1);
            buffers[1]->flush();
            if (between == "edits")
                buffers[1]->indatareset();
            if (textbook)
                reference = book.scaled(reference, g);
        }
        if (round == 0)
            first = worstdifference(layers[1], original, 1);
        if (between == "sizes")
            buffers[1]->infftparam(2, round % 2 ? size : size / 2, overlap, false);
        else if (between == "rounds")
            buffers[1]->indatareset();
    }
    const double last = worstdifference(layers[1], original, 1);
    qInfo("one round %s, last round %s", dbfs(first).data(), dbfs(last).data());
    if (textbook) {
        const double book10 = worstof(reference, original, original.size());
        qInfo("textbook after 10 rounds %s", dbfs(book10).data());
        QVERIFY2(last < M_SQRT2 * book10, dbfs(last) + " textbook " + dbfs(book10));
        return;
    }
    QVERIFY2(first < exact, dbfs(first));
    QVERIFY2(last < (between.isEmpty() ? 3.2e-5 : std::max(2 * first, 1e-7)), dbfs(last)); // -90, -140 dBFS
}

// With room for almost nothing in memory, what edits leave goes to the
// session folder, at most as much as the layer's file, and still comes back:
// bins written twice read back as written last after the window went away
// and back, writing them back as read changes no byte of the layer, and an
// edit and its inverse stay exact.
void TestBufferEdits::smallMemoryKeepsEditsExact()
{
    const auto restore = qScopeGuard([limit = keptmemorylimit] { keptmemorylimit = limit; });
    keptmemorylimit = 64 << 10;
    setup(noise(size_t(12 * rate), 9, 0.5f), 1, 4, 2048, 4);
    Buffer* b = buffers[1];
    const QRectF area(2.0, 9000, 2, -6000);
    for (float v : {5.0f, -3.0f}) {
        eachbin(area, [&](int c, int frame, int bin) { setbincb(1, c, frame, bin, v, v); });
        b->getsample(0, 10 * rate); // written back, kept, window elsewhere
    }
    bool last = true;
    eachbin(area, [&](int c, int frame, int bin) { last = last && getbincb(1, c, frame, bin) == QVector2D(-3, -3); });
    QVERIFY(last);
    const LayerState written = state(layers[1]);
    scalebins(QRectF(0, rate / 2.0, 12, -rate / 2.0), 1, 1, 1);
    b->flush();
    QVERIFY(state(layers[1]) == written);
    const std::vector<float> edited = contents(layers[1]);
    const QRectF later(7.0, 7000, 3, -4000);
    for (float g : {2.0f, 0.5f}) {
        scalebins(later, g, 1, 1);
        b->flush(); // reset drops what is not written back
        b->indatareset();
    }
    const KeptFrames* kept = layers[1]->keptframes.get();
    QVERIFY(kept && kept->diskbytes() > 0 && kept->memorybytes() <= keptmemorylimit);
    QVERIFY2(worstdifference(layers[1], edited, 1) < exact, dbfs(worstdifference(layers[1], edited, 1)));

    // A band 70 dB under a loud tone of the same frames: its edit is more
    // than the transforms' rounding, and is kept.
    std::vector<float> quiet = noise(size_t(12 * rate), 10, 3e-4f);
    for (size_t i = 0; i < quiet.size(); ++i)
        quiet[i] += 0.9f * float(std::sin(2 * M_PI * 440 * double(i) / rate));
    setup(quiet, 1, 4, 2048, 4);
    for (float g : {2.0f, 0.5f}) {
        scalebins(later, g, 1, 1);
        b->indatareset();
    }
    const double under = worstdifference(layers[1], original, 1);
    qInfo("band under a tone: %s", dbfs(under).data());
    QVERIFY2(under < exact, dbfs(under));

    // A disk with less room than the reserve takes nothing: memory holds
    // what fits, the rest is forgotten.
    const auto reserve = qScopeGuard([r = keptdiskreserve] { keptdiskreserve = r; });
    keptdiskreserve = std::numeric_limits<qint64>::max() / 2;
    setup(noise(size_t(12 * rate), 9, 0.5f), 1, 4, 2048, 4);
    scalebins(later, 2, 1, 1);
    b->reload();
    kept = layers[1]->keptframes.get();
    QVERIFY(kept && kept->diskbytes() == 0 && kept->memorybytes() <= keptmemorylimit);
}

// With room for about one edit, the edit used least recently is forgotten
// whole: its inverse is a textbook engine's, never worse, the newer edit's
// stays exact, and a paste keeps the cut it reads from whatever it keeps.
void TestBufferEdits::forgottenEditsGoWhole()
{
    const Allowance allowance("shared");
    setup(noise(size_t(14 * rate), 11, 0.5f), 1, 4, 2048, 4);
    const QRectF a(1.0, 9000, 2, -6000), b(5.0, 9000, 2, -6000), c(9.0, 9000, 2, -6000);
    auto store = [this] { return layers[1]->keptframes->diskbytes() + layers[1]->keptframes->memorybytes(); };
    auto edit = [this](const QRectF& area, float g) {
        scalebins(area, g, 1, 1);
        buffers[1]->reload(); // nothing stays in the window
        KeptFrames::beginedit();
    };
    edit(a, 2);
    keptdisklimit = store() * 3 / 2;
    edit(b, 2);
    edit(b, 0.5f);
    edit(a, 0.5f);
    const Textbook book(*buffers[1], a);
    const double forgotten = worstdifference(layers[1], original, 1, 4.0);
    const double textbook = worstof(book.scaled(book.scaled(original, 2), 0.5f), original, size_t(4 * rate));
    qInfo("forgotten %s (textbook %s)", dbfs(forgotten).data(), dbfs(textbook).data());
    QVERIFY2(forgotten > exact && forgotten < M_SQRT2 * textbook, dbfs(forgotten) + " textbook " + dbfs(textbook));
    std::vector<float> later(contents(layers[1]));
    later.erase(later.begin(), later.begin() + 4 * rate);
    std::vector<float> want(original.begin() + 4 * rate, original.end());
    QVERIFY2(worstof(later, want, want.size()) < exact, dbfs(worstof(later, want, want.size())));

    const std::vector<float> before = contents(layers[1]);
    transferareacb(1, 2, c, 0, 4, 0, 0);
    buffers[2]->reload();
    transferareacb(2, 1, c, 0, 5, 0, 0);
    QVERIFY2(worstof(contents(layers[1]), before, before.size()) < exact,
             dbfs(worstof(contents(layers[1]), before, before.size())));
    QVERIFY(layers[1]->keptframes->memorybytes() <= keptmemorylimit);
}

// Frames kept of an edit follow Insert and Remove Time of whole hops before
// it, so that its inverse stays exact; after a shift of a fraction of a hop
// its inverse is a textbook engine's; a removal takes their room along.
void TestBufferEdits::timeMovedUnderAnEdit()
{
    const Allowance allowance("shared");
    setup(noise(size_t(8 * rate), 12, 0.5f), 1, 4, 2048, 4);
    const int hop = buffers[1]->hop();
    const QRectF area(3.0, 9000, 2, -6000);
    for (const int inserted : {40 * hop, rate}) {
        setup(original, 1, 4, 2048, 4);
        const std::vector<float> source = original;
        scalebins(area, 2, 1, 1);
        buffers[1]->reload();
        layers[1]->inserttime(1.0, double(inserted) / rate);
        std::vector<float> want = source;
        want.insert(want.begin() + rate, size_t(inserted), 0.0f);
        const QRectF moved = area.translated(double(inserted) / rate, 0);
        scalebins(moved, 0.5f, 1, 1);
        buffers[1]->flush();
        const double error = worstof(contents(layers[1]), want, want.size());
        if (inserted % hop == 0) {
            QVERIFY2(error < exact, dbfs(error));
            continue;
        }
        const Textbook book(*buffers[1], area), later(*buffers[1], moved);
        std::vector<float> doubled = book.scaled(source, 2);
        doubled.insert(doubled.begin() + rate, size_t(inserted), 0.0f);
        const double textbook = worstof(later.scaled(doubled, 0.5f), want, want.size());
        qInfo("inverse after %d samples inserted: %s (textbook %s)", inserted, dbfs(error).data(), dbfs(textbook).data());
        QVERIFY2(error < M_SQRT2 * textbook, dbfs(error) + " textbook " + dbfs(textbook));
    }
    buffers[1]->reload();
    const qint64 spilled = layers[1]->keptframes->diskbytes();
    layers[1]->removetime(2.0, 5.0);
    QVERIFY(spilled > 0 && layers[1]->keptframes->diskbytes() < spilled / 2);
}

void TestBufferEdits::movesLeaveNoHole_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("overlap");
    QTest::addColumn<bool>("band");
    QTest::addColumn<double>("hops"); // the move, given as seconds in a float
    QTest::newRow("2048/4 full band +3.5 hops") << 2048 << 4 << false << 3.5;
    QTest::newRow("2048/4 band -0.5 hop") << 2048 << 4 << true << -0.5;
    QTest::newRow("4096/16 full band -7.5 hops") << 4096 << 16 << false << -7.5;
    QTest::newRow("4096/16 band +0.5 hop") << 4096 << 16 << true << 0.5;
    QTest::newRow("65536/4 full band +1.5 hops") << 65536 << 4 << false << 1.5;
    QTest::newRow("65536/4 band -2.5 hops") << 65536 << 4 << true << -2.5;
}

// A 30 s move with nothing kept, in parts as the cache walks: the clipboard
// holds the samples of the area moved by as many frames as the shift's
// half-up count, with no hole, and so does a paste of it into an empty layer.
void TestBufferEdits::movesLeaveNoHole()
{
    QFETCH(int, size);
    QFETCH(int, overlap);
    QFETCH(bool, band);
    QFETCH(double, hops);
    const Allowance nothing("none");
    constexpr int samplerate = 16000;
    const double margin = 2.0 + double(size) / samplerate;
    setup(noise(size_t((30 + 2 * margin + 6) * samplerate), 13, 0.5f), 1, 4, size, overlap, samplerate);
    const int hop = size / overlap;
    const QRectF area = band ? QRectF(margin, 5000, 30, -4000) : QRectF(margin, samplerate / 2.0, 30, -samplerate / 2.0);
    const int count = hops < 0 ? -int(std::ceil(-hops)) : int(std::ceil(hops));
    const double shift = double(count) * hop / samplerate;
    auto extent = [](layer* l) { return std::pair<qint64, qint64>(roundhalfup64(l->start * samplerate), l->fileframes()); };
    transferareacb(1, 2, area, 0, 1, 0, 0);
    const std::vector<float> clip = contents(layers[2]);
    const auto clipextent = extent(layers[2]);
    // Pasted from the clipboard's samples alone: what its cache still holds
    // of the transfer depends on which way the transfer went.
    buffers[2]->reload();
    transferareacb(2, 0, area, 0, 5, 0, 0);
    const std::vector<float> paste = contents(layers[0]);
    const auto pasteextent = extent(layers[0]);
    for (int k : {0, 2})
        transferareacb(k, k, QRectF(), 0, 0, 0, 0);
    transferareacb(1, 2, area, 0, 1, float(hops * hop / samplerate), 0);
    buffers[2]->reload();
    transferareacb(2, 0, area.translated(shift, 0), 0, 5, 0, 0);
    const qint64 by = qint64(count) * hop;
    using Extent = std::pair<qint64, qint64>;
    QCOMPARE(extent(layers[2]), Extent(clipextent.first + by, clipextent.second));
    QCOMPARE(extent(layers[0]), Extent(pasteextent.first + by, pasteextent.second));
    const double moved = worstof(contents(layers[2]), clip, clip.size());
    const double pasted = worstof(contents(layers[0]), paste, paste.size());
    qInfo("clipboard %s, paste %s", dbfs(moved).data(), dbfs(pasted).data());
    QVERIFY2(moved < exact, "clipboard: " + dbfs(moved));
    QVERIFY2(pasted < exact, "paste: " + dbfs(pasted));
}

// A cut changes nothing beyond one hop outside the frames it edited.
void TestBufferEdits::editsStayLocal()
{
    const size_t frames = size_t(12 * rate);
    setup(noise(frames, 8, 0.5f), 1, 2, 4096, 4);
    const int hop = buffers[1]->hop();
    const QRectF area(1.3, 9000, 5, -6000);
    const int first = roundhalfup(area.x() * rate / hop);
    const int end = roundhalfup((area.x() + area.width()) * rate / hop);
    transferareacb(1, 2, area, 0, 4, 0, 0);
    std::vector<float> got(frames);
    layers[1]->read(got.data(), 0, double(frames) / rate, -1, false);
    int low = int(frames), high = -1;
    for (int s = 0; s < int(frames); ++s)
        if (got[size_t(s)] != original[size_t(s)]) {
            low = std::min(low, s);
            high = std::max(high, s);
        }
    QVERIFY(high > low);
    QVERIFY2(low >= (first - 2) * hop && high < (end + 1) * hop,
             QByteArray::number(low) + ".." + QByteArray::number(high));
}

void TestBufferEdits::longEditsStayExact_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("overlap");
    QTest::addColumn<int>("seconds"); // of stereo edited, in all
    QTest::newRow("2048/4") << 2048 << 4 << 600;
    QTest::newRow("4096/16") << 4096 << 16 << 120;
    QTest::newRow("65536/4") << 65536 << 4 << 120;
}

// With the default allowance, band edits of a stereo layer that add up to
// minutes are all undone exactly by their inverses, the earliest last but
// first undone, after everything that may happen between: undo and redo,
// another layer edited as much, a rebind, the window moved, other transform
// parameters and back, time inserted and removed after them.
void TestBufferEdits::longEditsStayExact()
{
    QFETCH(int, size);
    QFETCH(int, overlap);
    QFETCH(int, seconds);
    const double margin = 1.0 + double(size) / rate;
    // A 2 s edit, then minutes in one-minute edits with a gap between (each
    // edit's frames cover samples of its neighbours' otherwise).
    std::vector<QRectF> areas = {QRectF(margin, 5000, 2, -4000)};
    for (int done = 2; done < seconds; done += 60)
        areas.push_back(QRectF(areas.back().right() + margin, 5000, std::min(60, seconds - done), -4000));
    const double end = areas.back().right() + margin;
    setup(noise(size_t(2 * (end + 2) * rate), 21, 0.5f), 2, 4, size, overlap);
    const std::vector<float> before = contents(layers[1]);
    for (const QRectF& area : areas) {
        scalebins(area, 2, 1, 1);
        buffers[1]->flush();
        KeptFrames::beginedit();
    }
    shared = true;
    between("undo/redo", before, QRectF(0, 5000, end, -4000));
    shared = false;
    for (const char* what : {"rebind", "window move", "parameters"})
        between(what, before, QRectF());
    buffers[1]->flush();
    buffers[1]->indatareset();
    layers[1]->inserttime(end + 0.5, 1.0);
    layers[1]->removetime(end + 0.5, 1.0);
    double first = 0;
    for (const QRectF& area : areas) {
        scalebins(area, 0.5f, 1, 1);
        buffers[1]->flush();
        KeptFrames::beginedit();
        if (first == 0)
            first = worstdifference(layers[1], original, 2, (areas[0].right() + areas[1].x()) / 2);
    }
    const double all = worstdifference(layers[1], original, 2);
    const KeptFrames* kept = layers[1]->keptframes.get();
    qInfo("%d s: earliest edit %s, all %s; kept %.0f MB on disk, %.1f MB in memory", seconds, dbfs(first).data(), dbfs(all).data(),
          kept ? kept->diskbytes() / 1e6 : 0.0, kept ? kept->memorybytes() / 1e6 : 0.0);
    QVERIFY2(first < exact && all < exact, dbfs(first) + ", " + dbfs(all));
}

QTEST_GUILESS_MAIN(TestBufferEdits)
#include "tst_buffer_edits.moc"
