#pragma once
// The layer panel in a whole main window on the build's installation root:
// message boxes are answered by title, dialogs and menus by pollers, and the
// mix is checked against the sum of the layers' own sample files.
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QMap>
#include <QMenu>
#include <QProgressDialog>
#include <QLineEdit>
#include <QShortcut>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidgetItem>
#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "app/windowrig.h"
#include "controller/spectrumgui.h"
#include "panels/layersgui.h"
#include "panels/qtreewidgetext.h"

// Parent of the pollers below: whatever a test leaves polling ends with its rig.
inline QObject* pollers()
{
    static QObject parent;
    return &parent;
}

struct PanelRig
{
    // Declared before the window, so that they outlive it.
    QList<PromptRequest> asked;
    // Answers by box title; a box without one gets Ok.
    QMap<QString, QMessageBox::StandardButton> answers;
    WindowRig rig;

    // A main window on the build's installation root, or on another.
    explicit PanelRig(const QString& root = QStringLiteral(KV_TEST_ROOT)) : rig(root)
    {
        setpromptanswerer([this](const PromptRequest& r) {
            asked << r;
            return answers.value(r.title, QMessageBox::Ok);
        });
        rig->resize(1000, 700);
    }
    ~PanelRig() { qDeleteAll(pollers()->children()); }
    MainWindow* window() const { return rig.window.get(); }
    LayersGui* panel() const { return layersgui; }
    int rows() const { return layersgui->tree->topLevelItemCount(); }
    QTreeWidgetItem* item(int i) const { return layersgui->tree->topLevelItem(i); }
    layer* at(int i) const { return LayersGui::rowlayer(item(i)); }
    layer* current() const { return LayersGui::rowlayer(layersgui->currentitem); }
    QStringList names() const
    {
        QStringList list;
        for (int i = 0; i < rows(); ++i)
            list << at(i)->name;
        return list;
    }
    QStringList titles() const
    {
        QStringList list;
        for (const PromptRequest& r : asked)
            list << r.title;
        return list;
    }
    template <typename T>
    T* part(int i, int role) const
    {
        return qobject_cast<T*>(item(i)->data(3, role).value<QWidget*>());
    }
};

// Answers the next file questions with `file`, and the filter that contains
// `filterpart` as the chosen one.
inline void answerfile(PanelRig& r, const QString& file, const QString& filterpart = QString())
{
    setfileanswerer([&r, file, filterpart](const FileRequest& request) {
        r.rig.filerequests << request;
        if (request.selectedfilter && !filterpart.isEmpty())
            for (const QString& filter : request.filter.split(";;"))
                if (filter.contains(filterpart))
                    *request.selectedfilter = filter;
        return file;
    });
}

// Calls `step` every 10 ms until it returns true or `tries` calls have passed.
inline void poll(int tries, std::function<bool()> step)
{
    auto* timer = new QTimer(pollers());
    auto left = std::make_shared<int>(tries);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, left, step] {
        if (step() || --*left <= 0) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

// Runs `act` on the next modal dialog of type T that opens while the caller
// blocks in it; gives up after half a minute so that nothing waits forever.
// The progress window of a utility that runs on the way there is not it.
template <typename T = QDialog>
inline void whendialog(std::function<void(T*)> act)
{
    poll(3000, [act] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* dialog = qobject_cast<QProgressDialog*>(modal) ? nullptr : qobject_cast<T*>(modal);
        if (dialog)
            act(dialog);
        return dialog != nullptr;
    });
}

// Notes the next popup menu that opens and closes it.
inline void whenpopup(QMenu** seen)
{
    *seen = nullptr;
    poll(30, [seen] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            *seen = menu;
            menu->close();
        }
        return *seen != nullptr;
    });
}

// Writes frames of value(k, c) from `start` on into a layer.
inline void fill(layer* l, double start, int frames, const std::function<float(int, int)>& value)
{
    std::vector<float> data(size_t(frames) * l->channels);
    for (int k = 0; k < frames; ++k)
        for (int c = 0; c < l->channels; ++c)
            data[size_t(k) * l->channels + c] = value(k, c);
    l->write(data.data(), start, double(frames) / l->samplerate);
}

// The frames of a layer's own sample file.
inline std::vector<float> samplefile(layer* l)
{
    l->file->flush();
    QFile copy(l->file->fileName());
    return copy.open(QIODevice::ReadOnly) ? kvfloats(copy.readAll()) : std::vector<float>();
}

// The sum that a mix of `members` must give over `frames` frames from
// `time` on, computed from their files, starts, gains and active flags.
inline std::vector<float> expectedmix(const QList<layer*>& members, int rate, int channels, double time, int frames)
{
    std::vector<float> sum(size_t(frames) * channels, 0.0f);
    for (layer* l : members) {
        const std::vector<float> own = samplefile(l);
        const qint64 offset = qint64(std::floor((l->start - time) * rate + 0.5));
        const float gain = l->volume * float(l->mixsign) * float(l->active);
        const qint64 count = qint64(own.size()) / channels;
        for (qint64 k = 0; k < count; ++k) {
            const qint64 at = k + offset;
            if (at < 0 || at >= frames)
                continue;
            for (int c = 0; c < channels; ++c)
                sum[size_t(at * channels + c)] += gain * own[size_t(k * channels + c)];
        }
    }
    return sum;
}

// What reading a (container) layer gives over the same frames.
inline std::vector<float> readmix(layer* l, double time, int frames)
{
    std::vector<float> got(size_t(frames) * l->channels, 12345.0f);
    l->read(got.data(), time, double(frames) / l->samplerate, -1, true);
    return got;
}

// The largest difference between two sample runs of the same size (infinite otherwise).
inline double maxdifference(const std::vector<float>& a, const std::vector<float>& b)
{
    if (a.size() != b.size())
        return INFINITY;
    double worst = 0;
    for (size_t i = 0; i < a.size(); ++i)
        worst = std::max(worst, double(std::fabs(a[i] - b[i])));
    return worst;
}

// Opens a project through the "Create New Layer" dialog.
inline void newproject(PanelRig& r, int rate, int channels, const QString& name)
{
    whendialog<QDialog>([=](QDialog* dialog) {
        const QList<QSpinBox*> spins = dialog->findChildren<QSpinBox*>();
        dialog->findChild<QLineEdit*>()->setText(name);
        spins.at(0)->setValue(rate);
        spins.at(1)->setValue(channels);
        dialog->accept();
    });
    r.panel()->NewLayer();
}

// A project of `count` rows named A, B, C... from the top, each holding one
// second of its own constant per channel; no row is current afterwards.
inline void project(PanelRig& r, int count, int rate = 8000, int channels = 2)
{
    for (int i = count - 1; i >= 0; --i) {
        if (i == count - 1)
            newproject(r, rate, channels, QString(QChar('A' + i)));
        else
            r.panel()->NewLayer();
        layer* l = r.current();
        l->name = QString(QChar('A' + i));
        fill(l, 0.0, rate, [i](int, int c) { return float(i + 1) + 0.25f * float(c); });
        // Rows go in above the current one: no current row puts the next at the top.
        r.panel()->NoItemClicked();
    }
}

inline void click(PanelRig& r, int index, int column)
{
    r.panel()->ItemClicked(r.item(index), column);
}

inline QShortcut* shortcut(MainWindow* window, const QKeySequence& key)
{
    for (QShortcut* s : window->findChildren<QShortcut*>())
        if (s->key() == key)
            return s;
    return nullptr;
}

// The mix holds every active row but the current one, and the controller
// shows it and the current layer.
inline void checkbindings(PanelRig& r)
{
    LayersGui* panel = r.panel();
    QList<layer*> expected;
    for (int i = 0; i < r.rows(); ++i)
        if (r.at(i)->active && r.item(i) != panel->currentitem)
            expected << r.at(i);
    QVERIFY(panel->mixlayer);
    QList<layer*> children;
    for (int i = 0; i < panel->mixlayer->childcount; ++i)
        children << panel->mixlayer->children[i];
    QCOMPARE(children, expected);
    QList<layer*> all;
    for (int i = 0; i < panel->alllayers->childcount; ++i)
        all << panel->alllayers->children[i];
    QList<layer*> rows;
    for (int i = 0; i < r.rows(); ++i)
        rows << r.at(i);
    // The same layers; a move leaves the container's order as it was.
    std::sort(all.begin(), all.end());
    std::sort(rows.begin(), rows.end());
    QCOMPARE(all, rows);
    QCOMPARE(slottable.bound[0], panel->mixlayer);
    QCOMPARE(slottable.bound[1], r.current());
    const int rate = projectformat.samplerate;
    QCOMPARE(maxdifference(readmix(panel->mixlayer, 0.0, rate),
                           expectedmix(expected, rate, projectformat.channels, 0.0, rate)),
             0.0);
}

