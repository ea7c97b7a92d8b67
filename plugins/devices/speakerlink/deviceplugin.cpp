// The plugin frame: device list, settings, opening and closing the output
// device, and the capture run. The playback stream is in playback.cpp.
#include "deviceplugin.h"

#include <QByteArray>

#include <algorithm>

#include <chrono>
#include <thread>
#include <vector>

#include "alcheck.h"
#include "devicelist.h"
#include "runcells.h"
#include "streamformat.h"

bool DevicePlugin::initialize(const QString& pluginfile, QWidget* mainwindow)
{
    name = QStringLiteral("OpenAL");
    category = QStringLiteral("OpenAL");
    playdevices.clear();
    if (alcIsExtensionPresent(nullptr, "ALC_ENUMERATION_EXT"))
        playdevices = devicelist(alcGetString(nullptr, ALC_DEVICE_SPECIFIER));
    else
        qWarning("speakerlink: OpenAL cannot list its devices (no ALC_ENUMERATION_EXT)");
    // The device members start null at construction; a repeated initialize
    // leaves an open device open rather than losing it.
    chunkspersecond = 2;
    return true;
}

bool DevicePlugin::playSettings()
{
    return false;
}

bool DevicePlugin::recordSettings()
{
    return false;
}

bool DevicePlugin::playOpen(const QString& description)
{
    if (playdevice || playcontext) {
        qWarning("speakerlink: a device is open already; close it before opening \"%s\"",
                 qUtf8Printable(description));
        return false;
    }
    // Only a listed name: OpenAL would take an empty name as "the default
    // device", which is not what the host asked for.
    if (!playdevices.contains(description)) {
        qWarning("speakerlink: no OpenAL device is called \"%s\"", qUtf8Printable(description));
        return false;
    }
    playdevice = alcOpenDevice(description.toUtf8().constData());
    if (!playdevice) {
        alcfailed(nullptr, "opening the device");
        qWarning("speakerlink: the OpenAL device \"%s\" cannot be opened", qUtf8Printable(description));
        return false;
    }
    playcontext = alcCreateContext(playdevice, nullptr);
    if (!playcontext) {
        alcfailed(playdevice, "creating a context");
        alcCloseDevice(playdevice);
        playdevice = nullptr;
        return false;
    }
    if (!alcMakeContextCurrent(playcontext)) {
        alcfailed(playdevice, "making the context current");
        alcDestroyContext(playcontext);
        alcCloseDevice(playdevice);
        playcontext = nullptr;
        playdevice = nullptr;
        return false;
    }
    alGetError(); // start the context's runs with a clear error flag
    return true;
}

bool DevicePlugin::playClose(const QString& description)
{
    if (playcontext) {
        alcMakeContextCurrent(nullptr);
        alcDestroyContext(playcontext);
        playcontext = nullptr;
    }
    if (playdevice) {
        if (!alcCloseDevice(playdevice))
            qWarning("speakerlink: the OpenAL device did not close cleanly");
        playdevice = nullptr;
    }
    return true;
}

bool DevicePlugin::recordOpen(const QString& description)
{
    recordstop = false;
    return true;
}

bool DevicePlugin::recordClose(const QString& description)
{
    recordstop = true;
    return true;
}

// Takes frames from the capture device without passing them on; the plugin
// lists no record devices, so the host never offers this run.
bool DevicePlugin::recordStart(const QString& description, qint32 layertype, qint32 loop, QRectF range,
                               double* currenttime, float* volume, bool* stop)
{
    if (!runcellsusable(currenttime, volume, stop)) {
        qWarning("speakerlink: record run without usable position, volume or stop cells");
        return false;
    }
    if (!playdevice || !playcontext) {
        qWarning("speakerlink: record run without an open device");
        return false;
    }
    const StreamFormat* format = streamformat(channels);
    if (!format || samplerate <= 0) {
        qWarning("speakerlink: cannot record %d channels at %d Hz", channels, samplerate);
        return false;
    }
    constexpr int captureframes = 7056;
    constexpr int takeframes = 220;
    capturedevice = alcCaptureOpenDevice(description.toUtf8().constData(), ALCuint(samplerate),
                                         format->value, captureframes);
    if (!capturedevice) {
        alcfailed(nullptr, "opening the capture device");
        qWarning("speakerlink: no capture device \"%s\"", qUtf8Printable(description));
        return false;
    }
    alcCaptureStart(capturedevice);
    std::vector<char> work(std::max<std::size_t>(7056, std::size_t(takeframes) * channels * 2));
    std::atomic_ref<bool> stopflag(*stop);
    std::atomic_ref<double> now(*currenttime);
    const double end = range.x() + range.width();
    // A range without a real end (the unset marker) runs until stopped.
    auto beforeend = [&] { return !isrealtime(end) || now.load() < end; };
    while (!recordstop && !stopflag.load() && beforeend()) {
        ALCint waiting = 0;
        alcGetIntegerv(capturedevice, ALC_CAPTURE_SAMPLES, 1, &waiting);
        if (waiting > 2 * takeframes)
            alcCaptureSamples(capturedevice, work.data(), takeframes);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (alcfailed(capturedevice, "capturing"))
            break;
    }
    alcCaptureStop(capturedevice);
    alcCaptureCloseDevice(capturedevice);
    capturedevice = nullptr;
    return true;
}
