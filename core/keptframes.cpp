#include "keptframes.h"

#include <QFile>
#include <QScopeGuard>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <malloc.h>
#include <mutex>
#include <sys/statvfs.h>
#include <unistd.h>
#include <unordered_map>

#include "globals.h"
#include "log.h"

qint64 keptmemorylimit = qint64(16) << 20;
qint64 keptdisklimit = qint64(4) << 30;
qint64 keptdiskreserve = qint64(1) << 30;

struct KeptFrames::Record
{
    quint64 setting = 0;
    int channel = 0;
    int fftsize = 0;
    quint64 serial = 0; // order of keeping: the newest version of a frame wins
    quint64 stamp = 0;  // last use, for the least recently used to leave memory first
    quint64 edit = 0;   // the edit that kept it
    quint64 used = 0;   // the last edit that kept or read it
    int low = 0, high = -1;
    std::vector<int> frames; // ascending
    std::vector<quint64> hashes;
    std::vector<quint32> offsets; // into the payload, one more than frames
    std::vector<char> payload;    // empty while only the file holds it
    qint64 payloadbytes = 0;
    qint64 fileoffset = -1; // where the file holds a copy, -1 none

    bool inmemory() const { return payloadbytes == 0 || !payload.empty(); }
    qint64 indexbytes() const { return qint64(sizeof(Record)) + qint64(frames.size()) * 16; }
    qint64 heldbytes() const { return indexbytes() + (payload.empty() ? 0 : payloadbytes); }
    int hop() const { return int(setting >> 16) / std::max(int((setting >> 8) & 0xff), 1); }
};

namespace {

// One lock for every store: the allowances are shared, and a device run and
// the GUI thread may keep and restore frames of one layer at once.
std::mutex& guard()
{
    static std::mutex m;
    return m;
}

std::vector<KeptFrames*>& stores()
{
    static std::vector<KeptFrames*> s;
    return s;
}

qint64 memoryused = 0;
qint64 diskused = 0; // bytes of every store's file, dead ones included
quint64 keptclock = 0;
quint64 editclock = 1;          // the edit in progress
bool currentforgotten = false;  // it could not be kept whole: nothing more of it is

quint64 rotl(quint64 v, int s)
{
    return (v << s) | (v >> (64 - s));
}

// Room for `bytes` more in the session folder: within the limit of all
// stores and leaving the disk its reserve.
bool diskroom(qint64 bytes)
{
    if (diskused + bytes > keptdisklimit)
        return false;
    struct statvfs fs;
    if (::statvfs(QFile::encodeName(sessionpath).constData(), &fs) != 0)
        return false;
    return qint64(fs.f_bavail) * qint64(fs.f_frsize) - bytes >= keptdiskreserve;
}

} // namespace

// Access to the stores' records for the balance across all of them.
struct KeptAccounts
{
    // Frees memory until the allowance holds: the least recently used
    // payloads go to their store's file; when the file has no room, whole
    // edits go, the one used least recently first.
    static void balance()
    {
        bool freed = false;
        // Payloads freed in the middle of the heap would stay with the
        // process: give them back, so that the allowance is what it holds.
        const auto trim = qScopeGuard([&freed] {
            if (freed)
                malloc_trim(0);
        });
        while (memoryused > keptmemorylimit) {
            freed = true;
            KeptFrames* owner = nullptr;
            KeptFrames::Record* oldest = nullptr;
            for (KeptFrames* s : stores())
                for (const auto& r : s->records)
                    if (!r->payload.empty() && (!oldest || r->stamp < oldest->stamp)) {
                        oldest = r.get();
                        owner = s;
                    }
            if (oldest && owner->spill(*oldest))
                continue;
            if (forgetedit(false) || forgetedit(true))
                continue;
            // Only what the edit in progress reads is left, and only memory
            // holds it: the oldest record goes, as nothing else can.
            if (!oldest)
                return;
            owner->drop(oldest);
        }
    }

    // Drops every record of the edit used least recently, sparing the edit
    // in progress and those it has read (`current` false), or drops what the
    // edit in progress has kept itself and keeps nothing more of it. False
    // when there is no such edit.
    static bool forgetedit(bool current)
    {
        quint64 edit = 0;
        if (current) {
            edit = editclock;
        } else {
            std::unordered_map<quint64, quint64> lastuse;
            for (KeptFrames* s : stores())
                for (const auto& r : s->records) {
                    quint64& u = lastuse[r->edit];
                    u = std::max(u, r->used);
                }
            quint64 best = std::numeric_limits<quint64>::max();
            for (const auto& [e, u] : lastuse)
                if (u < editclock && u < best) {
                    best = u;
                    edit = e;
                }
        }
        bool any = false;
        for (KeptFrames* s : stores()) {
            for (size_t i = s->records.size(); i-- > 0;)
                if (s->records[i]->edit == edit) {
                    s->drop(s->records[i].get());
                    any = true;
                }
            if (any)
                s->compact();
        }
        if (current)
            currentforgotten = true;
        return any;
    }
};

quint64 KeptFrames::settingkey(int windowtype, int fftsize, int overlap, bool subwin)
{
    return (quint64(quint32(fftsize)) << 16) | (quint64(overlap & 0xff) << 8) | (quint64(windowtype & 0x7f) << 1)
           | (subwin ? 1u : 0u);
}

quint64 KeptFrames::hashsamples(const float* samples, int count)
{
    quint64 h = 0x27d4eb2f165667c5ULL ^ quint64(count);
    for (int i = 0; i < count; ++i) {
        quint32 w;
        std::memcpy(&w, samples + i, sizeof w);
        h ^= quint64(w) * 0x9e3779b97f4a7c15ULL;
        h = rotl(h, 27) * 0xc2b2ae3d27d4eb4fULL;
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return h;
}

void KeptFrames::beginedit()
{
    const std::lock_guard lock(guard());
    ++editclock;
    currentforgotten = false;
}

KeptFrames::KeptFrames()
{
    const std::lock_guard lock(guard());
    stores().push_back(this);
}

KeptFrames::~KeptFrames()
{
    const std::lock_guard lock(guard());
    for (const auto& r : records)
        memoryused -= r->heldbytes();
    records.clear();
    closefile();
    auto& s = stores();
    s.erase(std::remove(s.begin(), s.end(), this), s.end());
}

// Per frame: the count of runs, then each run as its first pair, its length
// and its floats. Only pairs that differ from the analysis are kept: the
// others come back from it. Nothing is worth keeping when no pair differs,
// or when every difference is within the rounding of the transforms (2^-20
// of the frame's peak, 120 dB below it), which the analysis alone comes
// within.
namespace {

bool differs(const KeptFrames::Frame& f, int p)
{
    return (f.mask[p >> 6] >> (p & 63) & 1)
           && (f.bins[2 * p] != f.analysis[2 * p] || f.bins[2 * p + 1] != f.analysis[2 * p + 1]);
}

// The bytes the frame's record takes, 0 when nothing is worth keeping.
// Sizing every frame before any is written lets a record be filled in
// place, once: a whole-layer edit keeps about a gigabyte of frames.
size_t framebytes(const KeptFrames::Frame& f, int pairs)
{
    const int n = 2 * pairs;
    float peak = 0;
    for (int i = 0; i < n; ++i)
        peak = std::max(peak, std::max(std::fabs(f.bins[i]), std::fabs(f.analysis[i])));
    const float rounding = peak * 0x1p-20f;
    // Most frames that an edit scaled differ from their analysis by its
    // rounding alone: one pass over every float (a NaN counts as beyond)
    // tells them before anything is copied. Pairs outside the mask may be
    // what exceeds it: then the pairs it covers are looked at one by one.
    // Eight lanes, each its own verdict, so that the compiler widens it.
    constexpr int lanes = 8;
    const int whole = n - n % lanes;
    int beyond[lanes] = {};
    for (int i = 0; i < whole; i += lanes)
        for (int j = 0; j < lanes; ++j)
            beyond[j] |= !(std::fabs(f.bins[i + j] - f.analysis[i + j]) <= rounding);
    for (int i = whole; i < n; ++i)
        beyond[0] |= !(std::fabs(f.bins[i] - f.analysis[i]) <= rounding);
    if (std::none_of(beyond, beyond + lanes, [](int b) { return b != 0; }))
        return 0;
    bool rounded = true;
    size_t runs = 0, differing = 0;
    for (int p = 0; p < pairs; ++p) {
        if (!differs(f, p))
            continue;
        ++differing;
        runs += p == 0 || !differs(f, p - 1);
        if (!rounded)
            continue;
        for (int i = 2 * p; i < 2 * p + 2; ++i)
            if (!(std::fabs(f.bins[i] - f.analysis[i]) <= rounding))
                rounded = false;
    }
    if (rounded)
        return 0;
    const size_t carried = f.carry ? size_t(f.carrycount) : 0;
    return 4 + runs * 8 + differing * 8 + 4 + carried * 4;
}

void encodeframe(const KeptFrames::Frame& f, int pairs, char* out)
{
    const auto put = [&out](const void* p, size_t n) {
        std::memcpy(out, p, n);
        out += n;
    };
    char* const countat = out;
    quint32 runs = 0;
    put(&runs, sizeof runs);
    for (int p = 0; p < pairs;) {
        if (!differs(f, p)) {
            ++p;
            continue;
        }
        int e = p;
        while (e < pairs && differs(f, e))
            ++e;
        const quint32 run[2] = {quint32(p), quint32(e - p)};
        put(run, sizeof run);
        put(f.bins + 2 * qint64(p), sizeof(float) * size_t(2 * (e - p)));
        ++runs;
        p = e;
    }
    std::memcpy(countat, &runs, sizeof runs);
    // What the frame's hop of samples owes the time buffer (a change the
    // floats could not take), so that an inverse made after it came back
    // still cancels to the bit.
    const quint32 carried = f.carry ? quint32(f.carrycount) : 0;
    put(&carried, sizeof carried);
    if (carried)
        put(f.carry, sizeof(float) * carried);
}

} // namespace

void KeptFrames::add(quint64 setting, int channel, int fftsize, const std::vector<Frame>& frames, const QString& name)
{
    if (frames.empty() || fftsize < 2)
        return;
    const int pairs = fftsize / 2;
    std::vector<size_t> sizes(frames.size());
    size_t total = 0, count = 0;
    for (size_t k = 0; k < frames.size(); ++k) {
        sizes[k] = framebytes(frames[k], pairs);
        total += sizes[k];
        count += sizes[k] > 0;
    }
    if (count == 0) {
        const std::lock_guard lock(guard());
        owner = name;
        return;
    }
    auto r = std::make_unique<Record>();
    r->setting = setting;
    r->channel = channel;
    r->fftsize = fftsize;
    // Exactly sized, so that what memory holds is what the allowance counts.
    r->frames.reserve(count);
    r->hashes.reserve(count);
    r->offsets.reserve(count + 1);
    r->payload.resize(total);
    size_t at = 0;
    for (size_t k = 0; k < frames.size(); ++k) {
        if (sizes[k] == 0)
            continue;
        r->frames.push_back(frames[k].frame);
        r->hashes.push_back(frames[k].hash);
        r->offsets.push_back(quint32(at));
        encodeframe(frames[k], pairs, r->payload.data() + at);
        at += sizes[k];
    }
    r->offsets.push_back(quint32(at));
    const std::lock_guard lock(guard());
    owner = name;
    if (currentforgotten)
        return;
    r->payloadbytes = qint64(r->payload.size());
    r->low = r->frames.front();
    r->high = r->frames.back();
    r->serial = r->stamp = ++keptclock;
    r->edit = r->used = editclock;
    memoryused += r->heldbytes();
    records.push_back(std::move(r));
    KeptAccounts::balance();
}

bool KeptFrames::covers(quint64 setting, int channel, int first, int last) const
{
    const std::lock_guard lock(guard());
    for (const auto& r : records)
        if (r->setting == setting && r->channel == channel && r->low <= last && first <= r->high)
            return true;
    return false;
}

int KeptFrames::restore(quint64 setting, int channel, int first, int last, const std::function<quint64(int)>& hash,
                        const std::function<void(int, float*&, quint64*&, float*&)>& target)
{
    const std::lock_guard lock(guard());
    std::vector<Record*> candidates;
    for (const auto& r : records)
        if (r->setting == setting && r->channel == channel && r->low <= last && first <= r->high)
            candidates.push_back(r.get());
    if (candidates.empty())
        return 0;
    std::sort(candidates.begin(), candidates.end(), [](Record* a, Record* b) { return a->serial > b->serial; });
    int restored = 0;
    for (int f = first; f <= last; ++f) {
        bool hashed = false;
        quint64 h = 0;
        for (Record* r : candidates) {
            if (f < r->low || f > r->high)
                continue;
            const auto it = std::lower_bound(r->frames.begin(), r->frames.end(), f);
            if (it == r->frames.end() || *it != f)
                continue;
            if (!hashed) {
                h = hash(f);
                hashed = true;
            }
            const size_t i = size_t(it - r->frames.begin());
            if (r->hashes[i] != h)
                continue;
            if (!r->inmemory() && !load(*r))
                continue;
            float* bins = nullptr;
            quint64* mask = nullptr;
            float* carry = nullptr;
            target(f, bins, mask, carry);
            const char* p = r->payload.data() + r->offsets[i];
            quint32 runs;
            std::memcpy(&runs, p, sizeof runs);
            p += sizeof runs;
            for (quint32 k = 0; k < runs; ++k) {
                quint32 run[2];
                std::memcpy(run, p, sizeof run);
                p += sizeof run;
                std::memcpy(bins + 2 * qint64(run[0]), p, sizeof(float) * size_t(2 * run[1]));
                p += sizeof(float) * size_t(2 * run[1]);
                for (quint32 q = run[0]; q < run[0] + run[1]; ++q)
                    mask[q >> 6] |= quint64(1) << (q & 63);
            }
            quint32 carried;
            std::memcpy(&carried, p, sizeof carried);
            std::memcpy(carry, p + sizeof carried, sizeof(float) * carried);
            r->stamp = ++keptclock;
            // The edit in progress reads it: it is not forgotten before that edit ends.
            r->used = editclock;
            ++restored;
            break;
        }
    }
    KeptAccounts::balance();
    return restored;
}

void KeptFrames::clear()
{
    const std::lock_guard lock(guard());
    for (const auto& r : records)
        memoryused -= r->heldbytes();
    records.clear();
    closefile();
}

void KeptFrames::remap(qint64 cut, qint64 resume, qint64 lowshift, qint64 highshift)
{
    const std::lock_guard lock(guard());
    for (size_t i = records.size(); i-- > 0;) {
        Record& r = *records[i];
        const qint64 h = r.hop();
        std::vector<int> keep, moved;
        for (size_t k = 0; k < r.frames.size(); ++k) {
            const qint64 f = r.frames[k];
            // The samples its synthesis writes, which its hash covers.
            const qint64 first = (f - 1) * h, end = (f + 1) * h;
            if (h <= 0 || (end > cut && first < resume))
                continue;
            const qint64 shift = end <= cut ? lowshift : highshift;
            if (shift % h != 0)
                continue;
            const qint64 to = f + shift / h;
            if (to < std::numeric_limits<int>::min() || to > std::numeric_limits<int>::max())
                continue;
            keep.push_back(int(k));
            moved.push_back(int(to));
        }
        if (keep.empty()) {
            drop(&r, false);
            continue;
        }
        if (keep.size() < r.frames.size())
            rebuild(r, keep, moved);
        else
            r.frames = moved;
        r.low = r.frames.front();
        r.high = r.frames.back();
    }
    compact();
}

qint64 KeptFrames::memorybytes() const
{
    const std::lock_guard lock(guard());
    qint64 n = 0;
    for (const auto& r : records)
        n += r->heldbytes();
    return n;
}

qint64 KeptFrames::diskbytes() const
{
    const std::lock_guard lock(guard());
    return fileend;
}

// Lock held from here on.

// Keeps frames `keep` of a record (indices, ascending), at their new indices.
void KeptFrames::rebuild(Record& r, const std::vector<int>& keep, const std::vector<int>& frames)
{
    if (!r.inmemory() && !load(r)) {
        drop(&r, false);
        return;
    }
    memoryused -= r.heldbytes();
    if (r.fileoffset >= 0)
        filelive -= r.payloadbytes;
    r.fileoffset = -1;
    std::vector<char> payload;
    std::vector<quint64> hashes;
    std::vector<quint32> offsets;
    for (int k : keep) {
        offsets.push_back(quint32(payload.size()));
        payload.insert(payload.end(), r.payload.begin() + r.offsets[size_t(k)],
                       r.payload.begin() + r.offsets[size_t(k) + 1]);
        hashes.push_back(r.hashes[size_t(k)]);
    }
    offsets.push_back(quint32(payload.size()));
    r.payload.swap(payload);
    r.payload.shrink_to_fit();
    r.hashes.swap(hashes);
    r.offsets.swap(offsets);
    r.frames = frames;
    r.payloadbytes = qint64(r.payload.size());
    memoryused += r.heldbytes();
}

void KeptFrames::drop(Record* record, bool lost)
{
    const auto it = std::find_if(records.begin(), records.end(), [&](const auto& r) { return r.get() == record; });
    if (it == records.end())
        return;
    memoryused -= record->heldbytes();
    if (record->fileoffset >= 0)
        filelive -= record->payloadbytes;
    if (lost)
        warn();
    records.erase(it);
}

void KeptFrames::warn()
{
    if (warned)
        return;
    warned = true;
    logerror(QStringLiteral("Layer \"%1\": edited frames no longer fit in memory and in the session folder: "
                            "the edits used least recently are forgotten whole, and an inverse of those "
                            "edits is no longer exact")
                 .arg(owner));
}

bool KeptFrames::openfile()
{
    if (fd >= 0)
        return true;
    QByteArray path = QFile::encodeName(sessionpath + QStringLiteral("/kept-XXXXXX"));
    fd = ::mkstemp(path.data());
    if (fd < 0)
        return false;
    // Nothing to find or clean after the process: the space goes with the descriptor.
    ::unlink(path.constData());
    fileend = filelive = 0;
    return true;
}

void KeptFrames::closefile()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    diskused -= fileend;
    fileend = filelive = 0;
}

// Rewrites the file with the copies still in use once more than half of it
// is dead, so that the folder holds about what the records need.
bool KeptFrames::compact()
{
    if (fd < 0 || 2 * filelive >= fileend)
        return true;
    const int old = fd;
    const qint64 oldend = fileend;
    fd = -1;
    if (!openfile()) {
        fd = old;
        fileend = oldend;
        return false;
    }
    std::vector<char> block;
    qint64 end = 0;
    for (const auto& r : records) {
        if (r->fileoffset < 0)
            continue;
        block.resize(size_t(r->payloadbytes));
        bool ok = ::pread(old, block.data(), block.size(), r->fileoffset) == qint64(block.size())
                  && ::pwrite(fd, block.data(), block.size(), end) == qint64(block.size());
        if (!ok) {
            // The copy is lost; a record held only there goes too.
            r->fileoffset = -1;
            continue;
        }
        r->fileoffset = end;
        end += r->payloadbytes;
    }
    ::close(old);
    diskused += end - oldend;
    fileend = filelive = end;
    if (fileend == 0)
        closefile();
    for (size_t i = records.size(); i-- > 0;)
        if (!records[i]->inmemory() && records[i]->fileoffset < 0)
            drop(records[i].get());
    return true;
}

bool KeptFrames::spill(Record& r)
{
    if (r.fileoffset < 0) {
        const qint64 n = r.payloadbytes;
        if (!diskroom(n)) {
            for (KeptFrames* s : stores())
                s->compact();
            if (!diskroom(n))
                return false;
        }
        if (!openfile())
            return false;
        qint64 done = 0;
        while (done < n) {
            const ssize_t w = ::pwrite(fd, r.payload.data() + done, size_t(n - done), fileend + done);
            if (w <= 0) {
                if (w < 0 && errno == EINTR)
                    continue;
                return false;
            }
            done += w;
        }
        r.fileoffset = fileend;
        fileend += n;
        filelive += n;
        diskused += n;
    }
    memoryused -= r.payloadbytes;
    std::vector<char>().swap(r.payload);
    return true;
}

bool KeptFrames::load(Record& r)
{
    if (fd < 0 || r.fileoffset < 0)
        return false;
    std::vector<char> block(size_t(r.payloadbytes));
    if (::pread(fd, block.data(), block.size(), r.fileoffset) != qint64(block.size()))
        return false;
    r.payload.swap(block);
    memoryused += r.payloadbytes;
    return true;
}
