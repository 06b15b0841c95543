// What the native stand-in adds to the shared contract: its files are private
// to the user and it will not follow a planted link.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "util/folders.h"
#include "util/secret_store.h"
#include "util/text.h"
#include "util_test_support.h"

namespace {

TEST(SecretStandIn, FolderAndFilesArePrivate) {
  std::wstring profile = freshTestFolder(L"secrets-private");
  ScopedEnvironment env(L"QUILLHAVEN_PROFILE", &profile);
  const std::string folder = wideToUtf8(joinPath(profile, L"secrets"));
  std::filesystem::create_directories(folder);
  chmod(folder.c_str(), 0755);
  ASSERT_TRUE(storeSecret("dest/p", "value"));
  struct stat st = {};
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    ++files;
    ASSERT_EQ(stat(entry.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
  }
  EXPECT_EQ(files, 1);  // no temporary file left behind
}

TEST(SecretStandIn, RefusesALinkedFolder) {
  std::wstring profile = freshTestFolder(L"secrets-link");
  const std::string elsewhere = wideToUtf8(joinPath(profile, L"elsewhere"));
  std::filesystem::create_directories(elsewhere);
  ASSERT_EQ(symlink(elsewhere.c_str(), wideToUtf8(joinPath(profile, L"secrets")).c_str()), 0);
  ScopedEnvironment env(L"QUILLHAVEN_PROFILE", &profile);
  EXPECT_FALSE(storeSecret("dest/l", "value"));
  EXPECT_EQ(loadSecret("dest/l"), "");
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
}

}  // namespace
