// The layer panel itself: its tree and button bar, the rows with their
// controls and styles, the current row, the context menus and the status line.
#include "layersgui.h"

#include <QAction>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "app/mainwindow.h"
#include "controller/spectrumgui.h"
#include "core/fileutils.h"
#include "core/globals.h"
#include "qtreewidgetext.h"
#include "rowstyle.h"
#include "sdk/fitsize.h"
#include "sdk/typednumber.h"
#include "statusline.h"
#include "volumeslider.h"

ProjectFormat projectformat;
LayersGui* layersgui = nullptr;

namespace {

QIcon scaledicon(const QString& path)
{
    const QPixmap pixmap = transparencyicon(path);
    if (pixmap.isNull())
        return QIcon();
    return QIcon(pixmap.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

} // namespace

LayersGui::LayersGui(MainWindow* window) : mainwindow(window)
{
    registerlayermetatype();

    tree = new QTreeWidgetExt();
    tree->setRootIsDecorated(false);
    tree->setColumnCount(4);
    tree->setFocusPolicy(Qt::NoFocus);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree, &QWidget::customContextMenuRequested, this, &LayersGui::ContextMenu);
    connect(tree, &QTreeWidgetExt::noItemClicked, this, &LayersGui::NoItemClicked);
    connect(tree, &QTreeWidget::itemClicked, this, &LayersGui::ItemClicked);
    connect(tree, &QTreeWidget::itemDoubleClicked, this, &LayersGui::ItemDoubleClicked);
    connect(tree, &QTreeWidgetExt::dropUrl, this, &LayersGui::inDropUrl);

    speakericon = scaledicon(QStringLiteral(":/icons/Speaker.png"));
    soloicon = scaledicon(QStringLiteral(":/icons/Solo.png"));
    addicon = scaledicon(QStringLiteral(":/icons/Add.png"));
    subicon = scaledicon(QStringLiteral(":/icons/Sub.png"));

    auto* header = new QTreeWidgetItem();
    header->setIcon(0, speakericon);
    header->setToolTip(0, tr("Active"));
    header->setIcon(1, soloicon);
    header->setToolTip(1, tr("Solo"));
    header->setIcon(2, scaledicon(QStringLiteral(":/icons/AddSub.png")));
    header->setToolTip(2, tr("Additive or substractive mix"));
    header->setText(3, tr("Name / Volume"));
    header->setToolTip(3, tr("Layer name and volume"));
    tree->setHeaderItem(header);
    tree->header()->setStretchLastSection(true);
    tree->header()->setMinimumSectionSize(16);
    for (int c = 0; c < 3; ++c)
        tree->setColumnWidth(c, 24);
    tree->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Minimum);

    panellayout = new QVBoxLayout();
    panellayout->setContentsMargins(0, 0, 0, 0);
    panellayout->setSpacing(0);
    panellayout->addWidget(tree);
    panel = new QWidget();
    panel->setMinimumHeight(1);
    panel->setLayout(panellayout);
    if (layersdockptr)
        layersdockptr->setWidget(panel);

    fileplugincount = 0;
    projectformat = ProjectFormat();
    alllayers = mixlayer = nullptr;
    currentitem = nullptr;

    mutestyle = readstylesheet(QStringLiteral(":/stylesheets/layermute.css"));
    mixstyle = readstylesheet(QStringLiteral(":/stylesheets/layermix.css"));
    selectstyle = readstylesheet(QStringLiteral(":/stylesheets/layerselect.css"));
    shadefactor = 0.75f;
    lightfactor = 1.0f;

    if (mainwindow) {
        const struct {
            QKeyCombination key;
            void (LayersGui::*slot)();
        } keys[] = {
            {Qt::SHIFT | Qt::Key_S, &LayersGui::SoloSelect},
            {QKeyCombination(Qt::Key_Up), &LayersGui::SelectLayerKey},
            {QKeyCombination(Qt::Key_Down), &LayersGui::SelectLayerKey},
        };
        for (const auto& k : keys) {
            auto* shortcut = new QShortcut(QKeySequence(k.key), mainwindow);
            shortcut->setContext(Qt::WindowShortcut);
            connect(shortcut, &QShortcut::activated, this, k.slot);
            shortcuts.append(shortcut);
        }
    }
    layersgui = this;
}

LayersGui::~LayersGui()
{
    if (!sessionleft && !sessionfile().isEmpty())
        QFile::remove(sessionfile());
    // The keys go with the panel: a later panel of the same window makes its own.
    for (const QPointer<QShortcut>& shortcut : shortcuts)
        delete shortcut.data();
    // Rows left behind (Close was not called) still belong to this panel;
    // the controller lets go of them first.
    QList<layer*> rowlayers;
    if (panel)
        for (int i = 0; i < rowcount(); ++i)
            rowlayers << rowlayer(row(i));
    if (spectrumgui) {
        if (rowlayers.contains(slottable.bound[1]))
            spectrumgui->bindlayer(1, nullptr);
        if (mixlayer && slottable.bound[0] == mixlayer)
            spectrumgui->bindlayer(0, nullptr);
    }
    qDeleteAll(rowlayers);
    delete alllayers;
    alllayers = nullptr;
    delete mixlayer;
    mixlayer = nullptr;
    // A panel that never reached a dock takes its widgets along.
    if (panel && !panel->parent())
        delete panel;
    if (layersgui == this)
        layersgui = nullptr;
}

void LayersGui::makebuttonbar(QAction* left, QAction* right)
{
    auto* bar = new QWidget();
    bar->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Maximum);
    bar->setStyleSheet(QStringLiteral(
        "background-color: rgba(255,255,255,20); margin-left: 2px; margin-right: 2px; margin-top: 1px;"));
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setDirection(QBoxLayout::RightToLeft);
    for (QAction* action : {right, left}) {
        auto* button = new QToolButton(bar);
        button->setFixedSize(20, 20);
        if (action)
            button->setDefaultAction(action);
        layout->addWidget(button);
    }
    layout->addStretch();
    panellayout->addWidget(bar);
}

layer* LayersGui::rowlayer(const QTreeWidgetItem* item)
{
    return item ? item->data(3, LayerRole).value<layer*>() : nullptr;
}

int LayersGui::rowcount() const
{
    return tree->topLevelItemCount();
}

QTreeWidgetItem* LayersGui::row(int index) const
{
    return tree->topLevelItem(index);
}

QString LayersGui::rowstyle(QTreeWidgetItem* item) const
{
    if (item == currentitem)
        return fillrowstyle(selectstyle, colorselect, shadefactor, lightfactor);
    const layer* l = rowlayer(item);
    if (l && l->active)
        return fillrowstyle(mixstyle, colormix, shadefactor, lightfactor);
    return mutestyle;
}

void LayersGui::restyle(QTreeWidgetItem* item)
{
    if (QWidget* widget = item ? item->data(3, WidgetRole).value<QWidget*>() : nullptr)
        widget->setStyleSheet(rowstyle(item));
}

void LayersGui::RefreshColors()
{
    for (int i = 0; i < rowcount(); ++i)
        restyle(row(i));
}

void LayersGui::reportstate()
{
    if (mainwindow)
        mainwindow->layerstate(rowcount() > 0, currentitem != nullptr, rowcount() > 1);
}

void LayersGui::setmodified()
{
    if (mainwindow)
        mainwindow->setWindowModified(true);
    // The session file follows every change, not only the edits of the history.
    SaveSession();
}

QTreeWidgetItem* LayersGui::inaddlayer(layer* newlayer, qint32 treeindex)
{
    auto* item = new QTreeWidgetItem();
    if (newlayer->active)
        item->setIcon(0, speakericon);
    item->setIcon(2, newlayer->mixsign == 1 ? addicon : subicon);
    item->setData(3, LayerRole, QVariant::fromValue(newlayer));
    item->setFlags(Qt::ItemIsEnabled);
    item->setSizeHint(0, QSize(16, 24));
    item->setSizeHint(1, QSize(16, 24));
    tree->insertTopLevelItem(qBound(0, treeindex, rowcount()), item);

    auto* widget = new QWidget();
    widget->setObjectName(QStringLiteral("layer"));
    widget->setAttribute(Qt::WA_StyledBackground);
    fixedatleast(widget, -1, 24);
    auto* grid = new QGridLayout(widget);
    grid->setContentsMargins(0, 1, 0, 1);
    grid->setSpacing(0);
    auto* label = new QLabel(newlayer->name, widget);
    fixedatleast(label, -1, 12);
    label->setEnabled(false);
    auto* slider = new VolumeSlider(widget);
    slider->setFixedHeight(8);
    slider->setRange(-600, 120);
    slider->setStyleSheet(QStringLiteral("margin-left: 2px;"));
    auto* spin = new TypedDoubleSpinBox(widget);
    spin->setObjectName(QStringLiteral("compact"));
    fixedatleast(spin, 32);
    spin->setFixedHeight(12);
    spin->setContentsMargins(0, 0, 0, 0);
    // Beyond the slider's ends (-60 and +12 dB) the box alone goes on: it
    // shows the gain that plays, the slider stays at its end.
    spin->setRange(-200.0, 200.0);
    spin->setDecimals(1);
    spin->setSuffix(QStringLiteral("dB"));
    spin->setButtonSymbols(QAbstractSpinBox::NoButtons);
    grid->addWidget(label, 0, 0, 1, 2);
    grid->addWidget(slider, 1, 0);
    grid->addWidget(spin, 1, 1);
    widget->setStyleSheet(newlayer->active ? fillrowstyle(mixstyle, colormix, shadefactor, lightfactor) : mutestyle);

    // The values are set before the connections: building a row changes no
    // volume, also not a stored one beyond what the controls reach.
    const double db = 6.0 * std::log2(double(newlayer->volume));
    slider->setValue(int(std::lround(10.0 * db)));
    connect(slider, &QSlider::valueChanged, this, qOverload<int>(&LayersGui::involumechanged));
    spin->setValue(db);
    connect(spin, &QDoubleSpinBox::valueChanged, this, qOverload<double>(&LayersGui::involumechanged));

    tree->setItemWidget(item, 3, widget);
    item->setData(3, WidgetRole, QVariant::fromValue<QWidget*>(widget));
    item->setData(3, LabelRole, QVariant::fromValue<QWidget*>(label));
    item->setData(3, SliderRole, QVariant::fromValue<QWidget*>(slider));
    item->setData(3, SpinRole, QVariant::fromValue<QWidget*>(spin));
    return item;
}

void LayersGui::ItemClicked(QTreeWidgetItem* item, int field)
{
    if (mainwindow)
        mainwindow->setFocus(Qt::OtherFocusReason);
    layer* l = rowlayer(item);
    if (!l)
        return;
    switch (field) {
    case 0:
        l->active = l->active ? 0 : 1;
        item->setIcon(0, l->active ? speakericon : QIcon());
        if (item == currentitem) {
            if (spectrumgui)
                spectrumgui->bindlayer(1, l);
        } else {
            restyle(item);
            inrefreshmixlayers();
        }
        setmodified();
        break;
    case 2:
        l->mixsign = -l->mixsign;
        item->setIcon(2, l->mixsign == 1 ? addicon : subicon);
        if (item == currentitem) {
            if (spectrumgui)
                spectrumgui->bindlayer(1, l);
        } else {
            inrefreshmixlayers();
        }
        setmodified();
        break;
    case 1:
    case 3:
        if (item == currentitem) {
            if (field == 1)
                NoItemClicked();
            break;
        }
        if (QTreeWidgetItem* former = currentitem) {
            currentitem = nullptr;
            restyle(former);
            former->setIcon(1, QIcon());
        }
        currentitem = item;
        restyle(item);
        item->setIcon(1, soloicon);
        tree->scrollToItem(item, QAbstractItemView::EnsureVisible);
        if (spectrumgui)
            spectrumgui->bindlayer(1, l);
        inrefreshmixlayers();
        if (mainwindow)
            mainwindow->layerstate(rowcount() > 0, true, rowcount() > 1);
        break;
    default:
        break;
    }
}

void LayersGui::NoItemClicked()
{
    if (mainwindow)
        mainwindow->setFocus(Qt::OtherFocusReason);
    if (QTreeWidgetItem* former = currentitem) {
        currentitem = nullptr;
        restyle(former);
        former->setIcon(1, QIcon());
    }
    if (spectrumgui)
        spectrumgui->bindlayer(1, nullptr);
    inrefreshmixlayers();
    if (mainwindow)
        mainwindow->layerstate(rowcount() > 0, false, rowcount() > 1);
}

void LayersGui::SoloSelect()
{
    if (currentitem)
        ItemClicked(currentitem, 1);
}

void LayersGui::SelectLayerKey()
{
    auto* shortcut = qobject_cast<QShortcut*>(sender());
    if (!shortcut || rowcount() == 0)
        return;
    const int last = rowcount() - 1;
    const int current = currentitem ? tree->indexOfTopLevelItem(currentitem) : -1;
    int target = -1;
    if (shortcut->key() == QKeySequence(Qt::Key_Up))
        target = current < 0 ? last : current - 1;
    else if (shortcut->key() == QKeySequence(Qt::Key_Down))
        target = current < 0 ? 0 : (current < last ? current + 1 : -1);
    if (target >= 0)
        ItemClicked(row(target), 3);
}

void LayersGui::ContextMenu(QPoint pos)
{
    const QPoint global = tree->viewport()->mapToGlobal(pos);
    if (tree->itemAt(pos)) {
        const int fixed = tree->columnWidth(0) + tree->columnWidth(1) + tree->columnWidth(2);
        if (pos.x() >= fixed && itemmenu)
            itemmenu->exec(global);
        return;
    }
    if (emptymenu)
        emptymenu->exec(global);
}

void LayersGui::ItemDoubleClicked(QTreeWidgetItem*, int field)
{
    if (field == 3)
        emit outzoomselected();
}

void LayersGui::ZoomExtents()
{
    if (currentitem)
        emit outzoomselected();
}

void LayersGui::setrowvolume(QTreeWidgetItem* item, float volume)
{
    layer* l = rowlayer(item);
    if (!l || volume == l->volume)
        return;
    l->volume = volume;
    if (item == currentitem) {
        if (spectrumgui)
            spectrumgui->bindlayer(1, l);
    } else if (l->active) {
        inrefreshmixlayers();
    }
    setmodified();
}

QTreeWidgetItem* LayersGui::senderrow(int role) const
{
    for (int i = 0; i < rowcount(); ++i)
        if (rowpart<QWidget>(row(i), role) == sender())
            return row(i);
    return nullptr;
}

void LayersGui::involumechanged(double value)
{
    QTreeWidgetItem* item = senderrow(SpinRole);
    if (!item)
        return;
    // The slider covers less than the box: its clamped value must not come
    // back as the volume, the typed one holds.
    if (auto* slider = rowpart<QSlider>(item, SliderRole)) {
        const QSignalBlocker quiet(slider);
        slider->setValue(int(std::lround(10.0 * value)));
    }
    setrowvolume(item, float(std::exp2(value / 6.0)));
}

void LayersGui::involumechanged(int value)
{
    QTreeWidgetItem* item = senderrow(SliderRole);
    if (!item)
        return;
    if (auto* spin = rowpart<QDoubleSpinBox>(item, SpinRole)) {
        const QSignalBlocker quiet(spin);
        spin->setValue(value * 0.1);
    }
    setrowvolume(item, float(std::exp2(value / 60.0)));
}

void LayersGui::inrefreshstatus()
{
    if (!mainwindow)
        return;
    if (projectformat.samplerate < 1 || !alllayers) {
        mainwindow->statusBar()->showMessage(tr("No project loaded"), 0);
        return;
    }
    StatusInputs in;
    in.samplerate = projectformat.samplerate;
    in.channels = projectformat.channels;
    in.spanstart = alllayers->spanstart();
    in.spanlength = alllayers->spanlength();
    if (spectrumgui) {
        in.timecursor = spectrumgui->timecursor;
        in.fftsize = spectrumgui->fftsize;
        in.fftoverlap = spectrumgui->fftoverlap;
    }
    in.unittime = unittime;
    if (const auto line = statusline(in))
        mainwindow->statusBar()->showMessage(*line, 0);
}
