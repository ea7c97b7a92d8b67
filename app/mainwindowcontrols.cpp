// The transport actions, the device controls, the spectral and display
// settings and the unit choices of the main window.
#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDial>
#include <QDoubleSpinBox>
#include <QAbstractItemView>
#include <QSettings>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>

#include "controller/spectrumgui.h"
#include "core/fileutils.h"
#include "core/globals.h"
#include "sdk/fitsize.h"
#include "sdk/typednumber.h"
#include "mainwindow.h"

namespace {
const QString spectrum = QStringLiteral("SpectrumGui");
} // namespace

void MainWindow::createdevicecontrols()
{
    struct Entry
    {
        QAction** member;
        const char* text;
        const char* icon;
        QKeyCombination key;
        QList<QKeyCombination> extra;
        const char* tip;
        int data;
    };
    const Entry entries[] = {
        {&rewindact, QT_TR_NOOP("Rewind [home]"), ":/icons/Rewind.png", Qt::Key_Home,
         {Qt::Key_Stop, Qt::Key_MediaStop}, "Rewind playback or record", -1},
        {&playact, QT_TR_NOOP("Play [space]"), ":/icons/Play.png", Qt::Key_Space,
         {Qt::Key_Pause, Qt::Key_MediaPlay, Qt::Key_MediaPause, Qt::Key_MediaTogglePlayPause},
         "Play mix or selected layer", 0},
        {&playstartact, QT_TR_NOOP("Play from start [shift+space]"), ":/icons/PlayAll.png", Qt::SHIFT | Qt::Key_Space,
         {Qt::SHIFT | Qt::Key_Pause, Qt::SHIFT | Qt::Key_MediaPlay, Qt::SHIFT | Qt::Key_MediaPause,
          Qt::SHIFT | Qt::Key_MediaTogglePlayPause},
         "Play mix or selected layer from start", 1},
        {&loopact, QT_TR_NOOP("Loop [ctrl+space]"), ":/icons/PlayRepeat.png", Qt::CTRL | Qt::Key_Space,
         {Qt::CTRL | Qt::Key_Pause, Qt::CTRL | Qt::Key_MediaPlay, Qt::CTRL | Qt::Key_MediaPause,
          Qt::CTRL | Qt::Key_MediaTogglePlayPause},
         "Play mix or selected layer from start (loop mode)", 2},
        {&playclipact, QT_TR_NOOP("Play Clipboard [tab]"), ":/icons/PlayClipboard.png", Qt::Key_Tab, {},
         "Play clipboard content", 3},
        {&recordact, QT_TR_NOOP("Record [ctrl+r]"), ":/icons/Record.png", Qt::CTRL | Qt::Key_R,
         {Qt::Key_MediaRecord}, "Record to selected layer", 4},
    };
    for (const Entry& s : entries) {
        QAction* a = makeaction(tr(s.text), s.icon);
        a->setShortcut(QKeySequence(s.key));
        for (QKeyCombination key : s.extra) {
            auto* shortcut = new QShortcut(QKeySequence(key), this);
            shortcut->setContext(Qt::WindowShortcut);
            connect(shortcut, &QShortcut::activated, a, &QAction::trigger);
        }
        a->setStatusTip(QString::fromLatin1(s.tip));
        a->setData(s.data);
        links.add(a, "triggered()", spectrumgui, spectrum, "indevicetrig()");
        *s.member = a;
    }
    // The loop mode is not offered: neither its key nor its extra keys start it.
    loopact->setEnabled(false);
    loopact->setVisible(false);
    rewindaction = rewindact;
    playclipboardaction = playclipact;

    volumespin = new TypedSpinBox(this);
    volumespin->setToolTip(QStringLiteral("volume"));
    volumespin->setStatusTip(QStringLiteral("playback volume"));
    // The dial's range: a value beyond it would be shown as the dial's end
    // while the controller played the value typed.
    volumespin->setRange(-12, 12);
    volumespin->setSingleStep(1);
    volumespin->setSuffix(QStringLiteral("dB"));
    volumespin->setObjectName(QStringLiteral("compact"));
    volumespin->setStyleSheet(QStringLiteral("QSpinBox {margin-top: 28px; }"));
    fixedatleast(volumespin, 30, 40);
    volumespin->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    volumedial = new QDial(volumespin);
    volumedial->setStatusTip(QStringLiteral("playback volume"));
    volumedial->setRange(-12, 12);
    volumedial->setSingleStep(1);
    volumedial->setWrapping(false);
    volumedial->setNotchesVisible(true);
    volumedial->setFixedSize(30, 30);
    connect(volumespin, &QSpinBox::valueChanged, volumedial, &QDial::setValue);
    connect(volumedial, &QDial::valueChanged, volumespin, &QSpinBox::setValue);
    links.add(volumespin, "valueChanged(int)", spectrumgui, spectrum, "involume(int)");
    links.add(spectrumgui, "outvolume(int)", volumespin, QStringLiteral("volume spin box"), "setValue(int)");

    struct Box
    {
        QCheckBox** member;
        const char* text;
        const char* tip;
        const char* slot;
    };
    const Box boxes[] = {
        {&pausebox, "pause", "pause instead of stop", "inpause(int)"},
        {&scrollbox, "scroll", "auto-scroll view", "inscroll(int)"},
        {&clipbox, "clipb.", "solo clipboard when available", "inclipsolo(int)"},
        {&smartbox, "smart", "smart cursor (jump to layer start when new modifications are made or when centering layer)",
         "insmartcursor(int)"},
    };
    for (const Box& b : boxes) {
        auto* box = new QCheckBox(QString::fromLatin1(b.text), this);
        fixedatleast(box, 40);
        box->setStatusTip(QString::fromLatin1(b.tip));
        links.add(box, "stateChanged(int)", spectrumgui, spectrum, b.slot);
        *b.member = box;
    }
    clipbox->hide();
}

namespace {
QComboBox* combo(QWidget* parent, const char* tip, const char* status, int w, int h)
{
    auto* box = new QComboBox(parent);
    box->setToolTip(QString::fromLatin1(tip));
    box->setStatusTip(QString::fromLatin1(status));
    fixedatleast(box, w);
    box->setFixedHeight(h);
    return box;
}

template <class Spin>
Spin* compactspin(QWidget* parent, const char* tip, const char* status)
{
    auto* spin = new TypedNumber<Spin>(parent);
    spin->setToolTip(QString::fromLatin1(tip));
    spin->setStatusTip(QString::fromLatin1(status));
    spin->setObjectName(QStringLiteral("compact"));
    fixedatleast(spin, 28);
    spin->setFixedHeight(12);
    return spin;
}

QSlider* levelslider(QWidget* parent, const char* tip, const char* status, int low, int high)
{
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setToolTip(QString::fromLatin1(tip));
    slider->setStatusTip(QString::fromLatin1(status));
    slider->setRange(low, high);
    slider->setSingleStep(1);
    slider->setFixedSize(100, 12);
    return slider;
}
} // namespace

void MainWindow::createspectralcontrols()
{
    const QIcon warning(transparencyicon(QStringLiteral(":/icons/Warning.png")));
    ffttypebox = combo(this, "window type", "window type (sorted by leakage, worst to smallest)", 80, 20);
    ffttypebox->view()->setMinimumWidth(100);
    ffttypebox->addItems({QStringLiteral("Rectangular"), QStringLiteral("Bartlett"), QStringLiteral("Hann"),
                          QStringLiteral("Blackman"), QStringLiteral("Blackman-Harris")});
    for (int i : {0, 1}) {
        ffttypebox->setItemIcon(i, warning);
        ffttypebox->setItemData(i, QStringLiteral("heavy spectral leakage : should only be used for analysis purpose."),
                                Qt::ToolTipRole);
    }
    links.add(ffttypebox, "currentIndexChanged(int)", spectrumgui, spectrum, "inffttype(int)");

    fftsizebox = combo(this, "window size", "window size (time/frequency accuracy) [page up/page down]", 80, 20);
    for (int size = 64; size <= 65536; size *= 2)
        fftsizebox->addItem(QString::number(size), size);
    for (int i : {9, 10}) {
        fftsizebox->setItemIcon(i, warning);
        fftsizebox->setItemData(i, QStringLiteral("very slow"), Qt::ToolTipRole);
    }
    links.add(fftsizebox, "currentIndexChanged(int)", spectrumgui, spectrum, "infftsize(int)");
    links.add(spectrumgui, "outfftsizeindex(int)", fftsizebox, QStringLiteral("window size list"),
              "setCurrentIndex(int)");

    fftoverlapbox = combo(this, "window overlap", "window overlap (time subdivision)", 45, 20);
    for (int overlap : {2, 4, 8, 16})
        fftoverlapbox->addItem(QStringLiteral("x%1").arg(overlap), overlap);
    links.add(fftoverlapbox, "currentIndexChanged(int)", spectrumgui, spectrum, "infftoverlap(int)");

    subwinbox = new QCheckBox(QStringLiteral("subwin"), this);
    subwinbox->setToolTip(QStringLiteral("window subdivision"));
    subwinbox->setStatusTip(QStringLiteral("window subdivision (better time accuracy)"));
    subwinbox->setStyleSheet(QStringLiteral("margin-left: 1px;"));
    fixedatleast(subwinbox, 45);
    links.add(subwinbox, "stateChanged(int)", spectrumgui, spectrum, "infftsubwin(int)");

    const char* zebratip = "zebra pattern threshold";
    const char* zebrastatus = "zebra pattern threshold (zebras displayed over specified threshold)";
    zebraspin = compactspin<QSpinBox>(this, zebratip, zebrastatus);
    zebraspin->setSuffix(QStringLiteral("dB"));
    zebraspin->setRange(-200, 200);
    zebraslider = levelslider(this, zebratip, zebrastatus, -40, 40);
    zebraslider->setObjectName(QStringLiteral("stripes"));
    connect(zebraspin, &QSpinBox::valueChanged, zebraslider, &QSlider::setValue);
    connect(zebraslider, &QSlider::valueChanged, zebraspin, &QSpinBox::setValue);
    links.add(zebraspin, "valueChanged(int)", spectrumgui, spectrum, "inzebra(int)");
    links.add(spectrumgui, "outzebra(int)", zebraspin, QStringLiteral("zebra spin box"), "setValue(int)");

    const char* multtip = "level multiplier";
    const char* multstatus = "level multiplier (display setting) [alt+wheel]";
    multspin = compactspin<QSpinBox>(this, multtip, multstatus);
    multspin->setSuffix(QStringLiteral("dB"));
    multspin->setRange(-200, 200);
    multslider = levelslider(this, multtip, multstatus, -12, 80);
    connect(multspin, &QSpinBox::valueChanged, multslider, &QSlider::setValue);
    connect(multslider, &QSlider::valueChanged, multspin, &QSpinBox::setValue);
    links.add(multspin, "valueChanged(int)", spectrumgui, spectrum, "inmultiplier(int)");
    links.add(spectrumgui, "outmultiplier(int)", multspin, QStringLiteral("multiplier spin box"), "setValue(int)");

    const char* gammatip = "gamma";
    const char* gammastatus = "gamma (display setting) [alt+shift+wheel/alt+mid+wheel]";
    gammaspin = compactspin<QDoubleSpinBox>(this, gammatip, gammastatus);
    gammaspin->setPrefix(QString(QChar(0x0263)));
    gammaspin->setRange(1.0, 8.0);
    gammaspin->setSingleStep(0.1);
    gammaspin->setDecimals(1);
    gammaslider = levelslider(this, gammatip, gammastatus, 10, 80);
    links.add(spectrumgui, "outgamma(double)", gammaspin, QStringLiteral("gamma spin box"), "setValue(double)");
    links.add(gammaspin, "valueChanged(double)", spectrumgui, spectrum, "ingamma(double)");
    links.add(gammaslider, "valueChanged(int)", spectrumgui, spectrum, "ingamma(int)");
    links.add(spectrumgui, "outgamma(int)", gammaslider, QStringLiteral("gamma slider"), "setValue(int)");

    gridbox = new QCheckBox(QStringLiteral("grid"), this);
    gridbox->setStatusTip(QStringLiteral("grid [g]"));
    gridbox->setShortcut(QKeySequence(Qt::Key_G));
    fixedatleast(gridbox, 40);
    links.add(gridbox, "stateChanged(int)", spectrumgui, spectrum, "ingrid(int)");
    bilinbox = new QCheckBox(QStringLiteral("bilin"), this);
    bilinbox->setStatusTip(QStringLiteral("bilinear filtering [b]"));
    bilinbox->setShortcut(QKeySequence(Qt::Key_B));
    fixedatleast(bilinbox, 40);
    links.add(bilinbox, "stateChanged(int)", spectrumgui, spectrum, "infiltering(int)");
    links.add(spectrumgui, "outglenabled(bool)", bilinbox, QStringLiteral("bilinear box"), "setEnabled(bool)");
}

namespace {
QDoubleSpinBox* areaspin(QWidget* parent, const char* tip, const char* status, double low, double high,
                         int decimals, double step, const char* suffix)
{
    auto* spin = new TypedDoubleSpinBox(parent);
    fixedatleast(spin, 62);
    spin->setFixedHeight(13);
    spin->setStyleSheet(QStringLiteral("font-size: 10px;"));
    spin->setToolTip(QString::fromLatin1(tip));
    spin->setStatusTip(QString::fromLatin1(status));
    spin->setDecimals(decimals);
    spin->setRange(low, high);
    spin->setSingleStep(step);
    spin->setSuffix(QString::fromLatin1(suffix));
    return spin;
}
} // namespace

void MainWindow::createviewcontrols()
{
    struct Entry
    {
        QDoubleSpinBox** member;
        const char* tip;
        const char* status;
        double low, high;
        int decimals;
        double step;
        const char* suffix;
        const char* slot;
        const char* signal;
    };
    const Entry entries[] = {
        {&dispstart, "display start time", "display start time [mouse mid+drag]", -1e11, 1e11, 3, 1, " s",
         "indisplaystart(double)", "outdisplaystart(double)"},
        {&dispend, "display end time", "display end time [mouse mid+drag]", -1e11, 1e11, 3, 1, " s",
         "indisplayend(double)", "outdisplayend(double)"},
        {&displength, "display time range", "display time range [mouse wheel]", 0, 1e11, 3, 1, " s",
         "indisplaylength(double)", "outdisplaylength(double)"},
        {&displow, "display lowest frequency", "display lowest frequency [mouse mid+drag]", -1e11, 1e11, 0, 100,
         " Hz", "indisplaylow(double)", "outdisplaylow(double)"},
        {&disphigh, "display highest frequency", "display highest frequency [mouse mid+drag]", -1e11, 1e11, 0, 100,
         " Hz", "indisplayhigh(double)", "outdisplayhigh(double)"},
        {&disprange, "display frequency range", "display frequency range [mouse mid+wheel]", 0, 1e11, 0, 100, " Hz",
         "indisplayrange(double)", "outdisplayrange(double)"},
        {&dispsize, "3d displacement radius", "3d displacement radius [alt+mouse mid+drag]", 0, 64, 0, 1, " pix",
         "indispsize(double)", "outdispsize(double)"},
        {&dispangle, "3d displacement angle", "3d displacement angle [alt+mouse mid+drag]", -180, 180, 0, 1, " deg",
         "indispangle(double)", "outdispangle(double)"},
    };
    for (const Entry& s : entries) {
        QDoubleSpinBox* spin = areaspin(this, s.tip, s.status, s.low, s.high, s.decimals, s.step, s.suffix);
        links.add(spin, "valueChanged(double)", spectrumgui, spectrum, s.slot);
        links.add(spectrumgui, s.signal, spin, QString::fromLatin1(s.tip), "setValue(double)");
        *s.member = spin;
    }
    for (QDoubleSpinBox* spin : {dispsize, dispangle})
        links.add(spectrumgui, "outglenabled(bool)", spin, spin->toolTip(), "setEnabled(bool)");

    resetviewbutton = new QToolButton(this);
    fixedatleast(resetviewbutton, 62);
    resetviewbutton->setFixedHeight(13);
    resetviewbutton->setStatusTip(QStringLiteral("Reset view area"));
    resetviewact = new QAction(QStringLiteral("Reset View"), this);
    resetviewbutton->setDefaultAction(resetviewact);
    resetviewbutton->setStyleSheet(QStringLiteral("border: 1px solid rgba(0,0,0,100); font-size: 9px;"));
    links.add(resetviewbutton, "clicked()", spectrumgui, spectrum, "indispreset()");
    links.add(resetviewbutton, "clicked()", spectrumgui, spectrum, "inzoomreset()");
}

void MainWindow::createunitactions()
{
    const QStringList texts[4] = {
        {tr("mm:ss.ddd"), tr("second"), tr("sample"), tr("window"), tr("fourier transform"), tr("beat"), tr("frame")},
        {tr("Hz"), tr("rad/win"), tr("deg/win"), tr("note"), tr("octave")},
        {tr("dB"), tr("percent"), tr("value")},
        {tr("rad/win"), tr("deg/win"), tr("Hz")},
    };
    for (int g = 0; g < 4; ++g) {
        unitgroups[g] = new QActionGroup(this);
        unitgroups[g]->setExclusive(true);
        for (const QString& text : texts[g]) {
            auto* action = new QAction(text, this);
            action->setCheckable(true);
            unitgroups[g]->addAction(action);
            links.add(action, "triggered()", this, QStringLiteral("MainWindow"), "inunit()");
            unitactions[g].append(action);
        }
    }
}

void MainWindow::checkunittime()
{
    // Beats per minute stay below 300, frames per second times 60 reach it.
    int index = -1;
    if (unittime <= 0 && unittime >= -4 && unittime == int(unittime))
        index = -int(unittime);
    else if (unittime > 0)
        index = unittime < 300 ? 5 : 6;
    if (index >= 0 && index < unitactions[0].size())
        unitactions[0].at(index)->setChecked(true);
}

void MainWindow::inunit()
{
    auto* action = qobject_cast<QAction*>(sender());
    static const float fixed[4][5] = {{0, -1, -2, -3, -4}, {-10, -11, -12, -13, -14}, {-20, -21, -22}, {-11, -12, -10}};
    float* codes[4] = {&unittime, &unitfreq, &unitpow, &unitphase};
    for (int g = 0; action && g < 4; ++g) {
        const int i = unitactions[g].indexOf(action);
        if (i < 0)
            continue;
        bool ok = true;
        if (g == 0 && i == 5) {
            const double bpm = asknumber(this, tr("Beat"), tr("Beats per minute:"), 120, 0.1, 299.9, 1, &ok);
            if (ok)
                unittime = float(bpm);
        } else if (g == 0 && i == 6) {
            const double fps = asknumber(this, tr("Frame"), tr("Frames per second:"), 30, 5, 1000, 1, &ok);
            if (ok)
                unittime = float(60 * fps);
        } else {
            *codes[g] = fixed[g][i];
        }
        // Cancelled: the unit stays, and so does its mark in the menu.
        if (!ok) {
            checkunittime();
            return;
        }
    }
    QSettings settings;
    settings.setValue(QStringLiteral("unittime"), unittime);
    settings.setValue(QStringLiteral("unitfreq"), unitfreq);
    settings.setValue(QStringLiteral("unitpow"), unitpow);
    settings.setValue(QStringLiteral("unitphase"), unitphase);
    if (spectrumgui)
        spectrumgui->inunit();
}
