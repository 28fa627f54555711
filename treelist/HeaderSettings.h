// The header options of a columned tree view. Values set before the header exists are kept and given to
// the header when the tree creates it.
#pragma once

#include <QColor>
#include <QFont>

#include <optional>

namespace treelist {

class TTreeList;

class THeaderSettings {
public:
    explicit THeaderSettings(TTreeList& owner);
    THeaderSettings(const THeaderSettings&) = delete;
    THeaderSettings& operator=(const THeaderSettings&) = delete;

    bool AllowMove() const { return FAllowMove; }
    void SetAllowMove(bool value);
    bool AllowResize() const { return FAllowResize; }
    void SetAllowResize(bool value);
    // The header's face colour; the button face colour while there is no header and none was set.
    QColor Color() const;
    void SetColor(const QColor& value);
    // True when the header has no border.
    bool Flat() const;
    void SetFlat(bool value);
    const QFont& Font() const { return FFont; }
    void SetFont(const QFont& value);
    int Height() const { return FHeight; }
    void SetHeight(int value);
    bool Visible() const { return FVisible; }
    void SetVisible(bool value);

    // Gives every setting to a newly created header.
    void ApplyTo(class TTLHeader& header) const;

private:
    TTreeList& FOwner;
    int FHeight = 18;
    bool FVisible = true;
    QFont FFont;
    bool FAllowResize = false;
    bool FAllowMove = false;
    std::optional<QColor> FColor;
    bool FFlat = false;
};

} // namespace treelist
