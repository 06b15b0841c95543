// The Studio's side of live data.

#include <string>

#include "app/studio.h"
#include "livedata/live_text.h"

namespace {

bool hasLiveLayer(const Project& project) {
    for (const Scene& scene : project.scenes) {
        for (const Layer& layer : scene.layers) {
            if (layer.kind == LayerKind::Chat || layer.kind == LayerKind::LiveCounter) return true;
        }
    }
    return false;
}

}  // namespace

void Studio::updateLiveData() {
    const bool wanted = project.chatOnTopShown || remote.clientCount() > 0 || hasLiveLayer(project);
    std::vector<std::string> channels;
    if (wanted) {
        for (const Destination& d : project.destinations) {
            if (!d.channel.empty()) channels.push_back(d.channel);
        }
    }
    std::vector<ChatEntry> entries;
    std::vector<ChannelState> states;
    if (showcase) {
        entries = showcaseChatEntries();
        states = showcaseChannelStates();
    } else {
        // Typing in a destination's channel field must not restart the
        // workers on every key; closing the settings applies the final list.
        if (!settings.open) liveData.start(channels);
        entries = liveData.chatEntries();
        states = liveData.channelStates();
    }
    const int active = project.activeScene;
    if (active >= 0 && active < int(project.scenes.size()))
        applyLiveDataToScene(project.scenes[std::size_t(active)], entries, states);
    ChatOnTopWindow::update(chatOnTop, project, buildChatLines(entries, states));
}
