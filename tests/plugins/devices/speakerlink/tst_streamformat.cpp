// The stream's format tables, the float to 16-bit conversion and the device
// name list, without a device.
#include <QtTest>

#include <cmath>
#include <limits>

#include "plugins/devices/speakerlink/devicelist.h"
#include "plugins/devices/speakerlink/streamformat.h"

class TestStreamFormat : public QObject
{
    Q_OBJECT

private slots:
    void formatsByChannelCount()
    {
        const int values[9] = {0, 0x1101, 0x1103, 0, 0x1205, 0, 0x120B, 0x120E, 0x1211};
        for (int channels = -1; channels <= 9; ++channels) {
            const StreamFormat* format = streamformat(channels);
            const int expected = channels >= 0 && channels <= 8 ? values[channels] : 0;
            QCOMPARE(format ? format->value : 0, expected);
            if (format)
                QCOMPARE(format->channels, channels);
        }
        QCOMPARE(streamformat(6)->name, "AL_FORMAT_51CHN16");
    }

    // For each slot of OpenAL's order, the host channel that feeds it.
    void speakerOrders()
    {
        using Order = std::array<int, 8>;
        const Order same{0, 1, 2, 3, 4, 5, 6, 7};
        QCOMPARE(speakerorder(2, 0x3), same);
        QCOMPARE(speakerorder(4, 0x33), same);
        QCOMPARE(speakerorder(4, 0x603), same);                          // quad on the sides
        QCOMPARE(speakerorder(6, 0x3F), same);
        QCOMPARE(speakerorder(6, 0x60F), same);                          // 5.1 on the sides
        QCOMPARE(speakerorder(7, 0x13F), (Order{0, 1, 2, 3, 6, 4, 5, 7})); // BL BR BC to BC SL SR
        QCOMPARE(speakerorder(7, 0x70F), same);
        QCOMPARE(speakerorder(8, 0x63F), same);
        QCOMPARE(speakerorder(8, 0x13F), same);                          // a mask of 7 speakers for 8
        QCOMPARE(speakerorder(8, 0xFF), same);                           // wide 7.1: FLC FRC fill the sides
        QCOMPARE(speakerorder(7, 0x337), (Order{0, 1, 2, 3, 5, 6, 4, 7})); // SL for the LFE: BL, left over, takes it
    }

    void outputRates()
    {
        const int table[][3] = {{88200, 44100, 2}, {176400, 44100, 4}, {96000, 48000, 2}, {192000, 48000, 4},
                                {44100, 44100, 1}, {48000, 48000, 1}, {11025, 11025, 1}, {22051, 22051, 1}};
        for (const auto& row : table) {
            const OutputRate out = outputrate(row[0]);
            QCOMPARE(out.rate, row[1]);
            QCOMPARE(out.step, row[2]);
        }
    }

    void samplesToSixteenBits()
    {
        QCOMPARE(tosample16(1.0f), std::int16_t(32767));
        QCOMPARE(tosample16(-1.0f), std::int16_t(-32768));
        QCOMPARE(tosample16(0.99999f), std::int16_t(32767));
        QCOMPARE(tosample16(0.5f), std::int16_t(16384));
        QCOMPARE(tosample16(-0.5f), std::int16_t(-16384));
        QCOMPARE(tosample16(0.99f), std::int16_t(32440));   // 32440.32, cut toward zero
        QCOMPARE(tosample16(-0.99f), std::int16_t(-32440));
        QCOMPARE(tosample16(-1e-6f), std::int16_t(0));
        QCOMPARE(tosample16(1e30f), std::int16_t(32767));
        QCOMPARE(tosample16(-1e30f), std::int16_t(-32768));
        QCOMPARE(tosample16(std::numeric_limits<float>::infinity()), std::int16_t(32767));
        QCOMPARE(tosample16(-std::numeric_limits<float>::infinity()), std::int16_t(-32768));
        QCOMPARE(tosample16(std::numeric_limits<float>::quiet_NaN()), std::int16_t(0));
    }

    void deviceNames()
    {
        const char run[] = "Speakers\0Kopfh\xc3\xb6rer\0\0";
        QCOMPARE(devicelist(run), (QStringList{"Speakers", QString::fromUtf8("Kopfh\xc3\xb6rer")}));
        QCOMPARE(devicelist("\0"), QStringList());
        QCOMPARE(devicelist(nullptr), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestStreamFormat)
#include "tst_streamformat.moc"
