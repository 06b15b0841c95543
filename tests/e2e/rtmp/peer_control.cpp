#include "e2e/rtmp/peer_control.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

namespace {

std::string binaryDir() {
    const char* dir = std::getenv("QH_BINARY_DIR");
    return dir ? dir : ".";
}

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        out.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return out;
        start = tab + 1;
    }
}

}  // namespace

bool PeerControl::underWine() { return binaryDir().rfind("Z:", 0) == 0; }

std::string PeerControl::localPath(const std::string& linuxPath) {
    if (!underWine()) return linuxPath;
    std::string out = "Z:" + linuxPath;
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

PeerControl::PeerControl(const std::string& stateFolder) {
    std::ifstream portFile(binaryDir() + "/" + stateFolder + "/port");
    int port = 0;
    if (!(portFile >> port) || port <= 0) {
        error_ = "the peer supervisor is not running (no port file in " + stateFolder + ")";
        return;
    }
    stream_ = openStream("127.0.0.1", port, false, 5000, error_);
}

std::vector<std::string> PeerControl::call(const std::string& command, const std::vector<std::string>& args,
                                           int timeoutMs) {
    if (!stream_) {
        if (error_.empty()) error_ = "no connection to the peer supervisor";
        return {};
    }
    std::string line = command;
    for (const std::string& a : args) line += "\t" + a;
    line += "\n";
    if (!stream_->write(reinterpret_cast<const uint8_t*>(line.data()), line.size())) {
        error_ = stream_->lastError();
        return {};
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t newline;
    while ((newline = pending_.find('\n')) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) {
            error_ = "the peer supervisor did not answer " + command;
            return {};
        }
        uint8_t buf[4096];
        int got = stream_->read(buf, sizeof buf, 200);
        if (got < 0) {
            error_ = stream_->lastError();
            return {};
        }
        pending_.append(reinterpret_cast<char*>(buf), static_cast<size_t>(got));
    }
    std::string answer = pending_.substr(0, newline);
    pending_.erase(0, newline + 1);
    if (!answer.empty() && answer.back() == '\r') answer.pop_back();
    std::vector<std::string> fields = splitTabs(answer);
    if (fields.empty() || fields[0] != "ok") {
        error_ = command + ": " + answer;
        return {};
    }
    fields.erase(fields.begin());
    if (fields.empty()) fields.push_back("");
    return fields;
}

int findFreePort() {
    std::mt19937 rng(static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int port = 20000 + static_cast<int>(rng() % 40000);
        std::string error;
        if (openListener(port, false, error)) return port;
    }
    return 0;
}

struct LoggingRelay::State {
    std::unique_ptr<Listener> listener;
    std::string host;
    int serverPort = 0;
    std::thread thread;
    std::mutex lock;
    std::vector<uint8_t> fromServer;
};

LoggingRelay::LoggingRelay(const std::string& serverHost, int serverPort) : state_(std::make_unique<State>()) {
    state_->host = serverHost;
    state_->serverPort = serverPort;
    std::string error;
    for (int attempt = 0; attempt < 50 && !state_->listener; ++attempt) {
        port_ = findFreePort();
        state_->listener = openListener(port_, false, error);
    }
    State* s = state_.get();
    s->thread = std::thread([s] {
        if (!s->listener) return;
        std::unique_ptr<ByteStream> client = s->listener->accept(30000);
        if (!client) return;
        std::string error;
        std::unique_ptr<ByteStream> server = openStream(s->host, s->serverPort, false, 5000, error);
        if (!server) return;
        std::atomic<bool> done{false};
        std::thread up([&] {
            uint8_t buf[65536];
            while (!done) {
                int got = client->read(buf, sizeof buf, 50);
                if (got < 0 || (got > 0 && !server->write(buf, static_cast<size_t>(got)))) break;
            }
            done = true;
            server->close();
        });
        uint8_t buf[65536];
        while (!done) {
            int got = server->read(buf, sizeof buf, 50);
            if (got < 0) break;
            if (got == 0) continue;
            {
                std::lock_guard<std::mutex> guard(s->lock);
                s->fromServer.insert(s->fromServer.end(), buf, buf + got);
            }
            if (!client->write(buf, static_cast<size_t>(got))) break;
        }
        done = true;
        client->close();
        up.join();
    });
}

void LoggingRelay::finish() {
    if (state_->thread.joinable()) state_->thread.join();
    std::lock_guard<std::mutex> guard(state_->lock);
    serverBytes_ = state_->fromServer;
}

LoggingRelay::~LoggingRelay() {
    if (state_->thread.joinable()) state_->thread.join();
}
