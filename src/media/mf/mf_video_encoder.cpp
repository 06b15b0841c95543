#include "media/mf/mf_video_encoder.h"

#include "media/packaging.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

struct MfVideoEncoder::State {
    std::unique_ptr<mf::IEncoderTransform> transform;
    bool async = false;
    uint32_t inputAlignment = 0;  // read at open: afterwards only the worker touches the transform
    VideoEncoderSettings settings;
    std::string name;
    std::thread worker;
    mutable std::mutex lock;
    std::condition_variable wake;
    std::deque<std::unique_ptr<mf::IInputSample>> queue;
    std::vector<EncodedPacket> ready;
    std::vector<uint8_t> header;
    std::string error;
    bool stopping = false;

    void fail(const std::string& text) {
        std::lock_guard<std::mutex> g(lock);
        error = text;
    }

    // Worker only, after each type negotiation.
    void captureHeader() {
        std::vector<uint8_t> h = transform->sequenceHeader();
        std::lock_guard<std::mutex> g(lock);
        header = std::move(h);
    }

    // Waits for a queued frame; false when the encoder is stopping.
    bool takeFrame(std::unique_ptr<mf::IInputSample>& sample) {
        std::unique_lock<std::mutex> g(lock);
        wake.wait(g, [&] { return stopping || !queue.empty(); });
        if (stopping) return false;
        sample = std::move(queue.front());
        queue.pop_front();
        return true;
    }

    bool drain() {
        const auto onOutput = [&](mf::TransformSample& out) {
            if (out.bytes.empty()) return;
            EncodedPacket p;
            p.data = std::move(out.bytes);
            p.time = out.time;
            p.keyframe = out.cleanPoint;
            std::lock_guard<std::mutex> g(lock);
            ready.push_back(std::move(p));
        };
        const int32_t hr = mf::pullOutputs(*transform, async, onOutput, [&] { captureHeader(); });
        if (mf::failed(hr)) {
            fail(mf::withCode("Video encoder failed", hr));
            return false;
        }
        return true;
    }

    void runSync() {
        std::unique_ptr<mf::IInputSample> sample;
        while (takeFrame(sample)) {
            int32_t hr = transform->processInput(*sample);
            if (hr == mf::kNotAccepting) {
                if (!drain()) return;
                hr = transform->processInput(*sample);
            }
            if (mf::failed(hr)) {
                fail(mf::withCode("Video encoder rejected a frame", hr));
                return;
            }
            if (!drain()) return;
        }
    }

    void runAsync() {
        for (;;) {
            uint32_t type = 0;
            if (mf::failed(transform->nextEvent(type))) return;
            if (type == mf::kNeedInputEvent) {
                std::unique_ptr<mf::IInputSample> sample;
                if (!takeFrame(sample)) return;
                const int32_t hr = transform->processInput(*sample);
                if (mf::failed(hr)) {
                    fail(mf::withCode("Video encoder rejected a frame", hr));
                    return;
                }
            } else if (type == mf::kHaveOutputEvent) {
                if (!drain()) return;
            }
        }
    }
};

MfVideoEncoder::MfVideoEncoder()
    : MfVideoEncoder(System{mf::systemVideoEncoders(), mf::softwareEncoderForced, mf::systemInputSamples()}) {}

MfVideoEncoder::MfVideoEncoder(System sys) : system(std::move(sys)), s(std::make_unique<State>()) {}

MfVideoEncoder::~MfVideoEncoder() { close(); }

bool MfVideoEncoder::open(const VideoEncoderSettings& settings) {
    close();
    {
        std::lock_guard<std::mutex> g(s->lock);
        s->error.clear();
        s->header.clear();
        s->stopping = false;
    }
    s->settings = settings;
    const std::string size = std::to_string(settings.width) + "x" + std::to_string(settings.height);
    if (settings.fps <= 0) {
        s->fail("Frame rate must be at least 1 (got " + std::to_string(settings.fps) + ")");
        return false;
    }
    if (settings.width > 0 && settings.height > 0 && system.enumerate) {
        const bool softwareOnly = system.softwareOnly && system.softwareOnly();
        for (uint32_t flags : {mf::kHardwarePass, mf::kSoftwarePass}) {
            if (softwareOnly && (flags & mf::kHardwareFlag)) continue;
            auto candidates = system.enumerate(flags);
            for (auto& candidate : candidates) {
                std::string friendly;
                std::unique_ptr<mf::IEncoderTransform> t = candidate->activate(friendly);
                if (!t) continue;
                if (t->configure(settings)) {
                    s->transform = std::move(t);
                    s->name = friendly;
                    break;
                }
                candidate->shutdownObject();
            }
            if (s->transform) break;
        }
    }
    if (!s->transform) {
        s->fail("No H.264 encoder accepted " + size);
        return false;
    }
    if (s->name.empty()) s->name = "Software H.264";
    s->async = s->transform->isAsync();
    s->inputAlignment = s->transform->inputAlignment();
    State* st = s.get();
    s->worker = std::thread([st] {
        mf::ComApartment com;
        st->captureHeader();
        if (st->async) st->runAsync();
        else st->runSync();
    });
    return true;
}

void MfVideoEncoder::encode(const uint8_t* bgra, int stride, int64_t frameNumber, std::vector<EncodedPacket>& out) {
    if (!s->transform) return;
    const VideoEncoderSettings& v = s->settings;
    // Out of memory loses this frame only; the packets already finished still go out.
    std::unique_ptr<mf::IInputSample> sample = system.makeSample(
        static_cast<size_t>(v.width) * v.height * 3 / 2, s->inputAlignment,
        [&](uint8_t* nv12) { bgraToNv12(bgra, stride, v.width, v.height, nv12); }, frameNumber * 10000000 / v.fps,
        10000000 / v.fps);
    std::unique_ptr<mf::IInputSample> dropped;  // released outside the lock
    {
        std::lock_guard<std::mutex> g(s->lock);
        if (sample) s->queue.push_back(std::move(sample));
        // A transform more than a second behind loses its oldest frames.
        if (s->queue.size() > static_cast<size_t>(v.fps)) {
            dropped = std::move(s->queue.front());
            s->queue.pop_front();
        }
        for (auto& p : s->ready) out.push_back(std::move(p));
        s->ready.clear();
    }
    s->wake.notify_one();
}

void MfVideoEncoder::close() {
    if (!s->transform) return;
    {
        std::lock_guard<std::mutex> g(s->lock);
        s->stopping = true;
    }
    s->wake.notify_all();
    if (s->async) s->transform->shutdown();
    if (s->worker.joinable()) s->worker.join();
    s->transform->endStreaming();
    if (!s->async) s->transform->shutdown();
    s->transform.reset();
    std::lock_guard<std::mutex> g(s->lock);
    s->queue.clear();
    s->ready.clear();
    s->header.clear();
}

std::string MfVideoEncoder::lastError() const {
    std::lock_guard<std::mutex> g(s->lock);
    return s->error;
}

std::string MfVideoEncoder::name() const { return s->name; }

std::vector<uint8_t> MfVideoEncoder::sequenceHeader() const {
    std::lock_guard<std::mutex> g(s->lock);
    return s->header;
}

size_t MfVideoEncoder::queuedFrames() const {
    std::lock_guard<std::mutex> g(s->lock);
    return s->queue.size();
}
