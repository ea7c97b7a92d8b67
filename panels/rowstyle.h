#pragma once
// Bold and normal text in one column of a panel row.
#include <QFont>
#include <QTreeWidgetItem>

inline void setbold(QTreeWidgetItem* item, int column, bool bold)
{
    QFont font = item->font(column);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    item->setFont(column, font);
}
