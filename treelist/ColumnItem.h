// One column of a columned tree view: width, alignment, header caption, font and image options. Every
// change tells the collection, which has the tree rebuild its header and repaint.
#pragma once

#include "platform/Text.h"
#include "treelist/TreeListTypes.h"

#include <QFont>

namespace treelist {

class TColumnCollection;

class TColumnItem {
public:
    explicit TColumnItem(TColumnCollection& collection);
    TColumnItem(const TColumnItem&) = delete;
    TColumnItem& operator=(const TColumnItem&) = delete;

    int Width() const { return FWidth; }
    void SetWidth(int value);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment value);
    platform::Text Header() const { return FColumnHeader; }
    void SetHeader(const platform::Text& value);
    const QFont& Font() const { return FFont; }
    void SetFont(const QFont& value);
    bool Image() const { return FImage; }
    void SetImage(bool value);
    TAlignment HeaderAlign() const { return FHeaderAlign; }
    void SetHeaderAlign(TAlignment value);
    int HeaderImage() const { return FHeaderImage; }
    void SetHeaderImage(int value);

    // Position in the collection; setting it moves the column when the new index is valid and differs.
    int Index() const;
    void SetIndex(int value);
    TColumnCollection& Collection() const { return *FCollection; }

    // Copies width, alignment, header, header alignment, font and image flag (not the header image).
    void Assign(const TColumnItem& source);

private:
    friend class TTreeList; // stores a width dragged in the header without rebuilding the header
    void Changed();

    TColumnCollection* FCollection;
    int FWidth = 50;
    TAlignment FAlignment = TAlignment::taLeftJustify;
    platform::Text FColumnHeader;
    QFont FFont;
    bool FImage = false;
    TAlignment FHeaderAlign = TAlignment::taLeftJustify;
    int FHeaderImage = -1;
};

} // namespace treelist
