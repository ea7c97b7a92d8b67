// The transport end to end: layers bound to the controller, played by the
// speakerlink plugin in the controller's device thread, through OpenAL Soft's
// wave back end, which writes what sounds to a file that is read back.
#include "transportrig.h"
#include "wavereadback.h"

namespace {

// Left and right of the file added up: a mono stream sounds on both sides,
// a stereo one on its own side.
std::vector<float> bothsides(const WaveData& wave)
{
    std::vector<float> sum = wave.channel(0);
    const std::vector<float> right = wave.channel(1);
    for (std::size_t i = 0; i < sum.size() && i < right.size(); ++i)
        sum[i] += right[i];
    return sum;
}

} // namespace

class TestTransport : public QObject
{
    Q_OBJECT

    QPluginLoader loader;
    DeviceInterface* speakerlink = nullptr;
    QString wavepath;
    double referencelevel = 0;

    bool readplayed(WaveData& wave) { return readwave(wavepath, wave) && wave.channels == 2; }
    std::size_t margin(const WaveData& wave) const { return std::size_t(wave.rate / 50); }

    // A rig whose playback device is the speakerlink entry, opened for the
    // project of `l` (bound as the current layer or into the mix).
    std::unique_ptr<TransportRig> rig(layer* l, bool current)
    {
        auto r = std::make_unique<TransportRig>();
        r->choose(speakerlink, QStringLiteral("OpenAL Soft"), false);
        if (!r->add(l, current))
            return nullptr;
        return r;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(transporttestsetup());
        wavepath = QDir::tempPath() + "/played.wav";
        configureopenal("[general]\ndrivers=wave\n[wave]\nfile=" + QFile::encodeName(wavepath) + "\n");

        // The level a 0.5 mono tone reaches when queued straight onto OpenAL.
        referencelevel = referencetonelevel(wavepath);
        QVERIFY(referencelevel > 0.001);

        speakerlink = loaddevice(loader, QStringLiteral(KV_TEST_ROOT "/Plugins/Devices/speakerlink"));
        QVERIFY(speakerlink);
        QCOMPARE(speakerlink->playdevices, QStringList{"OpenAL Soft"});
    }

    void cleanup() { selection = QRectF(0, 0, 0, 0); }

    // One second of a 1 kHz layer sounds for one second at its level; the
    // position reported to the views moves on and ends at the range's end,
    // and the run ends by itself with the cursor back at the time cursor.
    void playsTheCurrentLayer()
    {
        auto r = rig(tonelayer(44100, 1, 0, 1.0, 1000, 0.5f), true);
        QVERIFY(r);
        QSignalSpy cursor(r->gui, &SpectrumGui::outdevicecursor);
        r->action(0)->trigger();
        QCOMPARE(r->gui->transportmode, 0);
        QVERIFY(!r->gui->stopflag());
        QCOMPARE(r->gui->playrange, QRectF(0, 22050, 1.0, -22050));
        QVERIFY(r->idle());
        QCOMPARE(r->gui->devicetime(), r->gui->timecursor);

        const QList<double> times = runcursor(cursor);
        QVERIFY2(times.size() >= 8, qPrintable(QString::number(times.size())));
        for (qsizetype i = 1; i < times.size(); ++i)
            QVERIFY(times[i] >= times[i - 1]);
        QVERIFY(times.first() < 0.3 && times.last() > 0.7 && times.last() <= 1.0);
        qsizetype last = cursor.size() - 1;
        while (!cursor[last][2].toBool())
            --last;
        QCOMPARE(cursor[last + 1][0].toDouble(), 1.0); // where the run stopped
        QCOMPARE(cursor.last()[0].toDouble(), 0.0);   // and where the cursor rests

        QVERIFY(r->closeproject());
        WaveData wave;
        QVERIFY(readplayed(wave));
        const std::vector<float> left = wave.channel(0);
        const ToneSpan span = tonespan(left, wave.rate);
        QVERIFY2(std::fabs(span.seconds(wave.rate) - 1.0) < 0.03, qPrintable(QString::number(span.seconds(wave.rate))));
        QCOMPARE(span.loud, span.blocks);
        const std::size_t from = span.first + margin(wave), to = span.end - margin(wave);
        QVERIFY(toneshare(left, from, to, 1000, wave.rate) > 0.95);
        const double level = meansquare(left, from, to);
        QVERIFY2(std::fabs(level / referencelevel - 1) < 0.05,
                 qPrintable(QString("level %1, reference %2").arg(level).arg(referencelevel)));
        QVERIFY(sessionlog().contains("Device PlayStart &quot;OpenAL Soft&quot;"));
        QVERIFY(r->asked.isEmpty());
    }

    // The mix of a stereo layer with its second channel switched off in the
    // channel panel: that channel's tone sounds nowhere; the volume dial's
    // gain reaches the device.
    void maskedChannelIsSilent()
    {
        auto* l = makelayer(44100, 2, 0, 22050, [](int k, int c) {
            return 0.5f * float(std::sin(2 * M_PI * (c == 0 ? 1000 : 2500) * k / 44100));
        });
        auto r = rig(l, false);
        QVERIFY(r);
        r->gui->inchannelactive(1, false);
        r->gui->involume(-6); // half the amplitude
        r->action(0)->trigger();
        QCOMPARE(r->gui->devicelayer, 0);
        QVERIFY(r->idle());
        QVERIFY(r->closeproject());
        WaveData wave;
        QVERIFY(readplayed(wave));
        const std::vector<float> both = bothsides(wave);
        const ToneSpan span = tonespan(both, wave.rate);
        QVERIFY(std::fabs(span.seconds(wave.rate) - 0.5) < 0.03);
        const std::size_t from = span.first + margin(wave), to = span.end - margin(wave);
        QVERIFY(toneshare(both, from, to, 1000, wave.rate) > 0.95);
        QVERIFY2(toneshare(both, from, to, 2500, wave.rate) < 0.001,
                 qPrintable(QString::number(toneshare(both, from, to, 2500, wave.rate))));
        // A stereo stream goes to its sides unpanned: a sine of 0.5 at half
        // the volume has the mean square 0.25^2 / 2.
        const double level = meansquare(wave.channel(0), from, to);
        QVERIFY2(std::fabs(level / 0.03125 - 1) < 0.03, qPrintable(QString::number(level)));
    }

    // Loop plays the range again and again until the same action stops it.
    void loopPlaysUntilStopped()
    {
        auto r = rig(tonelayer(44100, 1, 0, 0.4, 1000), true);
        QVERIFY(r);
        QSignalSpy cursor(r->gui, &SpectrumGui::outdevicecursor);
        r->action(2)->trigger();
        const auto wraps = [&cursor] {
            const QList<double> times = runcursor(cursor);
            int count = 0;
            for (qsizetype i = 1; i < times.size(); ++i)
                count += times[i] < times[i - 1] ? 1 : 0;
            return count;
        };
        QTRY_VERIFY_WITH_TIMEOUT(wraps() >= 3, 30000);
        QCOMPARE(r->gui->transportmode, 2);
        QVERIFY(!r->gui->stopflag());
        r->action(2)->trigger();
        QCOMPARE(r->gui->transportmode, -1);
        QVERIFY(!sessionlog().contains("Device did not return")); // the stop waited for it
        QVERIFY(r->closeproject());
        WaveData wave;
        QVERIFY(readplayed(wave));
        const ToneSpan span = tonespan(wave.channel(0), wave.rate);
        // More than two passes of the 0.4 s range sounded without a gap.
        QVERIFY2(span.seconds(wave.rate) > 1.0, qPrintable(QString::number(span.seconds(wave.rate))));
    }

    // The clipboard plays its own extent and content, then the cursor goes
    // back to the time cursor and the play button is reset.
    void playsTheClipboard()
    {
        auto r = rig(tonelayer(44100, 1, 0, 1.0, 1000), true);
        QVERIFY(r);
        layer* clip = slottable.bound[2];
        QVERIFY(clip);
        std::unique_ptr<layer> content(tonelayer(44100, 1, 0.25, 0.5, 2000));
        const std::vector<float> samples = readrange(content.get(), 0.25, 22050);
        clip->write(samples.data(), 0.25, 0.5);
        slottable.buffer[2]->indatareset();
        QSignalSpy reset(r->gui, &SpectrumGui::outplayreset);
        r->action(3)->trigger();
        QCOMPARE(r->gui->devicelayer, 2);
        QCOMPARE(r->gui->devicetime(), 0.25);
        QVERIFY(r->idle());
        QCOMPARE(reset.count(), 1);
        QCOMPARE(r->gui->devicetime(), r->gui->timecursor);
        QVERIFY(r->closeproject());
        WaveData wave;
        QVERIFY(readplayed(wave));
        const std::vector<float> left = wave.channel(0);
        const ToneSpan span = tonespan(left, wave.rate);
        QVERIFY(std::fabs(span.seconds(wave.rate) - 0.5) < 0.03);
        const std::size_t from = span.first + margin(wave), to = span.end - margin(wave);
        QVERIFY(toneshare(left, from, to, 2000, wave.rate) > 0.95);
    }

    // A stop ends the run at once and the device thread is back, its last
    // position written, before the stop returns; with "pause" the next play
    // goes on from there. Another mode started while one runs ends with the
    // new one running: a loop started from a play still runs after the end
    // that the play would have reached.
    void stopPauseAndSwitch()
    {
        auto r = rig(tonelayer(44100, 1, 0, 3.0, 1000), true);
        QVERIFY(r);
        r->gui->inpause(2);
        QVERIFY(QSettings().value("pause").toBool());
        r->action(0)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(r->gui->devicetime() > 0.1, 30000);
        r->action(0)->trigger();
        QCOMPARE(r->gui->transportmode, -1);
        QVERIFY(!sessionlog().contains("Device did not return"));
        const double paused = r->gui->devicetime();
        QVERIFY2(paused > 0.1 && paused < 3.0, qPrintable(QString::number(paused)));
        // The device thread is back and what it sent is in: nothing moves the time now.
        QVERIFY(r->gui->waitdevice(30000));
        QCoreApplication::processEvents();
        QCOMPARE(r->gui->devicetime(), paused);

        QSignalSpy cursor(r->gui, &SpectrumGui::outdevicecursor);
        r->action(0)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!runcursor(cursor).isEmpty(), 30000);
        QVERIFY(runcursor(cursor).first() >= paused - 0.01);
        r->action(1)->trigger();
        QCOMPARE(r->gui->transportmode, 1);
        r->action(2)->trigger();
        QCOMPARE(r->gui->transportmode, 2);
        // The loop came back to the start of the range: the play would have ended there.
        cursor.clear();
        const auto wrapped = [&cursor] {
            const QList<double> times = runcursor(cursor);
            for (qsizetype i = 1; i < times.size(); ++i)
                if (times[i] < times[i - 1])
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(wrapped(), 30000);
        QCOMPARE(r->gui->transportmode, 2);
        QVERIFY(!r->gui->stopflag());

        r->action(-1)->trigger(); // rewind stops
        QCOMPARE(r->gui->transportmode, -1);
        QCOMPARE(r->gui->devicetime(), r->gui->timecursor);
        QVERIFY(r->closeproject());
        WaveData wave;
        QVERIFY(readplayed(wave));
        QVERIFY(tonespan(wave.channel(0), wave.rate).loud > 150); // above 1.5 s of tone
    }

    // Four seconds of the mix: the cache window (three seconds) moves on
    // during the run and the tone goes on without a break; the view scrolls
    // along; with "pause" set, reaching the end still returns the position
    // to the time cursor.
    void longPlayHasNoBreak()
    {
        auto r = rig(tonelayer(44100, 1, 0, 4.0, 1000), false);
        QVERIFY(r);
        r->gui->inpause(2);
        r->gui->inscroll(2);
        r->gui->indisplayarea(QRectF(0, 22050, 1.0, -22050));
        r->gui->inmouseevent(QPointF(0.75, 1000), 0.0f, 0, 0, false); // a pointer over the view
        QSignalSpy pointer(r->gui, &SpectrumGui::outmouseevent);
        r->action(0)->trigger();
        QVERIFY(r->idle());
        QCOMPARE(r->gui->devicetime(), r->gui->timecursor);
        // The view followed the play position, and the read-out with it: the
        // pointer stays three quarters into the view, never past its end.
        const QRectF shown = r->gui->displayarea;
        QVERIFY2(shown.x() > 1.5, qPrintable(QString::number(shown.x())));
        QVERIFY(pointer.count() >= 2);
        QVERIFY2(std::fabs(r->gui->mouseposition.x() - (shown.x() + 0.75 * shown.width())) < 1e-9,
                 qPrintable(QString::number(r->gui->mouseposition.x())));
        QVERIFY(r->closeproject());
        WaveData wave;
        QVERIFY(readplayed(wave));
        const std::vector<float> left = wave.channel(0);
        const ToneSpan span = tonespan(left, wave.rate);
        QVERIFY2(std::fabs(span.seconds(wave.rate) - 4.0) < 0.05, qPrintable(QString::number(span.seconds(wave.rate))));
        QCOMPARE(span.loud, span.blocks);
        // Every tenth of a second on its own: a repeated or skipped piece
        // of audio would break the tone somewhere.
        const std::size_t step = std::size_t(wave.rate / 10);
        for (std::size_t at = span.first + margin(wave); at + step < span.end - margin(wave); at += step)
            QVERIFY2(toneshare(left, at, at + step, 1000, wave.rate) > 0.95, qPrintable(QString::number(at)));
    }

    // A selection gives the range, clipped to the project; play starts at
    // its start when the position lies before it or past its end.
    void selectionGivesTheRange()
    {
        auto r = rig(tonelayer(44100, 1, 0.5, 1.5, 1000), true); // 0.5 to 2.0 s
        QVERIFY(r);
        r->gui->inpause(2);
        selection = QRectF(1.0, 30000, 0.4, -29000);
        r->action(0)->trigger();
        QCOMPARE(r->gui->devicetime(), 1.0);
        QCOMPARE(r->gui->playrange, QRectF(1.0, 22050, 0.4, -21050));
        r->action(0)->trigger();
        r->gui->setdevicetime(1.7); // past the selection's end
        r->action(0)->trigger();
        QCOMPARE(r->gui->devicetime(), 1.0);
        r->action(0)->trigger();

        selection = QRectF(0.2, 22050, 2.5, -22050); // beyond both ends of the project
        r->gui->timecursor = 0;
        r->gui->setdevicetime(0);
        r->action(0)->trigger();
        QCOMPARE(r->gui->devicetime(), 0.2);
        QCOMPARE(r->gui->playrange, QRectF(0.5, 22050, 1.5, -22050));
        r->action(0)->trigger();
        QVERIFY(r->closeproject());
    }

    // Escape stops a run and leaves the time cursor where it stopped.
    void escapeStops()
    {
        auto r = rig(tonelayer(44100, 1, 0, 2.0, 1000), true);
        QVERIFY(r);
        r->gui->inpause(2);
        r->action(0)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(r->gui->devicetime() > 0.1, 30000);
        r->gui->escapeKey();
        QCOMPARE(r->gui->transportmode, -1);
        QVERIFY(!r->gui->transportaction);
        QVERIFY(r->gui->timecursor > 0.1 && r->gui->timecursor < 2.0);
        QCOMPARE(r->gui->timecursor, r->gui->devicetime());
        QVERIFY(r->closeproject());
    }

    // Ten runs leave no OpenAL source or buffer behind; the sanitizer's leak
    // check at the end of this test covers the heap.
    void tenRunsLeaveNothing()
    {
        auto r = rig(tonelayer(44100, 1, 0, 0.2, 1000), true);
        QVERIFY(r);
        for (int run = 0; run < 10; ++run) {
            r->action(run % 2 ? 0 : 1)->trigger();
            if (run % 3 == 0)
                r->action(-1)->trigger(); // some stopped early, some to the end
            QVERIFY(r->idle());
        }
        QCOMPARE(livesources(), 0);
        QCOMPARE(livebuffers(), 0);
        QVERIFY(r->closeproject());
    }

    // Without a device, or without the layer the mode plays, nothing starts.
    void refusals()
    {
        TransportRig r;
        r.action(0)->trigger();
        QCOMPARE(r.asked.size(), 1);
        QCOMPARE(r.asked[0].title, QString("Device Error"));
        QCOMPARE(r.asked[0].text, QString("No layer available or selected."));
        QVERIFY(r.add(tonelayer(44100, 1, 0, 0.5, 1000), true));
        r.action(0)->trigger();
        QCOMPARE(r.asked.last().title, QString("Playback Error"));
        QCOMPARE(r.asked.last().text, QString("Please select a device for playback first."));
        r.action(4)->trigger();
        QCOMPARE(r.asked.last().title, QString("Record Error"));
        QCOMPARE(r.asked.last().text, QString("Please select a device for record first."));
        QCOMPARE(r.gui->transportmode, -1);
        QVERIFY(!r.gui->transportaction);
        QVERIFY(r.gui->stopflag());
        r.gui->indeviceplaysettings();
        QCOMPARE(r.asked.last().text, QString("No playback device selected."));
        r.choose(speakerlink, "OpenAL Soft", false);
        r.gui->indeviceplaysettings();
        QCOMPARE(r.asked.last().title, QString("Playback Settings"));
        QCOMPARE(r.asked.last().text, QString("No settings."));
        QCOMPARE(r.asked.size(), 5);

        // An empty clipboard has no range to play: it ends at once, at the
        // negative marker, and the cursor returns.
        r.action(3)->trigger();
        QCOMPARE(r.gui->playrange.x() + r.gui->playrange.width(), -2147418112.0);
        QVERIFY(r.idle());
        QCOMPARE(r.gui->devicetime(), r.gui->timecursor);

        // An entry the device does not have fails to open, and says so.
        r.choose(speakerlink, "Missing speakers", false);
        QVERIFY(r.gui->waitdevice(30000));
        QTRY_COMPARE_WITH_TIMEOUT(r.asked.size(), 6, 30000);
        QCOMPARE(r.asked.last().title, QString("Playback Error"));
        QCOMPARE(r.asked.last().text, QString("The device \"Missing speakers\" could not be opened."));
        QVERIFY(r.closeproject());
    }

    // Record needs a current layer: a project of the mix alone is not enough.
    void recordNeedsACurrentLayer()
    {
        TransportRig r;
        QVERIFY(r.add(tonelayer(44100, 1, 0, 0.5, 1000), false));
        r.action(4)->trigger();
        QCOMPARE(r.asked.size(), 1);
        QCOMPARE(r.asked[0].title, QString("Device Error"));
        QVERIFY(r.closeproject());
    }
};

KV_HEADLESS_TEST_MAIN(TestTransport)
#include "tst_transport.moc"
