#pragma once
// One-shot HTTPS requests for the parts of the studio that read web services
// (live chat and channel counts, the update manifest and download). The system
// transport is WinHTTP on Windows; the native build has no TLS of its own, and
// its tests hand their callers a scripted client instead.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

inline constexpr int kHttpsPort = 443;
inline constexpr int kHttpOk = 200;

// Replies larger than this are refused rather than grown without bound.
inline constexpr std::size_t kDefaultHttpsBodyLimit = 16u * 1024u * 1024u;
// The body is read in pieces of at most this size, so an abort or a refusing
// onBody ends a download within one piece.
inline constexpr std::size_t kHttpsReadPieceBytes = 65536;

struct HttpsRequest {
    std::string host;  // name or address, no scheme
    int port = kHttpsPort;
    std::string path;     // UTF-8, with the query; sent as given
    std::string body;     // POST when not empty, GET otherwise
    std::string headers;  // extra header lines, each ended by "\r\n"
    std::string userAgent;
    int resolveTimeoutMs = 5000;
    int connectTimeoutMs = 5000;
    int sendTimeoutMs = 8000;
    int receiveTimeoutMs = 10000;
    std::size_t bodyLimit = kDefaultHttpsBodyLimit;
    // When set, the body is handed over piece by piece (at most
    // kHttpsReadPieceBytes each) instead of gathered in the response
    // (downloads); returning false ends the exchange there.
    std::function<bool(const char* data, std::size_t size)> onBody;
    // When set, another thread may turn it on to end the exchange early: it
    // then ends unanswered (or incomplete) at the latest when the step in
    // progress ends, and a request that carries it already on is not sent.
    std::shared_ptr<const std::atomic<bool>> abort;
};

struct HttpsResponse {
    // The request went out and a status line came back. When false, errorCode
    // holds the system's code of the step that failed.
    bool answered = false;
    std::uint32_t errorCode = 0;
    int status = 0;
    std::string body;
    // The body grew past the request's limit (or its declared length was
    // over it, and nothing was read); what was read is dropped.
    bool bodyTooLarge = false;
    // The body ended where the server ended it, not at a failed read.
    bool complete = false;
    // onBody asked to stop.
    bool cancelled = false;
};

class HttpsClient {
public:
    virtual ~HttpsClient() = default;
    // Blocks for the whole exchange; safe to call from several threads at once.
    virtual HttpsResponse send(const HttpsRequest& request) = 0;
};

// The operating system's transport, shared by the whole process.
std::shared_ptr<HttpsClient> systemHttpsClient();
