// Delete, Cut, Copy and Paste in the main window on real layers: what each
// does to the current layer, the clipboard and the history, undo and redo
// giving the layer back byte for byte, whole-layer copies and deletions, the
// messages, the hidden channels and the refusal during playback.
#include "core/buffer.h"
#include "editrig.h"

namespace {

constexpr int rate = 8000;
// Low and high tone; the area takes the high one between 0.5 s and 1.5 s.
constexpr double low = 500, high = 3000;
const QRectF area(0.5, 3800, 1.0, -1800);

// Two rows, A on top, each two seconds of both tones (B at other levels),
// with A current.
void twotones(PanelRig& r, int channels = 1)
{
    project(r, 2, rate, channels);
    tones(r.at(0), 2.0, {{low, 0.4f}, {high, 0.3f}});
    tones(r.at(1), 2.0, {{low, 0.2f}, {high, 0.1f}});
    click(r, 0, 3);
}

// A about to be edited over the area, with what it and the history were.
struct AreaEdit
{
    PanelRig r;
    layer* a = nullptr;
    LayerState original;
    int rows = 0;

    AreaEdit()
    {
        twotones(r);
        a = r.current();
        original = state(a);
        select(area);
        rows = historyrows();
    }
    // History rows added since, not counting the "No Change" row of a fresh history.
    int added() const { return historyrows() - rows - (rows == 0 && historyrows() > 0 ? 1 : 0); }
};

// The middle of the area, clear of the transform's overlap at its edges.
double inside(layer* l, double frequency, int channel = 0)
{
    return amplitude(l, frequency, 0.8, 1.2, channel);
}

// Before and after the area, beyond the reach of its frames.
double outside(layer* l, double frequency)
{
    return std::min(amplitude(l, frequency, 0.0, 0.3), amplitude(l, frequency, 1.7, 2.0));
}

// A of three seconds of the high tone over B of one second of the low tone
// from 1 s on, no row current; gives B.
layer* latertone(PanelRig& r)
{
    project(r, 2, rate, 1);
    tones(r.at(0), 3.0, {{high, 0.3f}});
    layer* b = r.at(1);
    b->clear();
    fill(b, 1.0, rate, [](int k, int) { return 0.2f * float(std::sin(2 * M_PI * low * k / rate)); });
    b->resetdirty();
    return b;
}

} // namespace

class TestEditCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QSettings().clear(); }

    void deleteSilencesTheAreaAndUndoesExactly()
    {
        AreaEdit e;
        layer* a = e.a;
        QVERIFY(std::fabs(selection.x() - 0.5) < 1e-9 && std::fabs(selection.width() - 1.0) < 1e-9);
        QSignalSpy repaint(spectrumgui, &SpectrumGui::outdisplayarea);
        e.r.window()->deleteact->trigger();

        QVERIFY2(inside(a, high) < 0.01, qPrintable(QString::number(inside(a, high))));
        QVERIFY(std::fabs(inside(a, low) - 0.4) < 0.02);
        QVERIFY(outside(a, high) > 0.29);
        // Only the current layer's slot is repainted, over the selection.
        QCOMPARE(repaint.size(), 1);
        QCOMPARE(repaint.at(0).at(2).toInt(), 1);
        QCOMPARE(repaint.at(0).at(1).toRectF(), selection);
        // Exactly one entry, and nothing was asked.
        QCOMPARE(e.added(), 1);
        QCOMPARE(historytext(historyrows() - 1), QString("Delete"));
        QVERIFY(e.r.asked.isEmpty());
        QVERIFY(a->dirtymax <= a->dirtymin);

        const LayerState edited = state(a);
        QVERIFY(!(edited == e.original));
        historygui->Undo();
        QVERIFY(state(a) == e.original);
        historygui->Redo();
        QVERIFY(state(a) == edited);
    }

    void cutMovesTheAreaIntoTheClipboard()
    {
        AreaEdit e;
        layer* a = e.a;
        QSignalSpy repaint(spectrumgui, &SpectrumGui::outdisplayarea);
        e.r.window()->cutact->trigger();

        layer* clip = slottable.bound[2];
        QVERIFY(clip);
        QVERIFY(inside(a, high) < 0.01);
        QVERIFY(std::fabs(inside(a, low) - 0.4) < 0.02);
        QVERIFY(std::fabs(inside(clip, high) - 0.3) < 0.015);
        QVERIFY(inside(clip, low) < 0.01);
        QVERIFY(outside(clip, high) < 0.01);
        // The clipboard is repainted first, then the current layer.
        QCOMPARE(repaint.size(), 2);
        QCOMPARE(repaint.at(0).at(2).toInt(), 2);
        QCOMPARE(repaint.at(1).at(2).toInt(), 1);
        // One entry for the current layer; the clipboard's writes make none.
        QCOMPARE(e.added(), 1);
        QCOMPARE(historytext(historyrows() - 1), QString("Cut"));
        QVERIFY(clip->dirtymax <= clip->dirtymin);

        // The same place again: the cut overwrites the clipboard with the
        // silence now in the layer.
        e.r.window()->cutact->trigger();
        QVERIFY(inside(clip, high) < 0.01);

        historygui->Undo();
        historygui->Undo();
        QVERIFY(state(a) == e.original);
    }

    void copyFillsTheClipboardFromTheLayerOrTheMix()
    {
        AreaEdit e;
        e.r.window()->copyact->trigger();
        layer* clip = slottable.bound[2];
        QVERIFY(std::fabs(inside(clip, high) - 0.3) < 0.015);
        QVERIFY(state(e.a) == e.original);
        QCOMPARE(e.added(), 0);
        QVERIFY(clip->dirtymax <= clip->dirtymin);

        // Without a current layer the mix of the active layers is the source.
        e.r.panel()->NoItemClicked();
        QVERIFY(!slottable.bound[1]);
        select(area);
        QVERIFY(inside(clip, high) < 0.01); // a new selection empties the clipboard
        spectrumgui->incopy();
        QVERIFY2(std::fabs(inside(clip, high) - 0.4) < 0.02,
                 qPrintable(QString::number(inside(clip, high))));
        QVERIFY(e.r.asked.isEmpty());
    }

    // A cut and its paste in place over more than the cache window (2.73 s
    // at 48 kHz) give the layer's file back, band-limited as users select.
    void cutAndPasteInPlaceGiveTheLayerBack()
    {
        PanelRig r;
        project(r, 1, 48000, 1);
        tones(r.at(0), 6.0, {{440, 0.3f}, {5000, 0.2f}, {9100, 0.1f}});
        click(r, 0, 3);
        layer* a = r.current();
        const std::vector<float> before = samplefile(a);
        select(QRectF(1.0, 8000, 4.0, -6000));
        r.window()->cutact->trigger();
        QVERIFY(amplitude(a, 5000, 2.0, 4.0) < 0.01);
        QVERIFY(std::fabs(amplitude(a, 9100, 2.0, 4.0) - 0.1) < 0.005);
        r.window()->pasteact->trigger();
        const std::vector<float> after = samplefile(a);
        QCOMPARE(after.size(), before.size());
        double worst = 0;
        for (size_t i = 0; i < before.size(); ++i)
            worst = std::max(worst, double(std::fabs(after[i] - before[i])));
        QVERIFY2(worst < 1e-5, QByteArray::number(worst)); // -100 dBFS
    }

    void pasteWritesTheClipboardAtItsPlace()
    {
        PanelRig r;
        project(r, 2, rate, 1);
        tones(r.at(0), 2.0, {{high, 0.3f}});
        tones(r.at(1), 2.0, {{low, 0.2f}});
        click(r, 0, 3);
        select(area);
        r.window()->copyact->trigger();
        // B becomes current; the selection and the clipboard stay.
        click(r, 1, 3);
        layer* b = r.current();
        QCOMPARE(b->name, QString("B"));
        const LayerState original = state(b);
        const int rows = historyrows();
        r.window()->pasteact->trigger();

        QVERIFY(std::fabs(inside(b, high) - 0.3) < 0.015);
        QVERIFY(std::fabs(inside(b, low) - 0.2) < 0.01);
        QVERIFY(outside(b, high) < 0.01);
        QCOMPARE(historyrows(), rows == 0 ? 2 : rows + 1);
        QCOMPARE(historytext(historyrows() - 1), QString("Paste"));
        const LayerState pasted = state(b);

        // No selection: nothing happens and nothing is said.
        const QRectF pastedarea = selection;
        unselect();
        spectrumgui->inpaste();
        QVERIFY(state(b) == pasted);
        QVERIFY(r.asked.isEmpty());
        QCOMPARE(historyrows(), rows == 0 ? 2 : rows + 1);

        // Redo brings back the selection the paste was made with.
        historygui->Undo();
        QVERIFY(state(b) == original);
        historygui->Redo();
        QVERIFY(state(b) == pasted);
        QCOMPARE(selection, pastedarea);
    }

    // Pastes that carry B past its end and then before its start: undo gives
    // back B's file, start and length exactly, redo the pasted ones, however
    // often the history is walked.
    void pastesThatGrowTheLayerUndoExactly()
    {
        PanelRig r;
        layer* b = latertone(r);
        const LayerState original = state(b);
        auto pastefroma = [&](const QRectF& where) {
            click(r, 0, 3);
            select(where);
            r.window()->copyact->trigger();
            click(r, 1, 3);
            QCOMPARE(r.current(), b);
            r.window()->pasteact->trigger();
        };

        pastefroma(QRectF(1.6, 3800, 1.0, -1800));
        const LayerState longer = state(b);
        QCOMPARE(b->start, 1.0);
        QVERIFY2(b->start + b->length > 2.5, qPrintable(QString::number(b->length)));
        QVERIFY(std::fabs(amplitude(b, high, 2.1, 2.5) - 0.3) < 0.015);
        pastefroma(QRectF(0.4, 3800, 1.0, -1800));
        const LayerState earlier = state(b);
        QVERIFY2(b->start < 0.5, qPrintable(QString::number(b->start)));
        QVERIFY(std::fabs(amplitude(b, high, 0.5, 0.9) - 0.3) < 0.015);
        QCOMPARE(historyrows(), 3);
        QCOMPARE(historytext(1), QString("Paste"));
        QCOMPARE(historytext(2), QString("Paste"));

        for (int round = 0; round < 3; ++round) {
            historygui->Undo();
            QVERIFY(state(b) == longer);
            historygui->Undo();
            QVERIFY(state(b) == original);
            historygui->Redo();
            QVERIFY(state(b) == longer);
            historygui->Redo();
            QVERIFY(state(b) == earlier);
        }
        // The history's first row at once, as a click on it walks there.
        historygui->ItemClicked(historygui->tree->topLevelItem(0), 1);
        QVERIFY(state(b) == original);
        // The view's cache reads the layer as it now is: B's own tone, and
        // nothing left past 2 s.
        Buffer* cache = slottable.buffer[1];
        QCOMPARE(cache->boundlayer, b);
        const int inb = int(std::lround(1.5 * rate)) + 3;
        const float expected = 0.2f * float(std::sin(2 * M_PI * low * (inb - rate) / rate));
        QVERIFY(std::fabs(expected) > 0.1f);
        QVERIFY(std::fabs(cache->getsample(0, inb) - expected) < 1e-4f);
        QCOMPARE(cache->getsample(0, int(std::lround(2.3 * rate))), 0.0f);
        // A push right after the restore records nothing.
        spectrumgui->pushbackup("nothing");
        QCOMPARE(historyrows(), 3);
    }

    // A history chunk that cannot be read back: undo and redo say so and
    // leave the layer and the history where they were.
    void aRestoreThatFailsMovesNothing()
    {
        PanelRig r;
        layer* b = latertone(r);
        const LayerState original = state(b);
        click(r, 0, 3);
        select(QRectF(1.6, 3800, 1.0, -1800));
        r.window()->copyact->trigger();
        click(r, 1, 3);
        r.window()->pasteact->trigger();
        const LayerState longer = state(b);
        QCOMPARE(historyrows(), 2);
        QTreeWidgetItem* first = historygui->tree->topLevelItem(0);
        QTreeWidgetItem* pasted = historygui->current;
        auto chunk = [&](int role) { return pasted->data(1, role).value<layer*>()->file; };

        // Undo would shrink B back.
        chunk(HistoryGui::beforerole)->close();
        historygui->Undo();
        QCOMPARE(historygui->current, pasted);
        QVERIFY(state(b) == longer);
        QCOMPARE(r.titles(), QStringList{"Undo/Redo Error"});
        QCOMPARE(r.asked.at(0).icon, QMessageBox::Critical);
        QVERIFY2(r.asked.at(0).text.startsWith("Layer \"B\" could not be restored"), qPrintable(r.asked.at(0).text));
        QVERIFY(chunk(HistoryGui::beforerole)->open(QIODevice::ReadWrite));
        historygui->Undo();
        QCOMPARE(historygui->current, first);
        QVERIFY(state(b) == original);

        // Redo would grow it; a click on the row goes no further either.
        chunk(HistoryGui::afterrole)->close();
        historygui->Redo();
        historygui->ItemClicked(pasted, 1);
        QCOMPARE(historygui->current, first);
        QVERIFY(state(b) == original);
        QCOMPARE(r.titles(), QStringList(3, "Undo/Redo Error"));
        QVERIFY(chunk(HistoryGui::afterrole)->open(QIODevice::ReadWrite));
        historygui->Redo();
        QCOMPARE(historygui->current, pasted);
        QVERIFY(state(b) == longer);
    }

    // A delete at B's start leaves B's start where it was, though its
    // synthesis reaches before it; undo and redo give back its frames.
    void deleteAtTheStartUndoesExactly()
    {
        PanelRig r;
        layer* b = latertone(r);
        click(r, 1, 3);
        const LayerState original = state(b);
        select(QRectF(1.0, 1000, 0.5, -800));
        r.window()->deleteact->trigger();
        const LayerState deleted = state(b);
        QCOMPARE(b->start, original.start);
        QVERIFY(amplitude(b, low, 1.1, 1.4) < 0.01);
        for (int round = 0; round < 3; ++round) {
            historygui->Undo();
            QVERIFY(state(b) == original);
            historygui->Redo();
            QVERIFY(state(b) == deleted);
        }
    }

    void withoutSelectionWholeLayersAreCopiedOrDeleted()
    {
        PanelRig r;
        twotones(r);
        layer* a = r.current();
        const QByteArray abytes = filebytes(a);
        r.window()->copyact->trigger();
        QCOMPARE(r.names(), (QStringList{"A (copy)", "A", "B"}));
        QCOMPARE(filebytes(r.current()), abytes);
        QCOMPARE(slottable.bound[2]->length, 0.0); // the clipboard is untouched

        // Delete asks first; No keeps the layer.
        r.answers["Delete Layer"] = QMessageBox::No;
        r.window()->deleteact->trigger();
        QCOMPARE(r.rows(), 3);
        QCOMPARE(r.titles(), QStringList{"Delete Layer"});
        r.answers["Delete Layer"] = QMessageBox::Yes;
        r.window()->deleteact->trigger();
        QCOMPARE(r.names(), (QStringList{"A", "B"}));
        QCOMPARE(r.current()->name, QString("A"));
    }

    void messagesSayWhatIsMissing()
    {
        PanelRig r;
        project(r, 1, rate, 1);
        tones(r.at(0), 2.0, {{high, 0.3f}});
        // No current layer, no selection.
        SpectrumGui* gui = spectrumgui;
        gui->indel();
        gui->incut();
        gui->incopy();
        gui->inpaste();
        QCOMPARE(r.titles(), (QStringList{"Delete", "Cut", "Copy", "Paste"}));
        QStringList texts;
        for (const PromptRequest& p : r.asked) {
            texts << p.text;
            QCOMPARE(p.icon, QMessageBox::Warning);
            QCOMPARE(p.parent, static_cast<QWidget*>(r.window()));
        }
        QCOMPARE(texts, (QStringList{"Select a layer first.",
                                     "You cannot cut from mix. Select a layer first.",
                                     "Select an area or a layer first.", "Clipboard is empty."}));

        // A selection but still no current layer: cut refuses, copy takes the mix.
        r.asked.clear();
        select(area);
        gui->incut();
        gui->incopy();
        gui->inpaste();
        QCOMPARE(r.asked.size(), 2);
        QCOMPARE(r.asked.at(0).text, QString("You cannot cut from mix. Select a layer first."));
        QCOMPARE(r.asked.at(1).text, QString("You must select a layer first."));

        // A current layer and no selection: cut asks for an area.
        r.asked.clear();
        click(r, 0, 3);
        unselect();
        gui->incut();
        QCOMPARE(r.asked.size(), 1);
        QCOMPARE(r.asked.at(0).text, QString("Select a time/frequency area first."));
        QCOMPARE(historyrows(), 0);
    }

    void hiddenChannelsAreLeftAlone()
    {
        PanelRig r;
        project(r, 1, rate, 2);
        tones(r.at(0), 2.0, {{high, 0.3f}}, true);
        click(r, 0, 3);
        layer* a = r.current();
        spectrumgui->inchannelactive(1, false);
        select(area);
        r.window()->cutact->trigger();
        QVERIFY(inside(a, high, 0) < 0.01);
        QVERIFY(std::fabs(inside(a, high, 1) - 0.6) < 0.03);
        layer* clip = slottable.bound[2];
        QVERIFY(std::fabs(inside(clip, high, 0) - 0.3) < 0.015);
        QVERIFY(inside(clip, high, 1) < 1e-6);

        // With every channel switched off nothing is edited and no entry made.
        spectrumgui->inchannelactive(0, false);
        QCOMPARE(spectrumgui->channelmask, 0);
        const LayerState before = state(a);
        const int rows = historyrows();
        spectrumgui->incut();
        spectrumgui->indel();
        QVERIFY(state(a) == before);
        QCOMPARE(historyrows(), rows);
    }

    void playbackHoldsEveryCommand()
    {
        AreaEdit e;
        QAction* play = transportaction(e.r.window(), 0);
        QVERIFY(play);
        QVERIFY(spectrumgui->playdevice);
        play->trigger();
        QCOMPARE(spectrumgui->transportmode, 0);
        e.r.asked.clear();
        spectrumgui->indel();
        spectrumgui->incut();
        spectrumgui->incopy();
        spectrumgui->inpaste();
        QCOMPARE(e.r.titles(), QStringList(4, "Device in use"));
        QCOMPARE(e.r.asked.at(0).text, QString("Wait for playback/record to end."));
        QVERIFY(state(e.a) == e.original);
        QCOMPARE(slottable.bound[2]->length, 0.0);
        QCOMPARE(e.added(), 0);

        // Once stopped, the commands work again.
        spectrumgui->indevicepause();
        QCOMPARE(spectrumgui->transportmode, -1);
        e.r.window()->deleteact->trigger();
        QVERIFY(inside(e.a, high) < 0.01);
    }

    void cutAndCopyRenewTheMoveSource()
    {
        PanelRig r;
        twotones(r);
        SpectrumGui* gui = spectrumgui;
        // What a move mode holds while it is on.
        auto* cache = new Buffer();
        cache->infftparam(4, 2048, 4, false);
        gui->scalebuffer = cache;
        gui->scalesource = new layer(*slottable.bound[2]);
        cache->bindlayer(gui->scalesource);
        layer* stale = gui->scalesource;
        select(area);
        gui->incut();
        QVERIFY(gui->scalesource && gui->scalesource != stale);
        QCOMPARE(cache->boundlayer, gui->scalesource);
        QCOMPARE(filebytes(gui->scalesource), filebytes(slottable.bound[2]));
        QVERIFY(std::fabs(inside(gui->scalesource, high) - 0.3) < 0.015);

        // Without a move mode nothing is copied.
        cache->bindlayer(nullptr);
        delete gui->scalesource;
        gui->scalesource = nullptr;
        gui->scalebuffer = nullptr;
        delete cache;
        gui->incopy();
        QVERIFY(!gui->scalesource);
    }
};

QTEST_MAIN(TestEditCommands)
#include "tst_editcommands.moc"
