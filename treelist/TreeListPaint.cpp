// Painting of the columned tree view. The view draws each row's branches, selection and focus with the
// row's text left out (see TTreeListDelegate); then the row's cells are painted over it, each in its
// column; after the whole view the column lines are drawn.
#include "treelist/ImageList.h"
#include "treelist/TreeList.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

#include <algorithm>

namespace treelist {

void TTreeList::paintEvent(QPaintEvent* event)
{
    bool defaultDraw = true;
    if (OnAdvancedCustomDraw) {
        QPainter painter(viewport());
        OnAdvancedCustomDraw(this, painter, viewport()->rect(), defaultDraw);
    }
    if (defaultDraw)
        QTreeWidget::paintEvent(event);

    if (FColumnLines && !FDestroying && FColumnCollection.Count() > 1) {
        QPainter painter(viewport());
        painter.setPen(FColumnLineColor);
        const int bottom = viewport()->height();
        int left = 0;
        for (int i = 0; i + 1 < FColumnCollection.Count(); ++i) {
            left += FColumnCollection.Items(i).Width();
            const int x = left - HorizontalScrollPos() - 2;
            painter.drawLine(x, 0, x, bottom);
        }
    }
}

void TTreeList::drawRow(QPainter* painter, const QStyleOptionViewItem& options, const QModelIndex& index) const
{
    QTreeWidgetItem* item = itemFromIndex(index);
    if (!item) {
        QTreeWidget::drawRow(painter, options, index);
        return;
    }
    bool defaultDraw = true;
    if (OnAdvancedCustomDrawItem)
        OnAdvancedCustomDrawItem(Self(), *painter, dynamic_cast<TTreeNode*>(item), options.state, defaultDraw);
    if (defaultDraw) {
        // The view's own drawing of the row stays within the first column.
        const int first =
            FColumnCollection.Count() > 0 ? FColumnCollection.Items(0).Width() : viewport()->width();
        painter->save();
        painter->setClipRect(QRect(options.rect.left(), options.rect.top(), std::max(0, first - 1),
                                   options.rect.height()),
                             Qt::IntersectClip);
        QTreeWidget::drawRow(painter, options, index);
        painter->restore();
    }
    painter->save();
    PaintCells(*painter, options, *item);
    painter->restore();
}

void TTreeList::PaintCells(QPainter& painter, const QStyleOptionViewItem& options, QTreeWidgetItem& item) const
{
    TTreeNode* node = dynamic_cast<TTreeNode*>(&item);
    const QString text = node ? node->FullText() : item.text(0);
    const QRect row = options.rect;
    const int rowRight = viewport()->width();
    const int controlWidth = viewport()->width();
    const int scroll = HorizontalScrollPos();
    const int count = FColumnCollection.Count();
    const bool selected = item.isSelected();
    const QStyle::State state = options.state | (selected ? QStyle::State_Selected : QStyle::State_None);
    const QColor treeColour = palette().color(QPalette::Base);

    int x = TextStart(item);
    painter.setBrush(treeColour);
    painter.setPen(treeColour);
    if (OnCustomDrawItem)
        OnCustomDrawItem(Self(), painter, node, state);

    // Images of the first cell: the state image, then the node's (or selected) image with its overlay.
    const bool firstCellImages = count > 0 && FColumnCollection.Items(0).Image();
    if (node && firstCellImages) {
        if (FStateImages && node->StateIndex() >= 0) {
            painter.fillRect(QRect(x, row.top(), FStateImages->Width(), row.height()), treeColour);
            FStateImages->Draw(painter, x, row.top() + (row.height() - FStateImages->Height()) / 2,
                               node->StateIndex());
            x += FStateImages->Width();
        }
        if (FImages && (node->ImageIndex() >= 0 || node->SelectedIndex() >= 0)) {
            painter.fillRect(QRect(x, row.top(), FImages->Width(), row.height()), treeColour);
            const int image = selected && node->SelectedIndex() >= 0 ? node->SelectedIndex() : node->ImageIndex();
            const int y = row.top() + (row.height() - FImages->Height()) / 2;
            FImages->Draw(painter, x, y, image);
            FImages->Draw(painter, x, y, node->OverlayIndex());
            x += FImages->Width();
        }
    }

    // The text area spans the row's height; text lower than the row is centred in it.
    const bool centred = QFontMetrics(font()).boundingRect(QStringLiteral("gh")).height() < row.height();
    const QRect area(x, row.top(), std::max(0, rowRight - x), row.height());
    const QColor highlight = palette().color(QPalette::Active, QPalette::Highlight);
    if (selected) {
        painter.fillRect(area, highlight);
        if (hasFocus() && currentItem() == &item) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = area;
            focus.backgroundColor = highlight;
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
        }
    } else {
        painter.fillRect(area, treeColour);
    }
    const QColor textColour = selected ? palette().color(QPalette::Active, QPalette::HighlightedText)
                                       : palette().color(QPalette::Text);

    // The cells. Without columns the whole text is one cell across the row.
    QString rest = text;
    int left = x;
    for (int i = 0; !rest.isEmpty(); ++i) {
        const bool defined = i < count;
        const TColumnItem* column = defined ? &FColumnCollection.Items(i) : nullptr;
        const QFont cellFont = column ? column->Font() : font();

        int right = 0;
        if (i == 0)
            right = (count > 0 ? FColumnCollection.Items(0).Width() : controlWidth) - scroll;
        else
            right = left + (column ? column->Width() : controlWidth);

        QString cell;
        const qsizetype found = count > 0 && !FSeparator.isEmpty() ? rest.indexOf(FSeparator) : -1;
        if (found >= 0) {
            cell = rest.left(found);
            rest = rest.mid(found + FSeparator.size());
        } else {
            // The last cell: the last defined column takes the rest of the view, a cell beyond the
            // columns (or the only one when there are none) the rest of the row.
            cell = rest;
            rest.clear();
            if (i + 1 == count)
                right = controlWidth;
            if (!defined)
                right = rowRight;
        }
        right -= FColumnSpace;

        int textLeft = left;
        if (i > 0 && FImages && column && column->Image() && node && node->ImageIndex() >= 0) {
            if (FImages->Width() < column->Width())
                FImages->Draw(painter, left, row.top() + (row.height() - FImages->Height()) / 2, node->ImageIndex());
            textLeft = left + FImages->Width() + 2;
        } else if (i == 0 && FImages && firstCellImages) {
            textLeft += 2;
        }

        const QRect cellRect(QPoint(textLeft, row.top()), QPoint(right - 1, row.bottom()));
        bool defaultDraw = true;
        if (OnDrawNodeCell)
            OnDrawNodeCell(Self(), painter, cellRect, i, node, cell.toStdU16String(), state, defaultDraw);
        if (defaultDraw && cellRect.width() > 0) {
            painter.setFont(cellFont);
            painter.setPen(textColour);
            const Qt::Alignment align = ToQtAlignment(column ? column->Alignment() : TAlignment::taLeftJustify) |
                                        (centred ? Qt::AlignVCenter : Qt::AlignTop);
            const QString shown = QFontMetrics(cellFont).elidedText(cell, Qt::ElideRight, cellRect.width());
            painter.drawText(cellRect, TextFlags(align), shown);
        }
        left = right + FColumnSpace;
    }
}

} // namespace treelist
