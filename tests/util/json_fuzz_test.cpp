#include <gtest/gtest.h>

#include "json_fuzz.h"
#include "util_test_support.h"

namespace {

TEST(JsonFuzz, RandomAndMutatedInputsKeepEveryRule) {
  // A short run with a fixed seed; longer runs use the util_json_fuzz
  // program. The time cap keeps a busy machine from stretching the run; the
  // inputs are the same sequence whatever the machine's speed.
  const JsonFuzzResult r = runJsonFuzz(20261208, 60000, 3.0);
  EXPECT_EQ(r.failure, "") << "input (hex): " << toHex(r.failingInput);
  EXPECT_GT(r.inputs, 0u);
  EXPECT_GT(r.treesAccepted, r.inputs / 20);
  EXPECT_GT(r.flatAccepted, r.inputs / 50);
}

}  // namespace
