#include "treelist/TreeList.h"

#include "platform/ui/QtText.h"
#include "treelist/Cells.h"
#include "treelist/ImageList.h"
#include "treelist/TreeListDelegate.h"
#include "treelist/TreeListError.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QTreeWidgetItemIterator>

#include <algorithm>
#include <cstdint>

namespace treelist {

using platform::ui::TBorderStyle;
using platform::ui::ToQString;
using platform::ui::ToText;

namespace {

QString ItemText(const QTreeWidgetItem& item)
{
    if (const auto* node = dynamic_cast<const TTreeNode*>(&item))
        return node->FullText();
    return item.text(0);
}

void SetItemText(QTreeWidgetItem& item, const QString& text)
{
    if (auto* node = dynamic_cast<TTreeNode*>(&item))
        node->SetFullText(text);
    else
        item.setText(0, text);
}

int ItemLevel(const QTreeWidgetItem& item)
{
    int level = 0;
    for (const QTreeWidgetItem* p = item.parent(); p; p = p->parent())
        ++level;
    return level;
}

} // namespace

TTreeList::TTreeList(QWidget* parent) : QTreeWidget(parent), FHeaderSettings(*this), FColumnCollection(this)
{
    setColumnCount(1);
    setHeaderHidden(true);
    header()->setStretchLastSection(false);
    setHorizontalScrollMode(ScrollPerPixel);
    setUniformRowHeights(true);
    setIndentation(19);
    setSelectionMode(SingleSelection);
    setItemDelegate(new TTreeListDelegate(this, FItemHeight)); // owned by the tree as its child
    SetReadOnly(false);
}

TTreeList::~TTreeList()
{
    FDestroying = true;
    // The header lives on the parent but belongs to the tree.
    delete FHeader.data();
}

void TTreeList::SetColumns(const TColumnCollection& value)
{
    FColumnCollection.Assign(value);
}

void TTreeList::SetColumnLines(bool value)
{
    FColumnLines = value;
    FColumnSpace = value ? 4 : 2;
    viewport()->update();
}

void TTreeList::SetColumnLineColor(const QColor& value)
{
    FColumnLineColor = value;
    viewport()->update();
}

platform::Text TTreeList::Separator() const
{
    return ToText(FSeparator);
}

void TTreeList::SetSeparator(const platform::Text& value)
{
    FSeparator = ToQString(value);
    viewport()->update();
}

void TTreeList::SetItemHeight(int value)
{
    if (value == FItemHeight)
        return;
    FItemHeight = value;
    doItemsLayout();
}

int TTreeList::GetItemHeight() const
{
    if (topLevelItemCount() > 0) {
        const int height = rowHeight(indexFromItem(topLevelItem(0)));
        if (height > 0)
            return height;
    }
    return std::max(1, FItemHeight);
}

platform::Text TTreeList::Version() const
{
    constexpr std::uint32_t version = 0x01010106;
    QString text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if (!text.isEmpty())
            text += QLatin1Char('.');
        text += QString::number((version >> shift) & 0xFFu);
    }
    return ToText(text);
}

TBorderStyle TTreeList::BorderStyle() const
{
    return frameShape() == QFrame::NoFrame ? TBorderStyle::bsNone : TBorderStyle::bsSingle;
}

void TTreeList::SetBorderStyle(TBorderStyle value)
{
    setFrameShape(value == TBorderStyle::bsNone ? QFrame::NoFrame : QFrame::StyledPanel);
    UpdateColumns();
}

void TTreeList::SetReadOnly(bool value)
{
    FReadOnly = value;
    setEditTriggers(value ? NoEditTriggers : EditTriggers(SelectedClicked | EditKeyPressed));
}

void TTreeList::SetImages(std::shared_ptr<const TImageList> value)
{
    FImages = std::move(value);
    viewport()->update();
    if (FHeader)
        FHeader->update();
}

void TTreeList::SetStateImages(std::shared_ptr<const TImageList> value)
{
    FStateImages = std::move(value);
    viewport()->update();
}

// --- Nodes

TTreeNode* TTreeList::AddNode(const platform::Text& text)
{
    return AddChildNode(nullptr, text);
}

TTreeNode* TTreeList::AddChildNode(TTreeNode* parent, const platform::Text& text)
{
    auto node = std::make_unique<TTreeNode>(text);
    node->setFlags(node->flags() | Qt::ItemIsEditable);
    if (parent)
        parent->addChild(node.get());
    else
        addTopLevelItem(node.get());
    return node.release(); // owned by the tree now
}

void TTreeList::ClearNodes()
{
    clear();
}

std::vector<TTreeNode*> TTreeList::NodesInTreeOrder() const
{
    std::vector<TTreeNode*> nodes;
    const auto walk = [&nodes](const auto& self, QTreeWidgetItem* item) -> void {
        if (auto* node = dynamic_cast<TTreeNode*>(item))
            nodes.push_back(node);
        for (int i = 0; i < item->childCount(); ++i)
            self(self, item->child(i));
    };
    for (int i = 0; i < topLevelItemCount(); ++i)
        walk(walk, topLevelItem(i));
    return nodes;
}

TTreeNode* TTreeList::Selected() const
{
    const auto items = selectedItems();
    return items.isEmpty() ? nullptr : dynamic_cast<TTreeNode*>(items.first());
}

void TTreeList::SetSelected(TTreeNode* node)
{
    setCurrentItem(node);
}

int TTreeList::TextStart(const QTreeWidgetItem& item) const
{
    const int levels = ItemLevel(item) + (rootIsDecorated() ? 1 : 0);
    return levels * indentation() - HorizontalScrollPos();
}

TTreeNode* TTreeList::GetNodeAt(const QPoint& pos) const
{
    QTreeWidgetItem* item = itemAt(pos);
    if (!item || pos.x() < TextStart(*item))
        return nullptr;
    return dynamic_cast<TTreeNode*>(item);
}

// --- Columns and cells

platform::Text TTreeList::GetNodeColumn(const TTreeNode* node, int index) const
{
    if (!node)
        return {};
    return ToText(CellAt(node->FullText(), FSeparator, index));
}

void TTreeList::SetNodeColumn(TTreeNode* node, int index, const platform::Text& value)
{
    if (!node)
        return;
    node->SetFullText(ReplaceCell(node->FullText(), FSeparator, FColumnCollection.Count(), index, ToQString(value)));
}

void TTreeList::MoveColumn(int FromIndex, int ToIndex)
{
    const int count = FColumnCollection.Count();
    if (FromIndex < 0 || FromIndex >= count)
        throw ETreeListError("Invalid FromIndex column index");
    if (ToIndex < 0 || ToIndex >= count)
        throw ETreeListError("Invalid ToIndex column index");
    FColumnCollection.Items(FromIndex).SetIndex(ToIndex);
    for (QTreeWidgetItemIterator it(this); *it; ++it)
        SetItemText(**it, MoveCell(ItemText(**it), FSeparator, FromIndex, ToIndex));
}

void TTreeList::UpdateColumns()
{
    if (FHeader) {
        FHeader->ClearSections();
        for (int i = 0; i < FColumnCollection.Count(); ++i) {
            const TColumnItem& column = FColumnCollection.Items(i);
            int width = column.Width();
            // Line the first border up with the tree's client area whichever of the two has a border.
            if (i == 0) {
                const bool flat = FHeaderSettings.Flat();
                if (BorderStyle() == TBorderStyle::bsNone && !flat)
                    width -= 1;
                else if (flat && BorderStyle() == TBorderStyle::bsSingle)
                    width += 1;
            }
            FHeader->AddSection(column.Header(), width);
        }
    }
    UpdateContentWidth();
    viewport()->update();
}

void TTreeList::TestFill()
{
    FColumnCollection.BeginUpdate();
    FColumnCollection.Clear();
    ClearNodes();
    for (const char* caption : {"Column 1", "Column 2", "Column 3"})
        FColumnCollection.Add().SetHeader(platform::Ascii(caption));
    FColumnCollection.EndUpdate();
    for (int i = 1; i <= 10; ++i)
        AddNode(ToText(QStringLiteral("item %1;%2;%1").arg(i).arg(QChar(64 + i))));
}

// --- Window and header

void TTreeList::CreateWnd()
{
    if (FHeader || !parentWidget())
        return;
    CreateHeader();
    doItemsLayout(); // the stored item height, again
}

void TTreeList::CreateHeader()
{
    if (FHeader || !parentWidget())
        return;
    const int height = FHeaderSettings.Height();
    const int overlap = 2;
    FHeader = new TTLHeader(*this, parentWidget()); // deleted by the tree's destructor
    FHeaderSettings.ApplyTo(*FHeader);
    FHeader->setGeometry(x(), y() - (height - overlap), width(), height);

    FHeader->OnSized = [this](QObject*, int section, int width) { ColumnWidthChanged(section, width); };
    FHeader->OnClick = [this](QObject*, int section) {
        if (OnHeaderClick)
            OnHeaderClick(this, section);
    };
    FHeader->OnRightClick = [this](QObject*, int section) {
        if (OnHeaderRightClick)
            OnHeaderRightClick(this, section);
    };
    FHeader->OnSectionMove = [this](QObject*, int from, int to, bool& allow) { HeaderSectionMove(from, to, allow); };

    if (y() < height - overlap)
        SetBounds(x(), height - overlap, width(), this->height());
    UpdateColumns();
    FHeader->setVisible(HeaderShown());
}

bool TTreeList::TreeVisible() const
{
    // Visible unless hidden on purpose: a child not yet shown with its parent still counts as visible.
    return !isHidden() || !testAttribute(Qt::WA_WState_ExplicitShowHide);
}

bool TTreeList::HeaderShown() const
{
    return TreeVisible() && FHeaderSettings.Visible();
}

void TTreeList::PlaceHeader()
{
    if (!FHeader || !FHeaderSettings.Visible())
        return;
    const int height = FHeaderSettings.Height();
    FHeader->setGeometry(x(), y() + 2 - height, width(), height);
}

void TTreeList::SetBounds(int ALeft, int ATop, int AWidth, int AHeight)
{
    const int h = FHeaderSettings.Visible() ? FHeaderSettings.Height() : 2;
    const bool aligned = FAlign == TAlign::alTop || FAlign == TAlign::alLeft || FAlign == TAlign::alRight ||
                         FAlign == TAlign::alClient;
    if (aligned) {
        setGeometry(ALeft, ATop + h - 2, AWidth, AHeight - h + 2);
        if (FHeader && FHeaderSettings.Visible())
            FHeader->setGeometry(ALeft, ATop, AWidth, FHeaderSettings.Height());
    } else {
        setGeometry(ALeft, ATop, AWidth, AHeight);
        if (FHeader && FHeaderSettings.Visible())
            FHeader->setGeometry(ALeft, ATop + 2 - FHeaderSettings.Height(), AWidth, FHeaderSettings.Height());
    }
}

QRect TTreeList::GetClientRect() const
{
    return {QPoint(0, 0), QSize(viewport()->width(), viewport()->height() + FHeaderSettings.Height())};
}

void TTreeList::Loaded()
{
    UpdateColumns();
    if (FHeader) {
        FHeader->setFont(FHeaderSettings.Font());
        FHeader->SetAllowResize(FHeaderSettings.AllowResize());
        FHeader->setVisible(HeaderShown());
    }
}

void TTreeList::setVisible(bool visible)
{
    QTreeWidget::setVisible(visible);
    if (FHeader)
        FHeader->setVisible(visible && FHeaderSettings.Visible());
}

void TTreeList::ColumnWidthChanged(int index, int width)
{
    const int minimum =
        indentation() + (FImages ? FImages->Width() : 0) + (FStateImages ? FStateImages->Width() : 0);
    if (index == 0 && width < minimum) {
        if (FHeader)
            FHeader->SetSectionWidth(0, minimum);
        width = minimum;
    }
    if (index >= 0 && index < FColumnCollection.Count())
        FColumnCollection.Items(index).FWidth = width; // the header already shows it
    UpdateContentWidth();
    viewport()->update();
    if (!FDestroying && OnHeaderSizeChanged)
        OnHeaderSizeChanged(this, index);
}

void TTreeList::HeaderSectionMove(int fromIndex, int toIndex, bool& allow)
{
    if (OnHeaderSectionMove)
        OnHeaderSectionMove(this, fromIndex, toIndex, allow);
    if (allow)
        MoveColumn(fromIndex, toIndex);
}

void TTreeList::UpdateContentWidth()
{
    // The view's own single column spans the columns, so that it scrolls horizontally when they are
    // wider than the view, and at least the visible width.
    int total = 0;
    for (int i = 0; i < FColumnCollection.Count(); ++i)
        total += std::max(0, FColumnCollection.Items(i).Width());
    const int wanted = std::max(viewport()->width(), total);
    if (header()->sectionSize(0) != wanted)
        header()->resizeSection(0, wanted);
}

bool TTreeList::event(QEvent* event)
{
    const bool result = QTreeWidget::event(event);
    if (event->type() == QEvent::Polish ||
        (event->type() == QEvent::ParentChange && testAttribute(Qt::WA_WState_Polished)))
        CreateWnd();
    return result;
}

void TTreeList::scrollContentsBy(int dx, int dy)
{
    QTreeWidget::scrollContentsBy(dx, dy);
    const int pos = HorizontalScrollPos();
    if (pos != FOldScrollPos) {
        viewport()->update();
        if (FHeader)
            FHeader->update();
        FOldScrollPos = pos;
    }
}

void TTreeList::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::RightButton) {
        if (FRightClickSelect)
            if (TTreeNode* node = GetNodeAt(pos))
                setCurrentItem(node);
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    QTreeWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        if (TTreeNode* node = GetNodeAt(pos))
            setCurrentItem(node);
}

void TTreeList::moveEvent(QMoveEvent* event)
{
    QTreeWidget::moveEvent(event);
    PlaceHeader();
}

void TTreeList::resizeEvent(QResizeEvent* event)
{
    QTreeWidget::resizeEvent(event);
    PlaceHeader();
    UpdateContentWidth();
}

} // namespace treelist
