#include "treelist/HeaderSettings.h"

#include "treelist/TLHeader.h"
#include "treelist/TreeList.h"

#include <QApplication>
#include <QPalette>

namespace treelist {

using platform::ui::TBorderStyle;

THeaderSettings::THeaderSettings(TTreeList& owner) : FOwner(owner), FFont(QApplication::font()) {}

void THeaderSettings::SetAllowMove(bool value)
{
    if (value == FAllowMove)
        return;
    FAllowMove = value;
    if (TTLHeader* header = FOwner.Header())
        header->SetAllowMove(value);
}

void THeaderSettings::SetAllowResize(bool value)
{
    if (value == FAllowResize)
        return;
    FAllowResize = value;
    if (TTLHeader* header = FOwner.Header())
        header->SetAllowResize(value);
}

QColor THeaderSettings::Color() const
{
    if (const TTLHeader* header = FOwner.Header())
        return header->Color();
    return FColor.value_or(QApplication::palette().color(QPalette::Button));
}

void THeaderSettings::SetColor(const QColor& value)
{
    FColor = value;
    if (TTLHeader* header = FOwner.Header())
        header->SetColor(value);
}

bool THeaderSettings::Flat() const
{
    if (const TTLHeader* header = FOwner.Header())
        return header->BorderStyle() == TBorderStyle::bsNone;
    return FFlat;
}

void THeaderSettings::SetFlat(bool value)
{
    FFlat = value;
    if (TTLHeader* header = FOwner.Header())
        header->SetBorderStyle(value ? TBorderStyle::bsNone : TBorderStyle::bsSingle);
}

void THeaderSettings::SetFont(const QFont& value)
{
    FFont = value;
    if (TTLHeader* header = FOwner.Header())
        header->setFont(FFont);
}

void THeaderSettings::SetHeight(int value)
{
    if (TTLHeader* header = FOwner.Header())
        header->resize(header->width(), value);
    FHeight = value;
    // Setting the tree's top again lays out the tree and the header anew.
    const QRect bounds = FOwner.geometry();
    FOwner.SetBounds(bounds.x(), bounds.y(), bounds.width(), bounds.height());
}

void THeaderSettings::SetVisible(bool value)
{
    FVisible = value;
    if (TTLHeader* header = FOwner.Header())
        header->setVisible(value && FOwner.TreeVisible());
}

void THeaderSettings::ApplyTo(TTLHeader& header) const
{
    header.setFont(FFont);
    header.SetAllowResize(FAllowResize);
    header.SetAllowMove(FAllowMove);
    if (FColor)
        header.SetColor(*FColor);
    header.SetBorderStyle(FFlat ? TBorderStyle::bsNone : TBorderStyle::bsSingle);
}

} // namespace treelist
