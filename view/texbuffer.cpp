#include "texbuffer.h"

#include <QMutexLocker>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

#include "analysiswindow.h"
#include "columnfold.h"
#include "core/alignedmemory.h"
#include "core/globals.h"
#include "core/lanefft.h"
#include "core/log.h"
#include "displaypool.h"

namespace {

// Per pool thread: the transform of one size (it keeps scratch of its own,
// so it is not shared between threads) and the blocks of one task, kept
// from task to task.
struct Scratch
{
    std::unique_ptr<lanefft> fft;
    columnfold fold;
    std::vector<float> samples;
    std::vector<int> low, high; // the bins of each row

    lanefft& prepare(int size)
    {
        if (!fft || fft->size() != size)
            fft = std::make_unique<lanefft>(size);
        return *fft;
    }
};

thread_local Scratch scratch;

// Tasks of a request: about four per thread, each some tens of frames, so
// that the threads end together and each task reads its samples at once.
// Every thread that computes keeps a task's samples (1 MB at most) for the
// next one: with more, that scratch was the largest memory of the views.
constexpr qint64 tasksamplesmax = 1 << 18;

} // namespace

bool TexBuffer::Block::reserve(qint64 floats, qint64 columns)
{
    if (floats > capacity) {
        alignedfree(data);
        data = floats * qint64(sizeof(float)) <= INT_MAX ? alignedalloc(int(floats * sizeof(float)), 16) : nullptr;
        capacity = data ? floats : 0;
    }
    if (columns > peakcapacity) {
        alignedfree(peaks);
        peaks = columns * qint64(sizeof(float)) <= INT_MAX ? alignedalloc(int(columns * sizeof(float)), 16) : nullptr;
        peakcapacity = peaks ? columns : 0;
    }
    return data && peaks;
}

void TexBuffer::Block::release()
{
    alignedfree(data);
    alignedfree(peaks);
    data = peaks = nullptr;
    capacity = peakcapacity = 0;
}

TexBuffer::TexBuffer()
    : QObject(nullptr)
{
}

TexBuffer::~TexBuffer()
{
    {
        QMutexLocker request(&requestmutex);
        stopping = true;
    }
    abortwork = true;
    join();
    QMutexLocker params(&parammutex);
    alignedfree(window);
    window = nullptr;
    QMutexLocker result(&resultmutex);
    resultdata = resultpeaks = nullptr;
    for (Block& b : blocks)
        b.release();
}

void TexBuffer::dropcache()
{
    QMutexLocker result(&resultmutex);
    cached = Grid();
    valid.clear();
    cachedsource = nullptr;
}

// Holds parammutex for a change of the binding or the parameters; a
// computation in progress gives up for it, and a request it left pending
// starts again once the change is made.
class TexBuffer::Supersede
{
public:
    explicit Supersede(TexBuffer* worker) : worker(worker)
    {
        ++worker->superseding;
        worker->parammutex.lock();
    }
    ~Supersede()
    {
        worker->parammutex.unlock();
        if (--worker->superseding == 0)
            worker->resume();
    }
    Supersede(const Supersede&) = delete;
    Supersede& operator=(const Supersede&) = delete;

private:
    TexBuffer* worker;
};

void TexBuffer::resume()
{
    {
        QMutexLocker request(&requestmutex);
        const bool left = std::exchange(gaveup, false);
        if (!left || busy || stopping || requesttaken)
            return;
        busy = true;
    }
    launch(); // a loop that gave up may still be ending
}

void TexBuffer::bindlayer(layer* bindlayer, qint32 channel)
{
    this->bindlayer(bindlayer, channel, {});
}

void TexBuffer::bindlayer(layer* bindlayer, qint32 channel, const std::vector<TexBuffer*>& others)
{
    const Supersede change(this);
    boundlayer = bindlayer;
    this->channel = channel;
    samplerate = bindlayer ? bindlayer->samplerate : 0;
    framerate = rowdensity = 0;
    dropcache();
    {
        // Changes noted so far were the former layer's.
        QMutexLocker request(&requestmutex);
        pendingchanges.clear();
    }
    for (TexBuffer* other : others)
        if (other && other != this && takeover(*other))
            break;
}

const layer* TexBuffer::soleread(layer* l)
{
    if (!l)
        return nullptr;
    QMutexLocker lock(&layermutex);
    const layer* heard = l->length > 0 ? l : nullptr;
    int count = heard ? 1 : 0;
    for (int i = 0; i < l->childcount; ++i) {
        layer* child = l->children[i];
        if (child->length <= 0 || child->samplerate != l->samplerate || child->channels != l->channels)
            continue; // mixes nothing
        if (!child->active)
            return nullptr; // mixed at gain 0, not read alone
        heard = child;
        ++count;
    }
    if (count != 1)
        return nullptr;
    if (heard == l)
        return l;
    // A child is mixed at the gain a read of it applies, but without its
    // own children.
    for (int i = 0; i < heard->childcount; ++i)
        if (heard->children[i]->length > 0)
            return nullptr;
    return heard;
}

bool TexBuffer::takeover(TexBuffer& donor)
{
    const layer* source = soleread(boundlayer);
    // Bindings and parameters are set on the window's thread, this one.
    if (!source || donor.ffttype != ffttype || donor.fftsize != fftsize || donor.fftoverlap != fftoverlap
        || donor.fftsubwin != fftsubwin || donor.samplerate != samplerate || donor.channel != channel)
        return false;
    // Only a worker that still shows that layer has been told of every
    // change to it since.
    if (soleread(donor.boundlayer) != source)
        return false;
    QMutexLocker request(&donor.requestmutex);
    QMutexLocker result(&donor.resultmutex);
    const Grid g = donor.cached;
    if (donor.cachedsource != source || g.columns == 0)
        return false;
    const size_t columnfloats = size_t(g.rows) * 2;
    Block& work = blocks[1 - current];
    if (!work.reserve(qint64(columnfloats) * g.columns, g.columns))
        return false;
    const Block& from = donor.blocks[donor.current];
    std::memcpy(work.data, from.data, columnfloats * size_t(g.columns) * sizeof(float));
    std::memcpy(work.peaks, from.peaks, size_t(g.columns) * sizeof(float));
    std::vector<std::uint8_t> columns = donor.valid;
    // What the donor has been told but not yet taken up.
    const std::vector<std::pair<double, double>> changes = donor.pendingchanges;
    result.unlock();
    request.unlock();
    {
        QMutexLocker own(&resultmutex);
        current = 1 - current;
        cached = g;
        valid = std::move(columns);
        cachedsource = source;
        // A result not yet drawn was the former layer's.
        resultlayer = nullptr;
        resultdata = resultpeaks = nullptr;
    }
    forgetchanged(changes);
    return true;
}

void TexBuffer::infftparam(qint32 ffttype, qint32 fftsize, qint32 fftoverlap, bool fftsubwin)
{
    const Supersede change(this);
    alignedfree(window);
    this->ffttype = ffttype;
    this->fftsubwin = fftsubwin;
    const int n = clampfftsize(fftsize);
    this->fftsize = n;
    this->fftoverlap = clampfftoverlap(fftoverlap);
    window = alignedalloc(n * int(sizeof(float)), 16);
    if (window) {
        fillanalysiswindow(window, ffttype, n, fftsubwin);
    } else {
        // Without its window the worker must not compute at all.
        logerror("TexBuffer::infftparam not allocated");
        this->fftsize = -1;
    }
    framerate = rowdensity = 0;
    dropcache();
}

void TexBuffer::notechange(const QRectF& changed)
{
    if (changed.width() == 0 || !std::isfinite(changed.x()) || !std::isfinite(changed.width()))
        return;
    const double a = std::min(changed.left(), changed.right()), b = std::max(changed.left(), changed.right());
    pendingchanges.emplace_back(a, b);
    if (pendingchanges.size() > 32) {
        // Many small edits before a request: one span over all of them.
        double lo = a, hi = b;
        for (const auto& c : pendingchanges) {
            lo = std::min(lo, c.first);
            hi = std::max(hi, c.second);
        }
        pendingchanges.assign(1, {lo, hi});
    }
}

void TexBuffer::invalidate(QRectF changed)
{
    QMutexLocker request(&requestmutex);
    notechange(changed);
}

void TexBuffer::intexrequest(QRectF area, QSize texres, QRectF updatearea, bool streamed)
{
    {
        QMutexLocker request(&requestmutex);
        this->area = area;
        this->texres = texres;
        this->updatearea = updatearea;
        notechange(updatearea);
        requesttaken = false;
        if (busy || stopping)
            return; // the running loop takes the new request up
        busy = true;
    }
    if (streamed) {
        // A loop that has just found nothing left may still be ending.
        launch();
    } else {
        run();
    }
}

void TexBuffer::intexrequest(QRectF area, QSize texres, QRectF updatearea)
{
    intexrequest(area, texres, updatearea, true);
}

void TexBuffer::intexrequest(QRectF area, QSize texres)
{
    intexrequest(area, texres, QRectF(), true);
}

bool TexBuffer::requestusable() const
{
    if (texres.width() < 1 || texres.height() < 1)
        return false;
    if (area.width() == 0 && area.height() == 0)
        return false;
    return std::isfinite(area.x()) && std::isfinite(area.y()) && std::isfinite(area.width())
           && std::isfinite(area.height());
}

void TexBuffer::join()
{
    if (loop.joinable())
        loop.join();
}

void TexBuffer::launch()
{
    join();
    running = true;
    loop = std::thread([this] {
        run();
        running = false;
    });
}

void TexBuffer::run()
{
    const quintptr frame = reinterpret_cast<quintptr>(__builtin_frame_address(0));
    if (frame & 15) {
        logerror(QString("TexBuffer thread not stack aligned: %1").arg(qulonglong(frame), 0, 16));
        QMutexLocker request(&requestmutex);
        busy = false;
        return;
    }
    QMutexLocker params(&parammutex);
    QMutexLocker request(&requestmutex);
    while (!stopping && !requesttaken) {
        if (superseding > 0) {
            gaveup = true; // the change under way starts the loop again
            break;
        }
        const bool ready = fftsize >= 1 && fftoverlap >= 1 && boundlayer && channel >= 0 && samplerate >= 1 && window;
        if (!ready || !requestusable())
            break; // the request stays pending until it can be computed
        const QRectF a = area;
        const QSize res = texres;
        std::vector<std::pair<double, double>> changes;
        changes.swap(pendingchanges);
        requesttaken = true;
        // Under the request's lock: a takeover finds the changes either
        // pending or their columns dropped.
        forgetchanged(changes);
        request.unlock();
        const bool done = compute(a, res);
        if (abortwork)
            return;
        if (!done) {
            // Given up for a change of binding or parameters: the request
            // and its changes wait for the loop that the change starts.
            request.relock();
            pendingchanges.insert(pendingchanges.begin(), changes.begin(), changes.end());
            requesttaken = false;
            gaveup = true;
            break;
        }
        emit outtexdata();
        request.relock();
    }
    busy = false;
}

std::pair<qint64, qint64> TexBuffer::columnframes(double tstep, qint64 c) const
{
    // Half-open span [c - 1/2, c + 1/2) columns; a column is at least one hop wide.
    const auto first = qint64(std::ceil((double(c) - 0.5) * tstep));
    const auto last = qint64(std::ceil((double(c) + 0.5) * tstep)) - 1;
    return {first, std::max(first, last)};
}

void TexBuffer::forgetchanged(const std::vector<std::pair<double, double>>& changes)
{
    QMutexLocker result(&resultmutex);
    if (changes.empty() || cached.columns == 0)
        return;
    const int n = fftsize;
    const double hop = double(n / fftoverlap), sr = samplerate;
    for (int i = 0; i < cached.columns; ++i) {
        if (!valid[size_t(i)])
            continue;
        const auto frames = columnframes(cached.tstep, cached.firstcolumn + i);
        // The samples that the column's frames read.
        const double from = (double(frames.first) * hop - n / 2) / sr;
        const double to = (double(frames.second) * hop + n / 2) / sr;
        for (const auto& c : changes)
            if (c.first <= to && c.second >= from) {
                valid[size_t(i)] = 0;
                break;
            }
    }
}

bool TexBuffer::compute(QRectF request, QSize res)
{
    const layer* source = soleread(boundlayer);
    const int n = fftsize;
    const int hop = n / fftoverlap;
    const double sr = samplerate;
    const double fps = 1.0 / (hop / sr);
    const double binsperhz = n / sr;
    const double x = request.x(), y = request.y(), w = request.width(), h = request.height();
    const double pw = res.width(), ph = res.height();

    // About one column per pixel in whole quarter hops (at least one hop), at
    // most one row per pixel in whole bins.
    const double k = w > 0 ? std::floor(4.0 * fps / (pw / w)) : 0.0;
    const double tstep = std::max(1.0, k * 0.25);
    const double m = h < 0 ? std::floor(binsperhz / (ph / -h)) : 0.0;
    const int fstep = int(std::clamp(m, 1.0, double(n / 2)));
    framerate = fps / tstep;
    rowdensity = binsperhz / fstep;

    double start, layerend;
    const double s = boundlayer->spanstart();
    if (s == unsettime) {
        start = x + w;
        layerend = x + w;
    } else {
        start = std::max(x, s);
        layerend = s + boundlayer->spanlength();
    }
    const double end = std::min(layerend, x + w + 1.0 / framerate);
    const double top = std::min(y + 1.0 / rowdensity, double(samplerate / 2));
    const double bottom = std::max(y + h, 0.0);

    const double c0 = std::floor(framerate * start);
    const double c1 = std::ceil(framerate * end);
    const double r1 = std::ceil(rowdensity * top);
    const double r0 = std::floor(rowdensity * bottom);
    const double columnsd = c1 - c0, rowsd = r1 - r0;
    const QRectF resultarea(c0 / framerate, r1 / rowdensity, columnsd / framerate, -rowsd / rowdensity);

    framescomputed = 0;
    if (!(columnsd > 0) || !(rowsd > 0) || channel >= boundlayer->channels) {
        publish(resultarea, Grid());
        return true;
    }
    if (columnsd * rowsd * 2.0 * sizeof(float) > double(INT_MAX - 64) || columnsd > INT_MAX / 8) {
        logerror(QString("TexBuffer: %1 x %2 values are more than one texture can hold")
                     .arg(columnsd)
                     .arg(rowsd));
        publish(resultarea, Grid());
        return true;
    }
    Grid g;
    g.tstep = tstep;
    g.fstep = fstep;
    g.firstcolumn = qint64(c0);
    g.columns = int(columnsd);
    g.firstrow = qint64(r0);
    g.rows = int(rowsd);
    const size_t columnfloats = size_t(g.rows) * 2;

    Block& work = blocks[1 - current];
    if (!work.reserve(qint64(columnfloats) * g.columns, g.columns)) {
        logerror("TexBuffer: work blocks not allocated");
        work.release();
        publish(resultarea, Grid());
        return true;
    }

    // Columns of the last result that nothing has changed are taken over.
    std::vector<std::uint8_t> done(size_t(g.columns), 0);
    if (cached.columns > 0 && cached.samebands(g)) {
        const Block& old = blocks[current];
        const qint64 from = std::max(g.firstcolumn, cached.firstcolumn);
        const qint64 to = std::min(g.firstcolumn + g.columns, cached.firstcolumn + cached.columns);
        for (qint64 c = from; c < to; ++c) {
            const qint64 i = c - cached.firstcolumn, j = c - g.firstcolumn;
            if (!valid[size_t(i)])
                continue;
            std::memcpy(work.data + size_t(j) * columnfloats, old.data + size_t(i) * columnfloats,
                        columnfloats * sizeof(float));
            work.peaks[j] = old.peaks[i];
            done[size_t(j)] = 1;
        }
    }

    // The missing columns in runs, cut into tasks of about equal work.
    std::vector<std::pair<qint64, qint64>> runs;
    qint64 missingframes = 0;
    for (int j = 0; j < g.columns; ++j) {
        if (done[size_t(j)])
            continue;
        const qint64 c = g.firstcolumn + j;
        if (!runs.empty() && runs.back().second == c)
            runs.back().second = c + 1;
        else
            runs.emplace_back(c, c + 1);
        const auto f = columnframes(tstep, c);
        missingframes += f.second - f.first + 1;
    }
    const qint64 perthread = missingframes / (4 * displaypool::concurrency());
    const qint64 limit = std::max<qint64>(1, (tasksamplesmax - n) / hop);
    const qint64 taskframes = std::clamp<qint64>(perthread, std::min<qint64>(16, limit), limit);
    const qint64 taskcolumns = std::max<qint64>(1, qint64(double(taskframes) / tstep));
    std::vector<std::pair<qint64, qint64>> tasks;
    for (const auto& r : runs)
        for (qint64 c = r.first; c < r.second; c += taskcolumns)
            tasks.emplace_back(c, std::min(r.second, c + taskcolumns));
    displaypool::parallelfor(int(tasks.size()), [&](int t) {
        computecolumns(g, work, tasks[size_t(t)].first, tasks[size_t(t)].second);
    });
    if (givingup())
        return false;
    framescomputed = missingframes;
    framestotal += missingframes;
    lastarea = resultarea;
    {
        QMutexLocker result(&resultmutex);
        current = 1 - current;
        cached = g;
        valid.assign(size_t(g.columns), 1);
        cachedsource = source;
    }
    publish(resultarea, g);
    return true;
}

// Columns [first, last) (absolute) of grid g into `work`: every frame of each
// column's span from one read of the layer, the strongest value per row.
// Frames go through the transform eight at a time, consecutive frames side
// by side, whatever columns they belong to.
void TexBuffer::computecolumns(const Grid& g, Block& work, qint64 first, qint64 last)
{
    const int n = fftsize;
    const int hop = n / fftoverlap;
    const size_t columnfloats = size_t(g.rows) * 2;
    if (givingup())
        return;
    Scratch& s = scratch;
    lanefft& fft = s.prepare(n);
    constexpr int lanes = lanefft::lanes;
    const qint64 jfirst = columnframes(g.tstep, first).first;
    const qint64 jlast = columnframes(g.tstep, last - 1).second;
    const qint64 samples = (jlast - jfirst) * hop + n;
    const qint64 s0 = jfirst * hop - n / 2;
    s.samples.reserve(size_t(samples)); // no more than needed: it stays the thread's
    s.samples.resize(size_t(samples));
    boundlayer->read(s.samples.data(), double(s0) / samplerate, double(samples) / samplerate, channel, true);
    // Row r stands for the fstep bins centred on bin (firstrow + r) * fstep;
    // rows past the Nyquist bin stay silent.
    const int nyquist = n / 2;
    s.low.resize(size_t(g.rows));
    s.high.resize(size_t(g.rows));
    int rows = 0;
    for (int r = 0; r < g.rows; ++r) {
        const qint64 lo = (g.firstrow + r) * g.fstep - g.fstep / 2;
        s.low[size_t(r)] = int(std::max<qint64>(0, lo));
        s.high[size_t(r)] = int(std::min<qint64>(nyquist, lo + g.fstep - 1));
        if (s.low[size_t(r)] <= s.high[size_t(r)])
            rows = r + 1;
    }

    // Every column starts silent, with the peak of the samples its frames read.
    for (qint64 c = first; c < last; ++c) {
        float* column = work.data + size_t(c - g.firstcolumn) * columnfloats;
        std::fill(column, column + columnfloats, 0.0f);
        const auto frames = columnframes(g.tstep, c);
        const float* in = s.samples.data() + size_t(frames.first - jfirst) * hop;
        const qint64 count = (frames.second - frames.first) * hop + n;
        const float peak = peaklevel(in, count);
        work.peaks[c - g.firstcolumn] = std::isfinite(peak) ? peak : 0.0f;
    }

    qint64 c = first; // the column of the frame in lane 0
    auto span = columnframes(g.tstep, c);
    const std::function<bool()> stop = [this] { return givingup(); };
    for (qint64 j0 = jfirst; j0 <= jlast && !givingup(); j0 += lanes) {
        displaypool::yieldtoforeground(stop);
        const int used = int(std::min<qint64>(lanes, jlast - j0 + 1));
        fft.load(s.samples.data() + size_t(j0 - jfirst) * hop, hop, used, window);
        fft.forward();
        s.fold.take(fft, rows, s.low.data(), s.high.data());
        // Each run of lanes whose frames belong to one column, folded into it.
        for (int l = 0; l < used;) {
            while (j0 + l > span.second)
                span = columnframes(g.tstep, ++c);
            const int to = int(std::min<qint64>(used, span.second - j0 + 1));
            s.fold.fold(l, to, work.data + size_t(c - g.firstcolumn) * columnfloats);
            l = to;
        }
    }
    // Broken samples must not poison the texture. Levels and bin shifts are
    // made here, where the cores are, not on the window's thread at upload;
    // a bin shift needs at least two columns per bin width to mean anything.
    const bool shifts = framerate * n / samplerate >= 2.0;
    for (qint64 c = first; c < last; ++c) {
        float* column = work.data + size_t(c - g.firstcolumn) * columnfloats;
        for (size_t v = 0; v < columnfloats; v += 2)
            if (!std::isfinite(column[v]) || !std::isfinite(column[v + 1]))
                column[v] = column[v + 1] = 0;
        columnlevels(column, g.rows, shifts);
    }
}

void TexBuffer::publish(const QRectF& area, const Grid& g)
{
    if (g.columns == 0)
        dropcache();
    QMutexLocker result(&resultmutex);
    resultlayer = boundlayer;
    resultchannel = channel;
    resultarea = area;
    if (g.columns > 0 && g.rows > 0) {
        resultres = QSize(g.columns, g.rows);
        resultdata = blocks[current].data;
        resultpeaks = blocks[current].peaks;
    } else {
        resultres = QSize(-1, -1);
        resultdata = resultpeaks = nullptr;
    }
    // The block of the result before is of use only to the next computation:
    // the system has it back meanwhile (six of them in a stereo window).
    blocks[1 - current].release();
}
