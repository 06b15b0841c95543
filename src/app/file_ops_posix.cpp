#include <sys/stat.h>

#include "app/file_ops.h"

bool pathExists(const std::string& utf8Path) {
    struct stat st;
    return lstat(utf8Path.c_str(), &st) == 0;
}
