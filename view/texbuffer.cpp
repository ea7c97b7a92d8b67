#include "texbuffer.h"

#include <QMutexLocker>
#include <algorithm>
#include <climits>
#include <cmath>
#include <kissfft/kiss_fftr.h>

#include "analysiswindow.h"
#include "core/alignedmemory.h"
#include "core/globals.h"
#include "core/log.h"

TexBuffer::TexBuffer()
    : QThread(nullptr)
{
}

TexBuffer::~TexBuffer()
{
    {
        QMutexLocker request(&requestmutex);
        stopping = true;
    }
    abortwork = true;
    wait();
    QMutexLocker params(&parammutex);
    freetransform();
    alignedfree(workdata);
    alignedfree(workpeaks);
    workdata = workpeaks = nullptr;
    QMutexLocker result(&resultmutex);
    alignedfree(resultdata);
    alignedfree(resultpeaks);
    resultdata = resultpeaks = nullptr;
}

void TexBuffer::freetransform()
{
    alignedfree(window);
    alignedfree(timebuf);
    alignedfree(workbuf);
    if (fftcfg)
        kiss_fftr_free(fftcfg);
    window = timebuf = workbuf = nullptr;
    fftcfg = nullptr;
}

void TexBuffer::bindlayer(layer* bindlayer, qint32 channel)
{
    QMutexLocker params(&parammutex);
    boundlayer = bindlayer;
    this->channel = channel;
    samplerate = bindlayer ? bindlayer->samplerate : 0;
    framerate = rowdensity = 0;
}

void TexBuffer::infftparam(qint32 ffttype, qint32 fftsize, qint32 fftoverlap, bool fftsubwin)
{
    QMutexLocker params(&parammutex);
    freetransform();
    this->ffttype = ffttype;
    const int n = clampfftsize(fftsize);
    this->fftsize = n;
    this->fftoverlap = clampfftoverlap(fftoverlap);
    window = alignedalloc(n * int(sizeof(float)), 16);
    if (!window)
        logerror("TexBuffer::infftparam not allocated");
    else
        fillanalysiswindow(window, ffttype, n, fftsubwin);
    timebuf = alignedalloc((n + 2) * 4 * int(sizeof(float)), 16);
    workbuf = alignedalloc((n + 2) * 4 * int(sizeof(float)), 16);
    fftcfg = kiss_fftr_alloc(n, 0, nullptr, nullptr);
    if (window && (!timebuf || !workbuf || !fftcfg))
        logerror("TexBuffer::infftparam not allocated");
    if (!window || !timebuf || !workbuf || !fftcfg) {
        // Without its blocks the worker must not compute at all.
        freetransform();
        this->fftsize = -1;
    }
    framerate = rowdensity = 0;
}

void TexBuffer::intexrequest(QRectF area, QSize texres, QRectF updatearea, bool streamed)
{
    {
        QMutexLocker request(&requestmutex);
        this->area = area;
        this->texres = texres;
        this->updatearea = updatearea;
        requesttaken = false;
        if (busy || stopping)
            return; // the running loop takes the new request up
        busy = true;
    }
    if (streamed) {
        // A loop that has just found nothing left may still be ending.
        if (isRunning())
            wait();
        start(QThread::InheritPriority);
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
        const bool ready = fftsize >= 1 && fftoverlap >= 1 && boundlayer && channel >= 0 && samplerate >= 1
                           && window && fftcfg;
        if (!ready || !requestusable())
            break; // the request stays pending until it can be computed
        const QRectF a = area;
        const QSize res = texres;
        requesttaken = true;
        request.unlock();
        compute(a, res);
        if (abortwork)
            return;
        emit outtexdata();
        request.relock();
    }
    busy = false;
}

void TexBuffer::compute(QRectF request, QSize res)
{
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

    if (!(columnsd > 0) || !(rowsd > 0) || channel >= boundlayer->channels) {
        publish(resultarea, 0, 0);
        return;
    }
    if (columnsd * rowsd * 2.0 * sizeof(float) > double(INT_MAX - 64) || columnsd > INT_MAX / 8) {
        logerror(QString("TexBuffer: %1 x %2 values are more than one texture can hold")
                     .arg(columnsd)
                     .arg(rowsd));
        publish(resultarea, 0, 0);
        return;
    }
    const int columns = int(columnsd), rows = int(rowsd), firstrow = int(r0);

    alignedfree(workdata);
    alignedfree(workpeaks);
    workdata = alignedalloc(columns * rows * 2 * int(sizeof(float)), 16);
    workpeaks = alignedalloc(columns * int(sizeof(float)), 16);
    if (!workdata || !workpeaks) {
        logerror("TexBuffer: work blocks not allocated");
        alignedfree(workdata);
        alignedfree(workpeaks);
        workdata = workpeaks = nullptr;
        publish(resultarea, 0, 0);
        return;
    }

    const double t0 = resultarea.x();
    const double halfwindow = (n / 2) / sr;
    const double duration = n / sr;
    const kiss_fft_cpx* spectrum = reinterpret_cast<const kiss_fft_cpx*>(timebuf);
    for (int c = 0; c < columns; ++c) {
        if (abortwork)
            return;
        boundlayer->read(timebuf, t0 + c / framerate - halfwindow, duration, channel, true);
        float peak = 0;
        for (int j = 0; j < n; ++j) {
            const float v = std::fabs(timebuf[j]);
            if (v > peak) // also drops NaN
                peak = v;
        }
        workpeaks[c] = std::isfinite(peak) ? peak : 0.0f;
        vmul(workbuf, timebuf, window, unsigned(n));
        kiss_fftr(fftcfg, workbuf, reinterpret_cast<kiss_fft_cpx*>(timebuf));
        float* column = workdata + size_t(c) * rows * 2;
        for (int r = 0; r < rows; ++r) {
            const int bin = (firstrow + r) * fstep;
            float re = 0, im = 0;
            if (bin <= n / 2) {
                re = spectrum[bin].r;
                im = spectrum[bin].i;
            }
            // Broken samples must not poison the texture.
            if (!std::isfinite(re) || !std::isfinite(im))
                re = im = 0;
            column[2 * r] = re;
            column[2 * r + 1] = im;
        }
    }
    lastarea = resultarea;
    publish(resultarea, columns, rows);
}

void TexBuffer::publish(const QRectF& area, int columns, int rows)
{
    QMutexLocker result(&resultmutex);
    alignedfree(resultdata);
    alignedfree(resultpeaks);
    resultdata = resultpeaks = nullptr;
    resultlayer = boundlayer;
    resultchannel = channel;
    resultarea = area;
    if (columns > 0 && rows > 0) {
        resultres = QSize(columns, rows);
        // The work blocks are handed over whole rather than copied.
        resultdata = workdata;
        resultpeaks = workpeaks;
        workdata = workpeaks = nullptr;
    } else {
        resultres = QSize(-1, -1);
    }
}
