#include "treelist/TreeNode.h"

#include "platform/ui/QtText.h"

#include <QTreeWidget>

namespace treelist {

using platform::ui::ToQString;
using platform::ui::ToText;

TTreeNode::TTreeNode(const platform::Text& text) : QTreeWidgetItem(NodeType), FText(ToQString(text)) {}

platform::Text TTreeNode::Text() const
{
    return ToText(FText);
}

void TTreeNode::SetText(const platform::Text& text)
{
    SetFullText(ToQString(text));
}

void TTreeNode::SetFullText(const QString& text)
{
    if (text == FText)
        return;
    FText = text;
    Repaint();
}

int TTreeNode::Level() const
{
    int level = 0;
    for (const QTreeWidgetItem* p = parent(); p; p = p->parent())
        ++level;
    return level;
}

TTreeNode* TTreeNode::Parent() const
{
    return dynamic_cast<TTreeNode*>(parent());
}

TTreeNode* TTreeNode::Item(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    return dynamic_cast<TTreeNode*>(child(index));
}

void TTreeNode::Expand(bool recurse)
{
    setExpanded(true);
    if (recurse)
        for (int i = 0; i < childCount(); ++i)
            if (auto* node = Item(i))
                node->Expand(true);
}

void TTreeNode::Collapse(bool recurse)
{
    setExpanded(false);
    if (recurse)
        for (int i = 0; i < childCount(); ++i)
            if (auto* node = Item(i))
                node->Collapse(true);
}

void TTreeNode::SetImageIndex(int value)
{
    FImageIndex = value;
    Repaint();
}

void TTreeNode::SetSelectedIndex(int value)
{
    FSelectedIndex = value;
    Repaint();
}

void TTreeNode::SetOverlayIndex(int value)
{
    FOverlayIndex = value;
    Repaint();
}

void TTreeNode::SetStateIndex(int value)
{
    FStateIndex = value;
    Repaint();
}

QVariant TTreeNode::data(int column, int role) const
{
    if (column == 0 && (role == Qt::DisplayRole || role == Qt::EditRole))
        return FText.left(MaxDisplayLength);
    return QTreeWidgetItem::data(column, role);
}

void TTreeNode::setData(int column, int role, const QVariant& value)
{
    if (column == 0 && (role == Qt::DisplayRole || role == Qt::EditRole)) {
        SetFullText(value.toString());
        return;
    }
    QTreeWidgetItem::setData(column, role, value);
}

void TTreeNode::Repaint()
{
    if (QTreeWidget* tree = treeWidget())
        tree->viewport()->update();
}

} // namespace treelist
