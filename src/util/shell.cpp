#include "util/shell.h"

#include "util/text.h"

const std::vector<FileFilter>& imageFileFilters() {
  static const std::vector<FileFilter> filters = {
      {"Images", "*.png;*.jpg;*.jpeg;*.bmp;*.gif;*.tif;*.tiff;*.webp"},
      {"All files", "*.*"},
  };
  return filters;
}

std::wstring dialogFilterText(const std::vector<FileFilter>& filters) {
  std::wstring out;
  for (const FileFilter& f : filters) {
    out += utf8ToWide(f.name);
    out.push_back(L'\0');
    out += utf8ToWide(f.patterns);
    out.push_back(L'\0');
  }
  out.push_back(L'\0');
  return out;
}

std::wstring explorerSelectParameters(const std::wstring& path) { return L"/select,\"" + path + L"\""; }

std::string openImageFileDialog(WindowHandle owner) { return pickOpenFile(owner, imageFileFilters()); }
