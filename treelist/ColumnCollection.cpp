#include "treelist/ColumnCollection.h"

#include "treelist/TreeList.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace treelist {

TColumnCollection::TColumnCollection(TTreeList* owner) : FOwner(owner) {}

TColumnItem& TColumnCollection::Add()
{
    return Insert(Count());
}

TColumnItem& TColumnCollection::Insert(int index)
{
    index = std::clamp(index, 0, Count());
    auto item = std::make_unique<TColumnItem>(*this);
    TColumnItem& result = *item;
    FItems.insert(FItems.begin() + index, std::move(item));
    Changed();
    return result;
}

void TColumnCollection::CheckIndex(int index) const
{
    if (index < 0 || index >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
}

TColumnItem& TColumnCollection::Items(int index)
{
    CheckIndex(index);
    return *FItems[static_cast<size_t>(index)];
}

const TColumnItem& TColumnCollection::Items(int index) const
{
    CheckIndex(index);
    return *FItems[static_cast<size_t>(index)];
}

void TColumnCollection::SetItems(int index, const TColumnItem& value)
{
    Items(index).Assign(value);
}

int TColumnCollection::IndexOf(const TColumnItem& item) const
{
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].get() == &item)
            return static_cast<int>(i);
    return -1;
}

void TColumnCollection::Delete(int index)
{
    if (index < 0 || index >= Count())
        return;
    FItems.erase(FItems.begin() + index);
    Changed();
}

void TColumnCollection::Clear()
{
    if (FItems.empty())
        return;
    FItems.clear();
    Changed();
}

void TColumnCollection::Move(int from, int to)
{
    if (from < 0 || from >= Count() || to < 0 || to >= Count() || from == to)
        return;
    auto item = std::move(FItems[static_cast<size_t>(from)]);
    FItems.erase(FItems.begin() + from);
    FItems.insert(FItems.begin() + to, std::move(item));
    Changed();
}

void TColumnCollection::Assign(const TColumnCollection& source)
{
    if (&source == this)
        return;
    BeginUpdate();
    FItems.clear();
    for (const auto& item : source.FItems)
        Add().Assign(*item);
    EndUpdate();
}

void TColumnCollection::BeginUpdate()
{
    ++FUpdateCount;
}

void TColumnCollection::EndUpdate()
{
    if (FUpdateCount > 0 && --FUpdateCount == 0)
        Changed();
}

void TColumnCollection::Changed()
{
    if (FUpdateCount == 0 && FOwner)
        FOwner->UpdateColumns();
}

} // namespace treelist
