// The thin seam between the encoders' logic and Media Foundation. The logic (queues, worker
// thread, drop rule, stream changes, error texts) is portable and runs against fakes in tests;
// the system side (mf_system_win32.cpp) wraps the real transforms and the sink writer.
#pragma once

#include "media/media.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mf {

// Result codes are the platform's HRESULT values, carried as int32_t.
constexpr int32_t kOk = 0;
constexpr int32_t kNotAccepting = static_cast<int32_t>(0xC00D36B5);
constexpr int32_t kNeedMoreInput = static_cast<int32_t>(0xC00D6D72);
constexpr int32_t kStreamChange = static_cast<int32_t>(0xC00D6D61);
constexpr int32_t kOutOfMemory = static_cast<int32_t>(0x8007000E);
constexpr int32_t kClassNotRegistered = static_cast<int32_t>(0x80040154);
constexpr int32_t kNotImplemented = static_cast<int32_t>(0x80004001);

// Event types of an asynchronous transform.
constexpr uint32_t kNeedInputEvent = 601;
constexpr uint32_t kHaveOutputEvent = 602;

// Enumeration flags of the two search passes: hardware, then synchronous software; both sorted
// and filtered.
constexpr uint32_t kHardwarePass = 0x44;
constexpr uint32_t kSoftwarePass = 0x41;
constexpr uint32_t kHardwareFlag = 0x04;

inline bool failed(int32_t hr) { return hr < 0; }

// "text (0x%08X)".
std::string withCode(const std::string& text, int32_t hr);

// Key-frame interval in frames and the quality-versus-speed value for a preset.
uint32_t gopSize(const VideoEncoderSettings& s);
uint32_t qualityVsSpeed(int preset);

struct TransformSample {
    std::vector<uint8_t> bytes;
    int64_t time = 0;      // 100-ns units
    int64_t duration = 0;  // 100-ns units
    bool cleanPoint = false;
};

// Input in the form a transform takes it (a Media Foundation sample on Windows). Frames are
// converted straight into it: a 1080p frame is 3 MB, and a copy on the way costs the frame loop.
class IInputSample {
public:
    virtual ~IInputSample() = default;
};

// Makes an input sample of `size` bytes, starting on an `alignment`-byte boundary (0: any), that
// `fill` writes where they lie; null when memory runs out. Touches no transform, so any thread
// may call it.
using MakeInputSample = std::function<std::unique_ptr<IInputSample>(
    size_t size, uint32_t alignment, const std::function<void(uint8_t*)>& fill, int64_t time, int64_t duration)>;

// Plain memory, for systems without Media Foundation and for test transforms.
struct MemorySample : IInputSample {
    TransformSample sample;
};
MakeInputSample memorySamples();

// One activated encoder transform.
class IEncoderTransform {
public:
    virtual ~IEncoderTransform() = default;  // releases the transform and its event generator
    virtual bool isAsync() const = 0;
    // Video only: codec values, stream identifiers, output then input type, stream information,
    // begin-streaming and start-of-stream. False when the transform refuses.
    virtual bool configure(const VideoEncoderSettings& settings) = 0;
    // Asynchronous transforms: blocks until the next event and gives its type.
    virtual int32_t nextEvent(uint32_t& type) = 0;
    // The byte alignment its input buffers need (0: none), known once the types are set.
    virtual uint32_t inputAlignment() const = 0;
    // `sample` comes from the MakeInputSample paired with this transform.
    virtual int32_t processInput(IInputSample& sample) = 0;
    // One ProcessOutput; fills `out` on success.
    virtual int32_t processOutput(TransformSample& out) = 0;
    // After a stream change: the first available output type is set and the stream information
    // read again.
    virtual int32_t renegotiateOutput() = 0;
    virtual void endStreaming() = 0;
    // Shuts the transform down where it offers that (unblocks a waiting nextEvent).
    virtual void shutdown() = 0;
    // The parameter sets the transform announces on its current output type (start-code form).
    virtual std::vector<uint8_t> sequenceHeader() const { return {}; }
};

// One candidate of an enumeration pass; destroying it releases the activation object.
class ITransformActivation {
public:
    virtual ~ITransformActivation() = default;
    // Null when the transform cannot be activated. `friendlyName` receives its name (UTF-8) or
    // stays empty.
    virtual std::unique_ptr<IEncoderTransform> activate(std::string& friendlyName) = 0;
    // Shuts the activation object down after a transform from it was refused.
    virtual void shutdownObject() = 0;
};

// One H.264 encoder search pass with the given enumeration flags, in the order returned.
using EnumerateVideoEncoders = std::function<std::vector<std::unique_ptr<ITransformActivation>>(uint32_t flags)>;

// Creates and sets up the AAC encoder transform (stream 0: PCM in, raw AAC out, begin-streaming
// sent); null with the failing code in `result` when that is not possible.
using CreateAacTransform =
    std::function<std::unique_ptr<IEncoderTransform>(int sampleRate, int bytesPerSecond, int32_t& result)>;

// One MP4 sink writer. Destroying it releases the writer without finalising it.
class IMp4Sink {
public:
    virtual ~IMp4Sink() = default;
    virtual int32_t addVideoStream(const RecordingSettings& s, uint32_t& index) = 0;
    virtual int32_t setVideoInput(uint32_t index, const RecordingSettings& s, uint32_t qualityVsSpeed) = 0;
    virtual int32_t addAudioStream(const RecordingSettings& s, uint32_t& index) = 0;
    virtual int32_t setAudioInput(uint32_t index, const RecordingSettings& s) = 0;
    virtual int32_t beginWriting() = 0;
    // Friendly name of the video encoder the writer chose for the stream; empty when none says.
    virtual std::string videoEncoderName(uint32_t index) = 0;
    // A memory buffer of `size` bytes that `fill` writes, as one sample of the stream.
    virtual int32_t writeSample(uint32_t index, size_t size, const std::function<void(uint8_t*)>& fill,
                                int64_t time, int64_t duration) = 0;
    virtual int32_t finalize() = 0;
};

// Creates a sink writer for the path; `fragmented` selects fragmented MP4.
using CreateMp4Sink =
    std::function<std::unique_ptr<IMp4Sink>(const std::wstring& path, bool fragmented, int32_t& result)>;

// The system's implementations (Media Foundation on Windows; elsewhere there are no encoders).
EnumerateVideoEncoders systemVideoEncoders();
MakeInputSample systemInputSamples();
CreateAacTransform systemAacTransform();
CreateMp4Sink systemMp4Sink();
// Whether QUILLHAVEN_SOFTWARE_ENCODER exists in the environment (any value, empty included).
bool softwareEncoderForced();

// COM in the multithreaded apartment for the lifetime of the object (an encoder worker thread).
class ComApartment {
public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool entered = false;
};

// Pulls outputs until the transform needs more input, renegotiating the output type on a stream
// change and calling `onNewType` after it. An asynchronous transform (`async`) is pulled once per
// have-output event; after a stream change it announces the next output with a new event and
// answers E_UNEXPECTED until then, so the pull ends there. Returns kOk, or the failing code.
int32_t pullOutputs(IEncoderTransform& t, bool async, const std::function<void(TransformSample&)>& onOutput,
                    const std::function<void()>& onNewType = {});

}  // namespace mf
