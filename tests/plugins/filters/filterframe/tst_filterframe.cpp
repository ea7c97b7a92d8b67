#include <QApplication>
#include <QMessageBox>
#include <QScopeGuard>
#include <QTest>

#include <algorithm>

#include "cachewindow.h"

#include "dialogseam.h"
#include "filterblock.h"
#include "hostlink.h"
#include "previewcycle.h"

using namespace filterframe;

// The filter frame on its own: the area conventions, and the run of a
// preview filter against a data block that records what reaches the host.
class TestFilterframe : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void frames_data();
    void frames();
    void bins_data();
    void bins();
    void samples();
    void channels();
    void scratch();
    void binRuns();
    void cycleOrder_data();
    void cycleOrder();
    void cycleRefusals();
    void cycleCancelled();
    void dialogOwnership();
};

namespace {

// Everything the frame asks of the host, in order.
QStringList calls;
QList<QRectF> areas; // of the transfers

void transfer(int src, int dst, QRectF area, int mask, int mode, float dt, float df)
{
    calls.append(QStringLiteral("transfer %1>%2 mode %3 mask %4 shift %5,%6")
                     .arg(src).arg(dst).arg(mode).arg(mask).arg(dt).arg(df));
    areas.append(area);
}
float getsample(int, int, int) { return 0; }
void setsample(int, int, int, float) {}
// Bin b of frame f reads (f + b, -b); a write is noted.
QVector2D getbin(int, int, int f, int b) { return QVector2D(float(f + b), float(-b)); }
void setbin(int buffer, int channel, int f, int b, float re, float im)
{
    calls.append(QStringLiteral("setbin %1 %2 %3 %4 %5,%6").arg(buffer).arg(channel).arg(f).arg(b).arg(re).arg(im));
}

int dialoganswer = QDialog::Rejected;
int modal(QDialog* dialog)
{
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
        calls.append("message " + box->windowTitle() + ": " + box->text());
        return QMessageBox::Ok;
    }
    calls.append("dialog");
    return dialoganswer;
}

// 8000 Hz, window 256, overlap 4: a hop of 64 samples, 8 ms; a bin of 31.25 Hz.
DataInterface block(int channels = 2, int mask = 0b11)
{
    DataInterface d;
    d.samplerate = 8000;
    d.channels = channels;
    d.channelmask = mask;
    d.fftsize = 256;
    d.overlap = 4;
    d.getsample = &getsample;
    d.setsample = &setsample;
    d.getbin = &getbin;
    d.setbin = &setbin;
    d.transferarea = &transfer;
    return d;
}

// A host's runs of bins: each call is noted, reads as the block's getbin.
struct NotingRuns : BinRuns
{
    void getbins(int, int, int frame, int first, int count, float* pairs) override
    {
        calls.append(QStringLiteral("getbins %1 %2 %3").arg(frame).arg(first).arg(count));
        for (int i = 0; i < count; ++i) {
            pairs[2 * i] = float(frame + first + i);
            pairs[2 * i + 1] = float(-(first + i));
        }
    }
    void setbins(int, int, int frame, int first, int count, const float* pairs) override
    {
        calls.append(QStringLiteral("setbins %1 %2 %3 %4").arg(frame).arg(first).arg(count).arg(pairs[2 * count - 1]));
    }
};

// A filter of the block, as runcycle takes it.
struct Filter : FilterInterface
{
    explicit Filter(const DataInterface& d)
    {
        static_cast<DataInterface&>(*this) = d;
        label = QStringLiteral("Test");
    }
    bool initialize(const QString&, QWidget*) override { return true; }
    bool process() override { return true; }
};

// The settings are read once the dialog is answered; the computation is noted.
PrepareApply noted()
{
    return [] {
        calls.append("prepare");
        return ApplyArea([](const QRectF&, const Going&) { calls.append("apply"); });
    };
}

// A host whose user cancels once the work says it has come `cutoff` percent.
struct CancellingHost : HostServices
{
    int cutoff = 100;
    bool waitwhile(const QString&, const QString&, const std::function<bool()>&) override { return true; }
    WorkEnd runwork(const QString& title, const QString&, const HostWork& work) override
    {
        calls.append("wait " + title);
        bool cancelled = false;
        const bool done = work([&](int percent) {
            cancelled = cancelled || percent >= cutoff;
            return !cancelled;
        });
        return cancelled ? WorkEnd::Cancelled : done ? WorkEnd::Done : WorkEnd::Failed;
    }
    void waitprogress(int) override {}
    void waittext(const QString&) override {}
};

} // namespace

void TestFilterframe::init()
{
    calls.clear();
    areas.clear();
    dialoganswer = QDialog::Rejected;
    filterframesethooks(&modal, nullptr, nullptr);
}

void TestFilterframe::frames_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("width");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    // Exactly k hops wide: k + 1 frames, both ends included.
    QTest::newRow("4 hops") << 0.008 << 0.032 << 1 << 5;
    QTest::newRow("halves round up") << 0.02 << 0.04 << 3 << 8; // 2.5 and 7.5
    QTest::newRow("negative halves round up") << -0.02 << 0.0 << -2 << -2;
    QTest::newRow("one frame") << 0.1 << 0.0 << 13 << 13;
}

void TestFilterframe::frames()
{
    QFETCH(double, x);
    QFETCH(double, width);
    QFETCH(int, first);
    QFETCH(int, last);
    const Span s = framesof(block(), QRectF(x, 4000, width, -4000));
    QCOMPARE(s.first, first);
    QCOMPARE(s.last, last);
}

void TestFilterframe::bins_data()
{
    QTest::addColumn<QRectF>("area");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::newRow("band") << QRectF(0, 2000, 1, -1000) << 32 << 64;
    QTest::newRow("whole") << QRectF(0, 4000, 1, -4000) << 0 << 128;
    // The host would ignore bins outside a frame; they are never visited.
    QTest::newRow("above the top") << QRectF(0, 9000, 1, -2000) << 224 << 128;
    QTest::newRow("below zero") << QRectF(0, 100, 1, -500) << 0 << 3;
    QTest::newRow("half a bin rounds up") << QRectF(0, 1015.625, 1, -15.625) << 32 << 33;
}

void TestFilterframe::bins()
{
    QFETCH(QRectF, area);
    QFETCH(int, first);
    QFETCH(int, last);
    const Span s = binsof(block(), area);
    QCOMPARE(s.first, first);
    QCOMPARE(s.last, last);
    QCOMPARE(s.empty(), last < first);
}

void TestFilterframe::samples()
{
    // One second holds rate + 1 samples.
    const Span s = samplesof(block(), QRectF(0.5, 4000, 1, -4000));
    QCOMPARE(s.first, 4000);
    QCOMPARE(s.last, 12000);
    // Far beyond any layer the indices stay within int.
    const Span far = samplesof(block(), QRectF(1e12, 4000, 1e12, -4000));
    QVERIFY(far.first > 0 && far.last >= far.first);
}

void TestFilterframe::channels()
{
    // Bits beyond the project's channels are ignored, and so are channels
    // beyond a filter's limit.
    QCOMPARE(channelsof(block(3, 0b11101)), (std::vector<int>{0, 2}));
    QCOMPARE(channelsof(block(8, 0xFF), 4), (std::vector<int>{0, 1, 2, 3}));
    QCOMPARE(channelsof(block(2, 0)), std::vector<int>{});
    QCOMPARE(maskof({0, 2, 7}), 0b10000101);
    QCOMPARE(maskof({}), 0);
    QVERIFY(blockready(block()));
    DataInterface unfilled;
    QVERIFY(!blockready(unfilled));
    DataInterface nohop = block();
    nohop.overlap = 512; // more frames per window than samples
    QVERIFY(!blockready(nohop));
}

void TestFilterframe::scratch()
{
    const DataInterface d = block(2, 0b10);
    emptyscratch(d);
    commitscratch(d, QRectF(1, 2, 3, -4), 0b10, loudermode);
    QCOMPARE(areas, QList<QRectF>({QRectF(0, 0, 0, 0), QRectF(1, 2, 3, -4)}));
    // A mask of 0 would reach every channel: nothing is committed.
    commitscratch(d, QRectF(1, 2, 3, -4), 0, copymode);
    QCOMPARE(calls, QStringList({"transfer 2>2 mode 0 mask 2 shift 0,0", "transfer 2>1 mode 9 mask 2 shift 0,0"}));
}

void TestFilterframe::binRuns()
{
    // Without runs from the host, a span goes through getbin and setbin bin
    // by bin; with them, in one call each. Both read the same pairs.
    const DataInterface d = block();
    const Span bins{3, 5};
    float viasingle[6], viarun[6];
    calls.clear();
    readbins(d, layerbuffer, 1, 7, bins, viasingle);
    writebins(d, scratchbuffer, 1, 7, bins, viasingle);
    writebins(d, scratchbuffer, 1, 7, Span{}, viasingle); // an empty span calls nothing
    QCOMPARE(calls, (QStringList{"setbin 2 1 7 3 10,-3", "setbin 2 1 7 4 11,-4", "setbin 2 1 7 5 12,-5"}));

    NotingRuns runs;
    TakesBinRuns taker;
    taker.setbinruns(&runs);
    const auto unset = qScopeGuard([&] { taker.setbinruns(nullptr); });
    calls.clear();
    readbins(d, layerbuffer, 1, 7, bins, viarun);
    writebins(d, scratchbuffer, 1, 7, bins, viarun);
    QCOMPARE(calls, (QStringList{"getbins 7 3 3", "setbins 7 3 3 -5"}));
    QVERIFY(std::equal(viasingle, viasingle + 6, viarun));
}

void TestFilterframe::cycleOrder_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("applied") << int(QDialog::Accepted) << copymode
                             << QStringList{"before", "dialog", "prepare", "apply",
                                            "transfer 2>1 mode 5 mask 1 shift 0,0",
                                            "transfer 2>2 mode 0 mask 5 shift 0,0"};
    // Written into the layer by the filter itself: nothing to commit.
    QTest::newRow("in place") << int(QDialog::Accepted) << -1
                              << QStringList{"before", "dialog", "prepare", "apply",
                                             "transfer 2>2 mode 0 mask 5 shift 0,0"};
    QTest::newRow("closed") << int(QDialog::Rejected) << copymode << QStringList{"before", "dialog"};
}

void TestFilterframe::cycleOrder()
{
    QFETCH(int, answer);
    QFETCH(int, mode);
    QFETCH(QStringList, expected);
    dialoganswer = answer;
    // Channel 2 lies beyond the filter's limit of two channels.
    DataInterface d = block(3, 0b101);
    d.layerarea = QRectF(0.1, 3000, 0.2, -1000);
    QDialog dialog;
    PreviewCycle cycle = mode < 0 ? inplacecycle(2) : PreviewCycle();
    cycle.channellimit = 2;
    cycle.inruns = false;
    Filter filter(d);
    const bool result = runcycle(filter, nullptr, &dialog, cycle, [] { calls.append("before"); }, noted());
    QCOMPARE(result, answer == QDialog::Accepted);
    QCOMPARE(calls, expected);
    if (result && mode >= 0)
        QCOMPARE(areas, QList<QRectF>({QRectF(0.1, 3000, 0.2, -1000), QRectF(0, 0, 0, 0)}));
}

void TestFilterframe::cycleRefusals()
{
    dialoganswer = QDialog::Accepted;
    QDialog dialog;
    PreviewCycle generator;
    generator.area = &DataInterface::clipboardarea;
    generator.mode = loudermode;
    generator.needsselection = true;
    const PrepareApply apply = noted();

    Filter d(block());
    QVERIFY(!runcycle(d, nullptr, &dialog, generator, nullptr, apply));
    QCOMPARE(calls, QStringList{"message No area selected: Please select an area first."});

    calls.clear();
    d.areaselected = true;
    d.channelmask = 0b100; // only a channel the project does not have
    QVERIFY(!runcycle(d, nullptr, &dialog, generator, nullptr, apply));
    QCOMPARE(calls, QStringList{"message No channel selected: Please switch on a channel first."});

    // A block the host has not filled, or no dialog: nothing at all.
    calls.clear();
    Filter unfilled{DataInterface()};
    unfilled.areaselected = true;
    QVERIFY(!runcycle(unfilled, nullptr, &dialog, generator, nullptr, apply));
    d.channelmask = 0b1;
    QVERIFY(!runcycle(d, nullptr, nullptr, generator, nullptr, apply));
    QVERIFY(calls.isEmpty());

    QVERIFY(runcycle(d, nullptr, &dialog, generator, nullptr, apply));
    QCOMPARE(calls.value(2), QString("apply"));
    QCOMPARE(calls.value(3), QString("transfer 2>1 mode 9 mask 1 shift 0,0"));
}

void TestFilterframe::cycleCancelled()
{
    // An area of three runs: the second is cancelled while it is computed.
    // What it computed is not committed, the third is never begun, and the
    // scratch is emptied; the host gives back what the first committed.
    dialoganswer = QDialog::Accepted;
    CancellingHost host;
    host.cutoff = 50; // halfway through the second run
    TakesHost taker;
    taker.sethost(&host);
    const auto unhost = qScopeGuard([&] { taker.sethost(nullptr); });
    Filter d(block(1, 0b1));
    const int run = cachedrun(d.fftsize, d.overlap);
    d.layerarea = QRectF(0, 4000, 2.5 * run * 64 / 8000.0, -4000);
    QDialog dialog;
    const auto apply = [] {
        return ApplyArea([](const QRectF&, const Going& going) {
            calls.append("apply");
            going(0.5);
        });
    };
    QVERIFY(!runcycle(d, nullptr, &dialog, mixcycle(), nullptr, apply));
    QCOMPARE(calls, (QStringList{"dialog", "wait Test", "apply", "transfer 2>1 mode 5 mask 1 shift 0,0", "apply",
                                 "transfer 2>2 mode 0 mask 1 shift 0,0"}));
}

void TestFilterframe::dialogOwnership()
{
    // The window goes first: it deletes the dialog; the owner then deletes nothing.
    auto* window = new QWidget;
    QPointer<QDialog> made;
    {
        OwnedDialog owned;
        made = owned.make(window, "Title");
        QCOMPARE(owned.make(window, "Other"), made.data()); // made once
        QCOMPARE(made->windowTitle(), QString("Title"));
        QVERIFY(made->isModal());
        QCOMPARE(made->parentWidget(), window);
        delete window;
        QVERIFY(!made);
        QVERIFY(!owned.get());
    }
    // The owner goes first: the dialog leaves its window with it.
    window = new QWidget;
    {
        OwnedDialog owned;
        made = owned.make(window, "Title");
    }
    QVERIFY(!made);
    QVERIFY(window->findChildren<QDialog*>().isEmpty());
    delete window;
}

QTEST_MAIN(TestFilterframe)
#include "tst_filterframe.moc"
