// HTTPS requests through WinHTTP, synchronous, one session per request so
// that callers on different threads share nothing.
#include "net/https_client.h"

#include "net/byte_stream.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>

#include "util/text.h"

namespace {

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

HttpsResponse failed() {
    HttpsResponse r;
    r.errorCode = GetLastError();
    return r;
}

// A synchronous call cannot be ended from another thread: closing a handle
// that a call is using is not allowed, so an abort takes effect between steps.
bool aborted(const HttpsRequest& rq) {
    if (!rq.abort || !rq.abort->load()) return false;
    SetLastError(ERROR_WINHTTP_OPERATION_CANCELLED);
    return true;
}

class WinHttpClient final : public HttpsClient {
public:
    HttpsResponse send(const HttpsRequest& rq) override {
        const std::wstring agent = utf8ToWide(rq.userAgent);
        HttpHandle session(WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
        // Systems before Windows 8.1 lack the automatic proxy setting.
        if (!session.h)
            session.h = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
        if (!session.h) return failed();
        // A refused time-out leaves the system's own, which also ends.
        WinHttpSetTimeouts(session.h, rq.resolveTimeoutMs, rq.connectTimeoutMs, rq.sendTimeoutMs,
                           rq.receiveTimeoutMs);
        const std::wstring host = utf8ToWide(rq.host);
        if (rq.port <= 0 || rq.port > kMaxPort) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return failed();
        }
        HttpHandle connection(WinHttpConnect(session.h, host.c_str(), INTERNET_PORT(rq.port), 0));
        if (!connection.h) return failed();
        const std::wstring path = utf8ToWide(rq.path);
        const wchar_t* verb = rq.body.empty() ? L"GET" : L"POST";
        HttpHandle request(WinHttpOpenRequest(connection.h, verb, path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                              WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
        if (!request.h) return failed();
        const std::wstring headers = utf8ToWide(rq.headers);
        const DWORD bodyLength = DWORD(rq.body.size());
        if (aborted(rq)) return failed();
        if (!WinHttpSendRequest(request.h, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                                headers.empty() ? 0 : DWORD(-1),
                                rq.body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(rq.body.data()),
                                bodyLength, bodyLength, 0))
            return failed();
        if (aborted(rq) || !WinHttpReceiveResponse(request.h, nullptr)) return failed();
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
        // A failed query or read ends the body where it stands, incomplete.
        std::size_t total = 0;
        std::string piece;
        std::string& into = rq.onBody ? piece : r.body;
        for (;;) {
            DWORD available = 0;
            if (aborted(rq) || !WinHttpQueryDataAvailable(request.h, &available)) break;
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
            if (rq.onBody) piece.clear();
            const std::size_t at = into.size();
            into.resize(at + want);
            DWORD got = 0;
            const bool read = WinHttpReadData(request.h, into.data() + at, want, &got);
            into.resize(at + (read ? got : 0));
            if (!read) break;
            if (got == 0) {
                r.complete = true;
                break;
            }
            total += got;
            if (rq.onBody && !rq.onBody(piece.data(), piece.size())) {
                r.cancelled = true;
                break;
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
