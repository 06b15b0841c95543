#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "util/folders.h"

std::wstring knownFolderPath(KnownFolder folder) {
  const KNOWNFOLDERID& id = folder == KnownFolder::Videos ? FOLDERID_Videos : FOLDERID_RoamingAppData;
  PWSTR path = nullptr;
  std::wstring out;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)) && path) out = path;
  // The shell hands out its buffer even on failure.
  CoTaskMemFree(path);
  return out;
}

std::wstring environmentVariable(const std::wstring& name) {
  const DWORD needed = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
  if (needed <= 1) return {};
  std::wstring value(needed, L'\0');
  const DWORD got = GetEnvironmentVariableW(name.c_str(), value.data(), needed);
  if (got == 0 || got >= needed) return {};
  value.resize(got);
  return value;
}
