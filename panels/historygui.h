#pragma once
// The undo history behind the History dock: one row per edit of a layer, each
// owning the audio chunk of the edited range before and after the edit. The
// current row is the state the layers are in; Undo writes the current row's
// "before" chunk back and moves up, Redo moves down and writes that row's
// "after" chunk. The first row of a fresh history, "No Change", stands for the
// state before the first recorded edit.
#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <QUrl>

class MainWindow;
class QTreeWidgetExt;
class QTreeWidgetItem;
class layer;

class HistoryGui : public QObject
{
    Q_OBJECT
public:
    explicit HistoryGui(MainWindow* mainwindow);
    ~HistoryGui() override;

    // Column 1 data roles of a row.
    static constexpr int sourcerole = Qt::UserRole;
    static constexpr int beforerole = Qt::UserRole + 1;
    static constexpr int afterrole = Qt::UserRole + 2;
    static constexpr int selectrole = Qt::UserRole + 3;

    QPointer<QTreeWidgetExt> tree; // the list; it belongs to the History dock
    QTreeWidgetItem* current = nullptr; // null while the list is empty
    MainWindow* mainwindow = nullptr;

signals:
    void outrestorelayer(layer* source, layer* restore, QRectF select);
    // Sent before the rows are read: a recording that ends now, or an edit
    // that was kept without an entry, pushes its entry (dropping the undone
    // rows), and the walk then takes that in.
    void outdevicepause();

public slots:
    // Appends an entry and takes ownership of both chunks.
    void inbackuplayer(QPixmap icon, QString description, layer* source, layer* backupbefore,
                       layer* backupafter, QRectF select);
    void Undo();
    void Redo();
    // Undoes or redoes step by step until the clicked row is current.
    void ItemClicked(QTreeWidgetItem* item, int field);
    // Column 2 of every row follows its layer's current name.
    void inrefreshlayers();
    // Drops the rows of a layer that is about to be deleted.
    void indellayers(layer* source);
    // Empties the history (after edits that shift the time line of all layers).
    void inresethistory();
    void inDropUrl(QList<QUrl> urlList);

private:
    int rowcount() const;
    QTreeWidgetItem* row(int index) const;
    int indexof(QTreeWidgetItem* item) const;
    // Deletes the row at index with its two chunks.
    void deleterow(int index);
    // Rows after the current one, last first.
    void dropredotail();
    void setcurrent(QTreeWidgetItem* item);
    // Has the chunk written back into its layer; false when the layer could
    // not take it (the controller has said why), and then the current row stays.
    bool restore(layer* source, layer* chunk, const QRectF& select);
    void shown();

    QTreeWidgetItem* clicked = nullptr; // the row being clicked to, until it is deleted
};

// The one history panel of the main window (null while there is none).
extern HistoryGui* historygui;
