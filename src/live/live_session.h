// The studio's live runtime: one LiveOutput per enabled destination, fed once per tick.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "live/live_output.h"
#include "live/live_sender.h"
#include "media/media.h"
#include "project/project.h"

struct MediaKit;

// How long a stop lets the outputs say goodbye to their servers (unpublish, delete
// the stream, end the connection) before it cuts off those that have not finished.
inline constexpr std::chrono::milliseconds kStopGoodbye{250};

// What the live session reaches of the media engine and the platform. The studio
// builds it from its media kit; tests hand in fakes.
struct LiveMediaAccess {
    std::function<std::unique_ptr<IVideoPacketEncoder>()> makeVideoEncoder;
    std::function<std::unique_ptr<IAudioPacketEncoder>()> makeAudioEncoder;
    std::function<ICompositor*(int canvas)> compositor;
    PublisherFactory makePublisher = makeRtmpPublisher;
    LiveClock* clock = &steadyLiveClock();
    ThreadStarter threadStarter = startThread;
};

// Reads the kit's factories and compositors at the moment they are used, so the kit
// may be filled in after the session is built.
LiveMediaAccess liveMediaAccessFromKit(MediaKit* kit);

// Empty when the destination can be streamed to with this key, else the message.
std::string validateDestination(const Destination& destination, const std::string& streamKey);

class LiveSession {
public:
    using KeyLookup = std::function<std::string(const Destination&)>;

    explicit LiveSession(MediaKit* kit);
    explicit LiveSession(LiveMediaAccess access);
    ~LiveSession();
    LiveSession(const LiveSession&) = delete;
    LiveSession& operator=(const LiveSession&) = delete;

    // Empty on success (or when already live), else the message; on failure nothing runs.
    std::string start(const Project& project, const KeyLookup& keyLookup);
    // Stops every output of this destination identifier; an empty one stops all.
    // Returns within kStopGoodbye and a moment, whatever the network does.
    void stop(const std::string& destinationId);
    void stopAll();
    std::vector<DestinationStatus> statuses();
    // The same into rows kept by the caller, whose text storage is reused.
    void statuses(std::vector<DestinationStatus>& rows);
    std::string statusText() const;
    int liveCount() const;
    bool isLive() const { return !outputs.empty(); }
    // Once per tick, after both canvases were rendered: video that fell due and the
    // tick's mixed 48 kHz stereo samples.
    void pushMedia(const Project& project, const std::vector<int16_t>& samples);

    LiveMediaAccess kit;
    std::vector<std::unique_ptr<LiveOutput>> outputs;
    int64_t startTime = 0;  // steady ns, the pacing origin
};
