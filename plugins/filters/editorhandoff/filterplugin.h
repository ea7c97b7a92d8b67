#pragma once
// editorhandoff hands the area of the current layer to a wave editor of the
// user's choice and takes the edited audio back: the area's samples go into a
// 32-bit float WAVE file in the temporary folder, the editor runs on it, and
// once it exits the file is read back into the same area and deleted. The
// window keeps drawing meanwhile; after a moment a Cancel ends the editor and
// changes nothing. Any failure leaves the layer as it was and says why; an
// edited file that cannot be read back is kept in the temporary folder.
#include <QObject>
#include <QPointer>
#include <QPushButton>

#include "hostlink.h"
#include "interfaces.h"
#include "previewcycle.h"

class FilterPlugin : public QObject, public FilterInterface, public filterframe::TakesHost
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.MURROWGATE.Korvane.Plugin.FilterInterface/1.0")
    Q_INTERFACES(FilterInterface HostUser)

public:
    bool initialize(const QString& pluginfile, QWidget* mainwindow) override;
    bool process() override;

public slots:
    // The path button was clicked: choose the editor program.
    void external();

private:
    // Asks until the path is a program or the user gives up.
    bool chooseeditor();
    // Makes the round trip's exchange file (empty) and gives its name, or
    // says why it cannot and gives an empty name.
    QString newexchange();
    bool writeexchange(const QString& path);
    bool readexchange(const QString& path);
    void fail(const QString& text);
    // A failure after the editor ran: the file it left is kept, and the
    // message gives its name.
    void failkept(const QString& reason, const QString& path);

    QWidget* parent = nullptr;
    filterframe::OwnedDialog dialog;
    // The control lives in the dialog; this goes null when it is deleted.
    QPointer<QPushButton> pathbutton;
};
