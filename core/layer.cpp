#include "layer.h"

#include "keptframes.h"

#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <fcntl.h>
#include <unistd.h>
#include <memory>
#include <utility>
#include <vector>

#include "globals.h"
#include "log.h"
#include "sdk/rounding.h"

SlotTable slottable;
std::recursive_mutex layermutex;

namespace {

constexpr qint64 copyblockbytes = 1000000;
constexpr qint64 mixblockframes = 100000;
// Blocks of the reads that mix or pick one channel: small enough to stay in the cache.
constexpr qint64 readblockbytes = 64 * 1024;

QString layerfiletemplate()
{
    return sessionpath + QStringLiteral("/layer(XXXXXX).pcm");
}

// Only a file that this program made in the session folder may become a
// layer's own file (and be deleted with it); anything else is the user's.
bool issessionlayerfile(const QString& path)
{
    static const QRegularExpression pattern(QStringLiteral("^layer\\(.{6}\\)\\.pcm$"));
    const QFileInfo info(path);
    if (!info.isFile() || !pattern.match(info.fileName()).hasMatch())
        return false;
    const QString folder = QFileInfo(sessionpath).canonicalFilePath();
    return !folder.isEmpty() && info.canonicalPath() == folder;
}

} // namespace

void layer::removefile(QFile* file)
{
    if (!file)
        return;
    file->close();
    if (!file->fileName().isEmpty())
        file->remove();
    delete file;
}

void registerlayermetatype()
{
    qRegisterMetaType<layer*>("layer*");
}

int defaultspeakermask(int channels, int old)
{
    static const int masks[8] = {0x4, 0x3, 0xB, 0x33, 0x3B, 0x3F, 0x13F, 0x63F};
    return channels >= 1 && channels <= 8 ? masks[channels - 1] : old;
}

bool copyiodevicetail(QIODevice* from, QIODevice* to, qint64 count)
{
    if (count <= 0)
        return true;
    const std::unique_ptr<char[]> block(new char[copyblockbytes]);
    qint64 done = 0;
    while (done < count) {
        const qint64 got = from->read(block.get(), std::min(copyblockbytes, count - done));
        if (got <= 0)
            return false;
        if (to->write(block.get(), got) != got)
            return false;
        done += got;
    }
    // Small writes are buffered; a full disk only shows when they reach the file.
    auto filedevice = qobject_cast<QFileDevice*>(to);
    return !filedevice || filedevice->flush();
}

QString writefailure(const QFileDevice* file, int error)
{
    return writefailure(QFileInfo(file->fileName()).absolutePath(), file, error);
}

QString writefailure(const QString& path, const QFileDevice* file, int error)
{
    const QString folder = QDir::toNativeSeparators(path);
    if (error == ENOSPC || error == EDQUOT || file->error() == QFileDevice::ResourceError)
        return QStringLiteral("The disk holding %1 is full.").arg(folder);
    // A write cut short leaves the file without a text of its own
    // ("Unknown error"); errno still has the cause.
    const QString own = file->errorString();
    const bool told = file->error() != QFileDevice::NoError && !own.isEmpty() && own != QLatin1String("Unknown error");
    return QStringLiteral("%1 (in %2)").arg(told || error == 0 ? own : qt_error_string(error), folder);
}

bool copyiodevice(QIODevice* from, qint64 frompos, QIODevice* to, qint64 topos, qint64 count)
{
    if (count <= 0)
        return true;
    if (!from->seek(frompos) || !to->seek(topos))
        return false;
    return copyiodevicetail(from, to, count);
}

// ---------------------------------------------------------------------------
// Construction

layer::layer()
{
    takenewfile();
}

bool layer::takenewfile()
{
    file = newtempfile();
    if (file)
        return true;
    file = new QFile(); // unnamed: every file step on it fails and is reported
    length = 0;
    return false;
}

layer::layer(const layer& source)
{
    QMutexLocker lock(&layermutex);
    name = source.name;
    active = source.active;
    mixsign = source.mixsign;
    volume = source.volume;
    samplerate = source.samplerate;
    channels = source.channels;
    speakermask = source.speakermask;
    layer& from = const_cast<layer&>(source);
    length = from.spanlength();
    // An empty source has no span start; the copy starts at 0 like a new layer.
    start = length > 0 ? from.spanstart() : 0;
    if (!takenewfile())
        return;
    if (source.childcount == 0) {
        if (!copyfilefrom(source.file, source.file->size()))
            length = 0;
    } else {
        mixchildren(source);
    }
}

layer::layer(layer* source, double chunkstart, double chunklength)
{
    QMutexLocker lock(&layermutex);
    name = source->name;
    active = source->active;
    mixsign = source->mixsign;
    volume = source->volume;
    samplerate = source->samplerate;
    channels = source->channels;
    speakermask = source->speakermask;
    start = chunkstart;
    length = chunklength;
    owner = {source->start, source->length, source->fileframes()};
    if (!takenewfile())
        return;
    const qint64 frames = std::max<qint64>(0, roundhalfup64(chunklength * samplerate));
    if (!file->resize(frames * framebytes())) {
        seterror(QStringLiteral("Could not size the backup of layer \"%1\": %2").arg(name, writefailure(file, errno)));
        length = 0;
        return;
    }
    if (source->length <= 0)
        return; // nothing to copy: the chunk stays silent
    // Chunk frame j holds source frame j + offset; only the overlap is copied.
    const qint64 offset = roundhalfup64((chunkstart - source->start) * samplerate);
    const qint64 first = std::max<qint64>(0, -offset);
    const qint64 last = std::min(frames, source->fileframes() - offset);
    if (last <= first)
        return;
    const qint64 fb = framebytes();
    if (!copyiodevice(source->file, (first + offset) * fb, file, first * fb, (last - first) * fb)) {
        const int error = errno;
        seterror(QStringLiteral("Could not copy the backup of layer \"%1\": %2").arg(name, writefailure(file, error)));
        file->resize(0);
        length = 0;
    }
}

layer::layer(const QString& pcmfile, const QString& layername, bool isactive, int sign, float gain,
             int rate, int channelcount, double layerstart, double layerlength, bool copy)
{
    name = layername;
    active = isactive ? 1 : 0;
    mixsign = sign;
    volume = gain;
    samplerate = rate;
    channels = channelcount;
    start = layerstart;
    length = layerlength;
    if (!copy && issessionlayerfile(pcmfile)) {
        auto own = new QFile(pcmfile);
        if (own->open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
            file = own;
            return;
        }
        seterror(QStringLiteral("Could not open the layer file %1: %2").arg(pcmfile, own->errorString()));
        delete own;
    }
    // Every other file is only read: the caller's file is neither changed nor deleted.
    if (!takenewfile())
        return;
    QFile from(pcmfile);
    if (!from.open(QIODevice::ReadOnly)) {
        seterror(QStringLiteral("Could not open the sample file %1: %2").arg(pcmfile, from.errorString()));
        length = 0;
        return;
    }
    if (!copyfilefrom(&from, from.size()))
        length = 0;
}

layer::~layer()
{
    // The layer goes, and with it every file it kept: nothing brings it back.
    kept.reset();
    if (keptmarked || keptheld)
        QFile::remove(keptname);
    removefile(file);
    for (const QString& former : retired)
        QFile::remove(former);
}

// ---------------------------------------------------------------------------
// Helpers

QString layer::lasterror() const
{
    QMutexLocker lock(&layermutex);
    return lasterrortext;
}

bool layer::failed() const
{
    return !lasterror().isEmpty();
}

void layer::clearerror()
{
    QMutexLocker lock(&layermutex);
    lasterrortext.clear();
}

void layer::seterror(const QString& text)
{
    QMutexLocker lock(&layermutex);
    lasterrortext = text;
    logerror(text);
}

qint64 layer::fileframes() const
{
    QMutexLocker lock(&layermutex);
    if (!file || channels <= 0)
        return 0;
    return file->size() / framebytes();
}

QFile* layer::newtempfile()
{
    auto temp = new QTemporaryFile(layerfiletemplate());
    // fileName() gives the file its name on disk, so that sox can reach it.
    // Unbuffered: a write that fails must not stay behind in a buffer, to
    // reach the file later when there is room (what the layer holds is what
    // the edit reported).
    if (!static_cast<QFile*>(temp)->open(QIODevice::ReadWrite | QIODevice::Unbuffered) || temp->fileName().isEmpty()) {
        // The name is given last, and a full disk can refuse it without a text of its own.
        const int error = errno;
        seterror(QStringLiteral("Could not create a layer file: %1")
                     .arg(writefailure(QFileInfo(sessionpath).absoluteFilePath(), temp, error)));
        delete temp;
        return nullptr;
    }
    return temp;
}

bool layer::rebuildfile(const QString& what, const std::function<bool(QFile*)>& fill)
{
    QFile* newfile = newtempfile();
    if (!newfile)
        return false;
    if (!fill(newfile)) {
        const int error = errno;
        seterror(QStringLiteral("Could not %1 layer \"%2\": %3").arg(what, name, writefailure(newfile, error)));
        removefile(newfile);
        return false;
    }
    replacefile(newfile);
    return true;
}

void layer::replacefile(QFile* newfile)
{
    QMutexLocker lock(&layermutex);
    // A file that the session file names stays until it names the new one:
    // a run that ends in between is recovered from it.
    if (file && !listedname.isEmpty() && file->fileName() == listedname) {
        if (auto* temporary = qobject_cast<QTemporaryFile*>(file))
            temporary->setAutoRemove(false);
        retired << listedname;
        delete file;
    } else {
        removefile(file);
    }
    file = newfile;
}

void layer::notecut()
{
    const qint64 missing = std::max<qint64>(0, roundhalfup64(length * samplerate)) - fileframes();
    if (channels > 0 && missing > cutframes) {
        cutframes = missing;
        logerror(QStringLiteral("The sample file of layer \"%1\" lacks %2 frames: it was cut short outside the program")
                     .arg(name)
                     .arg(missing));
    }
}

qint64 layer::lostframes() const
{
    QMutexLocker lock(&layermutex);
    return cutframes;
}

void layer::listed()
{
    QMutexLocker lock(&layermutex);
    for (const QString& former : std::as_const(retired))
        QFile::remove(former);
    retired.clear();
    listedname = file ? file->fileName() : QString();
    keptlisted();
}

// Copies bytes from the current position of `from` into the (empty) own file;
// on a failure the own file is emptied again and the failure recorded.
bool layer::copyfilefrom(QIODevice* from, qint64 bytes)
{
    if (!from->seek(0) || !copyiodevicetail(from, file, bytes)) {
        const int error = errno;
        seterror(QStringLiteral("Could not copy the samples of layer \"%1\": %2").arg(name, writefailure(file, error)));
        file->resize(0);
        return false;
    }
    return true;
}

bool layer::canmix(layer* child)
{
    if (child->samplerate == samplerate && child->channels == channels)
        return true;
    logerror(QStringLiteral("Layer \"%1\" (%2 Hz, %3 channels) not mixed into \"%4\" (%5 Hz, %6 channels)")
                 .arg(child->name)
                 .arg(child->samplerate)
                 .arg(child->channels)
                 .arg(name)
                 .arg(samplerate)
                 .arg(channels));
    return false;
}

void layer::mixchildren(const layer& source)
{
    const qint64 total = std::max<qint64>(0, roundhalfup64(double(samplerate) * length));
    if (total == 0 || channels <= 0)
        return;
    std::vector<float> block(size_t(mixblockframes) * channels);
    const double blockduration = double(mixblockframes) / samplerate;
    for (qint64 first = 0; first < total; first += mixblockframes) {
        std::fill(block.begin(), block.end(), 0.0f);
        const double time = start + double(first) / samplerate;
        for (int i = 0; i < source.childcount; i++)
            if (canmix(source.children[i]))
                source.children[i]->mixadd(block.data(), time, blockduration, -1);
        const qint64 bytes = std::min(mixblockframes, total - first) * framebytes();
        if (file->write(reinterpret_cast<const char*>(block.data()), bytes) != bytes) {
            seterror(QStringLiteral("Could not write the mix of layer \"%1\": %2").arg(name, writefailure(file, errno)));
            file->resize(0);
            length = 0;
            return;
        }
    }
    if (!file->flush()) {
        seterror(QStringLiteral("Could not write the mix of layer \"%1\": %2").arg(name, writefailure(file, errno)));
        file->resize(0);
        length = 0;
    }
}

namespace {

// A file descriptor of its own, closed with it.
struct descriptor
{
    int fd = -1;
    descriptor() = default;
    explicit descriptor(int fd) : fd(fd) {}
    descriptor(descriptor&& o) noexcept : fd(std::exchange(o.fd, -1)) {}
    descriptor& operator=(descriptor&& o) noexcept
    {
        std::swap(fd, o.fd);
        return *this;
    }
    ~descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

struct layer::readsource
{
    descriptor file;      // a duplicate of the layer file's; -1: silence
    qint64 offset = 0;    // the file frame of the read's frame 0
    qint64 fileframes = 0;
    qint64 frames = 0;    // frames the read covers
    int channels = 0;
    int channel = -1;     // the channel taken, -1: every channel
    float gain = 1;
    QString name;

    // Frames [skip, skip + n) of the read into scratch (n x channels floats),
    // silence where the file has none.
    void samples(float* scratch, qint64 n, qint64 skip) const
    {
        float* const end = scratch + n * channels;
        const qint64 at = offset + skip;
        const qint64 first = std::max<qint64>(0, -at);
        const qint64 last = std::min(n, fileframes - at);
        if (file.fd < 0 || last <= first) {
            std::fill(scratch, end, 0.0f);
            return;
        }
        // Only what the file does not fill is cleared.
        std::fill(scratch, scratch + first * channels, 0.0f);
        const qint64 fb = qint64(channels) * 4;
        char* to = reinterpret_cast<char*>(scratch + first * channels);
        const qint64 bytes = (last - first) * fb;
        qint64 got = 0;
        while (got < bytes) {
            const ssize_t r = ::pread(file.fd, to + got, size_t(bytes - got), off_t((first + at) * fb + got));
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0)
                logerror(QStringLiteral("Could not read layer \"%1\": %2").arg(name, QString::fromLocal8Bit(strerror(errno))));
            if (r <= 0)
                break;
            got += r;
        }
        std::fill(scratch + first * channels + got / 4, end, 0.0f);
    }

    // Calls block(scratch, n, at) for consecutive blocks of the read, a few
    // thousand frames at a time, so that they are taken from the cache.
    template <typename Block>
    void blocks(const Block& block) const
    {
        const qint64 step = std::max<qint64>(1, readblockbytes / (qint64(channels) * 4));
        std::vector<float> scratch(size_t(std::min(frames, step) * channels));
        for (qint64 at = 0; at < frames; at += step) {
            const qint64 n = std::min(step, frames - at);
            samples(scratch.data(), n, at);
            block(scratch.data(), n, at);
        }
    }

    // dst = gain x the read (frames floats, or frames x channels for every channel).
    void set(float* dst) const
    {
        if (file.fd < 0) { // a mix's own empty file, say: silence, straight away
            std::fill(dst, dst + (channel < 0 ? frames * channels : frames), 0.0f);
            return;
        }
        if (channel < 0) {
            samples(dst, frames, 0);
            const qint64 n = frames * channels;
            for (qint64 i = 0; i < n; i++)
                dst[i] *= gain;
            return;
        }
        blocks([&](const float* scratch, qint64 n, qint64 at) {
            for (qint64 k = 0; k < n; k++)
                dst[at + k] = gain * scratch[size_t(k) * channels + channel];
        });
    }

    // dst += gain x the read.
    void add(float* dst) const
    {
        if (file.fd < 0)
            return;
        blocks([&](const float* scratch, qint64 n, qint64 at) {
            if (channel < 0) {
                float* to = dst + at * channels;
                for (qint64 i = 0; i < n * channels; i++)
                    to[i] += gain * scratch[i];
            } else {
                for (qint64 k = 0; k < n; k++)
                    dst[at + k] += gain * scratch[size_t(k) * channels + channel];
            }
        });
    }
};

layer::readsource layer::sourcefor(double time, qint64 frames, int channel, float gain)
{
    readsource s;
    s.frames = frames;
    s.channels = channels;
    s.channel = channel == -1 || channels == 1 ? -1 : channel;
    s.gain = gain;
    if (length <= 0 || samplerate <= 0 || !file)
        return s;
    s.offset = roundhalfup64((time - start) * samplerate);
    s.fileframes = fileframes();
    if (std::min(frames, s.fileframes - s.offset) <= std::max<qint64>(0, -s.offset))
        return s; // nothing of the file falls in the span
    s.name = name;
    // Writes still held by the file object must reach the file first.
    file->flush();
    s.file = descriptor(file->handle() >= 0 ? ::fcntl(file->handle(), F_DUPFD_CLOEXEC, 0) : -1);
    if (s.file.fd < 0)
        logerror(QStringLiteral("Could not read layer \"%1\": %2").arg(name, file->errorString()));
    return s;
}

// ---------------------------------------------------------------------------
// Fields

void layer::resetdirty()
{
    dirtymin = unsettime;
    dirtymax = -unsettime;
    writefailed = false;
}

double layer::spanstart()
{
    QMutexLocker lock(&layermutex);
    double s = length > 0 ? start : unsettime;
    for (int i = 0; i < childcount; i++)
        if (children[i]->spanlength() > 0)
            s = std::min(s, children[i]->spanstart());
    return s;
}

double layer::spanlength()
{
    QMutexLocker lock(&layermutex);
    double end = length > 0 ? start + length : -unsettime;
    for (int i = 0; i < childcount; i++) {
        const double childlength = children[i]->spanlength();
        if (childlength > 0)
            end = std::max(end, children[i]->spanstart() + childlength);
    }
    return std::max(0.0, end - spanstart());
}

bool layer::addchild(layer* child)
{
    QMutexLocker lock(&layermutex);
    if (!child || child == this) {
        logerror(QStringLiteral("Layer \"%1\" cannot contain itself or nothing").arg(name));
        return false;
    }
    if (childcount >= maxchildren) {
        logerror(QStringLiteral("Layer \"%1\" already holds %2 layers; \"%3\" not added")
                     .arg(name)
                     .arg(maxchildren)
                     .arg(child->name));
        return false;
    }
    children[childcount++] = child;
    return true;
}

void layer::clearchildren()
{
    QMutexLocker lock(&layermutex);
    childcount = 0;
}

void layer::updatelength()
{
    QMutexLocker lock(&layermutex);
    length = samplerate > 0 ? double(fileframes()) / samplerate : 0.0;
}

// ---------------------------------------------------------------------------
// Reading and mixing

bool layer::mixsource(std::vector<readsource>& into, double time, double duration, int channel)
{
    if (length <= 0 || time >= start + length || time + duration <= start)
        return false;
    if (channel < -1 || channel >= channels) {
        logerror(QStringLiteral("Layer \"%1\" has no channel %2").arg(name).arg(channel));
        return false;
    }
    const qint64 frames = roundhalfup64(duration * samplerate);
    if (frames <= 0)
        return false;
    into.push_back(sourcefor(time, frames, channel, volume * float(mixsign) * float(active)));
    return true;
}

void layer::mixadd(float* dst, double time, double duration, int channel)
{
    std::vector<readsource> sources;
    {
        QMutexLocker lock(&layermutex);
        if (!mixsource(sources, time, duration, channel))
            return;
    }
    sources.front().add(dst);
}

void layer::read(float* dst, double time, double duration, int channel, bool gains)
{
    std::vector<readsource> sources;
    {
        QMutexLocker lock(&layermutex);
        const qint64 frames = roundhalfup64(duration * samplerate);
        if (frames <= 0 || channels <= 0)
            return;
        if (channel < -1 || channel >= channels) {
            // The caller's block holds one channel; it gets silence.
            logerror(QStringLiteral("Layer \"%1\" has no channel %2").arg(name).arg(channel));
            std::fill(dst, dst + frames, 0.0f);
            return;
        }
        sources.push_back(sourcefor(time, frames, channel, gains ? volume * float(mixsign) : 1.0f));
        // One level deep: a child's own children are not heard here.
        for (int i = 0; i < childcount; i++)
            if (canmix(children[i]))
                children[i]->mixsource(sources, time, duration, channel);
    }
    sources.front().set(dst);
    for (size_t i = 1; i < sources.size(); i++)
        sources[i].add(dst);
}

// ---------------------------------------------------------------------------
// Editing

void layer::write(const float* data, double time, double duration)
{
    QMutexLocker lock(&layermutex);
    const qint64 frames = roundhalfup64(duration * samplerate);
    if (frames <= 0 || channels <= 0)
        return;
    notecut();
    const double oldstart = start, oldlength = length;
    bool framed = true;
    if (length == 0)
        framed = reframe(time, true, duration);
    else if (time < start)
        framed = reframe(time, false, std::max(time + duration, start + length) - time);
    else if (time + duration > start + length)
        framed = reframe(start, false, time + duration - start);
    if (!framed) {
        writefailed = true; // the old audio stays as it was; reframe recorded why
        return;
    }
    // The span counts as written from the first change of the layer on: a
    // write refused before it changed anything leaves none.
    const auto written = [&] {
        dirtymin = std::min(dirtymin, time);
        dirtymax = std::max(dirtymax, time + duration);
    };
    if (start != oldstart || length != oldlength)
        written();
    const qint64 bytes = frames * framebytes();
    const qint64 first = roundhalfup64((time - start) * samplerate);
    if (!keepframes(first, first + frames)) {
        writefailed = true; // nothing is overwritten that a kill could not take back
        return;
    }
    written();
    const qint64 position = first * framebytes();
    if (!file->seek(position) || file->write(reinterpret_cast<const char*>(data), bytes) != bytes
        || !file->flush()) {
        const int error = errno;
        seterror(QStringLiteral("Could not write to layer \"%1\": %2").arg(name, writefailure(file, error)));
        writefailed = true;
    }
}

void layer::setlength(double newstart, bool keep, double newlength)
{
    reframe(newstart, keep, newlength);
}

bool layer::reframe(double newstart, bool keep, double newlength)
{
    QMutexLocker lock(&layermutex);
    notecut();
    const qint64 fb = framebytes();
    const qint64 frames = std::max<qint64>(0, roundhalfup64(newlength * samplerate));
    const qint64 shift = roundhalfup64((newstart - start) * samplerate);
    if (keep || shift == 0) {
        if (!keepframes(frames, fileframes()))
            return false;
        if (!file->resize(frames * fb)) {
            seterror(QStringLiteral("Could not resize layer \"%1\": %2").arg(name, writefailure(file, errno)));
            return false;
        }
        file->seek(file->size());
    } else {
        const qint64 old = fileframes();
        // Old frames [shift, frames + shift) stay, as frames [0, frames).
        if (!keepframesoutside(shift, frames + shift))
            return false;
        const bool ok = rebuildfile(QStringLiteral("re-frame"), [&](QFile* newfile) {
            if (!newfile->resize(frames * fb))
                return false;
            if (shift < 0) // earlier start: the old frames move later by -shift
                return copyiodevice(file, 0, newfile, -shift * fb, std::min(old, frames + shift) * fb);
            // Later start: every old frame from shift on that still fits stays.
            return copyiodevice(file, shift * fb, newfile, 0, std::min(frames, old - shift) * fb);
        });
        if (!ok)
            return false;
        framesmoved(-shift);
        file->seek(file->size());
    }
    start = newstart;
    length = newlength;
    return true;
}

void layer::inserttime(double time, double duration)
{
    QMutexLocker lock(&layermutex);
    notecut();
    if (length == 0 || time > start + length || duration <= 0)
        return;
    const qint64 oldstart = roundhalfup64(start * samplerate);
    if (time <= start) {
        start += duration;
        movedsamples(std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::min(), 0,
                     roundhalfup64(start * samplerate) - oldstart);
        return;
    }
    const qint64 fb = framebytes();
    const qint64 old = fileframes();
    const qint64 before = std::min<qint64>(old, roundhalfup64((time - start) * samplerate));
    const qint64 after = roundhalfup64((time - start + duration) * samplerate);
    if (!keepframes(before, old)) // they move later
        return;
    const bool ok = rebuildfile(QStringLiteral("insert time into"), [&](QFile* newfile) {
        return newfile->resize(roundhalfup64((length + duration) * samplerate) * fb)
               && copyiodevice(file, 0, newfile, 0, before * fb)
               && copyiodevice(file, before * fb, newfile, after * fb, (old - before) * fb);
    });
    if (!ok)
        return;
    length += duration;
    movedsamples(oldstart + before, oldstart + before, 0, after - before);
}

void layer::removetime(double time, double duration)
{
    QMutexLocker lock(&layermutex);
    notecut();
    if (length == 0 || time > start + length || duration <= 0)
        return;
    const double end = time + duration;
    const qint64 oldstart = roundhalfup64(start * samplerate);
    if (start > end) {
        start -= duration;
        movedsamples(std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::min(), 0,
                     roundhalfup64(start * samplerate) - oldstart);
        return;
    }
    if (time <= start && start + length <= end) {
        clear();
        movedsamples(std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max(), 0, 0);
        return;
    }
    const qint64 fb = framebytes();
    const qint64 old = fileframes();
    const qint64 before = time <= start ? 0 : std::min<qint64>(old, roundhalfup64((time - start) * samplerate));
    const qint64 from = std::min<qint64>(old, roundhalfup64((end - start) * samplerate));
    if (!keepframes(before, old)) // they go or move earlier
        return;
    const bool ok = rebuildfile(QStringLiteral("remove time from"), [&](QFile* newfile) {
        return copyiodevice(file, 0, newfile, 0, before * fb)
               && copyiodevice(file, from * fb, newfile, before * fb, (old - from) * fb);
    });
    if (!ok)
        return;
    start = std::min(start, time);
    updatelength();
    const qint64 shift = roundhalfup64(start * samplerate) - oldstart;
    movedsamples(oldstart + before, oldstart + from, shift, shift - (from - before));
}

void layer::movedsamples(qint64 cut, qint64 resume, qint64 lowshift, qint64 highshift)
{
    lastmove = {true, cut, resume, lowshift, highshift};
    if (keptframes)
        keptframes->remap(cut, resume, lowshift, highshift);
}

void layer::clear()
{
    QMutexLocker lock(&layermutex);
    if (!keepframes(0, fileframes()))
        return;
    if (!file->resize(0)) {
        seterror(QStringLiteral("Could not empty layer \"%1\": %2").arg(name, writefailure(file, errno)));
        return;
    }
    start = 0;
    length = 0;
    resetdirty();
}

bool layer::sameformat(layer* chunk)
{
    if (chunk->samplerate == samplerate && chunk->channels == channels)
        return true;
    seterror(QStringLiteral("Backup of \"%1\" not restored: its format differs from the layer's").arg(name));
    return false;
}

// Undo and redo write into the file in place: what they overwrite or drop is
// put aside first, from the state before them, so that a run that ends in
// the middle comes back as it was, and stays until the session file names
// the state they leave. The kept state starts anew at that state (when
// nothing was written too); a layer that kept nothing before keeps nothing
// after.
auto layer::restartbefore()
{
    const bool keeping = bool(kept);
    keepbefore();
    return qScopeGuard([this, keeping] {
        if (keeping)
            keepbefore();
        else
            dropbefore();
    });
}

void layer::copyrange(layer* chunk)
{
    QMutexLocker lock(&layermutex);
    notecut();
    if (!sameformat(chunk))
        return;
    const auto restart = restartbefore();
    // Compared in frames, so that a chunk that overhangs by less than half a
    // sample (rounding of its times) is still written back.
    const qint64 first = roundhalfup64((chunk->start - start) * samplerate);
    const qint64 frames = roundhalfup64(chunk->length * samplerate);
    const qint64 own = roundhalfup64(length * samplerate);
    if (first < 0 || first + frames > own) {
        seterror(QStringLiteral("Backup of \"%1\" at %2 s (%3 s) lies outside the layer (%4 s, %5 s); not restored")
                     .arg(name)
                     .arg(chunk->start)
                     .arg(chunk->length)
                     .arg(start)
                     .arg(length));
        return;
    }
    const qint64 fb = framebytes();
    const qint64 count = std::min(frames, chunk->fileframes());
    if (!keepframes(first, first + count))
        return; // nothing is overwritten that could not come back
    if (!copyiodevice(chunk->file, 0, file, first * fb, count * fb)) {
        seterror(QStringLiteral("Could not restore the backup of layer \"%1\": %2").arg(name, writefailure(file, errno)));
        copybefore(file, first, first, first + count);
    }
}

void layer::restorerange(layer* chunk)
{
    QMutexLocker lock(&layermutex);
    notecut();
    if (chunk->owner.frames < 0) {
        copyrange(chunk);
        return;
    }
    if (!sameformat(chunk))
        return;
    const auto restart = restartbefore();
    const layerextent& target = chunk->owner;
    const qint64 fb = framebytes();
    const qint64 old = fileframes();
    // Chunk frame 0 lies at frame `now` of the file as it is and at frame
    // `then` of the file to restore, each rounded as the chunks were cut; so
    // restored frame k is present frame k + shift, exactly as the edit moved it.
    const qint64 now = roundhalfup64((chunk->start - start) * samplerate);
    const qint64 then = roundhalfup64((chunk->start - target.start) * samplerate);
    const qint64 shift = now - then;
    const qint64 count = std::min<qint64>(roundhalfup64(chunk->length * samplerate), chunk->fileframes());
    const qint64 first = std::max<qint64>(0, -then);
    const qint64 last = std::min(count, target.frames - then);
    // Chunk frames [from, to) go to frames [from + then, to + then).
    auto putframes = [&](QFile* into, qint64 from, qint64 to) {
        return to <= from || copyiodevice(chunk->file, from * fb, into, (from + then) * fb, (to - from) * fb);
    };
    const QString cannotrestore = QStringLiteral("Could not restore the backup of layer \"%1\": %2");
    if (shift == 0) {
        // The frames stay in place: the file is only cut or zero-extended at
        // its end. What is overwritten or cut is put aside first (without
        // room for it nothing is written); it grows first and shrinks last,
        // and the frames past its present end are written before those
        // inside it. A failure is taken back from what was put aside and the
        // old size: the layer keeps its extent and its frames.
        const bool grows = target.frames > old;
        const qint64 inside = std::clamp(old - then, first, std::max(first, last));
        if (!keepframes(first + then, inside + then) || (!grows && !keepframes(target.frames, old)))
            return;
        const auto takeback = [&](const QString& what) {
            const int error = errno;
            seterror(what.arg(name, writefailure(file, error)));
            copybefore(file, first + then, first + then, inside + then);
            if (grows)
                file->resize(old * fb);
        };
        const QString cannotresize = QStringLiteral("Could not resize layer \"%1\": %2");
        if (grows && !file->resize(target.frames * fb)) {
            seterror(cannotresize.arg(name, writefailure(file, errno)));
            return;
        }
        if (!putframes(file, inside, last) || !putframes(file, first, inside)) {
            takeback(cannotrestore);
            return;
        }
        if (!grows && !file->resize(target.frames * fb)) {
            takeback(cannotresize);
            return;
        }
        start = target.start;
        length = target.length;
        return;
    }
    const qint64 from = std::max<qint64>(0, shift);
    const qint64 to = std::min(old, target.frames + shift);
    const bool ok = rebuildfile(QStringLiteral("restore the backup of"), [&](QFile* newfile) {
        return newfile->resize(target.frames * fb)
               && (to <= from || copyiodevice(file, from * fb, newfile, (from - shift) * fb, (to - from) * fb))
               && putframes(newfile, first, last);
    });
    if (!ok)
        return;
    start = target.start;
    length = target.length;
}
