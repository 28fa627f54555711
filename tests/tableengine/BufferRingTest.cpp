#include "tableengine/storage/BufferRing.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <vector>

using tableengine::TBufferRing;

namespace {

std::vector<int> Contents(const TBufferRing<int>& ring)
{
    std::vector<int> out;
    for (const int v : ring)
        out.push_back(v);
    return out;
}

} // namespace

// The ring's head wraps round its array and the array grows while entries come and go at both ends and in
// the middle, as the cache's reads forward, backward and at random make them: it keeps the same order as a
// double-ended queue given the same changes.
TEST(BufferRing, KeepsOrderThroughWrapsGrowthAndChangesInTheMiddle)
{
    std::mt19937 random(7);
    TBufferRing<int> ring;
    std::deque<int> expected;
    int next = 0;
    for (int step = 0; step < 20000; ++step) {
        const auto choice = random() % 10;
        if (choice < 4 || expected.empty()) {
            ring.push_back(next);
            expected.push_back(next++);
        } else if (choice < 7) {
            ring.pop_front();
            expected.pop_front();
        } else if (choice < 9) {
            const std::size_t at = random() % (expected.size() + 1);
            ring.insert(at, next);
            expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(at), next++);
        } else {
            const std::size_t at = random() % expected.size();
            ring.erase(at);
            expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(at));
        }
        ASSERT_EQ(ring.size(), expected.size()) << step;
        if (!expected.empty()) {
            ASSERT_EQ(ring.front(), expected.front()) << step;
            ASSERT_EQ(ring.back(), expected.back()) << step;
            const std::size_t probe = random() % expected.size();
            ASSERT_EQ(ring[probe], expected[probe]) << step;
        }
    }
    EXPECT_EQ(Contents(ring), std::vector<int>(expected.begin(), expected.end()));
    ring.clear();
    EXPECT_TRUE(ring.empty());
    EXPECT_TRUE(Contents(ring).empty());
}
