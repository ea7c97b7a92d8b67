#include "keptframes.h"

#include <QFile>
#include <QScopeGuard>
#include <algorithm>
#include <cerrno>
#include <limits>
#include <cstring>
#include <malloc.h>
#include <mutex>
#include <unistd.h>

#include "globals.h"
#include "log.h"

qint64 keptmemorylimit = qint64(16) << 20;

struct KeptFrames::Record
{
    quint64 setting = 0;
    int channel = 0;
    int fftsize = 0;
    quint64 serial = 0; // order of keeping: the newest version of a frame wins
    quint64 stamp = 0;  // last use, for the least recently used to go first
    int low = 0, high = -1;
    std::vector<int> frames; // ascending
    std::vector<quint64> hashes;
    std::vector<quint32> offsets; // into the payload, one more than frames
    std::vector<char> payload;    // empty while only the file holds it
    qint64 payloadbytes = 0;
    qint64 fileoffset = -1; // where the file holds a copy, -1 none
    bool expendable = false; // within the rounding of the analysis: the first to go

    bool inmemory() const { return payloadbytes == 0 || !payload.empty(); }
    qint64 indexbytes() const { return qint64(sizeof(Record)) + qint64(frames.size()) * 16; }
    qint64 heldbytes() const { return indexbytes() + (payload.empty() ? 0 : payloadbytes); }
};

namespace {

// One lock for every store: the memory allowance is shared, and a device run
// and the GUI thread may keep and restore frames of one layer at once.
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
quint64 keptclock = 0;

quint64 rotl(quint64 v, int s)
{
    return (v << s) | (v >> (64 - s));
}

} // namespace

// Access to the stores' records for the balance across all of them.
struct KeptAccounts
{
    // Frees memory until the allowance holds: the least recently used
    // payloads go to their store's file, and when none is left in memory the
    // least recently used records go altogether.
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
            // Frames within rounding of the analysis are not worth the disk.
            if (oldest && !oldest->expendable && owner->spill(*oldest))
                continue;
            if (oldest && oldest->expendable) {
                owner->drop(oldest);
                continue;
            }
            // Nothing more goes to the session folder: records go, those
            // within rounding of the analysis first.
            oldest = nullptr;
            for (KeptFrames* s : stores())
                for (const auto& r : s->records)
                    if (!oldest || std::pair(!r->expendable, r->stamp) < std::pair(!oldest->expendable, oldest->stamp)) {
                        oldest = r.get();
                        owner = s;
                    }
            if (!oldest)
                return;
            owner->drop(oldest);
        }
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
// others come back from it. False when none differs. `expendable` tells
// whether every difference is within the rounding of the transforms, so that
// the analysis alone would come within it.
static bool encodeframe(const KeptFrames::Frame& f, int pairs, std::vector<char>& out, bool& expendable)
{
    auto put = [&out](const void* p, size_t n) {
        const char* c = static_cast<const char*>(p);
        out.insert(out.end(), c, c + n);
    };
    auto differs = [&f](int p) {
        return (f.mask[p >> 6] >> (p & 63) & 1)
               && (f.bins[2 * p] != f.analysis[2 * p] || f.bins[2 * p + 1] != f.analysis[2 * p + 1]);
    };
    float peak = 0;
    for (int i = 0; i < 2 * pairs; ++i)
        peak = std::max({peak, std::fabs(f.bins[i]), std::fabs(f.analysis[i])});
    const float rounding = peak * 0x1p-16f;
    expendable = true;
    const size_t countat = out.size();
    quint32 runs = 0;
    put(&runs, sizeof runs);
    for (int p = 0; p < pairs;) {
        if (!differs(p)) {
            ++p;
            continue;
        }
        int e = p;
        for (; e < pairs && differs(e); ++e)
            for (int i = 2 * e; i < 2 * e + 2; ++i)
                if (!(std::fabs(f.bins[i] - f.analysis[i]) <= rounding))
                    expendable = false;
        const quint32 run[2] = {quint32(p), quint32(e - p)};
        put(run, sizeof run);
        put(f.bins + 2 * qint64(p), sizeof(float) * size_t(2 * (e - p)));
        ++runs;
        p = e;
    }
    // What the frame's hop of samples owes the time buffer (a change the
    // floats could not take), so that an inverse made after it came back
    // still cancels to the bit.
    const quint32 carried = f.carry ? quint32(f.carrycount) : 0;
    if (!runs && !carried) {
        out.resize(countat);
        return false;
    }
    std::memcpy(out.data() + countat, &runs, sizeof runs);
    put(&carried, sizeof carried);
    put(f.carry, sizeof(float) * carried);
    return true;
}

void KeptFrames::add(quint64 setting, int channel, int fftsize, const std::vector<Frame>& frames, qint64 diskbudget,
                     const QString& name)
{
    if (frames.empty() || fftsize < 2)
        return;
    // Frames that differ from the analysis by its rounding alone go into a
    // record of their own, the first to go when room runs out: losing them
    // costs an inverse no more than that rounding.
    std::unique_ptr<Record> made[2];
    std::vector<char> bytes;
    for (const Frame& f : frames) {
        bytes.clear();
        bool expendable;
        if (!encodeframe(f, fftsize / 2, bytes, expendable))
            continue;
        auto& r = made[expendable ? 1 : 0];
        if (!r) {
            r = std::make_unique<Record>();
            r->setting = setting;
            r->channel = channel;
            r->fftsize = fftsize;
            r->expendable = expendable;
        }
        r->frames.push_back(f.frame);
        r->hashes.push_back(f.hash);
        r->offsets.push_back(quint32(r->payload.size()));
        r->payload.insert(r->payload.end(), bytes.begin(), bytes.end());
    }
    const std::lock_guard lock(guard());
    owner = name;
    budget = diskbudget;
    for (auto& r : made) {
        if (!r)
            continue;
        r->offsets.push_back(quint32(r->payload.size()));
        // What memory holds is what the allowance counts.
        r->payload.shrink_to_fit();
        r->frames.shrink_to_fit();
        r->hashes.shrink_to_fit();
        r->offsets.shrink_to_fit();
        r->payloadbytes = qint64(r->payload.size());
        r->low = r->frames.front();
        r->high = r->frames.back();
        r->serial = r->stamp = ++keptclock;
        memoryused += r->heldbytes();
        records.push_back(std::move(r));
    }
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

void KeptFrames::drop(Record* record)
{
    const auto it = std::find_if(records.begin(), records.end(), [&](const auto& r) { return r.get() == record; });
    if (it == records.end())
        return;
    memoryused -= record->heldbytes();
    if (record->fileoffset >= 0)
        filelive -= record->payloadbytes;
    if (!record->expendable)
        warn();
    records.erase(it);
}

void KeptFrames::warn()
{
    if (warned)
        return;
    warned = true;
    logerror(QStringLiteral("Layer \"%1\": edited frames no longer fit in memory and in the session folder "
                            "(which holds at most as much of them as the layer's own file): the oldest are "
                            "dropped, and an inverse of those edits is no longer exact")
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
    fileend = filelive = 0;
}

// Rewrites the file with the copies still in use, dropping dead space.
bool KeptFrames::compact()
{
    if (fd < 0 || fileend == filelive)
        return true;
    const int old = fd;
    fd = -1;
    if (!openfile()) {
        fd = old;
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
    fileend = filelive = end;
    for (size_t i = records.size(); i-- > 0;)
        if (!records[i]->inmemory() && records[i]->fileoffset < 0)
            drop(records[i].get());
    return true;
}

void KeptFrames::dropondisk(qint64 limit, qint64 room)
{
    while (filelive + room > limit) {
        size_t oldest = records.size();
        for (size_t i = 0; i < records.size(); ++i) {
            const Record& r = *records[i];
            if (r.fileoffset >= 0
                && (oldest == records.size()
                    || std::pair(!r.expendable, r.stamp) < std::pair(!records[oldest]->expendable, records[oldest]->stamp)))
                oldest = i;
        }
        if (oldest == records.size())
            return;
        Record& r = *records[oldest];
        if (r.inmemory()) {
            // Memory holds it too: only the copy goes.
            filelive -= r.payloadbytes;
            r.fileoffset = -1;
        } else {
            drop(&r);
        }
    }
}

bool KeptFrames::spill(Record& r)
{
    if (r.fileoffset < 0) {
        const qint64 n = r.payloadbytes;
        if (n > budget)
            return false;
        if (fileend + n > budget) {
            dropondisk(budget, n);
            compact();
        }
        if (fileend + n > budget || !openfile())
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
