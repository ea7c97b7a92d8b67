#pragma once
// The display-transform worker of one layer slot of one channel view: it reads
// the bound layer's samples of one channel for the visible time-frequency
// area, transforms them at a resolution that follows the view's pixel size and
// publishes a grid of levels with their bin shifts (columns = time spans,
// rows = frequency bands) with a peak sample level per column.
//
// Nothing that is there may vanish because of the resolution: a column holds,
// for each row, the strongest value of every frame (at the transform's hop)
// whose centre lies in its time span, and a row the strongest of the bins it
// stands for. The columns of a request are spread over the shared display
// pool; the columns of the last result are kept, so that a scroll or a
// repaint computes only what is new, and an update area (an edit) drops only
// the columns whose frames it touches.
//
// Requests are not queued: only the newest pending request counts, and one
// that arrives while a computation runs is taken up right after it.
//
// Threads: its GLChannel makes and owns it on the window's thread, which alone
// binds, sets parameters, requests and invalidates (taking over another slot's
// columns included), and consumes results under resultmutex; outtexdata
// reaches the view queued. run() is the worker's own thread; it spreads a
// request's columns over the display pool and never touches a widget.
#include <QMutex>
#include <QRectF>
#include <QSize>
#include <QObject>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "core/layer.h"

class TexBuffer : public QObject
{
    Q_OBJECT
public:
    TexBuffer();
    // Stops a computation in progress and waits for the thread to end.
    ~TexBuffer() override;
    // The worker loop has started and not yet ended.
    bool isRunning() const { return running.load(); }

    // Binding and transform parameters (guarded by parammutex).
    layer* boundlayer = nullptr;
    int channel = -1;
    int samplerate = 0;
    int ffttype = -1;
    int fftsize = -1;
    int fftoverlap = 0;
    float* window = nullptr;
    QRectF lastarea;
    double framerate = 0;
    double rowdensity = 0;
    // Standard locks, not QMutex: their hand-overs (and through them the end
    // of run(), which releases both last) are visible to ThreadSanitizer;
    // QMutex's contended path is not.
    std::mutex parammutex;

    // The pending request (guarded by requestmutex).
    std::mutex requestmutex;
    QRectF area;
    QSize texres = QSize(-1, -1);
    QRectF updatearea;
    bool requesttaken = false;

    // The published result (guarded by resultmutex). The blocks stay the
    // worker's: the view consumes a result by setting resultlayer to null.
    std::mutex resultmutex;
    layer* resultlayer = nullptr;
    int resultchannel = -1;
    QRectF resultarea;
    QSize resultres = QSize(-1, -1);
    float* resultdata = nullptr;  // columns x rows (level, bin shift), column-major, rows rising in frequency
    float* resultpeaks = nullptr; // one peak level per column

    // Frames computed for the result now published and for all results
    // since the worker was made (read by the tests and the benchmarks).
    std::atomic<qint64> framescomputed{0};
    std::atomic<qint64> framestotal{0};
    // Callers waiting to change the binding or the parameters: a computation
    // in progress is for what they replace, so it gives up at once and its
    // request stays pending, instead of holding them (the window) until done.
    std::atomic<int> superseding{0};

    // Notes that the layer changed in the time span of `area` without asking
    // for a new result: the next request recomputes the columns it touches.
    void invalidate(QRectF area);

    // Binds as bindlayer() does; where one of `others` (the other slots of
    // the same view) holds the picture of exactly the samples the new layer
    // reads, such as the mix while it mixes that layer alone, its columns
    // are taken over instead of computed again.
    void bindlayer(layer* bindlayer, qint32 channel, const std::vector<TexBuffer*>& others);

    // The layer whose samples alone a read of `l` gives, at the gain a read
    // of that layer applies: l itself, the one layer a container without
    // samples of its own mixes, or null when nothing or several are heard.
    static const layer* soleread(layer* l);

public slots:
    void bindlayer(layer* bindlayer, qint32 channel);
    void infftparam(qint32 ffttype, qint32 fftsize, qint32 fftoverlap, bool fftsubwin);
    void intexrequest(QRectF area, QSize texres, QRectF updatearea, bool streamed);
    void intexrequest(QRectF area, QSize texres, QRectF updatearea);
    void intexrequest(QRectF area, QSize texres);

signals:
    void outtexdata();

protected:
    // The worker loop: on its own thread (launch()), or on the caller's for a
    // request that is not streamed.
    void run();

private:
    // A standard thread rather than a QThread: its join is a hand-over that
    // ThreadSanitizer sees, where QThread::wait's happens inside Qt.
    std::thread loop;
    std::atomic<bool> running{false};
    // Joins a loop that has ended or is ending, then starts run() anew.
    void launch();
    void join();
    // Where the columns and rows of a result lie: column c (absolute) is
    // centred on c * tstep hops and takes the frames whose centres lie within
    // half a column of it; row r (absolute) is centred on bin r * fstep.
    struct Grid
    {
        double tstep = 0; // hops per column, a whole number of quarters
        int fstep = 0;    // bins per row
        qint64 firstcolumn = 0;
        int columns = 0;
        qint64 firstrow = 0;
        int rows = 0;
        bool samebands(const Grid& o) const
        {
            return tstep == o.tstep && fstep == o.fstep && firstrow == o.firstrow && rows == o.rows;
        }
    };
    // A result's storage, kept between requests and grown only when needed.
    struct Block
    {
        float* data = nullptr;
        qint64 capacity = 0; // floats
        float* peaks = nullptr;
        qint64 peakcapacity = 0;
        bool reserve(qint64 floats, qint64 columns);
        void release();
    };

    // Under requestmutex: the worker loop is running or about to run. Cleared
    // by the loop under the same lock at which it finds no request left, so a
    // request either reaches the running loop or starts a new one.
    bool busy = false;
    bool stopping = false;
    std::atomic<bool> abortwork{false};
    bool gaveup = false; // under requestmutex: the last loop left its request for resume()
    class Supersede;
    bool givingup() const { return abortwork || superseding.load(std::memory_order_relaxed) > 0; }
    // Starts the loop again for a request left pending by a computation that gave up.
    void resume();
    // Time spans (s) changed since the last request was taken (requestmutex).
    std::vector<std::pair<double, double>> pendingchanges;

    // blocks[current] holds the columns of the last computed result (the
    // published one); the other is filled by the next computation. The
    // worker changes which block is current, `cached`, `valid` and
    // `cachedsource` under resultmutex, so that another worker of the view
    // may copy them meanwhile (takeover).
    Block blocks[2];
    int current = 0;
    Grid cached;                     // columns == 0: nothing kept
    std::vector<std::uint8_t> valid; // per column of blocks[current]
    const layer* cachedsource = nullptr; // soleread() of the layer they show
    bool fftsubwin = false;

    // Copies the columns of `donor` when they show what the bound layer
    // reads; under parammutex (Supersede) of this worker.
    bool takeover(TexBuffer& donor);
    void notechange(const QRectF& area);
    void dropcache();
    bool requestusable() const;
    // The frames (absolute) whose centres lie in column c's span.
    std::pair<qint64, qint64> columnframes(double tstep, qint64 c) const;
    void forgetchanged(const std::vector<std::pair<double, double>>& changes);
    // Computes the area of the pending request (taken already, its changes
    // forgotten) and publishes it; false when it gave up (givingup()) and
    // published nothing.
    bool compute(QRectF area, QSize texres);
    void computecolumns(const Grid& g, Block& work, qint64 first, qint64 last);
    void publish(const QRectF& resultarea, const Grid& g);
};
