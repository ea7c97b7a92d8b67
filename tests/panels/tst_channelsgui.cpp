// The channel panel: the rows it builds, the active and solo toggles with
// their invariants, the sequence of outchannelactive that every toggle sends,
// the bold current channel, the key toggles and the forwarding of drops.
#include <QShortcut>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

#include "panels/channelsgui.h"
#include "panels/qtreewidgetext.h"
#include "dockedwindow.h"
#include "testsupport.h"

namespace {

using Sent = QList<QPair<int, bool>>;

Sent sent(const QSignalSpy& spy)
{
    Sent list;
    for (const QList<QVariant>& args : spy)
        list << qMakePair(args.at(0).toInt(), args.at(1).toBool());
    return list;
}

struct Rig
{
    DockedWindow docked;
    std::unique_ptr<ChannelsGui> panel;
    std::unique_ptr<QSignalSpy> spy;

    explicit Rig(int channels = 0)
    {
        panel = std::make_unique<ChannelsGui>(&docked.window);
        spy = std::make_unique<QSignalSpy>(panel.get(), &ChannelsGui::outchannelactive);
        if (channels)
            panel->inchannels(channels);
    }

    QTreeWidgetItem* row(int c) const { return panel->tree->topLevelItem(c); }
    int rows() const { return panel->tree->topLevelItemCount(); }
    // Clicks a cell and returns what the panel sent for it.
    Sent click(int c, int column)
    {
        spy->clear();
        panel->ItemClicked(row(c), column);
        return sent(*spy);
    }
    bool active(int c) const { return row(c)->data(0, Qt::UserRole).toBool(); }
    bool solo(int c) const { return row(c)->data(1, Qt::UserRole).toBool(); }
};

Sent pairs(std::initializer_list<bool> states)
{
    Sent list;
    int c = 0;
    for (bool s : states)
        list << qMakePair(c++, s);
    return list;
}

} // namespace

class TestChannelsGui : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { kvtestfolders(); }

    void listSitsInTheDockWithItsHeader()
    {
        Rig rig;
        QTreeWidgetExt* tree = rig.panel->tree;
        QCOMPARE(rig.docked.channels->widget(), tree);
        QCOMPARE(tree->columnCount(), 4);
        QVERIFY(!tree->rootIsDecorated());
        QCOMPARE(tree->focusPolicy(), Qt::NoFocus);
        QTreeWidgetItem* header = tree->headerItem();
        const QStringList tips{"Active", "Solo", "Channel number", "Channel description"};
        for (int column = 0; column < 4; ++column)
            QCOMPARE(header->toolTip(column), tips[column]);
        for (int column = 0; column < 3; ++column) {
            QVERIFY(!header->icon(column).isNull());
            QCOMPARE(tree->columnWidth(column), 24);
        }
        QCOMPARE(header->text(3), QString("Description"));
        QCOMPARE(channelsgui, rig.panel.get());
    }

    void channelsRebuildTheRows()
    {
        Rig rig(3);
        QCOMPARE(rig.rows(), 3);
        for (int c = 0; c < 3; ++c) {
            QVERIFY(rig.active(c));
            QVERIFY(!rig.row(c)->icon(0).isNull());
            QVERIFY(!rig.solo(c));
            QVERIFY(rig.row(c)->icon(1).isNull());
            QCOMPARE(rig.row(c)->text(2), QString::number(c));
            QCOMPARE(rig.row(c)->text(3), QString("Undefined"));
            QCOMPARE(rig.row(c)->flags(), Qt::ItemIsEnabled);
        }
        rig.click(2, 0);
        rig.click(1, 1);
        rig.panel->inchanneldescription(0, "Front Left");
        rig.spy->clear();

        rig.panel->inchannels(2);
        QCOMPARE(rig.rows(), 2);
        for (int c = 0; c < 2; ++c) {
            QVERIFY(rig.active(c));
            QVERIFY(!rig.solo(c));
            QCOMPARE(rig.row(c)->text(3), QString("Undefined"));
        }
        QCOMPARE(rig.spy->count(), 0); // the controller already made them all active
        rig.panel->inchannels(0);
        QCOMPARE(rig.rows(), 0);
    }

    void descriptionsNameTheirRow()
    {
        Rig rig(2);
        rig.panel->inchanneldescription(1, "Front Right");
        QCOMPARE(rig.row(0)->text(3), QString("Undefined"));
        QCOMPARE(rig.row(1)->text(3), QString("Front Right"));
        rig.panel->inchanneldescription(2, "nowhere");
        rig.panel->inchanneldescription(-1, "nowhere");
        QCOMPARE(rig.rows(), 2);
    }

    void currentChannelIsBold()
    {
        Rig rig(3);
        rig.panel->incurrentchannel(1);
        for (int c = 0; c < 3; ++c)
            for (int column : {2, 3})
                QCOMPARE(rig.row(c)->font(column).weight(), c == 1 ? QFont::Bold : QFont::Normal);
        QCOMPARE(rig.row(1)->font(0).weight(), QFont::Normal);
        rig.panel->incurrentchannel(-1);
        for (int c = 0; c < 3; ++c)
            QCOMPARE(rig.row(c)->font(3).weight(), QFont::Normal);
    }

    void activeToggles()
    {
        Rig rig(2);
        QCOMPARE(rig.click(1, 0), pairs({true, false}));
        QVERIFY(!rig.active(1));
        QVERIFY(rig.row(1)->icon(0).isNull());
        // The last active channel stays on, and the state is sent all the same.
        QCOMPARE(rig.click(0, 0), pairs({true, false}));
        QVERIFY(rig.active(0));
        QCOMPARE(rig.click(1, 0), pairs({true, true}));
        QVERIFY(!rig.row(1)->icon(0).isNull());
        QCOMPARE(rig.click(0, 0), pairs({false, true}));
    }

    void soloOverridesAndRestores()
    {
        Rig rig(3);
        rig.click(2, 0); // channels 0 and 1 active
        QCOMPARE(rig.click(1, 1), pairs({false, true, false}));
        QVERIFY(rig.solo(1));
        QVERIFY(!rig.row(1)->icon(1).isNull());
        QCOMPARE(rig.click(1, 1), pairs({true, true, false}));
        QVERIFY(!rig.solo(1));
        QVERIFY(rig.row(1)->icon(1).isNull());

        // Solo on an inactive channel plays it alone; clearing restores the set.
        QCOMPARE(rig.click(2, 1), pairs({false, false, true}));
        QVERIFY(!rig.active(2));
        // Active toggles while soloed change the set, not what is sent.
        QCOMPARE(rig.click(0, 0), pairs({false, false, true}));
        QCOMPARE(rig.click(2, 1), pairs({false, true, false}));
    }

    void soloMovesBetweenChannels()
    {
        Rig rig(3);
        rig.click(1, 1);
        QCOMPARE(rig.click(0, 1), pairs({true, false, false}));
        QVERIFY(rig.solo(0));
        QVERIFY(!rig.solo(1));
        QVERIFY(rig.row(1)->icon(1).isNull());
    }

    void descriptionTogglesSoloNumberDoesNothing()
    {
        Rig rig(2);
        QCOMPARE(rig.click(0, 3), pairs({true, false}));
        QVERIFY(rig.solo(0));
        QCOMPARE(rig.click(0, 2), pairs({true, false}));
        QVERIFY(rig.solo(0));
        QCOMPARE(rig.click(0, 3), pairs({true, true}));
        QVERIFY(!rig.solo(0));
        rig.spy->clear();
        rig.panel->ItemClicked(nullptr, 0);
        QCOMPARE(rig.spy->count(), 0);
    }

    void realClicksReachTheToggles()
    {
        Rig rig(2);
        rig.docked.window.resize(600, 500);
        rig.docked.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&rig.docked.window, 30000));
        QTreeWidgetExt* tree = rig.panel->tree;
        const QRect cell = tree->visualRect(tree->model()->index(1, 0));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(sent(*rig.spy), pairs({true, false}));
    }

    void shortcutsActOnTheirRow()
    {
        Rig rig(3);
        QWidget host;
        auto shortcut = [&](const QKeySequence& key) {
            auto* s = new QShortcut(key, &host);
            QObject::connect(s, &QShortcut::activated, rig.panel.get(), &ChannelsGui::Itemshortcut);
            return s;
        };
        QShortcut* one = shortcut(QKeySequence(Qt::Key_1));
        QShortcut* soloone = shortcut(QKeySequence(Qt::SHIFT | Qt::Key_1));
        QShortcut* zero = shortcut(QKeySequence(Qt::Key_0));
        QShortcut* seven = shortcut(QKeySequence(Qt::Key_7));
        QShortcut* eight = shortcut(QKeySequence(Qt::Key_8));
        QShortcut* ctrlone = shortcut(QKeySequence(Qt::CTRL | Qt::Key_1));

        emit one->activated();
        QCOMPARE(sent(*rig.spy), pairs({true, false, true}));
        rig.spy->clear();
        emit soloone->activated();
        QCOMPARE(sent(*rig.spy), pairs({false, true, false}));
        QVERIFY(rig.solo(1));
        rig.spy->clear();
        emit zero->activated();
        QVERIFY(!rig.active(0));
        QCOMPARE(rig.spy->count(), 3);
        rig.spy->clear();
        emit seven->activated(); // no channel 7
        emit eight->activated();
        emit ctrlone->activated();
        QCOMPARE(rig.spy->count(), 0);
        rig.panel->Itemshortcut(); // not from a shortcut
        QCOMPARE(rig.spy->count(), 0);
    }

    void dropsGoToTheLayerPanel()
    {
        Rig rig(1);
        DropSink sink(&rig.docked.window);
        const QList<QUrl> urls{QUrl::fromLocalFile("/tmp/take.wav")};
        emit rig.panel->tree->dropUrl(urls);
        QCOMPARE(sink.received, QList<QList<QUrl>>{urls});
    }
};

QTEST_MAIN(TestChannelsGui)
#include "tst_channelsgui.moc"
