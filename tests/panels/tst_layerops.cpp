// The layer list operations in the main window: new, duplicate, delete, move,
// the merges, closing and time insertion, each checked against the layers'
// own sample files, the mix container and the controller's bindings; no layer
// is deleted while the controller can still reach it.
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QHeaderView>
#include <QStatusBar>

#include "panelrig.h"
#include "panels/projectfile.h"
#include "view/glchannel.h"

namespace {

QStringList pcmfiles()
{
    return kvsessionfiles().filter(".pcm");
}

// Checks, whenever the panel announces a layer's deletion, that the controller
// and the mix (which its display workers read) no longer hold it; records the
// layers in order.
struct DeletionWatch
{
    QList<layer*> gone;
    QStringList problems;
    QMetaObject::Connection connection;

    explicit DeletionWatch(LayersGui* panel)
    {
        connection = QObject::connect(panel, &LayersGui::outdellayers, [this, panel](layer* l) {
            gone << l;
            for (int slot = 0; slot < 3; ++slot)
                if (slottable.bound[slot] == l)
                    problems << QString("%1 still bound to slot %2").arg(l->name).arg(slot);
            if (layer* mix = panel->mixlayer)
                for (int i = 0; i < mix->childcount; ++i)
                    if (mix->children[i] == l)
                        problems << QString("%1 still in the mix").arg(l->name);
        });
    }
    ~DeletionWatch() { QObject::disconnect(connection); }
};

} // namespace

class TestLayerOps : public QObject
{
    Q_OBJECT

private slots:
    void init() { QSettings().clear(); }

    void newLayerDialogAndFormat()
    {
        PanelRig r;
        // The dialog as it opens; closed without "Create" nothing changes.
        QStringList seen;
        whendialog<QDialog>([&](QDialog* dialog) {
            auto* edit = dialog->findChild<QLineEdit*>();
            const QList<QSpinBox*> spins = dialog->findChildren<QSpinBox*>();
            seen << dialog->windowTitle() << edit->text() << edit->selectedText()
                 << QString::number(dialog->width()) + "x" + QString::number(dialog->height());
            for (QSpinBox* s : spins)
                seen << QString("%1 %2..%3%4").arg(s->value()).arg(s->minimum()).arg(s->maximum()).arg(s->suffix());
            seen << dialog->findChild<QPushButton*>()->text();
            dialog->reject();
        });
        r.panel()->NewLayer();
        QCOMPARE(seen, (QStringList{"Create New Layer", "New Layer", "New Layer", "160x140", "44100 1..32000000 Hz",
                                    "1 1..8 channels", "Create"}));
        QCOMPARE(r.rows(), 0);
        QCOMPARE(projectformat.samplerate, 0);

        r.window()->setWindowModified(false);
        newproject(r, 48000, 2, "First");
        QCOMPARE(projectformat.samplerate, 48000);
        QCOMPARE(projectformat.channels, 2);
        QCOMPARE(projectformat.speakermask, 0x3);
        QCOMPARE(r.names(), QStringList{"First"});
        QCOMPARE(r.current(), r.at(0));
        QVERIFY(r.window()->isWindowModified());
        QCOMPARE(spectrumgui->samplerate, 48000);
        QCOMPARE(spectrumgui->channels, 2);
        checkbindings(r);

        // With a format no dialog: the new row goes directly above the current one.
        r.panel()->NewLayer();
        click(r, 1, 3);
        bool asked = false;
        whendialog<QDialog>([&](QDialog* dialog) {
            asked = true;
            dialog->reject();
        });
        r.panel()->NewLayer();
        // Dialogs are shown through exec(): one shown would have been answered by now.
        QVERIFY(!asked);
        QCOMPARE(r.names(), (QStringList{"New Layer", "New Layer", "First"}));
        QCOMPARE(r.current(), r.at(1));
        QCOMPARE(r.at(1)->samplerate, 48000);
        QCOMPARE(r.at(1)->channels, 2);
        QCOMPARE(r.at(1)->speakermask, 0x3);
        QCOMPARE(r.panel()->alllayers->childcount, 3);
        checkbindings(r);
    }

    void duplicateCopiesAboveAndSelects()
    {
        PanelRig r;
        project(r, 2);
        r.panel()->DuplicateLayer(); // nothing current: nothing
        QCOMPARE(r.rows(), 2);
        layer* voice = r.at(1);
        voice->name = "Voice";
        voice->mixsign = -1;
        voice->volume = 0.5f;
        fill(voice, 2.0, 4000, [](int k, int c) { return 0.001f * float(k) - float(c); }); // later, longer
        click(r, 1, 3);
        r.panel()->DuplicateLayer();
        QCOMPARE(r.names(), (QStringList{"A", "Voice (copy)", "Voice"}));
        layer* copy = r.at(1);
        QCOMPARE(r.current(), copy);
        QCOMPARE(copy->mixsign, -1);
        QCOMPARE(copy->volume, 0.5f);
        QCOMPARE(copy->start, voice->start);
        QCOMPARE(copy->length, voice->length);
        QVERIFY(copy->file->fileName() != voice->file->fileName());
        QVERIFY(samplefile(copy) == samplefile(voice));
        QCOMPARE(r.part<QLabel>(1, LayersGui::LabelRole)->text(), QString("Voice (copy)"));
        QCOMPARE(r.panel()->alllayers->childcount, 3);
        checkbindings(r);
    }

    void deleteAsksAndSelectsANeighbour()
    {
        PanelRig r;
        newproject(r, 8000, 1, "Only");
        r.panel()->DeleteLayer();
        QCOMPARE(r.titles(), QStringList{"Delete Layer"});
        QCOMPARE(r.asked.last().text, QString("You can't delete last layer."));
        QCOMPARE(r.asked.last().icon, QMessageBox::Warning);
        QCOMPARE(r.rows(), 1);
        r.panel()->Close();
        r.asked.clear();

        project(r, 3);
        click(r, 1, 3);
        r.answers["Delete Layer"] = QMessageBox::No;
        r.panel()->DeleteLayer();
        QCOMPARE(r.asked.last().text, QString("Are you sure ? (You can't undo this action)"));
        QCOMPARE(r.asked.last().buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(r.asked.last().defaultbutton, QMessageBox::No);
        QCOMPARE(r.rows(), 3);
        // Del with no selection, then Return on the real box: the layer stays.
        setpromptanswerer({});
        const auto shown = std::make_shared<QString>();
        whendialog<QMessageBox>([shown](QMessageBox* box) {
            *shown = box->windowTitle();
            QTest::keyClick(box, Qt::Key_Return);
        });
        selection = QRectF();
        r.window()->deleteact->trigger();
        setpromptanswerer(
            [&](const PromptRequest& q) { return r.asked << q, r.answers.value(q.title, QMessageBox::Ok); });
        QCOMPARE(*shown, QString("Delete Layer"));
        QCOMPARE(r.names(), (QStringList{"A", "B", "C"}));

        r.answers["Delete Layer"] = QMessageBox::Yes;
        DeletionWatch watch(r.panel());
        layer* b = r.at(1);
        const QString file = b->file->fileName();
        r.panel()->DeleteLayer();
        QCOMPARE(watch.gone, QList<layer*>{b});
        QVERIFY2(watch.problems.isEmpty(), qPrintable(watch.problems.join("; ")));
        QVERIFY(!QFileInfo::exists(file));
        QCOMPARE(r.names(), (QStringList{"A", "C"}));
        QCOMPARE(r.current(), r.at(1)); // the row below
        QCOMPARE(r.panel()->alllayers->childcount, 2);
        checkbindings(r);
        r.panel()->DeleteLayer(); // the last row: the one above
        QCOMPARE(r.names(), QStringList{"A"});
        QCOMPARE(r.current(), r.at(0));
        checkbindings(r);
        QVERIFY2(watch.problems.isEmpty(), qPrintable(watch.problems.join("; ")));
    }

    void moveKeepsTheCurrentLayer()
    {
        PanelRig r;
        project(r, 3);
        r.panel()->MoveDown(); // nothing current
        QCOMPARE(r.names(), (QStringList{"A", "B", "C"}));
        r.part<QDoubleSpinBox>(0, LayersGui::SpinRole)->setValue(-3.0);
        click(r, 0, 3);
        r.panel()->MoveUp(); // first row: nothing
        r.window()->setWindowModified(false);
        r.panel()->MoveDown();
        QCOMPARE(r.names(), (QStringList{"B", "A", "C"}));
        QVERIFY(r.window()->isWindowModified()); // the order is saved with the project
        QCOMPARE(r.panel()->currentitem, r.item(1));
        QVERIFY(!r.item(1)->icon(1).isNull());
        QVERIFY(r.part<QWidget>(1, LayersGui::WidgetRole)->styleSheet().contains("150)"));
        QCOMPARE(r.part<QSlider>(1, LayersGui::SliderRole)->value(), -30);
        r.panel()->MoveDown();
        r.panel()->MoveDown(); // last row: nothing
        QCOMPARE(r.names(), (QStringList{"B", "C", "A"}));
        r.panel()->MoveUp();
        QCOMPARE(r.names(), (QStringList{"B", "A", "C"}));
        QCOMPARE(r.current()->name, QString("A"));
        // The moved row's controls still reach its layer.
        r.part<QDoubleSpinBox>(1, LayersGui::SpinRole)->setValue(6.0);
        QCOMPARE(r.current()->volume, 2.0f);
        checkbindings(r);
    }

    void mergeDownSubtractsAndRebinds()
    {
        PanelRig r;
        project(r, 3);
        layer* a = r.at(0);
        layer* b = r.at(1);
        a->mixsign = -1;
        a->volume = 0.5f;
        fill(b, 1.5, 800, [](int k, int c) { return 0.01f * float(k + c); }); // B reaches past A
        click(r, 2, 0); // C inactive
        click(r, 0, 3);
        r.answers["Merge Down"] = QMessageBox::No;
        r.panel()->MergeDown();
        QCOMPARE(r.rows(), 3);
        QCOMPARE(r.asked.last().text, QString("Are you sure ? (You can't undo this action)"));
        QCOMPARE(r.asked.last().defaultbutton, QMessageBox::No);

        const std::vector<float> expected = expectedmix({a, b}, 8000, 2, 0.0, 8000 + 4000 + 800);
        const QStringList files{a->file->fileName(), b->file->fileName()};
        r.answers["Merge Down"] = QMessageBox::Yes;
        DeletionWatch watch(r.panel());
        r.panel()->MergeDown();
        QCOMPARE(watch.gone, (QList<layer*>{a, b}));
        QVERIFY2(watch.problems.isEmpty(), qPrintable(watch.problems.join("; ")));
        for (const QString& f : files)
            QVERIFY(!QFileInfo::exists(f));
        QCOMPARE(r.names(), (QStringList{"B", "C"}));
        layer* merged = r.at(0);
        QCOMPARE(r.current(), merged);
        QCOMPARE(merged->mixsign, 1);
        QCOMPARE(merged->volume, 1.0f);
        QVERIFY(merged->active);
        QCOMPARE(merged->start, 0.0);
        QCOMPARE(merged->length, 1.6);
        QCOMPARE(maxdifference(samplefile(merged), expected), 0.0);
        checkbindings(r);

        // With an inactive layer below nothing happens, silently.
        r.asked.clear();
        r.panel()->MergeDown();
        QCOMPARE(r.rows(), 2);
        QVERIFY(r.asked.isEmpty());
    }

    void mergeActiveAndAll()
    {
        PanelRig r;
        project(r, 4);
        click(r, 1, 0); // B inactive
        r.part<QDoubleSpinBox>(2, LayersGui::SpinRole)->setValue(6.0);
        click(r, 1, 3); // the inactive B is current
        r.answers["Merge Active Layers"] = QMessageBox::Yes;
        r.answers["Merge All Layers"] = QMessageBox::Yes;
        const std::vector<float> expected = expectedmix({r.at(0), r.at(2), r.at(3)}, 8000, 2, 0.0, 8000);
        DeletionWatch watch(r.panel());
        const QList<layer*> doomed{r.at(3), r.at(2), r.at(0)};
        r.panel()->MergeActive();
        QCOMPARE(r.titles().last(), QString("Merge Active Layers"));
        QCOMPARE(watch.gone, doomed);
        QVERIFY2(watch.problems.isEmpty(), qPrintable(watch.problems.join("; ")));
        QCOMPARE(r.names(), (QStringList{"D", "B"}));
        QCOMPARE(r.current(), r.at(0));
        // The former current row is an ordinary row again.
        QVERIFY(r.item(1)->icon(1).isNull());
        QCOMPARE(r.part<QWidget>(1, LayersGui::WidgetRole)->styleSheet(), r.panel()->mutestyle);
        QCOMPARE(maxdifference(samplefile(r.at(0)), expected), 0.0);
        checkbindings(r);

        // Merging all: inactive layers add nothing; the last row names the result.
        const std::vector<float> all = samplefile(r.at(0));
        r.panel()->MergeAll();
        QCOMPARE(r.names(), QStringList{"B"});
        QCOMPARE(maxdifference(samplefile(r.at(0)), all), 0.0);
        QVERIFY2(watch.problems.isEmpty(), qPrintable(watch.problems.join("; ")));
        checkbindings(r);
        r.panel()->MergeAll(); // one row: nothing
        QCOMPARE(r.rows(), 1);

        // No active layer: an empty, nameless layer joins at the top.
        r.panel()->NewLayer();
        click(r, 0, 0);
        click(r, 1, 0);
        r.panel()->MergeActive();
        QCOMPARE(r.names(), (QStringList{"", "New Layer", "B"}));
        QCOMPARE(r.at(0)->length, 0.0);
        checkbindings(r);
    }

    // A real click on a row's sign button makes that row Qt's current index
    // as well; the merges then remove that row while Qt moves its index on.
    void mergeAfterASignClickInTheWindow()
    {
        PanelRig r;
        r.window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(r.window(), 30000));
        project(r, 3);
        r.answers["Merge Down"] = QMessageBox::Yes;
        r.answers["Merge Active Layers"] = QMessageBox::Yes;
        QTreeWidget* tree = r.panel()->tree;
        const auto press = [&](int index, int column) {
            const QRect cell = tree->visualItemRect(r.item(index));
            const int x = tree->header()->sectionViewportPosition(column) + tree->columnWidth(column) / 2;
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, cell.center().y()));
        };
        press(0, 2);
        QCOMPARE(r.at(0)->mixsign, -1);
        press(0, 3);
        QCOMPARE(r.current(), r.at(0));
        layer* a = r.at(0);
        layer* b = r.at(1);
        const std::vector<float> down = expectedmix({a, b}, 8000, 2, 0.0, 8000);
        r.window()->mergedownact->trigger();
        QCOMPARE(r.names(), (QStringList{"B", "C"}));
        QCOMPARE(maxdifference(samplefile(r.at(0)), down), 0.0);
        checkbindings(r);

        // The sign of the row that is not current, then merging every active layer.
        press(1, 2);
        QCOMPARE(r.at(1)->mixsign, -1);
        const std::vector<float> active = expectedmix({r.at(0), r.at(1)}, 8000, 2, 0.0, 8000);
        r.window()->mergeactiveact->trigger();
        QCOMPARE(r.names(), QStringList{"C"});
        QCOMPARE(maxdifference(samplefile(r.at(0)), active), 0.0);
        checkbindings(r);
    }

    void closeUnbindsFirstAndStartsClean()
    {
        PanelRig r;
        project(r, 3);
        click(r, 1, 3);
        const QStringList layerfiles{r.at(0)->file->fileName(), r.at(1)->file->fileName(), r.at(2)->file->fileName()};
        const QList<layer*> bottomfirst{r.at(2), r.at(1), r.at(0)};
        QStringList problems;
        connect(r.panel(), &LayersGui::outdellayers, this, [&](layer*) {
            if (slottable.bound[0] || slottable.bound[1] || spectrumgui->samplerate != 0)
                problems << "the controller still held the project";
        });
        QSignalSpy dellayers(r.panel(), &LayersGui::outdellayers);
        r.window()->setWindowModified(true);
        QVERIFY(r.panel()->Close());
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
        QCOMPARE(dellayers.count(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(dellayers.at(i).at(0).value<layer*>(), bottomfirst.at(i));
        QCOMPARE(r.rows(), 0);
        QVERIFY(!r.panel()->currentitem && !r.panel()->mixlayer && !r.panel()->alllayers);
        QCOMPARE(projectformat.samplerate, 0);
        QCOMPARE(r.window()->windowFilePath(), QString("Untitled.kvp"));
        QVERIFY(!r.window()->isWindowModified());
        QCOMPARE(r.window()->statusBar()->currentMessage(), QString("No project loaded"));
        QVERIFY2(pcmfiles().isEmpty(), qPrintable(pcmfiles().join(", ")));
        for (const QString& f : layerfiles)
            QVERIFY(!QFileInfo::exists(f));

        // A project of another format starts with containers in that format.
        project(r, 2, 22050, 1);
        QCOMPARE(r.panel()->alllayers->samplerate, 22050);
        QCOMPARE(r.panel()->alllayers->channels, 1);
        QCOMPARE(r.panel()->alllayers->childcount, 2);
        QCOMPARE(r.panel()->mixlayer->samplerate, 22050);
        QCOMPARE(spectrumgui->samplerate, 22050);
        checkbindings(r);
        QCOMPARE(r.panel()->alllayers->spanlength(), 1.0);
    }

    void timeInsertionFollowsTheCurrentLayer()
    {
        PanelRig r;
        project(r, 2);
        r.panel()->InsertTime(0.0, 0.5); // every layer
        QCOMPARE(r.at(0)->start, 0.5);
        QCOMPARE(r.at(1)->start, 0.5);
        click(r, 1, 3);
        r.panel()->InsertTime(0.0, 0.25); // the current one only
        QCOMPARE(r.at(0)->start, 0.5);
        QCOMPARE(r.at(1)->start, 0.75);
        r.panel()->RemoveTime(0.0, 0.75);
        QCOMPARE(r.at(1)->start, 0.0);
        QCOMPARE(r.at(0)->start, 0.5);
        r.panel()->NoItemClicked();
        r.panel()->RemoveTime(0.0, 0.5); // A moves back; B, which starts at 0, loses its first half
        QCOMPARE(r.at(0)->start, 0.0);
        QCOMPARE(r.at(0)->length, 1.0);
        QCOMPARE(r.at(1)->start, 0.0);
        QCOMPARE(r.at(1)->length, 0.5);
    }

    // The limit is reached from a project that holds one row less (opened in
    // one step: adding a thousand rows one by one tests nothing more and
    // takes minutes): one more row is taken, the next is refused.
    void noMoreRowsThanTheMixHolds()
    {
        PanelRig r;
        ProjectData data;
        data.samplerate = 8000;
        data.channels = 1;
        data.speakermask = 0x4;
        for (int i = 0; i < layer::maxchildren - 1; ++i) {
            ProjectRow row;
            row.name = QString("Row %1").arg(i);
            row.samplerate = 8000;
            row.channels = 1;
            row.speakermask = 0x4;
            data.rows << row;
        }
        const QString file = QDir::currentPath() + "/many.kvx";
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(projectxml(data));
        out.close();
        answerfile(r, file);
        r.panel()->Open();
        QCOMPARE(r.rows(), layer::maxchildren - 1);
        QVERIFY(r.asked.isEmpty());

        r.panel()->NoItemClicked();
        r.panel()->NewLayer();
        QCOMPARE(r.rows(), layer::maxchildren);
        QVERIFY(r.asked.isEmpty());
        r.panel()->NewLayer();
        QCOMPARE(r.rows(), layer::maxchildren);
        QCOMPARE(r.titles(), QStringList{"Too Many Layers"});
        QCOMPARE(r.asked.last().text,
                 QString("The project already holds 1024 layers, as many as can be mixed.<br/>"
                         "Merge or delete layers first."));
        click(r, 0, 3);
        r.panel()->DuplicateLayer();
        QCOMPARE(r.rows(), layer::maxchildren);
        QCOMPARE(r.asked.size(), 2);
        QCOMPARE(r.panel()->alllayers->childcount, layer::maxchildren);
        checkbindings(r);
    }
};

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    TestLayerOps test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_layerops.moc"
