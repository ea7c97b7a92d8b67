// Reading the data chunk of the edited file back: every block is handed
// over with its first frame, and a file that gives out early is a failure,
// noticed before anything of it is used.
#include <QBuffer>
#include <QTest>

#include "wavefile.h"

namespace {

// A file whose reads fail once `good` bytes have been read, as on a disk
// with a bad sector.
class FailingFile : public QBuffer
{
public:
    FailingFile(const QByteArray& bytes, qint64 good) : good(good)
    {
        setData(bytes);
        open(QIODevice::ReadOnly);
    }

protected:
    qint64 readData(char* data, qint64 size) override
    {
        const qint64 left = good - pos();
        if (left <= 0)
            return -1;
        return QBuffer::readData(data, std::min(size, left));
    }

private:
    qint64 good;
};

wavefile::Layout stereo16()
{
    wavefile::Layout layout;
    layout.channels = 2;
    layout.samplerate = 8000;
    layout.bytespersample = 2;
    return layout;
}

QByteArray frames(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count * 4; ++i)
        bytes.append(char(i & 0x7f));
    return bytes;
}

} // namespace

class TestWaveFile : public QObject
{
    Q_OBJECT

private slots:
    void blocksComeWithTheirFirstFrame()
    {
        const QByteArray data = frames(10);
        FailingFile file(data, data.size());
        QList<qint64> firsts;
        QByteArray got;
        QVERIFY(wavefile::readframes(file, stereo16(), 10, 4, [&](qint64 first, const QByteArray& bytes) {
            firsts << first;
            got += bytes;
        }));
        QCOMPARE(firsts, (QList<qint64>{0, 4, 8}));
        QCOMPARE(got, data);
        // Fewer frames than the file holds: only those are read.
        QVERIFY(file.seek(0));
        got.clear();
        QVERIFY(wavefile::readframes(file, stereo16(), 3, 4, [&](qint64, const QByteArray& bytes) { got += bytes; }));
        QCOMPARE(got, data.left(12));
    }

    void aFileThatGivesOutEarlyFails()
    {
        const QByteArray data = frames(10);
        for (qint64 good : {qint64(0), qint64(6), qint64(16), qint64(39)}) {
            FailingFile file(data, good);
            int blocks = 0;
            QVERIFY(!wavefile::readframes(file, stereo16(), 10, 4, [&](qint64, const QByteArray& bytes) {
                QCOMPARE(bytes.size(), 16);
                ++blocks;
            }));
            // Only whole blocks were handed over, those before the failure.
            QCOMPARE(blocks, int(good / 16));
        }
        // A file that simply ends early fails the same way.
        QBuffer shorter;
        shorter.setData(data.left(30));
        QVERIFY(shorter.open(QIODevice::ReadOnly));
        QVERIFY(!wavefile::readframes(shorter, stereo16(), 10, 4, {}));
    }
};

QTEST_GUILESS_MAIN(TestWaveFile)
#include "tst_wavefile.moc"
