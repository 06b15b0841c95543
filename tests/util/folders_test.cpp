#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "util/folders.h"
#include "util/text.h"
#include "util_test_support.h"

namespace {

bool isFolder(const std::wstring& path) { return std::filesystem::is_directory(toFsPath(path)); }

// Points the native stand-ins of the shell folders into the test folder; the
// Windows build reads the real known folders and ignores these.
struct ShellFoldersInside {
  explicit ShellFoldersInside(const std::wstring& base)
      : home(L"HOME", &base), config(L"XDG_CONFIG_HOME", nullptr) {}
  ScopedEnvironment home;
  ScopedEnvironment config;
};

TEST(Folders, ProfileRuleTakesTheVariableUnlessEmpty) {
  EXPECT_EQ(chooseProfileFolder(L"D:\\p", L"C:\\Roaming"), L"D:\\p");
  EXPECT_EQ(chooseProfileFolder(L"", L"/roaming"), joinPath(L"/roaming", L"Quillhaven"));
  EXPECT_EQ(joinPath(L"", L"x"), L"x");
}

TEST(Folders, ProfileVariableNamesAFolderThatIsCreatedWithItsParents) {
  const std::wstring base = freshTestFolder(L"profile-var");
  const std::wstring wanted = joinPath(joinPath(joinPath(base, L"a"), L"b \u00E9\U0001F600"), L"c");
  ScopedEnvironment env(L"QUILLHAVEN_PROFILE", &wanted);
  EXPECT_EQ(profileFolder(), wanted);
  EXPECT_TRUE(isFolder(wanted));
}

TEST(Folders, EmptyProfileVariableMeansTheRoamingFolder) {
  const std::wstring base = freshTestFolder(L"profile-empty");
  ShellFoldersInside shell(base);
  const std::wstring empty;
  ScopedEnvironment env(L"QUILLHAVEN_PROFILE", &empty);
  const std::wstring roaming = knownFolderPath(KnownFolder::RoamingAppData);
  ASSERT_FALSE(roaming.empty());
  const std::wstring expected = joinPath(roaming, L"Quillhaven");
  EXPECT_EQ(profileFolder(), expected);
  EXPECT_TRUE(isFolder(expected));

  ScopedEnvironment unset(L"QUILLHAVEN_PROFILE", nullptr);
  EXPECT_EQ(profileFolder(), expected);
}

TEST(Folders, DefaultRecordingFolderIsInsideVideos) {
  const std::wstring base = freshTestFolder(L"videos");
  ShellFoldersInside shell(base);
  const std::wstring videos = knownFolderPath(KnownFolder::Videos);
  ASSERT_FALSE(videos.empty());
  const std::wstring folder = defaultRecordingFolder();
  EXPECT_EQ(folder, joinPath(videos, L"Quillhaven"));
  EXPECT_TRUE(isFolder(folder));
}

TEST(Folders, EnsureFolderIgnoresFailure) {
  const std::wstring base = freshTestFolder(L"ensure");
  const std::wstring file = joinPath(base, L"plain-file");
  std::ofstream(toFsPath(file)) << "x";
  // A folder below a file cannot be made; nothing is thrown.
  const std::wstring below = joinPath(file, L"sub");
  EXPECT_EQ(ensureFolder(below), below);
  EXPECT_FALSE(isFolder(below));
  EXPECT_EQ(ensureFolder(L""), L"");
}

TEST(Folders, FilesystemPathsKeepEveryCharacter) {
  const std::wstring name = L"caf\u00E9 \u4E2D \U0001F600";
  EXPECT_EQ(fromFsPath(toFsPath(name)), name);
}

}  // namespace
