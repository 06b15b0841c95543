#include <gtest/gtest.h>

#include "app/studio.h"

namespace {

Scene sceneWith(std::vector<int> kinds) {
    Scene s;
    for (int kind : kinds) s.layers.push_back(makeLayer(kind, "L"));
    return s;
}

Destination destination(const std::string& channel) {
    Destination d;
    d.id = "d" + channel;
    d.channel = channel;
    return d;
}

TEST(StudioLiveData, ShowcaseFillsLayersWithoutTheNetwork) {
    Studio studio(nullptr);
    studio.showcase = true;
    studio.project.scenes = {sceneWith({LayerKind::Chat, LayerKind::LiveCounter})};
    studio.project.activeScene = 0;
    studio.project.destinations = {destination("@main")};
    studio.project.scenes[0].layers[1].text = "{viewers} watching · {subscribers2}";
    studio.updateLiveData();
    EXPECT_FALSE(studio.liveData.hub);
    const std::string& chat = studio.project.scenes[0].layers[0].liveText;
    EXPECT_EQ(std::count(chat.begin(), chat.end(), '\n'), 5);
    EXPECT_NE(chat.find("\x1f" "chat from both channels in one place, nice\x1f" "0\n"), std::string::npos);
    EXPECT_EQ(studio.project.scenes[0].layers[1].liveText, "2,827 watching · 12.9K");
}

TEST(StudioLiveData, FeedFollowsTheChannelsOnlyWhileWantedAndNotWhileSettingsAreOpen) {
    Studio studio(nullptr);
    studio.project.scenes = {sceneWith({LayerKind::Text}), sceneWith({LayerKind::Color})};
    studio.project.activeScene = 0;
    studio.project.destinations = {destination("@a "), destination(""), destination("@b")};
    studio.updateLiveData();
    EXPECT_TRUE(studio.liveData.channels.empty());
    EXPECT_FALSE(studio.liveData.hub);

    // A counter on another scene is enough; the untrimmed texts go through.
    studio.project.scenes[1].layers.push_back(makeLayer(LayerKind::LiveCounter, "Viewers"));
    studio.updateLiveData();
    EXPECT_EQ(studio.liveData.channels, std::vector<std::string>({"@a ", "@b"}));
    const auto hub = studio.liveData.hub;
    ASSERT_TRUE(hub);

    studio.settings.open = true;
    studio.project.destinations[2].channel = "@c";
    studio.updateLiveData();
    EXPECT_EQ(studio.liveData.hub, hub);
    studio.settings.open = false;
    studio.updateLiveData();
    EXPECT_EQ(studio.liveData.channels, std::vector<std::string>({"@a ", "@c"}));
    EXPECT_NE(studio.liveData.hub, hub);

    studio.project.scenes[1].layers.clear();
    studio.project.chatOnTopShown = false;
    studio.updateLiveData();
    EXPECT_FALSE(studio.liveData.hub);
}

}  // namespace
