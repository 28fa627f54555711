// Enumerations shared by the columned tree view, its columns and its header.
#pragma once

#include <Qt>

namespace treelist {

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

// How the tree is aligned in its parent; decides how SetBounds shares the space with the header.
enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

inline Qt::Alignment ToQtAlignment(TAlignment alignment)
{
    switch (alignment) {
    case TAlignment::taRightJustify: return Qt::AlignRight;
    case TAlignment::taCenter: return Qt::AlignHCenter;
    case TAlignment::taLeftJustify: break;
    }
    return Qt::AlignLeft;
}

// Flags for drawing a caption or cell text on one line with that alignment.
inline int TextFlags(Qt::Alignment alignment)
{
    return static_cast<int>(alignment.toInt()) | Qt::TextSingleLine;
}

} // namespace treelist
