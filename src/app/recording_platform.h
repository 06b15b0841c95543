#pragma once
// What the recording session asks of the system beyond plain file operations.

#include <cstdint>
#include <ctime>
#include <string>

// True when both paths name the same existing file or folder, decided by its identity on
// disk (volume and file index, or device and inode), so that two spellings of one folder
// match and two folders on one drive do not. False when either cannot be opened.
bool sameFileSystemEntry(const std::wstring& a, const std::wstring& b);

// Bytes of the folder's volume available to the calling user (quota-aware); false when the
// volume cannot be asked.
bool availableDiskBytes(const std::wstring& folder, uint64_t& bytes);

// The local calendar time now, for file names.
std::tm localCalendarNow();
