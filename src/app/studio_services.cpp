// The Studio's side of remote control and live data. Remote control does not
// run in this build: it reports that it is unavailable.

#include <random>
#include <string>

#include "app/studio.h"
#include "livedata/live_text.h"
#include "util/secret_store.h"

namespace {

uint32_t randomWord() {
    std::random_device rd;
    return uint32_t(rd());
}

std::string newControlToken() {
    static const char kHex[] = "0123456789abcdef";
    std::string token;
    for (int i = 0; i < 32; ++i) token += kHex[randomWord() & 15];
    return token;
}

}  // namespace

void Studio::restartRemote(bool resetToken) {
    if (!resetToken && remoteApplied && project.remoteControl == remoteAppliedEnabled &&
        project.remotePort == remoteAppliedPort && project.localNetwork == remoteAppliedLan)
        return;
    remote.stop();
    discovery.stop();
    remoteError.clear();
    remoteAppliedEnabled = project.remoteControl;
    remoteAppliedPort = project.remotePort;
    remoteAppliedLan = project.localNetwork;
    remoteApplied = true;
    if (!project.remoteControl) return;
    std::string token = resetToken ? std::string() : loadSecret("control-token");
    if (token.empty()) {
        token = newControlToken();
        storeSecret("control-token", token);
    }
    remoteToken = token;
    remoteError = remote.start(project.remotePort, project.localNetwork, remoteToken);
}

void Studio::startPairing() {
    project.localNetwork = true;
    project.remoteControl = true;
    restartRemote(false);
    pairingCode = std::to_string(randomWord() % 900000u + 100000u);
    remote.setPairingCode(pairingCode);
    clientsAtPairingStart = remote.clientCount();
    pairingDeadline = steadyNowNs() + 180LL * 1000000000LL;
}

void Studio::handleRemoteMessages() {
    restartRemote(false);
    if (!remote.isRunning()) return;
}

std::string Studio::localControlUrl() const {
    return "ws://127.0.0.1:" + std::to_string(project.remotePort) + "/?token=" + remoteToken;
}

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
