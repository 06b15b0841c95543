#include "livedata/live_text.h"

#include <limits>

namespace {

constexpr char kStudioAuthor[] = "Quillhaven";
constexpr char kAddChannelHint[] = "Add your YouTube channel in Settings > Destinations to show chat here.";
constexpr char kQuietHint[] = "Chat is quiet. New messages show up here.";
constexpr char kFieldSeparator = '\x1f';
constexpr char kNoCount[] = "-";

void appendField(std::string& out, std::string_view field) {
    for (char c : field) out.push_back(c == '\n' || c == '\r' || c == kFieldSeparator ? ' ' : c);
}

std::string countText(const std::vector<ChannelState>& states, std::size_t i) {
    return i < states.size() && states[i].viewers >= 0 ? formatWithCommas(states[i].viewers) : kNoCount;
}

std::string subscriberText(const std::vector<ChannelState>& states, std::size_t i) {
    return i < states.size() && !states[i].subscribers.empty() ? states[i].subscribers : kNoCount;
}

}  // namespace

std::vector<ChatEntry> buildChatLines(const std::vector<ChatEntry>& entries,
                                      const std::vector<ChannelState>& states) {
    if (states.empty()) return {{kStudioAuthor, kAddChannelHint, 0, 0}};
    if (!entries.empty()) return entries;
    std::vector<ChatEntry> lines;
    for (std::size_t i = 0; i < states.size(); ++i) {
        const ChannelState& s = states[i];
        lines.push_back({s.channel, s.status.empty() ? kQuietHint : s.status, int64_t(i), 0});
    }
    return lines;
}

std::string chatLayerText(const std::vector<ChatEntry>& lines) {
    std::string out;
    for (const ChatEntry& e : lines) {
        appendField(out, e.author);
        out.push_back(kFieldSeparator);
        appendField(out, e.text);
        out.push_back(kFieldSeparator);
        out += std::to_string(static_cast<int32_t>(e.channel));
        out.push_back('\n');
    }
    return out;
}

int64_t totalViewers(const std::vector<ChannelState>& states) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    int64_t sum = -1;
    for (const ChannelState& s : states) {
        if (s.viewers < 0) continue;
        if (sum < 0) sum = 0;
        sum = s.viewers > kMax - sum ? kMax : sum + s.viewers;
    }
    return sum;
}

std::string formatWithCommas(int64_t n) {
    const std::string digits = std::to_string(n);
    std::string out;
    const std::size_t len = digits.size();
    for (std::size_t i = 0; i < len; ++i) {
        const std::size_t fromEnd = len - i;
        if (i > 0 && fromEnd % 3 == 0 && digits[i - 1] != '-') out.push_back(',');
        out.push_back(digits[i]);
    }
    return out;
}

void replaceAll(std::string& text, std::string_view what, std::string_view with) {
    if (what.empty()) return;
    std::size_t at = 0;
    while ((at = text.find(what, at)) != std::string::npos) {
        text.replace(at, what.size(), with);
        at += with.size();
    }
}

void applyLiveDataToScene(Scene& scene, const std::vector<ChatEntry>& entries,
                          const std::vector<ChannelState>& states) {
    const std::string chat = chatLayerText(buildChatLines(entries, states));
    const int64_t sum = totalViewers(states);
    const std::string total = sum >= 0 ? formatWithCommas(sum) : kNoCount;
    const std::pair<const char*, std::string> placeholders[] = {
        {"{viewers}", total},
        {"{viewers1}", countText(states, 0)},
        {"{viewers2}", countText(states, 1)},
        {"{subscribers}", subscriberText(states, 0)},
        {"{subscribers1}", subscriberText(states, 0)},
        {"{subscribers2}", subscriberText(states, 1)},
    };
    for (Layer& layer : scene.layers) {
        if (layer.kind == LayerKind::Chat) {
            layer.liveText = chat;
        } else if (layer.kind == LayerKind::LiveCounter) {
            std::string text = layer.text;
            for (const auto& [what, with] : placeholders) replaceAll(text, what, with);
            layer.liveText = std::move(text);
        }
    }
}

std::vector<ChatEntry> showcaseChatEntries() {
    return {
        {"mika_plays", "that clutch was unreal", 0, 0},
        {"Ravenloft", "vertical stream looks so clean", 1, 0},
        {"jonny.b", "gg! what settings for the boss?", 0, 0},
        {"Sunny Ortiz", "hi from the shorts feed", 1, 0},
        {"pixelpilot", "chat from both channels in one place, nice", 0, 0},
    };
}

std::vector<ChannelState> showcaseChannelStates() {
    return {
        {"@main", "", 2184, "48.2K", ""},
        {"@shorts", "", 643, "12.9K", ""},
    };
}
