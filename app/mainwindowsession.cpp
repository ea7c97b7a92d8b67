// Files handed over from outside, the export back to a calling program, and
// the exit sequence.
#include <QCloseEvent>
#include <QFileInfo>
#include <QMetaMethod>

#include "controller/spectrumgui.h"
#include "core/log.h"
#include "mainwindow.h"
#include "panels/channelsgui.h"
#include "panels/historygui.h"
#include "panels/layersgui.h"
#include "panels/qtreewidgetext.h"
#include "prompt.h"

namespace {
QByteArray methodname(const QByteArray& signature)
{
    return signature.left(signature.indexOf('('));
}
} // namespace

bool MainWindow::invokeon(QObject* receiver, const char* receivername, const char* signature,
                          const std::function<bool(const char*)>& call)
{
    const QByteArray normal = QMetaObject::normalizedSignature(signature);
    if (receiver && receiver->metaObject()->indexOfMethod(normal.constData()) >= 0
        && call(methodname(normal).constData()))
        return true;
    const QString missing = QStringLiteral("%1::%2").arg(QLatin1String(receivername), QString::fromLatin1(normal));
    if (!missingcalls.contains(missing))
        missingcalls.append(missing);
    return false;
}

bool MainWindow::invoke(QObject* receiver, const char* receivername, const char* signature, QGenericArgument argument,
                        QGenericArgument second)
{
    return invokeon(receiver, receivername, signature, [&](const char* name) {
        return QMetaObject::invokeMethod(receiver, name, Qt::DirectConnection, argument, second);
    });
}

bool MainWindow::invokeresult(QObject* receiver, const char* receivername, const char* signature,
                              QGenericReturnArgument result, QGenericArgument argument)
{
    return invokeon(receiver, receivername, signature, [&](const char* name) {
        return QMetaObject::invokeMethod(receiver, name, Qt::DirectConnection, result, argument);
    });
}

void MainWindow::sessionimport(QString filename)
{
    if (filename.size() > 1)
        logmessage(QStringLiteral("session import %1").arg(filename));
    if (filename.isEmpty())
        return;
    const int rows = layersgui && layersgui->tree ? layersgui->tree->topLevelItemCount() : 0;
    invoke(layersgui, "LayersGui", "Import(QString,QString)", Q_ARG(QString, filename), Q_ARG(QString, QString()));
    // A file handed over from outside that became a layer is the caller's:
    // the edited result can go back to it. A file that could not be read is not.
    if (layersgui && layersgui->tree && layersgui->tree->topLevelItemCount() > rows)
        callerpath = QFileInfo(filename).absoluteFilePath();
}

void MainWindow::sessionexport()
{
    if (!callerpath.isEmpty())
        invoke(layersgui, "LayersGui", "ExportCaller(QString)", Q_ARG(QString, callerpath));
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Once the controllers are gone there is nothing left to ask or close.
    if (controllersgone) {
        event->accept();
        return;
    }
    if (!callerpath.isEmpty() && !endrequested) {
        PromptRequest request;
        request.parent = this;
        request.icon = QMessageBox::Question;
        request.title = tr("Exiting");
        request.text = tr("Export back to the caller program ?");
        request.buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        const QMessageBox::StandardButton answer = prompt(request);
        if (answer == QMessageBox::Yes) {
            // A failed export has said why in its own box; the edits exist
            // only here, so the window stays open with them.
            bool exported = false;
            invokeresult(layersgui, "LayersGui", "ExportCaller(QString)", Q_RETURN_ARG(bool, exported),
                         Q_ARG(QString, callerpath));
            if (!exported) {
                event->ignore();
                return;
            }
            setWindowModified(false);
        } else if (answer == QMessageBox::No) {
            setWindowModified(false);
        } else {
            event->ignore();
            return;
        }
    }
    bool closed = true;
    invokeresult(layersgui, "LayersGui", "Close()", Q_RETURN_ARG(bool, closed));
    if (!closed) {
        event->ignore();
        return;
    }
    logmessage(QStringLiteral("exiting"));
    deletecontrollers();
    event->accept();
}

void MainWindow::deletecontrollers()
{
    if (controllersgone)
        return;
    delete spectrumgui;
    spectrumgui = nullptr;
    delete historygui;
    historygui = nullptr;
    delete channelsgui;
    channelsgui = nullptr;
    delete layersgui;
    layersgui = nullptr;
    controllersgone = true;
}

void MainWindow::showstartwindow()
{
    invoke(this, "MainWindow", "ShowStartDialog()");
}
