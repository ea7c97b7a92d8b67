#include "layoutfile.h"

#include <QFile>

#include "core/fileutils.h"
#include "core/log.h"
#include "filechooser.h"
#include "mainwindow.h"
#include "prompt.h"

namespace {
const char* const layoutfilter = "Korvane Layout (*.kvl)";
}

QByteArray encodelayout(const QByteArray& geometry, const QByteArray& state)
{
    if (geometry.size() > 255)
        return QByteArray();
    QByteArray bytes;
    bytes.reserve(1 + geometry.size() + state.size());
    bytes.append(char(quint8(geometry.size())));
    bytes.append(geometry);
    bytes.append(state);
    return bytes;
}

bool decodelayout(const QByteArray& bytes, QByteArray* geometry, QByteArray* state)
{
    if (bytes.isEmpty())
        return false;
    const int length = quint8(bytes.at(0));
    if (bytes.size() < 1 + length)
        return false;
    *geometry = bytes.mid(1, length);
    *state = bytes.mid(1 + length);
    return !state->isEmpty();
}

void MainWindow::on_savelayout()
{
    FileRequest request;
    request.kind = FileRequest::Save;
    request.parent = this;
    request.caption = tr("Save Layout");
    request.path = QStringLiteral("default.kvl");
    request.filter = QLatin1String(layoutfilter);
    const QString path = choosefile(request);
    if (path.isEmpty())
        return;
    const QByteArray bytes = encodelayout(saveGeometry(), saveState(0));
    if (bytes.isEmpty()) {
        logerror(QStringLiteral("layout not saved: the window geometry does not fit the layout file"));
        return;
    }
    // Written whole or not at all: a failed save leaves an earlier layout intact.
    if (!replacefile(path, bytes))
        logerror(QStringLiteral("layout not saved: cannot write %1").arg(path));
}

void MainWindow::on_loadlayout()
{
    FileRequest request;
    request.kind = FileRequest::Open;
    request.parent = this;
    request.caption = tr("Load Layout");
    request.filter = QLatin1String(layoutfilter);
    const QString path = choosefile(request);
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > layoutfilelimit) {
        logerror(QStringLiteral("layout not loaded: %1 is not a readable layout file").arg(path));
        tell(this, QMessageBox::Warning, tr("Load Layout"),
             tr("%1 could not be read as a window layout.<br/>%2")
                 .arg(path.toHtmlEscaped(), (file.isOpen() ? tr("It is too large to be one.") : file.errorString()).toHtmlEscaped()));
        return;
    }
    QByteArray geometry, state;
    if (!decodelayout(file.readAll(), &geometry, &state) || !restoreGeometry(geometry)) {
        logerror(QStringLiteral("layout not loaded: %1 is not a layout file").arg(path));
        tell(this, QMessageBox::Warning, tr("Load Layout"),
             tr("%1 is not a window layout of this program; the window is unchanged.").arg(path.toHtmlEscaped()));
        return;
    }
    restoreState(state, 0);
}
