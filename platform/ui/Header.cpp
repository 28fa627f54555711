#include "platform/ui/Header.h"

#include "platform/ui/QtText.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cstdlib>

namespace platform::ui {

THeader::THeader(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setContentsMargins(1, 1, 1, 1);
}

int THeader::SectionCount() const
{
    return static_cast<int>(sections_.size());
}

void THeader::AddSection(const Text& caption, int width)
{
    sections_.push_back({ToQString(caption), std::max(0, width)});
    update();
}

void THeader::ClearSections()
{
    sections_.clear();
    dragSection_ = -1;
    update();
}

Text THeader::SectionCaption(int index) const
{
    if (index < 0 || index >= SectionCount())
        return {};
    return ToText(sections_[static_cast<size_t>(index)].caption);
}

void THeader::SetSectionCaption(int index, const Text& caption)
{
    if (index < 0 || index >= SectionCount())
        return;
    sections_[static_cast<size_t>(index)].caption = ToQString(caption);
    update();
}

int THeader::SectionWidth(int index) const
{
    if (index < 0 || index >= SectionCount())
        return 0;
    return sections_[static_cast<size_t>(index)].width;
}

void THeader::SetSectionWidth(int index, int width)
{
    if (index < 0 || index >= SectionCount())
        return;
    sections_[static_cast<size_t>(index)].width = std::max(0, width);
    update();
}

bool THeader::AllowResize() const
{
    return allowResize_;
}

void THeader::SetAllowResize(bool value)
{
    allowResize_ = value;
    if (!value)
        unsetCursor();
}

TBorderStyle THeader::BorderStyle() const
{
    return borderStyle_;
}

void THeader::SetBorderStyle(TBorderStyle value)
{
    borderStyle_ = value;
    const int m = value == TBorderStyle::bsSingle ? 1 : 0;
    setContentsMargins(m, m, m, m);
    update();
}

QRect THeader::ClientRect() const
{
    return contentsRect();
}

bool THeader::IsDraggingBorder() const
{
    return dragSection_ >= 0;
}

void THeader::Sizing(int ASection, int AWidth)
{
    if (OnSizing)
        OnSizing(this, ASection, AWidth);
}

void THeader::Sized(int ASection, int AWidth)
{
    if (OnSized)
        OnSized(this, ASection, AWidth);
}

int THeader::ScrollOffset() const
{
    return 0;
}

int THeader::SectionX(const QPoint& widgetPos) const
{
    return widgetPos.x() - ClientRect().left() + ScrollOffset();
}

int THeader::BorderAt(int x) const
{
    int border = 0;
    for (int i = 0; i + 1 < SectionCount(); ++i) {
        border += SectionWidth(i);
        if (std::abs(x - border) < BorderTolerance)
            return i;
    }
    return -1;
}

void THeader::PaintBorder(QPainter& painter) const
{
    if (borderStyle_ != TBorderStyle::bsSingle)
        return;
    painter.setPen(palette().color(QPalette::Shadow));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void THeader::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && allowResize_) {
        const int x = SectionX(event->position().toPoint());
        const int section = BorderAt(x);
        if (section >= 0) {
            dragSection_ = section;
            dragStartX_ = x;
            dragStartWidth_ = SectionWidth(section);
            event->accept();
            return;
        }
    }
    QWidget::mousePressEvent(event);
}

void THeader::mouseMoveEvent(QMouseEvent* event)
{
    const int x = SectionX(event->position().toPoint());
    if (dragSection_ >= 0) {
        const int width = std::max(0, dragStartWidth_ + x - dragStartX_);
        SetSectionWidth(dragSection_, width);
        Sizing(dragSection_, width);
        event->accept();
        return;
    }
    if (allowResize_ && BorderAt(x) >= 0)
        setCursor(Qt::SplitHCursor);
    else
        unsetCursor();
    QWidget::mouseMoveEvent(event);
}

void THeader::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && dragSection_ >= 0) {
        const int section = dragSection_;
        dragSection_ = -1;
        Sized(section, SectionWidth(section));
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void THeader::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    PaintBorder(painter);
    const QRect client = ClientRect();
    painter.setClipRect(client);
    int x = client.left() - ScrollOffset();
    for (int i = 0; i < SectionCount(); ++i) {
        const int w = i + 1 == SectionCount() ? std::max(SectionWidth(i), client.right() + 1 - x) : SectionWidth(i);
        const QRect r(x, client.top(), w, client.height());
        painter.fillRect(r, palette().color(QPalette::Button));
        painter.setPen(palette().color(QPalette::Light));
        painter.drawLine(r.topLeft(), r.topRight());
        painter.drawLine(r.topLeft(), r.bottomLeft());
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawLine(r.bottomLeft(), r.bottomRight());
        painter.drawLine(r.topRight(), r.bottomRight());
        painter.setPen(palette().color(QPalette::ButtonText));
        const QRect text = r.adjusted(2, 2, -2, -2);
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         fontMetrics().elidedText(sections_[static_cast<size_t>(i)].caption, Qt::ElideRight,
                                                  text.width()));
        x += w;
    }
}

} // namespace platform::ui
