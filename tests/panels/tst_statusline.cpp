// The status line in every time unit.
#include <QtTest>

#include "core/globals.h"
#include "panels/statusline.h"

class TestStatusLine : public QObject
{
    Q_OBJECT
private slots:
    void line_data()
    {
        QTest::addColumn<float>("unit");
        QTest::addColumn<int>("rate");
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("length");
        QTest::addColumn<double>("cursor");
        QTest::addColumn<QString>("expected");
        QTest::newRow("clock")
            << 0.0f << 44100 << 0.0 << 65.25 << 1.5
            << "44100Hz / 2 channel(s) / start: 00:00.000 length:  01:05.250 - cursor:  00:01.500";
        QTest::newRow("clock, negative cursor")
            << 0.0f << 44100 << 0.0 << 1.0 << -0.5
            << "44100Hz / 2 channel(s) / start: 00:00.000 length:  00:01.000 - cursor: -00:00.500";
        QTest::newRow("clock, no layer holds samples")
            << 0.0f << 44100 << unsettime << 0.0 << 0.0
            << "44100Hz / 2 channel(s) / start: 00:00.000 length:  00:00.000 - cursor:  00:00.000";
        QTest::newRow("seconds")
            << -1.0f << 44100 << 1.5 << 2.0 << 0.25
            << "44100Hz / 2 channel(s) / start: 1.5s length: 2s - cursor time: 0.25s";
        QTest::newRow("samples")
            << -2.0f << 48000 << unsettime << 30.0 << 0.0
            << "48000Hz / 2 channel(s) / start: 0smp length: 1.44e+06smp - cursor time: 0smp";
        QTest::newRow("windows")
            << -3.0f << 40960 << 0.0 << 1.0 << 0.0
            << "40960Hz / 2 channel(s) / start: 0win length: 10win - cursor time: 0win";
        QTest::newRow("transform frames")
            << -4.0f << 44100 << 0.0 << 1.0 << 0.0
            << "44100Hz / 2 channel(s) / start: 0fft length: 43.0664fft - cursor time: 0fft";
        QTest::newRow("beats")
            << 120.0f << 44100 << 0.0 << 30.0 << 0.0
            << "44100Hz / 2 channel(s) / start: 0bt length: 60bt - cursor time: 0bt";
        QTest::newRow("frames per minute")
            << 1500.0f << 44100 << 0.0 << 2.0 << 0.0
            << "44100Hz / 2 channel(s) / start: 0frm length: 50frm - cursor time: 0frm";
    }

    void line()
    {
        QFETCH(float, unit);
        QFETCH(int, rate);
        QFETCH(double, start);
        QFETCH(double, length);
        QFETCH(double, cursor);
        QFETCH(QString, expected);
        StatusInputs in;
        in.samplerate = rate;
        in.channels = 2;
        in.spanstart = start;
        in.spanlength = length;
        in.timecursor = cursor;
        in.fftsize = 4096;
        in.fftoverlap = 4;
        in.unittime = unit;
        const auto text = statusline(in);
        QVERIFY(text.has_value());
        QCOMPARE(*text, expected);
    }

    void noformandnowindow()
    {
        StatusInputs in;
        in.samplerate = 44100;
        in.channels = 1;
        in.spanlength = 1;
        in.unittime = -5;
        QVERIFY(!statusline(in).has_value());
        // Without a window length the window and frame counts are 0.
        in.unittime = -4;
        QCOMPARE(*statusline(in),
                 QString("44100Hz / 1 channel(s) / start: 0fft length: 0fft - cursor time: 0fft"));
    }
};

QTEST_APPLESS_MAIN(TestStatusLine)
#include "tst_statusline.moc"
