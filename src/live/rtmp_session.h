#pragma once
// One publishing connection to an RTMP or RTMPS server: handshake, the
// publish commands and metadata, then media until failure or close.

#include "live/amf0.h"
#include "live/rtmp_chunk.h"
#include "live/rtmp_url.h"
#include "net/byte_stream.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The media description of one output, sent as the stream's metadata.
struct StreamMetadata {
    int width = 0;
    int height = 0;
    int fps = 30;
    int videoKbps = 0;
    int audioSampleRate = 48000;
    int audioKbps = 192;
};

// The handshake: a version byte, then packets of this size each way.
constexpr uint8_t kRtmpVersion = 3;
constexpr int kRtmpHandshakeSize = 1536;

enum RtmpMessageType : uint8_t {
    kRtmpSetChunkSize = 1,
    kRtmpAcknowledgement = 3,
    kRtmpUserControl = 4,
    kRtmpWindowAckSize = 5,
    kRtmpAudio = 8,
    kRtmpVideo = 9,
    kRtmpDataAmf0 = 18,
    kRtmpCommandAmf0 = 20,
};

// Seams so the session runs against scripted peers and a test clock. The
// opener gives up at once when `stop` is set (see openStream).
using RtmpStreamOpener = std::function<std::unique_ptr<ByteStream>(
    const std::string& host, int port, bool tls, int timeoutMs, std::string& error, const std::atomic<bool>* stop)>;
using RtmpClock = std::function<int64_t()>;  // milliseconds, steady

class RtmpSession {
public:
    RtmpSession();
    RtmpSession(RtmpStreamOpener opener, RtmpClock clock);
    ~RtmpSession();
    RtmpSession(const RtmpSession&) = delete;
    RtmpSession& operator=(const RtmpSession&) = delete;

    // Empty when publishing has started, else the failure text.
    std::string connect(const RtmpEndpoint& endpoint, const std::string& streamKey, const StreamMetadata& media);
    // Any thread: makes every blocked or later network call fail at once,
    // including a name lookup, connect or secure handshake in progress.
    void abort();
    // type kRtmpAudio or kRtmpVideo; the body is an FLV tag body.
    bool sendMedia(uint8_t type, uint32_t timestampMs, const std::vector<uint8_t>& body);
    bool sendMedia(uint8_t type, uint32_t timestampMs, const uint8_t* body, size_t length);
    // Handles whatever the server sent, without waiting.
    bool pump();
    // Unpublishes and deletes the stream, then ends the connection without
    // losing the server's last replies. The first write that fails ends it
    // there: a server that cannot take the goodbye gets no more of it.
    void close();

    bool sendCommand(const std::string& name, double transaction, const std::vector<std::string>& args,
                     uint32_t messageStreamId);
    bool sendMessage(uint8_t type, uint32_t csid, uint32_t messageStreamId, uint32_t timestamp, const uint8_t* payload,
                     size_t length);
    bool readIncoming(int timeoutMs);
    // transaction < 0 means any. Fails with error() set.
    bool waitForCommand(int timeoutMs, const std::string& name, int transaction, std::vector<AmfValue>& out);

    const std::string& error() const { return error_; }
    int streamId() const { return streamId_; }
    size_t pendingCommandCount() const { return pendingCommands_.size(); }

    // Commands nobody waits for (a server's chatter while we publish) are
    // kept only this deep; the oldest go first.
    static constexpr size_t kMaxPendingCommands = 64;
    // The chunk size we announce and send with.
    static constexpr uint32_t kOutChunkSize = 4096;
    // How long a closing session reads on after its last command, waiting for
    // the server to end the connection from its side.
    static constexpr int kCloseDrainMs = 2000;

private:
    bool handshake();
    bool sendConnect(const RtmpEndpoint& endpoint);
    bool sendMetadata(const StreamMetadata& media);
    bool handleMessage(const RtmpMessage& message);
    void endConnection();
    // Records why the stream failed; never empty.
    void noteStreamFailure();
    std::string fail();

    RtmpStreamOpener opener_;
    RtmpClock clock_;

    std::mutex lock_;
    std::unique_ptr<ByteStream> stream_;
    std::atomic<bool> aborted_{false};

    RtmpChunkReader reader_;
    std::deque<std::vector<AmfValue>> pendingCommands_;
    uint32_t outChunkSize_ = kOutChunkSize;
    std::string streamKey_;
    uint32_t windowAckSize_ = 2500000;
    uint32_t bytesReceived_ = 0;
    uint32_t bytesAcked_ = 0;
    int streamId_ = 0;
    std::string error_;
    std::vector<uint8_t> outBuffer_;
};

// The best text of an onStatus or _error reply.
std::string statusDescription(const std::vector<AmfValue>& values);
