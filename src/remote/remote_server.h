#pragma once
// The WebSocket control server held by the Studio. An accept thread takes at
// most eight clients; each gets a thread that reads its upgrade request and
// frames, and a writer that drains a bounded queue, so the main thread's pushes
// never wait on the network: a client whose queue overflows is dropped. A
// flusher thread wakes the writers after each tick's pushes, so the main
// thread pays for one wake-up instead of one per client.
// Requests with an "op" are queued for the main thread (at most 256, and at
// most 4 MiB of their text).

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "net/byte_stream.h"
#include "remote/thread_starter.h"

struct RemoteMessage {
    int32_t connectionKey = 0;
    std::map<std::string, std::string> fields;  // always holds a non-empty "op"

    // The member's value, "" when absent.
    const std::string& field(const std::string& name) const;
};

class RemoteConnection {
public:
    RemoteConnection(int32_t key, std::unique_ptr<ByteStream> stream);

    // Queues bytes for the writer; false (and nothing queued) once closed.
    // A queue past its limit closes the connection. Without `wakeNow` the
    // bytes wait for the next flush.
    bool send(std::string_view bytes, bool wakeNow = true);
    // Queues one frame, built straight into the queue.
    bool sendFrame(uint32_t opcode, std::string_view payload, bool wakeNow = true);
    // Wakes the writer for frames queued without waking it.
    void flush();
    // Marks the connection closed and fails its pending and later reads and writes.
    void abort();
    // The reader is done: the writer sends what is queued, then shuts the stream.
    void finish();

    const int32_t key;
    const std::unique_ptr<ByteStream> stream;
    std::thread thread;  // RemoteServer::serveConnection
    std::thread writer;  // sends what is queued until the connection closes
    std::atomic<bool> closed{false};
    std::atomic<bool> authorised{false};
    std::atomic<bool> writerDone{false};

private:
    friend class RemoteServer;
    void writeLoop();
    // With `lock` held: drops the client once its queue is past the limit.
    bool checkQueue(bool wakeNow);

    std::mutex lock;
    std::condition_variable wake;
    // The bytes waiting for the writer, which swaps the buffer for its own:
    // a steady flow of frames allocates nothing.
    std::string outbox;
    bool finishing = false;
};

class RemoteServer {
public:
    using Clock = std::function<int64_t()>;  // milliseconds, monotonic

    static constexpr int kMaxConnections = 8;
    static constexpr size_t kMaxMessages = 256;
    // The text behind the queued requests. A request may hold eight times its
    // text (util/json.h); this bounds what one tick's requests can make the
    // main thread hold and free.
    static constexpr size_t kMaxQueuedText = 4u << 20;
    // Bytes waiting for one client before it counts as stuck and is dropped.
    static constexpr size_t kMaxQueuedBytes = 4u << 20;

    // `clock` stands in for the steady clock in tests of the upgrade deadline,
    // `threadStarter` for std::thread in tests of a system out of threads.
    explicit RemoteServer(Clock clock = {}, ThreadStarter threadStarter = startThread);
    ~RemoteServer();
    RemoteServer(const RemoteServer&) = delete;
    RemoteServer& operator=(const RemoteServer&) = delete;

    // Returns "" on success, else the reason it is not running.
    std::string start(int port, bool allowLan, const std::string& token);
    void stop();
    bool isRunning() const { return listener != nullptr; }

    std::vector<RemoteMessage> takeMessages();
    // The next three queue their frames; they go out at the next flush, so a
    // tick's replies and pushes wake each client's writer once.
    void sendTo(int32_t key, const std::string& text);
    void broadcast(const std::string& text);
    // Sends only when the text differs from the last one.
    void setStatus(const std::string& json);
    // Has the flusher wake every writer with frames queued.
    void flush();
    int clientCount() const;
    void setPairingCode(const std::string& code);
    bool pairingActive() const;

private:
    enum class Admission { Refused, ByToken, ByPairing };

    void acceptLoop();
    // False, with the connection closed and nothing left running, when the
    // system gave no thread for it.
    bool startConnection(RemoteConnection& connection);
    void flushLoop();
    void reap(bool all);
    void serveConnection(RemoteConnection& connection);
    Admission upgradeConnection(RemoteConnection& connection);
    void receiveLoop(RemoteConnection& connection);
    void sendToAuthorised(const std::string& text);

    Clock nowMs;
    ThreadStarter starter;
    std::unique_ptr<Listener> listener;
    std::thread acceptThread;
    std::atomic<bool> stopping{false};
    std::thread flushThread;
    std::mutex flushLock;
    std::condition_variable flushWake;
    bool flushDue = false;  // under flushLock
    mutable std::mutex lock;
    std::vector<std::unique_ptr<RemoteConnection>> connections;
    std::vector<RemoteMessage> messages;
    size_t queuedText = 0;  // the text behind `messages`
    std::string token;
    std::string lastStatus;
    std::string pairingCode;
    int32_t wrongCodes = 0;
    int32_t nextKey = 1;
};
