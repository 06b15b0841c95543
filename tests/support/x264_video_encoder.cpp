#include "media/packaging.h"
#include "test_encoders.h"

#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <x264.h>
}

namespace {

class X264VideoEncoder : public IVideoPacketEncoder {
public:
    ~X264VideoEncoder() override { close(); }

    bool open(const VideoEncoderSettings& s) override {
        close();
        error.clear();
        settings = s;
        if (s.fps <= 0 || s.width <= 0 || s.height <= 0 || (s.width & 1) || (s.height & 1)) {
            error = "No H.264 encoder accepted " + std::to_string(s.width) + "x" + std::to_string(s.height);
            return false;
        }
        x264_param_t p;
        x264_param_default_preset(&p, "ultrafast", "zerolatency");
        p.i_width = s.width;
        p.i_height = s.height;
        p.i_csp = X264_CSP_NV12;
        p.i_fps_num = static_cast<uint32_t>(s.fps);
        p.i_fps_den = 1;
        p.i_timebase_num = 1;
        p.i_timebase_den = static_cast<uint32_t>(s.fps);
        p.i_keyint_max = s.fps * s.keyframeSeconds;
        p.i_keyint_min = p.i_keyint_max;
        p.i_scenecut_threshold = 0;  // key frames only on the fixed interval
        p.i_bframe = 0;
        p.i_threads = 1;
        p.b_repeat_headers = 1;
        p.b_annexb = 1;
        p.b_aud = 0;
        p.rc.i_rc_method = X264_RC_ABR;
        p.rc.i_bitrate = s.bitrate > 0 ? s.bitrate / 1000 : 2000;
        p.vui.i_colorprim = 1;
        p.vui.i_transfer = 1;
        p.vui.i_colmatrix = 1;
        p.vui.b_fullrange = 0;
        p.i_log_level = X264_LOG_ERROR;
        if (x264_param_apply_profile(&p, "high") < 0 || !(encoder = x264_encoder_open(&p))) {
            error = "No H.264 encoder accepted " + std::to_string(s.width) + "x" + std::to_string(s.height);
            encoder = nullptr;
            return false;
        }
        nv12.resize(static_cast<size_t>(s.width) * s.height * 3 / 2);
        return true;
    }

    void encode(const uint8_t* bgra, int stride, int64_t frameNumber,
                std::vector<EncodedPacket>& out) override {
        if (!encoder) return;
        bgraToNv12(bgra, stride, settings.width, settings.height, nv12.data());
        x264_picture_t in, pic;
        x264_picture_init(&in);
        in.img.i_csp = X264_CSP_NV12;
        in.img.i_plane = 2;
        in.img.plane[0] = nv12.data();
        in.img.i_stride[0] = settings.width;
        in.img.plane[1] = nv12.data() + static_cast<size_t>(settings.width) * settings.height;
        in.img.i_stride[1] = settings.width;
        in.i_pts = frameNumber;
        x264_nal_t* nals = nullptr;
        int count = 0;
        const int size = x264_encoder_encode(encoder, &nals, &count, &in, &pic);
        if (size < 0) {
            error = "Video encoder failed";
            return;
        }
        if (size == 0) return;
        EncodedPacket packet;
        packet.data.assign(nals[0].p_payload, nals[0].p_payload + size);  // NALs are contiguous
        packet.time = pic.i_pts * 10000000 / settings.fps;
        packet.keyframe = pic.b_keyframe != 0;
        out.push_back(std::move(packet));
    }

    void close() override {
        if (encoder) x264_encoder_close(encoder);
        encoder = nullptr;
    }
    std::string lastError() const override { return error; }
    std::string name() const override { return "x264 (tests)"; }

private:
    x264_t* encoder = nullptr;
    VideoEncoderSettings settings;
    std::vector<uint8_t> nv12;
    std::string error;
};

}  // namespace

std::unique_ptr<IVideoPacketEncoder> makeTestVideoEncoder() {
    return std::make_unique<X264VideoEncoder>();
}
