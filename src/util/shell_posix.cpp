#include "util/shell.h"

// The native build has no shell and no windows: pickers behave as if
// cancelled and the rest does nothing.

std::string pickOpenFile(WindowHandle, const std::vector<FileFilter>&) { return {}; }
std::string pickFolder(WindowHandle) { return {}; }
void openWithShell(const std::string&) {}
void showInExplorer(const std::wstring&) {}
bool isWindowMaximized(WindowHandle) { return false; }
void runCaptionCommand(WindowHandle, int) {}
