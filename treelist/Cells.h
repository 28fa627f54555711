// The cells of a node's text: the parts between occurrences of the separator. The separator is removed
// whole, whatever its length; an empty separator splits nothing (the whole text is one cell).
#pragma once

#include <QString>
#include <QStringList>

namespace treelist {

// Every cell, empty ones included: "a;;b" has three cells, "a;" two, "" one.
QStringList SplitCells(const QString& text, const QString& separator);
// The cells joined with the separator, none after the last.
QString JoinCells(const QStringList& cells, const QString& separator);
// The cell with that index, empty when the text has fewer cells.
QString CellAt(const QString& text, const QString& separator, int index);
// The text with cell index replaced by value. The text is first given a separator for each column
// beyond those it holds, so a short text gains its missing cells at the end.
QString ReplaceCell(const QString& text, const QString& separator, int columnCount, int index,
                    const QString& value);
// The text with cell from moved to position to (the cells between shift), when both are below the number
// of cells; otherwise the cells are joined again unchanged.
QString MoveCell(const QString& text, const QString& separator, int from, int to);

} // namespace treelist
