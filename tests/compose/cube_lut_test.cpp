#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "media/cube_lut.h"

namespace {

std::string dataLines(int count) {
  std::string s;
  for (int i = 0; i < count; ++i) s += "0.5 0.25 1\n";
  return s;
}

std::string parseError(const std::string& text) {
  CubeLut lut;
  std::string error;
  EXPECT_FALSE(parseCubeLut(text, lut, error));
  return error;
}

TEST(CubeLut, SmallestTableLoadsInFileOrder) {
  CubeLut lut;
  std::string error;
  const std::string text =
      "# comment\nTITLE \"grade\"\n  LUT_3D_SIZE 2\nDOMAIN_MIN 0 0 0\nDOMAIN_MAX 1 2 3\n"
      "0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1 trailing words\n";
  ASSERT_TRUE(parseCubeLut(text, lut, error)) << error;
  EXPECT_EQ(lut.size, 2);
  ASSERT_EQ(lut.rgb.size(), 24u);
  EXPECT_EQ(lut.rgb[3], 1.0f);  // second entry: red runs fastest
  EXPECT_EQ(lut.rgb[4], 0.0f);
  EXPECT_EQ(lut.domainMax[2], 3.0f);
}

TEST(CubeLut, CountsMustMatchTheSize) {
  EXPECT_EQ(parseError("LUT_3D_SIZE 2\n" + dataLines(7)), "Wrong number of entries");
  EXPECT_EQ(parseError("LUT_3D_SIZE 2\n" + dataLines(9)), "Wrong number of entries");
  // Values before the size line count too.
  CubeLut lut;
  std::string error;
  EXPECT_TRUE(parseCubeLut(dataLines(3) + "LUT_3D_SIZE 2\n" + dataLines(5), lut, error)) << error;
}

TEST(CubeLut, RefusesWhatItCannotUse) {
  EXPECT_EQ(parseError("LUT_3D_SIZE 1\n"), "Unsupported LUT size");
  EXPECT_EQ(parseError("LUT_3D_SIZE 257\n"), "Unsupported LUT size");
  EXPECT_EQ(parseError("LUT_3D_SIZE\n"), "Unsupported LUT size");
  EXPECT_EQ(parseError("LUT_3D_SIZE 99999999999999999999\n"), "Unsupported LUT size");
  EXPECT_EQ(parseError("LUT_1D_SIZE 1024\n"), "1D LUTs are not supported, use a 3D .cube");
  EXPECT_EQ(parseError(dataLines(8)), "Missing LUT_3D_SIZE");
  EXPECT_EQ(parseError(""), "Missing LUT_3D_SIZE");
  EXPECT_EQ(parseError("LUT_3D_SIZE 2\nLUT_3D_INPUT_RANGE 0 1\n"), "Unreadable line: LUT_3D_INPUT_RANGE 0 1");
  EXPECT_EQ(parseError("LUT_3D_SIZE 2\n0.1 0.2\n"), "Unreadable line: 0.1 0.2");
  EXPECT_EQ(parseError("lut_3d_size 2\n"), "Unreadable line: lut_3d_size 2");
}

TEST(CubeLut, UnreadableLineShowsFortyBytesWithoutSplittingACharacter) {
  const std::string ascii = "   " + std::string(60, 'x');
  EXPECT_EQ(parseError(ascii), "Unreadable line: " + ascii.substr(0, 40));
  // 39 ASCII bytes then a two-byte "é": byte 40 would cut it in half.
  const std::string accented = std::string(39, 'a') + "\xC3\xA9 tail";
  EXPECT_EQ(parseError(accented), "Unreadable line: " + std::string(39, 'a'));
  const std::string euro = std::string(38, 'b') + "\xE2\x82\xAC";  // 41 bytes
  EXPECT_EQ(parseError(euro), "Unreadable line: " + std::string(38, 'b'));
}

TEST(CubeLut, WindowsLineEndingsAndIndentationAreFine) {
  std::string text = "\t# graded\r\nLUT_3D_SIZE 2\r\n\r\n   \t\r\n";
  for (int i = 0; i < 8; ++i) text += "  0.1 0.2 0.3\r\n";
  CubeLut lut;
  std::string error;
  EXPECT_TRUE(parseCubeLut(text, lut, error)) << error;
  EXPECT_FLOAT_EQ(lut.rgb[23], 0.3f);
}

TEST(CubeLut, ALaterSizeLineReplacesTheFirst) {
  CubeLut lut;
  std::string error;
  EXPECT_TRUE(parseCubeLut("LUT_3D_SIZE 3\nLUT_3D_SIZE 2\n" + dataLines(8), lut, error)) << error;
  EXPECT_EQ(lut.size, 2);
}

TEST(CubeLut, ReadingStopsOnceMoreValuesArriveThanAnyTableHolds) {
  CubeLutReader reader(24);
  ASSERT_TRUE(reader.line("LUT_3D_SIZE 2"));
  for (int i = 0; i < 8; ++i) ASSERT_TRUE(reader.line("1 1 1"));
  EXPECT_FALSE(reader.line("1 1 1"));
  EXPECT_FALSE(reader.line("1 1 1"));  // stays failed; nothing more is kept
  CubeLut lut;
  std::string error;
  EXPECT_FALSE(reader.finish(lut, error));
  EXPECT_EQ(error, "Wrong number of entries");
  EXPECT_EQ(CubeLutReader::kMaxValues, std::size_t(256) * 256 * 256 * 3);
}

class CubeLutFile : public ::testing::Test {
 protected:
  std::filesystem::path dir() {
    const char* bin = std::getenv("QH_BINARY_DIR");
    std::filesystem::path d = std::filesystem::path(bin ? bin : ".") / "test-data" / "compose";
    std::filesystem::create_directories(d);
    return d;
  }
  void write(const std::filesystem::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
  }
};

TEST_F(CubeLutFile, LoadsFromDiskAndReportsAMissingFile) {
  const auto good = dir() / "two.cube";
  write(good, "LUT_3D_SIZE 2\n" + dataLines(8));
  CubeLut lut;
  std::string error;
  EXPECT_TRUE(loadCubeLut(good.string(), lut, error)) << error;
  EXPECT_EQ(lut.size, 2);
  EXPECT_FALSE(loadCubeLut((dir() / "absent.cube").string(), lut, error));
  EXPECT_EQ(error, "Could not open the LUT file");
}

TEST_F(CubeLutFile, LongLinesAndAMissingFinalLineFeedLoad) {
  const auto p = dir() / "long.cube";
  // A title longer than any read chunk, and data with no line feed at the end.
  write(p, "TITLE \"" + std::string(200000, 'z') + "\"\nLUT_3D_SIZE 2\n" + dataLines(7) + "1 1 1");
  CubeLut lut;
  std::string error;
  EXPECT_TRUE(loadCubeLut(p.string(), lut, error)) << error;
  EXPECT_EQ(lut.rgb.size(), 24u);
}

}  // namespace
