#pragma once
// spotmeter, the readout graph: edits nothing. For every pointer event it
// reads, for each active channel, a line of cells through the pointer, along
// time (frames at the pointer's bin) or along frequency (bins at the pointer's
// frame), from the mix, the current layer and the clipboard, turns them into
// the chosen quantity and shows them as three curves per channel in the
// "Graph" window, one GraphRender per channel.
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QToolBar>

#include <vector>

#include "graphrender.h"
#include "interfaces.h"

class ToolPlugin : public QObject, public ToolInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.MURROWGATE.Korvane.Plugin.ToolInterface/1.0")
    Q_INTERFACES(ToolInterface)

public:
    ~ToolPlugin() override;
    bool initialize(const QString& pluginfile, QWidget* mainwindow) override;
    bool process(float time, float frequency, float pressure, float dtime, float dfreq, float dpressure, int key,
                 qint32 mousechannel) override;

    static constexpr int maxchannels = 8; // one curve set per channel up to here

    QPointer<QWidget> mainwindow;
    // The only setting on the tool bar, which the host owns: shows the window.
    QPointer<QPushButton> showgraph;
    // The graph window, a child of the main window; the widgets below live in
    // it and go with it.
    QPointer<QDialog> graphdialog;
    QPointer<GraphRender> renders[maxchannels];
    QPointer<QDoubleSpinBox> freqrange;
    QPointer<QDoubleSpinBox> timerange;
    QPointer<QComboBox> unitbox;
    QPointer<QComboBox> axisbox;
    // The current call's curves per channel; empty between calls.
    std::vector<float> valuesmix[maxchannels];
    std::vector<float> valuesselect[maxchannels];
    std::vector<float> valuesclip[maxchannels];
    int valuecount = 0;

public slots:
    void visible(bool visibility);
    void dialogclosed(int closed);
    void dialogfocuslost();
    void unitchanged(QString unit);

private:
    void buildgraphwindow(QWidget* parent);
    void freevalues();

    QPointer<QToolBar> settingsbar; // the bar handed to the host, while it lives
};
