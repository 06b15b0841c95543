#pragma once
// A scripted RTMP server behind the ByteStream seam: it answers the
// handshake, reads the client's chunks and lets each test decide what to
// reply. Time only moves when a read finds nothing to deliver.

#include "live/amf0.h"
#include "live/rtmp_chunk.h"
#include "live/rtmp_session.h"
#include "net/byte_stream.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct FakeRtmpServer {
    // What the fake does with each command the client sends.
    std::function<void(FakeRtmpServer&, const std::vector<AmfValue>&)> onCommand;
    std::vector<RtmpMessage> received;   // every message from the client, after the handshake
    std::vector<uint8_t> toClient;       // bytes not yet read by the client
    size_t dribble = 0;                  // when non-zero, at most this many bytes per read
    uint8_t s0 = kRtmpVersion;
    bool answerHandshake = true;
    std::vector<uint8_t> afterHandshake;  // sent in the same read as S0 S1 S2
    bool closed = false;        // the server hung up: pending bytes still arrive
    bool clientClosed = false;  // the client closed its end: nothing more moves
    bool clientEnded = false;   // the client ended its sending; the server has read that end
    bool hangUpOnEnd = true;    // the server hangs up once it reads the client's end
    size_t unreadAtClose = 0;   // server bytes the client never read
    int refusedWrites = 0;      // client writes after the connection ended
    std::function<void()> onIdle;  // runs when a read finds nothing to deliver
    std::string closeText;  // what lastError reports after the server hangs up
    int64_t now = 0;
    uint32_t serverChunkSize = kRtmpDefaultChunkSize;

    size_t clientBytes = 0;
    RtmpChunkReader reader;

    FakeRtmpServer() { onCommand = standardReplies; }

    // A well-behaved server: _result to connect and createStream (id 1), a
    // publish start status to publish.
    static void standardReplies(FakeRtmpServer& s, const std::vector<AmfValue>& c) {
        const std::string& name = c[0].text;
        if (name == "connect") s.sendResult(1, {});
        if (name == "createStream") s.sendStreamId(1);
        if (name == "publish") s.sendStatus("status", "NetStream.Publish.Start", "Started");
    }

    void sendMessage(uint8_t type, uint32_t csid, uint32_t streamId, const std::vector<uint8_t>& payload) {
        RtmpMessage m;
        m.typeId = type;
        m.chunkStreamId = csid;
        m.streamId = streamId;
        m.payload = payload;
        rtmpWriteMessage(toClient, m, serverChunkSize);
    }
    void sendCommand(const std::vector<uint8_t>& amf) { sendMessage(kRtmpCommandAmf0, 3, 0, amf); }

    void sendResult(double txn, const std::vector<uint8_t>& tail, const char* name = "_result") {
        std::vector<uint8_t> p;
        amf0WriteString(p, name);
        amf0WriteNumber(p, txn);
        amf0WriteNull(p);
        p.insert(p.end(), tail.begin(), tail.end());
        sendCommand(p);
    }
    void sendStreamId(double id) {
        std::vector<uint8_t> tail;
        amf0WriteNumber(tail, id);
        sendResult(4, tail);
    }
    static std::vector<uint8_t> info(const std::string& level, const std::string& code, const std::string& desc) {
        std::vector<uint8_t> p;
        amf0WriteObjectStart(p);
        amf0WriteKey(p, "level");
        amf0WriteString(p, level);
        amf0WriteKey(p, "code");
        amf0WriteString(p, code);
        amf0WriteKey(p, "description");
        amf0WriteString(p, desc);
        amf0WriteObjectEnd(p);
        return p;
    }
    void sendStatus(const std::string& level, const std::string& code, const std::string& desc) {
        std::vector<uint8_t> p;
        amf0WriteString(p, "onStatus");
        amf0WriteNumber(p, 0);
        amf0WriteNull(p);
        auto o = info(level, code, desc);
        p.insert(p.end(), o.begin(), o.end());
        sendMessage(kRtmpCommandAmf0, 5, 1, p);
    }

    std::vector<RtmpMessage> receivedOfType(uint8_t type) const {
        std::vector<RtmpMessage> out;
        for (const auto& m : received)
            if (m.typeId == type) out.push_back(m);
        return out;
    }
    static std::vector<AmfValue> decode(const RtmpMessage& m) {
        std::vector<AmfValue> v;
        amf0DecodeAll(m.payload.data(), m.payload.size(), v);
        return v;
    }

    void fromClient(const uint8_t* data, size_t length) {
        size_t skip = 0;
        constexpr size_t kC0C1 = 1 + kRtmpHandshakeSize;
        constexpr size_t kC0C1C2 = 1 + 2 * kRtmpHandshakeSize;
        if (clientBytes < kC0C1) {
            skip = std::min(length, kC0C1 - clientBytes);
            clientBytes += skip;
            if (clientBytes == kC0C1 && answerHandshake) {
                toClient.push_back(s0);
                for (int i = 0; i < 2 * kRtmpHandshakeSize; ++i) toClient.push_back(static_cast<uint8_t>(i));
                toClient.insert(toClient.end(), afterHandshake.begin(), afterHandshake.end());
            }
        }
        if (skip < length && clientBytes < kC0C1C2) {
            const size_t c2 = std::min(length - skip, kC0C1C2 - clientBytes);
            clientBytes += c2;
            skip += c2;
        }
        if (skip >= length) return;
        reader.append(data + skip, length - skip);
        RtmpMessage m;
        while (reader.readMessage(m)) {
            received.push_back(m);
            if (m.typeId == kRtmpSetChunkSize && m.payload.size() >= 4)
                reader.setChunkSize(uint32_t(m.payload[0]) << 24 | m.payload[1] << 16 | m.payload[2] << 8 |
                                    m.payload[3]);
            if (m.typeId == kRtmpCommandAmf0) {
                auto values = decode(m);
                if (!values.empty() && onCommand) onCommand(*this, values);
            }
        }
    }
};

class FakeStream : public ByteStream {
public:
    explicit FakeStream(FakeRtmpServer& server) : s_(server) {}
    bool write(const uint8_t* data, size_t length) override {
        if (s_.closed || s_.clientClosed || s_.clientEnded) {
            ++s_.refusedWrites;
            return false;
        }
        s_.fromClient(data, length);
        return true;
    }
    int read(uint8_t* buffer, size_t size, int timeoutMs) override {
        if (s_.clientClosed) return -1;
        if (!s_.toClient.empty()) {
            size_t n = std::min(size, s_.toClient.size());
            if (s_.dribble) n = std::min(n, s_.dribble);
            std::memcpy(buffer, s_.toClient.data(), n);
            s_.toClient.erase(s_.toClient.begin(), s_.toClient.begin() + static_cast<std::ptrdiff_t>(n));
            return static_cast<int>(n);
        }
        if (s_.closed) return -1;
        if (s_.onIdle) s_.onIdle();
        if (s_.clientClosed) return -1;
        s_.now += timeoutMs;
        return 0;
    }
    void close() override {
        if (!s_.clientClosed) s_.unreadAtClose = s_.toClient.size();
        s_.clientClosed = true;
    }
    bool shutdownSend() override {
        if (s_.closed || s_.clientClosed) return false;
        s_.clientEnded = true;
        if (s_.hangUpOnEnd) s_.closed = true;
        return true;
    }
    std::string lastError() const override { return s_.closeText; }

private:
    FakeRtmpServer& s_;
};

inline std::unique_ptr<RtmpSession> sessionFor(FakeRtmpServer& server) {
    FakeRtmpServer* s = &server;
    return std::make_unique<RtmpSession>(
        [s](const std::string&, int, bool, int, std::string&, const std::atomic<bool>*) {
            return std::make_unique<FakeStream>(*s);
        },
        [s] { return s->now; });
}

inline RtmpEndpoint testEndpoint() {
    RtmpEndpoint ep;
    std::string error;
    parseRtmpUrl("rtmp://127.0.0.1:1935/live", ep, error);
    return ep;
}
