#include <cstdlib>

#include "util/folders.h"
#include "util/text.h"

// Stand-ins for the shell's folders: the XDG settings folder and ~/Videos.
std::wstring knownFolderPath(KnownFolder folder) {
  const std::wstring home = environmentVariable(L"HOME");
  if (folder == KnownFolder::Videos) return home.empty() ? std::wstring() : joinPath(home, L"Videos");
  const std::wstring config = environmentVariable(L"XDG_CONFIG_HOME");
  if (!config.empty()) return config;
  return home.empty() ? std::wstring() : joinPath(home, L".config");
}

std::wstring environmentVariable(const std::wstring& name) {
  const char* value = std::getenv(wideToUtf8(name).c_str());
  return value ? utf8ToWide(value) : std::wstring();
}
