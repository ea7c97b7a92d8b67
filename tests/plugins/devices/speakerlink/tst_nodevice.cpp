// speakerlink on a system where OpenAL finds no usable output: the
// configuration names a driver that does not exist.
#include "speakerlinktest.h"

class TestNoDevice : public QObject
{
    Q_OBJECT

    QPluginLoader loader;
    DeviceInterface* device = nullptr;

private slots:
    void initTestCase()
    {
        configureopenal("[general]\ndrivers=nosuchdriver\n");
        device = loadspeakerlink(loader);
        QVERIFY(device);
        QVERIFY(device->initialize(speakerlinkpath(), nullptr));
        QCOMPARE(device->name, QStringLiteral("OpenAL"));
        QVERIFY(device->recorddevices.isEmpty());
    }

    void nothingOpensAndNothingPlays()
    {
        feedmonotone(device);
        RunCells cells;
        cells.currenttime = 0.25;
        const QRectF range(0, 22050, 1.0, -22050);
        // Every listed name (OpenAL still lists its own) fails to open, each
        // time, with a warning, and leaves the plugin closed.
        for (int attempt = 0; attempt < 2; ++attempt)
            for (const QString& name : device->playdevices) {
                QTest::ignoreMessage(QtWarningMsg, QRegularExpression("speakerlink: .*cannot be opened"));
                QVERIFY(!device->playOpen(name));
            }
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("speakerlink: play run without an open device"));
        QVERIFY(!device->playStart(QString(), 0, 0, range, &cells.currenttime, &cells.volume, &cells.stop));
        QVERIFY(!device->recordStart(QString(), 1, 0, range, &cells.currenttime, &cells.volume, &cells.stop));
        QCOMPARE(cells.currenttime, 0.25);
        QCOMPARE(feed.calls.load(), 0LL);
        QVERIFY(device->playClose(QString()));
        QVERIFY(device->playClose(QString()));
    }
};

QTEST_GUILESS_MAIN(TestNoDevice)
#include "tst_nodevice.moc"
