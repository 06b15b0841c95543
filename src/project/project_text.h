#pragma once

// The project file's text form, apart from the file handling, so that it can
// be produced and read in memory.

#include <string>
#include <string_view>

#include "project/project.h"

// The complete file contents: magic line and one record per line.
std::string projectToText(const Project& project);

// Reads file contents. Replaces `project` and returns true when the magic
// line is right and at least one scene was read; otherwise leaves it alone.
bool projectFromText(std::string_view text, Project& project);
