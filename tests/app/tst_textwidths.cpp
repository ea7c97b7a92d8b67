// No text is cut off with the desktop's own fonts: in the start window, the
// main window with each tool's settings bar, and each filter's dialog, every
// shown label, button, box and title is at least as wide as its text in the
// font it is drawn with. A checkable button looks different when it is on.
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLibrary>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressDialog>
#include <QTest>
#include <QTimer>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>

#include "controller/spectrumgui.h"
#include "panels/layersgui.h"
#include "panels/panelrig.h"
#include "sdk/fitsize.h"
#include "view/glchannel.h"

namespace {

// What is cut off among the shown widgets of `top`, one line each.
QStringList clipped(QWidget* top, const QString& where)
{
    QStringList found;
    const auto report = [&](QWidget* w, const QString& text, int need, int have) {
        found << QString("%1: %2 \"%3\" needs %4 pixels, has %5")
                     .arg(where, w->metaObject()->className(), text)
                     .arg(need)
                     .arg(have);
    };
    QList<QWidget*> widgets = top->findChildren<QWidget*>();
    widgets.prepend(top);
    for (QWidget* w : widgets) {
        if (!w->isVisible() || w->width() <= 0)
            continue;
        const QFontMetrics metrics(w->font());
        if (auto* label = qobject_cast<QLabel*>(w)) {
            const QString text = label->text();
            if (text.isEmpty() || label->wordWrap() || label->textFormat() == Qt::RichText || Qt::mightBeRichText(text))
                continue;
            const QRect room = label->contentsRect();
            const int width = metrics.horizontalAdvance(text);
            // The underscore and the descenders lie below the baseline.
            const int height = metrics.ascent() + metrics.descent();
            if (width > room.width())
                report(w, text, width, room.width());
            if (height > room.height())
                report(w, text + " (height)", height, room.height());
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            const auto* tool = qobject_cast<QToolButton*>(w);
            if (button->text().isEmpty() || (tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly))
                continue;
            // A button's text beside its indicator or icon, within its padding.
            if (button->sizeHint().width() > button->width())
                report(w, button->text(), button->sizeHint().width(), button->width());
        } else if (auto* box = qobject_cast<QComboBox*>(w)) {
            // Any entry of the box, within its text field.
            if (fitsize::widestitem(box) > fitsize::textfield(box))
                report(w, box->currentText(), fitsize::widestitem(box), fitsize::textfield(box));
        } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(w)) {
            // The text shown within the box's text field, as the style lays it out.
            const int room = fitsize::textfield(spin);
            const int width = metrics.horizontalAdvance(spin->text());
            if (width > room)
                report(w, spin->text(), width, room);
        }
    }
    // A title bar holds the title in a bold font beside its buttons.
    if (top->isWindow() && !top->windowTitle().isEmpty()) {
        QFont bold = QApplication::font();
        bold.setBold(true);
        const QFontMetrics metrics(bold);
        const int need = metrics.horizontalAdvance(top->windowTitle()) + 4 * metrics.height();
        if (need > top->width())
            report(top, top->windowTitle() + " (title)", need, top->width());
    }
    return found;
}

QStringList* dialogproblems = nullptr;
int filterdialogs = 0;

// Each filter dialog is shown, measured and closed.
int measurefilterdialog(QDialog* dialog)
{
    dialog->show();
    QApplication::processEvents();
    QApplication::processEvents();
    ++filterdialogs;
    *dialogproblems += clipped(dialog, dialog->windowTitle());
    return qobject_cast<QMessageBox*>(dialog) ? int(QMessageBox::Cancel) : int(QDialog::Rejected);
}

// The spectrum export asks where to write first: into the test's folder.
QString filterfile(bool, const QString&, const QString&, const QString&)
{
    return QDir::tempPath() + "/spectrum.pfm";
}

} // namespace

class TestTextWidths : public QObject
{
    Q_OBJECT

private slots:
    void wholeTextsEverywhere()
    {
        WindowRig rig{QStringLiteral(KV_TEST_ROOT)};
        rig->resize(1600, 980);
        rig->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get(), 30000));
        QStringList problems;
        // A box that nothing here expects is noted and closed rather than
        // waited on; a progress window ends with its work, however slow.
        QTimer safety;
        QPointer<QWidget> seen;
        QObject::connect(&safety, &QTimer::timeout, [&problems, &seen] {
            QWidget* modal = QApplication::activeModalWidget();
            if (qobject_cast<QProgressDialog*>(modal))
                modal = nullptr;
            if (modal && modal == seen) {
                problems << QString("unexpected %1 \"%2\"").arg(modal->metaObject()->className(), modal->windowTitle());
                modal->close();
            }
            seen = modal;
        });
        safety.start(2000);

        rig->ShowStartDialog();
        QVERIFY(rig->startwindow);
        QVERIFY(QTest::qWaitForWindowExposed(rig->startwindow, 30000));
        QApplication::processEvents();
        problems += clipped(rig->startwindow, "start window");
        rig->startwindow->close();

        // A project of one layer with a name that has underscores and a negative volume.
        QTemporaryDir work;
        const QString file = work.filePath("take_one_b.wav");
        QProcess sox;
        sox.start("sox", {"-n", "-r", "22050", "-c", "2", "-b", "16", file, "synth", "0.5", "sine", "440"});
        QVERIFY(sox.waitForFinished(30000));
        QCOMPARE(sox.exitCode(), 0);
        layersgui->Import(file, QString());
        QCOMPARE(layersgui->tree->topLevelItemCount(), 1);
        QTreeWidgetItem* row = layersgui->tree->topLevelItem(0);
        qobject_cast<QDoubleSpinBox*>(row->data(3, LayersGui::SpinRole).value<QWidget*>())->setValue(-6.0);
        layersgui->ItemClicked(row, 3);
        rig->duplicateact->trigger(); // the extraction tools need a second layer
        QCOMPARE(layersgui->tree->topLevelItemCount(), 2);
        QApplication::processEvents();

        QCOMPARE(rig->toolactions.size(), 8);
        for (QAction* tool : rig->toolactions) {
            tool->trigger();
            QVERIFY2(tool->isChecked(), qPrintable(tool->text()));
            QApplication::processEvents();
            problems += clipped(rig.window.get(), "main window with " + tool->text());
        }

        // hissgate's "Register Noise" stays on and looks it.
        QPushButton* registernoise = nullptr;
        for (QPushButton* b : rig->findChildren<QPushButton*>())
            if (b->text() == "Register Noise")
                registernoise = b;
        QVERIFY(registernoise);
        QVERIFY(registernoise->isCheckable());
        for (QAction* tool : rig->toolactions)
            if (tool->text().contains("Noise"))
                tool->trigger();
        QApplication::processEvents();
        QVERIFY(registernoise->isVisible());
        registernoise->setChecked(false);
        const QImage off = registernoise->grab().toImage();
        registernoise->setChecked(true);
        const QImage on = registernoise->grab().toImage();
        registernoise->setChecked(false);
        QVERIFY2(off != on, "a checked button looks the same as an unchecked one");

        // Each filter's dialog, over a selected area.
        rig->selectact[0]->trigger();
        GLChannel* view = spectrumgui->view(0);
        const auto mouse = [view](QEvent::Type type, QPointF at, Qt::MouseButtons held) {
            QMouseEvent event(type, at, view->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
            QApplication::sendEvent(view, &event);
        };
        mouse(QEvent::MouseButtonPress, QPointF(view->width() * 0.2, view->height() * 0.3), Qt::LeftButton);
        mouse(QEvent::MouseMove, QPointF(view->width() * 0.5, view->height() * 0.6), Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, QPointF(view->width() * 0.6, view->height() * 0.7), Qt::NoButton);
        QVERIFY(selectionexists());
        QStringList fromdialogs;
        dialogproblems = &fromdialogs;
        QList<QLibrary*> libraries;
        using modalhook = int (*)(QDialog*);
        for (const QString& name : QDir(rootpath + "/Plugins/Filters").entryList(QDir::Files)) {
            auto* library = new QLibrary(rootpath + "/Plugins/Filters/" + name);
            using filehook = QString (*)(bool, const QString&, const QString&, const QString&);
            if (auto set = reinterpret_cast<void (*)(modalhook, filehook, void*)>(library->resolve("filterframesethooks")))
                set(&measurefilterdialog, &filterfile, nullptr);
            libraries << library;
        }
        int filters = 0;
        for (QAction* group : rig->filtersmenu->actions())
            if (group->menu())
                for (QAction* a : group->menu()->actions())
                    if (!a->isSeparator() && a->isEnabled()) {
                        a->trigger();
                        ++filters;
                    }
        QCOMPARE(filters, 6);
        // Every filter but the spectrum export (a file question only) has a dialog.
        QCOMPARE(filterdialogs, 5);
        problems += fromdialogs;
        for (QLibrary* library : libraries) {
            if (auto set = reinterpret_cast<void (*)(void*, void*, void*)>(library->resolve("filterframesethooks")))
                set(nullptr, nullptr, nullptr);
            delete library;
        }

        problems.removeDuplicates();
        QVERIFY2(problems.isEmpty(), qPrintable("\n" + problems.join("\n")));
        rig.answer = QMessageBox::No;
        rig->close();
    }
};

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    TestTextWidths test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_textwidths.moc"
