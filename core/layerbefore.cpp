// The layer as it stood at the last history entry, kept by copy on write:
// instead of a copy of the whole file, the frames that later steps overwrite,
// move away or drop are put aside just before, and everything else is still
// read from the layer's own file. They go into the layer's kept file, which
// describes itself, so that a run that ends in the middle of an edit can be
// taken back to the state before it:
//   header  "KVKEPT1\n", channels, sample rate (int32 each), start, length
//           (double), frames (int64) of the kept state
//   records tag (4 bytes), 0 (int32), a, b (int64), then what follows:
//           "FILE": the sample file (its name, b bytes) holds kept frame k at
//                   its frame k + a, and is unchanged but for what was put aside
//           "SPAN": kept frames a .. a + b - 1, their samples
// A record cut short by the end of the file was never followed by the step
// it prepared, so it is left out.
#include <QFileInfo>
#include <QMutexLocker>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <vector>

#include "layer.h"
#include "rounding.h"

namespace {

constexpr char keptmagic[8] = {'K', 'V', 'K', 'E', 'P', 'T', '1', '\n'};
constexpr qint64 keptheaderbytes = 8 + 4 + 4 + 8 + 8 + 8;
constexpr qint64 keptrecordbytes = 4 + 4 + 8 + 8;
// A sample file's name is short; a longer one is no record of ours.
constexpr qint64 keptnamebytes = 4096;

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

// What a kept file says of one sample file.
struct keptjournal
{
    struct piece
    {
        qint64 first = 0;
        qint64 frames = 0;
        qint64 at = 0; // byte offset of its samples
    };
    int channels = 0;
    layerextent extent;
    bool found = false; // it names the sample file
    qint64 shift = 0;
    std::map<qint64, piece> spans;
};

bool readkept(QFile& file, const QString& samplefile, keptjournal* out)
{
    const QByteArray header = file.read(keptheaderbytes);
    if (header.size() != keptheaderbytes || std::memcmp(header.constData(), keptmagic, 8) != 0)
        return false;
    const char* at = header.constData() + 8;
    out->channels = take<qint32>(at);
    take<qint32>(at); // the sample rate: the row of the session file has it
    out->extent.start = take<double>(at);
    out->extent.length = take<double>(at);
    out->extent.frames = take<qint64>(at);
    if (out->channels <= 0 || out->extent.frames < 0)
        return false;
    const QString name = QFileInfo(samplefile).fileName();
    const qint64 size = file.size();
    const qint64 fb = qint64(out->channels) * 4;
    for (qint64 offset = keptheaderbytes;;) {
        const QByteArray record = file.read(keptrecordbytes);
        if (record.size() != keptrecordbytes)
            break;
        const char* r = record.constData() + 8;
        const qint64 a = take<qint64>(r);
        const qint64 b = take<qint64>(r);
        offset += keptrecordbytes;
        if (record.startsWith("FILE") && b >= 0 && b <= keptnamebytes) {
            const QByteArray named = file.read(b);
            if (named.size() != b)
                break;
            if (QString::fromUtf8(named) == name) {
                out->found = true;
                out->shift = a;
            }
            offset += b;
        } else if (record.startsWith("SPAN") && a >= 0 && b > 0 && a + b <= out->extent.frames
                   && offset + b * fb <= size) {
            out->spans[a] = {a, b, offset};
            offset += b * fb;
            if (!file.seek(offset))
                break;
        } else {
            break;
        }
    }
    return out->found;
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

    // A kept file that goes says that nothing is underway.
    ~beforestate()
    {
        if (sidefile)
            layer::removefile(sidefile);
        else if (!path.isEmpty())
            QFile::remove(path);
    }

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
        auto* side = new QFile(kept->path);
        if (kept->path.isEmpty() || !side->open(QIODevice::ReadWrite | QIODevice::Truncate | QIODevice::Unbuffered)) {
            const QString why = side->errorString();
            delete side;
            return cannotkeep(why);
        }
        kept->sidefile = side;
    }
    QByteArray bytes;
    if (kept->end == 0) {
        bytes.append(keptmagic, 8);
        put<qint32>(bytes, channels);
        put<qint32>(bytes, samplerate);
        put<double>(bytes, kept->extent.start);
        put<double>(bytes, kept->extent.length);
        put<qint64>(bytes, kept->extent.frames);
        const QByteArray base = QFileInfo(kept->basefile).fileName().toUtf8();
        bytes.append("FILE", 4);
        put<qint32>(bytes, 0);
        put<qint64>(bytes, 0);
        put<qint64>(bytes, base.size());
        bytes.append(base);
    }
    bytes.append(tag, 4);
    put<qint32>(bytes, 0);
    put<qint64>(bytes, a);
    put<qint64>(bytes, b);
    bytes.append(payload);
    if (!kept->sidefile->seek(kept->end) || kept->sidefile->write(bytes) != bytes.size()
        || !kept->sidefile->flush()) {
        const int error = errno;
        return cannotkeep(writefailure(kept->sidefile, error));
    }
    kept->end += bytes.size();
    return true;
}

void layer::dropbefore()
{
    QMutexLocker lock(&layermutex);
    kept.reset();
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
    if (kept->lost) {
        seterror(kept->lostwhy);
        return false;
    }
    const qint64 k0 = std::max<qint64>(0, first - kept->shift);
    const qint64 k1 = std::min(kept->extent.frames, last - kept->shift);
    if (k1 <= k0)
        return true;
    const qint64 fb = framebytes();
    for (const auto& [g0, g1] : kept->gaps(k0, k1)) {
        // The record first: cut short, it is left out, and the frames are still in the file.
        const qint64 record = kept->end;
        if (!keeprecord("SPAN", g0, g1 - g0))
            return false;
        const qint64 at = kept->end;
        if (!copyiodevice(file, (g0 + kept->shift) * fb, kept->sidefile, at, (g1 - g0) * fb)) {
            const int error = errno;
            kept->end = record; // the record goes with its samples
            return cannotkeep(writefailure(kept->sidefile, error));
        }
        kept->end += (g1 - g0) * fb;
        kept->aside.emplace(g0, beforestate::span{g1 - g0, at});
    }
    return true;
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
    // The new file is named in the kept file before anything is written into
    // it; unnamed, it takes no edit until the next keepbefore().
    const QByteArray named = QFileInfo(file->fileName()).fileName().toUtf8();
    if (!kept->lost && !keeprecord("FILE", kept->shift, named.size(), named)) {
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

bool layer::keptdescribes(const QString& samplefile, const QString& keptfile, int channelcount, layerextent* extent)
{
    QFile file(keptfile);
    keptjournal journal;
    if (keptfile.isEmpty() || !file.open(QIODevice::ReadOnly) || !readkept(file, samplefile, &journal)
        || journal.channels != channelcount)
        return false;
    if (extent)
        *extent = journal.extent;
    return true;
}

bool layer::takekept(const QString& samplefile, const QString& keptfile)
{
    QMutexLocker lock(&layermutex);
    QFile side(keptfile);
    keptjournal journal;
    if (keptfile.isEmpty() || !side.open(QIODevice::ReadOnly) || !readkept(side, samplefile, &journal)
        || journal.channels != channels)
        return false;
    const QString cannot = QStringLiteral("The samples of layer \"%1\" from before the edit that was under way "
                                          "could not be taken back: %2");
    QFile from(samplefile);
    if (!from.open(QIODevice::ReadOnly)) {
        seterror(cannot.arg(name, from.errorString()));
        return false;
    }
    const qint64 fb = framebytes();
    const qint64 frames = journal.extent.frames;
    const qint64 own = from.size() / fb;
    if (!file->resize(frames * fb)) {
        seterror(cannot.arg(name, writefailure(file, errno)));
        return false;
    }
    // Span by span from the kept file, and what lies between from the samples.
    auto it = journal.spans.begin();
    for (qint64 k = 0; k < frames;) {
        bool ok = true;
        if (it != journal.spans.end() && it->first <= k) {
            const qint64 end = std::min(frames, it->first + it->second.frames);
            ok = copyiodevice(&side, it->second.at + (k - it->first) * fb, file, k * fb, (end - k) * fb);
            k = end;
            ++it;
        } else {
            const qint64 end = it == journal.spans.end() ? frames : std::min(frames, it->first);
            if (k + journal.shift < 0 || end + journal.shift > own) {
                seterror(cannot.arg(name, QStringLiteral("%1 holds %2 frames where %3 are needed")
                                              .arg(samplefile)
                                              .arg(own)
                                              .arg(end + journal.shift)));
                file->resize(0);
                return false;
            }
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
