#pragma once
// An HTTPS client that answers from a script and keeps every request, for
// driving the video-service reader without a network.

#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "net/https_client.h"

class ScriptedHttps final : public HttpsClient {
public:
    // Answers every later request for `path` (until changed).
    void serve(const std::string& path, const std::string& body, int status = 200) {
        std::lock_guard<std::mutex> g(m_);
        sticky_[path] = reply(body, status);
    }
    // Answers the next request for `path` once, before any sticky answer.
    void queue(const std::string& path, const std::string& body, int status = 200) {
        std::lock_guard<std::mutex> g(m_);
        once_[path].push_back(reply(body, status));
    }
    HttpsResponse send(const HttpsRequest& rq) override {
        std::lock_guard<std::mutex> g(m_);
        log_.push_back(rq);
        auto q = once_.find(rq.path);
        if (q != once_.end() && !q->second.empty()) {
            HttpsResponse r = q->second.front();
            q->second.pop_front();
            return capped(r, rq.bodyLimit);
        }
        auto s = sticky_.find(rq.path);
        if (s != sticky_.end()) return capped(s->second, rq.bodyLimit);
        HttpsResponse unreachable;
        unreachable.errorCode = 12029;
        return unreachable;
    }
    std::vector<HttpsRequest> requests() {
        std::lock_guard<std::mutex> g(m_);
        return log_;
    }
    int count(const std::string& path) {
        std::lock_guard<std::mutex> g(m_);
        int n = 0;
        for (const HttpsRequest& r : log_) n += r.path == path;
        return n;
    }

private:
    // What the system client does with a body past the request's limit.
    static HttpsResponse capped(HttpsResponse r, std::size_t limit) {
        if (r.body.size() > limit) {
            r.body.clear();
            r.bodyTooLarge = true;
        }
        return r;
    }
    static HttpsResponse reply(const std::string& body, int status) {
        HttpsResponse r;
        r.answered = true;
        r.status = status;
        r.body = body;
        return r;
    }
    std::mutex m_;
    std::map<std::string, HttpsResponse> sticky_;
    std::map<std::string, std::deque<HttpsResponse>> once_;
    std::vector<HttpsRequest> log_;
};
