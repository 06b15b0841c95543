#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shobjidl.h>

#include "util/shell.h"
#include "util/text.h"

namespace {
HWND asHwnd(WindowHandle w) { return static_cast<HWND>(w); }
}  // namespace

std::string pickOpenFile(WindowHandle owner, const std::vector<FileFilter>& filters) {
  const std::wstring filter = dialogFilterText(filters);
  wchar_t file[260] = {};
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = asHwnd(owner);
  ofn.lpstrFilter = filter.c_str();
  ofn.lpstrFile = file;
  ofn.nMaxFile = static_cast<DWORD>(std::size(file));
  ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&ofn)) return {};
  return wideToUtf8(file);
}

std::string pickFolder(WindowHandle owner) {
  IFileOpenDialog* dialog = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog))) ||
      !dialog) {
    return {};
  }
  std::string out;
  FILEOPENDIALOGOPTIONS options = 0;
  if (SUCCEEDED(dialog->GetOptions(&options)) &&
      SUCCEEDED(dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM)) &&
      SUCCEEDED(dialog->Show(asHwnd(owner)))) {
    IShellItem* item = nullptr;
    if (SUCCEEDED(dialog->GetResult(&item)) && item) {
      PWSTR path = nullptr;
      if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path)) && path) out = wideToUtf8(path);
      CoTaskMemFree(path);
      item->Release();
    }
  }
  dialog->Release();
  return out;
}

void openWithShell(const std::string& utf8PathOrAddress) {
  const std::wstring target = utf8ToWide(utf8PathOrAddress);
  ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void showInExplorer(const std::wstring& filePath) {
  const std::wstring params = explorerSelectParameters(filePath);
  ShellExecuteW(nullptr, L"open", L"explorer.exe", params.c_str(), nullptr, SW_SHOWNORMAL);
}

bool isWindowMaximized(WindowHandle window) { return IsZoomed(asHwnd(window)) != FALSE; }

void runCaptionCommand(WindowHandle window, int command) {
  const HWND hwnd = asHwnd(window);
  switch (command) {
    case CaptionClose:
      PostMessageW(hwnd, WM_CLOSE, 0, 0);
      break;
    case CaptionMinimize:
      ShowWindow(hwnd, SW_MINIMIZE);
      break;
    case CaptionMaximizeOrRestore:
      ShowWindow(hwnd, isWindowMaximized(window) ? SW_RESTORE : SW_MAXIMIZE);
      break;
    default:
      break;
  }
}
