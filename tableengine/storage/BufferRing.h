// The block cache's list of its buffers in block-number order: a ring over one array, so that the two
// changes of reading on (the lowest block leaves at the front, the next one arrives at the back) cost a
// few instructions and no allocation once the ring has grown to the cache size. An entry in the middle is
// inserted or erased by moving the entries after it, at most the cache size of pointers and rare.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <iterator>
#include <utility>
#include <vector>

namespace tableengine {

template <typename T>
class TBufferRing {
public:
    std::size_t size() const { return FSize; }
    bool empty() const { return FSize == 0; }
    T& operator[](std::size_t i) { return FSlots[(FHead + i) & FMask]; }
    const T& operator[](std::size_t i) const { return FSlots[(FHead + i) & FMask]; }
    T& front() { return (*this)[0]; }
    const T& front() const { return (*this)[0]; }
    T& back() { return (*this)[FSize - 1]; }
    const T& back() const { return (*this)[FSize - 1]; }

    // May throw std::bad_alloc while growing; the ring is then unchanged.
    void push_back(T value)
    {
        Reserve(FSize + 1);
        FSlots[(FHead + FSize) & FMask] = std::move(value);
        ++FSize;
    }
    void pop_front()
    {
        FHead = (FHead + 1) & FMask;
        --FSize;
    }
    // Inserts before position pos (pos == size() appends). May throw std::bad_alloc; the ring is then
    // unchanged.
    void insert(std::size_t pos, T value)
    {
        Reserve(FSize + 1);
        for (std::size_t i = FSize; i > pos; --i)
            (*this)[i] = std::move((*this)[i - 1]);
        (*this)[pos] = std::move(value);
        ++FSize;
    }
    void erase(std::size_t pos)
    {
        for (std::size_t i = pos; i + 1 < FSize; ++i)
            (*this)[i] = std::move((*this)[i + 1]);
        --FSize;
    }
    void clear()
    {
        FHead = 0;
        FSize = 0;
    }

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = const T*;
        using reference = const T&;
        const_iterator(const TBufferRing& ring, std::size_t i) : FRing(&ring), FIndex(i) {}
        const T& operator*() const { return (*FRing)[FIndex]; }
        const_iterator& operator++()
        {
            ++FIndex;
            return *this;
        }
        bool operator==(const const_iterator& other) const { return FIndex == other.FIndex; }

    private:
        const TBufferRing* FRing;
        std::size_t FIndex;
    };
    const_iterator begin() const { return {*this, 0}; }
    const_iterator end() const { return {*this, FSize}; }

private:
    // Grows the array to the next power of two that holds n, keeping the order from position 0.
    void Reserve(std::size_t n)
    {
        if (n <= FSlots.size())
            return;
        std::vector<T> grown(std::bit_ceil(std::max<std::size_t>(n, 16)));
        for (std::size_t i = 0; i < FSize; ++i)
            grown[i] = std::move((*this)[i]);
        FSlots = std::move(grown);
        FHead = 0;
        FMask = FSlots.size() - 1;
    }

    std::vector<T> FSlots;
    std::size_t FHead = 0;
    std::size_t FSize = 0;
    std::size_t FMask = 0;
};

} // namespace tableengine
