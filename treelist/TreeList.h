// A tree view whose node texts are split into columns: a node's text holds its cells separated by
// Separator, and each cell is drawn in its column under a column header (TTLHeader) placed directly above
// the tree on the same parent. With no columns the whole node text is drawn as one cell across the row.
#pragma once

#include "platform/Text.h"
#include "treelist/ColumnCollection.h"
#include "treelist/HeaderSettings.h"
#include "treelist/TLHeader.h"
#include "treelist/TreeListTypes.h"
#include "treelist/TreeNode.h"

#include <QColor>
#include <QPointer>
#include <QStyle>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <vector>

namespace treelist {

class TImageList;

class TTreeList : public QTreeWidget {
public:
    using THeaderSizeChangedEvent = std::function<void(QObject* Sender, int Section)>;
    using TDrawCellEvent =
        std::function<void(QObject* Sender, QPainter& ACanvas, const QRect& ARect, int AColumn, TTreeNode* ANode,
                           const platform::Text& AValue, QStyle::State AState, bool& DefaultDraw)>;
    // The tree view's custom-draw events: before the control is painted, before each row (DefaultDraw
    // False: the base drawing of the row is left out), and with the drawing tools of each row's cells.
    using TAdvancedCustomDrawEvent =
        std::function<void(QObject* Sender, QPainter& ACanvas, const QRect& ARect, bool& DefaultDraw)>;
    using TAdvancedCustomDrawItemEvent =
        std::function<void(QObject* Sender, QPainter& ACanvas, TTreeNode* Node, QStyle::State State,
                           bool& DefaultDraw)>;
    using TCustomDrawItemEvent =
        std::function<void(QObject* Sender, QPainter& ACanvas, TTreeNode* Node, QStyle::State State)>;

    explicit TTreeList(QWidget* parent = nullptr);
    ~TTreeList() override;

    // --- Properties
    TTLHeader* Header() const { return FHeader.data(); } // null until the window is created
    THeaderSettings& HeaderSettings() { return FHeaderSettings; }
    const THeaderSettings& HeaderSettings() const { return FHeaderSettings; }
    TColumnCollection& Columns() { return FColumnCollection; }
    const TColumnCollection& Columns() const { return FColumnCollection; }
    void SetColumns(const TColumnCollection& value); // copies the given columns
    bool ColumnLines() const { return FColumnLines; }
    void SetColumnLines(bool value);
    QColor ColumnLineColor() const { return FColumnLineColor; }
    void SetColumnLineColor(const QColor& value);
    int ColumnSpace() const { return FColumnSpace; }
    platform::Text Separator() const;
    void SetSeparator(const platform::Text& value);
    int ItemHeight() const { return GetItemHeight(); }
    void SetItemHeight(int value);
    int GetItemHeight() const; // the row height the view uses
    platform::Text Version() const;
    void SetVersion(const platform::Text&) {} // read only: writing does nothing

    // The standard tree view's options that this control relies on.
    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign value) { FAlign = value; }
    platform::ui::TBorderStyle BorderStyle() const;
    void SetBorderStyle(platform::ui::TBorderStyle value);
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value);
    int Indent() const { return indentation(); }
    void SetIndent(int value) { setIndentation(value); }
    bool ShowRoot() const { return rootIsDecorated(); }
    void SetShowRoot(bool value) { setRootIsDecorated(value); }
    bool RightClickSelect() const { return FRightClickSelect; }
    void SetRightClickSelect(bool value) { FRightClickSelect = value; }
    std::shared_ptr<const TImageList> Images() const { return FImages; }
    void SetImages(std::shared_ptr<const TImageList> value);
    std::shared_ptr<const TImageList> StateImages() const { return FStateImages; }
    void SetStateImages(std::shared_ptr<const TImageList> value);
    int HorizontalScrollPos() const { return horizontalOffset(); }

    // --- Events
    TTLHeaderClickEvent OnHeaderClick;
    TTLHeaderClickEvent OnHeaderRightClick;
    THeaderSizeChangedEvent OnHeaderSizeChanged;
    TDrawCellEvent OnDrawNodeCell;
    TSectionMoveEvent OnHeaderSectionMove;
    TAdvancedCustomDrawEvent OnAdvancedCustomDraw;
    TAdvancedCustomDrawItemEvent OnAdvancedCustomDrawItem;
    TCustomDrawItemEvent OnCustomDrawItem;

    // --- Nodes
    TTreeNode* AddNode(const platform::Text& text);                      // a new last root node
    TTreeNode* AddChildNode(TTreeNode* parent, const platform::Text& text); // root node when parent is null
    void ClearNodes();
    std::vector<TTreeNode*> NodesInTreeOrder() const; // depth first; TTreeNode::Level gives the depth
    TTreeNode* Selected() const;
    void SetSelected(TTreeNode* node);
    // The node whose row holds pos at or right of the node's text start, or null.
    TTreeNode* GetNodeAt(const QPoint& pos) const;

    // --- Columns and cells
    platform::Text GetNodeColumn(const TTreeNode* node, int index) const;
    void SetNodeColumn(TTreeNode* node, int index, const platform::Text& value);
    // Moves a column and the matching cell of every node. Throws ETreeListError for an invalid index.
    void MoveColumn(int FromIndex, int ToIndex);
    void UpdateColumns();
    void TestFill();

    // --- Window and header
    // Creates the header on the tree's parent (once). Runs by itself when the tree is first polished
    // (before it or its window is first shown); needs a parent.
    void CreateWnd();
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
    QRect GetClientRect() const;
    // After the owner has set the properties: rebuilds the header and gives it the header settings.
    void Loaded();
    void setVisible(bool visible) override;

protected:
    void CreateHeader();
    bool event(QEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& options, const QModelIndex& index) const override;
    void paintEvent(QPaintEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class THeaderSettings;

    int TextStart(const QTreeWidgetItem& item) const;
    void PaintCells(QPainter& painter, const QStyleOptionViewItem& options, QTreeWidgetItem& item) const;
    void ColumnWidthChanged(int index, int width);
    void HeaderSectionMove(int fromIndex, int toIndex, bool& allow);
    void PlaceHeader();
    void UpdateContentWidth();
    bool HeaderShown() const;
    bool TreeVisible() const;
    QObject* Self() const { return const_cast<TTreeList*>(this); } // Sender of events fired while painting

    QPointer<TTLHeader> FHeader;
    THeaderSettings FHeaderSettings;
    TColumnCollection FColumnCollection;
    bool FColumnLines = true;
    QColor FColumnLineColor{0xC0, 0xC0, 0xC0};
    int FColumnSpace = 4;
    int FOldScrollPos = -1;
    QString FSeparator = QStringLiteral(";");
    int FItemHeight = 16;
    TAlign FAlign = TAlign::alNone;
    bool FReadOnly = false;
    bool FRightClickSelect = false;
    std::shared_ptr<const TImageList> FImages;
    std::shared_ptr<const TImageList> FStateImages;
    bool FDestroying = false;
};

} // namespace treelist
