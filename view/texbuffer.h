#pragma once
// The display-transform worker of one layer slot of one channel view: on a
// thread of its own it reads the bound layer's samples of one channel for the
// visible time-frequency area, transforms them at a resolution that follows
// the view's pixel size and publishes a grid of raw complex values (columns =
// frames, rows = frequencies) with a peak sample level per column.
//
// Requests are not queued: only the newest pending request counts, and one
// that arrives while a computation runs is taken up right after it.
#include <QMutex>
#include <QRectF>
#include <QSize>
#include <QThread>
#include <atomic>

#include "core/layer.h"

struct kiss_fftr_state;

class TexBuffer : public QThread
{
    Q_OBJECT
public:
    TexBuffer();
    // Stops a computation in progress and waits for the thread to end.
    ~TexBuffer() override;

    // Binding and transform parameters (guarded by parammutex).
    layer* boundlayer = nullptr;
    int channel = -1;
    int samplerate = 0;
    int ffttype = -1;
    int fftsize = -1;
    int fftoverlap = 0;
    float* window = nullptr;
    float* timebuf = nullptr;
    float* workbuf = nullptr;
    kiss_fftr_state* fftcfg = nullptr;
    QRectF lastarea;
    double framerate = 0;
    double rowdensity = 0;
    float* workdata = nullptr;
    float* workpeaks = nullptr;
    QMutex parammutex;

    // The pending request (guarded by requestmutex).
    QMutex requestmutex;
    QRectF area;
    QSize texres = QSize(-1, -1);
    QRectF updatearea;
    bool requesttaken = false;

    // The published result (guarded by resultmutex). The view consumes it by
    // freeing resultdata (alignedfree) and setting resultlayer to null.
    QMutex resultmutex;
    layer* resultlayer = nullptr;
    int resultchannel = -1;
    QRectF resultarea;
    QSize resultres = QSize(-1, -1);
    float* resultdata = nullptr;  // columns x rows (re, im), column-major, rows rising in frequency
    float* resultpeaks = nullptr; // one peak level per column

public slots:
    void bindlayer(layer* bindlayer, qint32 channel);
    void infftparam(qint32 ffttype, qint32 fftsize, qint32 fftoverlap, bool fftsubwin);
    void intexrequest(QRectF area, QSize texres, QRectF updatearea, bool streamed);
    void intexrequest(QRectF area, QSize texres, QRectF updatearea);
    void intexrequest(QRectF area, QSize texres);

signals:
    void outtexdata();

protected:
    void run() override;

private:
    // Under requestmutex: the worker loop is running or about to run. Cleared
    // by the loop under the same lock at which it finds no request left, so a
    // request either reaches the running loop or starts a new one.
    bool busy = false;
    bool stopping = false;
    std::atomic<bool> abortwork{false};

    void freetransform();
    bool requestusable() const;
    // Computes the area of the pending request (taken already) and publishes it.
    void compute(QRectF area, QSize texres);
    void publish(const QRectF& resultarea, int columns, int rows);
};
