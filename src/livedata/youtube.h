#pragma once
// Reads what the live-data workers need from the video service's public web
// pages, as a browser would: which video a channel streams live, that video's
// chat (the chat page, then the chat data endpoint) and the counts on its
// watch page. Every call blocks on its worker thread and reports failure as a
// plain-English text that becomes the channel's status.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/https_client.h"
#include "util/json.h"

inline constexpr char kYouTubeHost[] = "www.youtube.com";
// The host without its first label: how a pasted channel address is recognised.
inline constexpr char kYouTubeDomain[] = "youtube.com";

// Where requests go; tests point it at a local server or a scripted client.
struct YouTubeSite {
    std::shared_ptr<HttpsClient> client;
    std::string host = kYouTubeHost;
    int port = kHttpsPort;
    // Carried by every request (see HttpsRequest::abort); may be null.
    std::shared_ptr<std::atomic<bool>> abort;
};

YouTubeSite systemYouTubeSite();

inline constexpr int kChatPollDefaultMs = 3000;
inline constexpr int kChatPollMinMs = 1000;
inline constexpr int kChatPollMaxMs = 3000;

// One worker's chat of one live video.
struct YouTubeChatSession {
    std::string apiKey;
    std::string clientVersion;
    std::string continuation;
    int pollIntervalMs = kChatPollDefaultMs;
};

struct ChatMessage {
    std::string author;
    std::string text;
    std::string amount;  // purchase amount of a paid message, else empty
};

struct VideoStats {
    int64_t viewCount = -1;
    std::string subscriberText;
    std::string title;
};

// Error texts shown as a channel's status.
inline constexpr char kNoChannelSet[] = "No channel set";
inline constexpr char kNotLiveNow[] = "This channel is not live right now";
inline constexpr char kNoLiveChat[] = "No live chat for this video (chat off, or YouTube changed the page)";
inline constexpr char kNoContinuation[] = "Live chat has no continuation";
inline constexpr char kChatEnded[] = "The stream's chat ended";
inline constexpr char kReplyNotJson[] = "Chat reply was not JSON";
inline constexpr char kNoVideoData[] = "YouTube page changed: no video data";
inline constexpr char kBadVideoAddress[] = "Not a valid YouTube video address";
inline constexpr char kBadVideoId[] = "YouTube page changed: bad video identifier";
inline constexpr char kPageTooLarge[] = "YouTube sent a page larger than 16 MiB";

// One HTTPS request to the site: GET when `body` is empty, else a JSON POST.
bool youtubeRequest(const YouTubeSite& site, std::string_view path, std::string_view body,
                    std::string& reply, std::string& error);

// The channel's live video identifier, or "" with the reason in `error`.
std::string resolveLiveVideoId(const YouTubeSite& site, std::string_view channel, std::string& error);

namespace YouTubeChat {
// True when the chat can be polled; the page's first messages are appended.
bool start(const YouTubeSite& site, YouTubeChatSession& chat, const std::string& videoId,
           std::vector<ChatMessage>& messages, std::string& error);
// One continuation request; new messages are appended.
bool poll(const YouTubeSite& site, YouTubeChatSession& chat, std::vector<ChatMessage>& messages,
          std::string& error);
}  // namespace YouTubeChat

// `stats.viewCount` stays as the caller set it when the page shows no count.
bool fetchVideoStats(const YouTubeSite& site, const std::string& videoId, VideoStats& stats,
                     std::string& error);

// The page readers behind the requests, apart so that they can be fed pages
// directly.
std::string extractAfter(std::string_view text, std::string_view marker, char terminator);
bool parseInitialData(std::string_view page, JsonValue& out);
void collectChatMessages(const JsonValue& actions, std::vector<ChatMessage>& out);
void readContinuation(const JsonValue& continuations, YouTubeChatSession& chat);
std::string jsonText(const JsonValue& node);
// Exactly 11 of A-Z, a-z, 0-9, "_" and "-".
bool isVideoId(std::string_view id);
// The request path of a channel text: the part after the site's domain when
// it is an address, with a leading "/", no trailing "/", percent-encoded.
std::string channelPath(std::string_view channel);
// The video identifier of a channel's live page; "" with the reason in `error`.
std::string readLivePage(std::string_view page, std::string& error);
bool readLiveChatPage(std::string_view page, YouTubeChatSession& chat, std::vector<ChatMessage>& messages,
                      std::string& error);
bool readChatReply(std::string_view reply, YouTubeChatSession& chat, std::vector<ChatMessage>& messages,
                   std::string& error);
bool readWatchPage(std::string_view page, VideoStats& stats, std::string& error);
