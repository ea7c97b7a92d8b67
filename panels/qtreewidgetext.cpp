#include "panels/qtreewidgetext.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>

QTreeWidgetExt::QTreeWidgetExt(QWidget* parent)
    : QTreeWidget(nullptr)
{
    // The parent argument is kept for callers that pass one; the panels set
    // the tree into their dock themselves.
    Q_UNUSED(parent);
    setAcceptDrops(true);
}

void QTreeWidgetExt::mousePressEvent(QMouseEvent* event)
{
    if (event->buttons() == Qt::LeftButton && !itemAt(event->position().toPoint()))
        emit noItemClicked();
    QTreeWidget::mousePressEvent(event);
}

void QTreeWidgetExt::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData() && event->mimeData()->hasUrls())
    {
        event->acceptProposedAction();
        return;
    }
    event->ignore();
}

// The tree's own move handling would refuse drops between rows; every place
// in the list takes files.
void QTreeWidgetExt::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

void QTreeWidgetExt::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData() ? event->mimeData()->urls() : QList<QUrl>();
    emit dropUrl(urls);
    event->acceptProposedAction();
}
