#pragma once
// The controller behind the Layers dock: it owns every layer of the project
// and the two containers over them (the mix of the active layers and the
// container of all layers), keeps the project format, shows the layers as
// rows of a four-column tree and binds the mix and the current layer to the
// spectrum controller.
#include <QIcon>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QTreeWidgetItem>
#include <QUrl>
#include <QWidget>

#include "core/layer.h"
#include "sdk/interfaces.h"

class MainWindow;
class QAction;
class QMenu;
class QShortcut;
class QVBoxLayout;
class QTreeWidgetExt;
struct ProjectData;
struct ProjectLayers;

// The project format that every layer of the project has; all 0 while no
// project is open.
struct ProjectFormat
{
    int samplerate = 0;
    int channels = 0;
    int speakermask = 0;
};
extern ProjectFormat projectformat;

class LayersGui : public QObject
{
    Q_OBJECT
public:
    // Data roles of a row's name column.
    enum Role {
        LayerRole = Qt::UserRole,
        WidgetRole = Qt::UserRole + 1,
        LabelRole = Qt::UserRole + 2,
        SliderRole = Qt::UserRole + 3,
        SpinRole = Qt::UserRole + 4,
    };
    static constexpr int maxfileplugins = 1000;
    // Rows beyond this could not all be mixed: the containers hold as many children.
    static constexpr int maxrows = layer::maxchildren;

    explicit LayersGui(MainWindow* mainwindow);
    ~LayersGui() override;

    // Appends the button bar with the two actions below the tree.
    void makebuttonbar(QAction* left, QAction* right);

    QVBoxLayout* panellayout = nullptr;
    QTreeWidgetExt* tree = nullptr;
    layer* mixlayer = nullptr; // owned: the active rows except the current one
    QTreeWidgetItem* currentitem = nullptr; // the current row, or null
    FileInterface* fileplugins[maxfileplugins] = {};
    int fileplugincount = 0;
    QString mutestyle;
    QString mixstyle;
    QString selectstyle;
    float shadefactor = 0.75f; // lower colour of a row's gradient
    float lightfactor = 1.0f;  // upper colour
    QMenu* itemmenu = nullptr;  // shown over a row's name (not owned)
    QMenu* emptymenu = nullptr; // shown over empty space (not owned)
    MainWindow* mainwindow = nullptr;
    layer* alllayers = nullptr; // owned: the layers of all rows, in row order

    // The layer of a row (null for none).
    static layer* rowlayer(const QTreeWidgetItem* item);

signals:
    void outrefreshlayers();
    void outdellayers(layer* source);
    void outzoomselected();
    void outcalibrate(bool average, bool peak, float calibration, bool calzebra, bool calmult, bool calvol,
                      float* layerfactor);

public slots:
    void AddPlugin(FileInterface* fileplugin);
    bool Close();
    void Open();
    // Offers the newest session file of a run that ended without closing.
    void Recover();
    bool OpenProject(QString fileName);
    // localcopy: the layers get copies of the samples (the default); false:
    // sample files of the session folder become the layers' own, as when a
    // session is recovered.
    bool OpenXML(QString fileName, bool localcopy);
    bool OpenXML(QString fileName);
    void Import();
    void Import(QString fileName, QString selectedFormat);
    void Export();
    void ExportMix();
    // False (after saying why) when the file could not be written.
    bool ExportCaller(QString fileName);
    void Export(QString fileName, QString selectedFormat, layer* exportlayer);
    void Save();
    void SaveAs();
    // Writes this run's session file, which refers to the layers' own files.
    void SaveSession();
    bool SaveProject(QString fileName);
    // localcopy: the samples go into a folder beside the file (the default);
    // false: the file refers to the layers' own sample files.
    bool SaveXML(QString fileName, bool localcopy);
    bool SaveXML(QString fileName);
    // False (after saying why) when a layer could not be changed; then no layer is.
    bool InsertTime(double start, double length);
    bool RemoveTime(double start, double length);
    void NewLayer();
    void DuplicateLayer();
    void DeleteLayer();
    void Properties();
    void ZoomExtents();
    void Calibrate();
    void MoveUp();
    void MoveDown();
    void MergeDown();
    void MergeActive();
    void MergeAll();
    void ResampleProject();
    void SelectLayerKey();
    void NoItemClicked();
    void ItemClicked(QTreeWidgetItem* item, int field);
    void ItemDoubleClicked(QTreeWidgetItem* item, int field);
    void ContextMenu(QPoint pos);
    void SoloSelect();
    void RefreshColors();
    void involumechanged(int value);
    void involumechanged(double value);
    QTreeWidgetItem* inaddlayer(layer* newlayer, qint32 treeindex);
    void inrefreshalllayers();
    void inrefreshmixlayers();
    void inrefreshstatus();
    void inDropUrl(QList<QUrl> urlList);

private:
    // One of a row's controls (data roles above), or null.
    template <typename T>
    static T* rowpart(const QTreeWidgetItem* item, int role)
    {
        return item ? qobject_cast<T*>(item->data(3, role).value<QWidget*>()) : nullptr;
    }
    int rowcount() const;
    QTreeWidgetItem* row(int index) const;
    // The style sheet a row gets for its state (current, active, muted).
    QString rowstyle(QTreeWidgetItem* item) const;
    void restyle(QTreeWidgetItem* item);
    // Tells the main window which layer commands apply now.
    void reportstate();
    void setmodified();
    // A warning box when the project holds as many rows as can be mixed.
    bool roomforrow();
    // Removes a row's widget and item (not its layer).
    void removerow(QTreeWidgetItem* item);
    // Emits outdellayers, then deletes a row's widget, item and layer, and
    // the layer's sample file unless keepfile.
    void deleterow(QTreeWidgetItem* item, bool keepfile = false);
    // Unsaved changes are saved or given up as the user says; false: the
    // project stays open (Cancel, or a save that did not happen).
    bool maydiscard();
    // The new row's layer replaces `merged` rows: the rows are taken out of
    // the tree and the bindings, then deleted.
    void replacerows(const QList<QTreeWidgetItem*>& merged, layer* result, int resultindex);
    // A new layer that mixes `members` over their whole span, in the project
    // format; null (after telling the user under `title`) when it cannot be written.
    layer* mergedlayer(const QList<layer*>& members, const QString& name, const QString& title);
    bool askirreversible(const QString& title);
    // Inserts or removes time in the current layer, or in every layer when none is current.
    bool edittime(const QString& title, void (layer::*edit)(double, double), double start, double length);
    // Merge Active (all false) and Merge All: the result goes to the top.
    void mergerows(const QString& title, bool all);
    void moverow(int from, int to);
    // The row whose control under `role` sent the current signal, or null.
    QTreeWidgetItem* senderrow(int role) const;
    // The volume a row's controls stand for changed to `volume`.
    void setrowvolume(QTreeWidgetItem* item, float volume);
    // Asks for a name and a format when no project is open; false: cancelled.
    bool newlayerdialog(QString* name, int* samplerate, int* channels);
    // An empty container in the project format.
    static layer* newcontainer();

    // "<session folder>/session(<session id>).kvx"; empty without a session.
    static QString sessionfile();
    ProjectLayers projectlayers() const;
    // Closes the open project and puts the layers of `data` in its place;
    // false (after saying why under `title`) leaves the open project as it was.
    bool openproject(const QString& title, const QString& fileName, const ProjectData& data, bool adopt);
    // Reads a ".kvp" or (xml) ".kvx" file and opens it in place of the open project.
    bool openfile(const QString& fileName, bool xml, bool adopt);
    bool cannotopen(const QString& title, const QString& fileName, const QString& why);
    // The window names the project after the file it was saved to or opened from.
    void saved(const QString& fileName);
    bool nothingtosave(const QString& title);
    bool cannotsave(const QString& fileName, const QString& why);
    // A file dialog asked about the name as typed; one with an ending added
    // is asked about here before it is replaced.
    bool mayreplace(const QString& title, const QString& fileName);
    // Saves in the form the file's ending names.
    void saveto(const QString& fileName);

    // The file plugins' export formats, one list per plugin in load order.
    QList<QStringList> exportlists() const;
    // The export file dialog; false when cancelled or nothing is offered.
    bool chooseexport(const QString& title, const QString& name, QString* file, QString* filter);
    // A container of every active row's layer (null without a project).
    layer* activemix() const;
    // Writes source (a layer or a container) to fileName through the plugin
    // that offers `format`, or the one the file's extension names.
    // writeback: fileName is the caller's file, to be written in the coding it came in.
    bool exportto(const QString& title, const QString& fileName, QString format, layer* source,
                  bool writeback = false);


    QPointer<QWidget> panel; // the dock's content (owned by the dock once set)
    QIcon speakericon, soloicon, addicon, subicon;
    QList<QPointer<QShortcut>> shortcuts; // Shift+S, Up, Down on the main window
    bool sessionleft = false; // the session file stays for the next run to recover
    QStringList toldshort; // sample files cut short outside the program that the user was told of
    // The sessions recovered in this run: the session file names them, so
    // that a run that ends before one's own file goes does not offer it again.
    QStringList recoveredsessions;
    bool discardagreed = false; // the close question was answered before the project was read
};

// The one layer panel of the main window (null while there is none).
extern LayersGui* layersgui;
