// What a client can make the control server hold for the main thread: 256
// text frames of 1 MiB, each an object of short unique keys, sent as fast as
// the server reads them; then the heap that the taken messages hold and the
// main thread's time to destroy them. Four-letter keys cost the most per byte;
// eight-letter keys are the costliest that the flat reader still accepts.
//
// remote_queue_bench
//
// Figures mean something only from a build without the sanitisers:
//   cmake -G Ninja -S . -B build/bench -DQH_SANITIZE=OFF -DCMAKE_BUILD_TYPE=Release
//   cmake --build build/bench --target remote_queue_bench && build/bench/bench/remote/remote_queue_bench

#include <chrono>
#include <cstdio>
#include <vector>

#include "remote/ws_client.h"
#include "util/heap_bytes.h"
#include "util/json_shapes.h"

namespace {

constexpr std::size_t kMessageBytes = 1 << 20;
const std::string kToken = "benchtoken";
// Reading 256 costly messages takes the server seconds.
constexpr int kAnswerWaitMs = 120000;

bool fillQueue(RemoteServer& server, int port, std::size_t letters) {
    WsClient client(port);
    if (!client.open("/?token=" + kToken)) return false;
    const std::string frame = clientFrame(kOpText, shortKeyObject(kMessageBytes, letters));
    for (std::size_t i = 0; i < RemoteServer::kMaxMessages; ++i) client.send(frame);
    // A client's frames are handled in order: the pong means every frame
    // before it was queued or refused. Replies to refused ones come first.
    client.send(clientFrame(kOpPing, "last"));
    std::string payload;
    uint32_t opcode = 0;
    while (client.readFrame(payload, opcode, kAnswerWaitMs))
        if (opcode == kOpPong) break;
    if (opcode != kOpPong) return false;

    auto* taken = new std::vector<RemoteMessage>(server.takeMessages());
    const std::size_t queued = taken->size();
    const std::size_t before = liveHeapBytes();
    const auto start = std::chrono::steady_clock::now();
    delete taken;
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const std::size_t held = before - liveHeapBytes();
    std::printf("%zu-letter keys: %3zu of %zu messages of %zu bytes queued, %11zu heap bytes; destroyed in %7.1f ms "
                "(%.2f ms each)\n",
                letters, queued, RemoteServer::kMaxMessages, kMessageBytes, held, ms,
                queued ? ms / double(queued) : 0.0);
    return true;
}

}  // namespace

int main() {
    RemoteServer server;
    const int port = startOnFreePort(server, kToken);
    for (const std::size_t letters : {4, 8}) {
        if (!port || !fillQueue(server, port, letters)) {
            std::printf("the server did not answer\n");
            return 1;
        }
    }
    return 0;
}
