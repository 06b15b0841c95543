#include "live/live_session.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <utility>

#include "media/packaging.h"

namespace {

const char* const kEllipsis = "\xE2\x80\xA6";

int canvasIndex(const Destination& destination) {
    return destination.canvas == 1 ? 1 : 0;
}

int bitsPerSecond(int kbps) {
    const int64_t bits = static_cast<int64_t>(kbps) * 1000;
    return static_cast<int>(std::clamp<int64_t>(bits, 0, INT_MAX));
}

}  // namespace

std::string validateDestination(const Destination& destination, const std::string& streamKey) {
    RtmpEndpoint endpoint;
    std::string message;
    if (!parseRtmpUrl(destination.serverUrl, endpoint, message)) return destination.name + ": " + message;
    if (streamKey.empty()) return destination.name + ": add the stream key in Settings > Destinations";
    return "";
}

LiveSession::LiveSession(LiveMediaAccess access) : kit(std::move(access)) {
    if (!kit.clock) kit.clock = &steadyLiveClock();
    if (!kit.makePublisher) kit.makePublisher = makeRtmpPublisher;
    if (!kit.threadStarter) kit.threadStarter = startThread;
}

LiveSession::~LiveSession() {
    stop("");
}

std::string LiveSession::start(const Project& project, const KeyLookup& keyLookup) {
    if (!outputs.empty()) return "";
    std::vector<std::unique_ptr<LiveOutput>> list;
    for (const Destination& destination : project.destinations) {
        if (!destination.streamHere) continue;
        auto output = std::make_unique<LiveOutput>();
        output->destination = destination;
        output->streamKey = keyLookup ? keyLookup(destination) : std::string();
        std::string message = validateDestination(destination, output->streamKey);
        if (!message.empty()) return message;

        parseRtmpUrl(destination.serverUrl, output->endpoint, message);
        const CanvasSettings& canvas = project.canvases[canvasIndex(destination)];
        // Frame pacing and the encoder's time stamps divide by the frame rate.
        if (canvas.fps <= 0) return destination.name + ": the canvas frame rate must be above 0";
        fitShortSide(canvas.width, canvas.height, destination.heightLimit, output->outWidth, output->outHeight);
        output->media = StreamMetadata{output->outWidth, output->outHeight, canvas.fps,
                                       destination.bitrateKbps, kLiveSampleRate, kLiveAudioKbps};

        output->videoEncoder = kit.makeVideoEncoder ? kit.makeVideoEncoder() : nullptr;
        if (!output->videoEncoder) return destination.name + ": no video encoder is available";
        VideoEncoderSettings settings;
        settings.width = output->outWidth;
        settings.height = output->outHeight;
        settings.fps = canvas.fps;
        settings.bitrate = bitsPerSecond(destination.bitrateKbps);
        settings.preset = project.encoderPreset;
        settings.keyframeSeconds = 2;
        if (!output->videoEncoder->open(settings)) {
            return destination.name + ": " + output->videoEncoder->lastError();
        }
        output->audioEncoder = kit.makeAudioEncoder ? kit.makeAudioEncoder() : nullptr;
        if (!output->audioEncoder) return destination.name + ": no audio encoder is available";
        if (!output->audioEncoder->open(kLiveSampleRate, kLiveAudioKbps * 1000 / 8)) {
            return destination.name + ": " + output->audioEncoder->lastError();
        }
        output->clock = kit.clock;
        output->makePublisher = kit.makePublisher;
        output->threadStarter = kit.threadStarter;
        list.push_back(std::move(output));
    }
    if (list.empty()) return "Add a destination in Settings > Destinations";

    for (auto& output : list) {
        std::string message = output->startThread();
        if (message.empty()) continue;
        // Those already started are stopped and destroyed with the list.
        return message;
    }
    outputs = std::move(list);
    startTime = kit.clock->now();
    return "";
}

void LiveSession::stop(const std::string& destinationId) {
    auto matches = [&](const std::unique_ptr<LiveOutput>& output) {
        return destinationId.empty() || output->destination.id == destinationId;
    };
    // Every matching sender is told first, so that their goodbyes run side by side,
    // and they share one allowance counted from here: the caller is the window's thread.
    for (auto& output : outputs) {
        if (matches(output)) output->requestStop();
    }
    const auto deadline = std::chrono::steady_clock::now() + kStopGoodbye;
    for (auto& output : outputs) {
        if (matches(output)) output->awaitSender(deadline);
    }
    for (auto& output : outputs) {
        if (matches(output)) output->finishStop();
    }
    outputs.erase(std::remove_if(outputs.begin(), outputs.end(), matches), outputs.end());
}

void LiveSession::stopAll() {
    stop("");
}

std::vector<DestinationStatus> LiveSession::statuses() {
    std::vector<DestinationStatus> rows;
    statuses(rows);
    return rows;
}

void LiveSession::statuses(std::vector<DestinationStatus>& rows) {
    rows.resize(outputs.size());
    for (size_t i = 0; i < outputs.size(); ++i) outputs[i]->status(rows[i]);
}

int LiveSession::liveCount() const {
    int count = 0;
    for (const auto& output : outputs) {
        if (output->state.load() == LiveLive) ++count;
    }
    return count;
}

std::string LiveSession::statusText() const {
    const int total = static_cast<int>(outputs.size());
    const int live = liveCount();
    if (live == total) return total == 1 ? "Live" : "Live on all " + std::to_string(total);
    if (live == 0) {
        const bool reconnecting = std::any_of(outputs.begin(), outputs.end(), [](const auto& output) {
            return output->state.load() == LiveReconnecting;
        });
        return std::string(reconnecting ? "Reconnecting" : "Connecting") + kEllipsis;
    }
    return "Live on " + std::to_string(live) + " of " + std::to_string(total);
}

void LiveSession::pushMedia(const Project& project, const std::vector<int16_t>& samples) {
    if (outputs.empty()) return;
    const double elapsedSeconds = static_cast<double>(kit.clock->now() - startTime) / 1e9;

    for (int canvasNo = 0; canvasNo < 2; ++canvasNo) {
        const CanvasSettings& canvas = project.canvases[canvasNo];
        ICompositor* compositor = nullptr;
        const uint8_t* pixels = nullptr;
        int pitch = 0;
        bool readBack = false;  // one read-back per canvas and tick, shared by its outputs
        for (auto& output : outputs) {
            if (canvasIndex(output->destination) != canvasNo) continue;
            // The output's own rate, fixed when its encoder was opened.
            const int64_t due = static_cast<int64_t>(elapsedSeconds * output->media.fps);
            if (due < output->framesSent) continue;
            if (!readBack) {
                readBack = true;
                compositor = kit.compositor ? kit.compositor(canvasNo) : nullptr;
                pixels = compositor ? compositor->mapPixels(&pitch) : nullptr;
            }
            if (!pixels) break;
            if (output->outWidth == canvas.width && output->outHeight == canvas.height) {
                output->encodeVideo(pixels, pitch, due);
            } else {
                output->scaled.resize(static_cast<size_t>(output->outWidth) * output->outHeight * 4);
                scaleBgraBilinear(pixels, pitch, canvas.width, canvas.height, output->scaled.data(),
                                  output->outWidth, output->outHeight);
                output->encodeVideo(output->scaled.data(), output->outWidth * 4, due);
            }
            output->framesSent = due + 1;
        }
        if (pixels) compositor->unmapPixels();
    }

    if (samples.empty()) return;
    for (auto& output : outputs) output->encodeAudio(samples.data(), samples.size() / 2);
}
