#pragma once
// Pages of the video service as the reader sees them, written by hand: the
// parts the reader looks at, with enough around them to be realistic.

#include <string>

namespace fixtures {

inline const std::string kVideoId = "abcDEF12_-9";

inline const std::string kLivePage =
    "<!DOCTYPE html><html lang=\"en\"><head><title>Channel - Live</title>"
    "<link rel=\"alternate\" href=\"https://m.youtube.com/watch?v=zzzzzzzzzzz\">"
    "<link rel=\"canonical\" href=\"https://www.youtube.com/watch?v=abcDEF12_-9\">"
    "<meta property=\"og:title\" content=\"Live now\"></head><body></body></html>";

inline const std::string kOfflinePage =
    "<!DOCTYPE html><html><head><link rel=\"canonical\" href=\"https://www.youtube.com/@quiet\">"
    "</head><body>var ytInitialData = {\"contents\":{}};</body></html>";

// One text message, one paid message without text, one emoji-only message
// and an action of another kind that is skipped.
inline const std::string kChatActions =
    "[{\"addChatItemAction\":{\"item\":{\"liveChatTextMessageRenderer\":{"
    "\"message\":{\"runs\":[{\"text\":\"hello \"},{\"emoji\":{\"emojiId\":\"\\ud83d\\udc4b\","
    "\"shortcuts\":[\":wave:\"]}},{\"text\":\" there\"}]},"
    "\"authorName\":{\"simpleText\":\"Ann\"},\"id\":\"m1\"}}}},"
    "{\"addChatItemAction\":{\"item\":{\"liveChatPaidMessageRenderer\":{"
    "\"authorName\":{\"simpleText\":\"Bob\"},\"purchaseAmountText\":{\"simpleText\":\"$5.00\"}}}}},"
    "{\"addChatItemAction\":{\"item\":{\"liveChatTextMessageRenderer\":{\"authorName\":{\"simpleText\":"
    "\"Cy\"},\"message\":{\"runs\":[{\"emoji\":{\"emojiId\":\"UCx/abc\",\"isCustomEmoji\":true,"
    "\"shortcuts\":[\":yt:\",\":other:\"]}},{\"emoji\":{\"emojiId\":\"\\u2764\"}},{\"nothing\":1}]}}}}},"
    "{\"addLiveChatTickerItemAction\":{\"item\":{\"liveChatTextMessageRenderer\":{\"authorName\":"
    "{\"simpleText\":\"ticker\"}}}}}]";

inline std::string liveChatPage(const std::string& actions = kChatActions,
                                const std::string& apiKey = "AIzaSyTestKey_0123-x") {
    return "<!DOCTYPE html><html><head><script nonce=\"n\">ytcfg.set({\"INNERTUBE_API_KEY\":\"" + apiKey +
           "\",\"INNERTUBE_CONTEXT_CLIENT_VERSION\":\"2.20251201.01.00\",\"HL\":\"en\"});</script></head><body>"
           "<script nonce=\"n\">window[\"ytInitialData\"] = {\"responseContext\":{\"x\":[1,2]},"
           "\"contents\":{\"liveChatRenderer\":{\"continuations\":[{\"invalidationContinuationData\":{"
           "\"invalidationId\":{\"topic\":\"chat~abc\"},\"timeoutMs\":10000,\"continuation\":\"CONT-1\"}}],"
           "\"actions\":" + actions + ",\"header\":{}}}};</script></body></html>";
}

inline std::string pollReply(const std::string& actions, const std::string& continuation, const std::string& timeout) {
    return "{\"responseContext\":{\"serviceTrackingParams\":[]},\"continuationContents\":{\"liveChatContinuation\":{"
           "\"continuations\":[{\"timedContinuationData\":{" + timeout + "\"continuation\":\"" + continuation +
           "\"}}],\"actions\":" + actions + "}}}";
}

inline std::string textAction(const std::string& author, const std::string& text) {
    return "{\"addChatItemAction\":{\"item\":{\"liveChatTextMessageRenderer\":{\"message\":{\"runs\":[{\"text\":\"" +
           text + "\"}]},\"authorName\":{\"simpleText\":\"" + author + "\"}}}}}";
}

inline const std::string kWatchPage =
    "<html><body><script>var ytInitialData = {\"contents\":{\"twoColumnWatchNextResults\":{\"results\":{"
    "\"results\":{\"contents\":[{\"videoPrimaryInfoRenderer\":{\"title\":{\"runs\":[{\"text\":\"Ranked \"},"
    "{\"text\":\"grind\"}]},\"viewCount\":{\"videoViewCountRenderer\":{\"viewCount\":{\"runs\":[{\"text\":"
    "\"1,234\"}]},\"isLive\":true,\"originalViewCount\":\"1234\"}}}},{\"videoSecondaryInfoRenderer\":{"
    "\"owner\":{\"videoOwnerRenderer\":{\"title\":{\"runs\":[{\"text\":\"Main\"}]},\"subscriberCountText\":"
    "{\"simpleText\":\"48.2K subscribers\"}}}}}]}}}}};</script></body></html>";

}  // namespace fixtures
