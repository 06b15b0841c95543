#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>
#include <cmath>
#include <filesystem>
#include <string>

#include "project/project.h"
#include "project/project_text.h"
#include "test_files.h"

namespace fs = std::filesystem;

namespace {

const std::string kMagic = "quillhaven\t2\n";

// A project that sets every field away from its default, with text that
// needs escaping and values that need exactly six significant digits.
Project richProject() {
    Project p = makeDefaultProject();
    p.recordWhenLive = true;
    p.darkMode = false;
    p.themeName = "Ocean";
    p.textSizePercent = 115;
    p.micDeviceId = "{0.0.1.00000000}.{abc}";
    p.voiceProcessing = false;
    p.desktopAudio = false;
    p.micGain = 1.5f;
    p.desktopGain = 0.25f;
    p.noiseGate = true;
    p.gateDb = -60.5f;
    p.micDelayMs = 120;
    p.remoteControl = true;
    p.remotePort = 8000;
    p.localNetwork = true;
    p.virtualCamera = true;
    p.virtualCameraCanvas = 1;
    p.canvases[0] = {1280, 720, 60, 9000};
    p.canvases[1] = {720, 1280, 24, 4000};
    p.recordHorizontal = false;
    p.recordVertical = true;
    p.splitMinutes = 30;
    p.showName = "Friday \\ show";
    p.fileNameTemplate = "{show}\t{part}";
    p.recordingFolder = "C:\\Users\\Zoë\\Videos";
    p.backupFolder = "D:\\Backup\r\nline";
    p.safeMp4 = false;
    p.encoderPreset = EncoderPreset::Efficiency;
    p.mkv = true;
    p.chatOnTopShown = true;
    p.chatOnTopX = -200;
    p.chatOnTopY = 35;
    p.chatOnTopWidth = 400;
    p.chatOnTopHeight = 600;
    p.transitionMs = 0;
    p.activeScene = 2;
    p.prompterText += "\n\ttabbed \\n not a newline\\";
    p.prompterSpeed = 12.5f;
    p.prompterTextSize = 70.0f;

    Destination d1;
    d1.id = "d1700000000-1";
    d1.name = "Main channel";
    d1.serverUrl = "rtmps://live.example.test:443/app";
    d1.canvas = 1;
    d1.bitrateKbps = 8000;
    d1.heightLimit = 1080;
    d1.streamHere = false;
    d1.channel = "@someone";
    Destination d2;
    d2.id = "d2";
    p.destinations = {d1, d2};

    Layer every = makeLayer(LayerKind::Camera, "Cam\tera \\ one");
    every.opacity = 0.5f;
    every.cornerRadius = 12.25f;
    every.visible = false;
    every.colour = {0.1f, 0.2f, 0.3f, 0.4f};
    every.text = "line1\nline2";
    every.fontSize = 33.5f;
    every.source = "C:\\pics\\ünïcode ✓.png";
    every.deviceIndex = 1000;
    every.chromaKey = true;
    every.keyColour = {0.25f, 0.5f, 0.75f};
    every.similarity = 0.45f;
    every.smoothness = 0.125f;
    every.brightness = -0.2f;
    every.contrast = 1.3f;
    every.saturation = 0.0f;
    every.lumaKey = true;
    every.keepAbove = 0.2f;
    every.keepBelow = 0.9f;
    every.lumaSmoothness = 0.01f;
    every.lutPath = "C:\\luts\\warm.cube";
    every.lutAmount = 0.75f;
    every.removeBackground = true;
    every.scaling = ScalingMode::Fit;
    every.crop = {0.1f, 0.0f, 0.05f, 0.2f};
    every.flipH = true;
    every.flipV = true;
    every.locked = true;
    every.toggleKey = 12;
    every.tag = "cardtext";
    every.verticalX = -5.5f;
    every.verticalY = 1e-05f;
    every.verticalWidth = 1234560.0f;
    every.verticalHeight = 0.07f;
    every.verticalVisible = false;
    p.scenes[1].layers.push_back(every);
    p.scenes[1].layoutPreset = 12;
    p.scenes.push_back(Scene{"Empty", {}, 3});

    SavedLayout saved;
    saved.name = "My layout";
    saved.layers = {every, makeLayer(LayerKind::Chat, "Chat")};
    p.savedLayouts = {saved, SavedLayout{"", {}}};

    // Computed positions that need more than six digits come back rounded;
    // keep this project exactly representable in the file.
    p.scenes[1].layers[1].verticalY = 1136.1f;
    p.savedLayouts[0].layers[1].verticalY = 431.111f;
    return p;
}

Project fromText(const std::string& text, bool expectOk = true) {
    Project p;
    EXPECT_EQ(projectFromText(text, p), expectOk) << text;
    return p;
}

// One scene holding one layer read from the given L line fields.
Layer layerFromLine(const std::string& fields, bool version1 = false) {
    const std::string text =
        std::string(version1 ? "quillhaven\t1\n" : kMagic) + "S\tx\t-1\nL" + fields + "\n";
    Project p = fromText(text);
    if (p.scenes.empty() || p.scenes[0].layers.size() != 1) {
        ADD_FAILURE() << "no layer read from " << fields;
        return Layer();
    }
    return p.scenes[0].layers[0];
}

TEST(ProjectText, ExactBytesOfASmallProject) {
    Project p;
    Layer bg;
    bg.name = "Bg";
    p.scenes.push_back(Scene{"Main", {bg}, -1});
    const std::string expected =
        "quillhaven\t2\n"
        "C\t0\t1920\t1080\t30\t12000\n"
        "C\t1\t1080\t1920\t30\t8000\n"
        "R\t1\t0\t0\tQuillhaven\t{show} {date} {time} {canvas}\t\t\t1\t1\t0\n"
        "P\t\t40\t44\t0\t400\t0\t1\t100\tStudio\n"
        "A\t\t1\t1\t1\t0.8\t0\t-45\t0\n"
        "V\t0\t0\n"
        "K\t0\t7469\t0\n"
        "O\t0\t-1\t-1\t360\t480\n"
        "S\tMain\t-1\n"
        "L\tBg\t0"                    // name, kind
        "\t0\t0\t1920\t1080\t1\t0\t1"  // rectangle, opacity, corner, visible
        "\t0.07\t0.07\t0.09\t1"        // colour
        "\t\t96\t\t0"                  // text, font size, source, device
        "\t0\t0\t1\t0\t0.3\t0.08"      // chroma key, key colour, similarity, smoothness
        "\t0\t1\t1"                    // brightness, contrast, saturation
        "\t0\t0\t1080\t1920\t1"        // second rectangle
        "\t0\t0\t0\t0\t0"              // scaling, crop
        "\t0\t0\t0\t"                  // flips, locked, tag
        "\t0\t0.1\t1\t0.05"            // luma key
        "\t\t1\t0\t0\n";               // LUT path and amount, toggle key, background removal
    EXPECT_EQ(projectToText(p), expected);
}

TEST(ProjectText, DestinationsAndSavedLayoutsGoInOrder) {
    Project p;
    Destination d;
    d.id = "a";
    p.destinations = {d};
    p.scenes = {Scene{"s", {}, 4}};
    p.savedLayouts = {SavedLayout{"y", {Layer()}}};
    const std::string text = projectToText(p);
    const size_t k = text.find("\nK\t"), dpos = text.find("\nD\t"), o = text.find("\nO\t"),
                 s = text.find("\nS\t"), y = text.find("\nY\t"), l = text.find("\nL\t");
    EXPECT_LT(k, dpos);
    EXPECT_LT(dpos, o);
    EXPECT_LT(o, s);
    EXPECT_LT(s, y);
    EXPECT_LT(y, l);
    EXPECT_NE(text.find("\nD\ta\tCustom RTMP\t\t0\t6000\t1\t0\t\n"), std::string::npos);
    EXPECT_NE(text.find("\nS\ts\t4\nY\ty\nL\t"), std::string::npos);
}

// Every float is written exactly as the C library's "%g" writes it.
TEST(ProjectText, FloatsMatchPrintf) {
    std::vector<float> values = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 999999.0f, -999999.0f,
                                 1e6f, 1000001.0f, 123456.7f, 0.0001f, 0.00001f, 1e-38f,
                                 1e-45f, 3.4e38f, 16777216.0f, 2147483648.0f, -2147483648.0f,
                                 0.1f, 0.07f, 1920.0f, 1136.1f, 9.999995f, 99999.95f};
    std::mt19937 rng(7);
    while (values.size() < 3000) {
        const uint32_t bits = static_cast<uint32_t>(rng());
        float v;
        std::memcpy(&v, &bits, sizeof v);
        if (std::isfinite(v)) values.push_back(v);
        values.push_back(static_cast<float>(static_cast<int>(rng() % 4000000) - 2000000) / 4.0f);
    }
    for (float v : values) {
        Project p;
        p.prompterSpeed = v;
        const std::string text = projectToText(p);
        const size_t start = text.find("\nP\t\t") + 4;
        const std::string written = text.substr(start, text.find('\t', start) - start);
        char expected[64];
        std::snprintf(expected, sizeof expected, "%g", static_cast<double>(v));
        ASSERT_EQ(written, expected) << std::hexfloat << v;
    }
    // Read back: six digits or fewer give the same float, more are rounded.
    Project p;
    p.scenes = {Scene{"s", {}, -1}};
    p.prompterSpeed = 1234567.0f;
    p.prompterTextSize = 0.00001f;
    const Project back = fromText(projectToText(p));
    EXPECT_EQ(back.prompterSpeed, 1234570.0f);
    EXPECT_EQ(back.prompterTextSize, 0.00001f);
}

TEST(ProjectText, StringEscapes) {
    Project p;
    p.scenes = {Scene{"a\tb\\c\n", {}, -1}};
    const std::string text = projectToText(p);
    EXPECT_NE(text.find("\nS\ta\\tb\\\\c\\n\t-1\n"), std::string::npos);
    EXPECT_EQ(fromText(text).scenes[0].name, "a\tb\\c\n");

    // Other escaped bytes stand for themselves; a final backslash stays.
    EXPECT_EQ(fromText(kMagic + "S\t\\q\\\\x\\\n").scenes[0].name, "q\\x\\");
    EXPECT_EQ(fromText(kMagic + "S\tcarriage\rreturn\r\n").scenes[0].name, "carriage\rreturn\r");
}

TEST(ProjectText, RichProjectRoundTrips) {
    const Project p = richProject();
    const std::string text = projectToText(p);
    Project back;
    ASSERT_TRUE(projectFromText(text, back));
    EXPECT_EQ(back, p);
    EXPECT_EQ(projectToText(back), text);
}

TEST(ProjectText, LiveTextIsNeverSaved) {
    Project p = makeDefaultProject();
    p.scenes[0].layers[1].liveText = "42 watching";
    const std::string text = projectToText(p);
    EXPECT_EQ(text.find("42 watching"), std::string::npos);
    EXPECT_EQ(fromText(text).scenes[0].layers[1].liveText, "");
}

TEST(ProjectText, MagicLine) {
    Project ok;
    EXPECT_TRUE(projectFromText(kMagic + "S\tx\n", ok));
    for (const std::string bad :
         {"quillhaven\t3\nS\tx\n", "quillhaven\t2\r\r\nS\tx\n", "quillhaven 2\nS\tx\n",
          "Quillhaven\t2\nS\tx\n", "quillhaven\t2 \nS\tx\n", "quillhaven\t\nS\tx\n", "",
          "\nquillhaven\t2\nS\tx\n", "S\tx\n"}) {
        Project p = richProject();
        EXPECT_FALSE(projectFromText(bad, p)) << bad;
        EXPECT_EQ(p, richProject());
    }
}

TEST(ProjectText, NoSceneLeavesProjectUnchanged) {
    Project p = richProject();
    EXPECT_FALSE(projectFromText(kMagic + "R\t0\t1\t15\n", p));
    EXPECT_EQ(p, richProject());
    EXPECT_FALSE(projectFromText(kMagic, p));
    EXPECT_FALSE(projectFromText("quillhaven\t2", p));
    EXPECT_EQ(p, richProject());
}

TEST(ProjectText, LoadReplacesEverything) {
    Project p = richProject();
    ASSERT_TRUE(projectFromText(kMagic + "S\tonly\n", p));
    Project expected;
    expected.scenes = {Scene{"only", {}, -1}};
    EXPECT_EQ(p, expected);
}

TEST(ProjectText, MissingFieldsTakeReaderDefaults) {
    const Project p = fromText(kMagic + "R\nP\nA\nV\nK\nO\nD\tid\nS\nY\n");
    const Project d;
    EXPECT_EQ(p.recordHorizontal, true);
    EXPECT_EQ(p.showName, "");  // missing strings are empty, not the model default
    EXPECT_EQ(p.fileNameTemplate, "");
    EXPECT_EQ(p.safeMp4, true);
    EXPECT_EQ(p.encoderPreset, 1);
    EXPECT_EQ(p.prompterSpeed, 40.0f);
    EXPECT_EQ(p.prompterTextSize, 44.0f);
    EXPECT_EQ(p.transitionMs, 400);
    EXPECT_EQ(p.darkMode, true);
    EXPECT_EQ(p.textSizePercent, 100);
    EXPECT_EQ(p.themeName, "Studio");
    EXPECT_EQ(p.voiceProcessing, false);  // the A line's defaults differ from Project()
    EXPECT_EQ(p.desktopAudio, false);
    EXPECT_EQ(p.micGain, 1.0f);
    EXPECT_EQ(p.desktopGain, 0.8f);
    EXPECT_EQ(p.gateDb, -45.0f);
    EXPECT_EQ(p.remotePort, 7469);
    EXPECT_EQ(p.chatOnTopX, -1);
    EXPECT_EQ(p.chatOnTopWidth, 360);
    EXPECT_EQ(p.chatOnTopHeight, 480);
    ASSERT_EQ(p.destinations.size(), 1u);
    EXPECT_EQ(p.destinations[0].name, "");  // a missing name is empty
    EXPECT_EQ(p.destinations[0].bitrateKbps, 6000);
    EXPECT_TRUE(p.destinations[0].streamHere);
    ASSERT_EQ(p.scenes.size(), 1u);
    EXPECT_EQ(p.scenes[0].name, "");
    EXPECT_EQ(p.scenes[0].layoutPreset, -1);
    ASSERT_EQ(p.savedLayouts.size(), 1u);
    EXPECT_EQ(p.canvases, d.canvases);
}

TEST(ProjectText, LayerWithOnlyAName) {
    const Layer l = layerFromLine("\tjust a name");
    Layer expected;
    expected.name = "just a name";
    expected.colour = {1, 1, 1, 1};
    expected.keyColour = {0, 0, 0};
    EXPECT_EQ(l, expected);
    // A bare tag makes a layer with an empty name.
    expected.name.clear();
    EXPECT_EQ(layerFromLine(""), expected);
}

TEST(ProjectText, ReaderLimits) {
    // P: active scene out of range, empty text, missing theme.
    Project p = fromText(kMagic + "S\ta\nS\tb\nP\t\t40\t44\t7\n");
    EXPECT_EQ(p.activeScene, 0);
    EXPECT_EQ(p.prompterText, "");
    EXPECT_EQ(p.themeName, "Studio");
    EXPECT_EQ(fromText(kMagic + "S\ta\nS\tb\nP\t\t40\t44\t1\n").activeScene, 1);
    EXPECT_EQ(fromText(kMagic + "S\ta\nP\t\t40\t44\t-1\n").activeScene, 0);
    EXPECT_EQ(fromText(kMagic + "S\ta\nP\t\t1\t1\t0\t0\t0\t0\t50\t\n").textSizePercent, 90);
    EXPECT_EQ(fromText(kMagic + "S\ta\nP\t\t1\t1\t0\t0\t0\t0\t500\t\n").textSizePercent, 130);

    // K: the port.
    EXPECT_EQ(fromText(kMagic + "S\tx\nK\t1\t80\n").remotePort, 1024);
    EXPECT_EQ(fromText(kMagic + "S\tx\nK\t1\t70000\n").remotePort, 65535);

    // D: no id, whatever follows, is dropped; limits on the rest.
    p = fromText(kMagic + "S\tx\nD\t\tName\trtmp://a/b\t1\t9000\n" +
                 "D\tid\tN\tu\t3\t100\t0\t99999\tch\nD\tj\tN\tu\t-2\t60000\t1\t-5\n");
    ASSERT_EQ(p.destinations.size(), 2u);
    EXPECT_EQ(p.destinations[0], (Destination{"id", "N", "u", 1, 500, 4320, false, "ch"}));
    EXPECT_EQ(p.destinations[1], (Destination{"j", "N", "u", 0, 50000, 0, true, ""}));

    // O: minimum size.
    p = fromText(kMagic + "S\tx\nO\t1\t5\t6\t50\t50\n");
    EXPECT_EQ(p.chatOnTopWidth, 200);
    EXPECT_EQ(p.chatOnTopHeight, 160);
    EXPECT_EQ(p.chatOnTopX, 5);
    EXPECT_TRUE(p.chatOnTopShown);

    // C: only the lowest bit of the canvas number; missing values keep the canvas's.
    p = fromText(kMagic + "S\tx\nC\t3\t1280\t720\n");
    EXPECT_EQ(p.canvases[1], (CanvasSettings{1280, 720, 30, 8000}));
    EXPECT_EQ(p.canvases[0], CanvasSettings());
    p = fromText(kMagic + "S\tx\nC\t-2\t640\t360\t25\t3000\n");
    EXPECT_EQ(p.canvases[0], (CanvasSettings{640, 360, 25, 3000}));

    // V: lowest bit; R: preset; A: gains, gate and delay.
    EXPECT_EQ(fromText(kMagic + "S\tx\nV\t1\t5\n").virtualCameraCanvas, 1);
    EXPECT_EQ(fromText(kMagic + "S\tx\nR\t1\t0\t0\ta\tb\tc\td\t1\t7\n").encoderPreset, 2);
    EXPECT_EQ(fromText(kMagic + "S\tx\nR\t1\t0\t0\ta\tb\tc\td\t1\t-7\n").encoderPreset, 0);
    p = fromText(kMagic + "S\tx\nA\tmic\t1\t1\t9\t-1\t1\t-100\t5000\n");
    EXPECT_EQ(p.micGain, 4.0f);
    EXPECT_EQ(p.desktopGain, 0.0f);
    EXPECT_EQ(p.gateDb, -80.0f);
    EXPECT_EQ(p.micDelayMs, 1000);
    p = fromText(kMagic + "S\tx\nA\tmic\t1\t1\t1\t1\t1\t0\t-3\n");
    EXPECT_EQ(p.gateDb, -10.0f);
    EXPECT_EQ(p.micDelayMs, 0);

    // L: kind and scaling outside their ranges.
    EXPECT_EQ(layerFromLine("\tn\t9").kind, LayerKind::Color);
    EXPECT_EQ(layerFromLine("\tn\t-1").kind, LayerKind::Color);
    EXPECT_EQ(layerFromLine("\tn\t7.9").kind, LayerKind::LiveCounter);  // truncated
    std::string fields = "\tn\t4";
    for (int i = 3; i <= 31; ++i) fields += "\t0";
    EXPECT_EQ(layerFromLine(fields + "\t3").scaling, ScalingMode::Stretch);
    EXPECT_EQ(layerFromLine(fields + "\t2").scaling, ScalingMode::Fill);
}

TEST(ProjectText, NumbersReadLikeTheCLibrary) {
    auto port = [](const std::string& v) {
        return fromText(kMagic + "S\tx\nK\t1\t" + v + "\n").remotePort;
    };
    EXPECT_EQ(port("  8080"), 8080);   // leading white space
    EXPECT_EQ(port("+8080"), 8080);
    EXPECT_EQ(port("8080abc"), 8080);  // longest valid prefix
    EXPECT_EQ(port("8.0805e3"), 8080);
    EXPECT_EQ(port("2000.9"), 2000);   // truncated
    EXPECT_EQ(port("0x1F90"), 8080);   // hexadecimal
    EXPECT_EQ(port("1e"), 1024);       // "1"
    EXPECT_EQ(port("abc"), 1024);      // nothing valid: 0
    EXPECT_EQ(port(""), 1024);         // an empty field is present: 0, not the default
    EXPECT_EQ(port("--5000"), 1024);
    EXPECT_EQ(port("0x"), 1024);
    EXPECT_EQ(port("1e-400"), 1024);   // underflow: 0

    auto flag = [](const std::string& v) {
        return fromText(kMagic + "S\tx\nK\t" + v + "\n").remoteControl;
    };
    EXPECT_TRUE(flag("1"));
    EXPECT_TRUE(flag("2"));
    EXPECT_TRUE(flag("0.5"));
    EXPECT_TRUE(flag("-1"));
    EXPECT_FALSE(flag("0"));
    EXPECT_FALSE(flag("x"));
    EXPECT_FALSE(flag("0.0"));
}

// Numbers that are not finite or do not fit an int must never reach an int
// conversion, and sizes and rates must stay usable for the encoders.
TEST(ProjectText, HostileNumbersAreBounded) {
    Project p = fromText(kMagic + "S\tx\t1e40\nC\t0\tnan\t1e40\t0\t-5\nC\t1\t1\t-inf\t1e9\t1e40\n");
    EXPECT_EQ(p.canvases[0], (CanvasSettings{1920, 8192, 1, 100}));
    EXPECT_EQ(p.canvases[1], (CanvasSettings{16, 1920, 240, 200000}));
    EXPECT_EQ(p.scenes[0].layoutPreset, 2147483647);
    EXPECT_EQ(fromText(kMagic + "S\tx\t-1e40\n").scenes[0].layoutPreset, -2147483647 - 1);
    EXPECT_EQ(fromText(kMagic + "S\tx\tnan\n").scenes[0].layoutPreset, -1);
    EXPECT_EQ(fromText(kMagic + "S\tx\tinfinity\n").scenes[0].layoutPreset, -1);

    auto split = [](const std::string& v) {
        return fromText(kMagic + "S\tx\nR\t1\t0\t" + v + "\n").splitMinutes;
    };
    EXPECT_EQ(split("1e40"), 1440);
    EXPECT_EQ(split("5000"), 1440);
    EXPECT_EQ(split("-15"), 0);
    EXPECT_EQ(split("NaN"), 0);
    EXPECT_EQ(split("60"), 60);

    p = fromText(kMagic + "S\tx\nS\ty\nP\t\tnan\tinf\t1e40\t-1e40\tnan\tinf\t1e40\n");
    EXPECT_EQ(p.prompterSpeed, 40.0f);
    EXPECT_EQ(p.prompterTextSize, 44.0f);
    EXPECT_EQ(p.activeScene, 0);
    EXPECT_EQ(p.transitionMs, -2147483647 - 1);
    EXPECT_EQ(p.recordWhenLive, false);
    EXPECT_EQ(p.darkMode, true);
    EXPECT_EQ(p.textSizePercent, 130);

    p = fromText(kMagic + "S\tx\nK\t1\tinf\nA\tm\t1\t1\tnan\t-inf\t1\tnan\tinf\nO\t1\t1e40\t-1e40\tnan\t1e40\n");
    EXPECT_EQ(p.remotePort, 7469);
    EXPECT_EQ(p.micGain, 1.0f);
    EXPECT_EQ(p.desktopGain, 0.8f);
    EXPECT_EQ(p.gateDb, -45.0f);
    EXPECT_EQ(p.micDelayMs, 0);
    // The chat window's rectangle stays small enough to add up and to draw.
    EXPECT_EQ(p.chatOnTopX, 100000);
    EXPECT_EQ(p.chatOnTopY, -100000);
    EXPECT_EQ(p.chatOnTopWidth, 360);
    EXPECT_EQ(p.chatOnTopHeight, 8192);

    // Float layer fields fall back to their defaults; "1e40" does not fit a float.
    const Layer l = layerFromLine("\tn\t1e40\tnan\t-inf\t1e40\tinf\t1e39\t-1e300\tnan\tnan\tinf\t0.5\t1");
    EXPECT_EQ(l.kind, LayerKind::Color);
    EXPECT_EQ(l.primaryRect(), (LayerRect{0, 0, 1920, 1080, true}));
    EXPECT_EQ(l.opacity, 1.0f);
    EXPECT_EQ(l.cornerRadius, 0.0f);
    EXPECT_EQ(l.colour, (std::array<float, 4>{1, 1, 0.5f, 1}));
    // The largest finite float is still a float.
    EXPECT_EQ(layerFromLine("\tn\t0\t3.4e38").x, 3.4e38f);
}

TEST(ProjectText, LayersBelongToTheRecordAbove) {
    const Project p = fromText(kMagic + "L\torphan\nS\ts1\nL\ta\nY\ty1\nL\tb\nL\tc\nS\ts2\nL\td\n");
    ASSERT_EQ(p.scenes.size(), 2u);
    ASSERT_EQ(p.scenes[0].layers.size(), 1u);
    EXPECT_EQ(p.scenes[0].layers[0].name, "a");
    ASSERT_EQ(p.savedLayouts.size(), 1u);
    ASSERT_EQ(p.savedLayouts[0].layers.size(), 2u);
    EXPECT_EQ(p.savedLayouts[0].layers[1].name, "c");
    ASSERT_EQ(p.scenes[1].layers.size(), 1u);
    EXPECT_EQ(p.scenes[1].layers[0].name, "d");
}

TEST(ProjectText, LaterRecordsOverwriteEarlierOnes) {
    const Project p = fromText(kMagic + "K\t1\t2000\nS\tx\nK\t0\t3000\nC\t0\t640\nC\t0\t800\n");
    EXPECT_FALSE(p.remoteControl);
    EXPECT_EQ(p.remotePort, 3000);
    EXPECT_EQ(p.canvases[0].width, 800);
}

TEST(ProjectText, VersionOneLayers) {
    // A full-canvas Screen layer of a version-1 file: 26 fields, then scaling
    // and the rest five places earlier.
    const std::string v1 =
        "\tScreen\t3\t0\t0\t1920\t1080\t1\t0\t1"
        "\t0.07\t0.07\t0.09\t1\t\t96\t\t2\t0\t0\t1\t0\t0.3\t0.08\t0\t1\t1"
        "\t1"                    // 27 scaling
        "\t0.1\t0\t0\t0"         // 28-31 crop
        "\t1\t0\t1\tcard"        // flips, locked, tag
        "\t1\t0.2\t0.8\t0.04"    // luma key
        "\tl.cube\t0.5\t4\t1";   // LUT, amount, toggle key, background removal
    const Layer l = layerFromLine(v1, true);
    EXPECT_EQ(l.kind, LayerKind::Screen);
    EXPECT_EQ(l.deviceIndex, 2);
    EXPECT_EQ(l.secondRect(), (LayerRect{0, 656.25f, 1080, 607.5f, true}));
    EXPECT_EQ(l.scaling, ScalingMode::Fit);
    EXPECT_EQ(l.crop, (std::array<float, 4>{0.1f, 0, 0, 0}));
    EXPECT_TRUE(l.flipH);
    EXPECT_FALSE(l.flipV);
    EXPECT_TRUE(l.locked);
    EXPECT_EQ(l.tag, "card");
    EXPECT_TRUE(l.lumaKey);
    EXPECT_EQ(l.keepAbove, 0.2f);
    EXPECT_EQ(l.lumaSmoothness, 0.04f);
    EXPECT_EQ(l.lutPath, "l.cube");
    EXPECT_EQ(l.lutAmount, 0.5f);
    EXPECT_EQ(l.toggleKey, 4);
    EXPECT_TRUE(l.removeBackground);

    // The derived rectangle follows the layer as read, hidden included; the
    // same line read as version 2 takes field 27 as verticalX instead.
    const Layer hidden = layerFromLine("\tt\t1\t960\t540\t0\t0\t1\t0\t0", true);
    EXPECT_EQ(hidden.secondRect(), (LayerRect{540, 960, 0, 0, false}));
    EXPECT_EQ(layerFromLine(v1, false).verticalX, 1.0f);

    // A whole version-1 file is accepted and saved again as version 2.
    Project p = fromText("quillhaven\t1\nS\tMain\t-1\nL" + v1 + "\n");
    EXPECT_EQ(projectToText(p).rfind(kMagic, 0), 0u);
}

TEST(ProjectText, LocaleDoesNotChangeABit) {
    const Project p = richProject();
    const std::string inC = projectToText(p);
    std::string chosen;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "tr_TR.UTF-8", "tr_TR",
                             "German_Germany.1252", "German", "Turkish"}) {
        if (std::setlocale(LC_ALL, name)) {
            chosen = name;
            break;
        }
    }
    char probe[16];
    std::snprintf(probe, sizeof probe, "%g", 0.5);
    const std::string inOther = projectToText(p);
    Project back;
    const bool ok = projectFromText(inOther, back);
    std::setlocale(LC_ALL, "C");
    std::printf("locale: %s (printf writes 0.5 as %s)\n", chosen.empty() ? "C only" : chosen.c_str(),
                probe);
    EXPECT_EQ(inOther, inC) << "locale " << chosen;
    EXPECT_TRUE(ok);
    EXPECT_EQ(back, p) << "locale " << chosen;
}

// ---- the file on disk -------------------------------------------------------

TEST(ProjectFile, SaveKeepsABackupAndLeavesNoTemporaryFile) {
    const fs::path dir = freshTestDir("save_backup");
    const std::string path = utf8Of(dir / "project.txt");
    Project first = makeDefaultProject();
    ASSERT_TRUE(first.save(path));
    EXPECT_FALSE(fs::exists(dir / "project.txt.bak"));  // nothing to back up yet
    EXPECT_FALSE(fs::exists(dir / "project.txt.tmp"));
    EXPECT_EQ(readBytes(dir / "project.txt"), projectToText(first));

    const Project second = richProject();
    ASSERT_TRUE(second.save(path));
    EXPECT_EQ(readBytes(dir / "project.txt"), projectToText(second));
    EXPECT_EQ(readBytes(dir / "project.txt.bak"), projectToText(first));
    EXPECT_FALSE(fs::exists(dir / "project.txt.tmp"));

    Project loaded;
    ASSERT_TRUE(loaded.load(path));
    EXPECT_EQ(loaded, second);
    Project fromBackup;
    ASSERT_TRUE(fromBackup.load(path + ".bak"));
    EXPECT_EQ(fromBackup, first);
}

TEST(ProjectFile, ASaveNeverBacksUpADamagedFile) {
    const fs::path dir = freshTestDir("damaged_backup");
    const std::string path = utf8Of(dir / "project.txt");
    const Project good = richProject();
    ASSERT_TRUE(good.save(path + ".bak"));
    const std::string goodBytes = readBytes(dir / "project.txt.bak");
    // Cut mid-line, and not a project at all.
    for (const std::string& damaged : {projectToText(makeDefaultProject()).substr(0, 300),
                                      std::string("not a project\n")}) {
        writeBytes(dir / "project.txt", damaged);
        ASSERT_TRUE(makeDefaultProject().save(path));
        EXPECT_EQ(readBytes(dir / "project.txt.bak"), goodBytes);
    }
}

TEST(ProjectFile, NonAsciiPaths) {
    const fs::path dir = freshTestDir("unicode");
    const fs::path sub = dir / pathOfUtf8("Zoë ✓ 项目");
    fs::create_directories(sub);
    const std::string path = utf8Of(sub / pathOfUtf8("prøject.txt"));
    const Project p = richProject();
    ASSERT_TRUE(p.save(path));
    ASSERT_TRUE(p.save(path));
    EXPECT_TRUE(fs::exists(pathOfUtf8(path + ".bak")));
    Project back;
    ASSERT_TRUE(back.load(path));
    EXPECT_EQ(back, p);
}

TEST(ProjectFile, Failures) {
    const fs::path dir = freshTestDir("failures");
    Project p = richProject();

    // A missing file or folder: load fails, the project is unchanged.
    EXPECT_FALSE(p.load(utf8Of(dir / "missing.txt")));
    EXPECT_FALSE(p.save(utf8Of(dir / "no-such-folder" / "project.txt")));
    EXPECT_FALSE(p.load(utf8Of(dir)));
    EXPECT_EQ(p, richProject());

    // The target cannot be replaced (a folder of that name): save fails and
    // leaves the new contents in the temporary file.
    const fs::path blocked = dir / "blocked.txt";
    fs::create_directories(blocked / "inside");
    EXPECT_FALSE(p.save(utf8Of(blocked)));
    EXPECT_TRUE(fs::is_directory(blocked));
    EXPECT_EQ(readBytes(dir / "blocked.txt.tmp"), projectToText(p));

    // An unreadable file (wrong magic) leaves the project as it was.
    writeBytes(dir / "bad.txt", "quillhaven\t3\nS\tx\n");
    EXPECT_FALSE(p.load(utf8Of(dir / "bad.txt")));
    EXPECT_EQ(p, richProject());
}

TEST(ProjectFile, SavedBytesHaveNoCarriageReturnsAdded) {
    const fs::path dir = freshTestDir("bytes");
    Project p;
    p.scenes = {Scene{"one", {}, -1}};
    ASSERT_TRUE(p.save(utf8Of(dir / "p.txt")));
    const std::string bytes = readBytes(dir / "p.txt");
    EXPECT_EQ(bytes, projectToText(p));
    EXPECT_EQ(bytes.find('\r'), std::string::npos);
}

}  // namespace
