// The layer dialogs in the main window: calibration hands its factor to the
// row's volume, properties rename, and resampling the project converts every
// layer or, when one cannot be converted, none.
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>

#include "panelrig.h"
#include "panels/historygui.h"
#include "view/glchannel.h"

namespace {

// Answers the next "Resample Project" dialog with a rate and a channel count,
// noting its title and the values it offered.
void answerdialog(int rate, int channels, QStringList* seen)
{
    whendialog<QDialog>([=](QDialog* dialog) {
        const QList<QSpinBox*> spins = dialog->findChildren<QSpinBox*>();
        *seen << dialog->windowTitle() << spins.at(0)->text() << spins.at(1)->text();
        spins.at(0)->setValue(rate);
        spins.at(1)->setValue(channels);
        dialog->findChild<QPushButton*>()->click();
    });
}

// Deletes an area of the current layer, as the Delete command does with a selection.
void deletearea(const QRectF& area)
{
    selection = area;
    emit spectrumgui->outselection(selection);
    spectrumgui->indel();
    selection = QRectF(0, 0, 0, 0);
    emit spectrumgui->outselection(selection);
}

int historyrows()
{
    return historygui->tree->topLevelItemCount();
}

} // namespace

class TestLayerDialogs : public QObject
{
    Q_OBJECT

private slots:
    void init() { QSettings().clear(); }

    void nothingWithoutACurrentRow()
    {
        PanelRig r;
        project(r, 1);
        bool opened = false;
        whendialog<QDialog>([&](QDialog* dialog) {
            opened = true;
            dialog->reject();
        });
        r.panel()->Calibrate();
        r.panel()->Properties();
        // Dialogs are shown through exec(): one shown would have been answered by now.
        QVERIFY(!opened);
    }

    void calibrationSetsTheVolume()
    {
        PanelRig r;
        project(r, 2);
        click(r, 1, 3);
        QList<QVariantList> calls;
        connect(
            r.panel(), &LayersGui::outcalibrate, this,
            [&](bool average, bool peak, float level, bool zebra, bool mult, bool vol, float* factor) {
                calls << QVariantList{average, peak, level, zebra, mult, vol, *factor};
                *factor = 3.5f;
            },
            Qt::DirectConnection);
        QStringList seen;
        whendialog<QDialog>([&](QDialog* dialog) {
            seen << dialog->windowTitle();
            for (QRadioButton* b : dialog->findChildren<QRadioButton*>())
                seen << b->text() + (b->isChecked() ? " *" : "");
            for (QCheckBox* b : dialog->findChildren<QCheckBox*>())
                seen << b->text() + (b->isChecked() ? " *" : "");
            auto* level = dialog->findChild<QDoubleSpinBox*>();
            seen << QString("%1 %2..%3 %4").arg(level->value()).arg(level->minimum()).arg(level->maximum()).arg(level->suffix());
            level->setValue(-12.25);
            dialog->findChildren<QCheckBox*>().at(1)->setChecked(false);
            dialog->findChild<QPushButton*>()->click();
        });
        r.panel()->Calibrate();
        QCOMPARE(seen, (QStringList{"Calibrate Layer", "average power", "peak power *",
                                    "adjust zebra pattern threshold *", "adjust level multiplier *",
                                    "adjust volume *", "0 -200..200 db"}));
        QCOMPARE(calls.size(), 1);
        // The controller answers first: B peaks at 2.25, which is 7.04 dB
        // above the -12.25 dB asked for.
        QCOMPARE(calls.at(0), (QVariantList{false, true, -12.25f, true, false, true,
                                            float(-12.25 - 20 * std::log10(2.25))}));
        QCOMPARE(r.part<QDoubleSpinBox>(1, LayersGui::SpinRole)->value(), 3.5);
        QCOMPARE(r.current()->volume, float(std::exp2(3.5 / 6)));
        checkbindings(r);

        // Cancelled: nothing is measured.
        whendialog<QDialog>([](QDialog* dialog) { dialog->reject(); });
        r.panel()->Calibrate();
        QCOMPARE(calls.size(), 1);
    }

    void propertiesShowTheExtentAndRename()
    {
        PanelRig r;
        project(r, 1);
        r.panel()->NewLayer(); // empty, current
        QSignalSpy refreshed(r.panel(), &LayersGui::outrefreshlayers);
        QString label, initial, title;
        whendialog<QInputDialog>([&](QInputDialog* dialog) {
            title = dialog->windowTitle();
            label = dialog->labelText();
            initial = dialog->textValue();
            dialog->reject();
        });
        r.panel()->Properties();
        QCOMPARE(title, QString("Layer Properties"));
        QCOMPARE(label, QString("8000Hz / 2 channels<br>start: 0s end: 0s length: 0s"));
        QCOMPARE(initial, QString("New Layer"));
        QCOMPARE(refreshed.count(), 0);

        click(r, 1, 3);
        r.panel()->InsertTime(0, 0.25);
        r.window()->setWindowModified(false);
        whendialog<QInputDialog>([&](QInputDialog* dialog) {
            label = dialog->labelText();
            dialog->setTextValue("Renamed");
            dialog->accept();
        });
        r.panel()->Properties();
        QCOMPARE(label, QString("8000Hz / 2 channels<br>start: 0.25s end: 1.25s length: 1s"));
        QCOMPARE(r.current()->name, QString("Renamed"));
        QCOMPARE(r.part<QLabel>(1, LayersGui::LabelRole)->text(), QString("Renamed"));
        QCOMPARE(refreshed.count(), 1);
        QVERIFY(r.window()->isWindowModified()); // the name is saved with the project
    }

    void resampleEveryLayerOrNone()
    {
        PanelRig r;
        project(r, 2, 8000, 2);
        click(r, 0, 3);
        QStringList seen;
        r.answers["Resample Project"] = QMessageBox::No;
        answerdialog(16000, 1, &seen);
        r.panel()->ResampleProject();
        QCOMPARE(seen, (QStringList{"Resample Project", "8000 Hz", "2 channels"}));
        QCOMPARE(r.asked.last().text, QString("Are you sure ? (You can't undo this action)"));
        QCOMPARE(projectformat.samplerate, 8000);
        QCOMPARE(r.at(0)->samplerate, 8000);
        QCOMPARE(r.current(), r.at(0));

        // Without sox no layer can be converted: the project stays as it was.
        r.answers["Resample Project"] = QMessageBox::Yes;
        const QString util = utilpath;
        utilpath = QDir::tempPath() + "/nothing";
        const std::vector<float> before = samplefile(r.at(1));
        answerdialog(16000, 1, &seen);
        r.panel()->ResampleProject();
        utilpath = util;
        QCOMPARE(r.titles().last(), QString("Error Resampling Project"));
        QCOMPARE(projectformat.samplerate, 8000);
        QCOMPARE(projectformat.channels, 2);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(r.at(i)->samplerate, 8000);
            QCOMPARE(r.at(i)->channels, 2);
        }
        QVERIFY(samplefile(r.at(1)) == before);
        QCOMPARE(spectrumgui->samplerate, 8000);
        checkbindings(r);

        r.window()->setWindowModified(false);
        const QStringList files = kvsessionfiles();
        answerdialog(16000, 1, &seen);
        r.panel()->ResampleProject();
        QCOMPARE(projectformat.samplerate, 16000);
        QCOMPARE(projectformat.channels, 1);
        QCOMPARE(projectformat.speakermask, 0x4);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(r.at(i)->samplerate, 16000);
            QCOMPARE(r.at(i)->channels, 1);
            QVERIFY(std::fabs(r.at(i)->length - 1.0) < 1e-3);
            QCOMPARE(qint64(samplefile(r.at(i)).size()), qint64(16000));
        }
        QVERIFY(!r.panel()->currentitem);
        QCOMPARE(r.panel()->alllayers->samplerate, 16000);
        QCOMPARE(r.panel()->mixlayer->channels, 1);
        QCOMPARE(spectrumgui->samplerate, 16000);
        QVERIFY(r.window()->isWindowModified());
        checkbindings(r);
        // The former sample files are gone with the copies.
        QCOMPARE(kvsessionfiles().size(), files.size());
    }

    // The history holds chunks in the former format, which no layer can take
    // back: resampling starts a new history, whose edits undo as usual.
    void resamplingStartsANewHistory()
    {
        PanelRig r;
        project(r, 1, 8000, 1);
        click(r, 0, 3);
        layer* a = r.at(0);
        deletearea(QRectF(0.25, 4000, 0.5, -4000));
        QCOMPARE(historyrows(), 2);
        QVERIFY(std::fabs(samplefile(a).at(4000)) < 1e-3f);

        r.answers["Resample Project"] = QMessageBox::Yes;
        QStringList seen;
        answerdialog(16000, 1, &seen);
        r.panel()->ResampleProject();
        QCOMPARE(a->samplerate, 16000);
        QCOMPARE(historyrows(), 0);
        const std::vector<float> resampled = samplefile(a);
        r.window()->undoact->trigger();
        QVERIFY(samplefile(a) == resampled);
        QCOMPARE(historyrows(), 0);

        click(r, 0, 3);
        deletearea(QRectF(0.0, 8000, 0.2, -8000));
        QCOMPARE(historyrows(), 2);
        QVERIFY(samplefile(a) != resampled);
        r.window()->undoact->trigger();
        QVERIFY(samplefile(a) == resampled);
        r.window()->redoact->trigger();
        QVERIFY(samplefile(a) != resampled);
    }
};

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    TestLayerDialogs test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_layerdialogs.moc"
