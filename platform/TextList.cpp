#include "platform/TextList.h"

#include <algorithm>
#include <stdexcept>

namespace platform {
namespace {
bool Less(const Text& a, TextView b) { return CompareTextNoCase(a, b) < 0; }
} // namespace

void TTextList::SetSorted(bool value)
{
    if (value && !sorted_)
        Sort();
    sorted_ = value;
}

int TTextList::Add(TextView text)
{
    if (sorted_) {
        int index = 0;
        Find(text, index);
        // Among equal items the new one goes last, so equal texts keep their order of arrival.
        while (index < Count() && CompareTextNoCase(items_[static_cast<size_t>(index)], text) == 0)
            ++index;
        items_.insert(items_.begin() + index, Text(text));
        return index;
    }
    items_.emplace_back(text);
    return Count() - 1;
}

void TTextList::Insert(int index, TextView text)
{
    if (index < 0 || index > Count())
        throw std::out_of_range("TTextList::Insert: index out of range");
    items_.insert(items_.begin() + index, Text(text));
}

void TTextList::Delete(int index)
{
    if (index < 0 || index >= Count())
        throw std::out_of_range("TTextList::Delete: index out of range");
    items_.erase(items_.begin() + index);
}

void TTextList::Clear() { items_.clear(); }

void TTextList::Sort()
{
    std::stable_sort(items_.begin(), items_.end(),
                     [](const Text& a, const Text& b) { return CompareTextNoCase(a, b) < 0; });
}

bool TTextList::Find(TextView text, int& index) const
{
    const auto it = std::lower_bound(items_.begin(), items_.end(), text, Less);
    index = static_cast<int>(it - items_.begin());
    return it != items_.end() && CompareTextNoCase(*it, text) == 0;
}

int TTextList::IndexOf(TextView text) const
{
    if (sorted_) {
        int index = 0;
        return Find(text, index) ? index : -1;
    }
    for (size_t i = 0; i < items_.size(); ++i)
        if (CompareTextNoCase(items_[i], text) == 0)
            return static_cast<int>(i);
    return -1;
}

const Text& TTextList::operator[](int index) const
{
    if (index < 0 || index >= Count())
        throw std::out_of_range("TTextList: index out of range");
    return items_[static_cast<size_t>(index)];
}

} // namespace platform
