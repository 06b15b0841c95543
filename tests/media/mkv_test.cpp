#include "ebml_reader.h"
#include "media/mkv_recorder.h"
#include "media/mkv_writer.h"
#include "media/packaging.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <memory>

namespace {

std::filesystem::path testDir() {
    const char* b = std::getenv("QH_BINARY_DIR");
    std::filesystem::path dir = (b && *b ? std::filesystem::path(b) : std::filesystem::temp_directory_path()) / "test-data" / "mkv";
    std::filesystem::create_directories(dir);
    return dir;
}

std::wstring testPath(const std::string& name) { return (testDir() / name).wstring(); }

std::vector<uint8_t> readFile(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const std::vector<uint8_t> kSps = {0x67, 0x64, 0x00, 0x1F, 0xAC, 0xD9};
const std::vector<uint8_t> kPps = {0x68, 0xEE, 0x3C, 0x80};

std::vector<uint8_t> annexB(std::initializer_list<std::vector<uint8_t>> units) {
    std::vector<uint8_t> out;
    for (const auto& u : units) {
        out.insert(out.end(), {0, 0, 0, 1});
        out.insert(out.end(), u.begin(), u.end());
    }
    return out;
}

EncodedPacket videoPacket(int64_t ms, bool key, bool withParameterSets = true, uint8_t tag = 0) {
    EncodedPacket p;
    p.time = ms * 10000;
    p.keyframe = key;
    if (key && withParameterSets) p.data = annexB({{0x09, 0xF0}, kSps, kPps, {0x65, 0x88, tag}});
    else p.data = annexB({{static_cast<uint8_t>(key ? 0x65 : 0x41), 0x9A, tag}});
    return p;
}

struct FakeState {
    std::deque<std::vector<EncodedPacket>> videoScript;  // packets handed out per encode call
    std::deque<std::vector<EncodedPacket>> audioScript;
    bool videoOpenFails = false;
    bool audioOpenFails = false;
    std::string videoError, audioError;
    std::vector<uint8_t> sequenceHeader;
    VideoEncoderSettings videoSettings;
    int audioRate = 0, audioBytes = 0, videoCloses = 0, audioCloses = 0, audioEncodes = 0;
};

class FakeVideo : public IVideoPacketEncoder {
public:
    explicit FakeVideo(std::shared_ptr<FakeState> s) : state(std::move(s)) {}
    bool open(const VideoEncoderSettings& s) override {
        state->videoSettings = s;
        if (state->videoOpenFails) state->videoError = "No H.264 encoder accepted 64x48";
        return !state->videoOpenFails;
    }
    void encode(const uint8_t*, int, int64_t, std::vector<EncodedPacket>& out) override {
        if (state->videoScript.empty()) return;
        for (auto& p : state->videoScript.front()) out.push_back(p);
        state->videoScript.pop_front();
    }
    void close() override { ++state->videoCloses; }
    std::string lastError() const override { return state->videoError; }
    std::string name() const override { return "Fake H.264"; }
    std::vector<uint8_t> sequenceHeader() const override { return state->sequenceHeader; }

private:
    std::shared_ptr<FakeState> state;
};

class FakeAudio : public IAudioPacketEncoder {
public:
    explicit FakeAudio(std::shared_ptr<FakeState> s) : state(std::move(s)) {}
    bool open(int rate, int bytes) override {
        state->audioRate = rate;
        state->audioBytes = bytes;
        if (state->audioOpenFails) state->audioError = "AAC encoder unavailable (0x80040154)";
        return !state->audioOpenFails;
    }
    void encode(const int16_t*, uint64_t, std::vector<EncodedPacket>& out) override {
        ++state->audioEncodes;
        if (state->audioScript.empty()) return;
        for (auto& p : state->audioScript.front()) out.push_back(p);
        state->audioScript.pop_front();
    }
    void close() override { ++state->audioCloses; }
    std::string lastError() const override { return state->audioError; }

private:
    std::shared_ptr<FakeState> state;
};

EncodedPacket audioPacket(int64_t index) {
    EncodedPacket p;
    p.data = {0x21, 0x10, static_cast<uint8_t>(index)};
    p.time = index * 1024 * 10000000 / 48000;
    p.keyframe = true;
    return p;
}

RecordingSettings settings(int sampleRate = 48000, int fps = 30) {
    RecordingSettings s;
    s.width = 64;
    s.height = 48;
    s.fps = fps;
    s.videoBitrate = 1000000;
    s.sampleRate = sampleRate;
    s.audioBytesPerSecond = 24000;
    return s;
}

struct Rig {
    std::shared_ptr<FakeState> state = std::make_shared<FakeState>();
    std::unique_ptr<MkvRecorder> recorder = std::make_unique<MkvRecorder>(
        std::make_unique<FakeVideo>(state), std::make_unique<FakeAudio>(state));
    std::vector<uint8_t> frame = std::vector<uint8_t>(64 * 48 * 4, 0);
    int64_t n = 0;
    void video(std::vector<EncodedPacket> out) {
        state->videoScript.push_back(std::move(out));
        recorder->writeVideo(frame.data(), 64 * 4, n++);
    }
    void audio(std::vector<EncodedPacket> out) {
        state->audioScript.push_back(std::move(out));
        const int16_t samples[4] = {};
        recorder->writeAudio(samples, 2);
    }
};

std::vector<uint8_t> lengthPrefixed(const std::vector<uint8_t>& annexB) {
    return annexBToAvcc(annexB.data(), annexB.size());
}

}  // namespace

TEST(Ebml, SizesUseTheShortestLengthAndAvoidAllOnes) {
    auto size = [](uint64_t n) {
        std::vector<uint8_t> v;
        ebmlPutSize(v, n);
        return v;
    };
    EXPECT_EQ(size(0), (std::vector<uint8_t>{0x80}));
    EXPECT_EQ(size(126), (std::vector<uint8_t>{0xFE}));
    EXPECT_EQ(size(127), (std::vector<uint8_t>{0x40, 0x7F}));
    EXPECT_EQ(size(16382), (std::vector<uint8_t>{0x7F, 0xFE}));
    EXPECT_EQ(size(16383), (std::vector<uint8_t>{0x20, 0x3F, 0xFF}));
    EXPECT_EQ(size(268435455).size(), 5u);
    EXPECT_EQ(size(uint64_t(1) << 50).size(), 8u);
    std::vector<uint8_t> v;
    ebmlPutId(v, 0xA3);
    ebmlPutId(v, 0x1A45DFA3);
    ebmlPutUInt(v, 0xE7, 0);
    ebmlPutUInt(v, 0xE7, 300);
    EXPECT_EQ(v, (std::vector<uint8_t>{0xA3, 0x1A, 0x45, 0xDF, 0xA3, 0xE7, 0x81, 0x00, 0xE7, 0x82, 0x01, 0x2C}));
}

TEST(MkvWriter, HeaderPlacesDurationAtItsFixedOffsetAndFinishPatchesIt) {
    for (int rate : {0, 48000}) {
        const std::wstring path = testPath("header" + std::to_string(rate) + ".mkv");
        MkvWriter w;
        ASSERT_TRUE(w.open(path));
        MkvTrackInfo info;
        info.width = 1920;
        info.height = 1080;
        info.avcC = {1, 0x64, 0, 0x28, 0xFF, 0xE1, 0, 1, 0x67, 1, 0, 1, 0x68};
        info.sampleRate = rate;
        info.audioSpecificConfig = aacAudioSpecificConfig(48000, 2);
        w.writeHeader(info);
        const uint8_t slice[] = {0, 0, 0, 1, 0x65};
        w.writeBlock(1, slice, sizeof slice, 0, true);
        ASSERT_TRUE(w.finish(10000));
        const auto bytes = readFile(path);
        ASSERT_GT(bytes.size(), 101u);
        EXPECT_EQ(ebml::floatOf(bytes, MkvWriter::kDurationOffset), 10000.0);
        const ebml::File f = ebml::parse(bytes);
        EXPECT_TRUE(f.ok);
        EXPECT_EQ(f.duration, 10000.0);
        if (rate) {
            EXPECT_EQ(f.codecs, (std::vector<std::string>{"V_MPEG4/ISO/AVC", "A_AAC"}));
            EXPECT_EQ(f.codecPrivate[1], (std::vector<uint8_t>{0x11, 0x90}));
        } else {
            EXPECT_EQ(f.codecs, (std::vector<std::string>{"V_MPEG4/ISO/AVC"}));
        }
        EXPECT_EQ(f.codecPrivate[0], info.avcC);
    }
}

TEST(MkvWriter, ClustersOpenOnKeyFramesAfterASecondAndOnLargeJumps) {
    const std::wstring path = testPath("clusters.mkv");
    MkvWriter w;
    ASSERT_TRUE(w.open(path));
    const uint8_t b = 0;
    w.writeBlock(1, &b, 1, 0, true);  // before the header: ignored
    w.writeHeader(MkvTrackInfo{});
    w.writeBlock(1, &b, 1, 100, true);
    w.writeBlock(2, &b, 1, 90, true);
    w.writeBlock(1, &b, 1, 1099, false);   // 999 ms after the cluster time: same cluster
    w.writeBlock(1, &b, 1, 1100, false);   // 1000 ms: new cluster
    w.writeBlock(1, &b, 1, 1133, true);    // key frame: new cluster
    w.writeBlock(2, &b, 1, 41200, true);   // audio 40 s later: new cluster without video
    w.writeBlock(2, &b, 1, 41300, true);
    w.writeBlock(2, &b, 1, 3000000000LL, true);  // past 2^31 ms
    w.writeBlock(1, &b, 1, 3000000010LL, false);
    ASSERT_TRUE(w.finish(3000000043LL));
    const ebml::File f = ebml::parse(readFile(path));
    ASSERT_TRUE(f.ok);
    std::vector<int64_t> times;
    std::vector<size_t> counts;
    for (const auto& c : f.clusters) {
        times.push_back(c.time);
        counts.push_back(c.blocks.size());
    }
    EXPECT_EQ(times, (std::vector<int64_t>{100, 1100, 1133, 41200, 3000000000LL}));
    EXPECT_EQ(counts, (std::vector<size_t>{3, 1, 1, 2, 2}));
    EXPECT_EQ(f.clusters[0].blocks[1].relative, -10);
    EXPECT_EQ(f.clusters[4].blocks[1].time, 3000000010LL);
    EXPECT_EQ(f.duration, 3000000043.0);
}

TEST(MkvWriter, NegativeTimesStartTheClusterAtZero) {
    const std::wstring path = testPath("negative.mkv");
    MkvWriter w;
    ASSERT_TRUE(w.open(path));
    w.writeHeader(MkvTrackInfo{});
    const uint8_t b = 0;
    w.writeBlock(2, &b, 1, -21, true);
    w.writeBlock(2, &b, 1, -90000, true);  // beyond a 16-bit offset: pinned, not wrapped
    ASSERT_TRUE(w.finish(0));
    const ebml::File f = ebml::parse(readFile(path));
    ASSERT_EQ(f.clusters.size(), 2u);
    EXPECT_EQ(f.clusters[0].time, 0);
    EXPECT_EQ(f.clusters[0].blocks[0].relative, -21);
    EXPECT_EQ(f.clusters[1].blocks[0].relative, -32768);
}

TEST(MkvWriter, FinishWithoutOpenIsTrueAndOpenFailsInAMissingFolder) {
    MkvWriter w;
    EXPECT_TRUE(w.finish(5));
    EXPECT_FALSE(w.open(testPath("no-such-folder/x.mkv")));
}

TEST(MkvRecorder, StartsAtTheFirstKeyFrameWithHeldAudioRightAfterIt) {
    Rig r;
    ASSERT_TRUE(r.recorder->open(testPath("start.mkv"), settings()));
    EXPECT_EQ(r.state->videoSettings.keyframeSeconds, 2);
    EXPECT_EQ(r.state->videoSettings.bitrate, 1000000);
    EXPECT_EQ(r.state->audioRate, 48000);
    EXPECT_EQ(r.state->audioBytes, 24000);
    r.audio({audioPacket(0), audioPacket(1)});
    r.video({videoPacket(0, false)});  // not a key frame: dropped
    r.audio({audioPacket(2)});
    const EncodedPacket key = videoPacket(66, true, true, 7);
    r.video({key});
    r.audio({audioPacket(3)});
    r.video({videoPacket(100, false, true, 8)});
    r.recorder->close();
    EXPECT_EQ(r.recorder->lastError(), "");
    EXPECT_FALSE(r.recorder->isOpen());

    const ebml::File f = ebml::parse(readFile(testPath("start.mkv")));
    ASSERT_TRUE(f.ok);
    const auto blocks = f.blocks();
    ASSERT_EQ(blocks.size(), 6u);
    // The first block is length-prefixed like every other, without parameter sets.
    EXPECT_EQ(blocks[0].track, 1);
    EXPECT_TRUE(blocks[0].key);
    EXPECT_EQ(blocks[0].data, lengthPrefixed(key.data));
    EXPECT_EQ(blocks[0].data, (std::vector<uint8_t>{0, 0, 0, 3, 0x65, 0x88, 7}));
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(blocks[i].track, 2);
        EXPECT_EQ(blocks[i].data, audioPacket(i - 1).data);
        EXPECT_TRUE(blocks[i].key);
    }
    EXPECT_EQ(blocks[4].track, 2);
    EXPECT_EQ(blocks[5].data, (std::vector<uint8_t>{0, 0, 0, 3, 0x41, 0x9A, 8}));
    std::vector<uint8_t> avcC;
    ASSERT_TRUE(avcDecoderConfigFromAnnexB(key.data.data(), key.data.size(), avcC));
    EXPECT_EQ(f.codecPrivate[0], avcC);
    EXPECT_EQ(f.duration, 133.0);  // 100 ms + 1000 / 30
}

TEST(MkvRecorder, KeyFrameWithoutParameterSetsFallsBackToTheSequenceHeader) {
    Rig r;
    r.state->sequenceHeader = annexB({kSps, kPps});
    ASSERT_TRUE(r.recorder->open(testPath("seqheader.mkv"), settings(0)));
    r.video({videoPacket(0, true, false, 1)});
    r.recorder->close();
    EXPECT_EQ(r.recorder->lastError(), "");
    const ebml::File f = ebml::parse(readFile(testPath("seqheader.mkv")));
    ASSERT_EQ(f.blocks().size(), 1u);
    std::vector<uint8_t> avcC;
    ASSERT_TRUE(avcDecoderConfigFromAnnexB(r.state->sequenceHeader.data(), r.state->sequenceHeader.size(), avcC));
    EXPECT_EQ(f.codecPrivate[0], avcC);
}

TEST(MkvRecorder, MissingParameterSetsAreRecoverableUntilTheyPersist) {
    Rig r;
    ASSERT_TRUE(r.recorder->open(testPath("nosps.mkv"), settings(0)));
    r.video({videoPacket(0, true, false)});
    r.video({videoPacket(33, false)});
    r.video({videoPacket(2000, true, false)});
    EXPECT_EQ(r.recorder->lastError(), "");  // the session would stop on any text
    r.video({videoPacket(4000, true, true, 5)});
    r.recorder->close();
    EXPECT_EQ(r.recorder->lastError(), "");
    auto blocks = ebml::parse(readFile(testPath("nosps.mkv"))).blocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].time, 4000);

    Rig never;
    ASSERT_TRUE(never.recorder->open(testPath("nosps2.mkv"), settings(0)));
    for (int i = 0; i < MkvRecorder::kMaxKeyframesWithoutParameterSets; ++i)
        never.video({videoPacket(i * 2000, true, false)});
    EXPECT_EQ(never.recorder->lastError(), "Encoder sent no SPS/PPS");
}

TEST(MkvRecorder, RefusesAFrameRateBelowOne) {
    for (int fps : {0, -30}) {
        Rig r;
        EXPECT_FALSE(r.recorder->open(testPath("fps.mkv"), settings(48000, fps)));
        EXPECT_FALSE(r.recorder->isOpen());
        EXPECT_EQ(r.recorder->lastError(), "Frame rate must be at least 1 (got " + std::to_string(fps) + ")");
        r.recorder->close();
    }
}

TEST(MkvRecorder, DurationIsTheLastBlockPlusOneFrame) {
    Rig r;
    ASSERT_TRUE(r.recorder->open(testPath("duration.mkv"), settings(0)));
    r.video({videoPacket(0, true)});
    r.video({videoPacket(9967, false)});
    r.recorder->close();
    const auto bytes = readFile(testPath("duration.mkv"));
    EXPECT_EQ(ebml::floatOf(bytes, MkvWriter::kDurationOffset), 10000.0);
}

TEST(MkvRecorder, WithoutAudioThereIsOneTrackAndAudioIsIgnored) {
    Rig r;
    ASSERT_TRUE(r.recorder->open(testPath("noaudio.mkv"), settings(0)));
    r.audio({audioPacket(0)});
    EXPECT_EQ(r.state->audioEncodes, 0);
    EXPECT_EQ(r.state->audioRate, 0);  // never opened
    r.video({videoPacket(0, true)});
    r.recorder->close();
    const ebml::File f = ebml::parse(readFile(testPath("noaudio.mkv")));
    EXPECT_EQ(f.codecs.size(), 1u);
    EXPECT_EQ(f.blocks().size(), 1u);
}

TEST(MkvRecorder, EncoderFailuresAtOpenCloseEverything) {
    Rig video;
    video.state->videoOpenFails = true;
    EXPECT_FALSE(video.recorder->open(testPath("venc.mkv"), settings()));
    EXPECT_EQ(video.recorder->lastError(), "No H.264 encoder accepted 64x48");
    EXPECT_FALSE(video.recorder->isOpen());
    EXPECT_EQ(readFile(testPath("venc.mkv")).size(), 0u);

    Rig audio;
    audio.state->audioOpenFails = true;
    EXPECT_FALSE(audio.recorder->open(testPath("aenc.mkv"), settings()));
    EXPECT_EQ(audio.recorder->lastError(), "AAC encoder unavailable (0x80040154)");
    EXPECT_EQ(audio.state->videoCloses, 1);

    Rig file;
    EXPECT_FALSE(file.recorder->open(testPath("missing/dir.mkv"), settings()));
    EXPECT_EQ(file.recorder->lastError(), "Could not create the video file");
}

TEST(MkvRecorder, ErrorsComeFromTheRecorderThenVideoThenAudio) {
    Rig r;
    ASSERT_TRUE(r.recorder->open(testPath("errors.mkv"), settings()));
    r.state->audioError = "AAC encoding failed";
    EXPECT_EQ(r.recorder->lastError(), "AAC encoding failed");
    r.state->videoError = "Video encoder failed (0x80004005)";
    EXPECT_EQ(r.recorder->lastError(), "Video encoder failed (0x80004005)");
    EXPECT_TRUE(r.recorder->supportsSampleRate(44100));
    EXPECT_TRUE(r.recorder->supportsSampleRate(48000));
    EXPECT_FALSE(r.recorder->supportsSampleRate(32000));
    EXPECT_EQ(r.recorder->encoderName(), "Fake H.264");
    r.recorder->close();
    EXPECT_EQ(r.state->videoCloses, 1);
    EXPECT_EQ(r.state->audioCloses, 1);
}

TEST(MkvRecorder, AFileCopiedWhileGrowingHoldsEveryClosedCluster) {
    Rig r;
    ASSERT_TRUE(r.recorder->open(testPath("growing.mkv"), settings(0)));
    for (int i = 0; i < 90; ++i) r.video({videoPacket(i * 33, i % 30 == 0, true, static_cast<uint8_t>(i))});
    const ebml::File partial = ebml::parse(readFile(testPath("growing.mkv")));
    EXPECT_TRUE(partial.ok);
    ASSERT_EQ(partial.clusters.size(), 2u);  // the third is still open
    EXPECT_EQ(partial.blocks().size(), 60u);
    EXPECT_EQ(partial.duration, 0.0);
    r.recorder->close();
    EXPECT_EQ(ebml::parse(readFile(testPath("growing.mkv"))).blocks().size(), 90u);
}

TEST(MkvRecorder, AFullDiskIsReported) {
    Rig r;
    if (!r.recorder->open(L"/dev/full", settings(0))) GTEST_SKIP() << "no /dev/full here";
    r.video({videoPacket(0, true)});
    for (int i = 1; i < 40; ++i) r.video({videoPacket(i * 33, false)});
    EXPECT_EQ(r.recorder->lastError(), "Writing the MKV file failed (disk full?)");
    r.recorder->close();
}
