#include <string>

#include "project/project.h"
#include "project/project_file.h"
#include "project/project_text.h"

bool Project::save(const std::string& utf8Path) const {
    const std::string tmpPath = utf8Path + ".tmp";
    // A failed write leaves the temporary file behind and the project file
    // untouched.
    if (!projectfile::writeAll(tmpPath, projectToText(*this))) return false;
    // Nothing to copy on the very first save, so the result does not matter.
    projectfile::copy(utf8Path, utf8Path + ".bak");
    return projectfile::replace(tmpPath, utf8Path);
}

bool Project::load(const std::string& utf8Path) {
    std::string text;
    if (!projectfile::readAll(utf8Path, text)) return false;
    return projectFromText(text, *this);
}
