#include "media/mf/encoder_transform.h"

#include <windows.h>

#include <gtest/gtest.h>

// The variable counts when it exists at all, even with an empty value.
TEST(SoftwareEncoderSwitch, AnEmptyValueCounts) {
    SetEnvironmentVariableW(L"QUILLHAVEN_SOFTWARE_ENCODER", nullptr);
    EXPECT_FALSE(mf::softwareEncoderForced());
    SetEnvironmentVariableW(L"QUILLHAVEN_SOFTWARE_ENCODER", L"");
    EXPECT_TRUE(mf::softwareEncoderForced());
    SetEnvironmentVariableW(L"QUILLHAVEN_SOFTWARE_ENCODER", L"1");
    EXPECT_TRUE(mf::softwareEncoderForced());
    SetEnvironmentVariableW(L"QUILLHAVEN_SOFTWARE_ENCODER", nullptr);
}
