#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "app/file_ops.h"
#include "app/startup_rules.h"
#include "project/project_text.h"
#include "app_test_support.h"

TEST(UiWords, NumbersFollowTheirWords) {
    UiWords w = parseUiWords("settings3 both");
    EXPECT_EQ(w.settingsTab, 3);
    EXPECT_TRUE(w.both);
    EXPECT_FALSE(w.golive);
    EXPECT_FALSE(w.mixer);
    EXPECT_EQ(w.selectLayer, -1);

    w = parseUiWords("settings-1");
    EXPECT_EQ(w.settingsTab, -1);  // stays closed
    w = parseUiWords("select");
    EXPECT_EQ(w.selectLayer, 0);   // no digits: 0
    w = parseUiWords("selectx9");
    EXPECT_EQ(w.selectLayer, 0);
    w = parseUiWords("inspect  +2,select 4");
    EXPECT_EQ(w.inspectTab, 2);
    EXPECT_EQ(w.selectLayer, 4);
    w = parseUiWords("select99999999999999999999");
    EXPECT_EQ(w.selectLayer, 2147483647);
}

TEST(UiWords, WordsMatchAnywhereWithoutSeparators) {
    UiWords w = parseUiWords("golivemixerprompterlivedemoshowcase");
    EXPECT_TRUE(w.golive);
    EXPECT_TRUE(w.mixer);
    EXPECT_TRUE(w.prompter);
    EXPECT_TRUE(w.livedemo);
    EXPECT_TRUE(w.showcase);
    EXPECT_FALSE(w.both);
    w = parseUiWords("");
    EXPECT_FALSE(w.golive);
    EXPECT_EQ(w.settingsTab, -1);
}

namespace {

// An in-memory file system for the recovery rules.
struct FakeFiles {
    std::map<std::string, std::string> files;  // path -> "good" or "bad"
    int moves = 0;
    ProjectFileOps ops() {
        ProjectFileOps o;
        o.load = [this](Project& p, const std::string& path) {
            auto it = files.find(path);
            if (it == files.end() || it->second != "good") return false;
            p = Project{};
            p.showName = "from " + path;
            return true;
        };
        o.exists = [this](const std::string& path) { return files.count(path) > 0; };
        o.moveReplacing = [this](const std::string& from, const std::string& to) {
            ++moves;
            files[to] = files[from];
            files.erase(from);
            return true;
        };
        return o;
    }
};

}  // namespace

TEST(ProjectRecovery, DecisionsForEachCase) {
    const std::string path = "p/project.txt";
    {
        FakeFiles fs;
        fs.files[path] = "good";
        Project p;
        EXPECT_EQ(loadProjectWithRecovery(p, path, fs.ops()), ProjectLoadOutcome::Loaded);
        EXPECT_EQ(p.showName, "from " + path);
        EXPECT_EQ(fs.moves, 0);
    }
    {
        FakeFiles fs;
        fs.files[path] = "bad";
        fs.files[path + ".bak"] = "good";
        Project p;
        EXPECT_EQ(loadProjectWithRecovery(p, path, fs.ops()), ProjectLoadOutcome::RestoredFromBackup);
        EXPECT_EQ(p.showName, "from " + path + ".bak");
        // The damaged file is moved aside so that no save copies it over the backup.
        EXPECT_EQ(fs.files.count(path), 0u);
        EXPECT_EQ(fs.files[path + ".unreadable"], "bad");
        EXPECT_EQ(fs.files[path + ".bak"], "good");
    }
    {
        FakeFiles fs;
        fs.files[path] = "bad";
        fs.files[path + ".bak"] = "bad";
        fs.files[path + ".unreadable"] = "older";
        Project p;
        p.showName = "stale";
        EXPECT_EQ(loadProjectWithRecovery(p, path, fs.ops()), ProjectLoadOutcome::StartedFresh);
        EXPECT_EQ(p, makeDefaultProject());
        EXPECT_EQ(fs.files[path + ".unreadable"], "bad");
        EXPECT_EQ(fs.files.count(path), 0u);
    }
    {
        FakeFiles fs;
        Project p;
        EXPECT_EQ(loadProjectWithRecovery(p, path, fs.ops()), ProjectLoadOutcome::FirstRun);
        EXPECT_EQ(p, makeDefaultProject());
        EXPECT_EQ(fs.moves, 0);
    }
    {
        // A backup without a main file: restored, nothing to move.
        FakeFiles fs;
        fs.files[path + ".bak"] = "good";
        Project p;
        EXPECT_EQ(loadProjectWithRecovery(p, path, fs.ops()), ProjectLoadOutcome::RestoredFromBackup);
        EXPECT_EQ(fs.moves, 0);
    }
}

// The same cases on real files (under Wine: wide paths, MoveFileExW).
class ProjectRecoveryFiles : public ::testing::Test {
protected:
    void SetUp() override { dir = freshTestFolder("recovery"); path = dir + "project.txt"; }
    std::string dir, path;
};

TEST_F(ProjectRecoveryFiles, DamagedFileWithGoodBackupNeverLosesTheBackup) {
    Project good = makeDefaultProject();
    good.showName = "Good show";
    // A three-scene project cut mid-line after 800 bytes, as a disk error or a stopped copy
    // leaves it; and a file that is no project at all.
    const std::string cut = projectToText(makeDefaultProject()).substr(0, 800);
    ASSERT_NE(cut.back(), '\n');
    for (const std::string& damaged : {cut, std::string("not a project\n")}) {
        ASSERT_TRUE(good.save(path + ".bak"));
        writeFile(path, damaged);
        Project p;
        ASSERT_EQ(loadProjectWithRecovery(p, path, realProjectFileOps()),
                  ProjectLoadOutcome::RestoredFromBackup);
        EXPECT_EQ(p, good);
        EXPECT_EQ(readFile(path + ".unreadable"), damaged);
        EXPECT_FALSE(pathExists(path));
        // The next save must keep a loadable backup.
        p.showName = "Edited";
        ASSERT_TRUE(p.save(path));
        Project bak;
        EXPECT_TRUE(bak.load(path + ".bak"));
        EXPECT_EQ(bak.showName, "Good show");
        ASSERT_TRUE(p.save(path));
        EXPECT_TRUE(bak.load(path + ".bak"));
        EXPECT_EQ(bak.showName, "Edited");
    }
}

TEST_F(ProjectRecoveryFiles, BothDamagedStartsFreshAndReplacesTheOldUnreadable) {
    writeFile(path, "garbage 1");
    writeFile(path + ".bak", "garbage 2");
    writeFile(path + ".unreadable", "older garbage");
    Project p;
    EXPECT_EQ(loadProjectWithRecovery(p, path, realProjectFileOps()), ProjectLoadOutcome::StartedFresh);
    EXPECT_EQ(p, makeDefaultProject());
    EXPECT_EQ(readFile(path + ".unreadable"), "garbage 1");
    EXPECT_FALSE(pathExists(path));
}

TEST_F(ProjectRecoveryFiles, GoodFileAndFirstRun) {
    Project p;
    EXPECT_EQ(loadProjectWithRecovery(p, path, realProjectFileOps()), ProjectLoadOutcome::FirstRun);
    EXPECT_FALSE(pathExists(path));
    p.showName = "Saved";
    ASSERT_TRUE(p.save(path));
    Project q;
    EXPECT_EQ(loadProjectWithRecovery(q, path, realProjectFileOps()), ProjectLoadOutcome::Loaded);
    EXPECT_EQ(q.showName, "Saved");
}

TEST_F(ProjectRecoveryFiles, AFolderInThePlaceOfTheFileIsMovedAside) {
    makeFolder(path);
    Project p;
    EXPECT_EQ(loadProjectWithRecovery(p, path, realProjectFileOps()), ProjectLoadOutcome::StartedFresh);
    EXPECT_TRUE(pathExists(path + ".unreadable"));
    EXPECT_FALSE(pathExists(path));
}
