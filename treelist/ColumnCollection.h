// The columns of one columned tree view. Every change of the collection or of one of its columns has the
// tree rebuild its header sections and repaint (batched between BeginUpdate and EndUpdate).
#pragma once

#include "treelist/ColumnItem.h"

#include <memory>
#include <vector>

namespace treelist {

class TTreeList;

class TColumnCollection {
public:
    // owner may be null for a collection that only serves as a source to copy from.
    explicit TColumnCollection(TTreeList* owner);
    TColumnCollection(const TColumnCollection&) = delete;
    TColumnCollection& operator=(const TColumnCollection&) = delete;

    TTreeList* Owner() const { return FOwner; }
    int Count() const { return static_cast<int>(FItems.size()); }

    TColumnItem& Add();
    TColumnItem& Insert(int index); // index clamped to 0..Count
    // Throws std::out_of_range for an index outside 0..Count-1.
    TColumnItem& Items(int index);
    const TColumnItem& Items(int index) const;
    void SetItems(int index, const TColumnItem& value); // copies value into the column at index
    int IndexOf(const TColumnItem& item) const;          // -1 when not in this collection
    void Delete(int index);                              // ignored for an invalid index
    void Clear();
    // Moves the column at from to position to when both are valid and differ.
    void Move(int from, int to);
    // Makes this collection a copy of source.
    void Assign(const TColumnCollection& source);

    void BeginUpdate();
    void EndUpdate();

private:
    friend class TColumnItem;
    void Changed();
    void CheckIndex(int index) const;

    TTreeList* FOwner;
    std::vector<std::unique_ptr<TColumnItem>> FItems;
    int FUpdateCount = 0;
};

} // namespace treelist
