#include <string>

#include "project/project.h"
#include "project/project_file.h"
#include "project/project_text.h"

bool Project::save(const std::string& utf8Path) const {
    const std::string tmpPath = utf8Path + ".tmp";
    // A failed write leaves the temporary file behind and the project file
    // untouched.
    if (!projectfile::writeAll(tmpPath, projectToText(*this))) return false;
    // The backup only ever takes a file that loads whole: a damaged file (one that was loaded
    // damaged, or damaged since) must not replace the last good copy. Nothing to copy on the
    // very first save, so the result does not matter.
    std::string current;
    Project probe;
    if (projectfile::readAll(utf8Path, current) && projectFromText(current, probe))
        projectfile::writeAll(utf8Path + ".bak", current);
    return projectfile::replace(tmpPath, utf8Path);
}

bool Project::load(const std::string& utf8Path) {
    std::string text;
    if (!projectfile::readAll(utf8Path, text)) return false;
    return projectFromText(text, *this);
}
