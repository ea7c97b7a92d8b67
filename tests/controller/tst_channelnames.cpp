// Channel names from speaker masks.
#include <QtTest>

#include "controller/channelnames.h"

class TestChannelNames : public QObject
{
    Q_OBJECT
private slots:
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

QTEST_APPLESS_MAIN(TestChannelNames)
#include "tst_channelnames.moc"
