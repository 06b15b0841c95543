#include "remote/remote_fuzz.h"

#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "remote/phone_video.h"
#include "remote/websocket.h"
#include "remote/ws_client.h"

namespace {

using Rng = std::mt19937_64;

size_t pick(Rng& rng, size_t n) { return n ? size_t(rng() % n) : 0; }

// Flips, inserts, deletes and duplicates a few bytes.
void mutate(Rng& rng, std::string& s) {
    const int edits = 1 + int(pick(rng, 6));
    for (int e = 0; e < edits; ++e) {
        switch (pick(rng, 5)) {
        case 0:
            if (!s.empty()) s[pick(rng, s.size())] ^= char(1 << pick(rng, 8));
            break;
        case 1:
            s.insert(s.begin() + std::ptrdiff_t(pick(rng, s.size() + 1)), char(rng()));
            break;
        case 2:
            if (!s.empty()) s.erase(pick(rng, s.size()), 1 + pick(rng, 8));
            break;
        case 3:
            if (!s.empty()) {
                const size_t at = pick(rng, s.size());
                s.insert(at, s.substr(at, 1 + pick(rng, 16)));
            }
            break;
        default:
            if (!s.empty()) s[pick(rng, s.size())] = char(pick(rng, 2) ? 0xFF : 0x00);
            break;
        }
    }
}

std::string randomBytes(Rng& rng, size_t max) {
    std::string s(pick(rng, max + 1), '\0');
    for (char& c : s) c = char(rng());
    return s;
}

const uint8_t* bytesOf(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// Returns a failure text, empty when the frame parser behaved.
std::string checkFrame(Rng& rng, std::string input, uint64_t& accepted) {
    WebSocketFrame frame;
    const int n = websocketParseFrame(bytesOf(input), input.size(), frame);
    if (n < -1 || n > int(input.size())) return "result out of range";
    if (n <= 0) return "";
    ++accepted;
    if (frame.opcode > 15) return "opcode above 15";
    if (frame.payload.size() > kMaxClientPayload) return "payload above the limit";
    if (size_t(n) < frame.payload.size() + 6) return "frame shorter than its payload";
    // Every proper prefix of a whole frame asks for more bytes.
    for (int k = 0; k < 4; ++k) {
        const size_t cut = pick(rng, size_t(n));
        WebSocketFrame part;
        if (websocketParseFrame(bytesOf(input), cut, part) != 0) return "a prefix did not ask for more";
    }
    // The frame re-made with the same mask parses to the same payload.
    const std::string again = clientFrame(frame.opcode, frame.payload);
    WebSocketFrame second;
    if (websocketParseFrame(bytesOf(again), again.size(), second) != int(again.size()) ||
        second.payload != frame.payload)
        return "re-made frame differs";
    return "";
}

std::string frameInput(Rng& rng) {
    if (pick(rng, 4) == 0) return randomBytes(rng, 64);
    static const size_t kSizes[] = {0, 1, 125, 126, 127, 65535, 65536, 70000};
    std::string payload(pick(rng, 2) ? kSizes[pick(rng, 8)] : pick(rng, 300), 'a');
    for (char& c : payload) c = char(rng());
    std::string s = clientFrame(uint32_t(pick(rng, 16)), payload, pick(rng, 2));
    if (pick(rng, 3) == 0) s += clientFrame(kOpText, "tail");
    if (pick(rng, 2)) mutate(rng, s);
    if (pick(rng, 8) == 0) s = clientFrameHeader(kOpText, rng()) + randomBytes(rng, 32);
    return s;
}

std::string checkUpgrade(Rng& rng, const std::string& input, uint64_t& accepted) {
    UpgradeRequest request;
    if (parseUpgradeRequest(input, request)) {
        ++accepted;
        if (request.key.empty()) return "accepted without a key";
        const size_t first = input.find_first_not_of(" \t\r\v\f");
        const bool get = first != std::string::npos && input.compare(first, 3, "GET") == 0 &&
                         (first + 3 == input.size() || std::strchr(" \t\r\v\f\n", input[first + 3]));
        if (!get) return "accepted without GET";
    }
    if (request.path.size() > input.size() || request.key.size() > input.size()) return "field longer than input";
    for (const char* name : {"token", "pair", ""}) {
        const std::string value = queryParam(request.path, name);
        if (value.size() > request.path.size() || request.path.find(value) == std::string::npos)
            return "query value not inside the path";
    }
    const std::string trimmed = trimSpaces(input.substr(0, pick(rng, input.size() + 1)));
    if (!trimmed.empty() && (trimmed.front() == ' ' || trimmed.back() == '\r')) return "trim left blanks";
    return "";
}

std::string upgradeInput(Rng& rng) {
    if (pick(rng, 5) == 0) return randomBytes(rng, 300);
    std::string s = "GET /?token=0123&pair=42 HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\n"
                    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nOrigin: o\r\n\r\n";
    const int rounds = 1 + int(pick(rng, 4));
    for (int i = 0; i < rounds; ++i) mutate(rng, s);
    return s;
}

std::string datagramInput(Rng& rng, uint32_t session) {
    std::string d = "QH";
    d += char(pick(rng, 16) ? 1 : rng());
    d += char(rng());
    const uint32_t frame = pick(rng, 16) ? uint32_t(pick(rng, 40)) : uint32_t(rng());
    const uint16_t count = uint16_t(pick(rng, 8) ? 1 + pick(rng, 4) : rng());
    const uint16_t index = uint16_t(pick(rng, 8) ? pick(rng, count + 1u) : rng());
    for (uint32_t v : {pick(rng, 16) ? session : uint32_t(rng()), frame})
        for (int i = 3; i >= 0; --i) d += char(v >> (8 * i));
    for (uint16_t v : {index, count}) {
        d += char(v >> 8);
        d += char(v);
    }
    d += randomBytes(rng, pick(rng, 10) ? 40 : 1300);
    if (pick(rng, 6) == 0) mutate(rng, d);
    return d;
}

std::string checkDatagram(PhoneVideoAssembler& assembler, const std::string& input, uint64_t& accepted) {
    PhoneVideoPacket packet;
    if (!parsePhoneVideoPacket(bytesOf(input), input.size(), packet)) return "";
    ++accepted;
    if (packet.payloadSize + kPhoneVideoHeaderSize != input.size() || packet.payloadSize > kPhoneVideoMaxPayload)
        return "payload size does not match the datagram";
    if (packet.fragmentIndex >= packet.fragmentCount || packet.rotation < 0 || packet.rotation > 3)
        return "field out of range";
    std::vector<uint8_t> frame;
    bool keyframe = false;
    const bool delivered = assembler.addFragment(packet, frame, keyframe);
    if (assembler.pending.size() > kPhoneVideoMaxPending + 1) return "too many pending frames";
    if (delivered && assembler.waitForKeyframe) return "delivered while waiting for a key frame";
    if (delivered && frame.size() > size_t(kPhoneVideoMaxFragments) * kPhoneVideoMaxPayload)
        return "frame larger than its fragments";
    return "";
}

}  // namespace

const char* remoteFuzzName(RemoteFuzzTarget target) {
    switch (target) {
    case RemoteFuzzTarget::Frame: return "frame";
    case RemoteFuzzTarget::Upgrade: return "upgrade";
    default: return "datagram";
    }
}

RemoteFuzzResult runRemoteFuzz(RemoteFuzzTarget target, uint64_t seed, uint64_t count, double seconds) {
    RemoteFuzzResult r;
    Rng rng(seed);
    const uint32_t session = uint32_t(rng()) | 1;
    PhoneVideoAssembler assembler(session);
    const auto start = std::chrono::steady_clock::now();
    for (; r.inputs < count; ++r.inputs) {
        if ((r.inputs & 255) == 0 && seconds > 0 &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > seconds)
            break;
        std::string input;
        std::string failure;
        switch (target) {
        case RemoteFuzzTarget::Frame:
            input = frameInput(rng);
            failure = checkFrame(rng, input, r.accepted);
            break;
        case RemoteFuzzTarget::Upgrade:
            input = upgradeInput(rng);
            failure = checkUpgrade(rng, input, r.accepted);
            break;
        case RemoteFuzzTarget::Datagram:
            input = datagramInput(rng, session);
            failure = checkDatagram(assembler, input, r.accepted);
            break;
        }
        if (!failure.empty()) {
            r.failure = failure;
            r.failingInput = input;
            break;
        }
    }
    return r;
}
