#pragma once
// Channel views under test: made, shown and driven through their slots the
// way the controller drives them, and read back from their frame buffers.
#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QMutexLocker>
#include <QTimer>
#include <memory>

#include "core/log.h"
#include "view/glchannel.h"
#include "view/texbuffer.h"
#include "testsupport.h"
#include "viewtestsupport.h"

// The session log of the test, in its own logs folder, with error lines.
inline bool startlog()
{
    sessionid = "2000.01.01-00.00.00.000";
    return loginit(1);
}

inline QString logtext()
{
    return kvlogtext();
}

// A view of the given size, shown and exposed.
inline std::unique_ptr<GLChannel> makeview(int channel, int w = 400, int h = 300)
{
    auto view = std::make_unique<GLChannel>(channel, nullptr, nullptr);
    view->resize(w, h);
    view->show();
    if (!QTest::qWaitForWindowExposed(view.get(), 30000))
        return nullptr;
    return view;
}

// The controller's set-up of a view: parameters, then the layer, then the area.
// Without the grid, so that the spectrogram's own pixels can be checked.
inline void driveview(GLChannel& view, layer* l, int slot, const QRectF& area)
{
    view.infftparam(2, 4096, 4, false);
    view.ingamma(10); // a level exponent of 1 keeps the noise floor black
    view.ingrid(0);
    view.inbindlayer(l, slot);
    view.indisplayarea(area, QRectF(), 3);
}

// Paints until every slot in `which` has taken the newest result of its worker.
inline bool waitfortextures(GLChannel& view, std::initializer_list<int> which)
{
    return waituntil([&] {
        view.grabFramebuffer();
        for (int i : which) {
            TexBuffer* worker = view.texbuffers[i];
            QMutexLocker request(&worker->requestmutex);
            if (!worker->requesttaken || worker->isRunning())
                return false;
            QMutexLocker result(&worker->resultmutex);
            if (worker->resultlayer || !view.drawtex[i])
                return false;
        }
        return true;
    });
}

// The same layer as mix and current layer, both computed.
inline bool drivemixandcurrent(GLChannel& view, layer* l, const QRectF& area)
{
    driveview(view, l, 0, area);
    view.inbindlayer(l, 1);
    view.indisplayarea(area, QRectF(), 3);
    return waitfortextures(view, {0, 1});
}

// Row (from the top) of the brightest pixel of column x.
inline int brightestrow(const QImage& image, int x)
{
    int best = -1, bestvalue = -1;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb p = image.pixel(x, y);
        const int v = qRed(p) + qGreen(p) + qBlue(p);
        if (v > bestvalue) {
            bestvalue = v;
            best = y;
        }
    }
    return best;
}

// Answers the modal boxes that appear, noting their titles.
class BoxAnswerer : public QObject
{
public:
    QStringList titles;
    BoxAnswerer()
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                titles << box->windowTitle();
                box->done(QMessageBox::Ok);
            }
        });
        timer.start(50);
    }

private:
    QTimer timer;
};
