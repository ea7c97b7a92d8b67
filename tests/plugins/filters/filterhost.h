#pragma once
// The host side of the filter tests: a filter plugin loaded from the build's
// installation root as the host loads it, given the program's services (its
// long work runs under the program's wait), its dialogs answered through the
// frame's seam, and three real slot Buffers (mix, current layer, clipboard)
// with layers behind them, filled into the plugin's data block as the
// spectrum controller does before it calls process().
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLibrary>
#include <QMessageBox>
#include <QPluginLoader>
#include <QPushButton>
#include <QTest>

#include <functional>
#include <memory>
#include <vector>

#include "core/buffer.h"
#include "core/buffertestsupport.h"
#include "core/callbacks.h"
#include "core/globals.h"
#include "core/layer.h"
#include "app/hostservices.h"
#include "app/utilitywatch.h"
#include "core/log.h"
#include "dialogseam.h"
#include "binruns.h"
#include "hostservices.h"
#include "interfaces.h"

namespace filtertest {

// What the plugin showed: message boxes (title, text), the notices' texts
// and the file questions it asked.
struct Seen
{
    QStringList titles;
    QStringList texts;
    QStringList notices;
    QStringList filecaptions;
    QStringList filefilters;
    int dialogs = 0;  // runs of the filter's own dialog
    int previews = 0; // calls of the preview hook
};
inline Seen seen;

// Answers the filter's own dialog; by default it is closed without "Apply".
inline std::function<int(QDialog*)> answer = [](QDialog*) { return int(QDialog::Rejected); };
// Answers a message box that asks Yes or No; by default No.
inline QMessageBox::StandardButton questionanswer = QMessageBox::No;
// Answers a file question (save true for the save question); by default cancelled.
inline std::function<QString(bool save)> fileanswer = [](bool) { return QString(); };
// Called by the preview hook, while the filter's result is in the scratch.
inline std::function<void()> onpreview;

inline int modalhook(QDialog* dialog)
{
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
        seen.titles.append(box->windowTitle());
        seen.texts.append(box->text());
        return box->standardButtons() & QMessageBox::Yes ? questionanswer : QMessageBox::Ok;
    }
    ++seen.dialogs;
    return answer(dialog);
}

inline QString filehook(bool save, const QString& caption, const QString& start, const QString& filter)
{
    seen.filecaptions.append(caption);
    seen.filefilters.append(filter);
    return fileanswer(save);
}

inline void noticehook(QMessageBox* notice)
{
    seen.notices.append(notice->text());
}

inline void previewhook()
{
    ++seen.previews;
    if (onpreview)
        onpreview();
}

// Back to the defaults between test functions.
inline void forget()
{
    seen = Seen();
    answer = [](QDialog*) { return int(QDialog::Rejected); };
    questionanswer = QMessageBox::No;
    fileanswer = [](bool) { return QString(); };
    onpreview = nullptr;
}

// Clicks the dialog's push button with this text.
inline bool click(QDialog* dialog, const QString& text)
{
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == text) {
            button->click();
            return true;
        }
    qWarning("no button \"%s\"", qPrintable(text));
    return false;
}

// Runs the filter's dialog like a user who sets it up and presses "Apply".
inline void applywith(std::function<void(QDialog*)> setup)
{
    answer = [setup](QDialog* dialog) {
        dialog->setResult(QDialog::Rejected); // as exec() starts
        if (setup)
            setup(dialog);
        click(dialog, QStringLiteral("Apply"));
        return dialog->result();
    };
}

// Loads Plugins/Filters/<name> of the installation root, installs the hooks
// and initialises it with no main window, as the host would with its own.
class LoadedFilter
{
public:
    FilterInterface* load(const QString& name)
    {
        const QDir dir(QStringLiteral(KV_TEST_ROOT) + "/Plugins/Filters");
        const QStringList files = dir.entryList({name + ".*"}, QDir::Files);
        if (files.size() != 1)
            return nullptr;
        loader.setFileName(dir.absoluteFilePath(files.first()));
        if (!loader.load()) {
            qWarning("%s", qPrintable(loader.errorString()));
            return nullptr;
        }
        auto* filter = qobject_cast<FilterInterface*>(loader.instance());
        QLibrary library(loader.fileName());
        auto sethooks = reinterpret_cast<decltype(&filterframesethooks)>(library.resolve("filterframesethooks"));
        if (!filter || !sethooks)
            return nullptr;
        sethooks(&modalhook, &filehook, &noticehook);
        // The program's own wait, with its window over a window of the test's.
        if (auto* user = qobject_cast<HostUser*>(loader.instance()))
            user->sethost(programservices());
        if (auto* user = qobject_cast<BinRunUser*>(loader.instance()))
            user->setbinruns(programbinruns());
        installutilitywatch(&window);
        if (!filter->initialize(loader.fileName(), nullptr))
            return nullptr;
        // Stored by the host after loading, for the filters it lists.
        if (filter->category != QLatin1String("IO"))
            filter->previewhook = &previewhook;
        return filter;
    }
    QObject* object() { return loader.instance(); }
    bool unload() { return loader.unload(); }

private:
    QPluginLoader loader;
    QWidget window; // never shown
};

// The slot Buffers with their layers, and the block as the host fills it.
class SlotRig
{
public:
    SlotRig()
    {
        for (int k = 0; k < 3; ++k) {
            buffers[k] = new Buffer();
            slottable.buffer[k] = buffers[k];
        }
    }
    ~SlotRig()
    {
        for (int k = 0; k < 3; ++k) {
            buffers[k]->bindlayer(nullptr);
            slottable.buffer[k] = nullptr;
            slottable.bound[k] = nullptr;
            delete buffers[k];
        }
    }

    // The current layer (and the mix, a copy of it) holds `interleaved` from
    // time 0; the clipboard is empty, of the same format.
    void setup(const std::vector<float>& interleaved, int samplerate, int channelcount, int fftsize,
               int overlap)
    {
        rate = samplerate;
        channels = channelcount;
        size = fftsize;
        frameoverlap = overlap;
        for (int k = 0; k < 3; ++k) {
            buffers[k]->bindlayer(nullptr);
            buffers[k]->infftparam(4, fftsize, overlap, false);
            buffers[k]->inselection(QRectF());
        }
        layers[0] = makelayer(interleaved, rate, channels);
        layers[1] = makelayer(interleaved, rate, channels);
        layers[2] = std::make_unique<layer>();
        layers[2]->samplerate = rate;
        layers[2]->channels = channels;
        layers[2]->speakermask = defaultspeakermask(channels, 0);
        for (int k = 0; k < 3; ++k) {
            buffers[k]->bindlayer(layers[k].get());
            slottable.bound[k] = layers[k].get();
        }
        selection = QRectF();
    }

    void select(const QRectF& area)
    {
        selection = area;
        for (Buffer* b : buffers)
            b->inselection(area);
    }

    void fill(DataInterface& block, int channelmask) const
    {
        block.samplerate = rate;
        block.channels = channels;
        block.speakermask = defaultspeakermask(channels, 0);
        block.channelmask = channelmask;
        block.fftsize = size;
        block.overlap = frameoverlap;
        block.areaselected = !selection.isNull();
        if (block.areaselected) {
            block.mixarea = block.layerarea = block.clipboardarea = selection;
        } else {
            block.mixarea = extent(layers[0].get());
            block.layerarea = extent(layers[1].get());
            block.clipboardarea = extent(layers[2].get());
        }
        fillcallbacks(&block);
    }

    // As the host runs a filter: the block filled, process(), then both
    // layers take the edits.
    bool run(FilterInterface* filter, int channelmask)
    {
        fill(*filter, channelmask);
        const bool result = filter->process();
        flush();
        return result;
    }

    // What the host does after process(): both layers take the edits.
    void flush()
    {
        buffers[1]->flush();
        buffers[2]->flush();
    }

    // Samples of one channel of the current layer.
    std::vector<float> current(int channel, qint64 first, int count)
    {
        buffers[1]->flush();
        return readlayer(layers[1].get(), first, count, channel);
    }

    Buffer* buffers[3] = {};
    std::unique_ptr<layer> layers[3];
    QRectF selection;
    int rate = 0, channels = 0, size = 0, frameoverlap = 0;

private:
    QRectF extent(layer* l) const
    {
        return QRectF(l->spanstart(), rate / 2, l->spanlength(), -rate / 2);
    }
};

// Sets the process-wide folders into the test's home and opens the session log.
inline void hostfolders(const char* name)
{
    kvtestfolders();
    sessionid = QString::fromLatin1(name);
    loginit(1);
}

// Largest difference between two runs of samples.
inline float maxdiff(const std::vector<float>& a, const std::vector<float>& b)
{
    float d = a.size() == b.size() ? 0.0f : 1e9f;
    size_t at = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (std::fabs(a[i] - b[i]) > d) {
            d = std::fabs(a[i] - b[i]);
            at = i;
        }
    if (d > 1e-5f && at < a.size() && at < b.size())
        qInfo("largest difference %g at %zu: %g against %g", d, at, a[at], b[at]);
    return d;
}

} // namespace filtertest
