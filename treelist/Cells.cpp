#include "treelist/Cells.h"

namespace treelist {

QStringList SplitCells(const QString& text, const QString& separator)
{
    if (separator.isEmpty())
        return {text};
    return text.split(separator, Qt::KeepEmptyParts);
}

QString JoinCells(const QStringList& cells, const QString& separator)
{
    return cells.join(separator);
}

QString CellAt(const QString& text, const QString& separator, int index)
{
    if (index < 0)
        return {};
    const QStringList cells = SplitCells(text, separator);
    return index < cells.size() ? cells[index] : QString();
}

QString ReplaceCell(const QString& text, const QString& separator, int columnCount, int index,
                    const QString& value)
{
    if (index < 0)
        return text;
    // Pad: one separator appended for each column the original text has no further separator for.
    QString padded = text;
    qsizetype passed = 0;
    for (int c = 0; c < columnCount; ++c) {
        const qsizetype found = separator.isEmpty() ? -1 : text.indexOf(separator, passed);
        if (found < 0)
            padded += separator;
        else
            passed = found + separator.size();
    }

    // Rebuild up to the cell at index; a cell exists after every separator, even at the end of the text.
    QString result;
    qsizetype pos = 0;
    bool cellRemains = true;
    for (int i = 0; i <= index && cellRemains; ++i) {
        const qsizetype found = separator.isEmpty() ? -1 : padded.indexOf(separator, pos);
        const qsizetype end = found < 0 ? padded.size() : found + separator.size();
        if (i < index)
            result += padded.mid(pos, end - pos);
        else
            result += found < 0 ? value : value + separator;
        pos = end;
        cellRemains = found >= 0;
    }
    result += padded.mid(pos);
    return result;
}

QString MoveCell(const QString& text, const QString& separator, int from, int to)
{
    QStringList cells = SplitCells(text, separator);
    if (from >= 0 && to >= 0 && from < cells.size() && to < cells.size())
        cells.move(from, to);
    return JoinCells(cells, separator);
}

} // namespace treelist
