#include <gtest/gtest.h>

#include <string>

#include "util/shell.h"

namespace {

using namespace std::string_literals;

TEST(Shell, ImageFilterForTheCommonDialog) {
  const std::wstring text = dialogFilterText(imageFileFilters());
  EXPECT_EQ(text, L"Images\0*.png;*.jpg;*.jpeg;*.bmp;*.gif;*.tif;*.tiff;*.webp\0All files\0*.*\0\0"s);
  EXPECT_EQ(dialogFilterText({{"3D LUT (.cube)", "*.cube"}}), L"3D LUT (.cube)\0*.cube\0\0"s);
}

TEST(Shell, ExplorerSelectionIsQuoted) {
  EXPECT_EQ(explorerSelectParameters(L"C:\\My Videos\\a, b.mp4"), L"/select,\"C:\\My Videos\\a, b.mp4\"");
}

}  // namespace
