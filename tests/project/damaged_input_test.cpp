#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

#include "project/project.h"
#include "project/project_text.h"

namespace {

const std::string kMagic = "quillhaven\t2\n";

// What every successfully loaded project must satisfy, however bad the input.
void expectSane(const Project& p, const std::string& input) {
    ASSERT_FALSE(p.scenes.empty()) << input;
    EXPECT_GE(p.activeScene, 0);
    EXPECT_LT(p.activeScene, static_cast<int>(p.scenes.size()));
    for (const CanvasSettings& c : p.canvases) {
        EXPECT_GE(c.width, 16);
        EXPECT_LE(c.width, 8192);
        EXPECT_GE(c.height, 16);
        EXPECT_LE(c.height, 8192);
        EXPECT_GE(c.fps, 1);
        EXPECT_LE(c.fps, 240);
        EXPECT_GE(c.bitrateKbps, 100);
        EXPECT_LE(c.bitrateKbps, 200000);
    }
    EXPECT_GE(p.splitMinutes, 0);
    EXPECT_LE(p.splitMinutes, 1440);
    EXPECT_TRUE(p.virtualCameraCanvas == 0 || p.virtualCameraCanvas == 1);
    EXPECT_LE(std::abs(p.chatOnTopX) + p.chatOnTopWidth, 200000);
    EXPECT_LE(std::abs(p.chatOnTopY) + p.chatOnTopHeight, 200000);
    EXPECT_TRUE(std::isfinite(p.micGain) && std::isfinite(p.desktopGain) &&
                std::isfinite(p.gateDb) && std::isfinite(p.prompterSpeed) &&
                std::isfinite(p.prompterTextSize));
    for (const Destination& d : p.destinations) {
        EXPECT_FALSE(d.id.empty());
        EXPECT_TRUE(d.canvas == 0 || d.canvas == 1);
    }
    auto checkLayers = [&](const std::vector<Layer>& layers) {
        for (const Layer& l : layers) {
            EXPECT_GE(l.kind, 0);
            EXPECT_LT(l.kind, LayerKind::Count);
            EXPECT_GE(l.scaling, 0);
            EXPECT_LT(l.scaling, ScalingMode::Count);
            for (float v : {l.x, l.y, l.width, l.height, l.verticalX, l.verticalY,
                            l.verticalWidth, l.verticalHeight, l.opacity, l.fontSize,
                            l.lutAmount, l.crop[0], l.crop[3], l.colour[0], l.keyColour[2]})
                EXPECT_TRUE(std::isfinite(v)) << input;
        }
    };
    for (const Scene& s : p.scenes) checkLayers(s.layers);
    for (const SavedLayout& y : p.savedLayouts) checkLayers(y.layers);
}

std::string sampleText() {
    Project p = makeDefaultProject();
    Destination d;
    d.id = "d1";
    d.name = "Stream\\name";
    p.destinations.push_back(d);
    p.savedLayouts.push_back(SavedLayout{"saved\tlayout", p.scenes[1].layers});
    return projectToText(p);
}

TEST(DamagedInput, EveryTruncationLoadsWhatItHas) {
    const std::string full = sampleText();
    for (size_t n = 0; n <= full.size(); ++n) {
        const std::string prefix = full.substr(0, n);
        Project p;
        const bool ok = projectFromText(prefix, p);
        // It loads exactly when the first scene line has begun and no line is cut short.
        EXPECT_EQ(ok, prefix.find("\nS") != std::string::npos && prefix.back() == '\n') << n;
        if (ok) expectSane(p, prefix);
    }
}

TEST(DamagedInput, UnknownTagsAndEmptyLinesAreSkipped) {
    const Project p = [] {
        Project q;
        EXPECT_TRUE(projectFromText(kMagic + "\n\nX\tjunk\nSS\tx\nl\ta\n\t\t\nS\tscene\n" +
                                        "Z\nL\tlayer\nLL\tnot a layer\n" + "s\tlower\n",
                                    q));
        return q;
    }();
    ASSERT_EQ(p.scenes.size(), 1u);
    EXPECT_EQ(p.scenes[0].name, "scene");
    ASSERT_EQ(p.scenes[0].layers.size(), 1u);
    EXPECT_EQ(p.scenes[0].layers[0].name, "layer");
}

TEST(DamagedInput, CarriageReturnsStayInTheData) {
    Project p;
    ASSERT_TRUE(projectFromText(kMagic + "S\tMain\r\nK\t1\t8080\r\nL\tl\t4\r\n", p));
    EXPECT_EQ(p.scenes[0].name, "Main\r");
    EXPECT_EQ(p.remotePort, 8080);  // "8080\r" reads as 8080
    EXPECT_EQ(p.scenes[0].layers[0].kind, LayerKind::Camera);
}

TEST(DamagedInput, WhatWindowsEditorsWriteStillLoads) {
    Project expected;
    ASSERT_TRUE(projectFromText(sampleText(), expected));
    std::string crlf;
    for (char c : sampleText()) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    const std::string bom = "\xEF\xBB\xBF";
    for (const std::string& text : {crlf, bom + sampleText(), bom + crlf}) {
        Project p;
        ASSERT_TRUE(projectFromText(text, p)) << text.substr(0, 20);
        EXPECT_EQ(p, expected);
        EXPECT_EQ(projectToText(p), sampleText());  // written back with bare line feeds
    }
    // A cut CR LF file is as damaged as a cut LF one.
    Project p;
    EXPECT_FALSE(projectFromText(crlf.substr(0, crlf.size() - 1), p));
}

TEST(DamagedInput, MegabyteLines) {
    const std::string big(1 << 20, 'a');
    std::string tabs;
    for (int i = 0; i < (1 << 20) / 2; ++i) tabs += "\t1";
    std::string backslashes(1 << 20, '\\');
    Project p;
    ASSERT_TRUE(projectFromText(kMagic + "S\t" + big + "\nL\t" + big + "\nL" + tabs + "\nX" + big +
                                    "\nL\t" + backslashes + "\nL\t" + big + "\t" + big + "\n",
                                p));
    ASSERT_EQ(p.scenes.size(), 1u);
    EXPECT_EQ(p.scenes[0].name, big);
    ASSERT_EQ(p.scenes[0].layers.size(), 4u);
    EXPECT_EQ(p.scenes[0].layers[0].name, big);
    EXPECT_EQ(p.scenes[0].layers[1].kind, LayerKind::Text);
    EXPECT_EQ(p.scenes[0].layers[2].name, std::string(1 << 19, '\\'));
    EXPECT_EQ(p.scenes[0].layers[3].kind, LayerKind::Color);  // "aaaa..." reads as 0
    expectSane(p, "megabyte lines");
}

TEST(DamagedInput, NulBytesAreOrdinaryBytes) {
    Project p;
    const std::string name("a\0b", 3);
    ASSERT_TRUE(projectFromText(kMagic + "S\t" + name + "\n", p));
    EXPECT_EQ(p.scenes[0].name, name);
    Project back;
    ASSERT_TRUE(projectFromText(projectToText(p), back));
    EXPECT_EQ(back, p);
}

// Seeded random damage: byte flips, inserted separators and hostile numbers,
// dropped and repeated spans, and plain random bytes. Every input must load
// or fail cleanly; whatever loads must be sane, and writing it and reading it
// back must reach a fixed point.
TEST(DamagedInput, RandomizedInputs) {
    const std::string base = sampleText();
    const char* const hostile[] = {"nan", "-nan", "inf", "-inf", "1e40", "-1e40", "1e400",
                                   "0x1p9999", "99999999999", "-2147483649", "1e-400", "\\",
                                   "\t", "\n", "\r", "\nS\t", "\nL\t", "\nY\t", "\nD\t\t",
                                   "quillhaven\t1\n", "", "\xff\xfe", "0x", "+-1"};
    std::mt19937_64 rng(20251208);
    auto pick = [&](size_t n) { return static_cast<size_t>(rng() % (n ? n : 1)); };
    int loaded = 0;
    const int rounds = 20000;
    for (int round = 0; round < rounds; ++round) {
        std::string input;
        if (round % 10 == 0) {
            input = (round % 20 == 0 ? kMagic : std::string());
            const size_t n = pick(4096);
            for (size_t i = 0; i < n; ++i) {
                const uint64_t r = rng();
                input += (r & 7) == 0 ? '\t' : (r & 15) == 1 ? '\n' : static_cast<char>(r >> 8);
            }
        } else {
            input = base;
            const int edits = 1 + static_cast<int>(pick(8));
            for (int e = 0; e < edits && !input.empty(); ++e) {
                const size_t at = pick(input.size());
                switch (pick(5)) {
                case 0:
                    input[at] = static_cast<char>(rng());
                    break;
                case 1:
                    input.insert(at, hostile[pick(std::size(hostile))]);
                    break;
                case 2:
                    input.erase(at, pick(64));
                    break;
                case 3:
                    input.insert(at, input.substr(at, pick(256)));
                    break;
                default:
                    input.resize(at);
                    break;
                }
            }
        }
        Project p;
        if (!projectFromText(input, p)) {
            ASSERT_EQ(p, Project()) << "a failed load changed the project";
            continue;
        }
        ++loaded;
        expectSane(p, input);
        const std::string once = projectToText(p);
        Project again;
        ASSERT_TRUE(projectFromText(once, again));
        ASSERT_EQ(projectToText(again), once);
        if (HasFailure()) break;
    }
    // Many damaged copies of a good file still load something; those cut mid-line do not.
    EXPECT_GT(loaded, rounds / 4);
}

}  // namespace
