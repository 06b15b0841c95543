#include <cstdio>
#include <string>

#include "project/project.h"
#include "project/project_file.h"
#include "project/project_text.h"

bool Project::save(const std::string& utf8Path) const {
    const std::string text = projectToText(*this);
    const std::string tmpPath = utf8Path + ".tmp";
    std::FILE* f = projectfile::open(tmpPath, "wb");
    if (!f) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fflush(f) == 0 && ok;
    ok = !std::ferror(f) && ok;
    ok = std::fclose(f) == 0 && ok;
    // A failed write leaves the temporary file behind and the project file
    // untouched.
    if (!ok) return false;
    // Nothing to copy on the very first save, so the result does not matter.
    projectfile::copy(utf8Path, utf8Path + ".bak");
    return projectfile::replace(tmpPath, utf8Path);
}

bool Project::load(const std::string& utf8Path) {
    std::FILE* f = projectfile::open(utf8Path, "rb");
    if (!f) return false;
    std::string text;
    char buf[1 << 16];
    for (;;) {
        const size_t n = std::fread(buf, 1, sizeof buf, f);
        text.append(buf, n);
        if (n < sizeof buf) break;
    }
    const bool readFailed = std::ferror(f) != 0;
    std::fclose(f);
    if (readFailed) return false;
    return projectFromText(text, *this);
}
