// A few seconds of each seeded driver on every run; longer runs by hand with
// remote_fuzz (see its CMakeLists entry).

#include <gtest/gtest.h>

#include "remote/remote_fuzz.h"

namespace {

class RemoteFuzz : public ::testing::TestWithParam<RemoteFuzzTarget> {};

TEST_P(RemoteFuzz, HoldsItsInvariants) {
    uint64_t inputs = 0, accepted = 0;
    for (uint64_t seed = 1; seed <= 4; ++seed) {
        const RemoteFuzzResult r = runRemoteFuzz(GetParam(), seed, 1000000, 0.75);
        ASSERT_EQ(r.failure, "") << remoteFuzzName(GetParam()) << " seed " << seed << " input size "
                                 << r.failingInput.size();
        inputs += r.inputs;
        accepted += r.accepted;
    }
    EXPECT_GT(inputs, 1000u);
    // The inputs reach past the parsers' first checks.
    EXPECT_GT(accepted, inputs / 50);
}

INSTANTIATE_TEST_SUITE_P(Parsers, RemoteFuzz,
                         ::testing::Values(RemoteFuzzTarget::Frame, RemoteFuzzTarget::Upgrade,
                                           RemoteFuzzTarget::Datagram));

}  // namespace
