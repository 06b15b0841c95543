#include "live/rtmp_session.h"

#include "live/flv.h"

#include <chrono>
#include <cmath>
#include <iterator>
#include <random>

namespace {

constexpr int kOpenTimeoutMs = 10000;
constexpr int kReplyTimeoutMs = 10000;
constexpr size_t kReadPiece = 16384;

// Transaction ids of our commands, in the order they are sent.
enum Transaction : int {
    kTxnConnect = 1,
    kTxnReleaseStream = 2,
    kTxnFcPublish = 3,
    kTxnCreateStream = 4,
    kTxnPublish = 5,
    kTxnFcUnpublish = 6,
    kTxnDeleteStream = 7,
};

// User control events: the first two bytes of a user control message, big-endian.
constexpr uint8_t kPingRequest = 6;
constexpr uint8_t kPingResponse = 7;

// Outgoing chunk streams.
constexpr uint32_t kCsidControl = 2;
constexpr uint32_t kCsidCommand = 3;
constexpr uint32_t kCsidStreamCommand = 4;
constexpr uint32_t kCsidMetadata = 5;
constexpr uint32_t kCsidVideo = 6;
constexpr uint32_t kCsidAudio = 7;

int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

uint32_t get32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

bool isName(const std::vector<AmfValue>& values, const std::string& name) {
    return !values.empty() && values[0].kind == AmfValue::String && values[0].text == name;
}

// Stream ids travel as AMF0 numbers; only a whole number that fits a
// positive 32-bit signed id is usable.
bool usableStreamId(const AmfValue& v) {
    return v.kind == AmfValue::Number && std::isfinite(v.number) && v.number >= 1.0 && v.number <= 2147483647.0 &&
           std::floor(v.number) == v.number;
}

}  // namespace

std::string statusDescription(const std::vector<AmfValue>& values) {
    for (const AmfValue& v : values) {
        if (v.kind != AmfValue::Object) continue;
        const AmfValue* d = v.property("description");
        if (d && d->kind == AmfValue::String && !d->text.empty()) return d->text;
        if (const AmfValue* c = v.property("code")) return c->text;
    }
    return "refused";
}

RtmpSession::RtmpSession() : RtmpSession(openStream, steadyMs) {}

RtmpSession::RtmpSession(RtmpStreamOpener opener, RtmpClock clock)
    : opener_(std::move(opener)), clock_(std::move(clock)) {}

RtmpSession::~RtmpSession() = default;

void RtmpSession::abort() {
    std::lock_guard<std::mutex> guard(lock_);
    aborted_ = true;
    if (stream_) stream_->close();
}

void RtmpSession::noteStreamFailure() {
    if (aborted_) {
        error_ = "Stopped";
        return;
    }
    std::string text = stream_ ? stream_->lastError() : std::string();
    error_ = text.empty() ? "Connection lost" : text;
}

std::string RtmpSession::fail() {
    // After an abort the stream reports no text of its own; an empty result
    // would read as success to the caller.
    if (aborted_) error_ = "Stopped";
    if (error_.empty()) noteStreamFailure();
    return error_;
}

std::string RtmpSession::connect(const RtmpEndpoint& endpoint, const std::string& streamKey,
                                 const StreamMetadata& media) {
    if (streamKey.size() > kAmf0MaxString) return error_ = "The stream key is too long";
    if (endpoint.tcUrl.size() > kAmf0MaxString || endpoint.app.size() > kAmf0MaxString)
        return error_ = "The server URL is too long";
    streamKey_ = streamKey;

    std::string openError;
    std::unique_ptr<ByteStream> opened =
        opener_(endpoint.host, endpoint.port, endpoint.tls, kOpenTimeoutMs, openError, &aborted_);
    if (!opened) {
        error_ = aborted_ ? "Stopped" : !openError.empty() ? openError : "Could not connect to " + endpoint.host;
        return error_;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (aborted_) {
            opened.reset();
            return error_ = "Stopped";
        }
        stream_ = std::move(opened);
    }
    if (!handshake()) return fail();

    uint8_t chunkSize[4];
    for (int i = 0; i < 4; ++i) chunkSize[i] = static_cast<uint8_t>(kOutChunkSize >> (24 - 8 * i));
    if (!sendMessage(kRtmpSetChunkSize, kCsidControl, 0, 0, chunkSize, 4)) return fail();
    outChunkSize_ = kOutChunkSize;

    if (!sendConnect(endpoint)) return fail();
    std::vector<AmfValue> reply;
    if (!waitForCommand(kReplyTimeoutMs, "_result", kTxnConnect, reply)) return fail();
    if (isName(reply, "_error")) return error_ = "The server refused the connection: " + statusDescription(reply);

    if (!sendCommand("releaseStream", kTxnReleaseStream, {streamKey_}, 0) ||
        !sendCommand("FCPublish", kTxnFcPublish, {streamKey_}, 0) || !sendCommand("createStream", kTxnCreateStream, {}, 0))
        return fail();
    if (!waitForCommand(kReplyTimeoutMs, "_result", kTxnCreateStream, reply)) return fail();
    if (isName(reply, "_error") || reply.size() < 4 || !usableStreamId(reply[3]))
        return error_ = "The server would not create a stream";
    streamId_ = static_cast<int>(reply[3].number);

    if (!sendCommand("publish", kTxnPublish, {streamKey_, "live"}, static_cast<uint32_t>(streamId_))) return fail();
    for (;;) {
        if (!waitForCommand(kReplyTimeoutMs, "onStatus", -1, reply)) return fail();
        std::string code, level;
        for (const AmfValue& v : reply) {
            if (v.kind != AmfValue::Object) continue;
            if (const AmfValue* c = v.property("code")) code = c->text;
            if (const AmfValue* l = v.property("level")) level = l->text;
        }
        if (code == "NetStream.Publish.Start") break;
        if (level == "error") return error_ = "Stream key refused: " + statusDescription(reply);
    }
    if (!sendMetadata(media)) return fail();
    if (aborted_) return fail();
    error_.clear();
    return {};
}

bool RtmpSession::handshake() {
    std::vector<uint8_t> hello(1 + kRtmpHandshakeSize, 0);
    hello[0] = kRtmpVersion;
    std::mt19937 twister(static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count()));
    for (size_t i = 9; i < hello.size(); ++i) hello[i] = static_cast<uint8_t>(twister());
    if (!stream_->write(hello.data(), hello.size())) return false;

    std::vector<uint8_t> reply;
    const int64_t start = clock_();
    uint8_t piece[4096];
    while (reply.size() < 1 + 2 * kRtmpHandshakeSize) {
        int got = stream_->read(piece, sizeof piece, 500);
        if (got < 0) return false;
        reply.insert(reply.end(), piece, piece + got);
        if (reply.size() < 1 + 2 * kRtmpHandshakeSize && clock_() - start > 10000) {
            error_ = "The server did not answer the RTMP handshake";
            return false;
        }
    }
    if (reply[0] != kRtmpVersion) {
        error_ = "The server does not speak RTMP";
        return false;
    }
    if (!stream_->write(reply.data() + 1, kRtmpHandshakeSize)) return false;
    const size_t used = 1 + 2 * kRtmpHandshakeSize;
    bytesReceived_ += static_cast<uint32_t>(reply.size());
    if (reply.size() > used) reader_.append(reply.data() + used, reply.size() - used);
    return true;
}

bool RtmpSession::sendConnect(const RtmpEndpoint& endpoint) {
    std::vector<uint8_t> p;
    amf0WriteString(p, "connect");
    amf0WriteNumber(p, kTxnConnect);
    amf0WriteObjectStart(p);
    amf0WriteKey(p, "app");
    amf0WriteString(p, endpoint.app);
    amf0WriteKey(p, "type");
    amf0WriteString(p, "nonprivate");
    amf0WriteKey(p, "flashVer");
    amf0WriteString(p, "FMLE/3.0 (compatible; Quillhaven)");
    amf0WriteKey(p, "tcUrl");
    amf0WriteString(p, endpoint.tcUrl);
    amf0WriteObjectEnd(p);
    return sendMessage(kRtmpCommandAmf0, kCsidCommand, 0, 0, p.data(), p.size());
}

bool RtmpSession::sendMetadata(const StreamMetadata& media) {
    std::vector<uint8_t> p;
    amf0WriteString(p, "@setDataFrame");
    amf0WriteString(p, "onMetaData");
    const std::pair<const char*, double> entries[] = {
        {"width", media.width},
        {"height", media.height},
        {"framerate", media.fps},
        {"videocodecid", kFlvCodecAvc},
        {"videodatarate", media.videoKbps},
        {"audiocodecid", kFlvSoundFormatAac},
        {"audiodatarate", media.audioKbps},
        {"audiosamplerate", media.audioSampleRate},
    };
    amf0WriteEcmaArrayStart(p, static_cast<uint32_t>(std::size(entries)));
    for (const auto& [key, value] : entries) {
        amf0WriteKey(p, key);
        amf0WriteNumber(p, value);
    }
    amf0WriteObjectEnd(p);
    return sendMessage(kRtmpDataAmf0, kCsidMetadata, static_cast<uint32_t>(streamId_), 0, p.data(), p.size());
}

bool RtmpSession::sendCommand(const std::string& name, double transaction, const std::vector<std::string>& args,
                              uint32_t messageStreamId) {
    std::vector<uint8_t> p;
    amf0WriteString(p, name);
    amf0WriteNumber(p, transaction);
    amf0WriteNull(p);
    for (const std::string& a : args) amf0WriteString(p, a);
    return sendMessage(kRtmpCommandAmf0, messageStreamId != 0 ? kCsidStreamCommand : kCsidCommand, messageStreamId, 0,
                       p.data(), p.size());
}

bool RtmpSession::sendMedia(uint8_t type, uint32_t timestampMs, const std::vector<uint8_t>& body) {
    return sendMedia(type, timestampMs, body.data(), body.size());
}

bool RtmpSession::sendMedia(uint8_t type, uint32_t timestampMs, const uint8_t* body, size_t length) {
    return sendMessage(type, type == kRtmpVideo ? kCsidVideo : kCsidAudio, static_cast<uint32_t>(streamId_),
                       timestampMs, body, length);
}

bool RtmpSession::sendMessage(uint8_t type, uint32_t csid, uint32_t messageStreamId, uint32_t timestamp,
                              const uint8_t* payload, size_t length) {
    if (!stream_) {
        noteStreamFailure();
        return false;
    }
    outBuffer_.clear();
    rtmpWriteMessage(outBuffer_, type, csid, messageStreamId, timestamp, payload, length, outChunkSize_);
    if (!stream_->write(outBuffer_.data(), outBuffer_.size())) {
        noteStreamFailure();
        return false;
    }
    return true;
}

bool RtmpSession::readIncoming(int timeoutMs) {
    if (!stream_) {
        noteStreamFailure();
        return false;
    }
    uint8_t piece[kReadPiece];
    int got = stream_->read(piece, sizeof piece, timeoutMs);
    if (got < 0) {
        noteStreamFailure();
        return false;
    }
    if (got == 0) return true;
    reader_.append(piece, static_cast<size_t>(got));
    bytesReceived_ += static_cast<uint32_t>(got);
    if (bytesReceived_ - bytesAcked_ >= windowAckSize_ / 2) {
        bytesAcked_ = bytesReceived_;
        uint8_t ack[4];
        for (int i = 0; i < 4; ++i) ack[i] = static_cast<uint8_t>(bytesReceived_ >> (24 - 8 * i));
        if (!sendMessage(kRtmpAcknowledgement, kCsidControl, 0, 0, ack, 4)) return false;
    }
    RtmpMessage message;
    while (reader_.readMessage(message)) {
        if (!handleMessage(message)) return false;
    }
    if (reader_.failed()) {
        error_ = "The server sent something unreadable";
        return false;
    }
    return true;
}

bool RtmpSession::handleMessage(const RtmpMessage& m) {
    const std::vector<uint8_t>& p = m.payload;
    switch (m.typeId) {
    case kRtmpSetChunkSize:
        if (p.size() >= 4) reader_.setChunkSize(get32(p.data()) & 0x7FFFFFFF);
        break;
    case kRtmpWindowAckSize:
        if (p.size() >= 4) windowAckSize_ = get32(p.data());
        break;
    case kRtmpUserControl:
        if (p.size() >= 6 && p[1] == kPingRequest) {
            const uint8_t pong[6] = {0x00, kPingResponse, p[2], p[3], p[4], p[5]};
            return sendMessage(kRtmpUserControl, kCsidControl, 0, 0, pong, sizeof pong);
        }
        break;
    case kRtmpCommandAmf0: {
        std::vector<AmfValue> values;
        amf0DecodeAll(p.data(), p.size(), values);
        if (values.empty()) break;
        if (pendingCommands_.size() >= kMaxPendingCommands) pendingCommands_.pop_front();
        pendingCommands_.push_back(std::move(values));
        break;
    }
    default:
        break;
    }
    return true;
}

bool RtmpSession::pump() {
    if (!stream_) {
        noteStreamFailure();
        return false;
    }
    return readIncoming(0);
}

bool RtmpSession::waitForCommand(int timeoutMs, const std::string& name, int transaction,
                                 std::vector<AmfValue>& out) {
    const int64_t deadline = clock_() + timeoutMs;
    for (;;) {
        for (auto it = pendingCommands_.begin(); it != pendingCommands_.end(); ++it) {
            const std::vector<AmfValue>& c = *it;
            if (!isName(c, name) && !(transaction >= 0 && isName(c, "_error"))) continue;
            // A reply to a numbered request carries its number second; a
            // one-value notice of the same name is not that reply.
            if (transaction >= 0 &&
                (c.size() < 2 || c[1].kind != AmfValue::Number || c[1].number != static_cast<double>(transaction)))
                continue;
            out = std::move(*it);
            pendingCommands_.erase(it);
            return true;
        }
        if (clock_() > deadline) {
            error_ = "The server did not answer " + name;
            return false;
        }
        if (!readIncoming(200)) return false;
    }
}

void RtmpSession::close() {
    if (!stream_ || streamId_ == 0) return;
    std::vector<uint8_t> p;
    amf0WriteString(p, "deleteStream");
    amf0WriteNumber(p, kTxnDeleteStream);
    amf0WriteNull(p);
    amf0WriteNumber(p, streamId_);
    if (sendCommand("FCUnpublish", kTxnFcUnpublish, {streamKey_}, 0) &&
        sendMessage(kRtmpCommandAmf0, kCsidCommand, 0, 0, p.data(), p.size())) {
        endConnection();
    } else {
        stream_->close();
    }
}

// Closing a socket with the server's replies still unread resets the
// connection, and a reset lets the server drop what it had not yet read of
// ours. So our side ends first, the replies are read to the server's own end
// (bounded, and cut short by an abort), and only then is the socket closed.
void RtmpSession::endConnection() {
    if (!aborted_ && stream_->shutdownSend()) {
        const int64_t deadline = clock_() + kCloseDrainMs;
        uint8_t piece[kReadPiece];
        for (int64_t left = kCloseDrainMs; left > 0 && !aborted_; left = deadline - clock_()) {
            if (stream_->read(piece, sizeof piece, static_cast<int>(left)) < 0) break;
        }
    }
    stream_->close();
}
