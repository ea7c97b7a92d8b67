// The converter's console output read line by line, whatever the read
// boundaries, and its channel layouts read to counts and speaker masks.
#include <QTest>

#include "consoleparser.h"
#include "speakerlayout.h"

namespace {

// What ffmpeg 5 prints while it decodes a stereo WAVE file to raw float.
const QByteArray transcript =
    "ffmpeg version 5.1 Copyright (c) 2000-2022 the FFmpeg developers\n"
    "Guessed Channel Layout for Input Stream #0.0 : stereo\n"
    "Input #0, wav, from '/tmp/a b.wav':\n"
    "  Duration: 00:01:03.50, bitrate: 1411 kb/s\n"
    "  Stream #0:0: Audio: pcm_s16le ([1][0][0][0] / 0x0001), 44100 Hz, stereo, s16, 1411 kb/s\n"
    "Stream mapping:\n"
    "  Stream #0:0 -> #0:0 (pcm_s16le (native) -> pcm_f32le (native))\n"
    "Output #0, f32le, to '/tmp/out.raw':\n"
    "  Metadata:\n"
    "    encoder         : Lavf59.27.100\n"
    "  Stream #0:0: Audio: pcm_f32le, 44100 Hz, stereo, flt, 2822 kb/s\n"
    "size=       8kB time=00:00:00.02 bitrate=2822.4kbits/s speed=N/A    \r"
    "size=    1034kB time=00:01:02.75 bitrate=2822.4kbits/s speed= 626x    \r"
    "video:0kB audio:1034kB subtitle:0kB other streams:0kB global headers:0kB muxing overhead: 0.000000%\n";

} // namespace

class ConsoleParserTest : public QObject
{
    Q_OBJECT

private slots:
    void everysplitreadsthesame()
    {
        // Wherever the pipe cuts the output, the markers are found.
        for (qsizetype cut = 0; cut <= transcript.size(); ++cut) {
            ConsoleParser parser;
            const int changes = parser.feed(transcript.left(cut)) | parser.feed(transcript.mid(cut)) | parser.finish();
            QCOMPARE(changes, ConsoleParser::Duration | ConsoleParser::Stream | ConsoleParser::Time);
            QVERIFY(parser.durationknown);
            QCOMPARE(parser.duration, 63.5);
            QCOMPARE(parser.samplerate, 44100);
            QCOMPARE(parser.channels, 2);
            QCOMPARE(parser.speakermask, 0x3);
            QVERIFY(parser.outputstream);
            QCOMPARE(parser.time, 62.75);
            QVERIFY(!parser.video);
            QVERIFY(!parser.durationestimated);
        }
    }

    void bytebybyte()
    {
        ConsoleParser parser;
        for (char byte : transcript)
            parser.feed(QByteArray(1, byte));
        QCOMPARE(parser.samplerate, 44100);
        QCOMPARE(parser.time, 62.75);
        // A progress line is complete only at its "\r".
        ConsoleParser open;
        QCOMPARE(open.feed("size= 1kB time=00:00:07.25 bitrate"), 0);
        QCOMPARE(open.feed("=1kbits/s\r"), int(ConsoleParser::Time));
        QCOMPARE(open.time, 7.25);
        QCOMPARE(open.feed("size= 1kB time=00:00:09.00"), 0);
        QCOMPARE(open.finish(), int(ConsoleParser::Time));
        QCOMPARE(open.time, 9.0);
    }

    void theoutputstreamdescribesthefile()
    {
        // Two audio streams in the input: the converter picks one, and its
        // output line says which.
        ConsoleParser parser;
        parser.feed("Input #0, matroska,webm, from 'x.mkv':\n"
                    "  Duration: 00:00:10.00, start: 0.000000, bitrate: 900 kb/s\n"
                    "  Stream #0:0: Video: h264 (High), yuv420p, 1280x720, 25 fps\n"
                    "  Stream #0:1(eng): Audio: aac (LC), 48000 Hz, stereo, fltp (default)\n"
                    "  Stream #0:2(ger): Audio: ac3, 44100 Hz, 5.1(side), fltp, 448 kb/s\n");
        QCOMPARE(parser.samplerate, 48000);
        QCOMPARE(parser.channels, 2);
        QVERIFY(!parser.outputstream);
        QVERIFY(parser.video);
        parser.feed("Output #0, f32le, to 'out.raw':\n"
                    "  Stream #0:0(ger): Audio: pcm_f32le, 44100 Hz, 5.1(side), flt, 8467 kb/s\n"
                    "  Stream #0:1: Audio: pcm_f32le, 8000 Hz, mono, flt\n");
        QCOMPARE(parser.samplerate, 44100);
        QCOMPARE(parser.channels, 6);
        QCOMPARE(parser.speakermask, 0x60F);
        QVERIFY(parser.outputstream);
    }

    void filenamesarenomarkers()
    {
        ConsoleParser parser;
        parser.feed("Input #0, wav, from '/a/Duration: 09:00:00.00, time=00:09:00.00 Stream #0:0: Audio: x, 8000 Hz, mono,.wav':\n"
                    "  Duration: 00:00:02.00, bitrate: 1411 kb/s\n"
                    "  Stream #0:0: Audio: pcm_s16le, 44100 Hz, stereo, s16, 1411 kb/s\n"
                    "Output #0, f32le, to '/b/ 96000 Hz, 7.1, time=01:00:00.00.f32':\n");
        QCOMPARE(parser.duration, 2.0);
        QCOMPARE(parser.samplerate, 44100);
        QCOMPARE(parser.channels, 2);
        QCOMPARE(parser.time, 0.0);
        QVERIFY(!parser.outputstream);
    }

    void resetforgetsthelastconversion()
    {
        ConsoleParser parser;
        parser.feed(transcript);
        parser.reset();
        parser.feed("Input #0, wav, from 'x':\n  Duration: N/A, bitrate: N/A\n"
                    "[wav @ 0x1] Estimating duration from bitrate, this may be inaccurate\n"
                    "x: Invalid data found when processing input\nConversion failed!\n");
        QCOMPARE(parser.samplerate, 0);
        QCOMPARE(parser.channels, 0);
        QCOMPARE(parser.time, 0.0);
        QVERIFY(!parser.durationknown);
        QVERIFY(parser.durationestimated);
        QCOMPARE(parser.messages.last(), QStringLiteral("x: Invalid data found when processing input"));
    }

    void messageskeepthelastdiagnostics()
    {
        ConsoleParser parser;
        parser.feed(transcript.left(transcript.indexOf("Stream mapping")));
        QVERIFY(parser.messages.isEmpty()); // the banner and the stream descriptions are no diagnostics
        parser.feed("[flac @ 0x5] invalid residual\n[flac @ 0x5] decode_frame() failed\n"
                    "Error while decoding stream #0:0: Invalid data found when processing input\n"
                    "size=      32kB time=00:00:00.08 bitrate=3072.0kbits/s speed= 181x    \r"
                    "Conversion failed!\n");
        QCOMPARE(parser.messages, (QStringList{"[flac @ 0x5] invalid residual", "[flac @ 0x5] decode_frame() failed",
                                               "Error while decoding stream #0:0: Invalid data found when processing input"}));
    }

    void guessedlayoutstakethedefaultmask()
    {
        // Headerless input: the converter guesses "5.0" (0x37) for five channels;
        // the system's default for five is 0x3B.
        ConsoleParser parser;
        parser.feed("Guessed Channel Layout for Input Stream #0.0 : 5.0\n"
                    "Input #0, s24be, from 'r.raw':\n"
                    "  Stream #0:0: Audio: pcm_s24be, 11025 Hz, 5.0, s32 (24 bit), 1323 kb/s\n");
        QCOMPARE(parser.channels, 5);
        QCOMPARE(parser.speakermask, 0x3B);
        parser.reset();
        parser.feed("  Stream #0:0: Audio: pcm_s32le, 8000 Hz, 5.0, s32, 1024 kb/s\n");
        QCOMPARE(parser.speakermask, 0x37);
    }

    void attachedpicturesarenotvideo()
    {
        ConsoleParser parser;
        parser.feed("Input #0, mp3, from 'a.mp3':\n"
                    "  Stream #0:0: Audio: mp3, 44100 Hz, stereo, fltp, 128 kb/s\n"
                    "  Stream #0:1: Video: mjpeg (Baseline), yuvj420p, 300x300, 90k tbn (attached pic)\n");
        QVERIFY(!parser.video);
    }

    void layouts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("mask");
        QTest::newRow("mono") << "mono" << 1 << 0x4;
        QTest::newRow("stereo") << "stereo" << 2 << 0x3;
        QTest::newRow("2.1") << "2.1" << 3 << 0xB;
        QTest::newRow("3.0") << "3.0" << 3 << 0x7;
        QTest::newRow("4.0") << "4.0" << 4 << 0x107;
        QTest::newRow("quad") << "quad" << 4 << 0x33;
        QTest::newRow("5.0") << "5.0" << 5 << 0x37;
        QTest::newRow("5.0(side)") << "5.0(side)" << 5 << 0x607;
        QTest::newRow("5.1") << "5.1" << 6 << 0x3F;
        QTest::newRow("5.1(side)") << "5.1(side)" << 6 << 0x60F;
        QTest::newRow("6.1") << "6.1" << 7 << 0x70F;
        QTest::newRow("7.1") << "7.1" << 8 << 0x63F;
        QTest::newRow("7.1(wide)") << "7.1(wide)" << 8 << 0xFF;
        QTest::newRow("7.1(top)") << "7.1(top)" << 8 << 0x503F; // top front left 0x1000, right 0x4000
        QTest::newRow("unnamed") << "3 channels" << 3 << 0xB;
        QTest::newRow("unnamed listed") << "4 channels (FL+FR+LFE+BC)" << 4 << 0x33;
        QTest::newRow("unnamed beyond 8") << "10 channels" << 10 << 0;
        QTest::newRow("unknown") << "9.1" << 0 << 0;
        QTest::newRow("empty") << "" << 0 << 0;
    }

    void layouts()
    {
        QFETCH(QString, name);
        QFETCH(int, channels);
        QFETCH(int, mask);
        const SpeakerLayout layout = speakerlayout(name);
        QCOMPARE(layout.channels, channels);
        QCOMPARE(layout.speakermask, mask);
        // The layout reaches the parser from its stream line.
        ConsoleParser parser;
        parser.feed("  Stream #0:0: Audio: pcm_s16le, 22050 Hz, " + name.toUtf8() + ", s16, 705 kb/s\n");
        QCOMPARE(parser.channels, channels);
        QCOMPARE(parser.layout, name);
    }
};

QTEST_APPLESS_MAIN(ConsoleParserTest)
#include "tst_consoleparser.moc"
