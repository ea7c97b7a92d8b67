#include "toolplugin.h"

#include <QAbstractItemView>
#include <QBoxLayout>
#include <QCoreApplication>
#include <QGridLayout>

#include <algorithm>
#include <climits>

#include "readout.h"
#include "fitsize.h"
#include "toolrounding.h"
#include "toolwidgets.h"

ToolPlugin::~ToolPlugin()
{
    // Normally the main window has taken the graph window along already. One
    // without a parent is ours; widgets can only go while the application does.
    if (graphdialog && QCoreApplication::instance())
        delete graphdialog.data();
}

bool ToolPlugin::initialize(const QString& pluginfile, QWidget* window)
{
    name = tr("Info Graph");
    label = tr("Graph");
    category = QStringLiteral("Info");
    icon = toolframe::loadicon(QStringLiteral(":/resources/spotmeter.png"));
    // A second call keeps the bar the host holds and the window it shows.
    if (!settingsbar) {
        showgraph = new QPushButton(tr("Show Graph"));
        showgraph->setCheckable(true);
        settingsbar = toolframe::newsettingsbar({showgraph});
    }
    if (!graphdialog)
        buildgraphwindow(window);
    // Choosing the tool shows its bar and so the window; choosing another
    // hides both.
    connect(settingsbar, &QToolBar::visibilityChanged, this, &ToolPlugin::visible, Qt::UniqueConnection);
    connect(showgraph, &QPushButton::toggled, graphdialog, &QDialog::setVisible, Qt::UniqueConnection);
    toolbar = settingsbar;
    cursor = toolframe::loadcursor(QStringLiteral(":/resources/spotmeterc.png"));
    valuecount = 0;
    mainwindow = window;
    return true;
}

void ToolPlugin::buildgraphwindow(QWidget* parent)
{
    freqrange = toolframe::newspinbox({0, 10000, 10, 0, 4000, tr("freq range:"), tr(" Hz"), {}});
    freqrange->setFixedHeight(20);
    timerange = toolframe::newspinbox({0.1, 10, 0.1, 2, 1, tr("time range:"), tr("s"), {}});
    timerange->setFixedHeight(20);
    unitbox = new QComboBox();
    unitbox->view()->setFixedWidth(140);
    unitbox->addItems({tr("Power dB"), tr("Power Value"), tr("Phase Radian"), tr("Phase Degree"),
                       tr("Relative Phase Vel.")});
    fixedatleast(unitbox, 100);
    unitbox->setFixedHeight(20);
    axisbox = new QComboBox();
    axisbox->addItems({tr("Time"), tr("Freq.")});
    fixedatleast(axisbox, 60);
    axisbox->setFixedHeight(20);
    connect(axisbox, &QComboBox::currentTextChanged, this, &ToolPlugin::unitchanged);

    graphdialog = new QDialog(parent);
    graphdialog->setBaseSize(200, 200);
    graphdialog->setStyleSheet(QStringLiteral("width: 200px; height: 200px"));
    graphdialog->setWindowTitle(tr("Graph"));
    graphdialog->setWindowFlags(graphdialog->windowFlags() & ~Qt::WindowContextHelpButtonHint);
    graphdialog->resize(500, 300);
    connect(graphdialog, &QDialog::finished, this, &ToolPlugin::dialogclosed);

    auto* grid = new QGridLayout(graphdialog);
    grid->setContentsMargins(2, 2, 2, 2);
    auto* container = new QWidget();
    auto* row = new QBoxLayout(QBoxLayout::LeftToRight, container);
    row->setContentsMargins(2, 2, 2, 2);
    for (int c = 0; c < maxchannels; ++c) {
        renders[c] = new GraphRender();
        row->addWidget(renders[c]);
        renders[c]->hide();
        renders[c]->setChannel(c);
    }
    grid->addWidget(container, 0, 0, 1, 3);
    grid->addWidget(unitbox, 1, 0);
    grid->addWidget(axisbox, 1, 1);
    grid->addWidget(timerange, 1, 2);
    grid->addWidget(freqrange, 1, 2);
    freqrange->hide();
}

void ToolPlugin::visible(bool visibility)
{
    if (showgraph)
        showgraph->setChecked(visibility);
}

void ToolPlugin::dialogclosed(int closed)
{
    if (showgraph)
        showgraph->setChecked(false);
}

void ToolPlugin::dialogfocuslost()
{
    if (showgraph)
        showgraph->setChecked(false);
}

void ToolPlugin::unitchanged(QString unit)
{
    if (!freqrange || !timerange || !axisbox)
        return;
    const bool time = unit == axisbox->itemText(0);
    freqrange->setVisible(!time);
    timerange->setVisible(time);
}

void ToolPlugin::freevalues()
{
    for (int c = 0; c < maxchannels; ++c) {
        valuesmix[c] = {};
        valuesselect[c] = {};
        valuesclip[c] = {};
    }
    valuecount = 0;
}

bool ToolPlugin::process(float time, float frequency, float pressure, float dtime, float dfreq, float dpressure,
                         int key, qint32 mousechannel)
{
    using toolframe::roundhalfup;
    if (!freqrange || !timerange || !unitbox || !axisbox)
        return true;
    for (const QPointer<GraphRender>& render : renders)
        if (!render)
            return true;
    if (samplerate <= 0 || fftsize < 2 || overlap <= 0 || fftsize / overlap <= 0 || !getbin)
        return true;
    const int hop = fftsize / overlap;

    // The line of cells through the pointer: frames along time, bins along
    // frequency, centred on the pointer's cell.
    const bool timeaxis = axisbox->currentIndex() == 0;
    const int n = std::max(0, timeaxis ? roundhalfup(timerange->value() * samplerate / hop)
                                       : roundhalfup(freqrange->value() * fftsize / samplerate));
    const long long firstoffset = -(n / 2);
    valuecount = n;
    for (int c = 0; c < maxchannels; ++c) {
        valuesmix[c].assign(n, 0.0f);
        valuesselect[c].assign(n, 0.0f);
        valuesclip[c].assign(n, 0.0f);
    }

    const int q = std::clamp(unitbox->currentIndex(), 0, spotmeter::quantitycount - 1);
    const auto quantity = spotmeter::Quantity(q);
    const bool needsnext = quantity == spotmeter::Quantity::phasevelocity;
    const long long centrebin = roundhalfup(double(frequency) * fftsize / samplerate);
    const long long centreframe = roundhalfup(double(samplerate) * time / hop);
    const int shown = std::min(channels, int(maxchannels));
    // Frames before the first, bins outside 0 .. fftsize/2 and frame indices
    // past the int range (the pointer at the unset time) hold nothing: they
    // read as silence without asking the host.
    const auto cell = [&](int buffer, int channel, long long frame, long long bin) {
        if (frame < 0 || frame > INT_MAX || bin < 0 || bin > fftsize / 2)
            return QVector2D();
        return getbin(buffer, channel, int(frame), int(bin));
    };
    for (int i = 0; i < n; ++i) {
        const long long bin = centrebin + (timeaxis ? 0 : firstoffset + i);
        const long long frame = centreframe + (timeaxis ? firstoffset + i : 0);
        for (int c = 0; c < shown; ++c) {
            if (!((unsigned(channelmask) >> c) & 1u))
                continue;
            const QVector2D vm = cell(0, c, frame, bin);
            const QVector2D vs = cell(1, c, frame, bin);
            const QVector2D vc = cell(2, c, frame, bin);
            QVector2D wm, ws, wc;
            if (needsnext) {
                wm = cell(0, c, frame + 1, bin);
                ws = cell(1, c, frame + 1, bin);
                wc = cell(2, c, frame + 1, bin);
            }
            const int k = bin >= 0 && bin <= fftsize / 2 ? int(bin) : 0;
            valuesmix[c][i] = spotmeter::valueof(quantity, vm, wm, k, overlap);
            valuesselect[c][i] = spotmeter::valueof(quantity, vs, ws, k, overlap);
            valuesclip[c][i] = spotmeter::valueof(quantity, vc, wc, k, overlap);
        }
    }

    const spotmeter::Scale scale = spotmeter::scaleof(quantity);
    const float half = float(timeaxis ? timerange->value() : freqrange->value()) / 2;
    const float centre = timeaxis ? time : frequency;
    const QString horizontalunit = timeaxis ? QStringLiteral("s") : QStringLiteral("Hz");
    for (int c = 0; c < maxchannels; ++c) {
        GraphRender* render = renders[c];
        // Channels the project no longer has show nothing either.
        if (c >= shown) {
            render->hide();
            continue;
        }
        render->setColor(colormix, colorselect, colorclipboard);
        if ((unsigned(channelmask) >> c) & 1u) {
            render->setValues(centre - half, centre + half, scale.bottom, scale.top, horizontalunit, scale.unit, n,
                              valuesmix[c].data(), valuesselect[c].data(), valuesclip[c].data());
            render->show();
        } else {
            render->hide();
        }
    }

    // The renders keep their own copies.
    freevalues();
    // The graph window must not keep the keyboard from the views.
    if (mainwindow)
        mainwindow->activateWindow();
    return true;
}
