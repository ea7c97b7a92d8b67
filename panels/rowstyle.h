#pragma once
// The look of panel rows: bold and normal text in one column, and the layer
// rows' style sheets with six colour placeholders, filled with a slot colour
// so that a row shows the colour its layer has in the views.
#include <QColor>
#include <QFont>
#include <QString>
#include <QTreeWidgetItem>

inline void setbold(QTreeWidgetItem* item, int column, bool bold)
{
    QFont font = item->font(column);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    item->setFont(column, font);
}

// The text of a compiled-in style sheet, or empty when it is missing.
QString readstylesheet(const QString& resource);

// %1..%3 := the colour's red, green and blue times shade (the lower end of the
// gradient), %4..%6 := times light (the upper end), in the general number form.
QString fillrowstyle(const QString& sheet, const QColor& colour, float shade, float light);
