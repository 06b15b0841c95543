#include <gtest/gtest.h>

#include <filesystem>

#include "app/recording_platform.h"
#include "recording_fakes.h"
#include "util/folders.h"

TEST(RecordingPlatform, SameFolderIsDecidedByIdentityNotBySpelling) {
    const std::filesystem::path root = fakes::scratchFolder("identity");
    std::filesystem::create_directories(root / "a");
    std::filesystem::create_directories(root / "b");
    std::filesystem::create_directories(root / "x");
    const std::wstring base = fromFsPath(root);
    const std::wstring a = fromFsPath(root / "a");
    const std::wstring b = fromFsPath(root / "b");

    EXPECT_TRUE(sameFileSystemEntry(a, a));
    EXPECT_FALSE(sameFileSystemEntry(a, b));  // two folders on one drive
    EXPECT_TRUE(sameFileSystemEntry(a, base + L"/x/../a/"));
    EXPECT_TRUE(sameFileSystemEntry(a, base + L"/./a"));
    EXPECT_FALSE(sameFileSystemEntry(a, base + L"/missing"));
    EXPECT_FALSE(sameFileSystemEntry(base + L"/missing", base + L"/missing"));
}

TEST(RecordingPlatform, FreeSpaceOfAnExistingFolderOnly) {
    const std::filesystem::path root = fakes::scratchFolder("space");
    uint64_t bytes = 0;
    EXPECT_TRUE(availableDiskBytes(fromFsPath(root), bytes));
    EXPECT_GT(bytes, 0u);
    EXPECT_FALSE(availableDiskBytes(fromFsPath(root / "missing" / "deeper"), bytes));

    const std::tm now = localCalendarNow();
    EXPECT_GE(now.tm_year + 1900, 2024);
}
