#include <gtest/gtest.h>
#include <cstdlib>
#include <fstream>
#include <string>
// Every test program finds the tree through QH_SOURCE_DIR, under Wine too.
TEST(Harness, SourceDirReadable) {
  const char* d = std::getenv("QH_SOURCE_DIR");
  ASSERT_NE(d, nullptr);
  std::ifstream f(std::string(d) + "/CMakeLists.txt");
  EXPECT_TRUE(f.good());
}
