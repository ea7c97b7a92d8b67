// The Advanced Settings dialog: folders, limits and layer colours kept in the
// settings store. Every control acts at once; there is nothing to confirm.
#include "advancedsettings.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>

#include "controller/spectrumgui.h"
#include "core/fileutils.h"
#include "sdk/fitsize.h"
#include "sdk/typednumber.h"
#include "core/globals.h"
#include "core/log.h"
#include "filechooser.h"
#include "mainwindow.h"
#include "panels/layersgui.h"
#include "prompt.h"
#include "sessionfolder.h"
#include "startup.h"

namespace {

QSpinBox* limitspin(QWidget* parent, int low, int high, int value, const QString& prefix, const QString& suffix)
{
    auto* spin = new TypedSpinBox(parent);
    spin->setRange(low, high);
    spin->setSingleStep(1);
    spin->setValue(value);
    spin->setPrefix(prefix);
    spin->setSuffix(suffix);
    return spin;
}

QString colourstyle(const QColor& colour)
{
    return QStringLiteral("background: ") + colour.name();
}

void tellnextstart(QWidget* parent, const QString& title)
{
    PromptRequest request;
    request.parent = parent;
    request.icon = QMessageBox::Information;
    request.title = title;
    request.text = QObject::tr("The change will take effect<br>next time you launch %1.")
                       .arg(QCoreApplication::applicationName());
    request.buttons = QMessageBox::Ok;
    prompt(request);
}

} // namespace

int clearlogs(const QString& folder, const QString& running)
{
    const QString keep = QFileInfo(running).canonicalFilePath();
    QStringList files;
    listfiles(folder, files);
    int removed = 0;
    for (const QString& path : files) {
        const QFileInfo info(path);
        if (!islogfilename(info.fileName()) || info.isSymLink() || info.canonicalFilePath() == keep)
            continue;
        if (QFile::remove(path))
            ++removed;
    }
    return removed;
}

void MainWindow::createadvancedsettings()
{
    advanceddialog = new QDialog(this);
    advanceddialog->setModal(true);
    advanceddialog->setWindowTitle(tr("Advanced Settings"));
    advanceddialog->setWindowFlags(advanceddialog->windowFlags() & ~Qt::WindowContextHelpButtonHint);
    auto* column = new QVBoxLayout(advanceddialog);

    auto* paths = new QGroupBox(tr("Paths"), advanceddialog);
    auto* pathgrid = new QGridLayout(paths);
    // One row per folder: the folder (a click chooses another), its limit, its clean-up.
    const auto pathrow = [&](int row, const QString& folder, const QString& tip, QSpinBox* limit,
                             const QString& cleantext) {
        auto* button = new QPushButton(folder, paths);
        button->setToolTip(tip);
        pathgrid->addWidget(button, row, 0, 1, 2);
        pathgrid->addWidget(limit, row, 2);
        auto* clean = new QPushButton(cleantext, paths);
        pathgrid->addWidget(clean, row, 3);
        return std::make_pair(button, clean);
    };
    QSpinBox* sessiondays = limitspin(paths, 1, 30, sessionmax, QString(), tr(" days"));
    QPushButton* cleansessions;
    std::tie(sessionpathbutton, cleansessions) =
        pathrow(0, sessionpath, tr("Session path"), sessiondays, tr("Clean Sessions"));
    QSpinBox* logcount = limitspin(paths, 5, 50, logsmax, QString(), tr(" logs"));
    QPushButton* clearlogbutton;
    std::tie(logspathbutton, clearlogbutton) = pathrow(1, logspath, tr("Logs path"), logcount, tr("Clear Logs"));
    column->addWidget(paths);

    auto* history = new QGroupBox(tr("History"), advanceddialog);
    auto* historyrow = new QHBoxLayout(history);
    QSpinBox* projects = limitspin(history, 0, 10, projectmax, tr("Max Recent Projects: "), tr(" projects"));
    historyrow->addWidget(projects);
    QSpinBox* actions = limitspin(history, 4, 8, historymax, tr("Max History: "), tr(" actions"));
    historyrow->addWidget(actions);
    column->addWidget(history);

    auto* colours = new QGroupBox(tr("Colors"), advanceddialog);
    auto* colourrow = new QHBoxLayout(colours);
    mixcolorbutton = new QPushButton(tr("Mix"), colours);
    mixcolorbutton->setStyleSheet(colourstyle(colormix));
    selectcolorbutton = new QPushButton(tr("Selected Layer"), colours);
    selectcolorbutton->setStyleSheet(colourstyle(colorselect));
    clipboardcolorbutton = new QPushButton(tr("Clipboard"), colours);
    clipboardcolorbutton->setStyleSheet(colourstyle(colorclipboard));
    auto* resetcolours = new QPushButton(tr("Reset Colors"), colours);
    for (QPushButton* b : {mixcolorbutton, selectcolorbutton, clipboardcolorbutton, resetcolours})
        colourrow->addWidget(b);
    column->addWidget(colours);

    auto* resetall = new QPushButton(tr("Reset All Settings"), advanceddialog);
    fixedatleast(resetall, 120);
    column->addWidget(resetall, 0, Qt::AlignHCenter | Qt::AlignVCenter);

    // Connected after the values are set: building the dialog writes nothing.
    connect(sessionpathbutton, &QPushButton::clicked, this, &MainWindow::advsessionpath);
    connect(sessiondays, &QSpinBox::valueChanged, this, &MainWindow::advsessionmax);
    connect(cleansessions, &QPushButton::clicked, this, &MainWindow::advsessionclean);
    connect(logspathbutton, &QPushButton::clicked, this, &MainWindow::advlogspath);
    connect(logcount, &QSpinBox::valueChanged, this, &MainWindow::advlogsmax);
    connect(clearlogbutton, &QPushButton::clicked, this, &MainWindow::advlogsclean);
    connect(projects, &QSpinBox::valueChanged, this, &MainWindow::advprojectmax);
    connect(actions, &QSpinBox::valueChanged, this, &MainWindow::advhistorymax);
    connect(mixcolorbutton, &QPushButton::clicked, this, &MainWindow::advcolorpickmix);
    connect(selectcolorbutton, &QPushButton::clicked, this, &MainWindow::advcolorpickselect);
    connect(clipboardcolorbutton, &QPushButton::clicked, this, &MainWindow::advcolorpickclipboard);
    connect(resetcolours, &QPushButton::clicked, this, &MainWindow::advcolorreset);
    connect(resetall, &QPushButton::clicked, this, &MainWindow::advresetall);
}

void MainWindow::choosefolder(QPushButton* button, const QString& caption, const char* key,
                              const QString& changedtitle)
{
    FileRequest request;
    request.kind = FileRequest::Folder;
    request.parent = this;
    request.caption = caption;
    if (button && QFileInfo(button->text()).isDir())
        request.path = button->text();
    const QString chosen = choosefile(request);
    if (chosen.size() < 2)
        return;
    // The running session keeps its folder; the next start uses the new one.
    QSettings().setValue(QLatin1String(key), chosen);
    tellnextstart(this, changedtitle);
}

void MainWindow::advsessionpath()
{
    choosefolder(sessionpathbutton, tr("Select session folder"), "sessionpath", tr("Session folder changed"));
}

void MainWindow::advlogspath()
{
    choosefolder(logspathbutton, tr("Select logs folder"), "logspath", tr("Logs folder changed"));
}

namespace {
// A limit takes effect in this run's value and, from the next start, in the store.
void writelimit(int& value, const char* key, int limit)
{
    QSettings().setValue(QLatin1String(key), limit);
    value = limit;
}
} // namespace

void MainWindow::advsessionmax(int days)
{
    writelimit(sessionmax, "sessionmax", days);
}

void MainWindow::advlogsmax(int logs)
{
    writelimit(logsmax, "logsmax", logs);
}

void MainWindow::advprojectmax(int projects)
{
    writelimit(projectmax, "projectmax", projects);
}

void MainWindow::advhistorymax(int actions)
{
    writelimit(historymax, "historymax", actions);
}

void MainWindow::advsessionclean()
{
    removesessionfiles(sessionpath, sessionid);
}

void MainWindow::advlogsclean()
{
    clearlogs(logspath, logfilepath());
}

void MainWindow::pickcolour(const QColor& current, void (MainWindow::*change)(QColor))
{
    QColorDialog picker(current, this);
    // The toolkit's own picker reports every colour pointed at, which the
    // views follow live.
    picker.setOptions(QColorDialog::NoButtons | QColorDialog::DontUseNativeDialog);
    const QMetaObject::Connection live = connect(&picker, &QColorDialog::currentColorChanged, this, change);
    picker.exec();
    disconnect(live);
}

void MainWindow::advcolorpickmix()
{
    pickcolour(colormix, &MainWindow::advcolorchangemix);
}

void MainWindow::advcolorpickselect()
{
    pickcolour(colorselect, &MainWindow::advcolorchangeselect);
}

void MainWindow::advcolorpickclipboard()
{
    pickcolour(colorclipboard, &MainWindow::advcolorchangeclipboard);
}

void MainWindow::repaintcolours()
{
    invoke(layersgui, "LayersGui", "RefreshColors()");
    invoke(spectrumgui, "SpectrumGui", "inupdategl()");
}

void MainWindow::applycolour(QColor& colour, QPushButton* button, const char* key, const QColor& chosen)
{
    colour = chosen;
    if (button)
        button->setStyleSheet(colourstyle(chosen));
    QSettings().setValue(QLatin1String(key), chosen);
    repaintcolours();
}

void MainWindow::advcolorchangemix(QColor color)
{
    applycolour(colormix, mixcolorbutton, "colormix", color);
}

void MainWindow::advcolorchangeselect(QColor color)
{
    applycolour(colorselect, selectcolorbutton, "colorselect", color);
}

void MainWindow::advcolorchangeclipboard(QColor color)
{
    applycolour(colorclipboard, clipboardcolorbutton, "colorclipboard", color);
}

void MainWindow::advcolorreset()
{
    {
        QSettings settings;
        for (const char* key : {"colormix", "colorselect", "colorclipboard"})
            settings.remove(QLatin1String(key));
    }
    readcolours();
    const std::pair<QPushButton*, QColor> buttons[] = {
        {mixcolorbutton, colormix}, {selectcolorbutton, colorselect}, {clipboardcolorbutton, colorclipboard}};
    for (const auto& [button, colour] : buttons)
        if (button)
            button->setStyleSheet(colourstyle(colour));
    repaintcolours();
}

void MainWindow::advresetall()
{
    advcolorreset();
    QSettings().clear();
    tellnextstart(this, tr("Reset all settings"));
}
