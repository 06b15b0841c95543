#include "remote/remote_server.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>

#include "remote/websocket.h"
#include "util/json.h"

namespace {

constexpr int kPollMs = 200;
constexpr size_t kUpgradeReadSize = 2048;
constexpr size_t kMaxUpgradeBytes = 8192;
constexpr int64_t kUpgradeDeadlineMs = 5000;
constexpr size_t kFrameReadSize = 4096;
constexpr int32_t kMaxWrongCodes = 4;
constexpr std::string_view kHeadEnd = "\r\n\r\n";
constexpr std::string_view kEmptyClose("\x88\x00", 2);
constexpr std::string_view kNoOpReply =
    R"({"type":"error","message":"send JSON like {\"op\":\"status\"}"})";
constexpr std::string_view kNoThreadError = "Could not start the remote-control server";

int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

const std::string& RemoteMessage::field(const std::string& name) const {
    static const std::string kAbsent;
    auto it = fields.find(name);
    return it == fields.end() ? kAbsent : it->second;
}

// --- RemoteConnection -------------------------------------------------------------------

RemoteConnection::RemoteConnection(int32_t key, std::unique_ptr<ByteStream> stream)
    : key(key), stream(std::move(stream)) {}

bool RemoteConnection::send(std::string_view bytes, bool wakeNow) {
    std::lock_guard<std::mutex> guard(lock);
    if (closed || finishing) return false;
    outbox += bytes;
    return checkQueue(wakeNow);
}

bool RemoteConnection::sendFrame(uint32_t opcode, std::string_view payload, bool wakeNow) {
    std::lock_guard<std::mutex> guard(lock);
    if (closed || finishing) return false;
    appendWebsocketFrame(outbox, opcode, payload);
    return checkQueue(wakeNow);
}

bool RemoteConnection::checkQueue(bool wakeNow) {
    if (outbox.size() > RemoteServer::kMaxQueuedBytes) {
        // The client stopped reading: drop it rather than hold its frames.
        outbox.clear();
        closed = true;
        stream->close();
        wake.notify_all();
        return false;
    }
    // Bytes held for the next flush may already wait in the queue, so bytes
    // that must go now wake the writer whatever the queue held.
    if (wakeNow) wake.notify_one();
    return true;
}

void RemoteConnection::flush() {
    bool waiting;
    {
        std::lock_guard<std::mutex> guard(lock);
        waiting = !outbox.empty();
    }
    // Woken outside the lock, the writer does not block at once on the
    // mutex still held here, which would cost the flusher a second wake.
    if (waiting) wake.notify_one();
}

void RemoteConnection::abort() {
    std::lock_guard<std::mutex> guard(lock);
    closed = true;
    stream->close();
    wake.notify_all();
}

void RemoteConnection::finish() {
    std::lock_guard<std::mutex> guard(lock);
    finishing = true;
    closed = true;
    wake.notify_all();
}

void RemoteConnection::writeLoop() {
    std::unique_lock<std::mutex> guard(lock);
    std::string batch;
    for (;;) {
        wake.wait(guard, [&] { return !outbox.empty() || finishing || closed; });
        if (outbox.empty()) break;
        // A closed (not finishing) connection sends nothing more.
        if (closed && !finishing) break;
        // Everything queued goes out in one write.
        batch.swap(outbox);
        outbox.clear();
        guard.unlock();
        const bool sent = stream->write(reinterpret_cast<const uint8_t*>(batch.data()), batch.size());
        guard.lock();
        if (!sent) {
            closed = true;
            break;
        }
    }
    outbox.clear();
    closed = true;
    stream->close();
    writerDone = true;
}

// --- RemoteServer -----------------------------------------------------------------------

RemoteServer::RemoteServer(Clock clock, ThreadStarter threadStarter)
    : nowMs(clock ? std::move(clock) : Clock(steadyMs)), starter(std::move(threadStarter)) {}

RemoteServer::~RemoteServer() { stop(); }

std::string RemoteServer::start(int port, bool allowLan, const std::string& newToken) {
    stop();
    std::string error;
    std::unique_ptr<Listener> opened = openListener(port, allowLan, error);
    if (!opened) return error.empty() ? "Port " + std::to_string(port) + " is in use" : error;
    {
        std::lock_guard<std::mutex> guard(lock);
        token = newToken;
    }
    listener = std::move(opened);
    stopping = false;
    try {
        acceptThread = starter([this] { acceptLoop(); });
        flushThread = starter([this] { flushLoop(); });
    } catch (const std::system_error&) {
        // Joins whichever thread did start and closes the listener.
        stop();
        return std::string(kNoThreadError);
    }
    return "";
}

void RemoteServer::stop() {
    if (!listener) return;
    {
        // Set under the flusher's lock, so that it cannot miss the wake-up.
        std::lock_guard<std::mutex> guard(flushLock);
        stopping = true;
    }
    flushWake.notify_one();
    if (flushThread.joinable()) flushThread.join();
    if (acceptThread.joinable()) acceptThread.join();
    {
        std::lock_guard<std::mutex> guard(lock);
        for (auto& connection : connections) connection->abort();
    }
    reap(true);
    std::lock_guard<std::mutex> guard(lock);
    messages.clear();
    queuedText = 0;
    lastStatus.clear();
    listener.reset();
}

void RemoteServer::reap(bool all) {
    std::vector<std::unique_ptr<RemoteConnection>> done;
    {
        std::lock_guard<std::mutex> guard(lock);
        auto finished = [all](const std::unique_ptr<RemoteConnection>& c) {
            return all || (c->closed && c->writerDone);
        };
        for (auto& c : connections)
            if (finished(c)) done.push_back(std::move(c));
        connections.erase(std::remove(connections.begin(), connections.end(), nullptr), connections.end());
    }
    for (auto& c : done) {
        if (c->thread.joinable()) c->thread.join();
        if (c->writer.joinable()) c->writer.join();
    }
}

void RemoteServer::acceptLoop() {
    while (!stopping) {
        std::unique_ptr<ByteStream> stream = listener->accept(kPollMs);
        reap(false);
        if (!stream) continue;
        std::lock_guard<std::mutex> guard(lock);
        // The eighth includes clients still in their upgrade; the ninth is
        // closed at once, without a reply.
        if (int(connections.size()) >= kMaxConnections) continue;
        auto connection = std::make_unique<RemoteConnection>(nextKey++, std::move(stream));
        // A client the system has no thread for is closed like the ninth.
        if (startConnection(*connection)) connections.push_back(std::move(connection));
    }
}

bool RemoteServer::startConnection(RemoteConnection& c) {
    try {
        c.writer = starter([&c] { c.writeLoop(); });
        c.thread = starter([this, &c] { serveConnection(c); });
        return true;
    } catch (const std::system_error&) {
        // The writer, if it started, ends as soon as it sees the connection closed.
        c.abort();
        if (c.writer.joinable()) c.writer.join();
        return false;
    }
}

RemoteServer::Admission RemoteServer::upgradeConnection(RemoteConnection& c) {
    const int64_t start = nowMs();
    std::string collected;
    size_t headEnd = std::string::npos;
    uint8_t chunk[kUpgradeReadSize];
    while ((headEnd = collected.size() >= kHeadEnd.size() ? collected.find(kHeadEnd) : std::string::npos) ==
           std::string::npos) {
        if (collected.size() > kMaxUpgradeBytes || nowMs() - start > kUpgradeDeadlineMs || stopping)
            return Admission::Refused;
        const int got = c.stream->read(chunk, sizeof chunk, kPollMs);
        if (got < 0) return Admission::Refused;
        collected.append(reinterpret_cast<const char*>(chunk), size_t(got));
    }
    // Only the head is read; whatever followed the blank line is discarded.
    UpgradeRequest request;
    const bool parsed = parseUpgradeRequest(std::string_view(collected).substr(0, headEnd), request);
    std::lock_guard<std::mutex> guard(lock);
    Admission result = Admission::Refused;
    if (parsed && !token.empty()) {
        const std::string pair = queryParam(request.path, "pair");
        if (secretEquals(queryParam(request.path, "token"), token)) {
            result = Admission::ByToken;
        } else if (!pair.empty() && !pairingCode.empty()) {
            if (secretEquals(pair, pairingCode)) {
                pairingCode.clear();
                result = Admission::ByPairing;
            } else if (++wrongCodes > kMaxWrongCodes) {
                pairingCode.clear();
            }
        }
    }
    if (result == Admission::Refused) {
        c.send(kForbiddenReply);
        return result;
    }
    // The answer and the greeting are queued in the same hold of the server
    // lock that used up the pairing code: no push can come before them, and
    // no tick sees the code gone without the new client counted.
    if (!c.send(websocketAccept(request.key))) return Admission::Refused;
    // The token is hexadecimal and needs no escaping.
    if (result == Admission::ByPairing)
        c.sendFrame(kOpText, R"({"type":"paired","token":")" + token + "\"}");
    if (!lastStatus.empty()) c.sendFrame(kOpText, lastStatus);
    c.authorised = true;
    return result;
}

void RemoteServer::serveConnection(RemoteConnection& c) {
    if (upgradeConnection(c) != Admission::Refused && !stopping) receiveLoop(c);
    c.finish();
}

void RemoteServer::receiveLoop(RemoteConnection& c) {
    std::vector<uint8_t> buffer;
    uint8_t chunk[kFrameReadSize];
    for (;;) {
        if (c.closed) return;
        const int got = c.stream->read(chunk, sizeof chunk, kPollMs);
        if (got < 0) return;
        buffer.insert(buffer.end(), chunk, chunk + got);
        size_t used = 0;
        for (;;) {
            WebSocketFrame frame;
            const int n = websocketParseFrame(buffer.data() + used, buffer.size() - used, frame);
            if (n < 0) return;
            if (n == 0) break;
            used += size_t(n);
            switch (frame.opcode) {
            case kOpClose:
                c.send(kEmptyClose);
                return;
            case kOpPing:
                c.sendFrame(kOpPong, frame.payload);
                break;
            case kOpText: {
                RemoteMessage message;
                message.connectionKey = c.key;
                auto op = message.fields.end();
                if (parseJsonObjectFlat(frame.payload, message.fields)) op = message.fields.find("op");
                if (op == message.fields.end() || op->second.empty()) {
                    c.sendFrame(kOpText, kNoOpReply);
                    break;
                }
                std::lock_guard<std::mutex> guard(lock);
                // A full queue drops the request without a reply.
                if (messages.size() < kMaxMessages && queuedText + frame.payload.size() <= kMaxQueuedText) {
                    queuedText += frame.payload.size();
                    messages.push_back(std::move(message));
                }
                break;
            }
            default:
                break;
            }
        }
        buffer.erase(buffer.begin(), buffer.begin() + std::ptrdiff_t(used));
        if (stopping) return;
    }
}

std::vector<RemoteMessage> RemoteServer::takeMessages() {
    std::lock_guard<std::mutex> guard(lock);
    std::vector<RemoteMessage> out;
    out.swap(messages);
    queuedText = 0;
    return out;
}

void RemoteServer::sendTo(int32_t key, const std::string& text) {
    std::lock_guard<std::mutex> guard(lock);
    for (auto& c : connections) {
        if (c->key != key || !c->authorised) continue;
        c->sendFrame(kOpText, text, false);
        break;
    }
}

void RemoteServer::sendToAuthorised(const std::string& text) {
    for (auto& c : connections)
        if (c->authorised) c->sendFrame(kOpText, text, false);
}

void RemoteServer::flush() {
    {
        std::lock_guard<std::mutex> guard(flushLock);
        flushDue = true;
    }
    flushWake.notify_one();
}

void RemoteServer::flushLoop() {
    std::unique_lock<std::mutex> guard(flushLock);
    for (;;) {
        flushWake.wait(guard, [this] { return flushDue || stopping; });
        if (stopping) return;
        flushDue = false;
        guard.unlock();
        {
            std::lock_guard<std::mutex> serverGuard(lock);
            for (auto& c : connections)
                if (c->authorised) c->flush();
        }
        guard.lock();
    }
}

void RemoteServer::broadcast(const std::string& text) {
    std::lock_guard<std::mutex> guard(lock);
    sendToAuthorised(text);
}

void RemoteServer::setStatus(const std::string& json) {
    std::lock_guard<std::mutex> guard(lock);
    if (json == lastStatus) return;
    lastStatus = json;
    sendToAuthorised(json);
}

int RemoteServer::clientCount() const {
    std::lock_guard<std::mutex> guard(lock);
    return int(std::count_if(connections.begin(), connections.end(),
                             [](const auto& c) { return c->authorised && !c->closed; }));
}

void RemoteServer::setPairingCode(const std::string& code) {
    std::lock_guard<std::mutex> guard(lock);
    pairingCode = code;
    wrongCodes = 0;
}

bool RemoteServer::pairingActive() const {
    std::lock_guard<std::mutex> guard(lock);
    return !pairingCode.empty();
}
