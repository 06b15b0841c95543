#include <windows.h>

#include "app/file_ops.h"
#include "util/text.h"

bool pathExists(const std::string& utf8Path) {
    return GetFileAttributesW(utf8ToWide(utf8Path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool moveFileReplacing(const std::string& fromUtf8, const std::string& toUtf8) {
    return MoveFileExW(utf8ToWide(fromUtf8).c_str(), utf8ToWide(toUtf8).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
}

