// The Studio's side of remote control, all on the main thread: applying the
// remote-control settings, the token, pairing, the queued operations and the
// status, chat and key-frame pushes.

#include <chrono>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "app/studio.h"
#include "livedata/live_text.h"
#include "remote/os_random.h"
#include "util/json.h"
#include "util/secret_store.h"
#include "util/text.h"

namespace {

constexpr std::string_view kTokenKey = "control-token";
constexpr int kTokenLength = 32;
constexpr int64_t kPairingWindowNs = 180LL * 1000000000LL;
constexpr int64_t kPhoneCameraFreshMs = 2000;
constexpr int kLastLayoutPreset = 15;
constexpr const char* kNoChannelsNote =
    "Add your YouTube channel in Quillhaven Settings > Destinations to see chat here.";
constexpr const char* kCameraKeyMessage = R"({"type":"camera.key"})";

std::string newControlToken() {
    static const char kHex[] = "0123456789abcdef";
    std::string token;
    for (int i = 0; i < kTokenLength; ++i) token += kHex[osRandom32() & 15];
    return token;
}

// The leading decimal integer of a request value: white space and a sign may
// lead, reading stops at the first non-digit, nothing numeric reads as 0.
// Saturates instead of overflowing, so a forged 30-digit index stays out of range.
int64_t leadingInteger(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r' ||
                               text[i] == '\v' || text[i] == '\f'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    return negative ? -value : value;
}

const char* jsonBool(bool b) { return b ? "true" : "false"; }

int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string computerName() {
    const char* name = std::getenv("COMPUTERNAME");
    return name && *name ? name : "PC";
}

std::string errorJson(const std::string& message) {
    std::string json = R"({"type":"error","message":)";
    appendJsonQuote(json, message);
    json += '}';
    return json;
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
    std::string token = resetToken ? std::string() : loadSecret(kTokenKey);
    if (token.empty()) {
        token = newControlToken();
        storeSecret(kTokenKey, token);
    }
    remoteToken = token;
    remoteError = remote.start(project.remotePort, project.localNetwork, remoteToken);
    if (!remoteError.empty()) return;
    const std::string udpError = discovery.start(project.remotePort, project.localNetwork, kit.phoneFeed, computerName());
    if (!udpError.empty()) remoteError = udpError + " (phone camera)";
}

void Studio::startPairing() {
    project.localNetwork = true;
    applyPairingCode(std::to_string(osRandom32() % 900000u + 100000u));
}

// Also QUILLHAVEN_PAIR at start-up: pairing with the given code, local network as it was.
void Studio::applyPairingCode(const std::string& code) {
    project.remoteControl = true;
    restartRemote(false);
    pairingCode = code;
    remote.setPairingCode(code);
    clientsAtPairingStart = remote.clientCount();
    pairingDeadline = steadyNowNs() + kPairingWindowNs;
    // Looked up once: the settings window shows them every frame, and name resolution
    // can take long enough to stall one.
    pairingAddresses = discovery.localIpv4Addresses();
}

void Studio::localControlUrl(std::string& out) const {
    out.assign("ws://127.0.0.1:");
    appendInteger(out, project.remotePort);
    out.append("/?token=").append(remoteToken);
}

const std::string& Studio::statusJson() {
    RemoteStatus& kept = remoteStatus;
    liveData.channelStates(kept.channels);
    kept.chatNote.clear();
    for (const ChannelState& c : kept.channels) {
        if (c.status.empty()) continue;
        if (!kept.chatNote.empty()) kept.chatNote += '\n';
        kept.chatNote += c.status;
    }
    if (kept.channels.empty()) kept.chatNote = kNoChannelsNote;
    const bool live = this->live.isLive();
    const int scenes = static_cast<int>(project.scenes.size());
    const bool sceneValid = project.activeScene >= 0 && project.activeScene < scenes;
    const int layout =
        sceneValid ? project.scenes[static_cast<size_t>(project.activeScene)].layoutPreset : -1;
    const int64_t lastPacket = kit.phoneFeed ? kit.phoneFeed->lastPacketMs.load() : 0;

    std::string& json = kept.json;
    json = R"({"type":"status","recording":)";
    json += jsonBool(recording.recording);
    json += R"(,"paused":)";
    json += jsonBool(recording.recording && recording.paused);
    json += R"(,"recSeconds":)";
    appendInteger(json, recording.recording ? recording.elapsedSeconds() : 0);
    json += R"(,"live":)";
    json += jsonBool(live);
    json += R"(,"liveText":)";
    appendJsonQuote(json, live ? this->live.statusText() : std::string());
    json += R"(,"liveCount":)";
    appendInteger(json, this->live.liveCount());
    json += R"(,"destinations":)";
    appendInteger(json, static_cast<int64_t>(this->live.outputs.size()));
    json += R"(,"scene":)";
    appendInteger(json, project.activeScene);
    json += R"(,"scenes":[)";
    for (int i = 0; i < scenes; ++i) {
        if (i) json += ',';
        appendJsonQuote(json, project.scenes[static_cast<size_t>(i)].name);
    }
    json += R"(],"layout":)";
    appendInteger(json, layout);
    json += R"(,"muted":)";
    json += jsonBool(kit.micInput && kit.micInput->isMuted());
    json += R"(,"viewers":)";
    appendInteger(json, totalViewers(kept.channels));
    json += R"(,"chatNote":)";
    appendJsonQuote(json, kept.chatNote);
    json += R"(,"phoneCamera":)";
    json += jsonBool(lastPacket > 0 && steadyMs() - lastPacket < kPhoneCameraFreshMs);
    json += '}';
    return json;
}

const std::string& Studio::currentStatus() {
    if (!remoteStatus.current) statusJson();
    remoteStatus.current = true;
    return remoteStatus.json;
}

std::string Studio::chatJson(const std::vector<ChatEntry>& entries, bool reset) {
    const std::vector<ChannelState> channels = liveData.channelStates();
    std::string json = R"({"type":"chat","reset":)";
    json += jsonBool(reset);
    json += R"(,"messages":[)";
    bool first = true;
    for (const ChatEntry& e : entries) {
        if (e.seq == 0) continue;
        if (!first) json += ',';
        first = false;
        const bool known = e.channel >= 0 && e.channel < static_cast<int64_t>(channels.size());
        json += R"({"seq":)" + std::to_string(e.seq) + R"(,"author":)" + jsonQuote(e.author) + R"(,"text":)" +
                jsonQuote(e.text) + R"(,"channel":)" +
                jsonQuote(known ? channels[static_cast<size_t>(e.channel)].channel : std::string()) + "}";
    }
    json += "]}";
    return json;
}

// One queued request; returns the error text for its sender, "" when none.
std::string Studio::runRemoteOperation(const RemoteMessage& message) {
    const std::string_view op = message.field("op");
    const std::string& indexText = message.field("index");
    const int64_t index = leadingInteger(indexText);
    const int scenes = static_cast<int>(project.scenes.size());
    // Every operation but the two that only answer may change the status.
    if (op != "status" && op != "chat.history") remoteStatus.current = false;
    if (op == "status") {
        remote.sendTo(message.connectionKey, currentStatus());
    } else if (op == "record.toggle") {
        toggleRecord();
    } else if (op == "record.start") {
        if (!recording.recording) toggleRecord();
    } else if (op == "record.stop") {
        if (recording.recording) toggleRecord();
    } else if (op == "record.pause") {
        recording.togglePause();
    } else if (op == "live.toggle") {
        toggleLive();
    } else if (op == "live.start") {
        if (!live.isLive()) toggleLive();
    } else if (op == "live.stop") {
        if (live.isLive()) toggleLive();
    } else if (op == "scene.set") {
        if (index < 0 || index >= scenes) return "no scene " + indexText;
        project.activeScene = static_cast<int>(index);
        selectedLayer = -1;
    } else if (op == "layout.set") {
        if (index < 0 || index > kLastLayoutPreset) return "no layout " + indexText;
        applyLayout(static_cast<int>(index));
    } else if (op == "layer.toggle") {
        bool matched = false;
        if (project.activeScene >= 0 && project.activeScene < scenes) {
            for (Layer& layer : project.scenes[static_cast<size_t>(project.activeScene)].layers) {
                if (layer.toggleKey != index) continue;
                layer.visible = !layer.visible;
                layer.verticalVisible = layer.visible;
                matched = true;
            }
        }
        if (!matched) return "no layer on key " + indexText;
    } else if (op == "mic.mute") {
        const std::string& on = message.field("on");
        kit.micInput->setMuted(on.empty() ? !kit.micInput->isMuted() : on == "true");
    } else if (op == "chat.history") {
        remote.sendTo(message.connectionKey, chatJson(liveData.chatEntries(), true));
    } else if (op == "camera.start") {
        if (!project.localNetwork) return "Turn on Local network in Quillhaven Settings > Control";
        if (!discovery.isRunning()) return "The phone camera can't start: " + remoteError;
        phoneCameraClient = message.connectionKey;
        const uint32_t session = discovery.newCameraSession();
        remote.sendTo(message.connectionKey, R"({"type":"camera","port":)" + std::to_string(project.remotePort) +
                                                 R"(,"session":)" + std::to_string(session) + "}");
    } else if (op == "camera.stop") {
        if (message.connectionKey == phoneCameraClient) {
            discovery.session = 0;
            phoneCameraClient = 0;
        }
    } else {
        return "unknown op " + std::string(op);
    }
    return "";
}

void Studio::handleRemoteMessages() {
    restartRemote(false);
    if (!remote.isRunning()) return;
    // The status is built at most once per tick while nothing changes it:
    // the status requests of a tick and its push share one build.
    remoteStatus.current = false;
    for (const RemoteMessage& message : remote.takeMessages()) {
        const std::string error = runRemoteOperation(message);
        if (!error.empty()) remote.sendTo(message.connectionKey, errorJson(error));
    }
    remote.setStatus(currentStatus());
    if (discovery.keyframeRequestDue()) remote.sendTo(phoneCameraClient, kCameraKeyMessage);

    std::vector<ChatEntry> fresh;
    for (ChatEntry& entry : liveData.chatEntries()) {
        if (entry.seq <= lastChatSeq) continue;
        lastChatSeq = entry.seq;
        fresh.push_back(std::move(entry));
    }
    if (!fresh.empty()) remote.broadcast(chatJson(fresh, false));
    remote.flush();

    if (pairingCode.empty()) return;
    if (remote.pairingActive() && steadyNowNs() <= pairingDeadline) return;
    if (remote.clientCount() > clientsAtPairingStart) toast.show("Phone paired");
    pairingCode.clear();
    remote.setPairingCode("");
}
