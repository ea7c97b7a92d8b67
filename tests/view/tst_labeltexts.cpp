// The texts of the grid labels and of the read-out box in every display unit,
// the glyph quads of the bitmap text and the font they are cut from.
#include <QImage>
#include <QSet>
#include <QTest>

#include "view/bitmaptext.h"
#include "view/labeltexts.h"

namespace {

const QString pi = QString(QChar(piglyph));

} // namespace

class TestLabelTexts : public QObject
{
    Q_OBJECT
private slots:
    void timeRow_data()
    {
        QTest::addColumn<float>("unit");
        QTest::addColumn<double>("t");
        QTest::addColumn<int>("samplerate");
        QTest::addColumn<int>("fftsize");
        QTest::addColumn<int>("fftoverlap");
        QTest::addColumn<QString>("text");
        QTest::newRow("clock") << 0.0f << 75.25 << 48000 << 4096 << 4 << "Time: 01:15.250";
        QTest::newRow("clock truncates") << 0.0f << 1.2349 << 48000 << 4096 << 4 << "Time: 00:01.234";
        QTest::newRow("clock negative") << 0.0f << -1.5 << 48000 << 4096 << 4 << "Time: - 00:01.500";
        QTest::newRow("clock over an hour") << 0.0f << 3725.5 << 48000 << 4096 << 4 << "Time: 62:05.500";
        QTest::newRow("seconds") << -1.0f << 2.0004 << 48000 << 4096 << 4 << "Time: 2.000s";
        QTest::newRow("seconds negative") << -1.0f << -0.25 << 48000 << 4096 << 4 << "Time: -0.250s";
        QTest::newRow("samples") << -2.0f << 0.5 << 48000 << 4096 << 4 << "Time: 24000.000smp";
        QTest::newRow("windows") << -3.0f << 1.0 << 48000 << 4096 << 4 << "Time: 11.719win";
        // Frames of 4096 / 4 = 1024 samples at 44.1 kHz.
        QTest::newRow("frames") << -4.0f << 1.0 << 44100 << 4096 << 4 << "Time: 43.066ft";
        QTest::newRow("hop of an odd division") << -4.0f << 1.0 << 44100 << 4096 << 3 << "Time: 32.308ft";
        QTest::newRow("beats") << 120.0f << 30.0 << 48000 << 4096 << 4 << "Time: 60.00bt";
        QTest::newRow("slowest beats") << 0.1f << 600.0 << 48000 << 4096 << 4 << "Time: 1.00bt";
        QTest::newRow("frames per minute from 300") << 300.0f << 1.0 << 48000 << 4096 << 4 << "Time: 5.00frm";
        QTest::newRow("25 frames per second") << 1500.0f << 2.0 << 48000 << 4096 << 4 << "Time: 50.00frm";
        QTest::newRow("unknown code") << -5.0f << 1.0 << 48000 << 4096 << 4 << QString();
        QTest::newRow("windows without a size") << -3.0f << 1.0 << 48000 << 0 << 4 << QString();
    }

    void timeRow()
    {
        QFETCH(float, unit);
        QFETCH(double, t);
        QFETCH(int, samplerate);
        QFETCH(int, fftsize);
        QFETCH(int, fftoverlap);
        QFETCH(QString, text);
        const QString row = readouttime(t, unit, samplerate, fftsize, fftoverlap);
        QCOMPARE(row, text);
        QCOMPARE(row.isNull(), text.isNull());
    }

    void frequencyRow_data()
    {
        QTest::addColumn<float>("unit");
        QTest::addColumn<double>("f");
        QTest::addColumn<QString>("text");
        // 48 kHz, 4096-point windows: a bin is 11.71875 Hz wide.
        const double bin = 48000.0 / 4096;
        QTest::newRow("Hz") << -10.0f << 1000.0 << "Freq: 1000.0Hz";
        QTest::newRow("Hz rounds") << -10.0f << 439.96 << "Freq: 440.0Hz";
        QTest::newRow("octave unit reads Hz") << -14.0f << 62.5 << "Freq: 62.5Hz";
        QTest::newRow("radians above a bin") << -11.0f << 12.25 * bin << "Freq: 12x2" + pi + "+1.6rad/win";
        QTest::newRow("radians below a bin") << -11.0f << 12.75 * bin << "Freq: 13x2" + pi + "- 1.6rad/win";
        QTest::newRow("radians on a bin") << -11.0f << 3 * bin << "Freq: 3x2" + pi + "+0.0rad/win";
        QTest::newRow("degrees above a bin") << -12.0f << 12.25 * bin << "Freq: 12x360+90.0deg/win";
        QTest::newRow("degrees below a bin") << -12.0f << 12.75 * bin << "Freq: 13x360- 90.0deg/win";
        QTest::newRow("half a bin rounds up") << -12.0f << 12.5 * bin << "Freq: 13x360- 180.0deg/win";
        QTest::newRow("note A4") << -13.0f << 440.0 << "Freq: A 4+00";
        QTest::newRow("note A4 sharp") << -13.0f << 445.0 << "Freq: A 4+19";
        QTest::newRow("note A5") << -13.0f << 880.0 << "Freq: A 5+00";
        QTest::newRow("nearest note in the next octave") << -13.0f << 261.0 << "Freq: C 4- 05";
        QTest::newRow("note truncates the frequency") << -13.0f << 440.9 << "Freq: A 4+00";
        QTest::newRow("below one Hz") << -13.0f << 0.5 << "Freq:   -6+00";
        QTest::newRow("negative frequency") << -13.0f << -440.0 << "Freq: - A 4+00";
        QTest::newRow("nearest note a semitone up") << -13.0f << 17.0 << "Freq: C#0- 33";
        QTest::newRow("unknown code") << -15.0f << 440.0 << QString();
    }

    void frequencyRow()
    {
        QFETCH(float, unit);
        QFETCH(double, f);
        QFETCH(QString, text);
        const QString row = readoutfreq(f, unit, 48000, 4096);
        QCOMPARE(row, text);
        QCOMPARE(row.isNull(), text.isNull());
        // Without a sample rate the bin units have no value, the others still do.
        const QString unbound = readoutfreq(f, unit, 0, 4096);
        QCOMPARE(unbound.isNull(), text.isNull() || unit == -11.0f || unit == -12.0f);
    }

    void levelRow_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<float>("value");
        QTest::addColumn<float>("unit");
        QTest::addColumn<int>("mult");
        QTest::addColumn<int>("gamma");
        QTest::addColumn<QString>("text");
        // A map value of 1 at multiplier 24 and gamma 50 is a level of 1/16.
        QTest::newRow("dB") << 0 << 1.0f << -20.0f << 24 << 50 << "Mix:       -24.1dB";
        QTest::newRow("percent") << 1 << 1.0f << -21.0f << 24 << 50 << "Select:    6.25%";
        QTest::newRow("value") << 2 << 1.0f << -22.0f << 24 << 50 << "Clipboard: 6.25E-02";
        // Gamma 10 is linear: half the map value is half the level.
        QTest::newRow("linear dB") << 0 << 0.5f << -20.0f << 24 << 10 << "Mix:       -30.1dB";
        QTest::newRow("full level") << 1 << 16.0f << -20.0f << 24 << 10 << "Select:    0.0dB";
        QTest::newRow("gamma undone") << 2 << 0.5f << -21.0f << 0 << 20 << "Clipboard: 25.00%";
        QTest::newRow("above full") << 0 << 2.0f << -22.0f << 0 << 10 << "Mix:       2.00E+00";
        QTest::newRow("unknown code") << 0 << 1.0f << -23.0f << 24 << 50 << QString();
    }

    void levelRow()
    {
        QFETCH(int, slot);
        QFETCH(float, value);
        QFETCH(float, unit);
        QFETCH(int, mult);
        QFETCH(int, gamma);
        QFETCH(QString, text);
        const QString row = readoutlevel(slot, value, unit, mult, gamma);
        QCOMPARE(row, text);
        QCOMPARE(row.isNull(), text.isNull());
    }

    void phaseRow_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<float>("value");
        QTest::addColumn<float>("unit");
        QTest::addColumn<QString>("text");
        // At 1000 Hz, 48 kHz and 4096 points the nearest bin is 85; a map
        // value of 0.75 is a shift of +π/2, 0.25 one of -π/2.
        QTest::newRow("radians") << 0 << 0.75f << -11.0f << "Mix:       85x2" + pi + "+1.57rad/win";
        QTest::newRow("radians negative") << 1 << 0.25f << -11.0f << "Select:    85x2" + pi + "- 1.57rad/win";
        QTest::newRow("degrees") << 2 << 0.75f << -12.0f << "Clipboard: 85x360+090deg/win";
        QTest::newRow("degrees negative") << 0 << 0.25f << -12.0f << "Mix:       85x360- 090deg/win";
        QTest::newRow("a full turn") << 0 << 1.0f << -12.0f << "Mix:       85x360+180deg/win";
        // A quarter bin above bin 85: 85.25 x 11.71875 Hz.
        QTest::newRow("Hz") << 1 << 0.75f << -10.0f << "Select:    999Hz";
        QTest::newRow("Hz below the bin") << 1 << 0.25f << -10.0f << "Select:    993Hz";
        QTest::newRow("unknown code") << 0 << 0.75f << -13.0f << QString();
    }

    void phaseRow()
    {
        QFETCH(int, slot);
        QFETCH(float, value);
        QFETCH(float, unit);
        QFETCH(QString, text);
        const QString row = readoutphase(slot, value, unit, 1000.0, 48000, 4096);
        QCOMPARE(row, text);
        QCOMPARE(row.isNull(), text.isNull());
        QVERIFY(readoutphase(slot, value, unit, 1000.0, 48000, 0).isNull());
    }

    void channelRow()
    {
        QCOMPARE(readoutchannel(0, 0), QString("Channel #0 (2D)"));
        QCOMPARE(readoutchannel(1, 32), QString("Channel #1 (3D 50%)"));
        QCOMPARE(readoutchannel(7, 64), QString("Channel #7 (3D 100%)"));
        QCOMPARE(readoutchannel(2, 10), QString("Channel #2 (3D 16%)")); // 15.625 rounds up
        QCOMPARE(readoutchannel(0, -32), QString("Channel #0 (3D -50%)"));
    }

    void gridTimeLabels_data()
    {
        QTest::addColumn<float>("unit");
        QTest::addColumn<double>("d");
        QTest::addColumn<QString>("text");
        QTest::newRow("clock") << 0.0f << 75.25 << "01:15.250";
        QTest::newRow("clock negative") << 0.0f << -61.5 << "- 01:01.500";
        QTest::newRow("clock zero") << 0.0f << 0.0 << "00:00.000";
        // Values that arrive a hair below a line by accumulation keep its label.
        QTest::newRow("clock accumulated") << 0.0f << 0.2 * 8 - 1e-15 << "00:01.600";
        QTest::newRow("clock accumulated negative") << 0.0f << -(0.2 * 3 - 1e-15) << "- 00:00.600";
        QTest::newRow("seconds") << -1.0f << 0.2 << "0.2";
        QTest::newRow("six digits") << -1.0f << 1.23456789 << "1.23457";
        QTest::newRow("samples") << -2.0f << 2000000.0 << "2e+06";
        QTest::newRow("beats") << 120.0f << 8.0 << "8";
    }

    void gridTimeLabels()
    {
        QFETCH(float, unit);
        QFETCH(double, d);
        QFETCH(QString, text);
        QCOMPARE(gridtimelabel(d, unit), text);
    }

    void gridFrequencyLabels()
    {
        QCOMPARE(gridfreqlabel(2000, -10), QString("2000"));
        QCOMPARE(gridfreqlabel(0, -10), QString("0"));
        QCOMPARE(gridfreqlabel(3, -11), "3x2" + pi);
        QCOMPARE(gridfreqlabel(2.5, -12), QString("2.5x360"));
        QCOMPARE(gridfreqlabel(2000000, -10), QString("2e+06"));
        QVERIFY(gridfreqlabel(3, -13).isNull());

        QCOMPARE(gridnotelabel(0), QString("C 0"));
        QCOMPARE(gridnotelabel(48), QString("C 4"));
        QCOMPARE(gridnotelabel(57), QString("A 4"));
        QCOMPARE(gridnotelabel(70), QString("A#5"));
        QCOMPARE(gridnotelabel(143), QString("B 11"));

        QCOMPARE(gridoctavelabel(-30, 31.25), QString("31.25"));
        QCOMPARE(gridoctavelabel(-24, 62.5), QString("62.5"));
        QCOMPARE(gridoctavelabel(0, 1000), QString("1000"));
        QCOMPARE(gridoctavelabel(6, 2000), QString("2000"));
        QCOMPARE(gridoctavelabel(-28, 0), QString("1/3"));
        QCOMPARE(gridoctavelabel(3, 0), QString("1/2"));
        QCOMPARE(gridoctavelabel(4, 0), QString("2/3"));
        QVERIFY(gridoctavelabel(1, 0).isEmpty());
        QVERIFY(gridoctavelabel(-25, 0).isEmpty());
    }

    void glyphQuadsFollowTheFont()
    {
        // One pixel is 0.01 s wide and 2 Hz high; size 10 is 7.5 x 10 pixels.
        const QVector<GlyphQuad> quads = glyphquads(QPointF(1, 100), 10, "A" + pi, 0.01, 2);
        QCOMPARE(quads.size(), 2);
        const GlyphQuad& a = quads[0];
        QCOMPARE(a.left, 1.0);
        QCOMPARE(a.right, 1.075);
        QCOMPARE(a.bottom, 100.0);
        QCOMPARE(a.top, 120.0);
        // 'A' (0x41): column 1, row 4; the left quarter and a pixel at the top
        // and bottom of the cell are left out.
        QCOMPARE(a.sleft, 1.25 / 16);
        QCOMPARE(a.sright, 2.0 / 16);
        QCOMPARE(a.tbottom, 4.9375 / 16);
        QCOMPARE(a.ttop, 4.0625 / 16);
        // π lies in cell 0xA0: column 0, row 10; glyphs touch.
        const GlyphQuad& p = quads[1];
        QCOMPARE(p.left, a.right);
        QCOMPARE(p.sleft, 0.25 / 16);
        QCOMPARE(p.ttop, 10.0625 / 16);

        QVERIFY(glyphquads(QPointF(0, 0), 12, QString(), 1, 1).isEmpty());
        // Beyond Latin-1 there are no cells: '?' stands in, one per character.
        const QVector<GlyphQuad> other = glyphquads(QPointF(0, 0), 12, QString::fromUtf8("\u20ac\U0001F600"), 1, 1);
        QCOMPARE(other.size(), 2);
        QCOMPARE(other[1].sleft, (glyphcode('?') % 16 + 0.25) / 16);
        QCOMPARE(glyphcode(0xFF), 0xFF);
        QCOMPARE(glyphcode(0x100), int('?'));
    }

    // The quads take each glyph from the part of its cell right of the first
    // four columns, without the top and bottom rows: the font must keep its
    // glyphs there, white on black, one distinct glyph per printable code.
    void fontCellsHoldTheirGlyphs()
    {
        Q_INIT_RESOURCE(view);
        const QImage font = QImage(":/stylesheets/bitmapfont.png").convertToFormat(QImage::Format_RGB32);
        QCOMPARE(font.size(), QSize(256, 256));
        QSet<QByteArray> shapes;
        for (int c = 0; c < 256; ++c) {
            QByteArray shape;
            int lit = 0, outside = 0, coloured = 0;
            for (int y = 0; y < 16; ++y) {
                for (int x = 0; x < 16; ++x) {
                    const QRgb p = font.pixel((c % 16) * 16 + x, (c / 16) * 16 + y);
                    const bool on = qGray(p) > 40;
                    shape.append(char(qGray(p)));
                    lit += on ? 1 : 0;
                    outside += on && (x < 4 || y < 1 || y > 14) ? 1 : 0;
                    coloured += qRed(p) != qGreen(p) || qGreen(p) != qBlue(p) ? 1 : 0;
                }
            }
            QVERIFY2(outside == 0, qPrintable(QString("glyph 0x%1 leaves its drawn part").arg(c, 0, 16)));
            QCOMPARE(coloured, 0);
            if (c <= 0x20)
                QVERIFY2(lit == 0, qPrintable(QString("cell 0x%1 is not blank").arg(c, 0, 16)));
            const bool printable = (c > 0x20 && c < 0x7F) || c == 0x80 || c == piglyph;
            if (printable) {
                QVERIFY2(lit > 3, qPrintable(QString("glyph 0x%1 is missing").arg(c, 0, 16)));
                QVERIFY2(!shapes.contains(shape), qPrintable(QString("glyph 0x%1 repeats another").arg(c, 0, 16)));
                shapes.insert(shape);
            }
        }
    }
};

QTEST_APPLESS_MAIN(TestLabelTexts)
#include "tst_labeltexts.moc"
