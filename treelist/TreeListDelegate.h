// The item delegate of the columned tree view: the view draws each row's background, selection and focus
// without the row's text and icon (the tree paints the cells itself), at the tree's item height.
#pragma once

#include <QStyledItemDelegate>

namespace treelist {

class TTreeListDelegate : public QStyledItemDelegate {
public:
    TTreeListDelegate(QObject* parent, const int& itemHeight);

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    const int& FItemHeight;
};

} // namespace treelist
