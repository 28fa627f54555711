// The column header of a columned tree view: one section per column, painted with raised edges and
// following the tree's horizontal scrolling. A left press reports the section clicked; dragging a section
// more than MoveThreshold pixels (with AllowMove) and dropping it at another section reports a move.
#pragma once

#include "platform/ui/Header.h"

#include <QColor>
#include <QCursor>
#include <QPoint>

#include <functional>

namespace treelist {

class TTreeList;

using TTLHeaderClickEvent = std::function<void(QObject* Sender, int SectionIdx)>;
using TSectionMoveEvent = std::function<void(QObject* Sender, int FromIndex, int ToIndex, bool& Allow)>;

class TTLHeader : public platform::ui::THeader {
public:
    // A press must move more than this many pixels left or right before a section drag starts.
    static constexpr int MoveThreshold = 4;

    TTLHeader(TTreeList& owner, QWidget* parent);

    QColor Color() const { return FColor; }
    void SetColor(const QColor& value);
    bool AllowMove() const { return FAllowMove; }
    void SetAllowMove(bool value) { FAllowMove = value; }
    // A section border is under the pointer or being dragged.
    bool IsSizing() const { return FIsSizing; }
    bool IsMoving() const { return FIsMoving; }
    bool IsMouseDown() const { return FMouseDown; }

    // The section at x (section coordinates): -1 at or left of 0, the last section beyond all sections.
    int SectionAt(int x) const;
    // x lies less than BorderTolerance pixels from the right border of a section other than the last.
    bool IsOnBorder(int x) const;

    TTLHeaderClickEvent OnClick;
    TTLHeaderClickEvent OnRightClick;
    TSectionMoveEvent OnSectionMove;

protected:
    void Sizing(int ASection, int AWidth) override;
    void Sized(int ASection, int AWidth) override;
    int ScrollOffset() const override;

    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintSection(QPainter& painter, const QRect& rect, int index) const;

    TTreeList& FOwner;
    QCursor FOldCursor;
    QColor FColor;
    bool FIsSizing = false;
    bool FIsMoving = false;
    QPoint FHitTest;
    bool FAllowMove = false;
    bool FMouseDown = false;
    QPoint FMouseDownPos;
};

} // namespace treelist
