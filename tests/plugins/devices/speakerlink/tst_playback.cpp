// speakerlink playing through OpenAL Soft's wave back end, which writes what
// the device plays, in real time, to a file that the tests read back.
#include <AL/al.h>
#include <AL/alc.h>

#include "speakerlinktest.h"

namespace {

const double unset = 2147418112.0;

} // namespace

class TestPlayback : public QObject
{
    Q_OBJECT

    QPluginLoader loader;
    DeviceInterface* device = nullptr;
    QString wavepath;
    QString devicename;
    double referencelevel = 0; // mean square of a 0.5 mono sine played straight through OpenAL

    // Opens the device, runs what is given, closes it (which completes the
    // file) and reads the file back.
    bool played(const std::function<void()>& run, WaveData& wave)
    {
        if (!device->playOpen(devicename))
            return false;
        run();
        device->playClose(devicename);
        return readwave(wavepath, wave) && wave.channels == 2;
    }

    static std::size_t margin(const WaveData& wave) { return std::size_t(wave.rate / 50); }

private slots:
    void initTestCase()
    {
        wavepath = QDir::tempPath() + "/played.wav";
        configureopenal("[general]\ndrivers=wave\n[wave]\nfile=" + QFile::encodeName(wavepath) + "\n");
        device = loadspeakerlink(loader);
        QVERIFY(device);
        QVERIFY(device->initialize(speakerlinkpath(), nullptr));
        QCOMPARE(device->name, QStringLiteral("OpenAL"));
        QCOMPARE(device->category, QStringLiteral("OpenAL"));
        QCOMPARE(device->playdevices, QStringList{QStringLiteral("OpenAL Soft")});
        QVERIFY(device->recorddevices.isEmpty());
        devicename = device->playdevices.first();

        // The level to expect: the same 16-bit tone queued by the test itself.
        WaveData wave;
        QVERIFY(played(playreferencetone, wave));
        const std::vector<float> left = wave.channel(0);
        const ToneSpan span = tonespan(left, wave.rate);
        QVERIFY(span.seconds(wave.rate) > 0.25);
        referencelevel = meansquare(left, span.first + margin(wave), span.end - margin(wave));
        QVERIFY(referencelevel > 0.001);
    }

    void frame()
    {
        QObject* object = loader.instance();
        QCOMPARE(object->metaObject()->className(), "DevicePlugin");
        QCOMPARE(object->metaObject()->methodCount(), QObject::staticMetaObject.methodCount());
        void* asinterface = static_cast<void*>(device);
        QCOMPARE(object->qt_metacast("DeviceInterface"), asinterface);
        QCOMPARE(object->qt_metacast("com.MURROWGATE.Korvane.Plugin.DeviceInterface/1.0"), asinterface);
        QCOMPARE(object->qt_metacast("com.MURROWGATE.Korvane.Plugin.ToolInterface/1.0"), nullptr);
        QPluginLoader second(speakerlinkpath());
        QCOMPARE(second.instance(), object);
        QVERIFY(!device->playSettings());
        QVERIFY(!device->recordSettings());
    }

    void playsMonoToneAndTracksPosition()
    {
        feedmonotone(device, 0.8f);
        device->buffergain[0] = 0.5f; // with the volume below: 0.5 in all
        RunCells cells;
        cells.volume = 1.25f;
        RunResult run;
        WaveData wave;
        QVERIFY(played([&] { run = playrun(device, 0, 0, QRectF(0, 22050, 1.0, -22050), cells); }, wave));
        QVERIFY(run.ok);
        QCOMPARE(feed.buffersasked.load(), 1 << 0);
        QCOMPARE(feed.othercallbacks.load(), 0);

        const std::vector<float> left = wave.channel(0);
        const std::vector<float> right = wave.channel(1);
        const ToneSpan span = tonespan(left, wave.rate);
        QVERIFY2(std::fabs(span.seconds(wave.rate) - 1.0) < 0.03, qPrintable(QString::number(span.seconds(wave.rate))));
        QCOMPARE(span.loud, span.blocks); // no break in the tone
        const std::size_t from = span.first + margin(wave);
        const std::size_t to = span.end - margin(wave);
        QVERIFY(toneshare(left, from, to, 1000, wave.rate) > 0.95);
        QVERIFY(std::fabs(crossingfrequency(left, from, to, wave.rate) - 1000) < 10);
        const double level = meansquare(left, from, to);
        QVERIFY2(std::fabs(level / referencelevel - 1) < 0.03,
                 qPrintable(QString("level %1, reference %2").arg(level).arg(referencelevel)));
        QVERIFY(std::fabs(meansquare(right, from, to) / level - 1) < 0.01); // mono sounds on both sides

        // The position follows what sounds: it never goes back, moves on
        // during the run and ends exactly at the range's end.
        QVERIFY(!run.limited);
        QCOMPARE(cells.currenttime, 1.0);
        int moves = 0;
        for (std::size_t i = 0; i < run.times.size(); ++i) {
            QVERIFY(run.times[i] >= 0 && run.times[i] <= 1.0);
            if (i > 0) {
                QVERIFY(run.times[i] >= run.times[i - 1]);
                moves += run.times[i] > run.times[i - 1] ? 1 : 0;
            }
        }
        QVERIFY2(moves >= 5, qPrintable(QString::number(moves)));
        QCOMPARE(livesources(), 0);
    }

    // 96 kHz goes out at 48 kHz, every second sample; a channel switched off
    // sounds nowhere and is not even read.
    void highRateStereoWithChannelOff()
    {
        const QRectF range(0, 48000, 0.4, -48000);
        for (int mask : {0x3, 0x1}) {
            feed.reset(96000);
            feed.frequency[0][0] = 1000;
            feed.amplitude[0][0] = 0.5f;
            feed.frequency[0][1] = 2500;
            feed.amplitude[0][1] = 0.5f;
            fillblock(device, 96000, 2, mask);
            RunCells cells;
            RunResult run;
            WaveData wave;
            QVERIFY(played([&] { run = playrun(device, 0, 0, range, cells); }, wave));
            QVERIFY(run.ok);
            QCOMPARE(feed.channelsasked.load(), mask);
            std::vector<float> both = wave.channel(0);
            const std::vector<float> right = wave.channel(1);
            for (std::size_t i = 0; i < both.size(); ++i)
                both[i] += right[i];
            const ToneSpan span = tonespan(both, wave.rate);
            QVERIFY2(std::fabs(span.seconds(wave.rate) - 0.4) < 0.03, qPrintable(QString::number(span.seconds(wave.rate))));
            const std::size_t from = span.first + margin(wave);
            const std::size_t to = span.end - margin(wave);
            const double low = toneshare(both, from, to, 1000, wave.rate);
            const double high = toneshare(both, from, to, 2500, wave.rate);
            if (mask == 0x3) {
                QVERIFY2(low > 0.3 && high > 0.3, qPrintable(QString("%1 %2").arg(low).arg(high)));
            } else {
                QVERIFY(low > 0.95);
                QVERIFY2(high < 0.001, qPrintable(QString::number(high)));
            }
            QCOMPARE(cells.currenttime, 0.4);
        }
    }

    // Seven channels on the host's speakers FL FR FC LFE BL BR BC reach the
    // matching places of OpenAL's 6.1 order (FL FR FC LFE BC SL SR); five on
    // FL FR FC BL BR, which OpenAL has no format for, play as a stereo
    // down-mix: the back left tone sounds on the left, the centre tone in
    // the middle.
    void sevenChannelsReachTheirSpeakers_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("speakers");
        QTest::addColumn<int>("surround"); // the channel on a left surround speaker
        QTest::addColumn<int>("centre");   // the channel on a centre speaker
        QTest::newRow("6.1") << 7 << 0x13F << 4 << 6;
        QTest::newRow("5.0, mixed down") << 5 << 0x37 << 3 << 2;
    }

    void sevenChannelsReachTheirSpeakers()
    {
        QFETCH(int, channels);
        QFETCH(int, speakers);
        QFETCH(int, surround);
        QFETCH(int, centre);
        feed.reset(44100);
        feed.frequency[0][surround] = 1000;
        feed.amplitude[0][surround] = 0.5f;
        feed.frequency[0][centre] = 2500;
        feed.amplitude[0][centre] = 0.5f;
        fillblock(device, 44100, channels, 0x7F);
        device->speakermask = speakers;
        RunCells cells;
        RunResult run;
        WaveData wave;
        QVERIFY(played([&] { run = playrun(device, 0, 0, QRectF(0, 22050, 0.4, -22050), cells); }, wave));
        QVERIFY(run.ok);
        const std::vector<float> left = wave.channel(0);
        const std::vector<float> right = wave.channel(1);
        std::vector<float> both = left;
        for (std::size_t i = 0; i < both.size(); ++i)
            both[i] += right[i];
        const ToneSpan span = tonespan(both, wave.rate);
        QVERIFY(std::fabs(span.seconds(wave.rate) - 0.4) < 0.03);
        const std::size_t from = span.first + margin(wave);
        const std::size_t to = span.end - margin(wave);
        auto power = [&](const std::vector<float>& side, double f) {
            return meansquare(side, from, to) * toneshare(side, from, to, f, wave.rate);
        };
        const QString levels = QString("left surround %1 : %2, centre %3 : %4")
                                   .arg(power(left, 1000)).arg(power(right, 1000))
                                   .arg(power(left, 2500)).arg(power(right, 2500));
        QVERIFY2(power(left, 1000) > 4 * power(right, 1000), qPrintable(levels));
        QVERIFY2(std::fabs(power(left, 2500) / power(right, 2500) - 1) < 0.2, qPrintable(levels));
    }

    void clipboardPlaysItsOwnBuffer()
    {
        feed.reset(44100);
        feed.frequency[0][0] = 1000;
        feed.amplitude[0][0] = 0.5f;
        feed.frequency[2][0] = 1500;
        feed.amplitude[2][0] = 1.0f;
        fillblock(device, 44100, 1, 0x1);
        device->buffergain[2] = 0.5f;
        RunCells cells;
        cells.currenttime = 0.5; // clipboards keep their own place on the timeline
        RunResult run;
        WaveData wave;
        QVERIFY(played([&] { run = playrun(device, 2, 0, QRectF(0.5, 22050, 0.3, -22050), cells); }, wave));
        QVERIFY(run.ok);
        QCOMPARE(feed.buffersasked.load(), 1 << 2);
        QCOMPARE(feed.firstindex.load(), 22050LL);
        const std::vector<float> left = wave.channel(0);
        const ToneSpan span = tonespan(left, wave.rate);
        QVERIFY(std::fabs(span.seconds(wave.rate) - 0.3) < 0.03);
        const std::size_t from = span.first + margin(wave);
        const std::size_t to = span.end - margin(wave);
        QVERIFY(toneshare(left, from, to, 1500, wave.rate) > 0.95);
        QVERIFY(std::fabs(meansquare(left, from, to) / referencelevel - 1) < 0.03);
        QCOMPARE(cells.currenttime, 0.8);
    }

    // A loop plays its range again and again, without a break and with only
    // a few buffers alive at any time, until the stop flag comes from
    // another thread.
    void loopPlaysUntilStopped()
    {
        feedmonotone(device);
        const QRectF range(0.1, 22050, 0.25, -22050);
        RunCells cells;
        cells.currenttime = 0.1;
        int mostbuffers = 0;
        int seenwraps = 0;
        double last = 0.1;
        RunResult run;
        WaveData wave;
        QVERIFY(played(
            [&] {
                // Stopped once the range came round five times.
                run = playrun(device, 0, 1, range, cells, [&](RunCells& c) {
                    const double now = std::atomic_ref<double>(c.currenttime).load();
                    if (now > 0.1)
                        mostbuffers = std::max(mostbuffers, livebuffers());
                    seenwraps += now < last ? 1 : 0;
                    last = now;
                    if (seenwraps >= 5)
                        std::atomic_ref<bool>(c.stop).store(true);
                });
            },
            wave));
        QVERIFY(run.ok);
        QVERIFY(!run.limited);
        QVERIFY2(mostbuffers >= 1 && mostbuffers <= 4, qPrintable(QString::number(mostbuffers)));
        QCOMPARE(livebuffers(), 0);
        int wraps = 0;
        for (std::size_t i = 0; i < run.times.size(); ++i) {
            QVERIFY(run.times[i] >= 0.1 && run.times[i] <= 0.35);
            if (i > 0 && run.times[i] < run.times[i - 1])
                wraps++;
        }
        QVERIFY(wraps >= 3);
        const std::vector<float> left = wave.channel(0);
        const ToneSpan span = tonespan(left, wave.rate);
        QVERIFY2(span.seconds(wave.rate) > 1.0, qPrintable(QString::number(span.seconds(wave.rate))));
        QCOMPARE(span.loud, span.blocks);
        QVERIFY(toneshare(left, span.first + margin(wave), span.end - margin(wave), 1000, wave.rate) > 0.95);
    }

    void stopEndsRunPromptly()
    {
        feedmonotone(device);
        RunCells cells;
        double stoppedat = 0;
        RunResult run;
        WaveData wave;
        QVERIFY(played(
            [&] {
                run = playrun(device, 0, 0, QRectF(0, 22050, 5.0, -22050), cells, [&](RunCells& c) {
                    const double now = std::atomic_ref<double>(c.currenttime).load();
                    if (now > 0.2 && stoppedat == 0) {
                        stoppedat = now;
                        std::atomic_ref<bool>(c.stop).store(true);
                    }
                });
            },
            wave));
        QVERIFY(run.ok);
        QVERIFY(!run.limited);
        // Stopped, not finished: the position stays where playing stopped,
        // and what sounded after the stop is no more than what was queued.
        QVERIFY2(cells.currenttime >= stoppedat && cells.currenttime < stoppedat + 1.0,
                 qPrintable(QString::number(cells.currenttime)));
        const ToneSpan span = tonespan(wave.channel(0), wave.rate);
        QVERIFY2(span.seconds(wave.rate) < stoppedat + 1.0, qPrintable(QString::number(span.seconds(wave.rate))));
        QCOMPARE(livesources(), 0);
        QCOMPARE(livebuffers(), 0);
    }

    // A damaged file's 2^31 Hz must not size the buffers: half a second of it
    // would be a gigabyte read sample by sample before the stop is seen.
    void absurdRateIsPlayedInBoundedBuffers()
    {
        feed.reset(INT_MAX);
        feed.frequency[0][0] = 1000;
        feed.amplitude[0][0] = 0.5f;
        fillblock(device, INT_MAX, 1, 0x1);
        RunCells cells;
        RunResult run;
        WaveData wave;
        QVERIFY(played(
            [&] {
                run = playrun(device, 0, 0, QRectF(0, 22050, 1.0, -22050), cells, [](RunCells& c) {
                    if (feed.calls.load() > 0)
                        std::atomic_ref<bool>(c.stop).store(true);
                });
            },
            wave));
        QVERIFY(run.ok);
        // The stop is seen after at most the few buffers a run holds queued.
        QVERIFY2(feed.calls.load() <= 4 * 384000, qPrintable(QString::number(feed.calls.load())));
        QVERIFY(cells.currenttime < 1.0);
        QCOMPARE(livesources(), 0);
        QCOMPARE(livebuffers(), 0);
    }

    // A host that answers slowly lets the source run dry; the run starts it
    // again when the next buffer arrives and still plays to the end.
    void sourceThatRanDryIsRestarted()
    {
        feedmonotone(device);
        feed.stallindex = 66150; // the first sample of the fourth buffer
        feed.stallms = 1300;
        RunCells cells;
        RunResult run;
        WaveData wave;
        QVERIFY(played(
            [&] {
                // A source never started again would hold the run until the limit.
                run = playrun(device, 0, 0, QRectF(0, 22050, 1.6, -22050), cells);
            },
            wave));
        QVERIFY(run.ok);
        QVERIFY(!run.limited);
        QCOMPARE(cells.currenttime, 1.6);
        for (std::size_t i = 1; i < run.times.size(); ++i)
            QVERIFY(run.times[i] >= run.times[i - 1]);
        const ToneSpan span = tonespan(wave.channel(0), wave.rate);
        QVERIFY2(span.loud < span.blocks - 10, qPrintable(QString("%1 of %2").arg(span.loud).arg(span.blocks)));
        QVERIFY2(std::abs(span.loud - 160) <= 3, qPrintable(QString::number(span.loud))); // all of it sounded
    }

    void refusalsAndNothingToPlay()
    {
        feedmonotone(device);
        const QRectF range(0, 22050, 0.3, -22050);
        RunCells cells;
        cells.currenttime = 0.125;
        auto start = [&](qint32 layertype, QRectF r) {
            return device->playStart(devicename, layertype, 0, r, &cells.currenttime, &cells.volume, &cells.stop);
        };

        QVERIFY(!start(0, range)); // nothing open
        QVERIFY(device->playOpen(devicename));
        QVERIFY(!device->playOpen(devicename)); // open already
        for (int channels : {0, 9}) {
            fillblock(device, 44100, channels, 0xFF);
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("speakerlink: .*channels"));
            QVERIFY(!start(0, range));
        }
        fillblock(device, 0, 1, 0x1);
        QVERIFY(!start(0, range));
        fillblock(device, 44100, 1, 0x1);
        QVERIFY(!start(3, range));
        QVERIFY(!start(-1, range));
        QVERIFY(!device->playStart(devicename, 0, 0, range, nullptr, &cells.volume, &cells.stop));
        QCOMPARE(cells.currenttime, 0.125);

        // Nothing to play: stop set on entry, position at or past the end, the
        // range of an empty clipboard (it ends at the negative unset marker).
        cells.stop = true;
        QVERIFY(start(0, range));
        cells.stop = false;
        cells.currenttime = 0.3;
        QVERIFY(start(0, range));
        QVERIFY(start(2, QRectF(unset, 22050, -unset - unset, -22050)));
        QVERIFY(start(0, QRectF(0, 22050, unset, -22050)));
        QCOMPARE(cells.currenttime, 0.3);
        QCOMPARE(feed.calls.load(), 0LL);
        QCOMPARE(livesources(), 0);

        // An unset position is no place on the timeline: play from the start.
        cells.currenttime = unset;
        QVERIFY(start(0, QRectF(0.1, 22050, 0.15, -22050)));
        QCOMPARE(cells.currenttime, 0.25);
        QCOMPARE(feed.firstindex.load(), 4410LL);

        // No capture back end here; the record run refuses cleanly.
        QVERIFY(device->recordOpen(devicename));
        QVERIFY(!device->recordStart(devicename, 1, 0, range, &cells.currenttime, &cells.volume, &cells.stop));
        QVERIFY(device->recordClose(devicename));
        QVERIFY(device->playClose(devicename));
        QVERIFY(device->playClose(devicename));
        QVERIFY(!device->recordStart(devicename, 1, 0, range, &cells.currenttime, &cells.volume, &cells.stop));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("speakerlink: .*Loudspeaker"));
        QVERIFY(!device->playOpen(QStringLiteral("Loudspeaker")));
        QVERIFY(!device->playOpen(QString()));
        QVERIFY(device->playOpen(devicename)); // nothing was left half open
        QVERIFY(device->playClose(devicename));
    }

    void tenRunsLeaveNothingBehind()
    {
        feedmonotone(device);
        QVERIFY(device->playOpen(devicename));
        for (int i = 0; i < 10; ++i) {
            RunCells cells;
            const bool interrupt = i % 2 == 1;
            const RunResult run = playrun(device, 0, 0, QRectF(0, 22050, 0.1, -22050), cells,
                                          [&](RunCells& c) {
                                              if (interrupt && std::atomic_ref<double>(c.currenttime).load() > 0.02)
                                                  std::atomic_ref<bool>(c.stop).store(true);
                                          });
            QVERIFY(run.ok);
            if (!interrupt)
                QCOMPARE(cells.currenttime, 0.1);
            QCOMPARE(livesources(), 0);
            QCOMPARE(livebuffers(), 0);
        }
        QVERIFY(device->playClose(devicename));
    }
};

QTEST_GUILESS_MAIN(TestPlayback)
#include "tst_playback.moc"
