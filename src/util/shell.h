#pragma once
// Windows shell services: file and folder pickers, opening documents and
// addresses, showing a file in the file explorer, and the caption commands of
// the custom title bar. Main thread only; the pickers are modal.

#include <string>
#include <vector>

// A window handle (HWND) without the Windows headers.
using WindowHandle = void*;

struct FileFilter {
  std::string name;      // e.g. "Images"
  std::string patterns;  // e.g. "*.png;*.jpg"
};

// "Images" (png, jpg, jpeg, bmp, gif, tif, tiff, webp), then "All files".
const std::vector<FileFilter>& imageFileFilters();

// The common dialog's filter form: name, NUL, patterns, NUL for each filter,
// then one more NUL.
std::wstring dialogFilterText(const std::vector<FileFilter>& filters);

// The explorer's parameters that select `path`; quoted so that commas and
// blanks in the path survive.
std::wstring explorerSelectParameters(const std::wstring& path);

// The chosen file as UTF-8, or "" when cancelled.
std::string pickOpenFile(WindowHandle owner, const std::vector<FileFilter>& filters);
std::string openImageFileDialog(WindowHandle owner);
// The chosen folder as UTF-8, or "" when cancelled or unavailable.
std::string pickFolder(WindowHandle owner);

// Opens a document or address with the program the shell associates with it.
void openWithShell(const std::string& utf8PathOrAddress);
// Opens the file explorer with the file selected.
void showInExplorer(const std::wstring& filePath);

enum CaptionCommand : int {
  CaptionClose = 1,
  CaptionMinimize = 2,
  CaptionMaximizeOrRestore = 3,
};

bool isWindowMaximized(WindowHandle window);
// Other command values do nothing.
void runCaptionCommand(WindowHandle window, int command);
