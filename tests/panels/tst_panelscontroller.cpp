// The history and channel panels against the real spectrum controller, wired
// as the main window wires them: undo, redo and clicks on the history bring
// every layer file back byte for byte, and the channel toggles show and hide
// the channel views.
#include <QSignalSpy>
#include <QtTest>
#include <cmath>
#include <memory>
#include <vector>

#include "app/mainwindow.h"
#include "app/prompt.h"
#include "controller/spectrumgui.h"
#include "core/globals.h"
#include "core/layer.h"
#include "core/layerhelpers.h"
#include "core/log.h"
#include "fulldisk.h"
#include "panels/channelsgui.h"
#include "panels/historygui.h"
#include "panels/layersgui.h"
#include "panels/qtreewidgetext.h"
#include "testsupport.h"
#include "view/glchannel.h"

namespace {

constexpr int rate = 44100;

float tone(int k, int c)
{
    return 0.5f * float(std::sin(0.0627 * k + c));
}

struct Rig
{
    MainWindow window;
    std::vector<std::unique_ptr<layer>> layers;
    SpectrumGui* gui = nullptr;
    HistoryGui* history = nullptr;
    ChannelsGui* channels = nullptr;
    LayersGui* panel = nullptr;

    Rig()
    {
        window.resize(900, 700);
        gui = new SpectrumGui(&window);
        history = new HistoryGui(&window);
        channels = new ChannelsGui(&window);
        panel = new LayersGui(&window);
        QObject::connect(gui, &SpectrumGui::outbackuplayer, history, &HistoryGui::inbackuplayer);
        QObject::connect(history, &HistoryGui::outrestorelayer, gui, &SpectrumGui::inrestorelayer);
        QObject::connect(gui, &SpectrumGui::outchannels, channels, &ChannelsGui::inchannels);
        QObject::connect(gui, &SpectrumGui::outchanneldescription, channels, &ChannelsGui::inchanneldescription);
        QObject::connect(gui, &SpectrumGui::outcurrentchannel, channels, &ChannelsGui::incurrentchannel);
        QObject::connect(channels, &ChannelsGui::outchannelactive, gui, &SpectrumGui::inchannelactive);
    }
    ~Rig()
    {
        delete history;
        delete channels;
        delete gui;
        delete panel;
    }

    // A project of the given layers (each `seconds` long from 0), the first current.
    QList<layer*> project(int count, int channelcount, double seconds)
    {
        QList<layer*> list;
        for (int i = 0; i < count; ++i) {
            layers.emplace_back(makelayer(rate, channelcount, 0, int(seconds * rate), tone));
            layers.back()->name = QStringLiteral("layer %1").arg(i);
            list << layers.back().get();
        }
        panel->alllayers = new layer();
        panel->alllayers->resample(rate, channelcount, 0);
        panel->mixlayer = new layer();
        panel->mixlayer->resample(rate, channelcount, 0);
        for (layer* l : list) {
            panel->alllayers->addchild(l);
            panel->mixlayer->addchild(l);
        }
        projectformat = {rate, channelcount, list.first()->speakermask};
        if (!gui->bindlayer(0, panel->mixlayer) || !gui->bindlayer(1, list.first()))
            return {};
        return list;
    }

    int rows() const { return history->tree->topLevelItemCount(); }
    QTreeWidgetItem* row(int i) const { return history->tree->topLevelItem(i); }
};

// Writes `value` into every channel of `l` over [time, time + seconds).
void edit(layer* l, double time, double seconds, float value)
{
    std::vector<float> data(size_t(std::lround(seconds * rate)) * size_t(l->channels), value);
    l->write(data.data(), time, seconds);
}

} // namespace

class TestPanelsController : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        kvtestfolders();
        QVERIFY(loginit(2));
        registerlayermetatype();
    }

    void cleanup()
    {
        selection = QRectF(0, 0, 0, 0);
        projectformat = ProjectFormat();
        historymax = 100;
    }

    void undoAndRedoGiveBackTheFilesByteForByte()
    {
        Rig rig;
        const QList<layer*> list = rig.project(2, 2, 1.0);
        QCOMPARE(list.size(), 2);
        layer* a = list[0];
        layer* b = list[1];
        const QByteArray a0 = filebytes(a), b0 = filebytes(b);

        const QRectF cut(0.2, 0, 0.1, 5000), paste(0.25, 0, 0.35, 20000), record(0.6, 0, 0.1, 22050);
        edit(a, 0.2, 0.1, 0.1f);
        selection = cut;
        rig.gui->pushbackup("Cut", QPixmap(":/icons/Cut.png"));
        const QByteArray a1 = filebytes(a);
        edit(a, 0.25, 0.35, -0.3f);
        selection = paste;
        rig.gui->pushbackup("Paste");
        const QByteArray a2 = filebytes(a);
        QVERIFY(rig.gui->bindlayer(1, b));
        edit(b, 0.6, 0.1, 0.7f);
        selection = record;
        rig.gui->pushbackup("Record");
        const QByteArray b1 = filebytes(b);
        QVERIFY(rig.gui->bindlayer(1, a));
        QCOMPARE(rig.rows(), 4);
        QVERIFY(a0 != a1 && a1 != a2 && b0 != b1);

        // b is no longer the current layer: its row restores it all the same.
        rig.history->Undo();
        QCOMPARE(filebytes(b), b0);
        QCOMPARE(filebytes(a), a2);
        QCOMPARE(selection, paste);
        rig.history->Undo();
        QCOMPARE(filebytes(a), a1);
        QCOMPARE(selection, cut);
        rig.history->Undo();
        QCOMPARE(filebytes(a), a0);
        QCOMPARE(selection, QRectF());

        rig.history->Redo();
        QCOMPARE(filebytes(a), a1);
        QCOMPARE(selection, cut);
        rig.history->Redo();
        rig.history->Redo();
        QCOMPARE(filebytes(a), a2);
        QCOMPARE(filebytes(b), b1);
        QCOMPARE(selection, record);

        rig.history->ItemClicked(rig.row(0), 1);
        QCOMPARE(filebytes(a), a0);
        QCOMPARE(filebytes(b), b0);
        rig.history->ItemClicked(rig.row(3), 1);
        QCOMPARE(filebytes(a), a2);
        QCOMPARE(filebytes(b), b1);
        rig.history->ItemClicked(rig.row(2), 1);
        QCOMPARE(filebytes(b), b0);

        // A restore leaves nothing dirty, so a push right after it records nothing
        // and the undone row stays redoable.
        rig.gui->pushbackup("nothing");
        QCOMPARE(rig.rows(), 4);

        // A new edit replaces the undone row; the chain through it stays exact.
        edit(a, 0.05, 0.1, 0.9f);
        rig.gui->pushbackup("Delete");
        const QByteArray a3 = filebytes(a);
        QCOMPARE(rig.rows(), 4);
        QCOMPARE(rig.row(3)->text(1), QString("Delete"));
        rig.history->Undo();
        QCOMPARE(filebytes(a), a2);
        rig.history->Undo();
        rig.history->Undo();
        QCOMPARE(filebytes(a), a0);
        rig.history->ItemClicked(rig.row(3), 1);
        QCOMPARE(filebytes(a), a3);
        QCOMPARE(filebytes(b), b0);
    }

    void trimmedHistoryStillRestoresExactly()
    {
        Rig rig;
        historymax = 3;
        const QList<layer*> list = rig.project(1, 1, 0.5);
        QCOMPARE(list.size(), 1);
        layer* a = list[0];
        QList<QByteArray> states{filebytes(a)};
        for (int i = 0; i < 4; ++i) {
            edit(a, 0.1 * i, 0.08, 0.2f * float(i + 1));
            rig.gui->pushbackup(QString::number(i));
            states << filebytes(a);
        }
        QCOMPARE(rig.rows(), 3);
        rig.history->ItemClicked(rig.row(0), 1);
        QCOMPARE(filebytes(a), states[2]); // the oldest row left is the floor
        rig.history->ItemClicked(rig.row(2), 1);
        QCOMPARE(filebytes(a), states[4]);
    }

    // With a session disk too full for the history, an edit gets no entry
    // (and the user hears why) instead of one whose Undo drops audio.
    void aFullDiskNeverMakesAnEntryThatLosesAudio()
    {
        Rig rig;
        QList<PromptRequest> asked;
        int depth = 0;
        setpromptanswerer([&](const PromptRequest& r) {
            asked << r;
            // A real box makes Qt send the view a Leave, which ends the
            // stroke again: the entry is asked for once more while it shows.
            if (depth < 4) {
                ++depth;
                rig.gui->pushbackup("Pencil");
                --depth;
            }
            return QMessageBox::Ok;
        });
        const QList<layer*> list = rig.project(2, 2, 1.0);
        QCOMPARE(list.size(), 2);
        layer* a = list[0];
        layer* b = list[1];
        const QByteArray a0 = filebytes(a), b0 = filebytes(b);
        auto said = [&](const QString& start) {
            return asked.size() == 1 && asked[0].title == "Undo/Redo Error"
                   && asked.takeFirst().text.startsWith(start);
        };
        // The history's failures name the cause and the session folder.
        const QString cause = "File too large (in " + QDir::toNativeSeparators(QDir(sessionpath).absolutePath()) + ")";
        auto toldwhy = [&] { return asked.size() == 1 && asked[0].text.contains(cause); };

        // A write past what the file may hold is reported, not recorded.
        {
            FullDisk full(100000);
            edit(a, 0.8, 0.1, 0.3f);
            rig.gui->pushbackup("Pencil");
        }
        QVERIFY(said("The edit of layer \"layer 0\" could not be written in full"));
        QCOMPARE(rig.rows(), 0);
        const QByteArray a1 = filebytes(a);

        // The edit reached the file, its history chunks did not: it stays.
        edit(a, 0.5, 0.2, -0.6f);
        {
            FullDisk full(20000);
            rig.gui->pushbackup("Pencil");
        }
        QVERIFY2(toldwhy(), qPrintable(asked.value(0).text));
        QVERIFY(said("The edit of layer \"layer 0\" was kept, but no history entry"));
        QCOMPARE(rig.rows(), 0);
        QVERIFY(filebytes(a) != a1);
        // The next entry that fits takes both edits back.
        edit(a, 0.1, 0.05, 0.2f);
        rig.gui->pushbackup("Pencil");
        QCOMPARE(rig.rows(), 2);
        rig.history->Undo();
        QCOMPARE(filebytes(a), a0);

        // Old frames that the session disk cannot hold for the history are
        // not overwritten: that part of the edit is refused and said, rather
        // than written where neither Undo nor a recovery could take it back.
        // (The edit first puts 0.3 s aside, so that the next frames find no
        // room there.)
        QVERIFY(rig.gui->bindlayer(1, b));
        edit(b, 0.5, 0.3, 0.9f);
        {
            FullDisk full(100000);
            edit(b, 0.05, 0.1, 0.9f);
            rig.gui->pushbackup("Pencil");
        }
        QVERIFY2(toldwhy(), qPrintable(asked.value(0).text));
        QVERIFY(said("The edit of layer \"layer 1\" could not be written in full"));
        QCOMPARE(rig.rows(), 2);
        const QByteArray b1 = filebytes(b);
        const qsizetype from = qsizetype(0.05 * rate) * b->channels * 4, to = qsizetype(0.15 * rate) * b->channels * 4;
        QVERIFY(b1 != b0);
        QCOMPARE(b1.mid(from, to - from), b0.mid(from, to - from));
        // With room again the next entry takes the whole edit back.
        edit(b, 0.6, 0.1, 0.5f);
        rig.gui->pushbackup("Pencil");
        QCOMPARE(rig.rows(), 2); // the undone row made way for it
        rig.history->Undo();
        QCOMPARE(filebytes(b), b0);
        QVERIFY(asked.isEmpty());
        setpromptanswerer({});
    }

    void channelTogglesShowAndHideTheViews()
    {
        Rig rig;
        QVERIFY(!rig.project(1, 2, 0.5).isEmpty());
        QTreeWidgetExt* tree = rig.channels->tree;
        QCOMPARE(tree->topLevelItemCount(), 2);
        QVERIFY(tree->topLevelItem(0)->text(3) != QString("Undefined"));
        QCOMPARE(rig.gui->channelmask, 0x3);

        rig.channels->ItemClicked(tree->topLevelItem(1), 0);
        QVERIFY(rig.gui->view(1)->isHidden());
        QVERIFY(!rig.gui->view(0)->isHidden());
        QCOMPARE(rig.gui->channelmask, 0x1);

        rig.channels->ItemClicked(tree->topLevelItem(1), 1); // solo the inactive one
        QVERIFY(rig.gui->view(0)->isHidden());
        QVERIFY(!rig.gui->view(1)->isHidden());
        QCOMPARE(rig.gui->channelmask, 0x2);

        rig.channels->ItemClicked(tree->topLevelItem(1), 1);
        QVERIFY(!rig.gui->view(0)->isHidden());
        QVERIFY(rig.gui->view(1)->isHidden());
        QCOMPARE(rig.gui->channelmask, 0x1);

        // Closing the project empties the list.
        QVERIFY(rig.gui->bindlayer(1, nullptr));
        QVERIFY(rig.gui->bindlayer(0, nullptr));
        QCOMPARE(tree->topLevelItemCount(), 0);
    }
};

QTEST_MAIN(TestPanelsController)
#include "tst_panelscontroller.moc"
