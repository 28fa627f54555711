// The result tree's operations the dialog needs: its designed settings, adding port nodes and children.
#pragma once

#include "platform/Text.h"

namespace treelist {
class TTreeList;
class TTreeNode;
}

namespace app {

// Read-only, indent 19, rows of 16 pixels, no columns, ";" between cells, header hidden (height 18, face
// colour of buttons, resizable columns).
void ConfigureResultList(treelist::TTreeList& tree);
// A new last root node, so each port's node follows the previous port's.
treelist::TTreeNode* AddRootNode(treelist::TTreeList& tree, const platform::Text& text);
treelist::TTreeNode* AddChildNode(treelist::TTreeList& tree, treelist::TTreeNode& parent,
                                  const platform::Text& text);

} // namespace app
