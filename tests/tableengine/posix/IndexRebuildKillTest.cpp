// A rebuild of a missing index killed at any moment of its work leaves no half-made index. POSIX only: the
// child is traced and killed at one system call after another (KillAtSystemCall.h).
#include "tableengine/IndexRebuildFixture.h"

#include "support/KillAtSystemCall.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>

using namespace tableengine;
using indexrebuild::IndexRebuildLock;
using navtest::ForwardIDs;

// A rebuild killed at every moment of its work (traced, killed at one system call after another): the index
// file is then missing or complete, never half-made, so the next open reads the rows in rebuilt order
// (rebuilding the index when it is missing) and leaves no temporary file behind.
TEST_F(IndexRebuildLock, RebuildKilledAtAnyMomentIsRebuiltByTheNextOpen)
{
    const auto openAndWalk = [&] {
        fixture::EngineEnv env(dir.Path, TEngineSettings{});
        auto c = env.Open("T");
        return ForwardIDs(*c) == std::vector<int32_t>{1, 2, 3} ? 0 : 1;
    };
    // Once opened, so that the lock file exists and every run below makes the same calls.
    ASSERT_EQ(openAndWalk(), 0);
    std::filesystem::remove(Index());
    const support::TracedRun whole = support::RunTracedAndKill(openAndWalk, -1);
    ASSERT_EQ(whole.exitCode, 0);
    const std::vector<uint8_t> rebuilt = fixture::ReadFileBytes(Index());
    const long stops = static_cast<long>(whole.stops.size());

    int missing = 0, complete = 0;
    for (long k = 0; k < stops; ++k) {
        std::filesystem::remove(Index());
        const support::TracedRun run = support::RunTracedAndKill(openAndWalk, k);
        const std::string what = "killed at stop " + std::to_string(k) + " of " + std::to_string(stops);
        ASSERT_TRUE(run.killed) << what;
        if (std::filesystem::exists(Index())) {
            ++complete;
            EXPECT_TRUE(fixture::ReadFileBytes(Index()) == rebuilt) << what << ": a half-made index";
        } else {
            ++missing;
        }
        {
            fixture::EngineEnv env(dir.Path, TEngineSettings{});
            auto c = env.Open("T");
            EXPECT_EQ(ForwardIDs(*c), (std::vector<int32_t>{1, 2, 3})) << what;
        }
        EXPECT_EQ(TableFolderEntries(), (std::set<std::string>{"T.dat", "T.idx", "tables.lck"})) << what;
        if (HasFailure())
            return;
    }
    std::printf("rebuild kills: %ld (every stop), %d left the index missing, %d complete\n", stops, missing, complete);
    EXPECT_GT(missing, 0);
    EXPECT_GT(complete, 0);
}
