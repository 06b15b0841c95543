#include "livedata/live_text.h"

#include <gtest/gtest.h>

namespace {

ChannelState channel(const std::string& name, int64_t viewers, const std::string& subscribers = "",
                     const std::string& status = "") {
    return {name, status, viewers, subscribers, ""};
}

Layer counter(const std::string& text) {
    Layer l = makeLayer(LayerKind::LiveCounter, "Counter");
    l.text = text;
    return l;
}

TEST(LiveText, ChatLinesFallBackToHintsAndForgeNothing) {
    EXPECT_EQ(chatLayerText(buildChatLines({}, {})),
              "Quillhaven\x1f" "Add your YouTube channel in Settings > Destinations to show chat here.\x1f" "0\n");
    const std::vector<ChannelState> two = {
        {"@main", kConnectingStatus, -1, "", ""},
        channel("@shorts", 5),
    };
    EXPECT_EQ(chatLayerText(buildChatLines({}, two)),
              "@main\x1f" "Connecting to YouTube\xe2\x80\xa6\x1f" "0\n"
              "@shorts\x1f" "Chat is quiet. New messages show up here.\x1f" "1\n");
    const std::vector<ChatEntry> chat = {
        {"Ann", "hi", 1, 7},
        {"Eve\n", "x\x1f" "2\nMallory\x1f" "owned\x1f" "0\r", 4294967298LL, 8},
        {"Neg", "n", -1, 9},
    };
    EXPECT_EQ(buildChatLines(chat, two).size(), 3u);
    EXPECT_EQ(chatLayerText(buildChatLines(chat, two)),
              "Ann\x1fhi\x1f" "1\n"
              "Eve \x1fx 2 Mallory owned 0 \x1f" "2\n"
              "Neg\x1fn\x1f-1\n");
}

TEST(LiveText, CounterPlaceholdersAreFilled) {
    struct Case {
        std::vector<ChannelState> states;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {{channel("a", 1234, "48.2K"), channel("b", 56, "9")}, "{viewers} watching", "1,290 watching"},
        {{channel("a", 1234), channel("b", 56)}, "{viewers1} / {viewers2}", "1,234 / 56"},
        {{channel("a", 999), channel("b", 1000000)}, "{viewers1} {viewers2}", "999 1,000,000"},
        {{channel("a", -1)}, "{viewers}|{viewers1}|{viewers2}", "-|-|-"},
        {{channel("a", -1), channel("b", 0)}, "{viewers}|{viewers1}|{viewers2}", "0|-|0"},
        {{channel("a", 3, "48.2K"), channel("b", 4, "")}, "{subscribers} {subscribers1} {subscribers2}",
         "48.2K 48.2K -"},
        {{}, "{viewers} and {viewers} {other} plain", "- and - {other} plain"},
        {{channel("a", INT64_MAX), channel("b", INT64_MAX)}, "{viewers}", "9,223,372,036,854,775,807"},
        // A value that looks like a placeholder is never searched again.
        {{channel("a", 1, "{viewers2}")}, "{subscribers}", "{viewers2}"},
    };
    for (const Case& c : cases) {
        Scene scene;
        scene.layers = {counter(c.text), makeLayer(LayerKind::Chat, "Chat"), makeLayer(LayerKind::Text, "T")};
        scene.layers[2].liveText = "kept";
        applyLiveDataToScene(scene, {}, c.states);
        EXPECT_EQ(scene.layers[0].liveText, c.expected) << c.text;
        EXPECT_EQ(scene.layers[0].text, c.text);
        EXPECT_FALSE(scene.layers[1].liveText.empty());
        EXPECT_EQ(scene.layers[2].liveText, "kept");
    }
    EXPECT_EQ(formatWithCommas(0), "0");
    EXPECT_EQ(formatWithCommas(100), "100");
    EXPECT_EQ(formatWithCommas(123456), "123,456");
}

}  // namespace
