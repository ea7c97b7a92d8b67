// The layer record: reading and mixing, writing and re-framing, time edits,
// copies and undo chunks, adopted and foreign files, and file failures.
#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <memory>
#include <sys/resource.h>

#include "core/globals.h"
#include "core/layer.h"
#include "fulldisk.h"
#include "layerhelpers.h"
#include "testsupport.h"

using std::unique_ptr;

class TestLayer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kvtestfolders(); }
    void init() { kvtestfolders(); }

    void newlayer()
    {
        layer l;
        QCOMPARE(l.start, 0.0);
        QCOMPARE(l.length, 0.0);
        QCOMPARE(l.volume, 1.0f);
        QCOMPARE(l.mixsign, 1);
        QCOMPARE(l.spanstart(), unsettime);
        QCOMPARE(l.spanlength(), 0.0);
        QVERIFY(l.file->isOpen());
        QCOMPARE(l.file->size(), 0);
        QVERIFY(!l.failed());
        QVERIFY(QFileInfo(l.file->fileName()).fileName().startsWith("layer("));
        QCOMPARE(QFileInfo(l.file->fileName()).absolutePath(), QFileInfo(sessionpath).absoluteFilePath());
    }

    void metatype()
    {
        registerlayermetatype();
        QVERIFY(QMetaType::fromName("layer*").isValid());
        layer l;
        QVariant v = QVariant::fromValue(&l);
        QCOMPARE(v.value<layer*>(), &l);
    }

    void readranges()
    {
        unique_ptr<layer> l(makelayer(1000, 2, 0.1, 100, ramp));
        QCOMPARE(l->start, 0.1);
        QCOMPARE(l->length, 0.1);
        // Starts 10 frames before the layer and ends inside it.
        auto v = readrange(l.get(), 0.09, 20);
        for (int k = 0; k < 10; k++)
            QCOMPARE(v[k * 2], 0.0f);
        QCOMPARE(v[20], ramp(0, 0));
        QCOMPARE(v[39], ramp(9, 1));
        // One channel of two.
        v = readrange(l.get(), 0.15, 5, 1);
        for (int k = 0; k < 5; k++)
            QCOMPARE(v[k], ramp(50 + k, 1));
        // Wholly outside, and past the end.
        v = readrange(l.get(), 0.5, 10);
        QVERIFY(std::all_of(v.begin(), v.end(), [](float x) { return x == 0; }));
        v = readrange(l.get(), 0.195, 10, 0);
        QCOMPARE(v[4], ramp(99, 0));
        QCOMPARE(v[5], 0.0f);
        // A channel the layer lacks gives silence, not a stray read.
        v = readrange(l.get(), 0.1, 10, 2);
        QVERIFY(std::all_of(v.begin(), v.end(), [](float x) { return x == 0; }));
    }

    void readgains()
    {
        unique_ptr<layer> l(makelayer(1000, 1, 0, 50, ramp));
        l->mixsign = -1;
        l->volume = 0.5f;
        l->active = 0; // not applied by the layer's own read
        auto v = readrange(l.get(), 0, 50, -1, true);
        for (int k = 0; k < 50; k++)
            QCOMPARE(v[k], -0.5f * ramp(k, 0));
        v = readrange(l.get(), 0, 50, -1, false);
        QCOMPARE(v[7], ramp(7, 0));
    }

    void containermix()
    {
        auto one = [](int, int c) { return c == 0 ? 1.0f : 10.0f; };
        unique_ptr<layer> mix(makelayer(1000, 2, 0, 100, [](int, int) { return 100.0f; }));
        unique_ptr<layer> a(makelayer(1000, 2, 0, 100, one));
        unique_ptr<layer> b(makelayer(1000, 2, 0.05, 100, one));
        unique_ptr<layer> off(makelayer(1000, 2, 0, 100, one));
        unique_ptr<layer> grand(makelayer(1000, 2, 0, 100, one));
        unique_ptr<layer> other(makelayer(2000, 2, 0, 100, one));
        a->volume = 2;
        b->mixsign = -1;
        off->active = 0;
        a->addchild(grand.get());
        QVERIFY(mix->addchild(a.get()));
        QVERIFY(mix->addchild(b.get()));
        QVERIFY(mix->addchild(off.get()));
        QVERIFY(mix->addchild(other.get()));
        auto v = readrange(mix.get(), 0, 160);
        QCOMPARE(v[0], 102.0f);           // own + 2a (grandchild not heard)
        QCOMPARE(v[2 * 60 + 1], 110.0f);  // own + 20 - 10
        QCOMPARE(v[2 * 120], -1.0f);      // past own and a: only -b
        QCOMPARE(v[2 * 149 + 1], -10.0f);
        QCOMPARE(v[2 * 150 + 1], 0.0f);   // b ends at 0.15
        // The span covers every child that holds audio.
        QCOMPARE(mix->spanstart(), 0.0);
        QVERIFY(qAbs(mix->spanlength() - 0.15) < 1e-12);
        mix->clearchildren();
        QCOMPARE(readrange(mix.get(), 0, 1)[0], 100.0f);
    }

    void childcapacity()
    {
        layer mix;
        layer child;
        for (int i = 0; i < layer::maxchildren; i++)
            QVERIFY(mix.addchild(&child));
        QVERIFY(!mix.addchild(&child));
        QCOMPARE(mix.childcount, layer::maxchildren);
        QVERIFY(!mix.addchild(&mix));
    }

    void writegrows()
    {
        layer l;
        l.samplerate = 1000;
        l.channels = 1;
        std::vector<float> data(10, 1.0f);
        l.write(data.data(), 0.2, 0.01);
        QCOMPARE(l.start, 0.2);
        QCOMPARE(l.length, 0.01);
        QCOMPARE(l.fileframes(), 10);
        // Before the start: the old frames move later.
        std::fill(data.begin(), data.end(), 2.0f);
        l.write(data.data(), 0.1, 0.01);
        QCOMPARE(l.start, 0.1);
        QVERIFY(qAbs(l.length - 0.11) < 1e-12);
        QCOMPARE(l.fileframes(), 110);
        auto v = readrange(&l, 0.1, 110);
        QCOMPARE(v[0], 2.0f);
        QCOMPARE(v[10], 0.0f);
        QCOMPARE(v[100], 1.0f);
        QCOMPARE(v[109], 1.0f);
        // After the end: the file grows in place.
        std::fill(data.begin(), data.end(), 3.0f);
        l.write(data.data(), 0.25, 0.01);
        QCOMPARE(l.fileframes(), 160);
        v = readrange(&l, 0.1, 160);
        QCOMPARE(v[100], 1.0f);
        QCOMPARE(v[120], 0.0f);
        QCOMPARE(v[150], 3.0f);
        QCOMPARE(l.dirtymin, 0.1);
        QVERIFY(qAbs(l.dirtymax - 0.26) < 1e-12);
        l.resetdirty();
        QVERIFY(l.dirtymin > l.dirtymax);
    }

    void setlengthkeepsframes()
    {
        // A later start keeps every frame that remains, up to the new length.
        unique_ptr<layer> l(makelayer(1000, 2, 0, 100, ramp));
        l->setlength(0.02, false, 0.09);
        QCOMPARE(l->start, 0.02);
        QCOMPARE(l->fileframes(), 90);
        auto v = readrange(l.get(), 0.02, 90);
        for (int k = 0; k < 80; k++)
            QCOMPARE(v[k * 2 + 1], ramp(k + 20, 1));
        QCOMPARE(v[80 * 2], 0.0f);
        // An earlier start moves the frames later.
        l->setlength(0.0, false, 0.05);
        QCOMPARE(l->fileframes(), 50);
        v = readrange(l.get(), 0, 50, 0);
        QCOMPARE(v[19], 0.0f);
        QCOMPARE(v[20], ramp(20, 0));
        QCOMPARE(v[49], ramp(49, 0));
        // keep: cut at the end, the frames stay.
        l->setlength(0.5, true, 0.03);
        QCOMPARE(l->start, 0.5);
        QCOMPARE(l->fileframes(), 30);
        QCOMPARE(readrange(l.get(), 0.52, 1, 0)[0], ramp(20, 0));
    }

    void inserttime()
    {
        unique_ptr<layer> l(makelayer(1000, 1, 0, 100, ramp));
        l->inserttime(0, 0.5);
        QCOMPARE(l->start, 0.5);
        QCOMPARE(l->fileframes(), 100);
        l->inserttime(0.5, 0.1);
        QCOMPARE(l->start, 0.6);
        l->inserttime(0.65, 0.02); // inside: a zero gap of 20 frames
        QVERIFY(qAbs(l->length - 0.12) < 1e-12);
        QCOMPARE(l->fileframes(), 120);
        auto v = readrange(l.get(), 0.6, 120);
        QCOMPARE(v[49], ramp(49, 0));
        QCOMPARE(v[50], 0.0f);
        QCOMPARE(v[69], 0.0f);
        QCOMPARE(v[70], ramp(50, 0));
        QCOMPARE(v[119], ramp(99, 0));
        const QByteArray before = filebytes(l.get());
        l->inserttime(2.0, 1.0); // after the end: nothing
        QCOMPARE(l->start, 0.6);
        QCOMPARE(filebytes(l.get()), before);
    }

    void removetime()
    {
        unique_ptr<layer> l(makelayer(1000, 1, 0.5, 100, ramp));
        l->removetime(0.1, 0.2); // before the layer
        QCOMPARE(l->start, 0.3);
        l->removetime(0.25, 0.1); // from before the layer into it
        QCOMPARE(l->start, 0.25);
        QCOMPARE(l->fileframes(), 50);
        QCOMPARE(readrange(l.get(), 0.25, 1)[0], ramp(50, 0));
        l->removetime(0.26, 0.01); // inside
        QCOMPARE(l->fileframes(), 40);
        auto v = readrange(l.get(), 0.25, 40);
        QCOMPARE(v[9], ramp(59, 0));
        QCOMPARE(v[10], ramp(70, 0));
        QVERIFY(qAbs(l->length - 0.04) < 1e-12);
        l->removetime(0.2, 1.0); // covering: empty
        QCOMPARE(l->start, 0.0);
        QCOMPARE(l->length, 0.0);
        QCOMPARE(l->file->size(), 0);
    }

    void copies()
    {
        unique_ptr<layer> plain(makelayer(1000, 2, 0.3, 64, ramp));
        plain->name = "plain";
        plain->speakermask = 0x3;
        layer copy(*plain);
        QCOMPARE(copy.name, QString("plain"));
        QCOMPARE(copy.start, 0.3);
        QCOMPARE(copy.speakermask, 0x3);
        QCOMPARE(filebytes(&copy), filebytes(plain.get()));
        QVERIFY(copy.file->fileName() != plain->file->fileName());

        // A container's copy holds the mix of its children, not its own samples.
        unique_ptr<layer> mix(makelayer(1000, 1, 0, 10, [](int, int) { return 50.0f; }));
        unique_ptr<layer> a(makelayer(1000, 1, 0.1, 150000, [](int k, int) { return float(k % 7); }));
        unique_ptr<layer> b(makelayer(1000, 1, 0.2, 10, [](int, int) { return 1.0f; }));
        unique_ptr<layer> off(makelayer(1000, 1, 0.2, 10, [](int, int) { return 9.0f; }));
        b->mixsign = -1;
        b->volume = 0.5f;
        off->active = 0;
        mix->addchild(a.get());
        mix->addchild(b.get());
        mix->addchild(off.get());
        layer flat(*mix);
        QCOMPARE(flat.childcount, 0);
        QCOMPARE(flat.start, 0.0);
        QCOMPARE(flat.fileframes(), 150100);
        auto v = readrange(&flat, 0, 150100);
        QCOMPARE(v[5], 0.0f); // the container's own 50s are not in it
        QCOMPARE(v[106], 6.0f);
        QCOMPARE(v[200], float(100 % 7) - 0.5f);
        QCOMPARE(v[209], float(109 % 7) - 0.5f);
        QCOMPARE(v[210], float(110 % 7));
        QCOMPARE(v[150099], float(149999 % 7)); // second block of the mix

        layer empty;
        layer emptycopy(empty);
        QCOMPARE(emptycopy.start, 0.0);
        QCOMPARE(emptycopy.length, 0.0);
    }

    void chunks()
    {
        unique_ptr<layer> l(makelayer(1000, 2, 0.1, 100, ramp));
        layer inside(l.get(), 0.15, 0.01);
        QCOMPARE(inside.fileframes(), 10);
        QCOMPARE(readrange(&inside, 0.15, 1)[0], ramp(50, 0));
        // Overlapping the start, then the end: silent outside the source.
        layer early(l.get(), 0.05, 0.1);
        auto v = readrange(&early, 0.05, 100);
        QCOMPARE(v[2 * 49], 0.0f);
        QCOMPARE(v[2 * 50], ramp(0, 0));
        QCOMPARE(v[2 * 99 + 1], ramp(49, 1));
        layer late(l.get(), 0.19, 0.05);
        v = readrange(&late, 0.19, 50);
        QCOMPARE(v[2 * 9], ramp(99, 0));
        QCOMPARE(v[2 * 10], 0.0f);
        // Wholly outside, and from an empty source: all zeros of the right size.
        layer outside(l.get(), 5.0, 0.02);
        QCOMPARE(outside.fileframes(), 20);
        layer none;
        none.samplerate = 1000;
        none.channels = 2;
        layer fromnone(&none, 0.1, 0.02);
        QCOMPARE(fromnone.fileframes(), 20);
        for (layer* c : {&outside, &fromnone}) {
            const QByteArray bytes = filebytes(c);
            QVERIFY(std::all_of(bytes.begin(), bytes.end(), [](char x) { return x == 0; }));
        }
    }

    void copyrangeroundtrip()
    {
        unique_ptr<layer> l(makelayer(1000, 2, 0.1, 100, ramp));
        const QByteArray original = filebytes(l.get());
        unique_ptr<layer> before(new layer(l.get(), 0.12, 0.03));
        std::vector<float> data(60, -7.0f);
        l->write(data.data(), 0.12, 0.03);
        const QByteArray edited = filebytes(l.get());
        QVERIFY(edited != original);
        unique_ptr<layer> after(new layer(l.get(), 0.12, 0.03));
        l->copyrange(before.get());
        QCOMPARE(filebytes(l.get()), original);
        l->copyrange(after.get());
        QCOMPARE(filebytes(l.get()), edited);

        // Overhangs of less than half a sample are rounding, not a refusal.
        unique_ptr<layer> edge(new layer(l.get(), 0.1, 0.1));
        edge->start = 0.1 - 0.4e-3;
        l->copyrange(before.get());
        l->copyrange(edge.get());
        QCOMPARE(filebytes(l.get()), edited);
        // Real overhangs at either end change nothing.
        l->copyrange(before.get());
        edge->start = 0.1 - 1e-3;
        l->copyrange(edge.get());
        QCOMPARE(filebytes(l.get()), original);
        edge->start = 0.1 + 1e-3;
        l->copyrange(edge.get());
        QCOMPARE(filebytes(l.get()), original);
    }

    // Undo and redo chunks of edits that moved the layer's start or end give
    // the file, start and length back exactly, in both directions and again.
    void restorerangeextent_data()
    {
        QTest::addColumn<double>("from");   // start of the layer before the edit (-1: empty)
        QTest::addColumn<double>("time");   // the edit
        QTest::addColumn<double>("seconds");
        QTest::newRow("inside") << 0.1 << 0.13 << 0.02;
        QTest::newRow("past the end, with a gap") << 0.1 << 0.25 << 0.03;
        QTest::newRow("over the end") << 0.1 << 0.19 << 0.03;
        QTest::newRow("before the start, with a gap") << 0.1 << 0.05 << 0.02;
        QTest::newRow("over the start") << 0.1 << 0.08 << 0.05;
        QTest::newRow("around the whole layer") << 0.1 << 0.05 << 0.3;
        QTest::newRow("half a frame off the grid") << 0.1 << 0.0735 << 0.011;
        QTest::newRow("into an empty layer") << -1.0 << 0.3 << 0.02;
    }
    void restorerangeextent()
    {
        QFETCH(double, from);
        QFETCH(double, time);
        QFETCH(double, seconds);
        unique_ptr<layer> l(from < 0 ? new layer() : makelayer(1000, 2, from, 100, ramp));
        l->samplerate = 1000;
        l->channels = 2;
        const LayerState original = state(l.get());
        const unique_ptr<layer> snapshot(new layer(*l));

        std::vector<float> data(size_t(std::lround(seconds * 1000)) * 2, -7.0f);
        l->write(data.data(), time, seconds);
        const LayerState edited = state(l.get());
        QVERIFY(edited != original);
        const double t = l->dirtymin, d = l->dirtymax - l->dirtymin;
        const unique_ptr<layer> before(new layer(snapshot.get(), t, d));
        const unique_ptr<layer> after(new layer(l.get(), t, d));
        for (int round = 0; round < 3; ++round) {
            l->restorerange(before.get());
            QVERIFY(state(l.get()) == original);
            l->restorerange(after.get());
            QVERIFY(state(l.get()) == edited);
        }
        QVERIFY(!l->failed());
    }

    // The "before" side kept by copy on write cuts, after any run of steps,
    // the very chunks that a whole copy made at keepbefore() would give:
    // frames, start, length and the extent that undo gives back.
    void keptbefore_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::newRow("overwrite inside") << "i";
        QTest::newRow("two overlapping writes") << "io";
        QTest::newRow("write before the start") << "b";
        QTest::newRow("write past the end") << "e";
        QTest::newRow("earlier start, then inside, then past the end") << "bie";
        QTest::newRow("cut at the end, then grown again") << "ce";
        QTest::newRow("later start") << "l";
        QTest::newRow("later start, then before it") << "lb";
        QTest::newRow("insert time") << "t";
        QTest::newRow("remove time, then write over the seam") << "ri";
        QTest::newRow("cleared, then written anew") << "xi";
        QTest::newRow("into an empty layer") << "0ie";
    }
    void keptbefore()
    {
        QFETCH(QString, steps);
        const bool empty = steps.startsWith('0');
        unique_ptr<layer> l(empty ? new layer() : makelayer(1000, 2, 0.1, 100, ramp));
        l->samplerate = 1000;
        l->channels = 2;
        const unique_ptr<layer> copy(new layer(*l));
        l->keepbefore();
        auto put = [&](double time, double seconds, float value) {
            std::vector<float> data(size_t(std::lround(seconds * 1000)) * 2, value);
            l->write(data.data(), time, seconds);
        };
        for (QChar step : steps) {
            switch (step.toLatin1()) {
            case 'i': put(0.13, 0.02, -7.0f); break;
            case 'o': put(0.14, 0.03, -8.0f); break;
            case 'b': put(0.05, 0.02, -9.0f); break;
            case 'e': put(0.19, 0.03, -6.0f); break;
            case 'c': l->setlength(l->start, true, 0.05); break;
            case 'l': l->setlength(0.14, false, 0.03); break;
            case 't': l->inserttime(0.15, 0.02); break;
            case 'r': l->removetime(0.12, 0.02); break;
            case 'x': l->clear(); break;
            }
        }
        QVERIFY(!l->failed());
        QVERIFY(!l->beforelost());
        const QList<QPair<double, double>> ranges{{l->dirtymin, l->dirtymax - l->dirtymin},
                                                  {0.0, 0.5}, {0.1, 0.1}, {0.125, 0.0305}, {0.18, 0.01}};
        for (const auto& [t, d] : ranges) {
            if (!(d > 0))
                continue;
            const unique_ptr<layer> kept(l->beforechunk(t, d));
            const unique_ptr<layer> whole(new layer(copy.get(), t, d));
            QVERIFY(kept && !kept->failed());
            QCOMPARE(filebytes(kept.get()), filebytes(whole.get()));
            QCOMPARE(kept->start, whole->start);
            QCOMPARE(kept->length, whole->length);
            QCOMPARE(kept->owner.start, whole->owner.start);
            QCOMPARE(kept->owner.length, whole->owner.length);
            QCOMPARE(kept->owner.frames, whole->owner.frames);
        }
        // Its Undo gives the layer back as it was.
        const double t = l->dirtymin, d = l->dirtymax - l->dirtymin;
        // (Only writes mark what they change; the other steps are not undone.)
        if (d > 0 && !steps.contains(QRegularExpression("[cltrx]"))) {
            const unique_ptr<layer> back(l->beforechunk(t, d));
            l->restorerange(back.get());
            QVERIFY(state(l.get()) == state(copy.get()));
        }
    }

    // Keeping costs what the steps touch: marking copies nothing, a write
    // puts aside only the frames it overwrites (once, however often they are
    // written), and a restore or a new mark lets them go.
    void keptbeforecostswhatistouched()
    {
        const QStringList files = kvsessionfiles();
        unique_ptr<layer> l(makelayer(1000, 2, 0, 100000, ramp));
        const qint64 alone = kvsessionbytes();
        l->keepbefore();
        QCOMPARE(kvsessionbytes(), alone);
        std::vector<float> data(2 * 300, 3.0f);
        l->write(data.data(), 50.0, 0.3);
        l->write(data.data(), 50.1, 0.3);
        l->write(data.data(), 50.0, 0.2);
        // 400 frames aside, and a few bytes a step that say where they belong.
        const qint64 aside = kvsessionbytes() - alone;
        QVERIFY2(aside >= 400 * 2 * 4 && aside < 400 * 2 * 4 + 256, qPrintable(QString::number(aside)));
        const unique_ptr<layer> back(l->beforechunk(l->dirtymin, l->dirtymax - l->dirtymin));
        QCOMPARE(readrange(back.get(), 50.0, 1)[0], ramp(50000, 0));
        l->restorerange(back.get());
        QCOMPARE(kvsessionbytes(), alone + back->file->size());
        QCOMPARE(readrange(l.get(), 50.3, 1)[1], ramp(50300, 1));
        l->write(data.data(), 10.0, 0.1);
        l->keepbefore();
        QCOMPARE(kvsessionbytes(), alone + back->file->size());
        l->write(data.data(), 20.0, 0.1);
        l->dropbefore();
        QVERIFY(!l->keepsbefore());
        QVERIFY(!l->beforechunk(20.0, 0.1));
        QCOMPARE(kvsessionbytes(), alone + back->file->size());
        l.reset();
        QCOMPARE(kvsessionfiles().size(), files.size() + 1); // the chunk alone
    }

    // Frames that cannot be put aside are not overwritten: the write is
    // refused and says why, and the kept file, cut back to its last whole
    // record, still takes the layer back to the state then.
    void keptbeforeonafulldisk()
    {
        unique_ptr<layer> l(makelayer(1000, 1, 0, 1000, ramp));
        const unique_ptr<layer> copy(new layer(*l));
        l->keepbefore();
        std::vector<float> data(300, 5.0f);
        l->write(data.data(), 0.5, 0.3); // 1200 bytes aside
        {
            // Room for the layer's first frames, none for 100 more bytes aside.
            FullDisk full(1250);
            l->write(data.data(), 0.0, 0.025);
        }
        QVERIFY(l->writefailed && !l->beforelost());
        // The cause and the folder, not the "Unknown error" of a write cut short.
        const QString why = l->lasterror();
        QVERIFY2(why.contains("for the history: File too large (in " + QDir::toNativeSeparators(QDir(sessionpath).absolutePath()) + ")"),
                 qPrintable(why));
        QCOMPARE(readrange(l.get(), 0.01, 1)[0], ramp(10, 0));
        unique_ptr<layer> back(new layer());
        back->samplerate = 1000;
        back->channels = 1;
        QVERIFY(back->takekept(l->file->fileName(), l->keptfile()));
        QVERIFY(state(back.get()) == state(copy.get()));
        const unique_ptr<layer> chunk(l->beforechunk(0.0, 1.0));
        QVERIFY(!chunk->failed());
        QCOMPARE(filebytes(chunk.get()), filebytes(copy.get()));
        // With room again the write goes through.
        l->clearerror();
        l->write(data.data(), 0.0, 0.025);
        QVERIFY(!l->failed());
        QCOMPARE(readrange(l.get(), 0.01, 1)[0], 5.0f);
    }

    // A disk without room (ENOSPC, as /dev/full gives) is named as full.
    void writefailureonafulldisk()
    {
        QFile full(QStringLiteral("/dev/full"));
        QVERIFY(full.open(QIODevice::WriteOnly));
        QBuffer source;
        source.setData(QByteArray(4096, 'x'));
        QVERIFY(source.open(QIODevice::ReadOnly));
        QVERIFY(!copyiodevicetail(&source, &full, 4096));
        QCOMPARE(writefailure(&full, errno), QStringLiteral("The disk holding /dev is full."));
    }

    // A chunk that cannot be read back leaves the layer as it is, whether
    // the restore would grow, shrink or move it, and says so.
    void restorerangefailure_data()
    {
        QTest::addColumn<double>("time");
        QTest::addColumn<double>("seconds");
        QTest::newRow("inside") << 0.13 << 0.02;
        QTest::newRow("over the end") << 0.19 << 0.03;
        QTest::newRow("over the start") << 0.08 << 0.05;
        QTest::newRow("around the whole layer") << 0.05 << 0.3;
    }
    void restorerangefailure()
    {
        QFETCH(double, time);
        QFETCH(double, seconds);
        unique_ptr<layer> l(makelayer(1000, 2, 0.1, 100, ramp));
        const LayerState original = state(l.get());
        const unique_ptr<layer> snapshot(new layer(*l));
        std::vector<float> data(size_t(std::lround(seconds * 1000)) * 2, -7.0f);
        l->write(data.data(), time, seconds);
        const LayerState edited = state(l.get());
        const double t = l->dirtymin, d = l->dirtymax - l->dirtymin;
        const unique_ptr<layer> before(new layer(snapshot.get(), t, d));
        const unique_ptr<layer> after(new layer(l.get(), t, d));
        // No half-made file is left either.
        QStringList files = kvsessionfiles();
        before->file->close();
        l->restorerange(before.get());
        QVERIFY(l->failed());
        QVERIFY(state(l.get()) == edited);
        QCOMPARE(kvsessionfiles(), files);
        QVERIFY(before->file->open(QIODevice::ReadWrite));
        l->clearerror();
        l->restorerange(before.get());
        QVERIFY(!l->failed());
        QVERIFY(state(l.get()) == original);

        files = kvsessionfiles();
        after->file->close();
        l->restorerange(after.get());
        QVERIFY(l->failed());
        QVERIFY(state(l.get()) == original);
        QCOMPARE(kvsessionfiles(), files);
    }

    // A chunk that knows no extent is written as copyrange writes it, and a
    // chunk of another format changes nothing.
    void restorerangewithoutextent()
    {
        unique_ptr<layer> l(makelayer(1000, 2, 0.1, 100, ramp));
        const QByteArray original = filebytes(l.get());
        unique_ptr<layer> sticking(makelayer(1000, 2, 0.15, 100, [](int, int) { return 3.0f; }));
        l->restorerange(sticking.get());
        QCOMPARE(filebytes(l.get()), original);
        QCOMPARE(l->length, 0.1);
        unique_ptr<layer> inside(makelayer(1000, 2, 0.15, 10, [](int, int) { return 3.0f; }));
        l->restorerange(inside.get());
        QCOMPARE(readrange(l.get(), 0.15, 1)[0], 3.0f);
        QCOMPARE(readrange(l.get(), 0.16, 1)[0], ramp(60, 0));

        unique_ptr<layer> grown(makelayer(1000, 2, 0.1, 200, ramp));
        unique_ptr<layer> other(new layer(grown.get(), 0.05, 0.02));
        other->samplerate = 2000;
        const QByteArray edited = filebytes(l.get());
        l->restorerange(other.get());
        QVERIFY(l->failed());
        QCOMPARE(filebytes(l.get()), edited);
        QCOMPARE(l->start, 0.1);
        QCOMPARE(l->length, 0.1);
    }

    void existingfiles()
    {
        QByteArray samples(400, 0);
        for (int i = 0; i < samples.size(); i++)
            samples[i] = char(i);
        // A file this program made in the session folder is adopted.
        const QString own = sessionpath + "/layer(Ab12Cd).pcm";
        {
            QFile f(own);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(samples);
        }
        {
            layer adopted(own, "own", true, 1, 1, 1000, 1, 0, 0.1, false);
            QCOMPARE(adopted.file->fileName(), own);
            QCOMPARE(adopted.fileframes(), 100);
        }
        QVERIFY(!QFile::exists(own));

        // Any other file is copied and left exactly as it was.
        QTemporaryDir elsewhere;
        const QString foreign[] = {elsewhere.path() + "/layer(Ab12Cd).pcm", sessionpath + "/mine.pcm"};
        for (const QString& path : foreign) {
            {
                QFile f(path);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write(samples);
            }
            for (bool copy : {false, true}) {
                unique_ptr<layer> l(new layer(path, "x", true, 1, 1, 1000, 1, 0, 0.1, copy));
                QVERIFY(l->file->fileName() != path);
                QCOMPARE(filebytes(l.get()), samples);
                std::vector<float> data(100, 1.0f);
                l->write(data.data(), 0, 0.1);
                l.reset();
                QFile f(path);
                QVERIFY(f.open(QIODevice::ReadOnly));
                QCOMPARE(f.readAll(), samples);
            }
        }
        // A missing file gives an empty layer and says why.
        layer missing(elsewhere.path() + "/none.pcm", "x", true, 1, 1, 1000, 1, 0, 0.1, false);
        QVERIFY(missing.failed());
        QCOMPARE(missing.length, 0.0);
    }

    void blockcopy()
    {
        QByteArray source(2500000, 0);
        for (int i = 0; i < source.size(); i++)
            source[i] = char(i * 7);
        QBuffer from(&source);
        QByteArray target;
        QBuffer to(&target);
        from.open(QIODevice::ReadOnly);
        to.open(QIODevice::ReadWrite);
        QVERIFY(copyiodevice(&from, 100, &to, 3, 2400000));
        QCOMPARE(target.size(), 2400003);
        QCOMPARE(target.mid(3), source.mid(100, 2400000));
        QVERIFY(copyiodevice(&from, 0, &to, 0, 0));
        // Asking for more than the source holds is a failure, not a success.
        QVERIFY(!copyiodevice(&from, 2000000, &to, 0, 1000000));
    }

    void missingsessionfolder()
    {
        unique_ptr<layer> l(makelayer(1000, 1, 0.1, 100, ramp));
        const QByteArray original = filebytes(l.get());
        const QString file = l->file->fileName();
        sessionpath = QDir::tempPath() + "/no such folder";
        std::vector<float> data(10, 5.0f);
        l->write(data.data(), 0.0, 0.01); // needs a new file: refused
        QVERIFY(l->failed());
        QVERIFY(!l->lasterror().isEmpty());
        l->clearerror();
        l->inserttime(0.15, 0.1);
        QVERIFY(l->failed());
        l->removetime(0.15, 0.01);
        l->setlength(0.05, false, 0.2);
        QCOMPARE(l->start, 0.1);
        QCOMPARE(l->length, 0.1);
        QCOMPARE(l->file->fileName(), file);
        QCOMPARE(filebytes(l.get()), original);
        layer nofile;
        QVERIFY(nofile.failed());
        nofile.samplerate = 1000;
        nofile.channels = 1;
        nofile.write(data.data(), 0, 0.01);
        QCOMPARE(nofile.length, 0.0);
    }

    void fulldisk()
    {
        // A file size limit stands in for a full disk: growing files fails.
        unique_ptr<layer> l(makelayer(1000, 1, 0.1, 1000, ramp));
        const QByteArray original = filebytes(l.get());
        const QStringList files = kvsessionfiles();
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old;
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit limit = old;
        limit.rlim_cur = 2048;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
        std::vector<float> data(1000, 5.0f);
        l->write(data.data(), 1.0, 1.0);  // grows in place
        const bool grew = l->failed();
        l->clearerror();
        l->write(data.data(), 0.0, 0.1);  // needs a bigger new file
        const bool moved = l->failed();
        l->clearerror();
        layer copy(*l);
        const bool copied = copy.failed();
        setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(grew);
        QVERIFY(moved);
        QVERIFY(copied);
        QCOMPARE(copy.length, 0.0);
        QCOMPARE(l->start, 0.1);
        QCOMPARE(l->length, 1.0);
        QCOMPARE(filebytes(l.get()), original);
        QStringList now = kvsessionfiles();
        now.removeOne(QFileInfo(copy.file->fileName()).fileName());
        QCOMPARE(now, files);
    }
};

QTEST_GUILESS_MAIN(TestLayer)
#include "tst_layer.moc"
