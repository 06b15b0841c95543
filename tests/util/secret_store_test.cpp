// One contract for both stores: the Credential Manager in the Windows build
// and the native build's own stand-in.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "util/folders.h"
#include "util/secret_store.h"
#include "util_test_support.h"

namespace {

class SecretStore : public ::testing::Test {
 protected:
  void SetUp() override {
    // Keys unique to this run, so that parallel runs and leftovers of an
    // earlier one cannot meet.
    prefix_ = "test-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "/";
  }
  void TearDown() override {
    for (const std::string& k : used_) storeSecret(k, "");
  }
  std::string key(const std::string& name) {
    used_.push_back(prefix_ + name);
    return used_.back();
  }

  // The native stand-in keeps its files in the profile folder.
  std::wstring profile_ = freshTestFolder(L"secrets-profile");
  ScopedEnvironment env_{L"QUILLHAVEN_PROFILE", &profile_};
  std::string prefix_;
  std::vector<std::string> used_;
};

TEST_F(SecretStore, RoundTripsArbitraryBytes) {
  const std::string k = key("dest/a");
  const std::string value = "k\xC3\xA9y \xF0\x9F\x94\x91 \xFF\x01" + std::string(1, '\0') + "end";
  ASSERT_TRUE(storeSecret(k, value));
  EXPECT_EQ(loadSecret(k), value);
  ASSERT_TRUE(storeSecret(k, "replaced"));
  EXPECT_EQ(loadSecret(k), "replaced");
}

TEST_F(SecretStore, MissingEntriesReadEmptyAndDeleteSucceeds) {
  const std::string k = key("never-stored");
  EXPECT_EQ(loadSecret(k), "");
  EXPECT_TRUE(storeSecret(k, ""));
  ASSERT_TRUE(storeSecret(k, "v"));
  EXPECT_TRUE(storeSecret(k, ""));
  EXPECT_EQ(loadSecret(k), "");
  EXPECT_TRUE(storeSecret(k, ""));
}

TEST_F(SecretStore, KeysAreIndependent) {
  const std::string a = key("dest/1"), b = key("dest/12"), c = key("dest/1/"), d = key("dest/\xC3\xA9");
  ASSERT_TRUE(storeSecret(a, "one"));
  ASSERT_TRUE(storeSecret(b, "twelve"));
  ASSERT_TRUE(storeSecret(d, "accent"));
  EXPECT_EQ(loadSecret(a), "one");
  EXPECT_EQ(loadSecret(b), "twelve");
  EXPECT_EQ(loadSecret(c), "");
  EXPECT_EQ(loadSecret(d), "accent");
  ASSERT_TRUE(storeSecret(a, ""));
  EXPECT_EQ(loadSecret(b), "twelve");
}

TEST(SecretStoreNames, TargetCarriesTheProductPrefix) {
  EXPECT_EQ(secretTargetName("dest/x1"), L"Quillhaven/dest/x1");
  EXPECT_EQ(secretTargetName("control-token"), L"Quillhaven/control-token");
  EXPECT_EQ(secretTargetName(""), L"Quillhaven/");
}

}  // namespace
