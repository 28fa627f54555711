#include "treelist/ColumnItem.h"

#include "treelist/ColumnCollection.h"
#include "treelist/TreeList.h"

#include <QApplication>

namespace treelist {

TColumnItem::TColumnItem(TColumnCollection& collection)
    : FCollection(&collection), FFont(collection.Owner() ? collection.Owner()->font() : QApplication::font())
{
}

void TColumnItem::SetWidth(int value)
{
    if (value == FWidth)
        return;
    FWidth = value;
    Changed();
}

void TColumnItem::SetAlignment(TAlignment value)
{
    if (value == FAlignment)
        return;
    FAlignment = value;
    Changed();
}

void TColumnItem::SetHeader(const platform::Text& value)
{
    if (value == FColumnHeader)
        return;
    FColumnHeader = value;
    Changed();
}

void TColumnItem::SetFont(const QFont& value)
{
    FFont = value;
    Changed();
}

void TColumnItem::SetImage(bool value)
{
    if (value == FImage)
        return;
    FImage = value;
    Changed();
}

void TColumnItem::SetHeaderAlign(TAlignment value)
{
    if (value == FHeaderAlign)
        return;
    FHeaderAlign = value;
    Changed();
}

void TColumnItem::SetHeaderImage(int value)
{
    if (value == FHeaderImage)
        return;
    FHeaderImage = value;
    Changed();
}

int TColumnItem::Index() const
{
    return FCollection->IndexOf(*this);
}

void TColumnItem::SetIndex(int value)
{
    FCollection->Move(Index(), value);
}

void TColumnItem::Assign(const TColumnItem& source)
{
    if (&source == this)
        return;
    FWidth = source.FWidth;
    FAlignment = source.FAlignment;
    FColumnHeader = source.FColumnHeader;
    FHeaderAlign = source.FHeaderAlign;
    FFont = source.FFont;
    FImage = source.FImage;
    Changed();
}

void TColumnItem::Changed()
{
    FCollection->Changed();
}

} // namespace treelist
