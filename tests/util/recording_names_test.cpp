#include <gtest/gtest.h>

#include "util/recording_names.h"

namespace {

FileNameFields sample() {
  FileNameFields f;
  f.show = "Quillhaven";
  f.scene = "Main";
  f.canvas = "Horizontal";
  f.part = 1;
  f.time.tm_year = 2026 - 1900;
  f.time.tm_mon = 11;  // December
  f.time.tm_mday = 7;
  f.time.tm_hour = 9;
  f.time.tm_min = 5;
  f.time.tm_sec = 3;
  return f;
}

TEST(RecordingNames, ExpandsTheDefaultTemplate) {
  EXPECT_EQ(expandFileName("{show} {date} {time} {canvas}", sample()), "Quillhaven 2026-12-07 09-05-03 Horizontal");
  EXPECT_EQ(expandFileName("{scene}-{canvas}", sample()), "Main-Horizontal");
}

TEST(RecordingNames, PartHasAtLeastTwoDigits) {
  FileNameFields f = sample();
  f.part = 3;
  EXPECT_EQ(expandFileName("{part}", f), "03");
  f.part = 123;
  EXPECT_EQ(expandFileName("{part}", f), "123");
}

TEST(RecordingNames, UnknownTokensAndLoneBracesStay) {
  EXPECT_EQ(expandFileName("{Show} {x}{}", sample()), "{Show} {x}{}");
  EXPECT_EQ(expandFileName("a { b", sample()), "a { b");
  EXPECT_EQ(expandFileName("{{show}", sample()), "{{show}");  // the token name is "{show"
  EXPECT_EQ(expandFileName("}{show}{", sample()), "}Quillhaven{");
}

TEST(RecordingNames, ForbiddenCharactersBecomeDashes) {
  FileNameFields f = sample();
  f.show = "a:b";
  f.scene = "x/y\\z";
  EXPECT_EQ(expandFileName("{show} {scene}", f), "a-b x-y-z");
  EXPECT_EQ(expandFileName("\"*/:<>?\\|\t\x01", f), "-----------");
  // Bytes of UTF-8 sequences are left alone.
  EXPECT_EQ(expandFileName("caf\xC3\xA9 \xE2\x9C\x93", f), "caf\xC3\xA9 \xE2\x9C\x93");
}

TEST(RecordingNames, TrailingBlanksAndDotsGoAndEmptyGivesRecording) {
  EXPECT_EQ(expandFileName("name. ", sample()), "name");
  EXPECT_EQ(expandFileName(" .. . ", sample()), "Recording");
  EXPECT_EQ(expandFileName("", sample()), "Recording");
  FileNameFields f = sample();
  f.show = "";
  EXPECT_EQ(expandFileName("{show}", f), "Recording");
  EXPECT_EQ(expandFileName(". name", sample()), ". name");
}

// A recording named after a device would be written into the device.
TEST(RecordingNames, DeviceNamesAreNotUsedAsTheyStand) {
  FileNameFields f = sample();
  for (const char* show : {"CON", "nul", "Aux", "PRN", "COM1", "lpt9", "COM0"}) {
    f.show = show;
    EXPECT_EQ(expandFileName("{show}", f), std::string(show) + "_") << show;
  }
  f.show = "NUL";
  EXPECT_EQ(expandFileName("{show}.{part}", f), "NUL_.01");
  for (const char* show : {"Console", "COM10", "COMA", "NULL", "my CON", "xNUL"}) {
    f.show = show;
    EXPECT_EQ(expandFileName("{show}", f), show) << show;
  }
}

// Appended after text of its own (the settings window's "Example: "): only the appended
// name is cleaned, trimmed, replaced or marked.
TEST(RecordingNames, AppendingLeavesWhatWasThere) {
  struct Case {
    const char* templateText;
    const char* expected;
  } cases[] = {{"{show}", "Ex: a Quillhaven"},
               {"a:b", "Ex: a a-b"},
               {" . .", "Ex: a Recording"},
               {"con. ", "Ex: a con_"},
               {"nul.{part}", "Ex: a nul_.01"}};
  for (const Case& c : cases) {
    std::string out = "Ex: a ";
    appendFileName(c.templateText, sample(), out);
    EXPECT_EQ(out, c.expected) << c.templateText;
  }
}

}  // namespace
