#include <gtest/gtest.h>

#include "recording_fakes.h"

using namespace fakes;

namespace {

const std::string kDot = "  \xC2\xB7  ";

struct Rig {
    explicit Rig(const std::string& name) {
        root = scratchFolder(name);
        main = root + "/main";
        backup = root + "/backup";
        project.recordingFolder = main;
        project.fileNameTemplate = "{show} {date} {time}";
        project.mkv = true;
        scene.name = "Main";
        world.freeMiB[utf8ToWide(main)] = 100000;
        world.freeMiB[utf8ToWide(backup)] = 100000;
        session = std::make_unique<RecordingSession>(
            [this](Container c) { return std::make_unique<FakeRecorder>(book, c); }, &horizontal, &vertical, &mic,
            world.environment());
    }
    std::string start() { return session->start(project, scene); }
    void tick(size_t audioFrames = 0) { session->tick(project, scene, std::vector<int16_t>(audioFrames * 2, 1)); }
    std::wstring path(const std::string& dir, const std::string& name) {
        return joinPath(utf8ToWide(dir), utf8ToWide(name));
    }

    std::string root, main, backup;
    Project project;
    Scene scene;
    World world;
    RecorderBook book;
    FakeCompositor horizontal, vertical;
    FakeMic mic;
    std::unique_ptr<RecordingSession> session;
};

}  // namespace

TEST(RecordingSession, BothCanvasesWithBackupAreNamedByCanvas) {
    Rig rig("both");
    rig.project.recordVertical = true;
    rig.project.backupFolder = rig.backup;
    rig.project.canvases[1].bitrateKbps = 8000;
    rig.project.encoderPreset = 2;
    rig.project.safeMp4 = false;
    ASSERT_EQ(rig.start(), "");
    EXPECT_TRUE(rig.session->recording);

    const auto logs = rig.book.opened();
    ASSERT_EQ(logs.size(), 4u);
    EXPECT_EQ(logs[0]->path, rig.path(rig.main, "Quillhaven 2026-12-07 09-05-03 Horizontal.mkv"));
    EXPECT_EQ(logs[1]->path, rig.path(rig.backup, "Quillhaven 2026-12-07 09-05-03 Horizontal.mkv"));
    EXPECT_EQ(logs[2]->path, rig.path(rig.main, "Quillhaven 2026-12-07 09-05-03 Vertical.mkv"));
    EXPECT_EQ(logs[3]->path, rig.path(rig.backup, "Quillhaven 2026-12-07 09-05-03 Vertical.mkv"));
    for (const auto& l : logs) EXPECT_EQ(l->container, Container::Mkv);
    const RecordingSettings& v = logs[2]->settings;
    EXPECT_EQ(v.width, 1080);
    EXPECT_EQ(v.height, 1920);
    EXPECT_EQ(v.fps, 30);
    EXPECT_EQ(v.videoBitrate, 8'000'000);
    EXPECT_EQ(v.sampleRate, 48000);
    EXPECT_EQ(v.audioBytesPerSecond, 24000);
    EXPECT_EQ(v.preset, 2);
    EXPECT_FALSE(v.fragmented);
    EXPECT_EQ(rig.session->savedFiles.size(), 2u);
    EXPECT_EQ(rig.session->encoderName(), "Fake H.264");
    EXPECT_EQ(rig.session->takeStatus(), "");

    // Each canvas is read back once per due frame; the same pixels go to both copies.
    rig.world.advanceSeconds(0.05);
    rig.tick(2400);
    EXPECT_EQ(rig.horizontal.maps, 1);
    EXPECT_EQ(rig.vertical.maps, 1);
    EXPECT_EQ(rig.horizontal.unmaps, 1);
    for (const auto& l : logs) {
        EXPECT_EQ(l->frames, (std::vector<int64_t>{1}));
        EXPECT_EQ(l->audioFrames, 2400u);
    }

    EXPECT_EQ(rig.start(), "");  // starting twice changes nothing
    EXPECT_EQ(rig.book.opened().size(), 4u);

    rig.session->stop();
    for (const auto& l : logs) EXPECT_TRUE(l->closed);
    const RecordingNotice notice = noticeAfterToggle(*rig.session, "");
    EXPECT_EQ(notice.text, "Saved Quillhaven 2026-12-07 09-05-03 Vertical.mkv" + kDot + "click to show in folder");
    EXPECT_EQ(notice.path, rig.path(rig.main, "Quillhaven 2026-12-07 09-05-03 Vertical.mkv"));
    EXPECT_EQ(rig.session->elapsedSeconds(), 0);
}

TEST(RecordingSession, NamesNeverOverwriteInEitherFolder) {
    Rig rig("collide");
    rig.project.backupFolder = rig.backup;
    rig.project.mkv = false;
    ASSERT_EQ(rig.start(), "");
    rig.session->stop();
    std::ofstream(toFsPath(rig.path(rig.backup, "Quillhaven 2026-12-07 09-05-03 (2).mp4"))) << "";
    ASSERT_EQ(rig.start(), "");
    const auto logs = rig.book.opened();
    ASSERT_EQ(logs.size(), 4u);
    EXPECT_EQ(logs[0]->path, rig.path(rig.main, "Quillhaven 2026-12-07 09-05-03.mp4"));
    EXPECT_EQ(logs[2]->path, rig.path(rig.main, "Quillhaven 2026-12-07 09-05-03 (3).mp4"));
    EXPECT_EQ(logs[3]->path, rig.path(rig.backup, "Quillhaven 2026-12-07 09-05-03 (3).mp4"));
    EXPECT_EQ(rig.session->currentFileName(), "Quillhaven 2026-12-07 09-05-03 (3).mp4");
}

TEST(RecordingSession, BackupInTheSameFolderWrittenDifferentlyIsDropped) {
    Rig rig("samefolder");
    rig.project.backupFolder = rig.main + "/../main/.";
    ASSERT_EQ(rig.start(), "");
    EXPECT_TRUE(rig.session->backupFolder.empty());
    EXPECT_EQ(rig.book.opened().size(), 1u);
    EXPECT_EQ(rig.session->takeStatus(), "");

    Rig other("otherfolder");  // two folders on one drive are two folders
    other.project.backupFolder = other.backup;
    ASSERT_EQ(other.start(), "");
    EXPECT_EQ(other.book.opened().size(), 2u);
}

TEST(RecordingSession, SplitsIntoPartsAndKeepsCounting) {
    Rig rig("split");
    rig.project.splitMinutes = 15;
    ASSERT_EQ(rig.start(), "");
    rig.world.advanceSeconds(600);
    rig.tick();
    EXPECT_EQ(rig.session->elapsedSeconds(), 600);
    rig.world.advanceSeconds(300);
    rig.world.calendar.tm_min = 20;
    rig.tick();
    const auto logs = rig.book.opened();
    ASSERT_EQ(logs.size(), 2u);
    EXPECT_TRUE(logs[0]->closed);
    EXPECT_EQ(logs[1]->path, rig.path(rig.main, "Quillhaven 2026-12-07 09-20-03 part 2.mkv"));
    EXPECT_EQ(rig.session->currentFileName(), "Quillhaven 2026-12-07 09-20-03 part 2.mkv");
    EXPECT_EQ(rig.session->part, 2);
    rig.world.advanceSeconds(61.5);
    EXPECT_EQ(rig.session->elapsedSeconds(), 961);
    rig.tick();
    EXPECT_EQ(logs[1]->frames.front(), 1845);  // the new file counts its own frames from its start

    // A template with {part} gets no extra words.
    Rig tokens("splittoken");
    tokens.project.splitMinutes = 30;
    tokens.project.fileNameTemplate = "take {part}";
    ASSERT_EQ(tokens.start(), "");
    tokens.world.advanceSeconds(1800);
    tokens.tick();
    EXPECT_EQ(tokens.book.opened()[1]->path, tokens.path(tokens.main, "take 02.mkv"));
}

TEST(RecordingSession, PauseLeavesNoGapAndLateTicksSkipFrameNumbers) {
    Rig rig("pause");
    ASSERT_EQ(rig.start(), "");
    const auto log = rig.book.opened()[0];
    rig.tick(10);  // frame 0
    rig.world.advanceSeconds(1.0 / 30 + 1e-6);
    rig.tick(10);  // frame 1
    rig.session->togglePause();
    for (int i = 0; i < 300; ++i) {
        rig.world.advanceSeconds(1.0 / 30);
        rig.tick(480);
    }
    EXPECT_TRUE(rig.session->paused);
    EXPECT_EQ(rig.session->elapsedSeconds(), 0);
    rig.session->togglePause();
    rig.world.advanceSeconds(1.0 / 30 + 1e-6);
    rig.tick(10);
    EXPECT_EQ(log->frames, (std::vector<int64_t>{0, 1, 2}));
    EXPECT_EQ(log->audioFrames, 30u);

    rig.world.advanceSeconds(4.0 / 30);  // three frame intervals late
    rig.tick();
    EXPECT_EQ(log->frames.back(), 6);

    rig.horizontal.failMap = true;  // a failed read-back skips the frame, the clock goes on
    rig.world.advanceSeconds(1.0 / 30);
    rig.tick();
    rig.horizontal.failMap = false;
    rig.world.advanceSeconds(1.0 / 30);
    rig.tick();
    EXPECT_EQ(log->frames.back(), 8);
    EXPECT_EQ(rig.horizontal.maps, rig.horizontal.unmaps + 1);
}

TEST(RecordingSession, AfterAStallEachFrameNumberIsWrittenOnce) {
    Rig rig("stall");
    rig.project.recordVertical = true;
    ASSERT_EQ(rig.start(), "");
    rig.tick();
    rig.world.advanceSeconds(0.5);  // the loop stalled for half a second
    for (int i = 0; i < 90; ++i) {  // then runs at 120 passes a second, four per frame
        rig.world.advanceSeconds(1.0 / 120);
        rig.tick();
    }
    for (const auto& log : rig.book.opened()) {
        ASSERT_GE(log->frames.size(), 2u);
        EXPECT_EQ(log->frames[1], 15);  // the first frame after the stall carries the clock's number
        for (size_t i = 1; i < log->frames.size(); ++i) ASSERT_GT(log->frames[i], log->frames[i - 1]) << i;
        EXPECT_EQ(log->frames.size(), size_t(1 + log->frames.back() - 15 + 1));
    }
}

TEST(RecordingSession, DiskWatchWarnsOnceThenStops) {
    Rig rig("disk");
    ASSERT_EQ(rig.start(), "");
    const std::wstring main = utf8ToWide(rig.main);
    rig.world.freeMiB[main] = 3 * 1024 + 500;
    rig.world.advanceSeconds(4.9);
    rig.tick();
    EXPECT_EQ(rig.session->takeStatus(), "");  // not yet five seconds
    rig.world.advanceSeconds(0.2);
    rig.tick();
    EXPECT_EQ(rig.session->takeStatus(), "Low disk space: 3 GB free");
    rig.world.advanceSeconds(5);
    rig.tick();
    EXPECT_EQ(rig.session->takeStatus(), "");
    rig.world.freeMiB[main] = 599;
    rig.world.advanceSeconds(5);
    rig.tick();
    EXPECT_FALSE(rig.session->recording);
    EXPECT_TRUE(rig.book.opened()[0]->closed);
    EXPECT_EQ(rig.session->takeStatus(), "Recording stopped: disk almost full (599 MB free). The file is saved.");
}

TEST(RecordingSession, LowSpaceJoinsTheBackupNoticeOfTheSameCheck) {
    Rig rig("lowjoin");
    rig.project.backupFolder = rig.backup;
    ASSERT_EQ(rig.start(), "");
    rig.world.freeMiB[utf8ToWide(rig.main)] = 2048;
    rig.world.freeMiB[utf8ToWide(rig.backup)] = 300;
    rig.world.advanceSeconds(5);
    rig.tick();
    EXPECT_EQ(rig.session->takeStatus(),
              "Backup copy stopped: backup drive almost full (300 MB free)" + kDot + "Low disk space: 2 GB free");
    EXPECT_TRUE(rig.session->recording);
    EXPECT_TRUE(rig.book.opened()[1]->closed);
    EXPECT_TRUE(rig.session->backupFolder.empty());
}

TEST(RecordingSession, RefusedStartShowsWhyBeforeTheBackupNotice) {
    Rig rig("refused");
    rig.project.backupFolder = rig.backup;
    rig.world.freeMiB[utf8ToWide(rig.main)] = 500;
    rig.world.freeMiB[utf8ToWide(rig.backup)] = 100;
    const std::string error = rig.start();
    EXPECT_EQ(error, "Not enough disk space (500 MB free)");
    EXPECT_FALSE(rig.session->recording);
    const RecordingNotice notice = noticeAfterToggle(*rig.session, error);
    EXPECT_EQ(notice.text, "Could not record: Not enough disk space (500 MB free)" + kDot +
                               "Backup copy stopped: backup drive almost full (100 MB free)");
    EXPECT_TRUE(notice.path.empty());
    EXPECT_EQ(rig.session->takeStatus(), "");

    Rig unknown("unknownspace");  // a free-space query that fails counts as enough space
    unknown.world.freeMiB.clear();
    EXPECT_EQ(unknown.start(), "");
}

TEST(RecordingSession, StartFailuresAndTheirTexts) {
    Rig none("nocanvas");
    none.project.recordHorizontal = false;
    EXPECT_EQ(none.start(), "Choose a canvas to record in Settings");

    Rig mainFails("mainfails");
    mainFails.project.recordVertical = true;
    mainFails.book.failOpenUnder[mainFails.path(mainFails.main, "Quillhaven 2026-12-07 09-05-03 Vertical")] =
        "Could not create the video file";
    const std::string error = mainFails.start();
    EXPECT_EQ(error, "Could not record Vertical: Could not create the video file");
    EXPECT_FALSE(mainFails.session->recording);
    EXPECT_TRUE(mainFails.book.opened()[0]->closed);  // the horizontal file is finished again
    // A recording that never started leaves no empty files behind, and is refused once.
    EXPECT_EQ(filesIn(mainFails.main), std::vector<std::string>{});
    EXPECT_EQ(noticeAfterToggle(*mainFails.session, error).text, error);

    Rig backupFails("backupfails");
    backupFails.project.backupFolder = backupFails.backup;
    backupFails.book.failOpenUnder[utf8ToWide(backupFails.backup)] = "H.264 encoder unavailable (0x80040154)";
    backupFails.mic.rate = 0;
    EXPECT_EQ(backupFails.start(), "");
    EXPECT_EQ(backupFails.session->takeStatus(), "Backup copy not recorded: H.264 encoder unavailable (0x80040154)" +
                                                     kDot + "Recording without the microphone: not open");
    EXPECT_TRUE(backupFails.session->active[0][0]);
    EXPECT_FALSE(backupFails.session->active[0][1]);
    EXPECT_EQ(filesIn(backupFails.backup), std::vector<std::string>{});
    EXPECT_EQ(filesIn(backupFails.main).size(), 1u);

    Rig micStatus("micstatus");
    micStatus.mic.rate = 0;
    micStatus.mic.statusText = "No microphone found";
    micStatus.book.supports48k = false;
    EXPECT_EQ(micStatus.start(), "");
    EXPECT_EQ(micStatus.session->takeStatus(), "Recording without the microphone: No microphone found");
    EXPECT_EQ(micStatus.book.opened()[0]->settings.sampleRate, 0);

    Rig badCanvas("badcanvas");
    badCanvas.project.canvases[0].fps = 0;
    EXPECT_EQ(badCanvas.start(), "Could not record Horizontal: the canvas size or frame rate is not valid");
    EXPECT_TRUE(badCanvas.book.opened().empty());
}

TEST(RecordingSession, RecorderErrorsWhileRecording) {
    Rig rig("errors");
    rig.project.backupFolder = rig.backup;
    ASSERT_EQ(rig.start(), "");
    auto* backup = static_cast<FakeRecorder*>(rig.session->recorders[0][1].get());
    backup->error = "Writing the MKV file failed (disk full?)";
    rig.tick(10);
    EXPECT_EQ(rig.session->takeStatus(), "Backup copy stopped: Writing the MKV file failed (disk full?)");
    EXPECT_TRUE(rig.session->recording);
    EXPECT_FALSE(rig.session->active[0][1]);

    auto* mainRecorder = static_cast<FakeRecorder*>(rig.session->recorders[0][0].get());
    mainRecorder->error = "Writing a video frame failed";
    rig.tick(10);
    EXPECT_FALSE(rig.session->recording);
    EXPECT_TRUE(mainRecorder->log->closed);
    EXPECT_EQ(rig.session->takeStatus(), "Recording stopped: Writing a video frame failed");

    // A file that could not be finished when the user stops is not announced as saved.
    Rig unfinished("unfinished");
    ASSERT_EQ(unfinished.start(), "");
    unfinished.book.errorAtClose = "Finishing the MKV file failed";
    unfinished.session->stop();
    EXPECT_EQ(unfinished.session->takeStatus(),
              "Could not finish Quillhaven 2026-12-07 09-05-03.mkv: Finishing the MKV file failed");
}

TEST(RecordingSession, FailedSplitEndsTheRecordingWithItsReason) {
    Rig rig("splitfail");
    rig.project.splitMinutes = 15;
    ASSERT_EQ(rig.start(), "");
    rig.book.failOpenUnder[utf8ToWide(rig.main)] = "Could not create the video file";
    rig.world.advanceSeconds(900);
    rig.tick();
    EXPECT_FALSE(rig.session->recording);
    EXPECT_EQ(rig.session->takeStatus(), "Could not record Horizontal: Could not create the video file");
    // The finished first part stays; the part that never started leaves nothing.
    EXPECT_EQ(filesIn(rig.main), std::vector<std::string>{"Quillhaven 2026-12-07 09-05-03.mkv"});
    EXPECT_EQ(rig.session->currentFileName(), "Quillhaven 2026-12-07 09-05-03.mkv");
}

TEST(RecordingSession, BuiltFromAKitTakesItsParts) {
    struct Kit {
        RecordingSession::RecorderFactory makeRecorder;
        std::unique_ptr<ICompositor> compositors[2];
        std::unique_ptr<IAudioInput> micInput;
    } kit;
    RecorderBook book;
    kit.makeRecorder = [&book](Container c) { return std::make_unique<FakeRecorder>(book, c); };
    kit.compositors[0] = std::make_unique<FakeCompositor>();
    kit.compositors[1] = std::make_unique<FakeCompositor>();
    kit.micInput = std::make_unique<FakeMic>();
    RecordingSession session(kit);
    EXPECT_EQ(session.compositors[1], kit.compositors[1].get());
    EXPECT_EQ(session.mic, kit.micInput.get());
    EXPECT_EQ(book.logs.size(), 4u);  // four MP4 recorders made up front
    for (const auto& l : book.logs) EXPECT_EQ(l->container, Container::Mp4);
}
