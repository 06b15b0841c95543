#pragma once
// Start-up decisions that need no platform: the demonstration words and the
// recovery of a damaged project file.

#include <functional>
#include <string>

#include "project/project.h"

// What QUILLHAVEN_UI asks for. -1 means "leave as is" for the numbered words.
struct UiWords {
    int settingsTab = -1;
    int selectLayer = -1;
    int inspectTab = -1;
    bool both = false;
    bool prompter = false;
    bool golive = false;
    bool mixer = false;
    bool livedemo = false;
    bool showcase = false;
};

// Finds each word anywhere in the text; the number after a word may have
// leading blanks and a sign and stops at the first non-digit (0 when absent).
UiWords parseUiWords(const std::string& text);

enum class ProjectLoadOutcome {
    Loaded,              // project.txt read
    RestoredFromBackup,  // project.txt damaged, project.txt.bak read
    StartedFresh,        // both damaged: default project, old file moved aside
    FirstRun,            // nothing there: default project, no notice
};

extern const char* const kRestoredNotice;
extern const char* const kStartedFreshNotice;

struct ProjectFileOps {
    std::function<bool(Project&, const std::string&)> load;
    std::function<bool(const std::string&)> exists;
    std::function<bool(const std::string& from, const std::string& to)> moveReplacing;
};
ProjectFileOps realProjectFileOps();

// Loads path into project, falling back to path + ".bak", else a fresh
// project. A damaged project.txt is always moved aside to ".unreadable", so
// the next save cannot copy it over the good backup.
ProjectLoadOutcome loadProjectWithRecovery(Project& project, const std::string& path,
                                           const ProjectFileOps& ops);
