#include "media/mf/encoder_transform.h"

#include <cstdlib>

#include <gtest/gtest.h>

// The variable counts when it exists at all, even with an empty value.
TEST(SoftwareEncoderSwitch, AnEmptyValueCounts) {
    unsetenv("QUILLHAVEN_SOFTWARE_ENCODER");
    EXPECT_FALSE(mf::softwareEncoderForced());
    setenv("QUILLHAVEN_SOFTWARE_ENCODER", "", 1);
    EXPECT_TRUE(mf::softwareEncoderForced());
    unsetenv("QUILLHAVEN_SOFTWARE_ENCODER");
}
