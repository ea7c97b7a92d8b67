#pragma once
// The list widget of the layer, history and channel panels: a tree that
// tells when a press lands on no row (the panels then drop their current
// row or hand the focus back) and that passes dropped files on as URLs.
#include <QList>
#include <QTreeWidget>
#include <QUrl>

class QTreeWidgetExt : public QTreeWidget
{
    Q_OBJECT
public:
    // Built without a parent: the panel places it into its dock.
    explicit QTreeWidgetExt(QWidget* parent = nullptr);

signals:
    void noItemClicked();
    void dropUrl(QList<QUrl> urlList);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};
