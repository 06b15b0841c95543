#include "livedata/page_fuzz.h"

#include <chrono>
#include <random>
#include <vector>

#include "livedata/fixture_pages.h"
#include "livedata/live_text.h"
#include "livedata/youtube.h"
#include "util/text.h"

namespace {

// Pieces that steer mutations toward what the readers look for.
const char* const kTokens[] = {
    "{", "}", "[", "]", "\"", "\\", "\\u", "\\ud83d", ":", ",", "null", "true", "1e999", "-1e999", "0.5",
    "99999999999999999999", "ytInitialData", "\"INNERTUBE_API_KEY\":\"", "\"INNERTUBE_CONTEXT_CLIENT_VERSION\":\"",
    "liveChatRenderer", "\"continuations\":[{\"x\":{\"continuation\":\"", "\"timeoutMs\":", "addChatItemAction",
    "liveChatTextMessageRenderer", "liveChatPaidMessageRenderer", "\"runs\":[", "\"simpleText\":", "emoji",
    "isCustomEmoji", "shortcuts", "originalViewCount", "videoOwnerRenderer", "continuationContents",
    "liveChatContinuation", "<link rel=\"canonical\" href=\"https://www.youtube.com/watch?v=", "&", "\n", "\r",
    "\x1f", "\xff", "\xc3", "\xe2\x80\xa6", "\x00",
};

std::vector<std::string> seedPages() {
    std::string actions = "[";
    actions += fixtures::textAction("Ann", "a\\nb\\u001fc");
    actions += ',';
    actions += fixtures::textAction("Bo\\r", "x");
    actions += ']';
    return {
        fixtures::kLivePage,
        fixtures::kOfflinePage,
        fixtures::liveChatPage(),
        fixtures::liveChatPage(actions),
        fixtures::pollReply(actions, "C2", "\"timeoutMs\":1500,"),
        fixtures::pollReply(fixtures::kChatActions, "C3", ""),
        fixtures::kWatchPage,
    };
}

class Mutator {
public:
    explicit Mutator(std::uint64_t seed) : rng_(seed) {}

    std::size_t below(std::size_t n) { return n ? std::size_t(rng_() % n) : 0; }

    std::string mutate(std::string s, const std::vector<std::string>& pool) {
        const std::size_t steps = 1 + below(8);
        for (std::size_t i = 0; i < steps; ++i) {
            const std::size_t at = below(s.size() + 1);
            switch (below(7)) {
                case 0:
                    if (!s.empty()) s[below(s.size())] = char(rng_());
                    break;
                case 1:
                    s.insert(at, kTokens[below(std::size(kTokens))]);
                    break;
                case 2:
                    s.erase(at, below(64));
                    break;
                case 3: {
                    const std::string& other = pool[below(pool.size())];
                    const std::size_t from = below(other.size());
                    s.insert(at, other.substr(from, below(400)));
                    break;
                }
                case 4:
                    s.resize(at);
                    break;
                case 5: {
                    const std::size_t len = below(200);
                    const std::string piece = s.substr(at, len);
                    for (std::size_t k = below(20); k > 0; --k) s.insert(at, piece);
                    break;
                }
                default:
                    s.insert(at, std::string(below(600), "[{\"a\":"[below(5)]));
                    break;
            }
        }
        return s;
    }

private:
    std::mt19937_64 rng_;
};

bool urlSafe(const std::string& s) {
    for (unsigned char c : s) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                        c == '.' || c == '_' || c == '~';
        if (!ok) return false;
    }
    return true;
}

// The message checks shared by the chat page and the poll reply.
std::string checkMessages(const std::vector<ChatMessage>& messages, const YouTubeChatSession& chat) {
    if (chat.pollIntervalMs < kChatPollMinMs || chat.pollIntervalMs > kChatPollMaxMs) return "interval out of range";
    std::vector<ChatEntry> entries;
    for (const ChatMessage& m : messages) {
        if (!isValidUtf8(m.author) || !isValidUtf8(m.text) || !isValidUtf8(m.amount)) return "message not UTF-8";
        entries.push_back({m.author, m.amount + m.text, int64_t(entries.size()), 1});
    }
    const std::string text = chatLayerText(entries);
    std::size_t lines = 0, separators = 0;
    for (char c : text) {
        lines += c == '\n';
        separators += c == '\x1f';
    }
    if (lines != entries.size() || separators != 2 * entries.size()) return "chat text forged a line";
    return {};
}

std::string checkOne(const std::string& page, PageFuzzResult& result) {
    std::string error;
    const std::string id = readLivePage(page, error);
    if (id.empty() ? error.empty() : !isVideoId(id)) return "live page gave a bad identifier";

    YouTubeChatSession chat;
    std::vector<ChatMessage> messages;
    if (readLiveChatPage(page, chat, messages, error)) {
        ++result.chatsStarted;
        if (chat.apiKey.empty() || !urlSafe(chat.apiKey) || chat.continuation.empty()) return "chat page accepted badly";
    } else if (error.empty()) {
        return "chat page failed without a text";
    }
    if (std::string e = checkMessages(messages, chat); !e.empty()) return e;

    messages.clear();
    if (readChatReply(page, chat, messages, error)) ++result.repliesRead;
    if (std::string e = checkMessages(messages, chat); !e.empty()) return e;

    VideoStats stats;
    if (readWatchPage(page, stats, error) && (!isValidUtf8(stats.subscriberText) || !isValidUtf8(stats.title)))
        return "watch page text not UTF-8";

    const std::string path = channelPath(page.substr(0, 300));
    if (path.empty() || path[0] != '/') return "channel path without a leading slash";
    for (unsigned char c : path) {
        if (c <= ' ' || c >= 0x7f || c == '?' || c == '#' || c == '&') return "channel path with a raw byte";
    }
    return {};
}

}  // namespace

PageFuzzResult runPageFuzz(std::uint64_t seed, std::uint64_t count, double seconds) {
    PageFuzzResult result;
    Mutator mutator(seed);
    const std::vector<std::string> pool = seedPages();
    const auto start = std::chrono::steady_clock::now();
    for (std::uint64_t i = 0; i < count; ++i) {
        if (seconds > 0 && (i & 63) == 0 &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > seconds)
            break;
        const std::string page = mutator.mutate(pool[mutator.below(pool.size())], pool);
        ++result.inputs;
        std::string failure = checkOne(page, result);
        if (!failure.empty()) {
            result.failure = std::move(failure);
            result.failingInput = page;
            break;
        }
    }
    return result;
}
