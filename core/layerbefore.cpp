// The layer as it stood at the last history entry, kept by copy on write:
// instead of a copy of the whole file, the frames that later steps overwrite,
// move away or drop are put aside just before, and everything else is still
// read from the layer's own file. They go into the layer's kept file, which
// describes itself, so that a run that ends in the middle of an edit can be
// taken back to the state before it:
//   header  "KVKEPT2\n", channels, sample rate (int32 each), start, length
//           (double), frames (int64) of the kept state, and the checksum
//           (uint32) of those 40 bytes. Frames -1 is the mark that nothing
//           is under way; it stands alone.
//   records tag (4 bytes), checksum (uint32) of the rest of the record, a,
//           b (int64), then what follows:
//           "FILE": the sample file (its name, b bytes) holds kept frame k at
//                   its frame k + a, and is unchanged but for what was put aside
//           "SPAN": kept frames a .. a + b - 1, their samples
// A kept state's file is written under a name of its own and takes the kept
// file's place once its header is on the disk; each record reaches the disk
// before the step it prepares begins. So a record cut short by the end of the
// file was never followed by that step and is left out, as long as what it
// holds still matches the sample file. Files of earlier runs ("KVKEPT1\n", 40
// bytes of header, no checksums) are still read.
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <unistd.h>
#include <utility>
#include <vector>

#include "checksum.h"
#include "globals.h"
#include "layer.h"
#include "sdk/rounding.h"

namespace {

constexpr char keptmagic[8] = {'K', 'V', 'K', 'E', 'P', 'T', '2', '\n'};
constexpr char oldmagic[8] = {'K', 'V', 'K', 'E', 'P', 'T', '1', '\n'};
constexpr qint64 keptheaderbytes = 8 + 4 + 4 + 8 + 8 + 8 + 4;
constexpr qint64 oldheaderbytes = keptheaderbytes - 4;
constexpr qint64 keptrecordbytes = 4 + 4 + 8 + 8;
// A sample file's name is short; a longer one is no record of ours.
constexpr qint64 keptnamebytes = 4096;
// Frames are put aside in records of at most this many bytes, each with its
// own checksum, so that none has to be read twice.
constexpr qint64 keptspanbytes = 1 << 20;
// More frames than any disk holds (2^40: 7 years at 48 kHz): a number of
// them beyond it, or a shift, is damage, and all sums of them stay exact.
constexpr qint64 keptframesmost = qint64(1) << 40;

template <typename T>
void put(QByteArray& bytes, T value)
{
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T>
T take(const char*& at)
{
    T value;
    std::memcpy(&value, at, sizeof value);
    at += sizeof value;
    return value;
}

QByteArray keptheader(int channels, int samplerate, const layerextent& extent)
{
    QByteArray bytes(keptmagic, 8);
    put<qint32>(bytes, channels);
    put<qint32>(bytes, samplerate);
    put<double>(bytes, extent.start);
    put<double>(bytes, extent.length);
    put<qint64>(bytes, extent.frames);
    put<quint32>(bytes, checksum(bytes.constData(), bytes.size()));
    return bytes;
}

// The mark that nothing is under way.
QByteArray keptmark(int channels, int samplerate)
{
    return keptheader(channels, samplerate, {0.0, 0.0, -1});
}

QByteArray keptrecord(const char* tag, qint64 a, qint64 b, const QByteArray& payload)
{
    QByteArray bytes(tag, 4);
    put<quint32>(bytes, 0);
    put<qint64>(bytes, a);
    put<qint64>(bytes, b);
    bytes.append(payload);
    const quint32 sum = checksum(bytes.constData() + 8, bytes.size() - 8, checksum(bytes.constData(), 4));
    std::memcpy(bytes.data() + 4, &sum, 4);
    return bytes;
}

// What a kept file says of one sample file.
struct keptjournal
{
    struct piece
    {
        qint64 first = 0;
        qint64 frames = 0;
        qint64 at = 0; // byte offset of its samples
    };
    layerextent extent;
    bool found = false; // it names the sample file
    qint64 shift = 0;
    std::map<qint64, piece> spans;
    QString why; // what is wrong with it
};

using keptstate = layer::keptreading::State;

keptstate untrusted(keptjournal* out, const QString& why)
{
    out->why = why;
    return keptstate::damaged;
}

// Whether `bytes` of the samples at byte `at` of `file` are what `from`
// holds at `offset`: the frames a record cut short would have kept, still
// in the sample file, show that the step it prepared never began.
bool samebytes(QFile& file, qint64 at, QFile& from, qint64 offset, qint64 bytes)
{
    std::vector<char> a(size_t(std::min(bytes, keptspanbytes))), b(a.size());
    for (qint64 done = 0; done < bytes;) {
        const qint64 n = std::min<qint64>(qint64(a.size()), bytes - done);
        if (!file.seek(at + done) || !from.seek(offset + done) || file.read(a.data(), n) != n
            || from.read(b.data(), n) != n || std::memcmp(a.data(), b.data(), size_t(n)) != 0)
            return false;
        done += n;
    }
    return true;
}

// Reads and checks a kept file for `samplefile`, a layer of `channels`
// channels at `samplerate`.
keptstate readkept(QFile& file, const QString& samplefile, int channels, int samplerate, keptjournal* out)
{
    const QByteArray magic = file.read(8);
    const bool checked = magic == QByteArray(keptmagic, 8);
    if (!checked && magic != QByteArray(oldmagic, 8))
        return untrusted(out, QStringLiteral("it is not a kept file of this program"));
    const qint64 headerbytes = checked ? keptheaderbytes : oldheaderbytes;
    const QByteArray header = magic + file.read(headerbytes - 8);
    if (header.size() != headerbytes)
        return untrusted(out, QStringLiteral("it ends inside its header"));
    const char* at = header.constData() + 8;
    const qint32 keptchannels = take<qint32>(at);
    const qint32 keptrate = take<qint32>(at);
    out->extent.start = take<double>(at);
    out->extent.length = take<double>(at);
    out->extent.frames = take<qint64>(at);
    if (checked && take<quint32>(at) != checksum(header.constData(), headerbytes - 4))
        return untrusted(out, QStringLiteral("its header does not match its checksum"));
    // Earlier runs wrote no rate; the session file's row had it.
    if (keptchannels != channels || (checked && keptrate != samplerate))
        return untrusted(out, QStringLiteral("it is of another format than the layer"));
    const layerextent& e = out->extent;
    if (checked && e.frames == -1)
        return keptstate::none; // the mark: nothing under way
    if (!std::isfinite(e.start) || std::fabs(e.start) > unsettime)
        return untrusted(out, QStringLiteral("its start time is out of range"));
    if (!std::isfinite(e.length) || e.length < 0 || e.length > unsettime)
        return untrusted(out, QStringLiteral("its length is out of range"));
    if (e.frames < 0 || e.frames > keptframesmost)
        return untrusted(out, QStringLiteral("its frame count is out of range"));
    // The frames the layer's length asks for, or more; fewer would give a
    // layer cut short.
    if (e.frames < std::max<qint64>(0, roundhalfup64(e.length * samplerate)))
        return untrusted(out, QStringLiteral("it holds %1 frames for a length of %2 s")
                                  .arg(e.frames)
                                  .arg(e.length, 0, 'f', 3));
    const QString name = QFileInfo(samplefile).fileName();
    const qint64 size = file.size();
    const qint64 fb = qint64(channels) * 4;
    const QString broken = QStringLiteral("a record in it is damaged");
    struct
    {
        qint64 a = -1, b = 0, at = 0, present = 0;
    } partial; // a record of samples that the end of the file cut short
    for (qint64 offset = headerbytes;;) {
        const QByteArray record = file.read(keptrecordbytes);
        if (record.size() != keptrecordbytes)
            break; // the end, or a record whose step never began
        const char* r = record.constData() + 4;
        const quint32 sum = take<quint32>(r);
        const qint64 a = take<qint64>(r);
        const qint64 b = take<qint64>(r);
        const bool isfile = record.startsWith("FILE"), isspan = record.startsWith("SPAN");
        if ((isfile && (b < 0 || b > keptnamebytes || std::abs(a) > keptframesmost))
            || (isspan && (a < 0 || b <= 0 || a > e.frames - b)) || (!isfile && !isspan))
            return untrusted(out, broken);
        const qint64 room = size - offset - keptrecordbytes;
        if ((isfile && b > room) || (isspan && b > room / fb)) {
            if (isspan)
                partial = {a, b, offset + keptrecordbytes, room};
            break;
        }
        const qint64 bytes = isfile ? b : b * fb;
        quint32 computed = checksum(record.constData() + 8, keptrecordbytes - 8, checksum(record.constData(), 4));
        QByteArray named;
        if (isfile) {
            named = file.read(b);
            computed = checksum(named.constData(), named.size(), computed);
        } else {
            for (qint64 done = 0; checked && done < bytes;) {
                const QByteArray block = file.read(std::min(keptspanbytes, bytes - done));
                if (block.isEmpty())
                    return untrusted(out, file.errorString());
                computed = checksum(block.constData(), block.size(), computed);
                done += block.size();
            }
        }
        if (checked && computed != sum)
            return untrusted(out, broken);
        if (isfile && QString::fromUtf8(named) == name) {
            out->found = true;
            out->shift = a;
        } else if (isspan) {
            out->spans[a] = {a, b, offset + keptrecordbytes};
        }
        offset += keptrecordbytes + bytes;
        if (!file.seek(offset))
            return untrusted(out, file.errorString());
    }
    if (!out->found)
        return keptstate::none; // it says nothing of this sample file, which is unchanged

    // Every kept frame that was never put aside is still in the sample file.
    QFile from(samplefile);
    if (!from.open(QIODevice::ReadOnly))
        return untrusted(out, QStringLiteral("%1: %2").arg(samplefile, from.errorString()));
    const qint64 own = from.size() / fb;
    auto it = out->spans.begin();
    for (qint64 k = 0; k < e.frames;) {
        if (it != out->spans.end() && it->first <= k) {
            k = std::max(k, it->first + it->second.frames);
            ++it;
            continue;
        }
        const qint64 end = it == out->spans.end() ? e.frames : std::min(e.frames, it->first);
        if (k + out->shift < 0 || end + out->shift > own)
            return untrusted(out, QStringLiteral("%1 holds %2 frames where %3 are needed")
                                      .arg(samplefile)
                                      .arg(own)
                                      .arg(end + out->shift));
        k = end;
    }
    // A record cut short by the end: left out only while the frames it was
    // putting aside are still in the sample file as it has them.
    if (partial.a >= 0) {
        const qint64 from0 = (partial.a + out->shift) * fb;
        if (from0 < 0 || from0 + partial.present > own * fb
            || !samebytes(file, partial.at, from, from0, partial.present))
            return untrusted(out, QStringLiteral("it ends inside the frames put aside for a step that had begun"));
    }
    return keptstate::journal;
}

} // namespace

// Frame k of the kept state (0 = its first file frame) lies in the kept file
// when a span of `aside` covers it, and otherwise at frame k + shift of the
// layer's file, unchanged since keepbefore().
struct layer::beforestate
{
    struct span
    {
        qint64 frames = 0;
        qint64 at = 0; // byte offset of its samples in the kept file
    };
    layerextent extent;
    qint64 shift = 0;
    std::map<qint64, span> aside; // by first kept frame; spans never overlap
    QString path; // the kept file
    QString basefile; // the sample file at keepbefore()
    QFile* sidefile = nullptr; // the kept file, open from its first record on
    qint64 end = 0; // its size: the end of its last whole record
    bool lost = false; // the layer's file is not named in it
    QString lostwhy;
    // The file changed after the last session file named the layer: that
    // one needs what is put aside here to come back as it stood.
    bool sincelisted = false;

    ~beforestate() { delete sidefile; }

    // The parts of [first, last) that no span covers yet.
    std::vector<std::pair<qint64, qint64>> gaps(qint64 first, qint64 last) const
    {
        std::vector<std::pair<qint64, qint64>> out;
        qint64 k = first;
        auto it = aside.upper_bound(k);
        if (it != aside.begin()) {
            const auto previous = std::prev(it);
            k = std::max(k, previous->first + previous->second.frames);
        }
        while (k < last) {
            const qint64 end = it == aside.end() ? last : std::min(last, it->first);
            if (end > k)
                out.emplace_back(k, end);
            if (it == aside.end())
                break;
            k = std::max(k, it->first + it->second.frames);
            ++it;
        }
        return out;
    }
};

void layer::beforedelete::operator()(beforestate* state) const
{
    delete state;
}

void layer::keepbefore()
{
    QMutexLocker lock(&layermutex);
    endbefore();
    auto* state = new beforestate();
    state->extent = {length > 0 ? start : 0.0, std::max(0.0, length), fileframes()};
    state->path = keptfile();
    state->basefile = file ? file->fileName() : QString();
    kept.reset(state);
}

QString layer::keptfile()
{
    QMutexLocker lock(&layermutex);
    if (keptname.isEmpty() && file && !file->fileName().isEmpty()) {
        QString named = file->fileName();
        if (named.endsWith(QLatin1String(".pcm")))
            named.chop(4);
        keptname = named + QStringLiteral(".kept");
    }
    return keptname;
}

QString layer::writekept(const QByteArray& bytes, QFile** into)
{
    const QString temp = keptname + QStringLiteral(".new");
    QFile out(temp);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return writefailure(&out, errno);
    QString why;
    if (out.write(bytes) != bytes.size() || ::fdatasync(out.handle()) != 0)
        why = writefailure(&out, errno);
    out.close();
    if (why.isEmpty() && std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(keptname).constData()) != 0)
        why = writefailure(&out, errno);
    if (!why.isEmpty()) {
        QFile::remove(temp);
        return why;
    }
    // The new name itself on the disk.
    const int folder = ::open(QFile::encodeName(QFileInfo(keptname).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    keptmarked = true;
    if (!into)
        return QString();
    auto* opened = new QFile(keptname);
    if (!opened->open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        why = opened->errorString();
        delete opened;
        return why;
    }
    *into = opened;
    return QString();
}

bool layer::markkept()
{
    QMutexLocker lock(&layermutex);
    if (keptmarked)
        return true;
    return !keptfile().isEmpty() && writekept(keptmark(channels, samplerate), nullptr).isEmpty();
}

void layer::endbefore()
{
    if (!kept)
        return;
    const std::unique_ptr<beforestate, beforedelete> ended = std::move(kept);
    QFile* side = std::exchange(ended->sidefile, nullptr);
    if (!side)
        return;
    const std::unique_ptr<QFile> closing(side);
    if (ended->sincelisted && !listedname.isEmpty()) {
        keptheld = true; // until the next session file names the layer as it is now
        return;
    }
    // What the edit wrote reaches the disk before the mark says that
    // nothing is under way.
    if (file && file->handle() >= 0)
        ::fdatasync(file->handle());
    if (!listedname.isEmpty()) {
        markended(side);
        return;
    }
    side->close();
    QFile::remove(keptname);
    keptmarked = false;
}

void layer::keptlisted()
{
    if (kept)
        kept->sincelisted = false;
    if (keptheld) {
        // What an ended state put aside is no session file's any more.
        keptheld = false;
        QFile side(keptname);
        side.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
        markended(&side);
    }
}

void layer::markended(QFile* side)
{
    const QByteArray mark = keptmark(channels, samplerate);
    // In place: the header's block is already the file's, so this needs no
    // room, and a run that ends before the rest goes reads the mark alone.
    if (side->isOpen() && side->seek(0) && side->write(mark) == mark.size() && side->resize(mark.size()))
        return;
    side->close();
    QFile::remove(keptname);
    keptmarked = false;
}

bool layer::cannotkeep(const QString& why)
{
    seterror(QStringLiteral("Could not keep the samples of layer \"%1\" for the history: %2").arg(name, why));
    // Back to the last whole record: what the file holds still takes the
    // layer back to the kept state, for the step that needed more is refused.
    if (kept->sidefile)
        kept->sidefile->resize(kept->end);
    return false;
}

bool layer::keeprecord(const char* tag, qint64 a, qint64 b, const QByteArray& payload)
{
    if (!kept->sidefile) {
        if (kept->path.isEmpty())
            return cannotkeep(QStringLiteral("the layer has no sample file to name it after"));
        // Whole on the disk, under its own name, before it names the state.
        const QByteArray base = QFileInfo(kept->basefile).fileName().toUtf8();
        const QByteArray first =
            keptheader(channels, samplerate, kept->extent) + keptrecord("FILE", 0, base.size(), base);
        const QString why = writekept(first, &kept->sidefile);
        if (!why.isEmpty())
            return cannotkeep(why);
        kept->end = first.size();
        keptheld = false; // what it held is replaced
    }
    const QByteArray bytes = keptrecord(tag, a, b, payload);
    if (!kept->sidefile->seek(kept->end) || kept->sidefile->write(bytes) != bytes.size()) {
        const int error = errno;
        return cannotkeep(writefailure(kept->sidefile, error));
    }
    kept->end += bytes.size();
    return true;
}

bool layer::syncbefore()
{
    if (::fdatasync(kept->sidefile->handle()) == 0)
        return true;
    const int error = errno;
    return cannotkeep(writefailure(kept->sidefile, error));
}

void layer::dropbefore()
{
    QMutexLocker lock(&layermutex);
    endbefore();
}

bool layer::keepsbefore() const
{
    QMutexLocker lock(&layermutex);
    return bool(kept);
}

bool layer::beforelost() const
{
    QMutexLocker lock(&layermutex);
    return kept && kept->lost;
}

layerextent layer::beforeextent() const
{
    QMutexLocker lock(&layermutex);
    return kept ? kept->extent : layerextent();
}

bool layer::keepframes(qint64 first, qint64 last)
{
    if (!kept || channels <= 0)
        return true;
    // Called before every step that changes the file.
    kept->sincelisted = true;
    if (kept->lost) {
        seterror(kept->lostwhy);
        return false;
    }
    const qint64 k0 = std::max<qint64>(0, first - kept->shift);
    const qint64 k1 = std::min(kept->extent.frames, last - kept->shift);
    if (k1 <= k0)
        return true;
    const qint64 fb = framebytes();
    const qint64 most = std::max<qint64>(1, keptspanbytes / fb);
    bool kepttoo = false;
    for (const auto& [g0, g1] : kept->gaps(k0, k1)) {
        for (qint64 g = g0; g < g1;) {
            const qint64 n = std::min(most, g1 - g);
            // Frames past the end of a file cut short outside the program read as silence.
            QByteArray samples(n * fb, '\0');
            if (!file->seek((g + kept->shift) * fb) || file->read(samples.data(), n * fb) < 0)
                return cannotkeep(
                    QStringLiteral("%1 could not be read (%2)").arg(file->fileName(), file->errorString()));
            if (!keeprecord("SPAN", g, n, samples))
                return false;
            kept->aside.emplace(g, beforestate::span{n, kept->end - n * fb});
            kepttoo = true;
            g += n;
        }
    }
    return !kepttoo || syncbefore();
}

bool layer::keepframesoutside(qint64 first, qint64 last)
{
    if (!kept)
        return true;
    const qint64 old = fileframes();
    if (last <= first)
        return keepframes(0, old);
    return keepframes(0, std::min(first, old)) && keepframes(std::max<qint64>(last, 0), old);
}

void layer::framesmoved(qint64 by)
{
    if (!kept)
        return;
    kept->shift += by;
    kept->sincelisted = true;
    // The new file is named in the kept file before anything is written into
    // it; unnamed, it takes no edit until the next keepbefore().
    const QByteArray named = QFileInfo(file->fileName()).fileName().toUtf8();
    if (!kept->lost && !(keeprecord("FILE", kept->shift, named.size(), named) && syncbefore())) {
        kept->lost = true;
        kept->lostwhy = lasterror();
    }
}

bool layer::copybefore(QFile* into, qint64 at, qint64 first, qint64 last)
{
    const qint64 fb = framebytes();
    const qint64 own = fileframes();
    auto it = kept->aside.upper_bound(first);
    if (it != kept->aside.begin() && std::prev(it)->first + std::prev(it)->second.frames > first)
        --it;
    for (qint64 k = first; k < last;) {
        if (it != kept->aside.end() && it->first <= k) {
            const qint64 end = std::min(last, it->first + it->second.frames);
            if (!copyiodevice(kept->sidefile, it->second.at + (k - it->first) * fb, into, (at + k - first) * fb,
                              (end - k) * fb))
                return false;
            k = end;
            ++it;
            continue;
        }
        const qint64 end = it == kept->aside.end() ? last : std::min(last, it->first);
        // Never put aside, so still in the file (what lies outside it was silence).
        const qint64 from = std::max(k, -kept->shift);
        const qint64 to = std::min(end, own - kept->shift);
        if (to > from
            && !copyiodevice(file, (from + kept->shift) * fb, into, (at + from - first) * fb, (to - from) * fb))
            return false;
        k = end;
    }
    return true;
}

layer* layer::beforechunk(double chunkstart, double chunklength)
{
    QMutexLocker lock(&layermutex);
    if (!kept)
        return nullptr;
    const layerextent& then = kept->extent;
    auto* chunk = new layer();
    chunk->name = name;
    chunk->active = active;
    chunk->mixsign = mixsign;
    chunk->volume = volume;
    chunk->samplerate = samplerate;
    chunk->channels = channels;
    chunk->speakermask = speakermask;
    chunk->start = chunkstart;
    chunk->owner = then;
    if (chunk->failed())
        return chunk; // no file for it
    chunk->length = chunklength;
    if (kept->lost) {
        chunk->seterror(QStringLiteral("The samples of layer \"%1\" from before the edit were not kept").arg(name));
        chunk->length = 0;
        return chunk;
    }
    const qint64 frames = std::max<qint64>(0, roundhalfup64(chunklength * samplerate));
    if (!chunk->file->resize(frames * framebytes())) {
        const int error = errno;
        chunk->seterror(QStringLiteral("Could not size the backup of layer \"%1\": %2")
                            .arg(name, writefailure(chunk->file, error)));
        chunk->length = 0;
        return chunk;
    }
    if (then.length <= 0)
        return chunk; // the layer was empty: the chunk stays silent
    // Chunk frame j holds kept frame j + offset; only the overlap is copied.
    const qint64 offset = roundhalfup64((chunkstart - then.start) * samplerate);
    const qint64 first = std::max<qint64>(0, -offset);
    const qint64 last = std::min(frames, then.frames - offset);
    if (last > first && !copybefore(chunk->file, first, first + offset, last + offset)) {
        const int error = errno;
        chunk->seterror(QStringLiteral("Could not copy the backup of layer \"%1\": %2")
                            .arg(name, writefailure(chunk->file, error)));
        chunk->file->resize(0);
        chunk->length = 0;
    }
    return chunk;
}

layer::keptreading layer::readkeptfile(const QString& samplefile, const QString& keptfile, int channelcount,
                                      int rate, bool mustexist)
{
    keptreading reading;
    if (keptfile.isEmpty())
        return reading;
    QFile file(keptfile);
    if (!file.exists()) {
        if (mustexist) {
            reading.state = keptreading::damaged;
            reading.why = QStringLiteral("it is missing");
        }
        return reading;
    }
    keptjournal journal;
    if (!file.open(QIODevice::ReadOnly)) {
        reading.state = keptreading::damaged;
        reading.why = file.errorString();
        return reading;
    }
    reading.state = readkept(file, samplefile, channelcount, rate, &journal);
    reading.extent = journal.extent;
    reading.why = journal.why;
    return reading;
}

bool layer::takekept(const QString& samplefile, const QString& keptfile)
{
    QMutexLocker lock(&layermutex);
    const QString cannot = QStringLiteral("The samples of layer \"%1\" from before the edit that was under way "
                                          "could not be taken back: %2");
    QFile side(keptfile);
    keptjournal journal;
    if (keptfile.isEmpty() || !side.open(QIODevice::ReadOnly))
        return false;
    const keptstate state = readkept(side, samplefile, channels, samplerate, &journal);
    if (state != keptstate::journal) {
        if (state == keptstate::damaged)
            seterror(cannot.arg(name, journal.why));
        return false;
    }
    QFile from(samplefile);
    if (!from.open(QIODevice::ReadOnly)) {
        seterror(cannot.arg(name, from.errorString()));
        return false;
    }
    const qint64 fb = framebytes();
    const qint64 frames = journal.extent.frames;
    if (!file->resize(frames * fb)) {
        seterror(cannot.arg(name, writefailure(file, errno)));
        return false;
    }
    // Span by span from the kept file, and what lies between (checked to be
    // there) from the samples.
    auto it = journal.spans.begin();
    for (qint64 k = 0; k < frames;) {
        bool ok = true;
        if (it != journal.spans.end() && it->first <= k) {
            const qint64 end = std::min(frames, it->first + it->second.frames);
            ok = end <= k || copyiodevice(&side, it->second.at + (k - it->first) * fb, file, k * fb, (end - k) * fb);
            k = std::max(k, end);
            ++it;
        } else {
            const qint64 end = it == journal.spans.end() ? frames : std::min(frames, it->first);
            ok = copyiodevice(&from, (k + journal.shift) * fb, file, k * fb, (end - k) * fb);
            k = end;
        }
        if (!ok) {
            const int error = errno;
            seterror(cannot.arg(name, writefailure(file, error)));
            file->resize(0);
            return false;
        }
    }
    start = journal.extent.start;
    length = journal.extent.length;
    return true;
}
