#include "livedata/youtube.h"

#include <limits>

namespace {

constexpr char kUserAgent[] =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/131.0 "
    "Safari/537.36";
constexpr char kPageHeaders[] = "Accept-Language: en-US,en\r\nCookie: CONSENT=YES+1\r\n";
constexpr char kJsonHeader[] = "Content-Type: application/json\r\n";
constexpr int kResolveTimeoutMs = 5000;
constexpr int kConnectTimeoutMs = 5000;
constexpr int kSendTimeoutMs = 8000;
constexpr int kReceiveTimeoutMs = 10000;

constexpr char kCanonicalMarker[] = "<link rel=\"canonical\" href=\"https://www.youtube.com/watch?v=";
constexpr char kApiKeyMarker[] = "\"INNERTUBE_API_KEY\":\"";
constexpr char kClientVersionMarker[] = "\"INNERTUBE_CONTEXT_CLIENT_VERSION\":\"";
constexpr char kInitialData[] = "ytInitialData";
constexpr char kPollPath[] = "/youtubei/v1/live_chat/get_live_chat?prettyPrint=false&key=";
constexpr std::size_t kVideoIdLength = 11;

bool isUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Keys go into the query as they are: only bytes that need no escaping pass.
bool isUrlSafe(std::string_view s) {
    for (char c : s) {
        if (!isUnreserved(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

std::string_view trim(std::string_view s) {
    const char* kBlank = " \t\r\n";
    const std::size_t first = s.find_first_not_of(kBlank);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(kBlank) - first + 1);
}

// Saturating read of the decimal integer at the start of `s`: optional
// blanks and sign, then digits up to the first other character.
int64_t leadingInteger(std::string_view s) {
    std::size_t p = 0;
    while (p < s.size() && (s[p] == ' ' || s[p] == '\t' || s[p] == '\n' || s[p] == '\r')) ++p;
    bool negative = false;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) negative = s[p++] == '-';
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    int64_t v = 0;
    for (; p < s.size() && s[p] >= '0' && s[p] <= '9'; ++p) {
        const int d = s[p] - '0';
        v = v > (kMax - d) / 10 ? kMax : v * 10 + d;
    }
    return negative ? -v : v;
}

// The interval the service asks for; any double, infinite or not, lands in range.
int clampPollInterval(double ms) {
    if (!(ms >= kChatPollMinMs)) return kChatPollMinMs;
    if (ms >= kChatPollMaxMs) return kChatPollMaxMs;
    return static_cast<int>(ms);
}

}  // namespace

YouTubeSite systemYouTubeSite() {
    YouTubeSite site;
    site.client = systemHttpsClient();
    return site;
}

bool youtubeRequest(const YouTubeSite& site, std::string_view path, std::string_view body,
                    std::string& reply, std::string& error) {
    reply.clear();
    HttpsRequest rq;
    rq.host = site.host;
    rq.port = site.port;
    rq.path = std::string(path);
    rq.body = std::string(body);
    rq.headers = kPageHeaders;
    if (!body.empty()) rq.headers += kJsonHeader;
    rq.userAgent = kUserAgent;
    rq.resolveTimeoutMs = kResolveTimeoutMs;
    rq.connectTimeoutMs = kConnectTimeoutMs;
    rq.sendTimeoutMs = kSendTimeoutMs;
    rq.receiveTimeoutMs = kReceiveTimeoutMs;
    rq.abort = site.abort;
    HttpsResponse r = site.client->send(rq);
    if (!r.answered) {
        error = "Could not reach YouTube (error " + std::to_string(r.errorCode) + ")";
        return false;
    }
    reply = std::move(r.body);
    if (r.status != kHttpOk) {
        error = "YouTube answered " + std::to_string(r.status);
        return false;
    }
    if (r.bodyTooLarge) {
        error = kPageTooLarge;
        return false;
    }
    return true;
}

bool isVideoId(std::string_view id) {
    if (id.size() != kVideoIdLength) return false;
    for (char c : id) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                        c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
}

std::string extractAfter(std::string_view text, std::string_view marker, char terminator) {
    const std::size_t at = text.find(marker);
    if (at == std::string_view::npos) return {};
    const std::size_t start = at + marker.size();
    const std::size_t end = text.find(terminator, start);
    return std::string(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

bool parseInitialData(std::string_view page, JsonValue& out) {
    out = JsonValue();
    if (page.size() <= sizeof kInitialData - 1) return false;
    const std::size_t at = page.find(kInitialData);
    if (at == std::string_view::npos) return false;
    std::size_t pos = page.find('{', at);
    if (pos == std::string_view::npos) return false;
    return parseJsonValue(page, pos, out);
}

std::string jsonText(const JsonValue& node) {
    const JsonValue& simple = node.member("simpleText");
    if (simple.kind != JsonValue::Null) return simple.text;
    std::string out;
    for (const JsonValue& run : node.member("runs").items) {
        const JsonValue& text = run.member("text");
        if (text.kind != JsonValue::Null) {
            out += text.text;
            continue;
        }
        const JsonValue& emoji = run.member("emoji");
        if (emoji.kind == JsonValue::Null) continue;
        if (emoji.member("isCustomEmoji").boolean) {
            out += emoji.member("shortcuts").item(0).text;
        } else {
            out += emoji.member("emojiId").text;
        }
    }
    return out;
}

void collectChatMessages(const JsonValue& actions, std::vector<ChatMessage>& out) {
    if (actions.kind != JsonValue::Array) return;
    for (const JsonValue& action : actions.items) {
        const JsonValue& item = action.member("addChatItemAction").member("item");
        const JsonValue* renderer = &item.member("liveChatTextMessageRenderer");
        bool paid = false;
        if (renderer->kind == JsonValue::Null) {
            renderer = &item.member("liveChatPaidMessageRenderer");
            paid = true;
        }
        if (renderer->kind == JsonValue::Null) continue;
        ChatMessage m;
        m.author = jsonText(renderer->member("authorName"));
        m.text = jsonText(renderer->member("message"));
        if (paid) m.amount = jsonText(renderer->member("purchaseAmountText"));
        out.push_back(std::move(m));
    }
}

void readContinuation(const JsonValue& continuations, YouTubeChatSession& chat) {
    for (const JsonValue& entry : continuations.items) {
        for (const JsonMember& m : entry.members) {
            const JsonValue& token = m.value.member("continuation");
            if (token.kind == JsonValue::Null) continue;
            chat.continuation = token.text;
            const JsonValue& timeout = m.value.member("timeoutMs");
            if (timeout.kind != JsonValue::Null) chat.pollIntervalMs = clampPollInterval(timeout.number);
            return;
        }
    }
}

std::string channelPath(std::string_view channel) {
    std::string_view path = channel;
    const std::size_t at = channel.size() > 10 ? channel.find(kYouTubeDomain) : std::string_view::npos;
    if (at != std::string_view::npos) path = channel.substr(at + sizeof kYouTubeDomain - 1);
    // Whatever was typed reaches the request line only as path characters:
    // a blank, "?" or "#" cannot start a query or break the request.
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    if (path.empty() || path[0] != '/') out.push_back('/');
    for (std::size_t i = 0; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        const bool escaped = c == '%' && i + 2 < path.size() && isHexDigit(path[i + 1]) &&
                             isHexDigit(path[i + 2]);
        if (isUnreserved(c) || c == '/' || c == '@' || c == ':' || escaped) {
            out.push_back(char(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

std::string readLivePage(std::string_view page, std::string& error) {
    const std::string id = extractAfter(page, kCanonicalMarker, '"');
    if (id.empty()) {
        error = kNotLiveNow;
        return {};
    }
    if (!isVideoId(id)) {
        error = kBadVideoId;
        return {};
    }
    return id;
}

std::string resolveLiveVideoId(const YouTubeSite& site, std::string_view channel, std::string& error) {
    const std::string_view text = trim(channel);
    if (text.empty()) {
        error = kNoChannelSet;
        return {};
    }
    const std::size_t v = text.find("v=");
    if (v != std::string_view::npos) {
        std::string_view value = text.substr(v + 2);
        value = value.substr(0, value.find('&'));
        if (!value.empty()) {
            const std::string_view id = value.substr(0, kVideoIdLength);
            if (isVideoId(id)) return std::string(id);
            error = kBadVideoAddress;
            return {};
        }
    }
    if (text.size() == kVideoIdLength && text.find_first_of("./@") == std::string_view::npos &&
        isVideoId(text))
        return std::string(text);
    std::string page;
    if (!youtubeRequest(site, channelPath(text) + "/live", {}, page, error)) return {};
    return readLivePage(page, error);
}

bool readLiveChatPage(std::string_view page, YouTubeChatSession& chat, std::vector<ChatMessage>& messages,
                      std::string& error) {
    chat.apiKey = extractAfter(page, kApiKeyMarker, '"');
    chat.clientVersion = extractAfter(page, kClientVersionMarker, '"');
    JsonValue data;
    const JsonValue* renderer = nullptr;
    if (parseInitialData(page, data)) renderer = data.find("liveChatRenderer");
    if (!renderer || chat.apiKey.empty() || !isUrlSafe(chat.apiKey)) {
        error = kNoLiveChat;
        return false;
    }
    collectChatMessages(renderer->member("actions"), messages);
    readContinuation(renderer->member("continuations"), chat);
    if (chat.continuation.empty()) {
        error = kNoContinuation;
        return false;
    }
    return true;
}

bool readChatReply(std::string_view reply, YouTubeChatSession& chat, std::vector<ChatMessage>& messages,
                   std::string& error) {
    JsonValue data;
    std::size_t pos = 0;
    if (!parseJsonValue(reply, pos, data)) {
        error = kReplyNotJson;
        return false;
    }
    const JsonValue& contents = data.member("continuationContents").member("liveChatContinuation");
    if (contents.kind == JsonValue::Null) {
        error = kChatEnded;
        return false;
    }
    collectChatMessages(contents.member("actions"), messages);
    readContinuation(contents.member("continuations"), chat);
    return true;
}

bool readWatchPage(std::string_view page, VideoStats& stats, std::string& error) {
    JsonValue data;
    if (!parseInitialData(page, data)) {
        error = kNoVideoData;
        return false;
    }
    if (const JsonValue* views = data.find("videoViewCountRenderer")) {
        const std::string& count = views->member("originalViewCount").text;
        if (!count.empty()) stats.viewCount = leadingInteger(count);
    }
    if (const JsonValue* owner = data.find("videoOwnerRenderer")) {
        stats.subscriberText = jsonText(owner->member("subscriberCountText"));
    }
    if (const JsonValue* info = data.find("videoPrimaryInfoRenderer")) {
        stats.title = jsonText(info->member("title"));
    }
    return true;
}

namespace YouTubeChat {

bool start(const YouTubeSite& site, YouTubeChatSession& chat, const std::string& videoId,
           std::vector<ChatMessage>& messages, std::string& error) {
    if (!isVideoId(videoId)) {
        error = kBadVideoId;
        return false;
    }
    std::string page;
    if (!youtubeRequest(site, "/live_chat?is_popout=1&v=" + videoId, {}, page, error)) return false;
    return readLiveChatPage(page, chat, messages, error);
}

bool poll(const YouTubeSite& site, YouTubeChatSession& chat, std::vector<ChatMessage>& messages,
          std::string& error) {
    // The key was checked when the chat page was read.
    const std::string body = "{\"context\":{\"client\":{\"clientName\":\"WEB\",\"clientVersion\":" +
                             jsonQuote(chat.clientVersion) + "}},\"continuation\":" + jsonQuote(chat.continuation) +
                             "}";
    std::string reply;
    if (!youtubeRequest(site, kPollPath + chat.apiKey, body, reply, error)) return false;
    return readChatReply(reply, chat, messages, error);
}

}  // namespace YouTubeChat

bool fetchVideoStats(const YouTubeSite& site, const std::string& videoId, VideoStats& stats,
                     std::string& error) {
    if (!isVideoId(videoId)) {
        error = kBadVideoId;
        return false;
    }
    std::string page;
    if (!youtubeRequest(site, "/watch?v=" + videoId, {}, page, error)) return false;
    return readWatchPage(page, stats, error);
}
