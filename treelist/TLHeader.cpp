#include "treelist/TLHeader.h"

#include "platform/ui/QtText.h"
#include "treelist/ImageList.h"
#include "treelist/TreeList.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cstdlib>

namespace treelist {

TTLHeader::TTLHeader(TTreeList& owner, QWidget* parent)
    : THeader(parent), FOwner(owner), FColor(palette().color(QPalette::Button))
{
}

void TTLHeader::SetColor(const QColor& value)
{
    FColor = value;
    update();
}

int TTLHeader::SectionAt(int x) const
{
    int index = -1;
    int sum = 0;
    while (sum < x && index + 1 < SectionCount()) {
        ++index;
        sum += SectionWidth(index);
    }
    return index;
}

bool TTLHeader::IsOnBorder(int x) const
{
    return BorderAt(x) >= 0;
}

void TTLHeader::Sizing(int ASection, int AWidth)
{
    FIsSizing = true;
    THeader::Sizing(ASection, AWidth);
}

void TTLHeader::Sized(int ASection, int AWidth)
{
    FIsSizing = false;
    THeader::Sized(ASection, AWidth);
}

int TTLHeader::ScrollOffset() const
{
    return FOwner.HorizontalScrollPos();
}

void TTLHeader::mousePressEvent(QMouseEvent* event)
{
    THeader::mousePressEvent(event);
    const QPoint pos = event->position().toPoint();
    const int x = SectionX(pos);
    if (event->button() == Qt::LeftButton) {
        if (OnClick)
            OnClick(this, SectionAt(x));
        if (!IsOnBorder(x)) {
            FMouseDown = true;
            FMouseDownPos = pos;
        }
    } else if (event->button() == Qt::RightButton) {
        if (OnRightClick)
            OnRightClick(this, SectionAt(x));
    }
}

void TTLHeader::mouseMoveEvent(QMouseEvent* event)
{
    THeader::mouseMoveEvent(event);
    const QPoint pos = event->position().toPoint();
    // What the pointer is over (hit test and cursor request), unless a border drag holds the pointer.
    FHitTest = pos;
    if (!IsDraggingBorder())
        FIsSizing = ClientRect().contains(FHitTest) && IsOnBorder(SectionX(FHitTest)) && AllowResize();

    if (FMouseDown && !FIsSizing && !FIsMoving && std::abs(pos.x() - FMouseDownPos.x()) > MoveThreshold &&
        FAllowMove) {
        FOldCursor = cursor();
        FIsMoving = true;
        if (isVisible())
            grabMouse();
    }
    if (FIsMoving)
        setCursor(Qt::DragMoveCursor);
}

void TTLHeader::mouseReleaseEvent(QMouseEvent* event)
{
    THeader::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    FMouseDown = false;
    if (!FIsMoving)
        return;
    FIsMoving = false;
    releaseMouse();
    setCursor(FOldCursor);
    const int from = std::max(0, SectionAt(SectionX(FMouseDownPos)));
    const int to = std::max(0, SectionAt(SectionX(event->position().toPoint())));
    bool allow = true;
    if (from != to && OnSectionMove)
        OnSectionMove(this, from, to, allow);
}

void TTLHeader::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    PaintBorder(painter);
    const QRect client = ClientRect();
    painter.setClipRect(client);
    const int clientRight = client.right() + 1;
    int x = client.left() - FOwner.HorizontalScrollPos();
    if (SectionCount() == 0) {
        PaintSection(painter, client, -1);
        return;
    }
    for (int i = 0; i < SectionCount(); ++i) {
        const int w = SectionWidth(i);
        // The last section, and one ending within a pixel of the client width, reaches the client width.
        if (i + 1 == SectionCount() || x + w >= clientRight - 1) {
            PaintSection(painter, QRect(QPoint(x, client.top()), QPoint(clientRight - 1, client.bottom())), i);
            break;
        }
        PaintSection(painter, QRect(x, client.top(), w, client.height()), i);
        x += w;
    }
}

void TTLHeader::PaintSection(QPainter& painter, const QRect& rect, int index) const
{
    painter.fillRect(rect, FColor);
    if (index >= 0) {
        QRect caption = rect.adjusted(2, 2, -2, -2);
        TAlignment align = TAlignment::taLeftJustify;
        const TColumnCollection& columns = FOwner.Columns();
        if (index < columns.Count()) {
            const TColumnItem& column = columns.Items(index);
            align = column.HeaderAlign();
            const auto images = FOwner.Images();
            if (images && column.HeaderImage() >= 0) {
                images->Draw(painter, caption.left(), caption.top() + (caption.height() - images->Height()) / 2,
                             column.HeaderImage());
                caption.setLeft(caption.left() + images->Width() + 2);
            }
        }
        painter.setFont(font());
        painter.setPen(palette().color(QPalette::ButtonText));
        const QString text = platform::ui::ToQString(SectionCaption(index));
        painter.drawText(caption, TextFlags(ToQtAlignment(align) | Qt::AlignVCenter),
                         painter.fontMetrics().elidedText(text, Qt::ElideRight, std::max(0, caption.width())));
    }
    // Raised inner edge: top and left in the light colour, then bottom and right in the shadow colour.
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(rect.topLeft(), rect.topRight());
    painter.drawLine(rect.topLeft(), rect.bottomLeft());
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    painter.drawLine(rect.topRight(), rect.bottomRight());
}

} // namespace treelist
