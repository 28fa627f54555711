// The list of texts behind the dialog's lists: kept in insertion order, sorted on request, and looked up
// alphabetically without regard to letter case.
#pragma once

#include "platform/Text.h"

#include <cstddef>
#include <vector>

namespace platform {

class TTextList {
public:
    // With Sorted set, Add inserts at the text's place in the order and IndexOf searches by halving;
    // otherwise Add appends and IndexOf searches from the front. Setting Sorted sorts the list.
    bool Sorted() const { return sorted_; }
    void SetSorted(bool value);

    // Returns the index at which the text now stands.
    int Add(TextView text);
    void Insert(int index, TextView text);
    void Delete(int index);
    void Clear();

    // Sorts the items (stable), comparing with CompareTextNoCase. Leaves Sorted as it is.
    void Sort();
    // Binary search on a list in sorted order. Returns whether the text is there; index receives the
    // position of the first equal item, or the position where the text would be inserted.
    bool Find(TextView text, int& index) const;
    // Position of the first item equal to the text without regard to letter case, or -1.
    int IndexOf(TextView text) const;

    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    // Throws std::out_of_range for an index outside 0 .. Count() - 1.
    const Text& operator[](int index) const;
    const std::vector<Text>& Items() const { return items_; }

private:
    std::vector<Text> items_;
    bool sorted_ = false;
};

} // namespace platform
