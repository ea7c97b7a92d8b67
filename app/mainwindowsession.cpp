// Files handed over from outside, the export back to a calling program, and
// the exit sequence.
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMetaMethod>
#include <QProgressDialog>
#include <QScopedValueRollback>
#include <QStatusBar>
#include <QTimer>

#include "controller/spectrumgui.h"
#include "core/globals.h"
#include "core/log.h"
#include "filealias.h"
#include "mainwindow.h"
#include "panels/channelsgui.h"
#include "panels/historygui.h"
#include "panels/layersgui.h"
#include "panels/qtreewidgetext.h"
#include "prompt.h"
#include "tabletapplication.h"

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
    // A project is opened, not imported, and is nobody's to export back to.
    if (filename.endsWith(QLatin1String(".kvp")) || filename.endsWith(QLatin1String(".kvx"))) {
        if (layersgui)
            filename.endsWith(QLatin1String(".kvp")) ? layersgui->OpenProject(filename) : layersgui->OpenXML(filename);
        return;
    }
    const int rows = layersgui && layersgui->tree ? layersgui->tree->topLevelItemCount() : 0;
    invoke(layersgui, "LayersGui", "Import(QString,QString)", Q_ARG(QString, filename), Q_ARG(QString, QString()));
    // A file handed over from outside that became a layer is the caller's:
    // the edited result can go back to it. A file that could not be read is not.
    if (layersgui && layersgui->tree && layersgui->tree->topLevelItemCount() > rows)
        callerpath = QFileInfo(filename).absoluteFilePath();
}

void MainWindow::sessionimportraw(const QByteArray& rawpath)
{
    const QString shown = QFile::decodeName(rawpath);
    logmessage(QStringLiteral("session import %1 (its name is no valid text)").arg(shown));
    // A project would be saved back under a name that cannot be written.
    if (shown.endsWith(QLatin1String(".kvp")) || shown.endsWith(QLatin1String(".kvx"))) {
        tell(this, QMessageBox::Warning, tr("Open Project"),
             tr("The name of %1 holds characters that are no valid text, so the project could not be saved under "
                "it.<br/>Rename the file, then open it.")
                 .arg(shown.toHtmlEscaped()));
        return;
    }
    const FileAlias alias(rawpath, sessionpath);
    if (alias.path().isEmpty()) {
        tell(this, QMessageBox::Critical, tr("Error Reading File"),
             tr("%1 could not be read: its name is no valid text, and no link to it could be made in the session "
                "folder %2.")
                 .arg(shown.toHtmlEscaped(), sessionpath.toHtmlEscaped()));
        return;
    }
    sessionimport(alias.path());
    // The link goes with this import: written back through it, the result
    // would take the link's place, not the file's.
    if (callerpath == QFileInfo(alias.path()).absoluteFilePath()) {
        callerpath.clear();
        logmessage(QStringLiteral("%1 cannot be exported back to: its name is no valid text").arg(shown));
    }
}

void MainWindow::sessionexport()
{
    if (!callerpath.isEmpty()) {
        invoke(layersgui, "LayersGui", "ExportCaller(QString)", Q_ARG(QString, callerpath));
        return;
    }
    // A command that does nothing must say why. Beside the layer panel's
    // line, which every pointer event rewrites, and gone after a while.
    if (!callernote) {
        callernote = new QLabel(this);
        callernote->setObjectName(QStringLiteral("callernote"));
        statusBar()->addPermanentWidget(callernote);
    }
    callernote->setText(tr("No calling program handed a file over: there is nothing to export back to."));
    callernote->show();
    QTimer::singleShot(10000, callernote, &QWidget::hide);
}

void MainWindow::systemend()
{
    endrequested = true;
    // Closing from inside a nested loop would delete the panels under the
    // code that waits on it. Open questions are dismissed (answered Cancel),
    // progress is left to finish, and the window closes from the main loop.
    if (closing || TabletApplication::deliverydepth() > 1 || QApplication::activeModalWidget()) {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && !qobject_cast<QProgressDialog*>(modal))
            modal->close();
        QTimer::singleShot(50, this, &MainWindow::systemend);
        return;
    }
    close();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // A second close while the first waits on a question is left to the first.
    if (closing) {
        event->ignore();
        return;
    }
    const QScopedValueRollback<bool> guard(closing, true);
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
        // No hands nothing back; unsaved edits still get the close question.
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
        } else if (answer != QMessageBox::No) {
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
