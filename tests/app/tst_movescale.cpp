// Moving and scaling the clipboard through the whole window with the real sox
// and rubberband: a copied sine moved in frequency and time, stretched to
// twice its length and transposed an octave up by dragging, the Move and
// Scale dialogs, and utilities that are missing, fail, hang or write too
// little, which leave the clipboard as it was and say why; a hanging one is
// cancelled from its progress window while the window goes on.
#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "app/qtoolbuttonext.h"
#include "controller/scalecommands.h"
#include "core/buffer.h"
#include "core/transferarea.h"
#include "editrig.h"
#include "panels/historygui.h"
#include "panels/qtreewidgetext.h"

namespace {

constexpr int rate = EditRig::rate;

std::vector<float> channelsamples(layer* l, double from, double to, int channel)
{
    std::vector<float> s(size_t(std::floor((to - from) * rate + 0.5)), 0.0f);
    if (!s.empty())
        l->read(s.data(), from, to - from, channel, false);
    return s;
}

// The strongest frequency between 100 and 5000 Hz, in 2 Hz steps.
double peak(const std::vector<float>& s)
{
    const std::vector<double> w = hann(s);
    double best = 0, strongest = -1;
    for (double f = 100; f <= 5000; f += 2) {
        const double p = goertzel(w, f);
        if (p > strongest) {
            strongest = p;
            best = f;
        }
    }
    return best;
}

double rms(const std::vector<float>& s)
{
    double sum = 0;
    for (float v : s)
        sum += double(v) * v;
    return s.empty() ? 0 : std::sqrt(sum / double(s.size()));
}

// First and last time with a tone: 20 ms blocks above half the loudest one.
QPair<double, double> soundingspan(layer* l)
{
    const double start = l->spanstart(), length = l->spanlength();
    QList<QPair<double, double>> blocks;
    double loudest = 0;
    for (double t = start; t + 0.02 <= start + length; t += 0.02) {
        const double level = rms(channelsamples(l, t, t + 0.02, 0));
        blocks << qMakePair(t, level);
        loudest = std::max(loudest, level);
    }
    double first = -1, last = -1;
    for (const auto& [t, level] : blocks)
        if (level > loudest / 2) {
            if (first < 0)
                first = t;
            last = t + 0.02;
        }
    return {first, last};
}

QByteArray filebytes(layer* l)
{
    l->file->flush();
    QFile file(l->file->fileName());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

layer* clipboard()
{
    return slottable.bound[2];
}

// Selects 0.5 to 1.5 s and 500 to 1500 Hz through the Select Area dialog and
// copies it from the current layer into the clipboard, as Copy does.
void selectandcopy()
{
    answerselectarea(nullptr, {0.5, 1.5, 500, 1500});
    spectrumgui->inselectionnumeric();
    QCOMPARE(selection, QRectF(0.5, 1500, 1.0, -1000));
    spectrumgui->incopy();
    QVERIFY(clipboard()->spanlength() > 0.99); // the selection's frames, to a hop
}

// A utility folder of the test's own: sox and rubberband are the real ones
// unless a script body is given for them ("" leaves the program out).
QString fakeutil(const QTemporaryDir& dir, const QString* sox, const QString* rubberband)
{
    const QString real = QStringLiteral(KV_TEST_ROOT) + "/Resources/Util";
    for (const auto& [name, body] : {qMakePair(QString("sox"), sox), qMakePair(QString("rubberband"), rubberband)}) {
        QDir().mkpath(dir.path() + "/" + name);
        const QString path = dir.path() + "/" + name + "/" + name;
        if (!body) {
            QFile::link(QFileInfo(real + "/" + name + "/" + name).canonicalFilePath(), path);
        } else if (!body->isEmpty()) {
            kvscript(path, *body);
        }
    }
    return dir.path();
}

// Presses Cancel in the next progress window once `ticks` shows the
// window's timers going on while the utility hangs; notes its title and text.
void cancelwhenshown(const int& ticks, QStringList* shown)
{
    poll(3000, [&ticks, shown] {
        auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (!progress || ticks < 10)
            return false;
        *shown << progress->windowTitle() + ": " + progress->labelText();
        for (QPushButton* button : progress->findChildren<QPushButton*>())
            if (button->text() == "Cancel")
                button->click();
        return true;
    });
}

} // namespace

class TestMoveScale : public QObject
{
    Q_OBJECT
    std::unique_ptr<EditRig> edit;
    QByteArray original;

    void open(int channels, const std::function<float(int, int)>& signal)
    {
        edit = std::make_unique<EditRig>(channels, 3.0, signal);
        // A band of 4 kHz: a pixel is a few hertz.
        spectrumgui->indisplayarea(QRectF(0, 4000, 3, -4000));
        QCOMPARE(spectrumgui->displayarea, QRectF(0, 4000, 3, -4000));
        original = filebytes(edit->current);
        selectandcopy();
    }

private slots:
    void init() { edit.reset(); }
    void cleanup()
    {
        edit.reset();
        utilpath = rootpath + "/Resources/Util";
        SpectrumGui::utilitywaitms = 30000;
    }

    void moveInFrequency()
    {
        open(1, sine(1000));
        QCOMPARE(peak(channelsamples(clipboard(), 0.7, 1.3, 0)), 1000.0);
        QSignalSpy backups(spectrumgui, &SpectrumGui::outbackuplayer);
        edit->window()->moveact[2]->trigger();
        QCOMPARE(spectrumgui->movescalemode, 2);
        QVERIFY(spectrumgui->scalesource && spectrumgui->scalebuffer);

        edit->drag(1.0, 1000, 1.0, 1500, 5);
        QVERIFY2(std::fabs(selection.y() - 2000) < 6, describe(selection));
        QCOMPARE(selection.x(), 0.5);
        QCOMPARE(selection.width(), 1.0);
        QCOMPARE(selection.height(), -1000.0);
        const std::vector<float> moved = channelsamples(clipboard(), 0.7, 1.3, 0);
        QVERIFY2(std::fabs(peak(moved) - 1500) <= 12, qPrintable(QString::number(peak(moved))));
        QVERIFY(power(moved, 1000) < 0.001 * power(moved, peak(moved)));
        // The clipboard moved; the layer and the history did not.
        QCOMPARE(filebytes(edit->current), original);
        QCOMPARE(backups.count(), 0);

        // Pasted, the moved area becomes one entry of the history.
        spectrumgui->inpaste();
        QCOMPARE(backups.count(), 1);
        const std::vector<float> pasted = channelsamples(edit->current, 0.7, 1.3, 0);
        // The moved tone lies a few hertz off 1500 Hz (the nearest bins): it is
        // measured where it is.
        QVERIFY(power(pasted, peak(moved)) > 10 * power(pasted, 1000));
        QVERIFY(power(pasted, peak(moved)) > 0.5 * power(moved, peak(moved)));
        // The entry is the history's (it owns the chunks): undone from there.
        QCOMPARE(historygui->tree->topLevelItemCount(), 2);
        historygui->Undo();
        QCOMPARE(filebytes(edit->current), original);
    }

    void moveInTime()
    {
        open(1, sine(1000));
        edit->window()->moveact[1]->trigger();
        QCOMPARE(spectrumgui->movescalemode, 1);
        edit->drag(1.0, 1000, 1.5, 1100, 5);
        QVERIFY2(std::fabs(selection.x() - 1.0) < 0.005, describe(selection));
        QCOMPARE(selection.y(), 1500.0);
        const double later = rms(channelsamples(clipboard(), 1.6, 1.9, 0));
        const double earlier = rms(channelsamples(clipboard(), 0.6, 0.9, 0));
        QVERIFY2(later > 0.2 && earlier < 0.01 * later, qPrintable(QString("%1 %2").arg(later).arg(earlier)));
        QCOMPARE(filebytes(edit->current), original);
    }

    // A 4 ms click selected in time, whole band, through Edit > Delete: gone
    // by 30 dB and more at every window, and what changed reaches no further
    // than two hops beyond either edge of the selection.
    void deleteTakesAShortSelection_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {512, 2048, 8192})
            QTest::addRow("%d", size) << size;
    }
    void deleteTakesAShortSelection()
    {
        QFETCH(int, size);
        const int click0 = int(1.5 * EditRig::rate), click1 = click0 + EditRig::rate / 250;
        edit = std::make_unique<EditRig>(1, 3.0, [=](int k, int) {
            return 0.01f * float(std::sin(0.05 * k)) + (k >= click0 && k < click1 ? 0.8f * float(std::sin(1.3 * k)) : 0.0f);
        });
        QComboBox* sizes = edit->window()->fftsizebox;
        sizes->setCurrentIndex(sizes->findData(size));
        QCOMPARE(spectrumgui->fftsize, size);
        const std::vector<float> before = channelsamples(edit->current, 0, 3, 0);
        // Selected with the mouse in time on a view of 30 ms: a pixel is 25 us.
        const double t0 = double(click0) / EditRig::rate, t1 = double(click1) / EditRig::rate;
        spectrumgui->indisplayarea(QRectF(1.49, EditRig::rate / 2.0, 0.03, -EditRig::rate / 2.0));
        edit->window()->selectact[1]->trigger();
        edit->drag(t0, 5000, t1, 5000);
        QVERIFY2(std::fabs(selection.x() - t0) < 1e-4 && std::fabs(selection.right() - t1) < 1e-4, describe(selection));
        edit->window()->deleteact->trigger();
        const std::vector<float> after = channelsamples(edit->current, 0, 3, 0);
        const std::vector<float> clickbefore(before.begin() + click0, before.begin() + click1);
        const std::vector<float> clickafter(after.begin() + click0, after.begin() + click1);
        const double removed = 20 * std::log10(rms(clickbefore) / std::max(rms(clickafter), 1e-12));
        int first = -1, last = -1;
        for (int k = 0; k < int(after.size()); ++k)
            if (after[size_t(k)] != before[size_t(k)]) {
                first = first < 0 ? k : first;
                last = k;
            }
        const int hop = spectrumgui->fftsize / spectrumgui->fftoverlap;
        qInfo("removed %.1f dB, changed from %.2f hops before the selection to %.2f after", removed,
              double(click0 - first) / hop, double(last + 1 - click1) / hop);
        QVERIFY2(removed >= 30, QByteArray::number(removed) + " dB");
        QVERIFY2(first >= click0 - 2 * hop && last < click1 + 2 * hop,
                 qPrintable(QString("changed %1 to %2, click %3 to %4, hop %5").arg(first).arg(last).arg(click0).arg(click1).arg(hop)));
    }

    void scaleToTwiceTheLength()
    {
        open(1, sine(1000));
        const double length = clipboard()->spanlength();
        const QPair<double, double> before = soundingspan(clipboard());
        QVERIFY2(std::fabs(before.second - before.first - 1.0) < 0.05,
                 qPrintable(QString("%1 %2").arg(before.first).arg(before.second)));
        edit->window()->scaleact[1]->trigger();
        QCOMPARE(spectrumgui->movescalemode, 4);
        QSignalSpy backups(spectrumgui, &SpectrumGui::outbackuplayer);

        edit->drag(1.0, 1000, 2.0, 1000, 4);
        QVERIFY2(std::fabs(selection.width() - 2.0) < 0.005, describe(selection));
        QCOMPARE(selection.x(), 0.5);
        QCOMPARE(selection.y(), 1500.0);
        // The final pass ran with rubberband, and the 1 s tone now lasts 2 s.
        QVERIFY(kvlogtext().contains("/rubberband/rubberband -t 2"));
        QVERIFY2(std::fabs(clipboard()->spanlength() - 2 * length) < 0.01 * length,
                 qPrintable(QString::number(clipboard()->spanlength())));
        const QPair<double, double> after = soundingspan(clipboard());
        QVERIFY2(std::fabs(after.second - after.first - 2.0) < 0.08,
                 qPrintable(QString("%1 %2").arg(after.first).arg(after.second)));
        QVERIFY2(std::fabs(peak(channelsamples(clipboard(), 1.0, 2.0, 0)) - 1000) <= 6, "the pitch stays");
        QCOMPARE(filebytes(edit->current), original);
        QCOMPARE(backups.count(), 0);
        // The work files go with the mode.
        QVERIFY(QFile::exists(scalechanfile(0)));
        edit->window()->scaleact[1]->setChecked(false);
        QCOMPARE(spectrumgui->movescalemode, -1);
        QVERIFY(!spectrumgui->scalesource && !spectrumgui->scalebuffer);
        QVERIFY(!QFile::exists(scalechanfile(0)));
        QVERIFY(!QFile::exists(scaledchanfile(0)));
    }

    void scaleAnOctaveUp()
    {
        open(1, sine(1000));
        const double length = clipboard()->spanlength();
        edit->window()->scaleact[2]->trigger();
        QCOMPARE(spectrumgui->movescalemode, 5);
        // A quarter of the displayed band upwards doubles every frequency.
        edit->drag(1.0, 1000, 1.0, 2000, 4);
        QVERIFY2(std::fabs(selection.y() - 3000) < 15 && std::fabs(selection.height() + 2000) < 10,
                 describe(selection));
        QCOMPARE(selection.width(), 1.0);
        const double found = peak(channelsamples(clipboard(), 0.7, 1.3, 0));
        QVERIFY2(std::fabs(found - 2000) <= 16, qPrintable(QString::number(found)));
        QVERIFY2(std::fabs(clipboard()->spanlength() - length) < 0.01 * length, "the length stays");
        QVERIFY(kvlogtext().contains("/rubberband/rubberband -t 1 -p 12 "));
    }

    void stereoKeepsChannelsInPlace()
    {
        open(2, [](int k, int c) { return 0.4f * float(std::sin(2 * M_PI * (c ? 1300 : 1000) * k / rate)); });
        // The second channel is switched off after the copy: it is not transposed.
        spectrumgui->inchannelactive(1, false);
        edit->window()->scaleact[2]->trigger();
        edit->drag(1.0, 1000, 1.0, 2000, 4);
        const double left = peak(channelsamples(clipboard(), 0.7, 1.3, 0));
        const double right = peak(channelsamples(clipboard(), 0.7, 1.3, 1));
        QVERIFY2(std::fabs(left - 2000) <= 16, qPrintable(QString::number(left)));
        QVERIFY2(std::fabs(right - 1300) <= 6, qPrintable(QString::number(right)));
    }

    // A channel switched off between two scales keeps what the last one made
    // of it, sample for sample; the other channel is scaled again.
    void channelSwitchedOffBetweenScales()
    {
        open(2, [](int k, int c) { return 0.4f * float(std::sin(2 * M_PI * (c ? 1300 : 1000) * k / rate)); });
        edit->window()->scaleact[2]->trigger();
        edit->drag(1.0, 1000, 1.0, 2000, 4);
        double right = peak(channelsamples(clipboard(), 0.7, 1.3, 1));
        QVERIFY2(std::fabs(right - 2600) <= 20, qPrintable(QString::number(right)));
        const std::vector<float> scaled = channelsamples(clipboard(), 0.5, 1.5, 1);

        spectrumgui->inchannelactive(1, false);
        // The hand moves on the window as it is then: the first channel's
        // view has grown to the room the second one left.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        edit->drag(1.0, 2000, 1.0, 1500, 4);
        const double left = peak(channelsamples(clipboard(), 0.7, 1.3, 0));
        right = peak(channelsamples(clipboard(), 0.7, 1.3, 1));
        QVERIFY2(std::fabs(left - 1500) <= 12, qPrintable(QString::number(left)));
        QVERIFY2(std::fabs(right - 2600) <= 20, qPrintable(QString::number(right)));
        const std::vector<float> kept = channelsamples(clipboard(), 0.5, 1.5, 1);
        double difference = 0;
        for (size_t i = 0; i < kept.size() && i < scaled.size(); ++i)
            difference = std::max(difference, double(std::fabs(kept[i] - scaled[i])));
        QVERIFY2(difference < 1e-6, qPrintable(QString::number(difference)));
    }

    // A channel switched off between two move drags goes along with the
    // clipboard: pasted, both channels come back whole where it was moved.
    void channelSwitchedOffBetweenMoves()
    {
        const double tones[] = {1000, 1300};
        open(2, [&](int k, int c) { return 0.4f * float(std::sin(2 * M_PI * tones[c] * k / rate)); });
        edit->window()->moveact[1]->trigger();
        edit->drag(1.0, 1000, 1.5, 1000, 5);
        spectrumgui->inchannelactive(1, false);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        edit->drag(1.5, 1000, 1.75, 1000, 5);
        spectrumgui->inchannelactive(1, true);
        QVERIFY2(std::fabs(selection.x() - 1.25) < 0.005, describe(selection));
        const std::vector<float> before[] = {channelsamples(edit->current, 1.4, 2.1, 0),
                                             channelsamples(edit->current, 1.4, 2.1, 1)};
        spectrumgui->inpaste();
        for (int c = 0; c < 2; ++c) {
            QVERIFY2(rms(channelsamples(clipboard(), 1.4, 2.1, c)) > 0.2, qPrintable(QString::number(c)));
            const std::vector<float> pasted = channelsamples(edit->current, 1.4, 2.1, c);
            QVERIFY2(power(pasted, tones[c]) > 0.25 * power(before[c], tones[c]), qPrintable(QString::number(c)));
        }
    }

    void loudClipboardIsNotClipped()
    {
        // Above full scale, where sox would clip: it only ever sees it quieter.
        open(1, sine(1000, 1.6f));
        whendialog<QDialog>([](QDialog* dialog) {
            boxwithprefix<QDoubleSpinBox>(dialog, "time: ")->setValue(130);
            boxwithprefix<QDoubleSpinBox>(dialog, "frequency: ")->setValue(120);
            pressok(dialog);
        });
        emit edit->window()->scalebutton->mouseDoubleClicked();
        float loudest = 0;
        for (float v : channelsamples(clipboard(), 0.8, 1.4, 0))
            loudest = std::max(loudest, std::fabs(v));
        QVERIFY2(std::fabs(loudest - 1.6f) < 0.15f, qPrintable(QString::number(loudest)));
        const double found = peak(channelsamples(clipboard(), 0.8, 1.4, 0));
        QVERIFY2(std::fabs(found - 1200) <= 8, qPrintable(QString::number(found)));
    }

    void moveDialog()
    {
        open(1, sine(1000));
        QCOMPARE(spectrumgui->fftsize, 2048);
        QCOMPARE(spectrumgui->fftoverlap, 4);
        edit->window()->fftsizebox->setCurrentIndex(6);
        QCOMPARE(spectrumgui->fftsize, 4096);
        QStringList shown;
        whendialog<QDialog>([&](QDialog* dialog) {
            auto* frames = boxwithprefix<QDoubleSpinBox>(dialog, "time: ");
            auto* bins = boxwithprefix<QDoubleSpinBox>(dialog, "frequency: ");
            shown << dialog->windowTitle() << frames->suffix() << bins->suffix()
                  << QString::number(frames->value());
            frames->setValue(2);
            pressok(dialog);
        });
        // From the move button: its mode is switched on first.
        emit edit->window()->movebutton->mouseRightClicked();
        QCOMPARE(shown, (QStringList{"Move", " ft", " bin", "0"}));
        QCOMPARE(spectrumgui->movescalemode, 0);
        QVERIFY(edit->window()->moveact[0]->isChecked());
        // Two frames of 4096 at overlap 4 are 2048 samples.
        QVERIFY2(std::fabs(selection.x() - (0.5 + 2048.0 / rate)) < 1e-6, describe(selection));
        QCOMPARE(selection.y(), 1500.0);
        const std::vector<float> clip = channelsamples(clipboard(), 0.5, 1.6, 0);
        const std::vector<float> source = channelsamples(edit->current, 0.5, 1.6, 0);
        // The clipboard now leads the layer by 2048 samples.
        double difference = 0;
        for (size_t i = 2048 + 2000; i < 2048 + 30000; ++i)
            difference = std::max(difference, double(std::fabs(clip[i] - source[i - 2048])));
        QVERIFY2(difference < 0.01, qPrintable(QString::number(difference)));

        // One bin at the longest window is 44100 / 65536 Hz, not nothing.
        edit->window()->fftsizebox->setCurrentIndex(10);
        whendialog<QDialog>([](QDialog* dialog) {
            boxwithprefix<QDoubleSpinBox>(dialog, "frequency: ")->setValue(1);
            pressok(dialog);
        });
        emit edit->window()->movebutton->mouseDoubleClicked();
        QVERIFY2(std::fabs(selection.y() - (1500 + 44100.0 / 65536)) < 1e-3, describe(selection));

        // Cancelled, nothing moves; without a selection no dialog opens.
        const QRectF kept = selection;
        whendialog<QDialog>([](QDialog* dialog) {
            boxwithprefix<QDoubleSpinBox>(dialog, "time: ")->setValue(50);
            dialog->reject();
        });
        spectrumgui->inmovenumeric();
        QCOMPARE(selection, kept);
        QCOMPARE(spectrumgui->movescalemode, 0);
    }

    void scaleDialog()
    {
        open(1, sine(1000));
        const double length = clipboard()->spanlength();
        QStringList shown;
        whendialog<QDialog>([&](QDialog* dialog) {
            auto* time = boxwithprefix<QDoubleSpinBox>(dialog, "time: ");
            auto* frequency = boxwithprefix<QDoubleSpinBox>(dialog, "frequency: ");
            shown << dialog->windowTitle() << QString::number(time->value()) << QString::number(frequency->value())
                  << time->suffix();
            time->setValue(150);
            pressok(dialog);
        });
        emit edit->window()->scalebutton->mouseDoubleClicked();
        // Right after the mode is switched on, both stand at 100 %.
        QCOMPARE(shown, (QStringList{"Scale", "100", "100", "%"}));
        QCOMPARE(spectrumgui->movescalemode, 3);
        QVERIFY2(std::fabs(selection.width() - 1.5) < 1e-6, describe(selection));
        QCOMPARE(selection.y(), 1500.0);
        QVERIFY2(std::fabs(clipboard()->spanlength() - 1.5 * length) < 0.01 * length,
                 qPrintable(QString::number(clipboard()->spanlength())));
        QVERIFY(kvlogtext().contains("/rubberband/rubberband -t 1.5 -p 0 "));

        // Opened again, it shows where the selection stands.
        shown.clear();
        whendialog<QDialog>([&](QDialog* dialog) {
            shown << QString::number(boxwithprefix<QDoubleSpinBox>(dialog, "time: ")->value());
            dialog->reject();
        });
        spectrumgui->inscalenumeric();
        QCOMPARE(shown, QStringList{"150"});
    }

    void withoutSelectionTheDragEnds()
    {
        open(1, sine(1000));
        selection = QRectF(0, 0, 0, 0);
        edit->window()->scaleact[0]->trigger();
        const QByteArray clip = filebytes(clipboard());
        edit->drag(1.0, 1000, 1.3, 1500, 5);
        QCOMPARE(edit->prompts("Move/Scale"), QStringList{"Move/Scale: Nothing in the clipboard (select an area, then use cut or copy)."});
        QCOMPARE(filebytes(clipboard()), clip);
        // The engine echoed pressure 0: the view's further moves are hovers.
        QCOMPARE(spectrumgui->mousepressure, 0.0f);
    }

    // Entering Scale, a drag step and the release each wait for a utility
    // that hangs; Cancel ends each run, and the clipboard stays as it was.
    void hangingUtilitiesAreCancelled()
    {
        open(1, sine(1000));
        const QString real = QFileInfo(QStringLiteral(KV_TEST_ROOT) + "/Resources/Util/sox/sox").canonicalFilePath();
        const QString hang = "exec sleep 60";
        const QString previewhangs = QString("case \" $* \" in *\" tempo \"*) exec sleep 60;; esac; exec \"%1\" \"$@\"").arg(real);
        QTemporaryDir soxhangs, onlypreviewhangs, rubberbandhangs;
        int ticks = 0;
        QTimer clock;
        QObject::connect(&clock, &QTimer::timeout, [&] { ++ticks; });
        clock.start(20);
        QStringList shown;
        QSignalSpy backups(spectrumgui, &SpectrumGui::outbackuplayer);
        const QRectF origin = selection;
        QByteArray clip = filebytes(clipboard());

        // The split on entering the mode: the mode is on, nothing is split.
        utilpath = fakeutil(soxhangs, &hang, nullptr);
        cancelwhenshown(ticks, &shown);
        edit->window()->scaleact[2]->trigger();
        QCOMPARE(spectrumgui->movescalemode, 5);
        QVERIFY(!QFile::exists(scalechanfile(0)));
        // The split again at the first step, then the preview: the drag ends
        // there, and the release has nothing to finish.
        for (QTemporaryDir* util : {&soxhangs, &onlypreviewhangs}) {
            utilpath = util == &soxhangs ? util->path() : fakeutil(*util, &previewhangs, &hang);
            ticks = 0;
            cancelwhenshown(ticks, &shown);
            edit->mouse(QEvent::MouseMove, 1.0, 1000, Qt::NoButton, Qt::NoButton);
            edit->mouse(QEvent::MouseButtonPress, 1.0, 1000, Qt::LeftButton, Qt::LeftButton);
            edit->mouse(QEvent::MouseMove, 1.0, 1250, Qt::NoButton, Qt::LeftButton);
            QCOMPARE(spectrumgui->mousepressure, 0.0f);
            edit->mouse(QEvent::MouseButtonRelease, 1.0, 1250, Qt::LeftButton, Qt::NoButton);
            QCOMPARE(selection, origin);
            QCOMPARE(filebytes(clipboard()), clip);
        }
        QVERIFY(QFile::exists(scalechanfile(0)));

        // The final pass at the release: what the previews made stays.
        utilpath = fakeutil(rubberbandhangs, nullptr, &hang);
        edit->mouse(QEvent::MouseMove, 1.0, 1000, Qt::NoButton, Qt::NoButton);
        edit->mouse(QEvent::MouseButtonPress, 1.0, 1000, Qt::LeftButton, Qt::LeftButton);
        edit->mouse(QEvent::MouseMove, 1.0, 1250, Qt::NoButton, Qt::LeftButton);
        QVERIFY(filebytes(clipboard()) != clip);
        clip = filebytes(clipboard());
        const QRectF previewed = selection;
        ticks = 0;
        cancelwhenshown(ticks, &shown);
        edit->mouse(QEvent::MouseButtonRelease, 1.0, 1250, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(selection, previewed);
        QCOMPARE(filebytes(clipboard()), clip);

        QCOMPARE(shown, (QStringList{"Please wait: Running sox...", "Please wait: Running sox...",
                                     "Please wait: Running sox...", "Scaling...: Running rubberband..."}));
        QVERIFY(edit->prompts("Move/Scale").isEmpty());
        QCOMPARE(filebytes(edit->current), original);
        QCOMPARE(backups.count(), 0);
        QVERIFY(!QFile::exists(scaledclipfile()));
    }

    void failingUtilitiesChangeNothing_data()
    {
        QTest::addColumn<QString>("sox");        // "-" for the real one
        QTest::addColumn<QString>("rubberband"); // "-" for the real one
        QTest::addColumn<bool>("atrelease");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no sox") << "" << "-" << false << "sox could not be started";
        QTest::newRow("sox fails") << "echo \"sox FAIL formats: can't open input\" >&2; exit 2" << "-" << false
                                   << "sox exited with code 2: sox FAIL formats: can't open input";
        QTest::newRow("sox writes nothing") << "exit 0" << "-" << false << "sox wrote no wave file for channel 1";
        QTest::newRow("sox hangs") << "exec sleep 20" << "-" << false << "sox did not finish in time";
        // The merge into the raw file comes out empty.
        QTest::newRow("short merge")
            << QString("for a; do last=\"$a\"; done; \"%1\" \"$@\" || exit $?; case \"$last\" in *.pcm) : > \"$last\";; esac")
                   .arg(QFileInfo(QStringLiteral(KV_TEST_ROOT) + "/Resources/Util/sox/sox").canonicalFilePath())
            << "-" << false << "the scaled clipboard holds 0 frames where";
        QTest::newRow("rubberband fails") << "-" << "echo 'cannot read'; exit 1" << true
                                          << "rubberband exited with code 1: cannot read";
        QTest::newRow("no rubberband") << "-" << "" << true << "rubberband could not be started";
    }

    void failingUtilitiesChangeNothing()
    {
        QFETCH(QString, sox);
        QFETCH(QString, rubberband);
        QFETCH(bool, atrelease);
        QFETCH(QString, reason);
        open(1, sine(1000));
        QTemporaryDir util;
        utilpath = fakeutil(util, sox == "-" ? nullptr : &sox, rubberband == "-" ? nullptr : &rubberband);
        // Only the stand-in that never ends gets a short limit: every run that
        // ends by itself keeps the full one, however loaded the machine.
        if (reason.endsWith("did not finish in time"))
            SpectrumGui::utilitywaitms = 1500;
        edit->window()->scaleact[2]->trigger();
        QSignalSpy backups(spectrumgui, &SpectrumGui::outbackuplayer);
        const QRectF origin = selection;
        QByteArray clip = filebytes(clipboard());
        double start = clipboard()->spanstart(), length = clipboard()->spanlength();

        edit->mouse(QEvent::MouseMove, 1.0, 1000, Qt::NoButton, Qt::NoButton);
        edit->mouse(QEvent::MouseButtonPress, 1.0, 1000, Qt::LeftButton, Qt::LeftButton);
        for (int i = 1; i <= 4; ++i)
            edit->mouse(QEvent::MouseMove, 1.0, 1000 + 250 * i, Qt::NoButton, Qt::LeftButton);
        if (atrelease) {
            // The previews worked: what stands now is what a failed final pass keeps.
            QVERIFY(edit->prompts("Move/Scale").isEmpty());
            QVERIFY(filebytes(clipboard()) != clip);
            clip = filebytes(clipboard());
            start = clipboard()->spanstart();
            length = clipboard()->spanlength();
        }
        const QRectF kept = atrelease ? selection : origin;
        edit->mouse(QEvent::MouseButtonRelease, 1.0, 2000, Qt::LeftButton, Qt::NoButton);

        const QStringList prompts = edit->prompts("Move/Scale");
        QCOMPARE(prompts.size(), 1);
        QVERIFY2(prompts[0].startsWith("Move/Scale: The clipboard could not be scaled: ") && prompts[0].contains(reason),
                 qPrintable(prompts[0]));
        QVERIFY(prompts[0].contains("The clipboard is left as it was."));
        QCOMPARE(filebytes(clipboard()), clip);
        QCOMPARE(clipboard()->spanstart(), start);
        QCOMPARE(clipboard()->spanlength(), length);
        QCOMPARE(selection, kept);
        QCOMPARE(filebytes(edit->current), original);
        QCOMPARE(backups.count(), 0);
        // The failed drag is over: the next moves are hovers.
        QCOMPARE(spectrumgui->mousepressure, 0.0f);
        QVERIFY(!QFile::exists(scaledclipfile()));
    }
};

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    TestMoveScale test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_movescale.moc"
