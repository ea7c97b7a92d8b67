// The transport: playing the mix, the current layer or the clipboard through
// the chosen playback device, recording into the current layer, pausing,
// stopping and rewinding, and the choice, settings and restart of the devices.
// Every device operation is sent to the controller's own thread; the play
// position, volume and stop flag are shared with it as atomics.
#include <QAction>
#include <QIcon>
#include <QSettings>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "app/mainwindow.h"
#include "app/prompt.h"
#include "core/buffer.h"
#include "core/fileutils.h"
#include "core/globals.h"
#include "core/log.h"
#include "devicethread.h"
#include "panels/layersgui.h"
#include "sdk/interfaces.h"
#include "spectrumgui.h"

namespace {

// The unset marker (and its negative, the end of an empty range) is no place
// on the timeline.
bool realtime(double t)
{
    return std::isfinite(t) && std::fabs(t) < unsettime;
}

// The icon each mode's action shows while no run of it is going on.
const char* const resticons[5] = {":/icons/Play.png", ":/icons/PlayAll.png",
                                  ":/icons/PlayRepeat.png", ":/icons/PlayClipboard.png",
                                  ":/icons/Record.png"};

void seticon(QAction* action, const char* path)
{
    action->setIcon(QIcon(transparencyicon(QString::fromLatin1(path))));
}

void refreshstatus()
{
    if (layersgui)
        layersgui->inrefreshstatus();
}

} // namespace

bool SpectrumGui::waitdevice(int ms)
{
    DeviceThread* device = devicethread.load();
    if (!device)
        return true;
    // A marker queued behind everything sent so far: once the device thread
    // reaches it, every earlier operation, a start included, has returned.
    // It hands over through a standard lock, so that ThreadSanitizer sees
    // that what those operations wrote is done (a QSemaphore hides it).
    struct Marker
    {
        std::mutex lock;
        std::condition_variable reached;
        bool passed = false;
    };
    auto marker = std::make_shared<Marker>();
    QMetaObject::invokeMethod(
        device,
        [marker] {
            std::lock_guard hold(marker->lock);
            marker->passed = true;
            marker->reached.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock hold(marker->lock);
    if (!marker->reached.wait_for(hold, std::chrono::milliseconds(ms), [&] { return marker->passed; }))
        return false;
    runpending = false;
    return true;
}

void SpectrumGui::transportwarning(const QString& title, const QString& text)
{
    PromptRequest request;
    request.parent = mainwindow;
    request.icon = QMessageBox::Warning;
    request.title = title;
    request.text = text;
    prompt(request);
}

bool SpectrumGui::stoprun()
{
    devicetimer.stop();
    setstopflag(true);
    // The device writes its last position and, for a recording, its last
    // samples before it returns; everything below reads them, and a new run
    // may only start once the old one can no longer raise the stop flag.
    bool returned = true;
    if (runpending && !waitdevice()) {
        returned = false;
        logerror(QStringLiteral("Device did not return within %1 ms of the stop").arg(devicewaitms));
    }
    emit outdevicecursor(devicetime(), 3, false);
    emit outupdategl();

    if (transportmode > 3) {
        if (Buffer* buffer = slottable.buffer[1])
            buffer->flush();
        const double t = devicetime();
        emit outdisplayarea(displayarea,
                            QRectF(recordmark, displayarea.y(), t - recordmark, displayarea.height()),
                            1);
        pushbackup(tr("Record"), QPixmap(QStringLiteral(":/icons/Record.png")));
    }
    if (transportaction && transportmode >= 0 && transportmode <= 4)
        seticon(transportaction, resticons[transportmode]);

    const double end = playrange.x() + playrange.width();
    if (pause == 0 || (realtime(end) && end <= devicetime()) || devicelayer == 2)
        setdevicetime(timecursor);
    if (transportmode == 3)
        emit outplayreset();
    emit outdevicecursor(devicetime(), 3, false);
    emit outupdategl();
    transportmode = -1;
    refreshstatus();
    return returned;
}

void SpectrumGui::indevicepause()
{
    // Without a run there is nothing to stop; the stop sequence would still
    // move the play position to the time cursor.
    if (transportmode < 0)
        return;
    stoprun();
}

void SpectrumGui::indevicetrig()
{
    auto* action = qobject_cast<QAction*>(sender());
    if (!action)
        return;
    bool ok = false;
    const int mode = action->data().toInt(&ok);
    if (!ok || mode < -1 || mode > 4) {
        logerror(QStringLiteral("Transport action \"%1\" holds no transport mode").arg(action->text()));
        return;
    }

    if (mode == transportmode && mode >= 0) {
        stoprun();
        return;
    }

    if (mode == -1) {
        // The first rewind returns to the time cursor, a second one moves both
        // to the project start, when there is one.
        if (devicetime() == timecursor) {
            layer* all = alllayers();
            const double start = all ? all->spanstart() : unsettime;
            if (realtime(start))
                timecursor = start;
        }
        stoprun();
        setdevicetime(timecursor);
        emit outdevicecursor(timecursor, 3, false);
        emit outupdategl();
        return;
    }

    auto refuse = [this](const QString& title, const QString& text) {
        transportwarning(title, text);
        transportaction = nullptr;
        transportmode = -1;
    };

    if (!stoprun()) {
        refuse(tr("Device in use"), tr("Wait for playback/record to end."));
        return;
    }
    transportmode = mode;
    transportaction = action;

    int type = (slottable.bound[1] || mode > 3) ? 1 : 0;
    if (mode == 3)
        type = 2;
    if (!slottable.bound[type]) {
        refuse(tr("Device Error"), tr("No layer available or selected."));
        return;
    }
    if (mode <= 3 && !playdevice) {
        refuse(tr("Playback Error"), tr("Please select a device for playback first."));
        return;
    }
    if (mode == 4 && !recorddevice) {
        refuse(tr("Record Error"), tr("Please select a device for record first."));
        return;
    }
    devicelayer = type;
    seticon(action, pause && type != 2 ? ":/icons/Pause.png" : ":/icons/Stop.png");
    const qint32 loop = mode == 2 ? 1 : 0;

    double start = std::max(timecursor, devicetime());
    if (selectionexists()) {
        start = std::max(start, selection.x());
        if (start >= selection.x() + selection.width())
            start = selection.x();
    }
    if (type == 2) {
        const double clipstart = slottable.bound[2]->spanstart();
        if (realtime(clipstart))
            start = clipstart;
    }
    setdevicetime(start);
    recordmark = start;

    DeviceInterface* device = mode == 4 ? recorddevice : playdevice;
    refreshdatainterface(device);
    playrange = transportrange(mode, device);

    setstopflag(false);
    runpending = true;
    if (mode == 4)
        emit deviceRecordStart(recorddevice, recorddescription, 1, 0, playrange, &currenttime,
                               &volume, &stop);
    else
        emit devicePlayStart(playdevice, playdescription, devicelayer, loop, playrange,
                             &currenttime, &volume, &stop);
    answerasked();
    devicetimer.start();
}

QRectF SpectrumGui::transportrange(int mode, DataInterface* block)
{
    const QRectF& band = block->layerarea;
    if (devicelayer == 2) {
        layer* clip = slottable.bound[2];
        const double start = clip->spanstart();
        const double length = clip->spanlength();
        // An empty clipboard gives a range that ends at the negative marker,
        // which no device takes for a place to play.
        const double width = length > 0 ? length : -unsettime - start;
        return QRectF(start, band.y(), width, band.height());
    }
    if (selectionexists()) {
        const double top = std::min(selection.y(), double(samplerate / 2));
        const double bottom = std::max(selection.y() + selection.height(), 0.0);
        double start = selection.x();
        double width = selection.width();
        // Clipped to the project's extent; with only empty layers there is
        // no extent, and the unset marker is no edge to clip to.
        layer* all = alllayers();
        const double projectstart = all ? all->spanstart() : unsettime;
        const double projectlength = all ? all->spanlength() : 0;
        if (realtime(projectstart) && projectlength > 0) {
            const double clipped = std::max(start, projectstart);
            width -= clipped - start;
            start = clipped;
            width = std::min(start + width, projectstart + projectlength) - start;
        }
        return QRectF(start, top, width, bottom - top);
    }
    if (mode == 4)
        return QRectF(devicetime(), band.y(), unsettime, band.height()); // no end
    if (devicelayer == 1 && smartcursor)
        return block->layerarea;
    return block->mixarea;
}

void SpectrumGui::inupdatedevicetime(bool updategl)
{
    if (transportmode < 0 || stopflag()) {
        devicetimer.stop();
        stoprun();
        return;
    }
    const double t = devicetime();
    if (transportmode == 4 && t > recordmark + 0.5) {
        if (Buffer* buffer = slottable.buffer[1])
            buffer->flush();
        emit outdisplayarea(displayarea,
                            QRectF(recordmark, displayarea.y(), (t - recordmark) + 0.5,
                                   displayarea.height()),
                            1);
        recordmark = t;
    }
    if (scroll && realtime(t)) {
        const double start = displayarea.x();
        const double width = displayarea.width();
        if (t > start + width - width / 40 || t < start) {
            // The area follows the play position; the pointer's read-out follows the area.
            indisplayarea(displayarea.translated(t - start, 0));
        }
    }
    emit outdevicecursor(t, devicelayer, true);
    if (updategl)
        emit outupdategl();
    refreshstatus();
}

void SpectrumGui::inpause(int value)
{
    pause = value;
    QSettings().setValue(QStringLiteral("pause"), value != 0);
}

void SpectrumGui::opendevice(bool record, bool asked)
{
    DeviceInterface* device = record ? recorddevice : playdevice;
    const QString& description = record ? recorddescription : playdescription;
    if (!device || description.isEmpty() || samplerate <= 0 || channels <= 0)
        return;
    refreshdatainterface(device);
    if (record)
        emit deviceRecordOpen(device, description);
    else
        emit devicePlayOpen(device, description);
    if (asked)
        answerasked();
}

void SpectrumGui::answerasked()
{
    // Queued right behind the operation just sent: the device thread answers
    // with that operation's own report once it has returned, and the box
    // answers its request. Its report reaches indevicelog() first.
    if (DeviceThread* device = devicethread.load())
        QMetaObject::invokeMethod(device, &DeviceThread::answer, Qt::QueuedConnection);
}

void SpectrumGui::answerdevice(const DeviceReport& report)
{
    const QString text = devicefailure(report.action, report.description, report.result);
    if (!text.isEmpty())
        transportwarning(report.action.startsWith(QLatin1String("Record")) ? tr("Record Error") : tr("Playback Error"),
                         text);
}

QString SpectrumGui::devicefailure(const QString& action, const QString& description, bool result) const
{
    if (result || (!action.endsWith(QLatin1String("Open")) && !action.endsWith(QLatin1String("Start"))))
        return {};
    const bool record = action.startsWith(QLatin1String("Record"));
    if (action.endsWith(QLatin1String("Open")) || openfailed[record ? 1 : 0])
        return tr("The device \"%1\" could not be opened.").arg(description);
    return record ? tr("The device \"%1\" could not record.").arg(description)
                  : tr("The device \"%1\" could not play.").arg(description);
}

void SpectrumGui::closedevice(bool record)
{
    DeviceInterface* device = record ? recorddevice : playdevice;
    const QString& description = record ? recorddescription : playdescription;
    if (!device)
        return;
    if (record)
        emit deviceRecordClose(device, description);
    else
        emit devicePlayClose(device, description);
}

void SpectrumGui::choosedevice(bool record)
{
    auto* action = qobject_cast<QAction*>(sender());
    if (!action)
        return;
    qRegisterMetaType<DeviceInterface*>("DeviceInterface*");
    if (action->data().metaType() != QMetaType::fromType<DeviceInterface*>()) {
        logerror(QStringLiteral("Device action \"%1\" holds no device").arg(action->text()));
        return;
    }
    auto* device = action->data().value<DeviceInterface*>();
    if (!device)
        return;
    // The run ends, and the device thread is back, before the device changes
    // under it.
    if (transportmode >= 0)
        stoprun();
    else if (runpending)
        waitdevice();
    closedevice(record);
    (record ? recorddevice : playdevice) = device;
    (record ? recorddescription : playdescription) = action->text();
    opendevice(record, true);
    QSettings settings;
    settings.setValue(record ? QStringLiteral("recordcategory") : QStringLiteral("playbackcategory"),
                      device->category);
    settings.setValue(record ? QStringLiteral("recorddescription")
                             : QStringLiteral("playbackdescription"),
                      action->text());
}

void SpectrumGui::indeviceplay()
{
    choosedevice(false);
}

void SpectrumGui::indevicerecord()
{
    choosedevice(true);
}

void SpectrumGui::restartdevice(bool record)
{
    if (!(record ? recorddevice : playdevice))
        return;
    if (transportmode >= 0)
        stoprun();
    closedevice(record);
    opendevice(record, true);
}

void SpectrumGui::indeviceplayrestart()
{
    restartdevice(false);
}

void SpectrumGui::indevicerecordrestart()
{
    restartdevice(true);
}

void SpectrumGui::indeviceplaysettings()
{
    if (!playdevice)
        transportwarning(tr("Playback Settings"), tr("No playback device selected."));
    else if (!playdevice->playSettings())
        transportwarning(tr("Playback Settings"), tr("No settings."));
}

void SpectrumGui::indevicerecordsettings()
{
    if (!recorddevice)
        transportwarning(tr("Record Settings"), tr("No record device selected."));
    else if (!recorddevice->recordSettings())
        transportwarning(tr("Record Settings"), tr("No settings."));
}

void SpectrumGui::indevicelog(QString action, QString description, bool result)
{
    const QString line = QStringLiteral("Device %1 \"%2\"").arg(action, description);
    if (result)
        logmessage(line);
    else
        logerror(line + QStringLiteral(" failed"));

    const bool open = action.endsWith(QLatin1String("Open"));
    if (!open && !action.endsWith(QLatin1String("Start")))
        return;

    // The user hears nothing when a device fails: the log and the status line
    // say so. A box comes only as the answer to a command the user just gave
    // (Play, Record, choosing or restarting a device), never in the middle of
    // other work such as opening a project: answerdevice() shows it.
    const bool record = action.startsWith(QLatin1String("Record"));
    if (open)
        openfailed[record ? 1 : 0] = !result;
    const QString text = devicefailure(action, description, result);
    const QString title = record ? tr("Record Error") : tr("Playback Error");
    devicenote[record ? 1 : 0] = text.isEmpty() ? QString() : title + QStringLiteral(": ") + text;
    showdevicenote();
}

void SpectrumGui::showdevicenote()
{
    if (auto* window = qobject_cast<MainWindow*>(mainwindow))
        window->showdevicenote(QStringList{devicenote[0], devicenote[1]}.join(QLatin1Char(' ')).trimmed());
}
