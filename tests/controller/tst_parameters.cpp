// Transform parameter clamps and channel names from speaker masks.
#include <QtTest>

#include "controller/channelnames.h"
#include "controller/transformparams.h"

class TestParameters : public QObject
{
    Q_OBJECT
private slots:
    void fftsize_data()
    {
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("stored");
        QTest::newRow("zero") << 0 << 64;
        QTest::newRow("negative") << -4096 << 64;
        QTest::newRow("below the smallest") << 32 << 64;
        QTest::newRow("smallest") << 64 << 64;
        QTest::newRow("power of two") << 4096 << 4096;
        QTest::newRow("between powers rounds down") << 3000 << 2048;
        QTest::newRow("just below a power") << 65535 << 32768;
        QTest::newRow("largest") << 65536 << 65536;
        QTest::newRow("above the largest") << 131072 << 65536;
    }
    void fftsize()
    {
        QFETCH(int, requested);
        QFETCH(int, stored);
        QCOMPARE(clampfftsize(requested), stored);
    }

    void overlapandtype_data()
    {
        QTest::addColumn<int>("overlap");
        QTest::addColumn<int>("storedoverlap");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("storedtype");
        QTest::newRow("lowest") << 0 << 2 << 0 << 0;
        QTest::newRow("one") << 1 << 2 << 2 << 2;
        QTest::newRow("in range") << 8 << 8 << 4 << 4;
        QTest::newRow("highest") << 16 << 16 << -1 << 4;
        QTest::newRow("above") << 32 << 16 << 5 << 4;
    }
    void overlapandtype()
    {
        QFETCH(int, overlap);
        QFETCH(int, storedoverlap);
        QFETCH(int, type);
        QFETCH(int, storedtype);
        QCOMPARE(clampoverlap(overlap), storedoverlap);
        QCOMPARE(clampwindowtype(type), storedtype);
        // Every stored pair has a hop of at least one sample.
        QVERIFY(clampfftsize(0) / clampoverlap(overlap) > 0);
    }

    void channelnames_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("mono") << 0x4 << QStringList{"Front Center"};
        QTest::newRow("stereo") << 0x3 << QStringList{"Front Left", "Front Right"};
        QTest::newRow("5.1")
            << 0x3F
            << QStringList{"Front Left", "Front Right", "Front Center", "Low Frequency",
                           "Back Left", "Back Right"};
        QTest::newRow("7.1")
            << 0x63F
            << QStringList{"Front Left", "Front Right", "Front Center", "Low Frequency",
                           "Back Left", "Back Right", "Side Left", "Side Right"};
        QTest::newRow("top back bits carry back names")
            << 0x38000 << QStringList{"Back Left", "Back Center", "Back Right"};
        QTest::newRow("unnamed bit") << 0x40000 << QStringList{"Undefined"};
        QTest::newRow("fewer bits than channels")
            << 0x4 << QStringList{"Front Center", "Undefined"};
    }
    void channelnames()
    {
        QFETCH(int, mask);
        QFETCH(QStringList, names);
        for (int c = 0; c < names.size(); ++c)
            QCOMPARE(channelname(mask, c), names[c]);
    }
};

QTEST_APPLESS_MAIN(TestParameters)
#include "tst_parameters.moc"
