#include <windows.h>

#include "app/file_ops.h"
#include "util/text.h"

bool pathExists(const std::string& utf8Path) {
    return GetFileAttributesW(utf8ToWide(utf8Path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

