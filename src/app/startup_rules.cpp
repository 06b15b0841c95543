#include "app/startup_rules.h"

#include <cctype>
#include <climits>

#include "app/file_ops.h"
#include "project/project_file.h"

const char* const kRestoredNotice = "Your settings file was damaged: restored the last good copy";
const char* const kStartedFreshNotice =
    "Couldn't read your settings, so Quillhaven started fresh. The old file is kept as "
    "project.txt.unreadable";

namespace {

// The integer right after the word: blanks and a sign allowed, saturating.
int numberAfter(const std::string& text, size_t pos) {
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    long long v = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        if (v < INT_MAX) v = v * 10 + (text[pos] - '0');
        ++pos;
    }
    if (v > INT_MAX) v = INT_MAX;
    return int(negative ? -v : v);
}

// Returns the position after the word, or npos.
size_t findWord(const std::string& text, const char* word) {
    size_t at = text.find(word);
    return at == std::string::npos ? at : at + std::char_traits<char>::length(word);
}

}  // namespace

UiWords parseUiWords(const std::string& text) {
    UiWords w;
    size_t at;
    if ((at = findWord(text, "settings")) != std::string::npos) w.settingsTab = numberAfter(text, at);
    if ((at = findWord(text, "select")) != std::string::npos) w.selectLayer = numberAfter(text, at);
    if ((at = findWord(text, "inspect")) != std::string::npos) w.inspectTab = numberAfter(text, at);
    w.both = findWord(text, "both") != std::string::npos;
    w.prompter = findWord(text, "prompter") != std::string::npos;
    w.golive = findWord(text, "golive") != std::string::npos;
    w.mixer = findWord(text, "mixer") != std::string::npos;
    w.livedemo = findWord(text, "livedemo") != std::string::npos;
    w.showcase = findWord(text, "showcase") != std::string::npos;
    return w;
}

ProjectFileOps realProjectFileOps() {
    ProjectFileOps ops;
    ops.load = [](Project& p, const std::string& path) { return p.load(path); };
    ops.exists = pathExists;
    ops.moveReplacing = projectfile::replace;
    return ops;
}

ProjectLoadOutcome loadProjectWithRecovery(Project& project, const std::string& path,
                                           const ProjectFileOps& ops) {
    Project loaded;
    if (ops.load(loaded, path)) {
        project = std::move(loaded);
        return ProjectLoadOutcome::Loaded;
    }
    const bool present = ops.exists(path);
    Project backup;
    if (ops.load(backup, path + ".bak")) {
        project = std::move(backup);
        if (present) ops.moveReplacing(path, path + ".unreadable");
        return ProjectLoadOutcome::RestoredFromBackup;
    }
    project = makeDefaultProject();
    if (!present) return ProjectLoadOutcome::FirstRun;
    ops.moveReplacing(path, path + ".unreadable");
    return ProjectLoadOutcome::StartedFresh;
}
