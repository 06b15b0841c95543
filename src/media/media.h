// The media engine's interfaces and the records that cross its component boundaries.
// Portable: no Windows header is included here. The one GPU type that appears, the shader
// view a source or compositor hands out, is only forward-declared, so in the native build it is
// an opaque pointer and in the Windows build it is the Direct3D 11 interface itself.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

struct ID3D11ShaderResourceView;
struct Layer;
struct Scene;

// How the compositor samples a source's view.
enum FrameMode : int32_t {
    FrameSolid = 0,     // solid colour, no texture (colour layers)
    FrameStraight = 1,  // texture with its own straight (not premultiplied) alpha
    FrameOpaque = 2,    // opaque texture, alpha taken as 1
    FrameMask = 3,      // red channel times the layer colour's alpha, tinted with the layer colour
};

// What a source hands the compositor and the panels. The view is not owned: the source keeps
// it alive until its next update or its destruction.
struct SourceFrame {
    ID3D11ShaderResourceView* view = nullptr;
    int32_t mode = FrameSolid;
    int32_t width = 0;
    int32_t height = 0;
    std::string status;  // error or waiting text; empty when fine
};

// The recording container handed to the recorder factory. Any value other than Mkv means MP4.
enum class Container : int32_t {
    Mp4 = 0,
    Mkv = 1,
};

// One compressed unit from an encoder: an H.264 access unit in start-code form with the
// parameter sets in band, or one raw AAC frame without headers. Every AAC packet is a key frame.
struct EncodedPacket {
    std::vector<uint8_t> data;
    int64_t time = 0;  // 100-ns units
    bool keyframe = false;
};

// One active capture endpoint.
struct AudioDevice {
    std::string id;    // endpoint identifier (UTF-8)
    std::string name;  // friendly name; the identifier when the endpoint has none
};

// Settings of IVideoPacketEncoder::open. The key-frame interval is fps * keyframeSeconds frames.
struct VideoEncoderSettings {
    int32_t width = 0;
    int32_t height = 0;
    int32_t fps = 30;
    int32_t bitrate = 0;  // bits per second, constant bit rate
    int32_t preset = 1;   // 0 quality, 1 balanced, 2 efficiency; anything else counts as 1
    int32_t keyframeSeconds = 2;
};

// Settings of IRecorder::open.
struct RecordingSettings {
    int32_t width = 0;
    int32_t height = 0;
    int32_t fps = 30;
    int32_t videoBitrate = 0;         // bits per second
    int32_t sampleRate = 0;           // 0 = no audio track; otherwise 44100 or 48000
    int32_t audioBytesPerSecond = 0;  // AAC average bytes per second
    int32_t preset = 1;
    bool fragmented = true;  // fragmented MP4 ("Safe MP4")
};

// Settings of IAudioInput::start.
struct AudioInputSettings {
    std::string deviceId;  // empty = the default endpoint
    bool loopback = false;
    bool voiceProcessing = false;
};

// One H.264 access unit from the phone, in start-code form.
struct PhonePacket {
    std::vector<uint8_t> data;
    bool keyframe = false;
    int32_t rotation = 0;  // 0..3 quarter turns
};

// The phone-camera queue, shared by the UDP service (producer) and the phone camera's decoding
// thread (consumer).
struct PhoneFeed {
    std::atomic<bool> keyRequested{false};
    std::atomic<int64_t> lastPacketMs{0};  // steady-clock ms of the last video datagram
    std::mutex lock;
    std::condition_variable ready;
    std::deque<PhonePacket> queue;
    bool dropUntilKeyframe = true;

    // A consumer that fell 30 packets behind loses the queue and waits for the next key frame.
    void push(PhonePacket&& packet);
    // Waits up to timeoutMs for a packet; false when none came.
    bool pop(PhonePacket& out, int timeoutMs);
};

class ISource {
public:
    virtual ~ISource() = default;
    virtual void update() = 0;
    virtual SourceFrame frame() = 0;
    virtual void setRemoveBackground(bool on) { (void)on; }
};

class ISourceCache {
public:
    virtual ~ISourceCache() = default;
    virtual SourceFrame frameFor(const Layer& layer) = 0;
    virtual void endFrame() = 0;
    virtual void clear() = 0;
    virtual std::vector<std::string> listCameras() = 0;
    virtual std::vector<std::string> listDisplays() = 0;
    virtual std::vector<std::string> listWindows() = 0;
};

class ICompositor {
public:
    virtual ~ICompositor() = default;
    virtual bool init() = 0;
    virtual bool resize(int width, int height) = 0;
    virtual void render(const Scene& scene, ISourceCache& sources, float designWidth,
                        float designHeight) = 0;
    virtual void snapshot() = 0;
    virtual void setFade(float fade) = 0;
    virtual ID3D11ShaderResourceView* canvasView() = 0;
    // Top-down BGRA rows, valid until unmapPixels; null on failure.
    virtual const uint8_t* mapPixels(int* rowPitch) = 0;
    virtual void unmapPixels() = 0;
};

// Pixel buffers below are 32-bit BGRA rows of `stride` bytes; the frame number counts frames from
// the start of the file or stream and sets the time frameNumber * 10 000 000 / fps (100-ns units).

class IRecorder {
public:
    virtual ~IRecorder() = default;
    virtual bool open(const std::wstring& path, const RecordingSettings& settings) = 0;
    virtual void writeVideo(const uint8_t* bgra, int stride, int64_t frameNumber) = 0;
    // Interleaved 16-bit stereo; frames counts sample pairs.
    virtual void writeAudio(const int16_t* samples, uint64_t frames) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Non-empty only for a condition that ends the recording's usefulness; the recording session
    // stops on any text here.
    virtual std::string lastError() const = 0;
    virtual bool supportsSampleRate(int rate) const = 0;
    virtual std::string encoderName() const = 0;
};

class IAudioInput {
public:
    virtual ~IAudioInput() = default;
    virtual void start(const AudioInputSettings& settings) = 0;
    virtual void stop() = 0;
    virtual float level() const = 0;  // 0..1
    virtual bool isMuted() const = 0;
    virtual void setMuted(bool muted) = 0;
    virtual int sampleRate() const = 0;  // 0 until capturing, then 48000
    virtual std::string status() const = 0;
    virtual std::string activeEffects() const = 0;
    // The same texts assigned into the caller's strings, which keep their storage: the
    // settings window reads them every frame.
    virtual void copyStatus(std::string& out) const { out = status(); }
    virtual void copyActiveEffects(std::string& out) const { out = activeEffects(); }
    virtual void setCollecting(bool on) = 0;
    virtual void takeSamples(std::vector<int16_t>& samples) = 0;
};

class IVirtualCamera {
public:
    virtual ~IVirtualCamera() = default;
    virtual bool start() = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
    virtual void pushFrame(const uint8_t* bgra, int stride, int width, int height) = 0;
    virtual std::string lastError() const = 0;
};

class IVideoPacketEncoder {
public:
    virtual ~IVideoPacketEncoder() = default;
    virtual bool open(const VideoEncoderSettings& settings) = 0;
    // Appends every packet finished since the last call to `out` (a frame's packet usually comes
    // out at a later call).
    virtual void encode(const uint8_t* bgra, int stride, int64_t frameNumber,
                        std::vector<EncodedPacket>& out) = 0;
    virtual void close() = 0;
    virtual std::string lastError() const = 0;
    virtual std::string name() const = 0;
    // The parameter sets (SPS and PPS, start-code form) the encoder announced out of band, for a
    // writer whose first key frame came without them; empty when the encoder has none.
    virtual std::vector<uint8_t> sequenceHeader() const { return {}; }
};

class IAudioPacketEncoder {
public:
    virtual ~IAudioPacketEncoder() = default;
    virtual bool open(int sampleRate, int bytesPerSecond) = 0;
    // Interleaved 16-bit stereo; appends whole raw AAC frames to `out`.
    virtual void encode(const int16_t* samples, uint64_t frames,
                        std::vector<EncodedPacket>& out) = 0;
    virtual void close() = 0;
    virtual std::string lastError() const = 0;
};
