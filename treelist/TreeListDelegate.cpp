#include "treelist/TreeListDelegate.h"

#include <algorithm>

namespace treelist {

TTreeListDelegate::TTreeListDelegate(QObject* parent, const int& itemHeight)
    : QStyledItemDelegate(parent), FItemHeight(itemHeight)
{
}

QSize TTreeListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    return {QStyledItemDelegate::sizeHint(option, index).width(), std::max(1, FItemHeight)};
}

void TTreeListDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->text.clear();
    option->icon = QIcon();
    option->features &= ~QStyleOptionViewItem::ViewItemFeatures(QStyleOptionViewItem::HasDisplay |
                                                                 QStyleOptionViewItem::HasDecoration);
}

} // namespace treelist
