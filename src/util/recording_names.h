#pragma once
// Base names of recording files, from the user's template.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

// The texts are viewed, not copied: they must outlive the expansion.
struct FileNameFields {
  std::string_view show;    // the project's show name
  std::string_view scene;   // the active scene's name
  std::string_view canvas;  // "Horizontal" or "Vertical"
  std::int32_t part = 1;
  std::tm time = {};   // local calendar time when the part's files are opened
};

// Expands {show} {scene} {canvas} {part} {date} {time} in `templateText`
// (other braces are kept as written), replaces characters that file names
// cannot hold with "-", trims trailing blanks and dots, and falls back to
// "Recording" when nothing is left; a name that Windows reserves for a device
// (CON, NUL, COM1, ...) gets a "_" after it. No folder, no extension.
std::string expandFileName(const std::string& templateText, const FileNameFields& fields);
// The same appended to `out`, whose storage is reused (the settings window shows an example
// every frame).
void appendFileName(const std::string& templateText, const FileNameFields& fields, std::string& out);
