#include <QFile>
#include <QtEndian>

#include <cmath>

#include "plugins/filters/filterhost.h"

using namespace filtertest;

// The spectrum export loaded from the installation root and run as the host
// runs it on a three-channel layer of half a second at 48000 Hz (window 4096,
// overlap 4, so the hop is 1024 samples): a 1000 Hz tone in channel 0, noise
// in channel 1, a sum of sines in channel 2. The files are read back.
class TestFloatmapdump : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void identityAndCancel();
    void wholeLayer();
    void selection();
    void fileNames_data();
    void fileNames();
    void existingFilesAskFirst();
    void cannotWrite();
    void noChannelSwitchedOn();

private:
    struct Picture
    {
        int width = 0, height = 0;
        QByteArray header;
        std::vector<float> pixels; // rows of width, first row first
        bool ok = false;
    };
    static Picture readpfm(const QString& path);
    bool run(const QString& name, int channelmask);
    // Every pixel of a picture against the magnitudes of the current layer.
    void compare(const Picture& picture, int channel, int firstframe, int topbin);

    LoadedFilter loaded;
    FilterInterface* filter = nullptr;
    SlotRig rig;
    std::vector<float> interleaved;
};

constexpr int rate = 48000;
constexpr int length = rate / 2;
constexpr int fftsize = 4096;
constexpr int hop = 1024;

TestFloatmapdump::Picture TestFloatmapdump::readpfm(const QString& path)
{
    Picture p;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return p;
    const QByteArray bytes = file.readAll();
    // "Pf <width> <height> <scale> " and then the pixels.
    int spaces = 0, end = 0;
    while (end < bytes.size() && spaces < 4)
        if (bytes[end++] == ' ')
            ++spaces;
    p.header = bytes.left(end);
    const QList<QByteArray> fields = p.header.split(' ');
    if (fields.size() < 4 || fields[0] != "Pf" || fields[3] != "-1")
        return p;
    p.width = fields[1].toInt();
    p.height = fields[2].toInt();
    const qsizetype count = qsizetype(p.width) * p.height;
    if (bytes.size() != end + count * 4)
        return p;
    p.pixels.resize(size_t(count));
    for (qsizetype i = 0; i < count; ++i)
        p.pixels[size_t(i)] = qFromLittleEndian<float>(bytes.constData() + end + i * 4);
    p.ok = true;
    return p;
}

bool TestFloatmapdump::run(const QString& name, int channelmask)
{
    fileanswer = [name](bool save) { return save ? name : QString(); };
    rig.fill(*filter, channelmask);
    return filter->process();
}

void TestFloatmapdump::compare(const Picture& picture, int channel, int firstframe, int topbin)
{
    int wrong = 0;
    for (int r = 0; r < picture.height; ++r)
        for (int p = 0; p < picture.width; ++p) {
            const QVector2D v = getbincb(1, channel, firstframe + r, topbin - p);
            const float want = std::sqrt(v.x() * v.x() + v.y() * v.y());
            if (picture.pixels[size_t(r) * picture.width + p] != want)
                ++wrong;
        }
    QCOMPARE(wrong, 0);
}

void TestFloatmapdump::initTestCase()
{
    hostfolders("floatmapdump");
    filter = loaded.load(QStringLiteral("floatmapdump"));
    QVERIFY(filter);
    QVERIFY(!filter->previewhook);
    const std::vector<float> n = noise(length, 5, 0.4f);
    const std::vector<float> s = sines(length, rate);
    interleaved.resize(size_t(length) * 3);
    for (int i = 0; i < length; ++i) {
        interleaved[size_t(i) * 3] = float(0.5 * std::sin(2 * M_PI * 1000.0 * i / rate));
        interleaved[size_t(i) * 3 + 1] = n[size_t(i)];
        interleaved[size_t(i) * 3 + 2] = s[size_t(i)];
    }
}

void TestFloatmapdump::init()
{
    forget();
    rig.setup(interleaved, rate, 3, fftsize, 4);
}

void TestFloatmapdump::identityAndCancel()
{
    QCOMPARE(filter->name, QString("IO Export Bitmap"));
    QCOMPARE(filter->category, QString("IO"));
    QCOMPARE(filter->label, QString("Export Bitmap"));
    QVERIFY(!run(QString(), 0b111));
    QCOMPARE(seen.dialogs, 0);
    QCOMPARE(seen.filecaptions, QStringList{"Export bitmap"});
    QCOMPARE(seen.filefilters, QStringList{"Portable Float Map (*.pfm)"});
    QVERIFY(QDir::temp().entryList({"*.pfm"}, QDir::Files).isEmpty());
}

void TestFloatmapdump::wholeLayer()
{
    const QString base = QDir::tempPath() + "/whole";
    QVERIFY(run(base + ".pfm", 0b101));
    QCOMPARE(seen.notices, QStringList{"Exporting..."});
    QVERIFY(QFile::exists(base + "-chan0.pfm"));
    QVERIFY(!QFile::exists(base + "-chan1.pfm"));
    QVERIFY(QFile::exists(base + "-chan2.pfm"));

    // The whole layer: bins from the Nyquist bin down to bin 1, frames counted
    // from 0 over its length.
    const int frames = int(std::floor(double(length) / hop + 0.5));
    for (int c : {0, 2}) {
        const Picture picture = readpfm(base + QString("-chan%1.pfm").arg(c));
        QVERIFY(picture.ok);
        QCOMPARE(picture.header, QByteArray("Pf 2048 %1 -1 ").replace("%1", QByteArray::number(frames)));
        compare(picture, c, 0, fftsize / 2);
    }
    // The tone at 1000 Hz is bin 85 of 4096: the brightest pixel of a row is
    // 2048 - 85 from the row's start.
    const Picture tone = readpfm(base + "-chan0.pfm");
    const auto row = tone.pixels.begin() + 10 * tone.width;
    QCOMPARE(int(std::max_element(row, row + tone.width) - row), 2048 - 85);
    // Nothing of the layer changed.
    QCOMPARE(rig.current(0, 0, length), readlayer(rig.layers[0].get(), 0, length, 0));
}

void TestFloatmapdump::selection()
{
    // Four hops wide from 0.1 s, 1000 Hz to 2000 Hz: frames 5 to 8, bins 171
    // down to 87.
    rig.select(QRectF(0.1, 2000, 4.0 * hop / rate, -1000));
    const QString base = QDir::tempPath() + "/part";
    QVERIFY(run(base + ".pfm", 0b010));
    const Picture picture = readpfm(base + "-chan1.pfm");
    QVERIFY(picture.ok);
    QCOMPARE(picture.header, QByteArray("Pf 85 4 -1 "));
    QCOMPARE(QFileInfo(base + "-chan1.pfm").size(), qint64(11 + 85 * 4 * 4));
    compare(picture, 1, 5, 171);
    QVERIFY(*std::max_element(picture.pixels.begin(), picture.pixels.end()) > 0.0f);
}

void TestFloatmapdump::fileNames_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");
    QTest::newRow("with extension") << "spectrum.pfm" << "spectrum-chan0.pfm";
    QTest::newRow("upper case extension") << "LOUD.PFM" << "LOUD-chan0.pfm";
    // A name without the extension keeps every character.
    QTest::newRow("no extension") << "ab" << "ab-chan0.pfm";
    QTest::newRow("other extension") << "map.dat" << "map.dat-chan0.pfm";
}

void TestFloatmapdump::fileNames()
{
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    QVERIFY(run(QDir::tempPath() + "/" + chosen, 0b001));
    QVERIFY(QFile::exists(QDir::tempPath() + "/" + written));
    QVERIFY(readpfm(QDir::tempPath() + "/" + written).ok);
}

static bool earlierfile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("earlier") == 7;
}

static QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

// The files written are not the name chosen: one question names those that
// exist, before any is touched.
void TestFloatmapdump::existingFilesAskFirst()
{
    QDir dir(QDir::tempPath() + "/asked");
    QVERIFY(dir.mkpath("."));
    QVERIFY(earlierfile(dir.filePath("map-chan0.pfm")));
    QVERIFY(!run(dir.filePath("map.pfm"), 0b011));
    QCOMPARE(seen.titles, QStringList{"Export Bitmap"});
    const QString earlier = QDir::toNativeSeparators(dir.filePath("map-chan0.pfm"));
    QCOMPARE(seen.texts.value(0), "These files already exist:\n" + earlier + "\nDo you want to replace them?");
    QCOMPARE(contents(dir.filePath("map-chan0.pfm")), QByteArray("earlier"));
    QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden), QStringList{"map-chan0.pfm"});
    QVERIFY(seen.notices.isEmpty());

    questionanswer = QMessageBox::Yes;
    QVERIFY(run(dir.filePath("map.pfm"), 0b011));
    QCOMPARE(seen.titles.size(), 2);
    QVERIFY(readpfm(dir.filePath("map-chan0.pfm")).ok);
    QVERIFY(readpfm(dir.filePath("map-chan1.pfm")).ok);
    QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden), (QStringList{"map-chan0.pfm", "map-chan1.pfm"}));
}

void TestFloatmapdump::cannotWrite()
{
    QVERIFY(!run(QDir::tempPath() + "/missing/folder/x.pfm", 0b011));
    QCOMPARE(seen.titles, QStringList{"Export Bitmap"});
    QVERIFY(seen.texts.value(0).contains("could not be written"));
    QVERIFY(seen.notices.isEmpty());

    // Channel 1's file cannot be written (a folder holds its name): channel 0's
    // earlier file is kept as it was and channel 2's is not made.
    forget();
    questionanswer = QMessageBox::Yes;
    QDir dir(QDir::tempPath() + "/blocked");
    QVERIFY(dir.mkpath("map-chan1.pfm/inside"));
    QVERIFY(earlierfile(dir.filePath("map-chan0.pfm")));
    QVERIFY(!run(dir.filePath("map.pfm"), 0b111));
    QCOMPARE(seen.titles, QStringList{"Export Bitmap"});
    QVERIFY2(seen.texts.value(0).contains("map-chan1.pfm could not be written"), qPrintable(seen.texts.value(0)));
    QCOMPARE(contents(dir.filePath("map-chan0.pfm")), QByteArray("earlier"));
    QCOMPARE(dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{"map-chan0.pfm", "map-chan1.pfm"}));
}

void TestFloatmapdump::noChannelSwitchedOn()
{
    QVERIFY(!run(QDir::tempPath() + "/none.pfm", 0));
    QCOMPARE(seen.titles, QStringList{"No channel selected"});
    QVERIFY(seen.filecaptions.isEmpty());
}

QTEST_MAIN(TestFloatmapdump)
#include "tst_floatmapdump.moc"
