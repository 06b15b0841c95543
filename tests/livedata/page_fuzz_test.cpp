#include <gtest/gtest.h>

#include "livedata/page_fuzz.h"

TEST(PageFuzz, SeededMutationsKeepEveryReaderRuleIntact) {
    for (std::uint64_t seed : {1u, 2u, 3u}) {
        const PageFuzzResult r = runPageFuzz(seed, 1500, 0);
        ASSERT_EQ(r.failure, "") << "seed " << seed << ", input of " << r.failingInput.size() << " bytes";
        EXPECT_EQ(r.inputs, 1500u);
        // The mutations must not be so wild that nothing is ever read.
        EXPECT_GT(r.chatsStarted, 0u) << "seed " << seed;
        EXPECT_GT(r.repliesRead, 0u) << "seed " << seed;
    }
}
