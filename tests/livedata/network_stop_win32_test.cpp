// Closing never waits on the network: against a peer that takes the
// connection and never answers, for as long as the test runs, the studio's
// close (the live-data feed's and the updater's stops with it) returns at
// once, not when the transport's time-outs run out (under Wine, minutes).
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "app/studio.h"
#include "livedata/silent_peer.h"
#include "support/wait_for.h"
#include "update/test_files.h"
#include "util/folders.h"
#include "util/text.h"

namespace {

using Clock = std::chrono::steady_clock;
// Ending the requests takes a fraction of a second even on a loaded machine;
// the bound leaves room for that and stays far under the shortest time-out a
// hanging step could run into (5 s), so only a request that was ended, not
// one that ran out, lets the close pass.
constexpr auto kPromptClose = std::chrono::seconds(2);

TEST(NetworkStop, TheStudioClosesAtOnceWhileTheVideoServiceAndTheUpdateServerHangUnanswered) {
    SilentPeer peer;
    ASSERT_TRUE(peer.listening());
    const std::wstring profile = joinPath(environmentVariable(L"QH_BINARY_DIR"), L"network-stop-profile");
    freshFolder(profile);

    auto studio = std::make_unique<Studio>(nullptr);
    studio->projectPath = wideToUtf8(joinPath(profile, L"project.txt"));
    studio->liveData.setSite({systemHttpsClient(), "127.0.0.1", peer.port});
    Updater::Services now;
    now.firstCheckSeconds = 0;
    studio->updater.setServices(now);
    studio->updater.start("https://127.0.0.1:" + std::to_string(peer.port) + "/update.json", profile);
    Scene scene;
    scene.layers.push_back(makeLayer(LayerKind::Chat, "Chat"));
    studio->project.scenes = {scene};
    studio->project.activeScene = 0;
    studio->project.chatOnTopShown = false;
    Destination destination;
    destination.id = "main";
    destination.channel = "@main";
    studio->project.destinations = {destination};
    studio->updateLiveData();
    // The channel's worker and the update check are both waiting for an answer.
    ASSERT_TRUE(waitFor([&] { return peer.accepted() >= 2; }));

    const auto begun = Clock::now();
    studio->shutdown();
    studio.reset();
    EXPECT_LT(Clock::now() - begun, kPromptClose);
    EXPECT_TRUE(exists(joinPath(profile, L"project.txt")));
}

}  // namespace
