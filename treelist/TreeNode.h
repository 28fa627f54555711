// A node of the columned tree view. It keeps its whole text (the cells joined by the tree's separator);
// requests of the view for the text to display get at most MaxDisplayLength characters of it.
#pragma once

#include "platform/Text.h"

#include <QString>
#include <QTreeWidgetItem>

namespace treelist {

class TTreeNode : public QTreeWidgetItem {
public:
    static constexpr int NodeType = QTreeWidgetItem::UserType + 1;
    static constexpr int MaxDisplayLength = 255;

    explicit TTreeNode(const platform::Text& text = {});

    platform::Text Text() const;
    void SetText(const platform::Text& text);
    const QString& FullText() const { return FText; }
    void SetFullText(const QString& text);

    // 0 for a root node, 1 for its children, ...
    int Level() const;
    TTreeNode* Parent() const;
    int Count() const { return childCount(); }
    TTreeNode* Item(int index) const; // null for an index out of range

    bool Expanded() const { return isExpanded(); }
    void Expand(bool recurse);
    void Collapse(bool recurse);
    bool Selected() const { return isSelected(); }

    // Indexes into the tree's image lists; -1 for none.
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int value);
    int SelectedIndex() const { return FSelectedIndex; }
    void SetSelectedIndex(int value);
    int OverlayIndex() const { return FOverlayIndex; }
    void SetOverlayIndex(int value);
    int StateIndex() const { return FStateIndex; }
    void SetStateIndex(int value);

    QVariant data(int column, int role) const override;
    void setData(int column, int role, const QVariant& value) override;

private:
    void Repaint();

    QString FText;
    int FImageIndex = -1;
    int FSelectedIndex = -1;
    int FOverlayIndex = -1;
    int FStateIndex = -1;
};

} // namespace treelist
