#pragma once
// The folders the studio owns. Paths are wide strings, as the operating
// system takes them.

#include <filesystem>
#include <string>
#include <string_view>

enum class KnownFolder {
  RoamingAppData,  // per-user application settings
  Videos,          // the user's videos
};

// The shell's path of a known folder; empty when it cannot be had.
std::wstring knownFolderPath(KnownFolder folder);

// An environment variable's value; empty when unset.
std::wstring environmentVariable(const std::wstring& name);

// Creates the folder and any missing parents; errors are ignored (a folder
// that cannot be made shows up later when something is written into it).
std::wstring ensureFolder(const std::wstring& path);

// `folder` joined with `name` by the platform's separator.
std::wstring joinPath(const std::wstring& folder, std::wstring_view name);

// A filesystem path for a wide string, and back, without going through the
// current narrow code page.
std::filesystem::path toFsPath(const std::wstring& path);
std::wstring fromFsPath(const std::filesystem::path& path);

// The profile folder's rule on its own: the QUILLHAVEN_PROFILE value when it
// is set and not empty, else "Quillhaven" inside the roaming settings folder.
std::wstring chooseProfileFolder(const std::wstring& profileVariable, const std::wstring& roamingAppData);

// The profile folder (project file, GUI layout, updates), created when missing.
std::wstring profileFolder();

// The Videos folder's "Quillhaven" folder, created when missing.
std::wstring defaultRecordingFolder();
