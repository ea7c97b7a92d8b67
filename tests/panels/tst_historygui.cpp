// The history panel with real layers and real chunks: the rows and their
// styles, the bound on their number, the redo tail, the order and content of
// the restores that undo, redo and clicks send, the removal of a deleted
// layer's rows, the reset, renames and drops. Each chunk holds a file in the
// session folder, so the folder's file count shows which chunks were freed.
#include <QHeaderView>
#include <QSignalSpy>
#include <QtTest>
#include <memory>
#include <vector>

#include "core/globals.h"
#include "core/layer.h"
#include "core/layerhelpers.h"
#include "panels/historygui.h"
#include "panels/qtreewidgetext.h"
#include "dockedwindow.h"
#include "testsupport.h"

namespace {

struct Entry
{
    layer* before = nullptr;
    layer* after = nullptr;
    QRectF select;
};

struct Rig
{
    DockedWindow docked;
    std::unique_ptr<HistoryGui> history;
    std::vector<std::unique_ptr<layer>> sources;
    int restores = 0;

    Rig()
    {
        history = std::make_unique<HistoryGui>(&docked.window);
    }
    ~Rig()
    {
        history.reset();
    }

    layer* source(const QString& name)
    {
        sources.emplace_back(makelayer(8000, 1, 0, 800, ramp));
        sources.back()->name = name;
        return sources.back().get();
    }

    // Pushes an entry with two real chunks of `l` around `time`.
    Entry push(layer* l, double time, const QString& description = QStringLiteral("Cut"))
    {
        Entry e{new layer(l, time, 0.01), new layer(l, time, 0.01), QRectF(time, 100, 0.01, 50)};
        history->inbackuplayer(QPixmap(), description, l, e.before, e.after, e.select);
        return e;
    }

    int rows() const { return history->tree->topLevelItemCount(); }
    QTreeWidgetItem* row(int i) const { return history->tree->topLevelItem(i); }
    int currentindex() const { return history->tree->indexOfTopLevelItem(history->current); }
    QStringList descriptions() const
    {
        QStringList list;
        for (int i = 0; i < rows(); ++i)
            list << row(i)->text(1);
        return list;
    }
};

layer* data(QTreeWidgetItem* item, int role)
{
    return item->data(1, role).value<layer*>();
}

bool iscurrentstyle(QTreeWidgetItem* item)
{
    return item->font(1).weight() == QFont::Bold && item->background(1).color() == QColor("#5278b7")
           && item->background(1).style() == Qt::SolidPattern && !item->data(1, Qt::ForegroundRole).isValid();
}

bool isdonestyle(QTreeWidgetItem* item)
{
    return item->font(1).weight() == QFont::Normal && item->background(1).style() == Qt::NoBrush
           && !item->data(1, Qt::ForegroundRole).isValid();
}

bool isundonestyle(QTreeWidgetItem* item)
{
    return item->font(1).weight() == QFont::Normal && item->background(1).style() == Qt::NoBrush
           && item->foreground(1).color() == QColor(80, 80, 80, 255);
}

struct Restore
{
    layer* source;
    layer* restore;
    QRectF select;
};

QList<Restore> restores(const QSignalSpy& spy)
{
    QList<Restore> list;
    for (const QList<QVariant>& args : spy)
        list << Restore{args.at(0).value<layer*>(), args.at(1).value<layer*>(), args.at(2).toRectF()};
    return list;
}

} // namespace

class TestHistoryGui : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        kvtestfolders();
        registerlayermetatype();
    }

    void init() { historymax = 100; }

    void listSitsInTheDockWithItsHeader()
    {
        Rig rig;
        QTreeWidgetExt* tree = rig.history->tree;
        QCOMPARE(rig.docked.history->widget(), tree);
        QCOMPARE(tree->columnCount(), 3);
        QVERIFY(!tree->rootIsDecorated());
        QCOMPARE(tree->focusPolicy(), Qt::NoFocus);
        QTreeWidgetItem* header = tree->headerItem();
        QVERIFY(!header->icon(0).isNull());
        QCOMPARE(header->toolTip(0), QString("history icon"));
        QCOMPARE(header->text(1), QString("Description"));
        QCOMPARE(header->toolTip(1), QString("history description"));
        QCOMPARE(header->text(2), QString("Layer"));
        QCOMPARE(header->toolTip(2), QString("layer's name"));
        QCOMPARE(tree->columnWidth(0), 24);
        QCOMPARE(tree->columnWidth(1), 110);
        QCOMPARE(rig.rows(), 0);
        QVERIFY(!rig.history->current);
        QCOMPARE(historygui, rig.history.get());
    }

    void firstPushAddsNoChangeAndTheEntry()
    {
        Rig rig;
        layer* a = rig.source("Voice");
        QVERIFY(!rig.docked.window.isWindowModified());
        QPixmap icon(":/icons/Cut.png");
        QVERIFY(!icon.isNull());
        auto* before = new layer(a, 0.02, 0.01);
        auto* after = new layer(a, 0.02, 0.01);
        const QRectF select(0.02, 10, 0.01, 300);
        rig.history->inbackuplayer(icon, "Cut", a, before, after, select);

        QCOMPARE(rig.descriptions(), QStringList({"No Change", "Cut"}));
        QTreeWidgetItem* first = rig.row(0);
        QVERIFY(!data(first, HistoryGui::sourcerole));
        QVERIFY(!data(first, HistoryGui::beforerole));
        QVERIFY(!data(first, HistoryGui::afterrole));
        QCOMPARE(first->data(1, HistoryGui::selectrole).toRectF(), QRectF());
        QVERIFY(!first->data(0, Qt::DecorationRole).isValid());
        QVERIFY(first->text(2).isEmpty());

        QTreeWidgetItem* entry = rig.row(1);
        QCOMPARE(entry->text(2), QString("Voice"));
        QCOMPARE(data(entry, HistoryGui::sourcerole), a);
        QCOMPARE(data(entry, HistoryGui::beforerole), before);
        QCOMPARE(data(entry, HistoryGui::afterrole), after);
        QCOMPARE(entry->data(1, HistoryGui::selectrole).toRectF(), select);
        QCOMPARE(entry->data(0, Qt::DecorationRole).value<QPixmap>().size(), icon.size());
        for (QTreeWidgetItem* item : {first, entry})
            QCOMPARE(item->flags(), Qt::ItemIsEnabled);

        QCOMPARE(rig.history->current, entry);
        QVERIFY(iscurrentstyle(entry));
        QVERIFY(isdonestyle(first));
        QVERIFY(rig.docked.window.isWindowModified());
    }

    void undoAndRedoRestoreInTurn()
    {
        Rig rig;
        layer* a = rig.source("A");
        const Entry e1 = rig.push(a, 0.01), e2 = rig.push(a, 0.02), e3 = rig.push(a, 0.03);
        QSignalSpy spy(rig.history.get(), &HistoryGui::outrestorelayer);

        rig.history->Undo();
        QCOMPARE(spy.count(), 1);
        Restore r = restores(spy).last();
        QCOMPARE(r.source, a);
        QCOMPARE(r.restore, e3.before);
        QCOMPARE(r.select, e2.select); // the state the undo returns to
        QCOMPARE(rig.currentindex(), 2);
        QVERIFY(isundonestyle(rig.row(3)));
        QVERIFY(iscurrentstyle(rig.row(2)));
        QVERIFY(isdonestyle(rig.row(1)));

        rig.history->Undo();
        rig.history->Undo();
        r = restores(spy).last();
        QCOMPARE(r.restore, e1.before);
        QCOMPARE(r.select, QRectF()); // the "No Change" row's empty selection
        QCOMPARE(rig.currentindex(), 0);
        QVERIFY(iscurrentstyle(rig.row(0)));
        for (int i = 1; i < 4; ++i)
            QVERIFY(isundonestyle(rig.row(i)));
        rig.history->Undo(); // at the first row: nothing
        QCOMPARE(spy.count(), 3);
        QCOMPARE(rig.currentindex(), 0);

        spy.clear();
        rig.history->Redo();
        r = restores(spy).last();
        QCOMPARE(r.source, a);
        QCOMPARE(r.restore, e1.after);
        QCOMPARE(r.select, e1.select);
        QVERIFY(iscurrentstyle(rig.row(1)));
        QVERIFY(isdonestyle(rig.row(0)));
        QVERIFY(isundonestyle(rig.row(2)));
        rig.history->Redo();
        rig.history->Redo();
        QCOMPARE(restores(spy).last().restore, e3.after);
        rig.history->Redo(); // at the last row: nothing
        QCOMPARE(spy.count(), 3);
        QCOMPARE(rig.currentindex(), 3);
        for (int i = 0; i < 3; ++i)
            QVERIFY(isdonestyle(rig.row(i)));
        QVERIFY(iscurrentstyle(rig.row(3)));
    }

    void emptyHistoryIgnoresUndoAndRedo()
    {
        Rig rig;
        QSignalSpy spy(rig.history.get(), &HistoryGui::outrestorelayer);
        rig.history->Undo();
        rig.history->Redo();
        rig.history->ItemClicked(nullptr, 1);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(rig.rows(), 0);
    }

    void clickWalksStepByStep()
    {
        Rig rig;
        layer* a = rig.source("A");
        layer* b = rig.source("B");
        const Entry e1 = rig.push(a, 0.01), e2 = rig.push(b, 0.02), e3 = rig.push(a, 0.03);
        QSignalSpy spy(rig.history.get(), &HistoryGui::outrestorelayer);

        rig.history->ItemClicked(rig.row(0), 1);
        QList<Restore> r = restores(spy);
        QCOMPARE(r.size(), 3);
        QCOMPARE(r[0].restore, e3.before);
        QCOMPARE(r[0].select, e2.select);
        QCOMPARE(r[1].source, b);
        QCOMPARE(r[1].restore, e2.before);
        QCOMPARE(r[1].select, e1.select);
        QCOMPARE(r[2].restore, e1.before);
        QCOMPARE(r[2].select, QRectF());
        QCOMPARE(rig.currentindex(), 0);

        spy.clear();
        rig.history->ItemClicked(rig.row(3), 0);
        r = restores(spy);
        QCOMPARE(r.size(), 3);
        QCOMPARE(r[0].restore, e1.after);
        QCOMPARE(r[1].restore, e2.after);
        QCOMPARE(r[1].select, e2.select);
        QCOMPARE(r[2].restore, e3.after);
        QCOMPARE(rig.currentindex(), 3);

        spy.clear();
        rig.history->ItemClicked(rig.row(3), 2); // the current row: no step
        rig.history->ItemClicked(rig.row(2), 2);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(restores(spy)[0].restore, e3.before);
    }

    void aRealClickOnARowUndoes()
    {
        Rig rig;
        layer* a = rig.source("A");
        rig.push(a, 0.01);
        rig.push(a, 0.02);
        QSignalSpy spy(rig.history.get(), &HistoryGui::outrestorelayer);
        rig.docked.window.resize(600, 500);
        rig.docked.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&rig.docked.window, 30000));
        QTreeWidgetExt* tree = rig.history->tree;
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(rig.row(0)).center());
        QCOMPARE(spy.count(), 2);
        QCOMPARE(rig.currentindex(), 0);
    }

    void newPushDropsTheUndoneRowsAndTheirChunks()
    {
        Rig rig;
        layer* a = rig.source("A");
        rig.push(a, 0.01, "one");
        rig.push(a, 0.02, "two");
        rig.push(a, 0.03, "three");
        rig.history->Undo();
        rig.history->Undo();
        const int files = kvsessionfiles().size();
        rig.push(a, 0.04, "four");
        QCOMPARE(rig.descriptions(), QStringList({"No Change", "one", "four"}));
        // Two chunks came, four went.
        QCOMPARE(kvsessionfiles().size(), files + 2 - 4);
        QCOMPARE(rig.currentindex(), 2);
        QVERIFY(isdonestyle(rig.row(1)));
        QVERIFY(iscurrentstyle(rig.row(2)));
    }

    void historymaxBoundsTheRows()
    {
        Rig rig;
        historymax = 3;
        layer* a = rig.source("A");
        rig.push(a, 0.01, "one");
        rig.push(a, 0.02, "two");
        QCOMPARE(rig.rows(), 3);
        const int files = kvsessionfiles().size();
        rig.push(a, 0.03, "three");
        QCOMPARE(rig.descriptions(), QStringList({"one", "two", "three"}));
        QCOMPARE(kvsessionfiles().size(), files + 2); // "No Change" had no chunks
        rig.push(a, 0.04, "four");
        QCOMPARE(rig.descriptions(), QStringList({"two", "three", "four"}));
        QCOMPARE(kvsessionfiles().size(), files + 2); // "one" took its two along

        // The oldest row left is the state the history cannot go back past.
        QSignalSpy spy(rig.history.get(), &HistoryGui::outrestorelayer);
        for (int i = 0; i < 3; ++i)
            rig.history->Undo();
        QCOMPARE(spy.count(), 2);
        QCOMPARE(rig.currentindex(), 0);

        // A lower limit takes effect at the next push.
        rig.history->Redo();
        rig.history->Redo();
        historymax = 2;
        rig.push(a, 0.05, "five");
        QCOMPARE(rig.descriptions(), QStringList({"four", "five"}));
    }

    void editAfterUndoingEverythingCanBeUndone()
    {
        Rig rig;
        historymax = 3;
        layer* a = rig.source("A");
        rig.push(a, 0.01, "one");
        rig.push(a, 0.02, "two");
        rig.history->Undo();
        rig.history->Undo();
        const Entry e = rig.push(a, 0.03, "three");
        QCOMPARE(rig.descriptions(), QStringList({"No Change", "three"}));
        QSignalSpy spy(rig.history.get(), &HistoryGui::outrestorelayer);
        rig.history->Undo();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(restores(spy)[0].restore, e.before);
    }

    void deletedLayerTakesItsRowsAlong()
    {
        Rig rig;
        layer* a = rig.source("A");
        layer* b = rig.source("B");
        rig.push(b, 0.01, "b1");
        rig.push(a, 0.02, "a1");
        rig.push(a, 0.03, "a2");
        QSignalSpy spy(rig.history.get(), &HistoryGui::outrestorelayer);
        const int files = kvsessionfiles().size();
        rig.history->indellayers(a);
        QCOMPARE(rig.descriptions(), QStringList({"No Change", "b1"}));
        QCOMPARE(kvsessionfiles().size(), files - 4);
        QCOMPARE(rig.currentindex(), 1); // nearest row above of another layer
        QVERIFY(iscurrentstyle(rig.row(1)));
        QCOMPARE(spy.count(), 0);

        // The last edited layer gone: "No Change" alone goes too.
        rig.history->indellayers(b);
        QCOMPARE(rig.rows(), 0);
        QVERIFY(!rig.history->current);
        QCOMPARE(kvsessionfiles().size(), files - 6);
        rig.push(a, 0.04, "again");
        QCOMPARE(rig.descriptions(), QStringList({"No Change", "again"}));
    }

    void deletedLayerAmongUndoneRows()
    {
        Rig rig;
        layer* a = rig.source("A");
        layer* b = rig.source("B");
        rig.push(a, 0.01, "a1");
        rig.push(b, 0.02, "b1");
        rig.push(a, 0.03, "a2");
        rig.push(b, 0.04, "b2");
        rig.history->Undo();
        rig.history->Undo(); // current: b1; a2 and b2 undone
        rig.history->indellayers(a);
        QCOMPARE(rig.descriptions(), QStringList({"No Change", "b1", "b2"}));
        QCOMPARE(rig.currentindex(), 1);
        QVERIFY(iscurrentstyle(rig.row(1)));
        QVERIFY(isundonestyle(rig.row(2)));
        rig.history->indellayers(rig.source("never edited"));
        QCOMPARE(rig.rows(), 3);
    }

    void deletedLayerOfTheOldestRowWhileItIsCurrent()
    {
        // After trimming the oldest row is an edit; with it current and its
        // layer deleted, the undone rows of other layers have nothing to stand on.
        Rig rig;
        historymax = 3;
        layer* a = rig.source("A");
        layer* b = rig.source("B");
        rig.push(a, 0.01, "a1");
        rig.push(a, 0.02, "a2");
        rig.push(b, 0.03, "b1");
        QCOMPARE(rig.descriptions(), QStringList({"a1", "a2", "b1"}));
        rig.history->Undo();
        rig.history->Undo();
        const int files = kvsessionfiles().size();
        rig.history->indellayers(a);
        QCOMPARE(rig.rows(), 0);
        QVERIFY(!rig.history->current);
        QCOMPARE(kvsessionfiles().size(), files - 6);
        QSignalSpy spy(rig.history.get(), &HistoryGui::outrestorelayer);
        rig.history->Redo();
        rig.history->Undo();
        QCOMPARE(spy.count(), 0);
    }

    void resetEmptiesEverything()
    {
        Rig rig;
        layer* a = rig.source("A");
        const int files = kvsessionfiles().size();
        rig.push(a, 0.01);
        rig.push(a, 0.02);
        rig.history->Undo();
        rig.history->inresethistory();
        QCOMPARE(rig.rows(), 0);
        QVERIFY(!rig.history->current);
        QCOMPARE(kvsessionfiles().size(), files);
        rig.push(a, 0.03, "fresh");
        QCOMPARE(rig.descriptions(), QStringList({"No Change", "fresh"}));
    }

    void closingThePanelFreesTheChunks()
    {
        const int files = kvsessionfiles().size();
        {
            Rig rig;
            layer* a = rig.source("A");
            rig.push(a, 0.01);
            rig.push(a, 0.02);
            QCOMPARE(kvsessionfiles().size(), files + 5);
        }
        QCOMPARE(kvsessionfiles().size(), files);
    }

    void renamesShowOnRefresh()
    {
        Rig rig;
        layer* a = rig.source("A");
        layer* b = rig.source("B");
        rig.push(a, 0.01);
        rig.push(b, 0.02);
        a->name = "Lead";
        QCOMPARE(rig.row(1)->text(2), QString("A"));
        rig.history->inrefreshlayers();
        QCOMPARE(rig.row(0)->text(2), QString());
        QCOMPARE(rig.row(1)->text(2), QString("Lead"));
        QCOMPARE(rig.row(2)->text(2), QString("B"));
    }

    void entryWithoutLayerIsRefusedAndFreed()
    {
        Rig rig;
        layer* a = rig.source("A");
        const int files = kvsessionfiles().size();
        rig.history->inbackuplayer(QPixmap(), "stray", nullptr, new layer(a, 0, 0.01), new layer(a, 0, 0.01),
                                   QRectF());
        QCOMPARE(rig.rows(), 0);
        QCOMPARE(kvsessionfiles().size(), files);
    }

    void dropsGoToTheLayerPanel()
    {
        Rig rig;
        DropSink sink(&rig.docked.window);
        const QList<QUrl> urls{QUrl::fromLocalFile("/tmp/one.wav"), QUrl::fromLocalFile("/tmp/two.flac")};
        emit rig.history->tree->dropUrl(urls);
        QCOMPARE(sink.received.size(), 1);
        QCOMPARE(sink.received[0], urls);
    }
};

QTEST_MAIN(TestHistoryGui)
#include "tst_historygui.moc"
