// A seeded random walk over the window's commands, as a new user would try
// them in any order: imports of small files made by sox, layer list
// operations, clicks on the rows' controls, channel switches, selections and
// edits, move and scale, time insertion, tool strokes, filters through their
// dialogs, the history, playback through OpenAL's silent back end, and saving
// and opening the project. After every step the mix must equal the sum of the
// active layers' own sample files with their signs and volumes.
//
// The seed is printed first, so that a walk that crashes can be replayed:
// KV_WALK_SEED=<seed> KV_WALK_STEPS=<steps> run this test (with
// QTEST_FUNCTION_TIMEOUT raised for long walks); a seed that failed stays in
// the rows below.
#include <QAbstractButton>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QLibrary>
#include <QMenu>
#include <QMouseEvent>
#include <QProcess>
#include <QProgressDialog>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <random>

#include "controller/spectrumgui.h"
#include "core/layer.h"
#include "panels/channelsgui.h"
#include "panels/historygui.h"
#include "panels/layersgui.h"
#include "panels/panelrig.h"
#include "panels/qtreewidgetext.h"
#include "view/glchannel.h"

namespace {

QTemporaryDir* work = nullptr;
std::mt19937* walkrandom = nullptr;

using modalhook = int (*)(QDialog*);
using filehook = QString (*)(bool, const QString&, const QString&, const QString&);
using noticehook = void (*)(QMessageBox*);

int pick(int count)
{
    return count > 0 ? std::uniform_int_distribution<int>(0, count - 1)(*walkrandom) : 0;
}

double uniform(double low, double high)
{
    return std::uniform_real_distribution<double>(low, high)(*walkrandom);
}

// The filters' own dialogs and boxes: accepted as they come, files written
// into the test's folder.
int acceptfilterdialog(QDialog* dialog)
{
    if (auto* box = qobject_cast<QMessageBox*>(dialog))
        return box->standardButtons() & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok;
    return QDialog::Accepted;
}

QString filterfile(bool save, const QString&, const QString&, const QString&)
{
    return save ? work->filePath("filter.pfm") : QString();
}

void clickcell(QTreeWidget* tree, QTreeWidgetItem* item, int column)
{
    const QRect row = tree->visualItemRect(item);
    const int x = tree->header()->sectionViewportPosition(column) + tree->columnWidth(column) / 2;
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, row.center().y()));
}

} // namespace

class TestCommandWalk : public QObject
{
    Q_OBJECT

    std::unique_ptr<WindowRig> rig;
    QStringList files;
    QStringList steps; // the walk so far, for the failure message
    QList<QLibrary*> filterlibraries;

    MainWindow* window() const { return rig->window.get(); }
    int rows() const { return layersgui->tree->topLevelItemCount(); }
    QTreeWidgetItem* row(int i) const { return layersgui->tree->topLevelItem(i); }
    layer* rowlayer(int i) const { return LayersGui::rowlayer(row(i)); }

    // A press, a few moves and a release on a channel view, in pixels.
    void drag(Qt::MouseButton button = Qt::LeftButton)
    {
        GLChannel* view = spectrumgui->view(pick(std::max(1, projectformat.channels)));
        if (!view || !view->isVisible() || view->width() < 4 || view->height() < 4)
            return;
        const QPointF from(uniform(2, view->width() - 2), uniform(2, view->height() - 2));
        const QPointF to(uniform(2, view->width() - 2), uniform(2, view->height() - 2));
        const auto send = [view](QEvent::Type type, QPointF at, Qt::MouseButton b, Qt::MouseButtons held) {
            QMouseEvent event(type, at, view->mapToGlobal(at), b, held, Qt::NoModifier);
            QApplication::sendEvent(view, &event);
        };
        send(QEvent::MouseMove, from, Qt::NoButton, Qt::NoButton);
        send(QEvent::MouseButtonPress, from, button, button);
        for (int i = 1; i <= 4; ++i)
            send(QEvent::MouseMove, from + (to - from) * i / 4, Qt::NoButton, button);
        send(QEvent::MouseButtonRelease, to, button, Qt::NoButton);
    }

    // Answers the next modal dialog of the window (time, numeric areas) with
    // random values in its spin boxes.
    void answernextdialog()
    {
        whendialog<QDialog>([](QDialog* dialog) {
            for (QDoubleSpinBox* box : dialog->findChildren<QDoubleSpinBox*>())
                box->setValue(uniform(0.0, 0.6));
            dialog->accept();
        });
    }

    void trigger(QAction* action)
    {
        if (action && action->isEnabled())
            action->trigger();
    }

    // One step: a command chosen at random; returns its name.
    QString step()
    {
        const bool project = rows() > 0;
        switch (project ? pick(24) : 0) {
        case 0: {
            rig->fileanswer = files.at(pick(int(files.size())));
            trigger(window()->importact);
            return "import " + QFileInfo(rig->fileanswer).fileName();
        }
        case 1: {
            QAction* const acts[] = {window()->newlayeract, window()->duplicateact, window()->deletelayeract,
                                     window()->moveupact, window()->movedownact};
            const int i = pick(5);
            trigger(acts[i]);
            return acts[i]->text();
        }
        case 2: {
            QAction* const acts[] = {window()->mergedownact, window()->mergeactiveact, window()->mergeallact};
            const int i = pick(3);
            trigger(acts[i]);
            return acts[i]->text();
        }
        case 3:
        case 4: {
            const int i = pick(rows()), column = pick(4);
            clickcell(layersgui->tree, row(i), column);
            return QString("click row %1 column %2").arg(i).arg(column);
        }
        case 5: {
            const int i = pick(rows());
            const double db = std::round(uniform(-12, 6) * 10) / 10;
            if (pick(2))
                qobject_cast<QDoubleSpinBox*>(row(i)->data(3, LayersGui::SpinRole).value<QWidget*>())->setValue(db);
            else
                qobject_cast<QSlider*>(row(i)->data(3, LayersGui::SliderRole).value<QWidget*>())->setValue(int(db * 10));
            return QString("volume of row %1: %2 dB").arg(i).arg(db);
        }
        case 6: {
            QTreeWidget* tree = channelsgui->tree;
            if (tree->topLevelItemCount() == 0)
                return "no channel";
            const int i = pick(tree->topLevelItemCount()), column = pick(2);
            clickcell(tree, tree->topLevelItem(i), column);
            return QString("channel %1 column %2").arg(i).arg(column);
        }
        case 7:
        case 8: {
            const int i = pick(3);
            trigger(window()->selectact[i]);
            drag();
            return QString("select %1 by dragging").arg(i);
        }
        case 9: {
            answernextdialog();
            trigger(window()->setselectact);
            return "select by numbers";
        }
        case 10:
        case 11: {
            QAction* const acts[] = {window()->cutact, window()->copyact, window()->pasteact, window()->deleteact};
            const int i = pick(4);
            trigger(acts[i]);
            return acts[i]->text();
        }
        case 12: {
            const int i = pick(3);
            trigger(pick(4) == 0 ? window()->scaleact[i] : window()->moveact[i]);
            drag();
            return QString("move or scale %1 by dragging").arg(i);
        }
        case 13: {
            answernextdialog();
            const bool insert = pick(2);
            trigger(insert ? window()->inserttimeact : window()->removetimeact);
            return insert ? "insert time" : "remove time";
        }
        case 14:
        case 15: {
            const QList<QAction*>& tools = window()->toolactions;
            if (tools.isEmpty())
                return "no tool";
            QAction* tool = tools.at(pick(int(tools.size())));
            trigger(tool);
            drag();
            return "stroke with " + tool->text();
        }
        case 16: {
            QList<QAction*> filters;
            for (QAction* group : window()->filtersmenu->actions())
                if (group->menu())
                    for (QAction* a : group->menu()->actions())
                        if (!a->isSeparator() && !a->text().contains("Editor", Qt::CaseInsensitive))
                            filters << a;
            if (filters.isEmpty())
                return "no filter";
            QAction* filter = filters.at(pick(int(filters.size())));
            trigger(filter);
            return "filter " + filter->text();
        }
        case 17:
        case 18: {
            const bool undo = pick(3) > 0;
            trigger(undo ? window()->undoact : window()->redoact);
            return undo ? "undo" : "redo";
        }
        case 19: {
            QTreeWidget* tree = historygui->tree;
            if (tree->topLevelItemCount() == 0)
                return "no history";
            const int i = pick(tree->topLevelItemCount());
            clickcell(tree, tree->topLevelItem(i), pick(tree->columnCount()));
            return QString("history row %1").arg(i);
        }
        case 20: {
            QAction* const acts[] = {window()->playact, window()->playstartact, window()->playclipact};
            const int i = pick(3);
            trigger(acts[i]);
            QTest::qWait(20);
            trigger(window()->rewindact);
            return acts[i]->text() + " and stop";
        }
        case 21: {
            rig->fileanswer = work->filePath(pick(2) ? "walk.kvp" : "walk.kvx");
            trigger(window()->saveasact);
            return "save as " + QFileInfo(rig->fileanswer).fileName();
        }
        case 22: {
            rig->fileanswer = work->filePath(pick(2) ? "walk.kvp" : "walk.kvx");
            if (!QFileInfo::exists(rig->fileanswer))
                return "nothing to open";
            trigger(window()->openprojectact);
            return "open " + QFileInfo(rig->fileanswer).fileName();
        }
        default: {
            const int i = pick(rows());
            clickcell(layersgui->tree, row(i), 3);
            return QString("current row %1").arg(i);
        }
        }
    }

    // The mix slot holds the active rows but the current one, the slots hold
    // the mix and the current layer, and reading the layers gives the sum of
    // their files with signs and volumes.
    bool checkmix(QString* problem)
    {
        if (rows() == 0)
            return true;
        QList<layer*> all, mix;
        for (int i = 0; i < rows(); ++i) {
            all << rowlayer(i);
            if (rowlayer(i)->active && row(i) != layersgui->currentitem)
                mix << rowlayer(i);
        }
        QList<layer*> children;
        for (int i = 0; layersgui->mixlayer && i < layersgui->mixlayer->childcount; ++i)
            children << layersgui->mixlayer->children[i];
        if (children != mix) {
            *problem = "the mix holds other layers than the active rows but the current one";
            return false;
        }
        if (slottable.bound[0] != layersgui->mixlayer || slottable.bound[1] != LayersGui::rowlayer(layersgui->currentitem)) {
            *problem = "the controller shows other layers than the mix and the current row";
            return false;
        }
        const int rate = projectformat.samplerate, channels = projectformat.channels;
        const double start = layersgui->alllayers->spanstart();
        const int frames = int(std::ceil(layersgui->alllayers->spanlength() * rate)) + 1;
        const double mixerror = maxdifference(readmix(layersgui->mixlayer, start, frames),
                                              expectedmix(mix, rate, channels, start, frames));
        const double allerror = maxdifference(readmix(layersgui->alllayers, start, frames),
                                              expectedmix(all, rate, channels, start, frames));
        if (!(mixerror <= 1e-5 && allerror <= 1e-5)) {
            *problem = QString("the mix differs from the sum of the layers' files by %1 (all layers: %2)")
                           .arg(mixerror)
                           .arg(allerror);
            return false;
        }
        return true;
    }

private slots:
    void initTestCase()
    {
        work = new QTemporaryDir();
        QVERIFY(work->isValid());
        // Tiny stereo files of one format: the steps stay cheap and no import asks to resample.
        const QList<QStringList> tones{{"sine", "440"}, {"sine", "1200", "vol", "0.3"}, {"whitenoise", "vol", "0.1"}};
        for (int i = 0; i < tones.size(); ++i) {
            const QString file = work->filePath(QString("tone_%1.wav").arg(i));
            QProcess sox;
            sox.start("sox", QStringList{"-n", "-r", "8000", "-c", "2", "-b", "16", file, "synth", "0.4"} + tones.at(i));
            QVERIFY(sox.waitForFinished(30000));
            QCOMPARE(sox.exitCode(), 0);
            files << file;
        }
    }

    void cleanupTestCase()
    {
        for (QLibrary* library : filterlibraries) {
            if (auto set = reinterpret_cast<void (*)(modalhook, filehook, noticehook)>(library->resolve("filterframesethooks")))
                set(nullptr, nullptr, nullptr);
            delete library;
        }
        delete work;
    }

    void init() { QSettings().clear(); }

    // The read-out names what lies under the pointer whenever the area
    // changes under it, and never a time outside the shown area.
    void readoutFollowsTheArea()
    {
        rig = std::make_unique<WindowRig>(QStringLiteral(KV_TEST_ROOT));
        window()->resize(820, 560);
        window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(window(), 30000));
        layersgui->Import(files.at(0), QString());
        QCOMPARE(rows(), 1);
        QApplication::processEvents();
        GLChannel* view = spectrumgui->view(0);
        const QPointF at(view->width() * 0.75, view->height() * 0.5);
        QMouseEvent move(QEvent::MouseMove, at, view->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view, &move);
        const auto under = [view, at] {
            const QRectF a = view->displayarea;
            return QPointF(a.x() + at.x() * a.width() / view->width(), a.y() + at.y() * a.height() / view->height());
        };
        QCOMPARE(view->mousepos, under());
        // Zoomed in on the first half, then scrolled as far as the layer allows and beyond.
        const QRectF whole = view->displayarea;
        spectrumgui->indisplayarea(QRectF(whole.x(), whole.y(), whole.width() / 2, whole.height()));
        QVERIFY(std::fabs(view->mousepos.x() - under().x()) < 1e-9);
        QVERIFY(std::fabs(view->mousepos.y() - under().y()) < 1e-6);
        spectrumgui->indisplayarea(view->displayarea.translated(100.0, 0));
        const QRectF shown = view->displayarea;
        QVERIFY(std::fabs(view->mousepos.x() - under().x()) < 1e-9);
        QVERIFY(view->mousepos.x() >= shown.x() && view->mousepos.x() <= shown.x() + shown.width());
        // An Undo rebinds the layers: the read-out stays where the pointer is.
        trigger(window()->undoact);
        spectrumgui->bindlayer(1, nullptr);
        QVERIFY(std::fabs(view->mousepos.x() - under().x()) < 1e-9);
        window()->close();
        rig.reset();
    }

    void walk_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("count");
        const QByteArray seed = qgetenv("KV_WALK_SEED");
        const int count = qEnvironmentVariableIsSet("KV_WALK_STEPS") ? qEnvironmentVariableIntValue("KV_WALK_STEPS") : 150;
        if (!seed.isEmpty()) {
            QTest::newRow(seed.constData()) << quint32(seed.toULong()) << count;
            return;
        }
        // Two walks here; 2,000 steps of a seed take minutes under the sanitizers.
        // Each row runs as a test of its own, named in tests/app/CMakeLists.txt.
        for (quint32 s : {20261209u, 77u})
            QTest::newRow(QByteArray::number(s).constData()) << s << count;
    }

    void walk()
    {
        QFETCH(quint32, seed);
        QFETCH(int, count);
        qInfo("walk seed %u, %d steps", seed, count);
        std::mt19937 generator(seed);
        walkrandom = &generator;
        rig = std::make_unique<WindowRig>(QStringLiteral(KV_TEST_ROOT));
        // Questions get Yes (merge, delete, replace), except that no close asks to save first.
        setpromptanswerer([](const PromptRequest& r) {
            if (r.title == "Close Project")
                return QMessageBox::No;
            return r.buttons & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok;
        });
        for (const QString& name : QDir(rootpath + "/Plugins/Filters").entryList(QDir::Files)) {
            auto* library = new QLibrary(rootpath + "/Plugins/Filters/" + name);
            if (auto set = reinterpret_cast<void (*)(modalhook, filehook, noticehook)>(
                    library->resolve("filterframesethooks")))
                set(&acceptfilterdialog, &filterfile, nullptr);
            filterlibraries << library;
        }
        // A dialog that no step expects is closed after a while rather than
        // waiting for a person; what it was is noted. A progress window ends
        // with its work, however slow: closing it would cancel the step.
        QStringList unexpected;
        QTimer safety;
        int stuck = 0;
        QObject::connect(&safety, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (qobject_cast<QProgressDialog*>(modal))
                modal = nullptr;
            stuck = modal ? stuck + 1 : 0;
            // The window's own "No layer selected" box comes often: it is answered at once.
            if (modal && (stuck > 40 || modal == window()->nolayerbox)) {
                unexpected << modal->windowTitle();
                if (auto* dialog = qobject_cast<QDialog*>(modal))
                    dialog->reject();
                else
                    modal->close();
                stuck = 0;
            }
        });
        safety.start(25);
        window()->resize(820, 560);
        window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(window(), 30000));

        steps.clear();
        for (int i = 0; i < count; ++i) {
            steps << step();
            if (i > 0 && i % 250 == 0)
                qInfo("step %d: %s", i, qPrintable(steps.last()));
            QApplication::processEvents();
            QString problem;
            if (!checkmix(&problem))
                QFAIL(qPrintable(QString("seed %1, step %2 (%3): %4\nsteps: %5")
                                     .arg(seed)
                                     .arg(i)
                                     .arg(steps.last(), problem, steps.join(" | "))));
        }
        QMap<QString, int> kinds;
        for (const QString& name : steps)
            ++kinds[name.section(' ', 0, 0)];
        QStringList summary;
        for (auto k = kinds.cbegin(); k != kinds.cend(); ++k)
            summary << QString("%1 %2").arg(k.key()).arg(k.value());
        qInfo("steps taken: %s", qPrintable(summary.join(", ")));
        if (!unexpected.isEmpty())
            qInfo("dialogs closed by the walk: %s", qPrintable(unexpected.join(", ")));
        window()->close();
        rig.reset();
        walkrandom = nullptr;
    }
};

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    TestCommandWalk test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_commandwalk.moc"
