// HTTPS requests through WinHTTP, one session per request so that callers on
// different threads share nothing. The session runs in WinHTTP's asynchronous
// mode: only there does closing the request handle end a step in progress, so
// an abort ends the exchange at once however long the peer stays silent.
#include "net/https_client.h"

#include "net/byte_stream.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "util/text.h"

namespace {

// How often a caller waiting on a step looks at its abort flag.
constexpr auto kAbortCheckInterval = std::chrono::milliseconds(20);

constexpr DWORD kNotifications = WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES;

// Closes a WinHTTP handle when it leaves scope; requests close before their
// connection, connections before their session, by declaration order.
struct HttpHandle {
    HINTERNET h = nullptr;
    explicit HttpHandle(HINTERNET handle) : h(handle) {}
    ~HttpHandle() {
        if (h) WinHttpCloseHandle(h);
    }
    HttpHandle(const HttpHandle&) = delete;
    HttpHandle& operator=(const HttpHandle&) = delete;
};

// What the status callback shares with the caller. WinHTTP may still call
// back, and write into `piece`, after an aborted caller has returned, so the
// exchange keeps itself alive until its request handle is reported closed.
struct Exchange {
    std::mutex lock;
    std::condition_variable changed;
    bool done = false;  // the step in progress has completed
    DWORD error = 0;    // its failure, 0 when it succeeded
    DWORD count = 0;    // bytes available, or bytes read
    std::shared_ptr<Exchange> self;
    // Handed to the system for the length of a step.
    std::wstring headers;
    std::string body;
    std::vector<char> piece = std::vector<char>(kHttpsReadPieceBytes);
};

void CALLBACK onStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
    Exchange* ex = reinterpret_cast<Exchange*>(context);
    if (!ex) return;
    std::shared_ptr<Exchange> last;
    {
        std::lock_guard<std::mutex> g(ex->lock);
        switch (status) {
        case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
            last = std::move(ex->self);
            break;
        case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
            ex->error = static_cast<WINHTTP_ASYNC_RESULT*>(info)->dwError;
            ex->done = true;
            break;
        case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
            ex->count = *static_cast<DWORD*>(info);
            ex->done = true;
            break;
        case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
            ex->count = length;
            ex->done = true;
            break;
        case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
        case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
            ex->done = true;
            break;
        default:
            return;
        }
    }
    ex->changed.notify_all();
}

bool aborted(const HttpsRequest& rq) { return rq.abort && rq.abort->load(); }

HttpsResponse failed(DWORD code) {
    HttpsResponse r;
    r.errorCode = code;
    return r;
}

HttpsResponse failed() { return failed(GetLastError()); }

// Starts one asynchronous step and waits for its completion or an abort; 0 or
// the step's error code.
template <typename Start>
DWORD runStep(Exchange& ex, const HttpsRequest& rq, Start start) {
    {
        std::lock_guard<std::mutex> g(ex.lock);
        ex.done = false;
        ex.error = 0;
        ex.count = 0;
    }
    if (aborted(rq)) return ERROR_WINHTTP_OPERATION_CANCELLED;
    if (!start()) return GetLastError();
    std::unique_lock<std::mutex> g(ex.lock);
    while (!ex.done) {
        // The caller then closes the handles, which ends the step in the system.
        if (aborted(rq)) return ERROR_WINHTTP_OPERATION_CANCELLED;
        ex.changed.wait_for(g, kAbortCheckInterval);
    }
    return ex.error;
}

class WinHttpClient final : public HttpsClient {
public:
    HttpsResponse send(const HttpsRequest& rq) override {
        const std::wstring agent = utf8ToWide(rq.userAgent);
        HttpHandle session(WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
        // Systems before Windows 8.1 lack the automatic proxy setting.
        if (!session.h)
            session.h = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
        if (!session.h) return failed();
        // A refused time-out leaves the system's own, which also ends.
        WinHttpSetTimeouts(session.h, rq.resolveTimeoutMs, rq.connectTimeoutMs, rq.sendTimeoutMs,
                           rq.receiveTimeoutMs);
        const std::wstring host = utf8ToWide(rq.host);
        if (rq.port <= 0 || rq.port > kMaxPort) return failed(ERROR_INVALID_PARAMETER);
        HttpHandle connection(WinHttpConnect(session.h, host.c_str(), INTERNET_PORT(rq.port), 0));
        if (!connection.h) return failed();
        const std::wstring path = utf8ToWide(rq.path);
        const wchar_t* verb = rq.body.empty() ? L"GET" : L"POST";
        HttpHandle request(WinHttpOpenRequest(connection.h, verb, path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                              WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
        if (!request.h) return failed();

        auto shared = std::make_shared<Exchange>();
        Exchange& ex = *shared;
        DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&ex);
        if (!WinHttpSetOption(request.h, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context) ||
            WinHttpSetStatusCallback(request.h, onStatus, kNotifications, 0) == WINHTTP_INVALID_STATUS_CALLBACK)
            return failed();
        // From here on the handle's closing lets the exchange go.
        ex.self = shared;

        ex.headers = utf8ToWide(rq.headers);
        ex.body = rq.body;
        const DWORD bodyLength = DWORD(ex.body.size());
        if (DWORD e = runStep(ex, rq, [&] {
                return WinHttpSendRequest(request.h,
                                          ex.headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : ex.headers.c_str(),
                                          ex.headers.empty() ? 0 : DWORD(-1),
                                          ex.body.empty() ? WINHTTP_NO_REQUEST_DATA : ex.body.data(), bodyLength,
                                          bodyLength, context);
            }))
            return failed(e);
        if (DWORD e = runStep(ex, rq, [&] { return WinHttpReceiveResponse(request.h, nullptr); }))
            return failed(e);
        DWORD status = 0;
        DWORD size = sizeof status;
        if (!WinHttpQueryHeaders(request.h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                 WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
            return failed();

        HttpsResponse r;
        r.answered = true;
        r.status = int(status);
        // A declared length over the limit is refused before anything is read.
        wchar_t declared[32] = {};
        size = sizeof declared;
        if (WinHttpQueryHeaders(request.h, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, declared,
                                &size, WINHTTP_NO_HEADER_INDEX) &&
            _wcstoui64(declared, nullptr, 10) > rq.bodyLimit) {
            r.bodyTooLarge = true;
            return r;
        }
        // A failed query or read, or an abort, ends the body where it stands, incomplete.
        std::size_t total = 0;
        for (;;) {
            if (runStep(ex, rq, [&] { return WinHttpQueryDataAvailable(request.h, nullptr); })) break;
            const DWORD available = ex.count;
            if (available == 0) {
                r.complete = true;
                break;
            }
            if (available > rq.bodyLimit - total) {
                r.bodyTooLarge = true;
                r.body.clear();
                r.body.shrink_to_fit();
                break;
            }
            // The system may have far more at hand than one piece.
            const DWORD want = DWORD(std::min<std::size_t>(available, kHttpsReadPieceBytes));
            if (runStep(ex, rq, [&] { return WinHttpReadData(request.h, ex.piece.data(), want, nullptr); }))
                break;
            const DWORD got = ex.count;
            if (got == 0) {
                r.complete = true;
                break;
            }
            total += got;
            if (rq.onBody) {
                if (!rq.onBody(ex.piece.data(), got)) {
                    r.cancelled = true;
                    break;
                }
            } else {
                r.body.append(ex.piece.data(), got);
            }
        }
        return r;
    }
};

}  // namespace

std::shared_ptr<HttpsClient> systemHttpsClient() {
    static const std::shared_ptr<HttpsClient> client = std::make_shared<WinHttpClient>();
    return client;
}
