#include "app/ResultTree.h"

#include "treelist/TreeList.h"
#include "treelist/TreeNode.h"

#include <QApplication>
#include <QPalette>

namespace app {

void ConfigureResultList(treelist::TTreeList& tree)
{
    tree.SetReadOnly(true);
    tree.SetIndent(19);
    tree.SetItemHeight(16);
    tree.SetSeparator(u";");
    treelist::THeaderSettings& header = tree.HeaderSettings();
    header.SetHeight(18);
    header.SetColor(QApplication::palette().color(QPalette::Button)); // clBtnFace
    header.SetAllowResize(true);
    header.SetVisible(false);
    tree.Loaded();
}

treelist::TTreeNode* AddRootNode(treelist::TTreeList& tree, const platform::Text& text)
{
    return tree.AddNode(text);
}

treelist::TTreeNode* AddChildNode(treelist::TTreeList& tree, treelist::TTreeNode& parent,
                                  const platform::Text& text)
{
    return tree.AddChildNode(&parent, text);
}

} // namespace app
