#include "util/folders.h"

#include <system_error>

#include "util/text.h"

namespace {
constexpr std::wstring_view kAppFolder = L"Quillhaven";
}

std::filesystem::path toFsPath(const std::wstring& path) {
  // UTF-8 in char8_t form is the one encoding that std::filesystem converts
  // the same way on every platform.
  const std::string utf8 = wideToUtf8(path);
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::wstring fromFsPath(const std::filesystem::path& path) {
  const std::u8string u8 = path.u8string();
  return utf8ToWide(std::string(u8.begin(), u8.end()));
}

std::wstring ensureFolder(const std::wstring& path) {
  if (!path.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(toFsPath(path), ec);
  }
  return path;
}

std::wstring joinPath(const std::wstring& folder, std::wstring_view name) {
  if (folder.empty()) return std::wstring(name);
  return fromFsPath(toFsPath(folder) / toFsPath(std::wstring(name)));
}

std::wstring chooseProfileFolder(const std::wstring& profileVariable, const std::wstring& roamingAppData) {
  if (!profileVariable.empty()) return profileVariable;
  return joinPath(roamingAppData, kAppFolder);
}

std::wstring profileFolder() {
  return ensureFolder(
      chooseProfileFolder(environmentVariable(L"QUILLHAVEN_PROFILE"), knownFolderPath(KnownFolder::RoamingAppData)));
}

std::wstring defaultRecordingFolder() {
  return ensureFolder(joinPath(knownFolderPath(KnownFolder::Videos), kAppFolder));
}
